// IADsUser's account operations: the lock flag, and passwords set or changed through the
// directory's own unicodePwd writes.
#include "adserr.h"
#include "adsi/bind_backoff.h"
#include "adsi/call_entries.h"
#include "adsi/com_guard.h"
#include "adsi/errors.h"
#include "adsi/pool.h"
#include "adsi/mod_list.h"
#include "adsi/object.h"
#include "adsi/values.h"
#include "lm.h"

namespace winapi::adsi {

namespace {

constexpr DWORD passwordRestrictionCode = 0x52D;  // server text "0000052D: ... check_password_restrictions"
constexpr DWORD wrongOldPasswordCode = 0x56;      // server text "00000056: ... old password doesn't match"

// The value unicodePwd takes: the password in double quotes, as UTF-16LE bytes. The buffer is
// sized once, so no copy of the password is left behind by a reallocation.
std::string quotedUtf16Password(BSTR password) {
  size_t length = password == nullptr ? 0 : SysStringLen(password);
  std::string bytes;
  bytes.reserve((length + 2) * 2);
  auto append = [&bytes](char16_t c) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>(c >> 8);
  };
  append(u'"');
  for (size_t i = 0; i < length; ++i) append(password[i]);
  append(u'"');
  return bytes;
}

// Passwords are written only where the wire is protected (TLS or a sealed SASL session): the
// write is refused before anything is sent, as a password bind is.
HRESULT refuseUnprotected(const Connection& connection) {
  if (connection.encrypted()) return S_OK;
  return failLdap(LDAP_STRONG_AUTH_REQUIRED, "a password is never sent over a connection without TLS");
}

// The server's sub-code decides what a refused password write means to the caller.
HRESULT passwordFailure(HRESULT hr) {
  if (lastError().code == wrongOldPasswordCode) return HRESULT_FROM_WIN32(ERROR_INVALID_PASSWORD);
  if (lastError().code == passwordRestrictionCode) return HRESULT_FROM_WIN32(NERR_PasswordTooShort);
  return hr;
}

}  // namespace

HRESULT DirectoryObject::get_IsAccountLocked(VARIANT_BOOL* retval) try {
  if (retval == nullptr) return E_POINTER;
  PropertyMap read;
  HRESULT hr = readAttributes({"msDS-User-Account-Control-Computed", "lockoutTime"}, &read);
  if (FAILED(hr)) return hr;
  constexpr int32_t lockedOut = 0x10;  // UF_LOCKOUT
  bool locked = false;
  auto computed = read.find("msds-user-account-control-computed");
  int32_t flags = 0;
  int64_t lockoutTime = 0;
  auto time = read.find("lockouttime");
  if (computed != read.end() && !computed->second.values.empty() && parseInteger(computed->second.values[0], &flags)) {
    locked = (flags & lockedOut) != 0;
  } else if (time != read.end() && !time->second.values.empty() &&
             parseLargeInteger(time->second.values[0], &lockoutTime)) {
    locked = lockoutTime != 0;
  }
  *retval = locked ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
} catch (...) {
  return hresultOfCurrentException();
}

HRESULT DirectoryObject::put_IsAccountLocked(VARIANT_BOOL fIsAccountLocked) try {
  // Only the directory locks an account; a client can only lift a lock.
  if (fIsAccountLocked != VARIANT_FALSE) return E_ADS_BAD_PARAMETER;
  return stageChange(LDAP_MOD_REPLACE, "lockoutTime", {"0"});
} catch (...) {
  return hresultOfCurrentException();
}

HRESULT DirectoryObject::SetPassword(BSTR NewPassword) try {
  if (setup_.created) return E_ADS_OBJECT_UNBOUND;
  HRESULT hr = refuseUnprotected(*setup_.connection);
  if (FAILED(hr)) return hr;
  std::vector<PendingChange> change{PendingChange{LDAP_MOD_REPLACE, "unicodePwd", {quotedUtf16Password(NewPassword)}}};
  hr = modifyWith(change);
  wipeChanges(&change);
  return FAILED(hr) ? passwordFailure(hr) : hr;
} catch (...) {
  return hresultOfCurrentException();
}

HRESULT DirectoryObject::ChangePassword(BSTR bstrOldPassword, BSTR bstrNewPassword) try {
  if (setup_.created) return E_ADS_OBJECT_UNBOUND;
  HRESULT hr = refuseUnprotected(*setup_.connection);
  if (FAILED(hr)) return hr;
  // The directory's own change: remove the old value and add the new one in one modify,
  // without the permissive control (a missing old value must fail, not pass).
  std::vector<PendingChange> change{
      PendingChange{LDAP_MOD_DELETE, "unicodePwd", {quotedUtf16Password(bstrOldPassword)}},
      PendingChange{LDAP_MOD_ADD, "unicodePwd", {quotedUtf16Password(bstrNewPassword)}}};
  ModList mods(change);
  std::string target = setup_.dn.empty() ? setup_.ldapName : setup_.dn;
  AccountNames account = accountNames();
  forgetEntriesOfThisCall();
  LdapOutcome outcome = setup_.connection->modify(target, mods.get(), nullptr);
  wipeChanges(&change);
  if (!outcome.ok()) return passwordFailure(failWith(outcome));
  retireConnectionsOfAccount(account);
  forgetBindRefusals();
  return S_OK;
} catch (...) {
  return hresultOfCurrentException();
}

}  // namespace winapi::adsi
