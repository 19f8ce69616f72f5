#include "directory/values.h"

VariantArray::~VariantArray() { release(); }

void VariantArray::release() {
  if (array_ == nullptr) return;
  if (locked_) SafeArrayUnlock(array_);
  SafeArrayDestroy(array_);
  array_ = nullptr;
  locked_ = false;
}

HRESULT VariantArray::createArray() {
  SAFEARRAYBOUND bound{0, 0};
  array_ = SafeArrayCreate(VT_VARIANT, 1, &bound);
  if (array_ == nullptr) return E_OUTOFMEMORY;
  RETURN_IF_FAILED(SafeArrayLock(array_));
  locked_ = true;
  return S_OK;
}

HRESULT VariantArray::grow(ULONG extra) {
  if (array_->fFeatures & FADF_FIXEDSIZE) return E_FAIL;
  SAFEARRAYBOUND bound{static_cast<ULONG>(count()) + extra, 0};
  if (locked_) {
    RETURN_IF_FAILED(SafeArrayUnlock(array_));
    locked_ = false;
  }
  HRESULT redimmed = SafeArrayRedim(array_, &bound);
  RETURN_IF_FAILED(SafeArrayLock(array_));
  locked_ = true;
  return redimmed;
}

HRESULT VariantArray::append(const VARIANT& value) {
  if (array_ == nullptr) RETURN_IF_FAILED(createArray());
  RETURN_IF_FAILED(grow(1));
  LONG last = count() - 1;
  void* element = nullptr;
  RETURN_IF_FAILED(SafeArrayPtrOfIndex(array_, &last, &element));
  return VariantCopyInd(static_cast<VARIANT*>(element), const_cast<VARIANT*>(&value));
}

HRESULT VariantArray::appendAll(SAFEARRAY* source) {
  if (array_ == nullptr) RETURN_IF_FAILED(createArray());
  if (source == nullptr) return S_OK;
  LONG lower = 0, upper = -1;
  RETURN_IF_FAILED(SafeArrayGetLBound(source, 1, &lower));
  RETURN_IF_FAILED(SafeArrayGetUBound(source, 1, &upper));
  LONG sourceCount = upper - lower + 1;
  if (sourceCount <= 0) return S_OK;
  LONG start = count();
  RETURN_IF_FAILED(grow(static_cast<ULONG>(sourceCount)));
  VARIANT* from = nullptr;
  RETURN_IF_FAILED(SafeArrayAccessData(source, reinterpret_cast<void**>(&from)));
  HRESULT status = S_OK;
  for (LONG i = 0; i < sourceCount; ++i) {
    LONG index = start + i;
    void* element = nullptr;
    status = SafeArrayPtrOfIndex(array_, &index, &element);
    if (SUCCEEDED(status)) status = VariantCopyInd(static_cast<VARIANT*>(element), &from[i]);
    if (FAILED(status)) break;
  }
  SafeArrayUnaccessData(source);
  return status;
}

void VariantArray::assign(SAFEARRAY* source) {
  release();
  SAFEARRAY* copy = nullptr;
  HRESULT status = SafeArrayCopy(source, &copy);
  if (FAILED(status)) raiseStatus(status);
  array_ = copy;
  if (array_ == nullptr) return;
  status = SafeArrayLock(array_);
  if (FAILED(status)) raiseStatus(status);
  locked_ = true;
}

LONG VariantArray::count() const {
  if (array_ == nullptr) return 0;
  LONG lower = 0, upper = -1;
  if (FAILED(SafeArrayGetLBound(array_, 1, &lower)) || FAILED(SafeArrayGetUBound(array_, 1, &upper))) return 0;
  return upper - lower + 1;
}

VARIANT VariantArray::toVariant() const {
  VARIANT result;
  VariantInit(&result);
  SAFEARRAY* copy = nullptr;
  HRESULT status = array_ != nullptr ? SafeArrayCopy(array_, &copy) : S_OK;
  if (array_ == nullptr) {
    copy = SafeArrayCreateVector(VT_VARIANT, 0, 0);
    if (copy == nullptr) status = E_OUTOFMEMORY;
  }
  if (FAILED(status)) {
    result.vt = VT_ERROR;
    result.scode = status;
    return result;
  }
  result.vt = VT_ARRAY | VT_VARIANT;
  result.parray = copy;
  return result;
}

VARIANT bstrVariant(const WideString& text) {
  VARIANT result;
  VariantInit(&result);
  BSTR copy = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  if (copy == nullptr) {
    result.vt = VT_ERROR;
    result.scode = E_OUTOFMEMORY;
    return result;
  }
  result.vt = VT_BSTR;
  result.bstrVal = copy;
  return result;
}

VARIANT intVariant(LONG value) {
  VARIANT result;
  VariantInit(&result);
  result.vt = VT_I4;
  result.lVal = value;
  return result;
}

HRESULT variantToString(const VARIANT& value, WideString* text) {
  if (value.vt != VT_BSTR) return VALUE_TYPE_MISMATCH;
  *text = textOfBstr(value.bstrVal);
  return S_OK;
}

namespace {

HRESULT byteStringToHex(SAFEARRAY* bytes, WideString* text) {
  LONG lower = 0, upper = -1;
  RETURN_IF_FAILED(SafeArrayGetLBound(bytes, 1, &lower));
  RETURN_IF_FAILED(SafeArrayGetUBound(bytes, 1, &upper));
  const BYTE* data = nullptr;
  RETURN_IF_FAILED(SafeArrayAccessData(bytes, reinterpret_cast<void**>(const_cast<BYTE**>(&data))));
  std::basic_string<BYTE> copy(data, static_cast<size_t>(upper >= lower ? upper - lower + 1 : 0));
  SafeArrayUnaccessData(bytes);
  text->clear();
  text->append(octetsToHex(copy.data(), copy.size()));
  return S_OK;
}

}  // namespace

HRESULT variantToText(const VARIANT& value, WideString* text) {
  if (value.vt == VT_BSTR) return variantToString(value, text);
  if (value.vt == (VT_ARRAY | VT_UI1)) {
    if (value.parray == nullptr) {
      text->clear();
      return S_OK;
    }
    return byteStringToHex(value.parray, text);
  }
  UniqueVariant converted;
  RETURN_IF_FAILED(VariantChangeType(converted.get(), const_cast<VARIANT*>(&value), 0, VT_BSTR));
  *text = textOfBstr(converted.get()->bstrVal);
  return S_OK;
}

HRESULT variantToInt(const VARIANT& value, LONG* number) {
  if (value.vt == VT_I4) {
    *number = value.lVal;
    return S_OK;
  }
  if (value.vt == VT_INT) {
    *number = value.intVal;
    return S_OK;
  }
  return VALUE_TYPE_MISMATCH;
}

HRESULT variantToLargeInteger(const VARIANT& value, LONG* lowPart, LONG* highPart) {
  if (value.vt != VT_DISPATCH) return VALUE_TYPE_MISMATCH;
  if (value.pdispVal == nullptr) return E_POINTER;
  ComPtr<IADsLargeInteger> largeInteger;
  if (FAILED(value.pdispVal->QueryInterface(IID_IADsLargeInteger, largeInteger.putVoid()))) return E_POINTER;
  RETURN_IF_FAILED(largeInteger->get_HighPart(highPart));
  return largeInteger->get_LowPart(lowPart);
}

ADSVALUE largeIntegerValue(LONG lowPart, LONG highPart) {
  ADSVALUE value{};
  value.dwType = ADSTYPE_LARGE_INTEGER;
  value.LargeInteger.LowPart = static_cast<DWORD>(lowPart);
  value.LargeInteger.HighPart = highPart;
  return value;
}

HRESULT variantToVariantArray(const VARIANT& value, VariantArray* array) {
  if (value.vt == (VT_ARRAY | VT_VARIANT)) {
    array->assign(value.parray);
    return S_OK;
  }
  if (value.vt == VT_BSTR) {
    (void)array->append(value);  // a failed append leaves the list as it was; callers read its count
    return S_OK;
  }
  return VALUE_TYPE_MISMATCH;
}

WideString octetsToHex(const BYTE* bytes, size_t length) {
  static const char digits[] = "0123456789abcdef";
  WideString text;
  text.reserve(length * 2);
  for (size_t i = 0; i < length; ++i) {
    text.push_back(static_cast<WCHAR>(digits[bytes[i] >> 4]));
    text.push_back(static_cast<WCHAR>(digits[bytes[i] & 0x0F]));
  }
  return text;
}

WideString decimalText(LONGLONG value) {
  // Digits are taken from the magnitude as unsigned, so the most negative value has one too.
  unsigned long long magnitude =
      value < 0 ? 0ull - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
  WideString digits;
  do {
    digits.insert(digits.begin(), static_cast<WCHAR>(WIDE('0') + magnitude % 10));
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) digits.insert(digits.begin(), WIDE('-'));
  return digits;
}

WideString booleanText(bool value) { return value ? WIDE("TRUE") : WIDE("FALSE"); }

bool elementText(const VARIANT& value, WideString* text) {
  switch (value.vt) {
    case VT_BSTR:
      *text = textOfBstr(value.bstrVal);
      return true;
    case VT_I4:
      *text = decimalText(value.lVal);
      return true;
    case VT_INT:
      *text = decimalText(value.intVal);
      return true;
    case VT_BOOL:
      *text = booleanText(value.boolVal != VARIANT_FALSE);
      return true;
    case VT_DISPATCH: {
      LONG lowPart = 0, highPart = 0;
      if (variantToLargeInteger(value, &lowPart, &highPart) != S_OK) return false;
      *text = decimalText(static_cast<LONGLONG>((static_cast<unsigned long long>(static_cast<ULONG>(highPart)) << 32) |
                                                static_cast<ULONG>(lowPart)));
      return true;
    }
    default:
      return false;
  }
}

HRESULT checkListWrite(LONG controlCode, const VariantArray& values) {
  if (controlCode != ADS_PROPERTY_CLEAR && values.count() == 0) return E_INVALIDARG;
  return S_OK;
}
