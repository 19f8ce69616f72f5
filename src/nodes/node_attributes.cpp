// Attributes of any directory object named by its distinguished name, of deleted objects, and
// an object's GUID and parent.
#include "directory/adsi_context.h"
#include "directory/values.h"
#include "nodes/node_paths.h"

HRESULT AdsiContext::getNodeAttributeString(const WideString& dn, const WideString& name, WideString* text) const {
  return getAttributeText(&AdsiContext::bindObject, dn, name, text);
}

// A deleted object can only be reached by a bind that does not first look for it; its reads
// then ask the directory for deleted objects too.
HRESULT AdsiContext::getDeletedNodeAttributeString(const WideString& dn, const WideString& name,
                                                   WideString* text) const {
  return getAttributeText(&AdsiContext::bindObjectFast, dn, name, text);
}

HRESULT AdsiContext::setNodeAttributeString(const WideString& dn, const WideString& name,
                                            const WideString& value) const {
  UniqueVariant text;
  *text.get() = bstrVariant(value);
  return putAttribute(&AdsiContext::bindObject, dn, name, *text.get());
}

HRESULT AdsiContext::getNodeAttributeStringArray(const WideString& dn, const WideString& name,
                                                 VariantArray* values) const {
  return getAttributeStringArray(&AdsiContext::bindObject, dn, name, values);
}

HRESULT AdsiContext::setNodeAttributeStringArray(const WideString& dn, const WideString& name, LONG controlCode,
                                                 const VariantArray& values) const {
  return setAttributeStringArray(&AdsiContext::bindObject, dn, name, controlCode, values);
}

HRESULT AdsiContext::getNodeAttributeInt(const WideString& dn, const WideString& name, LONG* value) const {
  return getAttributeInt(&AdsiContext::bindObject, dn, name, value);
}

HRESULT AdsiContext::getNodeGuid(const WideString& dn, WideString* guid) const {
  ComPtr<IADs> object;
  RETURN_IF_FAILED(bindObject(dn, object.put()));
  UniqueBstr text;
  HRESULT status = object->get_GUID(text.put());
  if (SUCCEEDED(status)) *guid = textOfBstr(text.get());
  return status;
}

HRESULT AdsiContext::getParentNode(const WideString& dn, WideString* parentDn) const {
  ComPtr<IADs> object;
  RETURN_IF_FAILED(bindObject(dn, object.put()));
  UniqueBstr path;
  HRESULT status = object->get_Parent(path.put());
  if (FAILED(status)) return status;
  *parentDn = distinguishedNameOfPath(textOfBstr(path.get()));
  return status;
}
