#pragma once

#include <string>
#include <vector>

// Speech for the benchmarks, 8 kHz float samples at full scale: espeak-ng reads the prose
// and sox resamples it, or, when either tool is missing, a synthetic voiced signal. label
// says which. The benchmarks link no test support, so they speak for themselves.
std::vector<float> SpeechSamples(const char* prose, std::string& label);
