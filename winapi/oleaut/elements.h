// Element rules shared by SAFEARRAY and VARIANT: how big an element of a type is, and how
// one is released or deep-copied.
#pragma once
#include "oleauto.h"

namespace winapi::oleaut {

// 0 for a type that cannot be an array element.
ULONG elementSize(VARTYPE type);
void releaseElements(VARTYPE type, void* data, ULONG count);
HRESULT copyElements(VARTYPE type, const void* source, void* destination, ULONG count);

}  // namespace winapi::oleaut
