// Logons against the directory: LogonUserW authenticates an account (a bind of its own, or the
// pooled connection these exact credentials bound, within the pool's lifetime limit) and builds
// the account's token from what the directory says of it now; the process's own token is the
// identity of its Kerberos credentials.
//
// A token holds the account's SID, its tokenGroups (every security group, nested and
// primary ones included, and the builtin aliases) and the SIDs each interactive logon
// carries: Everyone, Local, Interactive, Authenticated Users, This Organization and a logon
// SID. No privilege is enabled.
#include "authz/logon.h"

#include <atomic>
#include <memory>

#include "adsi/connection.h"
#include "adsi/dc_locator.h"
#include "adsi/errors.h"
#include "adsi/failover.h"
#include "adsi/pool.h"
#include "adsi/test_switches.h"
#include "adsi/text.h"
#include "authz/fail_with.h"
#include "authz/token.h"
#include "errhandlingapi.h"
#include "winbase.h"

namespace authz {

namespace {

using winapi::adsi::Connection;
using winapi::adsi::Credentials;
using winapi::adsi::Endpoint;
using winapi::adsi::LdapMessage;
using winapi::adsi::LdapOutcome;

constexpr DWORD logonGroupAttributes =
    SE_GROUP_MANDATORY | SE_GROUP_ENABLED_BY_DEFAULT | SE_GROUP_ENABLED | SE_GROUP_LOGON_ID;

// Each logon session gets its own logon SID, S-1-5-5-0-<n>.
std::atomic<DWORD> nextLogonSession{0x3e8};

// The logon errors a failed bind can stand for; the directory names them in its bind sub-code.
bool isLogonError(DWORD code) {
  switch (code) {
    case ERROR_LOGON_FAILURE:
    case ERROR_ACCOUNT_RESTRICTION:
    case ERROR_INVALID_LOGON_HOURS:
    case ERROR_INVALID_WORKSTATION:
    case ERROR_PASSWORD_EXPIRED:
    case ERROR_ACCOUNT_DISABLED:
    case ERROR_TOO_MANY_CONTEXT_IDS:
    case ERROR_ACCOUNT_EXPIRED:
    case ERROR_PASSWORD_MUST_CHANGE:
    case ERROR_ACCOUNT_LOCKED_OUT:
      return true;
    default:
      return false;
  }
}

DWORD win32CodeOf(HRESULT hr) {
  return HRESULT_FACILITY(hr) == FACILITY_WIN32 ? static_cast<DWORD>(HRESULT_CODE(hr)) : ERROR_GEN_FAILURE;
}

HRESULT searchOne(Connection& connection, const std::string& base, int scope, const std::string& filter,
                  const std::vector<std::string>& attributes, LdapMessage* result, LDAPMessage** entry) {
  LdapOutcome outcome = connection.search(base, scope, filter, attributes, nullptr, 0, 0, result);
  if (!outcome.ok()) return winapi::adsi::failWith(outcome);
  *entry = ldap_first_entry(connection.handle(), result->get());
  return S_OK;
}

DWORD validSids(const std::vector<std::string>& values, std::vector<SidBytes>* out) {
  for (const std::string& value : values) {
    const BYTE* bytes = reinterpret_cast<const BYTE*>(value.data());
    if (validSidLength(bytes, value.size()) != value.size()) return ERROR_INVALID_SID;
    out->emplace_back(bytes, bytes + value.size());
  }
  return ERROR_SUCCESS;
}

// The SID's bytes in hex: each escaped for a filter value, or plain for a <SID=...> name.
std::string sidHex(const SidBytes& sid, bool escaped) {
  static const char hex[] = "0123456789abcdef";
  std::string text;
  for (BYTE b : sid) {
    if (escaped) text += '\\';
    text += hex[b >> 4];
    text += hex[b & 0xF];
  }
  return text;
}

// The account the connection is bound as, by its SID. The directory's own view of the connection
// (the rootDSE tokenGroups: the bound account's SID and its groups) names it, so the account
// found is the one that authenticated, whatever form its name was given in.
DWORD findBoundAccount(Connection& connection, SidBytes* account) {
  LdapMessage root;
  LDAPMessage* rootEntry = nullptr;
  HRESULT hr = searchOne(connection, "", LDAP_SCOPE_BASE, "(objectClass=*)", {"defaultNamingContext", "tokenGroups"},
                         &root, &rootEntry);
  if (FAILED(hr)) return win32CodeOf(hr);
  if (rootEntry == nullptr) return ERROR_NO_SUCH_DOMAIN;
  std::string base = winapi::adsi::firstEntryValue(connection.handle(), rootEntry, "defaultNamingContext");
  std::vector<SidBytes> ownSids;
  DWORD status = validSids(winapi::adsi::entryValues(connection.handle(), rootEntry, "tokenGroups"), &ownSids);
  if (status != ERROR_SUCCESS) return status;
  if (base.empty() || ownSids.empty()) return ERROR_NO_SUCH_USER;
  std::string filter = "(&(objectClass=user)(|";
  for (const SidBytes& sid : ownSids) filter += "(objectSid=" + sidHex(sid, true) + ")";
  filter += "))";
  LdapMessage found;
  LDAPMessage* entry = nullptr;
  hr = searchOne(connection, base, LDAP_SCOPE_SUBTREE, filter, {"objectSid"}, &found, &entry);
  if (FAILED(hr)) return win32CodeOf(hr);
  if (entry == nullptr) return ERROR_NO_SUCH_USER;
  // A token holds one account: a second one among its SIDs leaves the identity unclear.
  if (ldap_next_entry(connection.handle(), entry) != nullptr) return ERROR_LOGON_FAILURE;
  std::vector<SidBytes> sid;
  status = validSids(winapi::adsi::entryValues(connection.handle(), entry, "objectSid"), &sid);
  if (status != ERROR_SUCCESS) return status;
  if (sid.size() != 1) return ERROR_NO_SUCH_USER;
  *account = std::move(sid.front());
  return ERROR_SUCCESS;
}

// The bound account's SID, found once per connection: a connection's bind, and so the account
// it stands for, never changes while it lives.
DWORD boundAccountOf(Connection& connection, SidBytes* account) {
  DWORD status = ERROR_SUCCESS;
  std::shared_ptr<const void> kept = connection.remembered("bound account", [&]() {
    auto sid = std::make_shared<SidBytes>();
    status = findBoundAccount(connection, sid.get());
    return status == ERROR_SUCCESS ? std::shared_ptr<const void>(std::move(sid)) : std::shared_ptr<const void>();
  });
  if (status != ERROR_SUCCESS) return status;
  if (!kept) return ERROR_NO_SUCH_USER;
  *account = *std::static_pointer_cast<const SidBytes>(kept);
  return ERROR_SUCCESS;
}

// The account's SID and tokenGroups, read now (its groups as they stand), on the connection the
// account itself bound. The account is named by its SID, which holds however it is moved or renamed.
DWORD readIdentity(Connection& connection, const SidBytes& account, std::vector<SidBytes>* sids) {
  std::string base = "<SID=" + sidHex(account, false) + ">";
  LdapMessage result;
  LDAPMessage* entry = nullptr;
  HRESULT hr = searchOne(connection, base, LDAP_SCOPE_BASE, "(objectClass=*)", {"objectSid", "tokenGroups"},
                         &result, &entry);
  if (FAILED(hr)) return win32CodeOf(hr);
  if (entry == nullptr) return ERROR_NO_SUCH_USER;
  std::vector<std::string> user = winapi::adsi::entryValues(connection.handle(), entry, "objectSid");
  if (user.size() != 1) return ERROR_INVALID_SID;
  DWORD status = validSids(user, sids);
  if (status != ERROR_SUCCESS) return status;
  if (!sameSid(sids->front().data(), account)) return ERROR_NO_SUCH_USER;
  return validSids(winapi::adsi::entryValues(connection.handle(), entry, "tokenGroups"), sids);
}

TokenContents interactiveToken(std::vector<SidBytes> sids) {
  TokenContents contents;
  contents.user = std::move(sids.front());
  auto addGroup = [&contents](SidBytes sid, DWORD attributes) {
    if (sameSid(contents.user.data(), sid)) return;
    for (const TokenGroup& group : contents.groups)
      if (sameSid(group.sid.data(), sid)) return;
    TokenGroup group;
    group.sid = std::move(sid);
    group.attributes = attributes;
    contents.groups.push_back(std::move(group));
  };
  for (size_t i = 1; i < sids.size(); ++i) addGroup(std::move(sids[i]), TokenGroup().attributes);
  const DWORD wellKnown = TokenGroup().attributes;
  addGroup(wellknown::everyone(), wellKnown);
  addGroup(makeSid(2, {0}), wellKnown);   // LOCAL
  addGroup(makeSid(5, {4}), wellKnown);   // INTERACTIVE
  addGroup(wellknown::authenticatedUsers(), wellKnown);
  addGroup(makeSid(5, {15}), wellKnown);  // This Organization
  addGroup(makeSid(5, {5, 0, nextLogonSession++}), logonGroupAttributes);
  contents.type = TokenPrimary;
  return contents;
}

}  // namespace

bool logonBindName(const std::string& user, const std::string& domain, std::string* bindName) {
  bindName->clear();
  if (user.empty() || user.find('\\') != std::string::npos) return false;
  if (!domain.empty()) {
    // An account within a named domain: DOMAIN\account.
    if (user.find('@') != std::string::npos) return false;
    *bindName = domain + "\\" + user;
    return true;
  }
  // Without a domain the name must be a user principal name.
  size_t at = user.rfind('@');
  if (at == std::string::npos || at == 0 || at + 1 == user.size()) return false;
  *bindName = user;
  return true;
}

DWORD tokenContentsOf(Connection& connection, TokenContents* contents) {
  SidBytes account;
  DWORD status = boundAccountOf(connection, &account);
  if (status != ERROR_SUCCESS) return status;
  std::vector<SidBytes> sids;
  status = readIdentity(connection, account, &sids);
  if (status != ERROR_SUCCESS) return status;
  *contents = interactiveToken(std::move(sids));
  return ERROR_SUCCESS;
}

DWORD logonErrorOf(HRESULT bindStatus, DWORD directoryCode) {
  if (bindStatus == HRESULT_FROM_WIN32(ERROR_DS_SERVER_DOWN) || bindStatus == HRESULT_FROM_WIN32(ERROR_TIMEOUT) ||
      bindStatus == HRESULT_FROM_WIN32(ERROR_CONNECTION_REFUSED))
    return ERROR_NO_LOGON_SERVERS;
  if (bindStatus == HRESULT_FROM_WIN32(ERROR_LOGON_FAILURE))
    // An unknown account reads as a wrong password, as a logon reports it.
    return isLogonError(directoryCode) ? directoryCode : ERROR_LOGON_FAILURE;
  DWORD code = win32CodeOf(bindStatus);
  return code == ERROR_SUCCESS ? ERROR_GEN_FAILURE : code;
}

DWORD kerberosProcessIdentity(TokenContents& contents) {
  std::vector<Endpoint> controllers;
  if (FAILED(winapi::adsi::locateDomainControllers(std::string(), 0, &controllers))) return ERROR_NO_TOKEN;
  Credentials credentials;
  credentials.mode = winapi::adsi::BindMode::Kerberos;
  std::shared_ptr<Connection> connection;
  // The pooled connection of the process's own credentials (its principal is part of the pool's
  // key) speaks for the identity they give; without usable credentials there is none to give.
  if (FAILED(winapi::adsi::acquireConnection(controllers, credentials, &connection))) return ERROR_NO_TOKEN;
  return tokenContentsOf(*connection, &contents);
}

}  // namespace authz

BOOL LogonUserW(LPCWSTR user, LPCWSTR domain, LPCWSTR password, DWORD logonType, DWORD logonProvider,
                PHANDLE token) {
  if (token == nullptr) return authz::failWith(ERROR_INVALID_PARAMETER);
  *token = nullptr;
  if (winapi::adsi::seam().logonFailsWithoutError()) {
    SetLastError(ERROR_SUCCESS);
    return FALSE;
  }
  if (logonType != LOGON32_LOGON_INTERACTIVE || logonProvider != LOGON32_PROVIDER_DEFAULT)
    return authz::failWith(ERROR_INVALID_PARAMETER);
  std::string account = user != nullptr ? winapi::adsi::toUtf8(user) : std::string();
  std::string accountDomain = domain != nullptr ? winapi::adsi::toUtf8(domain) : std::string();
  std::string bindName;
  if (!authz::logonBindName(account, accountDomain, &bindName)) return authz::failWith(ERROR_LOGON_FAILURE);
  // The account logs on at a controller of its own domain; a principal name's suffix that names
  // no domain found here (an extra UPN suffix, say) at one of the machine's own domain.
  std::vector<winapi::adsi::Endpoint> controllers;
  if (FAILED(winapi::adsi::locateDomainControllers(winapi::adsi::logonDomainOf(account, accountDomain), 0,
                                                   &controllers)) &&
      FAILED(winapi::adsi::locateDomainControllers(std::string(), 0, &controllers)))
    return authz::failWith(ERROR_NO_LOGON_SERVERS);
  winapi::adsi::Credentials credentials;
  credentials.mode = winapi::adsi::BindMode::Simple;
  credentials.user = bindName;
  std::string secret = password != nullptr ? winapi::adsi::toUtf8(password) : std::string();
  credentials.password = winapi::adsi::Secret(secret);
  winapi::adsi::wipe(&secret);
  // The bind is the logon's question. A pooled connection that these exact credentials bound at a
  // controller of the domain, within the pool's lifetime limit, has answered it as far as the pool
  // trusts it for object binds: the token is read over it. Otherwise the account binds afresh, on
  // a kept password-check connection when one is idle.
  std::shared_ptr<winapi::adsi::Connection> connection = winapi::adsi::pooledConnectionFor(controllers, credentials);
  if (!connection) {
    HRESULT hr = winapi::adsi::firstAnswering(controllers, [&](const winapi::adsi::Endpoint& endpoint) {
      return winapi::adsi::authenticateAfresh(endpoint, credentials, &connection);
    });
    if (FAILED(hr)) return authz::failWith(authz::logonErrorOf(hr, winapi::adsi::lastError().code));
  }
  credentials.password = winapi::adsi::Secret();
  authz::TokenContents contents;
  DWORD status = authz::tokenContentsOf(*connection, &contents);
  if (status == ERROR_SUCCESS) status = authz::createToken(std::move(contents), TOKEN_ALL_ACCESS, token);
  if (status != ERROR_SUCCESS) {
    *token = nullptr;
    return authz::failWith(status);
  }
  return TRUE;
}
