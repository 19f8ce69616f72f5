// Attributes of user objects: texts, integers and text lists through the user's property
// cache, large integers written straight to the directory.
#include "directory/adsi_context.h"
#include "directory/values.h"

HRESULT AdsiContext::setUserAttributeString(const WideString& dn, const WideString& name,
                                            const WideString& value) const {
  UniqueVariant text;
  *text.get() = bstrVariant(value);
  return putAttribute(&AdsiContext::bindUserObject, dn, name, *text.get());
}

HRESULT AdsiContext::getUserAttributeString(const WideString& dn, const WideString& name, WideString* value) const {
  return getAttributeString(&AdsiContext::bindUserObject, dn, name, value);
}

HRESULT AdsiContext::setUserAttributeInt(const WideString& dn, const WideString& name, LONG value) const {
  return putAttribute(&AdsiContext::bindUserObject, dn, name, intVariant(value));
}

HRESULT AdsiContext::getUserAttributeInt(const WideString& dn, const WideString& name, LONG* value) const {
  return getAttributeInt(&AdsiContext::bindUserObject, dn, name, value);
}

// Written at once, without the property cache; how many attributes the directory reports as
// changed is not looked at.
HRESULT AdsiContext::setUserAttributeLargeInt(const WideString& dn, const WideString& name, LONG lowPart,
                                              LONG highPart) const {
  ComPtr<IDirectoryObject> object;
  RETURN_IF_FAILED(bindDirectoryObject(dn, object.put()));
  ADSVALUE value = largeIntegerValue(lowPart, highPart);
  WideString attributeName = name;
  ADS_ATTR_INFO record{};
  record.pszAttrName = &attributeName[0];
  record.dwControlCode = ADS_ATTR_UPDATE;
  record.dwADsType = ADSTYPE_LARGE_INTEGER;
  record.pADsValues = &value;
  record.dwNumValues = 1;
  DWORD modified = 0;
  return object->SetObjectAttributes(&record, 1, &modified);
}

HRESULT AdsiContext::getUserAttributeLargeInt(const WideString& dn, const WideString& name, LONG* lowPart,
                                              LONG* highPart) const {
  return readConverted(&AdsiContext::bindUserObject, dn, name,
                       [&](const VARIANT& read) { return variantToLargeInteger(read, lowPart, highPart); });
}

HRESULT AdsiContext::setUserAttributeStringArray(const WideString& dn, const WideString& name, LONG controlCode,
                                                 const VariantArray& values) const {
  return setAttributeStringArray(&AdsiContext::bindUserObject, dn, name, controlCode, values);
}

HRESULT AdsiContext::getUserAttributeStringArray(const WideString& dn, const WideString& name,
                                                 VariantArray* values) const {
  return getAttributeStringArray(&AdsiContext::bindUserObject, dn, name, values);
}
