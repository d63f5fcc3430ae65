#include "fsk/CDecBell202.h"

CDecBell202::CDecBell202() = default;
CDecBell202::~CDecBell202() = default;

std::int32_t CDecBell202::OnSampleData(const float*, int, double, double) { return 0; }

void CDecBell202::OnCharDetected(std::int32_t, std::int32_t) {}
