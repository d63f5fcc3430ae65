#include "component/ThrowForResult.h"

#include "platform/TextConversion.h"
#include "vornix/Exceptions.h"

namespace Orvane::VornixNet {

void ThrowForResult(HRESULT hresult, const std::string& nativeErrorText) {
    if (hresult >= 0) return;
    const std::string text = Latin1ToUtf8(nativeErrorText.c_str());
    switch (hresult) {
        case E_INVALIDARG: throw ArgumentException(hresult, text);
        case E_POINTER: throw NullReferenceException(hresult, text);
        case E_NOTIMPL: throw NotImplementedException(hresult, text);
        default: throw VornixException(hresult, text);
    }
}

}  // namespace Orvane::VornixNet
