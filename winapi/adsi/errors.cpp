#include "adsi/errors.h"

#include <algorithm>
#include <iterator>

#include "adsi/ldap_owners.h"
#include "adsi/text.h"

namespace winapi::adsi {

namespace {

struct ResultRow {
  int ldap;
  DWORD win32;
};

// Keyed on OpenLDAP's numbers: the server's result codes, and the client library's own
// failures, which libldap reports as negative numbers where wldap32 uses 81..97.
constexpr ResultRow resultTable[] = {
    {kRequestTooLarge, ERROR_INVALID_PARAMETER},  // refused before sending
    {LDAP_REFERRAL_LIMIT_EXCEEDED, ERROR_DS_REFERRAL_LIMIT_EXCEEDED},
    {LDAP_CLIENT_LOOP, ERROR_DS_CLIENT_LOOP},
    {LDAP_MORE_RESULTS_TO_RETURN, ERROR_MORE_DATA},
    {LDAP_NO_RESULTS_RETURNED, ERROR_DS_NO_RESULTS_RETURNED},
    {LDAP_CONTROL_NOT_FOUND, ERROR_DS_CONTROL_NOT_FOUND},
    {LDAP_NOT_SUPPORTED, ERROR_DS_NOT_SUPPORTED},
    {LDAP_CONNECT_ERROR, ERROR_CONNECTION_REFUSED},
    {LDAP_NO_MEMORY, ERROR_NOT_ENOUGH_MEMORY},
    {LDAP_PARAM_ERROR, ERROR_DS_PARAM_ERROR},
    {LDAP_USER_CANCELLED, ERROR_CANCELLED},
    {LDAP_FILTER_ERROR, ERROR_DS_FILTER_UNKNOWN},
    {LDAP_AUTH_UNKNOWN, ERROR_DS_AUTH_UNKNOWN},
    {LDAP_TIMEOUT, ERROR_TIMEOUT},
    {LDAP_DECODING_ERROR, ERROR_DS_DECODING_ERROR},
    {LDAP_ENCODING_ERROR, ERROR_DS_ENCODING_ERROR},
    {LDAP_LOCAL_ERROR, ERROR_DS_LOCAL_ERROR},
    {LDAP_SERVER_DOWN, ERROR_DS_SERVER_DOWN},
    {LDAP_SUCCESS, ERROR_SUCCESS},
    {LDAP_OPERATIONS_ERROR, ERROR_DS_OPERATIONS_ERROR},
    {LDAP_PROTOCOL_ERROR, ERROR_DS_PROTOCOL_ERROR},
    {LDAP_TIMELIMIT_EXCEEDED, ERROR_DS_TIMELIMIT_EXCEEDED},
    {LDAP_SIZELIMIT_EXCEEDED, ERROR_DS_SIZELIMIT_EXCEEDED},
    {LDAP_COMPARE_FALSE, ERROR_DS_COMPARE_FALSE},
    {LDAP_COMPARE_TRUE, ERROR_DS_COMPARE_TRUE},
    {LDAP_AUTH_METHOD_NOT_SUPPORTED, ERROR_DS_AUTH_METHOD_NOT_SUPPORTED},
    {LDAP_STRONG_AUTH_REQUIRED, ERROR_DS_STRONG_AUTH_REQUIRED},
    {LDAP_PARTIAL_RESULTS, ERROR_MORE_DATA},      // LDAPv2 partial results
    {LDAP_REFERRAL, ERROR_DS_REFERRAL},
    {LDAP_ADMINLIMIT_EXCEEDED, ERROR_DS_ADMIN_LIMIT_EXCEEDED},
    {LDAP_UNAVAILABLE_CRITICAL_EXTENSION, ERROR_DS_UNAVAILABLE_CRIT_EXTENSION},
    {LDAP_CONFIDENTIALITY_REQUIRED, ERROR_DS_CONFIDENTIALITY_REQUIRED},
    {LDAP_NO_SUCH_ATTRIBUTE, ERROR_DS_NO_ATTRIBUTE_OR_VALUE},
    {LDAP_UNDEFINED_TYPE, ERROR_DS_ATTRIBUTE_TYPE_UNDEFINED},
    {LDAP_INAPPROPRIATE_MATCHING, ERROR_DS_INAPPROPRIATE_MATCHING},
    {LDAP_CONSTRAINT_VIOLATION, ERROR_DS_CONSTRAINT_VIOLATION},
    {LDAP_TYPE_OR_VALUE_EXISTS, ERROR_DS_ATTRIBUTE_OR_VALUE_EXISTS},
    {LDAP_INVALID_SYNTAX, ERROR_DS_INVALID_ATTRIBUTE_SYNTAX},
    {LDAP_NO_SUCH_OBJECT, ERROR_DS_NO_SUCH_OBJECT},
    {LDAP_ALIAS_PROBLEM, ERROR_DS_ALIAS_PROBLEM},
    {LDAP_INVALID_DN_SYNTAX, ERROR_DS_INVALID_DN_SYNTAX},
    {LDAP_IS_LEAF, ERROR_DS_IS_LEAF},
    {LDAP_ALIAS_DEREF_PROBLEM, ERROR_DS_ALIAS_DEREF_PROBLEM},
    {LDAP_INAPPROPRIATE_AUTH, ERROR_DS_INAPPROPRIATE_AUTH},
    {LDAP_INVALID_CREDENTIALS, ERROR_LOGON_FAILURE},
    {LDAP_INSUFFICIENT_ACCESS, ERROR_ACCESS_DENIED},
    {LDAP_BUSY, ERROR_DS_BUSY},
    {LDAP_UNAVAILABLE, ERROR_DS_UNAVAILABLE},
    {LDAP_UNWILLING_TO_PERFORM, ERROR_DS_UNWILLING_TO_PERFORM},
    {LDAP_LOOP_DETECT, ERROR_DS_LOOP_DETECT},
    {60, ERROR_DS_SORT_CONTROL_MISSING},          // sortControlMissing
    {61, ERROR_DS_OFFSET_RANGE_ERROR},            // offsetRangeError
    {LDAP_NAMING_VIOLATION, ERROR_DS_NAMING_VIOLATION},
    {LDAP_OBJECT_CLASS_VIOLATION, ERROR_DS_OBJ_CLASS_VIOLATION},
    {LDAP_NOT_ALLOWED_ON_NONLEAF, ERROR_DS_CANT_ON_NON_LEAF},
    {LDAP_NOT_ALLOWED_ON_RDN, ERROR_DS_CANT_ON_RDN},
    {LDAP_ALREADY_EXISTS, ERROR_OBJECT_ALREADY_EXISTS},
    {LDAP_NO_OBJECT_CLASS_MODS, ERROR_DS_CANT_MOD_OBJ_CLASS},
    {LDAP_RESULTS_TOO_LARGE, ERROR_DS_OBJECT_RESULTS_TOO_LARGE},
    {LDAP_AFFECTS_MULTIPLE_DSAS, ERROR_DS_AFFECTS_MULTIPLE_DSAS},
    {LDAP_OTHER, ERROR_GEN_FAILURE},
};

const ResultRow* findRow(int result) {
  auto row = std::lower_bound(std::begin(resultTable), std::end(resultTable), result,
                              [](const ResultRow& r, int key) { return r.ldap < key; });
  if (row == std::end(resultTable) || row->ldap != result) return nullptr;
  return row;
}

thread_local LastError threadLastError;

}  // namespace

DWORD win32FromLdapResult(int result) {
  const ResultRow* row = findRow(result);
  return row == nullptr ? ERROR_GEN_FAILURE : row->win32;
}

HRESULT hresultFromLdapResult(int result) {
  const ResultRow* row = findRow(result);
  if (row == nullptr) return E_FAIL;
  return HRESULT_FROM_WIN32(row->win32);
}

DWORD leadingServerCode(std::string_view diagnostic) {
  if (diagnostic.size() < 9 || diagnostic[8] != ':') return 0;
  DWORD code = 0;
  for (size_t i = 0; i < 8; ++i) {
    int digit = hexDigitValue(diagnostic[i]);
    if (digit < 0) return 0;
    code = (code << 4) | static_cast<DWORD>(digit);
  }
  return code;
}

DWORD bindDataCode(std::string_view diagnostic) {
  constexpr std::string_view marker = "data ";
  size_t at = diagnostic.find(marker);
  while (at != std::string_view::npos) {
    // Only the comma-separated field, not a word "data" elsewhere in the text.
    if (at == 0 || diagnostic[at - 1] == ' ') {
      DWORD code = 0;
      size_t i = at + marker.size();
      size_t digits = 0;
      for (; i < diagnostic.size() && digits < 8; ++i, ++digits) {
        int digit = hexDigitValue(diagnostic[i]);
        if (digit < 0) break;
        code = (code << 4) | static_cast<DWORD>(digit);
      }
      bool ends = i == diagnostic.size() || diagnostic[i] == ',';
      if (digits > 0 && ends) return code;
    }
    at = diagnostic.find(marker, at + 1);
  }
  return 0;
}

LastError& lastError() { return threadLastError; }

void setLastError(DWORD code, std::u16string_view text, std::u16string_view provider) {
  threadLastError.code = code;
  threadLastError.text.assign(text);
  threadLastError.provider.assign(provider);
}

void clearLastError() { setLastError(0, u"", u""); }

HRESULT failLdap(int result, std::string_view diagnostic) {
  // The detailed code is what the server names (bind sub-code or leading code); without one,
  // the Win32 code of the result itself.
  DWORD code = bindDataCode(diagnostic);
  if (code == 0) code = leadingServerCode(diagnostic);
  if (code == 0) code = win32FromLdapResult(result);
  std::string text(diagnostic);
  if (text.empty()) text = ldap_err2string(result);
  setLastError(code, toUtf16(text), u"LDAP Provider");
  return hresultFromLdapResult(result);
}

HRESULT failLdap(LDAP* ld, int result) {
  LdapString diagnostic;
  if (ld != nullptr) ldap_get_option(ld, LDAP_OPT_DIAGNOSTIC_MESSAGE, diagnostic.put());
  return failLdap(result, diagnostic ? std::string_view(diagnostic.get()) : std::string_view());
}

}  // namespace winapi::adsi
