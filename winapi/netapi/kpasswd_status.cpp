#include "netapi/kpasswd_status.h"

#include <cerrno>
#include <cstddef>

#include "winerror.h"

namespace winapi::netapi {

namespace {

// RFC 3244 result codes.
constexpr int kpasswdSuccess = 0;
constexpr int kpasswdHardError = 2;
constexpr int kpasswdAuthError = 3;
constexpr int kpasswdSoftError = 4;
constexpr int kpasswdAccessDenied = 5;
constexpr int kpasswdInitialFlagNeeded = 7;

bool containsIgnoreCase(std::string_view text, std::string_view word) {
  if (word.size() > text.size()) return false;
  for (size_t start = 0; start + word.size() <= text.size(); ++start) {
    size_t i = 0;
    while (i < word.size()) {
      char a = text[start + i], b = word[i];
      if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
      if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
      if (a != b) break;
      ++i;
    }
    if (i == word.size()) return true;
  }
  return false;
}

// The server's words for the cases a caller tells apart; Samba names the account's state in
// its texts ("No such user when changing password", "...: NT_STATUS_ACCOUNT_LOCKED_OUT").
NET_API_STATUS statusNamedIn(std::string_view text, NET_API_STATUS otherwise) {
  if (containsIgnoreCase(text, "no such user") || containsIgnoreCase(text, "NO_SUCH_USER")) return NERR_UserNotFound;
  if (containsIgnoreCase(text, "LOCKED_OUT")) return ERROR_ACCOUNT_LOCKED_OUT;
  if (containsIgnoreCase(text, "PASSWORD_RESTRICTION")) return NERR_PasswordTooShort;
  if (containsIgnoreCase(text, "ACCESS_DENIED")) return ERROR_ACCESS_DENIED;
  return otherwise;
}

}  // namespace

NET_API_STATUS statusOfKerberosError(krb5_error_code code) {
  switch (code) {
    case 0:
      return NERR_Success;
    case KRB5KDC_ERR_PREAUTH_FAILED:
    case KRB5KRB_AP_ERR_BAD_INTEGRITY:
      return ERROR_INVALID_PASSWORD;
    case KRB5KDC_ERR_C_PRINCIPAL_UNKNOWN:
      return NERR_UserNotFound;
    // The KDC gives the one "revoked" answer for a locked, a disabled and an expired account.
    case KRB5KDC_ERR_CLIENT_REVOKED:
      return ERROR_ACCOUNT_LOCKED_OUT;
    case KRB5KDC_ERR_KEY_EXP:
      return NERR_PasswordExpired;
    case KRB5KDC_ERR_POLICY:
      return ERROR_ACCESS_DENIED;
    // The realm has no password service for this principal.
    case KRB5KDC_ERR_S_PRINCIPAL_UNKNOWN:
      return ERROR_NOT_SUPPORTED;
    case KRB5KRB_AP_ERR_SKEW:
      return ERROR_TIME_SKEW;
    case KRB5_REALM_UNKNOWN:
    case KRB5_REALM_CANT_RESOLVE:
    case KRB5_CONFIG_NODEFREALM:
    case KRB5_ERR_BAD_HOSTNAME:
      return NERR_InvalidComputer;
    case KRB5_KDC_UNREACH:
    case ECONNREFUSED:
    case ETIMEDOUT:
    case EHOSTUNREACH:
    case ENETUNREACH:
      return RPC_S_SERVER_UNAVAILABLE;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    default:
      return NERR_InternalError;
  }
}

NET_API_STATUS statusOfKpasswdResult(int resultCode, std::string_view resultString) {
  switch (resultCode) {
    case kpasswdSuccess:
      return NERR_Success;
    // A policy refusal: length, complexity, history or age; Windows reports all of them so.
    case kpasswdSoftError:
      return NERR_PasswordTooShort;
    case kpasswdAccessDenied:
      return statusNamedIn(resultString, ERROR_ACCESS_DENIED);
    case kpasswdHardError:
      return statusNamedIn(resultString, NERR_InternalError);
    // The request's ticket was refused, or was not one got with the password itself.
    case kpasswdAuthError:
    case kpasswdInitialFlagNeeded:
      return ERROR_ACCESS_DENIED;
    // A malformed request or a protocol version the server does not speak.
    default:
      return NERR_InternalError;
  }
}

}  // namespace winapi::netapi
