// Creating a user account: one add of a disabled user with its account name and principal
// name, directly under the given container.
#include "directory/adsi_context.h"
#include "directory/dn_text.h"

namespace {

constexpr LONG normalDisabledAccount = 0x202;  // normal account (0x200) plus account disabled (0x2)

HRESULT putText(IADs* object, const WCHAR* name, const WideString& value) {
  UniqueBstr property = UniqueBstr::copyOf(name);
  UniqueVariant variant;
  variant.get()->vt = VT_BSTR;
  variant.get()->bstrVal = SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
  if (variant.get()->bstrVal == nullptr) raiseStatus(E_OUTOFMEMORY);
  return object->Put(property.get(), *variant.get());
}

HRESULT putInteger(IADs* object, const WCHAR* name, LONG value) {
  UniqueBstr property = UniqueBstr::copyOf(name);
  UniqueVariant variant;
  variant.get()->vt = VT_I4;
  variant.get()->lVal = value;
  return object->Put(property.get(), *variant.get());
}

}  // namespace

HRESULT AdsiContext::addUser(const WideString& userName, const WideString& containerDn) const {
  WideString containerPath;
  RETURN_IF_FAILED(objectPath(containerDn, &containerPath));
  // The principal name's domain comes from the container's own domain components; a container
  // outside any domain would give a principal name no one can log on with.
  WideString upnSuffix;
  RETURN_IF_FAILED(dnsDomainOfDn(containerDn, &upnSuffix));

  ComPtr<IADsContainer> container;
  RETURN_IF_FAILED(bindContainer(containerDn, container.put()));

  // Escaped, the account name is the one value of the new object's relative name: a comma or
  // a plus sign in it can neither move the object elsewhere nor add a second naming value.
  UniqueBstr className = UniqueBstr::copyOf(WIDE("user"));
  UniqueBstr relativeName = UniqueBstr::copyOf(WIDE("cn=") + escapeRdnValue(userName));
  ComPtr<IDispatch> created;
  RETURN_IF_FAILED(container->Create(className.get(), relativeName.get(), created.put()));

  ComPtr<IADsUser> user;
  (void)created.queryTo(IID_IADsUser, &user);  // only whether an interface came back counts
  if (!user) return E_POINTER;

  RETURN_IF_FAILED(putText(user.get(), WIDE("sAMAccountName"), userName));
  RETURN_IF_FAILED(putInteger(user.get(), WIDE("userAccountControl"), normalDisabledAccount));
  RETURN_IF_FAILED(putText(user.get(), WIDE("userPrincipalName"), userName + WIDE("@") + upnSuffix));
  return user->SetInfo();
}
