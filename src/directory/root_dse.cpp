#include "directory/root_dse.h"

HRESULT readRootDseName(const AdsiContext& context, const WCHAR* attribute, WideString* name) {
  ComPtr<IADs> rootDse;
  RETURN_IF_FAILED(context.bindRootDse(rootDse.put()));
  UniqueBstr attributeName = UniqueBstr::copyOf(attribute);
  UniqueVariant value;
  RETURN_IF_FAILED(rootDse->Get(attributeName.get(), value.put()));
  name->clear();
  if (value.get()->vt == VT_BSTR) *name = textOfBstr(value.get()->bstrVal);
  return S_OK;
}
