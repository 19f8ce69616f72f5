#include "groups/group_reads.h"

#include "directory/values.h"

namespace {

// GetInfoEx of the one attribute, then Get: the value as the directory gives it.
HRESULT readAttribute(IADs* object, const WideString& name, UniqueVariant* value) {
  WideString nameText = name;
  LPWSTR names[] = {&nameText[0]};
  UniqueVariant nameArray;
  RETURN_IF_FAILED(ADsBuildVarArrayStr(names, 1, nameArray.put()));
  RETURN_IF_FAILED(object->GetInfoEx(*nameArray.get(), 0));
  UniqueBstr attribute = UniqueBstr::copyOf(name);
  return object->Get(attribute.get(), value->put());
}

HRESULT bindMember(const AdsiContext& context, const WideString& dn, bool asUser, ComPtr<IADs>* object) {
  if (!asUser) return context.bindObject(dn, object->put());
  ComPtr<IADsUser> user;
  RETURN_IF_FAILED(context.bindUser(dn, user.put()));
  return user.queryTo(IID_IADs, object);
}

HRESULT readInteger(const AdsiContext& context, const WideString& dn, bool asUser, const WideString& name,
                    LONG* value) {
  ComPtr<IADs> object;
  RETURN_IF_FAILED(bindMember(context, dn, asUser, &object));
  UniqueVariant read;
  RETURN_IF_FAILED(readAttribute(object.get(), name, &read));
  return variantToInt(*read.get(), value);
}

HRESULT readStringArray(const AdsiContext& context, const WideString& dn, bool asUser, const WideString& name,
                        VariantArray* values) {
  ComPtr<IADs> object;
  RETURN_IF_FAILED(bindMember(context, dn, asUser, &object));
  UniqueVariant read;
  HRESULT status = readAttribute(object.get(), name, &read);
  if (FAILED(status)) return status;
  return variantToVariantArray(*read.get(), values);
}

}  // namespace

HRESULT readUserInteger(const AdsiContext& context, const WideString& userDn, const WideString& name, LONG* value) {
  return readInteger(context, userDn, true, name, value);
}

HRESULT readNodeInteger(const AdsiContext& context, const WideString& dn, const WideString& name, LONG* value) {
  return readInteger(context, dn, false, name, value);
}

HRESULT readUserStringArray(const AdsiContext& context, const WideString& userDn, const WideString& name,
                            VariantArray* values) {
  return readStringArray(context, userDn, true, name, values);
}

HRESULT readNodeStringArray(const AdsiContext& context, const WideString& dn, const WideString& name,
                            VariantArray* values) {
  return readStringArray(context, dn, false, name, values);
}
