// The object ADSI hands out for large-integer attributes (LargeInteger, IADsLargeInteger).
#pragma once
#include <cstdint>

#include "iads.h"

namespace winapi::adsi {

// A new object holding the value, with one reference for the caller.
HRESULT newLargeInteger(int64_t value, IDispatch** out);
// The value of any object offering IADsLargeInteger.
HRESULT largeIntegerValue(IUnknown* object, int64_t* value);

}  // namespace winapi::adsi
