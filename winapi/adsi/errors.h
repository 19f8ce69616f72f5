// The one mapping from OpenLDAP results to the HRESULTs ADSI's LDAP provider reports, and the
// per-thread extended error that ADsGetLastError reads.
#pragma once
#include <ldap.h>

#include <string>
#include <string_view>

#include "adserr.h"
#include "minwindef.h"

namespace winapi::adsi {

// The provider's own refusal of a request too large to be sent (no LDAP result has this
// number): ERROR_INVALID_PARAMETER, which is E_INVALIDARG as an HRESULT.
constexpr int kRequestTooLarge = -1000;

// The Win32 code behind an OpenLDAP result (its negative client-side codes included);
// ERROR_GEN_FAILURE for a code the table does not know.
DWORD win32FromLdapResult(int result);
// HRESULT_FROM_WIN32 of that, S_OK for LDAP_SUCCESS. A code the table does not know gives
// E_FAIL: a fixed failure, never a pass-through of an unrelated number.
HRESULT hresultFromLdapResult(int result);

// The Win32 code an AD server puts at the front of its diagnostic text ("00002071: ..."),
// 0 when the text does not start with eight hex digits and a colon.
DWORD leadingServerCode(std::string_view diagnostic);
// The sub-code of a failed bind ("... AcceptSecurityContext error, data 775, v1db1"), 0 if absent.
DWORD bindDataCode(std::string_view diagnostic);

// Records an LDAP failure for ADsGetLastError and returns its HRESULT. The diagnostic is the
// server's text; the provider name is "LDAP Provider".
HRESULT failLdap(int result, std::string_view diagnostic);
// Reads the handle's diagnostic right after the failing call, before anything overwrites it.
HRESULT failLdap(LDAP* ld, int result);

// The per-thread extended error.
struct LastError {
  DWORD code = 0;
  std::u16string text;
  std::u16string provider;
};
LastError& lastError();
void setLastError(DWORD code, std::u16string_view text, std::u16string_view provider);
void clearLastError();

}  // namespace winapi::adsi
