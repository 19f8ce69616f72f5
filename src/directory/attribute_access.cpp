// The one body behind the user, group and node attribute operations: they differ only in how
// the object is bound. Every object is bound afresh, used for one read or one write, and
// released before the operation returns.
#include "directory/adsi_context.h"
#include "directory/values.h"

HRESULT AdsiContext::bindUserObject(const WideString& dn, IADs** object) const {
  IADsUser* user = nullptr;
  HRESULT status = bindUser(dn, &user);
  *object = user;
  return status;
}

HRESULT AdsiContext::bindGroupObject(const WideString& dn, IADs** object) const {
  IADsGroup* group = nullptr;
  HRESULT status = bindGroup(dn, &group);
  *object = group;
  return status;
}

// The one attribute, loaded afresh into the property cache (constructed attributes included),
// then read from it.
HRESULT AdsiContext::readAttribute(AttributeBind bind, const WideString& dn, const WideString& name,
                                   UniqueVariant* value) const {
  ComPtr<IADs> object;
  RETURN_IF_FAILED((this->*bind)(dn, object.put()));
  UniqueVariant names;
  const WCHAR* nameText = name.c_str();
  RETURN_IF_FAILED(ADsBuildVarArrayStr(const_cast<LPWSTR*>(&nameText), 1, names.put()));
  RETURN_IF_FAILED(object->GetInfoEx(*names.get(), 0));
  UniqueBstr attribute = UniqueBstr::copyOf(name);
  return object->Get(attribute.get(), value->put());
}

HRESULT AdsiContext::getAttributeString(AttributeBind bind, const WideString& dn, const WideString& name,
                                        WideString* value) const {
  return readConverted(bind, dn, name, [&](const VARIANT& read) { return variantToString(read, value); });
}

HRESULT AdsiContext::getAttributeText(AttributeBind bind, const WideString& dn, const WideString& name,
                                      WideString* text) const {
  return readConverted(bind, dn, name, [&](const VARIANT& read) { return variantToText(read, text); });
}

HRESULT AdsiContext::getAttributeInt(AttributeBind bind, const WideString& dn, const WideString& name,
                                     LONG* value) const {
  return readConverted(bind, dn, name, [&](const VARIANT& read) { return variantToInt(read, value); });
}

HRESULT AdsiContext::getAttributeStringArray(AttributeBind bind, const WideString& dn, const WideString& name,
                                             VariantArray* values) const {
  UniqueVariant read;
  HRESULT status = readAttribute(bind, dn, name, &read);
  if (FAILED(status)) return status;
  HRESULT converted = variantToVariantArray(*read.get(), values);
  // A list read reports the read's own status; only a type it cannot take is reported instead.
  return converted == VALUE_TYPE_MISMATCH ? converted : status;
}

// Staged in the property cache and committed by one SetInfo; a refused Put sends nothing.
HRESULT AdsiContext::putAttribute(AttributeBind bind, const WideString& dn, const WideString& name,
                                  const VARIANT& value) const {
  ComPtr<IADs> object;
  RETURN_IF_FAILED((this->*bind)(dn, object.put()));
  UniqueBstr attribute = UniqueBstr::copyOf(name);
  RETURN_IF_FAILED(object->Put(attribute.get(), value));
  return object->SetInfo();
}

HRESULT AdsiContext::setAttributeStringArray(AttributeBind bind, const WideString& dn, const WideString& name,
                                             LONG controlCode, const VariantArray& values) const {
  RETURN_IF_FAILED(checkListWrite(controlCode, values));
  ComPtr<IADs> object;
  RETURN_IF_FAILED((this->*bind)(dn, object.put()));
  UniqueBstr attribute = UniqueBstr::copyOf(name);
  UniqueVariant list;
  *list.get() = values.toVariant();
  RETURN_IF_FAILED(object->PutEx(controlCode, attribute.get(), *list.get()));
  return object->SetInfo();
}
