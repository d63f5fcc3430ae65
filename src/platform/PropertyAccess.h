#pragma once

#include "platform/HResult.h"

// The two shapes every native property accessor takes.

// A getter writes the stored value through the out-pointer; E_POINTER for null.
template <typename T>
HRESULT GetProperty(const T& stored, T* value) {
    if (value == nullptr) return E_POINTER;
    *value = stored;
    return S_OK;
}

// A checked setter stores the value when the check passed; E_INVALIDARG leaves the old one.
template <typename T>
HRESULT PutProperty(T& stored, const T& value, bool valid) {
    if (!valid) return E_INVALIDARG;
    stored = value;
    return S_OK;
}
