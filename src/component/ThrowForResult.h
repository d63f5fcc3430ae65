#pragma once

#include <string>

#include "platform/HResult.h"

namespace Orvane::VornixNet {

// Turns a failed native result into the matching public exception, carrying the
// decoder's error text; does nothing for a success.
void ThrowForResult(HRESULT hresult, const std::string& nativeErrorText);

}  // namespace Orvane::VornixNet
