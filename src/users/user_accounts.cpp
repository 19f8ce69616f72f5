// Operations on a user account as a whole: delete, reset its password, lift a lockout, and
// the test whether an object is a user.
#include "directory/adsi_context.h"

// Whatever object the name stands for is deleted, with everything below it.
HRESULT AdsiContext::deleteUser(const WideString& dn) const {
  ComPtr<IADsDeleteOps> object;
  RETURN_IF_FAILED(openNamedObject(dn, IID_IADsDeleteOps, ADS_SECURE_AUTHENTICATION, object.putVoid()));
  return object->DeleteObject(0);
}

HRESULT AdsiContext::resetPassword(const WideString& dn, const WideString& newPassword) const {
  ComPtr<IADsUser> user;
  RETURN_IF_FAILED(bindUser(dn, user.put()));
  UniqueBstr password = UniqueBstr::secretCopyOf(newPassword);
  return user->SetPassword(password.get());
}

HRESULT AdsiContext::unlockAccount(const WideString& dn) const {
  ComPtr<IADsUser> user;
  RETURN_IF_FAILED(bindUser(dn, user.put()));
  // A flag that could not be staged leaves nothing to commit: the account would still be
  // locked while the empty commit reported success.
  RETURN_IF_FAILED(user->put_IsAccountLocked(VARIANT_FALSE));
  return user->SetInfo();
}

HRESULT AdsiContext::isUserNode(const WideString& dn) const {
  ComPtr<IADsUser> user;
  return bindUser(dn, user.put());
}
