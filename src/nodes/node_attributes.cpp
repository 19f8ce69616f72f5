// An object's GUID and parent.
#include "directory/adsi_context.h"
#include "nodes/node_paths.h"

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
