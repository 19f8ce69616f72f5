// Logons against the directory, for LogonUserW and the process's own token (logon.cpp).
#pragma once
#include <string>

#include "authz/token.h"

namespace winapi::adsi {
class Connection;
}

namespace authz {

// The name a logon binds with: "DOMAIN\account" when a domain is given, else the user
// principal name as given. False for a name LogonUserW does not take in that form.
bool logonBindName(const std::string& user, const std::string& domain, std::string* bindName);

// The logon error for a failed bind: the directory's own reason where it named one (its bind
// sub-code), ERROR_NO_LOGON_SERVERS when no server answered.
DWORD logonErrorOf(HRESULT bindStatus, DWORD directoryCode);

// The interactive token of the account a connection is bound as.
DWORD tokenContentsOf(winapi::adsi::Connection& connection, TokenContents* contents);

// The process's identity: the account of its Kerberos credentials, as the directory knows it.
// ERROR_NO_TOKEN when the process has no usable credentials.
DWORD kerberosProcessIdentity(TokenContents& contents);

}  // namespace authz
