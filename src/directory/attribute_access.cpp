// The attribute operations of users, groups, any object and deleted objects: one body each, the
// target deciding only how the object is bound. Every object is bound afresh, used for one read
// or one write, and released before the operation returns.
#include <vector>

#include "directory/adsi_context.h"
#include "directory/values.h"

namespace {

template <typename Interface, typename Bind>
HRESULT bindAsIads(Bind bind, IADs** object) {
  Interface* bound = nullptr;
  HRESULT status = bind(&bound);
  *object = bound;
  return status;
}

}  // namespace

HRESULT loadAttributes(IADs* object, std::initializer_list<const WCHAR*> names) {
  std::vector<LPWSTR> pointers;
  for (const WCHAR* name : names) pointers.push_back(const_cast<LPWSTR>(name));
  UniqueVariant nameArray;
  RETURN_IF_FAILED(ADsBuildVarArrayStr(pointers.data(), static_cast<DWORD>(pointers.size()), nameArray.put()));
  return object->GetInfoEx(*nameArray.get(), 0);
}

HRESULT AdsiContext::bindAttributeTarget(AttributeTarget target, const WideString& dn, IADs** object) const {
  switch (target) {
    case AttributeTarget::user:
      return bindAsIads<IADsUser>([&](IADsUser** user) { return bindUser(dn, user); }, object);
    case AttributeTarget::group:
      return bindAsIads<IADsGroup>([&](IADsGroup** group) { return bindGroup(dn, group); }, object);
    case AttributeTarget::node:
      return bindObject(dn, object);
    case AttributeTarget::deletedNode:
      // Its reads then ask the directory for deleted objects too.
      return bindObjectFast(dn, object);
  }
  *object = nullptr;
  return E_INVALIDARG;
}

// The one attribute, loaded afresh into the property cache (constructed attributes included),
// then read from it.
HRESULT AdsiContext::readAttribute(AttributeTarget target, const WideString& dn, const WideString& name,
                                   UniqueVariant* value) const {
  ComPtr<IADs> object;
  RETURN_IF_FAILED(bindAttributeTarget(target, dn, object.put()));
  RETURN_IF_FAILED(loadAttributes(object.get(), {name.c_str()}));
  UniqueBstr attribute = UniqueBstr::copyOf(name);
  return object->Get(attribute.get(), value->put());
}

HRESULT AdsiContext::getAttributeString(AttributeTarget target, const WideString& dn, const WideString& name,
                                        WideString* value) const {
  return readConverted(target, dn, name, [&](const VARIANT& read) { return variantToString(read, value); });
}

HRESULT AdsiContext::getAttributeText(AttributeTarget target, const WideString& dn, const WideString& name,
                                      WideString* text) const {
  return readConverted(target, dn, name, [&](const VARIANT& read) { return variantToText(read, text); });
}

HRESULT AdsiContext::getAttributeInt(AttributeTarget target, const WideString& dn, const WideString& name,
                                     LONG* value) const {
  return readConverted(target, dn, name, [&](const VARIANT& read) { return variantToInt(read, value); });
}

HRESULT AdsiContext::getAttributeLargeInt(AttributeTarget target, const WideString& dn, const WideString& name,
                                          LONG* lowPart, LONG* highPart) const {
  return readConverted(target, dn, name,
                       [&](const VARIANT& read) { return variantToLargeInteger(read, lowPart, highPart); });
}

HRESULT AdsiContext::getAttributeStringArray(AttributeTarget target, const WideString& dn, const WideString& name,
                                             VariantArray* values) const {
  UniqueVariant read;
  HRESULT status = readAttribute(target, dn, name, &read);
  if (FAILED(status)) return status;
  HRESULT converted = variantToVariantArray(*read.get(), values);
  // A list read reports the read's own status; only a type it cannot take is reported instead.
  return converted == VALUE_TYPE_MISMATCH ? converted : status;
}

// Staged in the property cache and committed by one SetInfo; a refused Put sends nothing.
HRESULT AdsiContext::putAttribute(AttributeTarget target, const WideString& dn, const WideString& name,
                                  const VARIANT& value) const {
  ComPtr<IADs> object;
  RETURN_IF_FAILED(bindAttributeTarget(target, dn, object.put()));
  UniqueBstr attribute = UniqueBstr::copyOf(name);
  RETURN_IF_FAILED(object->Put(attribute.get(), value));
  return object->SetInfo();
}

HRESULT AdsiContext::setAttributeString(AttributeTarget target, const WideString& dn, const WideString& name,
                                        const WideString& value) const {
  UniqueVariant text;
  *text.get() = bstrVariant(value);
  return putAttribute(target, dn, name, *text.get());
}

HRESULT AdsiContext::setAttributeInt(AttributeTarget target, const WideString& dn, const WideString& name,
                                     LONG value) const {
  return putAttribute(target, dn, name, intVariant(value));
}

HRESULT AdsiContext::setAttributeStringArray(AttributeTarget target, const WideString& dn, const WideString& name,
                                             LONG controlCode, const VariantArray& values) const {
  RETURN_IF_FAILED(checkListWrite(controlCode, values));
  ComPtr<IADs> object;
  RETURN_IF_FAILED(bindAttributeTarget(target, dn, object.put()));
  UniqueBstr attribute = UniqueBstr::copyOf(name);
  UniqueVariant list;
  *list.get() = values.toVariant();
  RETURN_IF_FAILED(object->PutEx(controlCode, attribute.get(), *list.get()));
  return object->SetInfo();
}

// Written at once through the object's directory interface, without the property cache; how
// many attributes the directory reports as changed is not looked at. Objects of every class offer
// that interface, so the write asks no class of a user or group target (its name was resolved as
// one already); a deleted target is bound, as for its reads, without first looking for it.
HRESULT AdsiContext::setAttributeLargeInt(AttributeTarget target, const WideString& dn, const WideString& name,
                                          LONG lowPart, LONG highPart) const {
  DWORD flags = ADS_SECURE_AUTHENTICATION;
  if (target == AttributeTarget::deletedNode) flags |= ADS_FAST_BIND;
  ComPtr<IDirectoryObject> object;
  RETURN_IF_FAILED(openNamedObject(dn, IID_IDirectoryObject, flags, object.putVoid()));
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
