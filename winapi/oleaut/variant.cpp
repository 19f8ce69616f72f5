#include <cstring>

#include "oleaut/elements.h"

using winapi::oleaut::copyElements;
using winapi::oleaut::elementSize;

namespace {

bool isKnownScalar(VARTYPE type) {
  switch (type) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_I4:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_UNKNOWN:
    case VT_ERROR:
    case VT_BOOL:
      return true;
    default:
      return false;
  }
}

bool isValidType(VARTYPE type) {
  VARTYPE base = type & VT_TYPEMASK;
  VARTYPE modifiers = type & ~VT_TYPEMASK;
  if (modifiers & ~(VT_ARRAY | VT_BYREF)) return false;
  if (type & VT_ARRAY) return elementSize(base) != 0;
  if (type & VT_BYREF) return base == VT_VARIANT || (isKnownScalar(base) && base != VT_EMPTY && base != VT_NULL);
  return isKnownScalar(base);
}

// Deep copy of a value that is not a reference.
HRESULT copyValue(VARIANT* destination, const VARIANT* source) {
  VARIANT staged;
  std::memcpy(&staged, source, sizeof(VARIANT));
  VARTYPE type = source->vt;
  if (type & VT_ARRAY) {
    HRESULT hr = SafeArrayCopy(source->parray, &staged.parray);
    if (FAILED(hr)) return hr;
  } else if (type == VT_BSTR) {
    if (source->bstrVal != nullptr) {
      staged.bstrVal = SysAllocStringByteLen(reinterpret_cast<const char*>(source->bstrVal),
                                             SysStringByteLen(source->bstrVal));
      if (staged.bstrVal == nullptr) return E_OUTOFMEMORY;
    }
  } else if ((type == VT_UNKNOWN || type == VT_DISPATCH) && source->punkVal != nullptr) {
    source->punkVal->AddRef();
  }
  std::memcpy(destination, &staged, sizeof(VARIANT));
  return S_OK;
}

// The value a reference points at, as a VARIANT that does not own it.
HRESULT dereference(const VARIANT* source, VARIANT* view) {
  VariantInit(view);
  VARTYPE base = source->vt & ~VT_BYREF;
  if (source->byref == nullptr) return E_INVALIDARG;
  if (base == VT_VARIANT) {
    const VARIANT* inner = source->pvarVal;
    if (inner->vt & VT_BYREF) return E_INVALIDARG;
    std::memcpy(view, inner, sizeof(VARIANT));
    return S_OK;
  }
  view->vt = base;
  if (base & VT_ARRAY) {
    view->parray = *source->pparray;
    return S_OK;
  }
  ULONG size = elementSize(base);
  if (size == 0) return DISP_E_BADVARTYPE;
  std::memcpy(&view->llVal, source->byref, size);
  return S_OK;
}

}  // namespace

void VariantInit(VARIANTARG* value) {
  if (value == nullptr) return;
  std::memset(value, 0, sizeof(VARIANT));
  value->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANTARG* value) {
  if (value == nullptr) return E_INVALIDARG;
  VARTYPE type = value->vt;
  if (!isValidType(type)) return DISP_E_BADVARTYPE;
  if (!(type & VT_BYREF)) {
    if (type & VT_ARRAY) {
      HRESULT hr = SafeArrayDestroy(value->parray);
      if (FAILED(hr)) return hr;
    } else if (type == VT_BSTR) {
      SysFreeString(value->bstrVal);
    } else if ((type == VT_UNKNOWN || type == VT_DISPATCH) && value->punkVal != nullptr) {
      value->punkVal->Release();
    }
  }
  std::memset(value, 0, sizeof(VARIANT));
  value->vt = VT_EMPTY;
  return S_OK;
}

HRESULT VariantCopy(VARIANTARG* destination, VARIANTARG* source) {
  if (destination == nullptr || source == nullptr) return E_INVALIDARG;
  if (!isValidType(source->vt)) return DISP_E_BADVARTYPE;
  if (destination == source) return S_OK;
  HRESULT hr = VariantClear(destination);
  if (FAILED(hr)) return hr;
  if (source->vt & VT_BYREF) {
    std::memcpy(destination, source, sizeof(VARIANT));
    return S_OK;
  }
  return copyValue(destination, source);
}

HRESULT VariantCopyInd(VARIANT* destination, VARIANTARG* source) {
  if (destination == nullptr || source == nullptr) return E_INVALIDARG;
  if (!isValidType(source->vt)) return DISP_E_BADVARTYPE;
  if (!(source->vt & VT_BYREF)) return VariantCopy(destination, source);
  VARIANT view;
  HRESULT hr = dereference(source, &view);
  if (FAILED(hr)) return hr;
  VARIANT copy;
  hr = copyValue(&copy, &view);
  if (FAILED(hr)) return hr;
  if (destination != source) {
    hr = VariantClear(destination);
    if (FAILED(hr)) {
      VariantClear(&copy);
      return hr;
    }
  }
  std::memcpy(destination, &copy, sizeof(VARIANT));
  return S_OK;
}
