// Attribute values: the owned array of VARIANTs that carries multi-valued attributes, and the
// conversions between VARIANTs and the library's texts, integers and large integers.
#pragma once
#include "directory/owners.h"

// A one-dimensional SAFEARRAY of VARIANTs with lower bound 0, created on the first append.
// Elements are full copies; arrays handed in are copied, never kept.
class VariantArray {
 public:
  VariantArray() = default;
  ~VariantArray();
  VariantArray(const VariantArray&) = delete;
  VariantArray& operator=(const VariantArray&) = delete;

  HRESULT append(const VARIANT& value);
  HRESULT appendAll(SAFEARRAY* source);
  // Replaces the array by a copy of the source; raises the copy's failure.
  void assign(SAFEARRAY* source);
  LONG count() const;
  // The array as one VARIANT (VT_ARRAY | VT_VARIANT) that the caller clears; an empty array
  // when nothing was appended, so that writing it replaces the attribute with no values.
  VARIANT toVariant() const;
  SAFEARRAY* array() const { return array_; }

 private:
  HRESULT createArray();
  HRESULT grow(ULONG extra);
  void release();

  SAFEARRAY* array_ = nullptr;
  bool locked_ = false;
};

VARIANT bstrVariant(const WideString& text);
VARIANT intVariant(LONG value);
HRESULT variantToString(const VARIANT& value, WideString* text);
HRESULT variantToText(const VARIANT& value, WideString* text);
HRESULT variantToInt(const VARIANT& value, LONG* number);
HRESULT variantToLargeInteger(const VARIANT& value, LONG* lowPart, LONG* highPart);
ADSVALUE largeIntegerValue(LONG lowPart, LONG highPart);
HRESULT variantToVariantArray(const VARIANT& value, VariantArray* array);
WideString octetsToHex(const BYTE* bytes, size_t length);
WideString decimalText(LONGLONG value);
// A boolean as the directory writes it: TRUE or FALSE.
WideString booleanText(bool value);
// The text of one value of a multi-valued attribute: a string up to its first NUL, an integer
// or large integer in decimal, a boolean as TRUE or FALSE; false for any other type.
bool elementText(const VARIANT& value, WideString* text);

// A list write with no values would, as an LDAP replace, remove every value of the attribute:
// only an explicit clear (ADS_PROPERTY_CLEAR) may go without values. E_INVALIDARG otherwise.
HRESULT checkListWrite(LONG controlCode, const VariantArray& values);
