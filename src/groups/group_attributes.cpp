// Attributes of group objects, and the test whether an object is a group.
#include "directory/adsi_context.h"
#include "directory/values.h"

HRESULT AdsiContext::setGroupAttributeString(const WideString& dn, const WideString& name,
                                             const WideString& value) const {
  UniqueVariant text;
  *text.get() = bstrVariant(value);
  return putAttribute(&AdsiContext::bindGroupObject, dn, name, *text.get());
}

HRESULT AdsiContext::getGroupAttributeString(const WideString& dn, const WideString& name, WideString* value) const {
  return getAttributeString(&AdsiContext::bindGroupObject, dn, name, value);
}

HRESULT AdsiContext::setGroupAttributeInt(const WideString& dn, const WideString& name, LONG value) const {
  return putAttribute(&AdsiContext::bindGroupObject, dn, name, intVariant(value));
}

HRESULT AdsiContext::getGroupAttributeInt(const WideString& dn, const WideString& name, LONG* value) const {
  return getAttributeInt(&AdsiContext::bindGroupObject, dn, name, value);
}

HRESULT AdsiContext::setGroupAttributeStringArray(const WideString& dn, const WideString& name, LONG controlCode,
                                                  const VariantArray& values) const {
  return setAttributeStringArray(&AdsiContext::bindGroupObject, dn, name, controlCode, values);
}

HRESULT AdsiContext::getGroupAttributeStringArray(const WideString& dn, const WideString& name,
                                                  VariantArray* values) const {
  return getAttributeStringArray(&AdsiContext::bindGroupObject, dn, name, values);
}

// An object is a group exactly when it can be bound as one.
HRESULT AdsiContext::isGroupNode(const WideString& dn) const {
  ComPtr<IADsGroup> group;
  return bindGroup(dn, group.put());
}
