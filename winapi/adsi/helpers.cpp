// The flat ADSI functions: binding by path, variant arrays, provider memory and the extended
// error (the enumerator functions are with the containers, container_ops.cpp).
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "adshlp.h"
#include "adsi/com_guard.h"
#include "adsi/connection.h"
#include "adsi/dc_locator.h"
#include "adsi/errors.h"
#include "adsi/object.h"
#include "adsi/path.h"
#include "adsi/pool.h"
#include "adsi/referral.h"
#include "adsi/text.h"

using namespace winapi::adsi;

namespace {

// NULL or empty account: the caller's own identity (Kerberos), or nobody when the caller
// asks for no authentication.
Credentials credentialsOf(LPCWSTR user, LPCWSTR password, DWORD flags) {
  Credentials credentials;
  bool named = user != nullptr && user[0] != 0;
  if (!named) {
    credentials.mode = (flags & ADS_NO_AUTHENTICATION) ? BindMode::Anonymous : BindMode::Kerberos;
    return credentials;
  }
  credentials.mode = BindMode::Simple;
  credentials.user = toUtf8(user);
  std::string secret = toUtf8(password);
  credentials.password = Secret(secret);
  wipe(&secret);
  return credentials;
}

// A path with a domain's name for a host goes to that domain's controllers, and a host to that
// host. A path without one goes to the controllers of the domain its name's DC= components spell
// when that is a domain of the forest, else of the default domain: a caller's name never leads
// outside the forest.
HRESULT serversFor(const AdsPath& path, std::vector<Endpoint>* out) {
  std::string host = path.host;
  if (host.size() > 2 && host.front() == '[') host = host.substr(1, host.size() - 2);
  if (host.empty() && path.kind == PathKind::Object) {
    std::string domain = dnsDomainOfDn(path.dn);
    if (!domain.empty() && isForestDomain(domain)) return locateDomainControllers(domain, path.port, out);
  }
  return locateServers(host, path.port, out);
}

// LDAP://host with no name is the server's default naming context.
HRESULT domainRootPath(Connection* connection, AdsPath* path) {
  LdapMessage result;
  LdapOutcome outcome =
      connection->search("", LDAP_SCOPE_BASE, "(objectClass=*)", {"defaultNamingContext"}, nullptr, 0, 0, &result);
  if (!outcome.ok()) return failWith(outcome);
  LDAPMessage* entry = ldap_first_entry(connection->handle(), result.get());
  LdapValues values(entry != nullptr ? ldap_get_values_len(connection->handle(), entry, "defaultNamingContext")
                                     : nullptr);
  if (!values || values.get()[0] == nullptr) return failLdap(LDAP_NO_SUCH_OBJECT, "no default naming context");
  path->kind = PathKind::Object;
  path->dn.assign(values.get()[0]->bv_val, values.get()[0]->bv_len);
  return S_OK;
}

HRESULT openOn(const std::shared_ptr<Connection>& connection, AdsPath path, const std::string& adsPath, DWORD flags,
               REFIID riid, void** ppv) {
  if (path.kind == PathKind::SchemaClass) return newSchemaClassObject(connection, path, riid, ppv);
  if (path.kind == PathKind::DomainRoot) {
    HRESULT hr = domainRootPath(connection.get(), &path);
    if (FAILED(hr)) return hr;
  }
  return openDirectoryObject(connection, std::move(path), adsPath, flags, riid, ppv);
}

// A server named in the path answered with a referral to another domain of the forest: the name
// is bound once more, there, with the same credentials (referral.h).
HRESULT followReferral(const Credentials& credentials, const AdsPath& path, DWORD flags, REFIID riid, void** ppv) {
  Referral referral;
  if (!chooseReferral(lastReferrals(), isForestDomain, &referral)) return HRESULT_FROM_WIN32(ERROR_DS_REFERRAL);
  std::vector<Endpoint> servers;
  HRESULT hr = locateDomainControllers(referral.domain, path.port, &servers);
  if (FAILED(hr)) return hr;
  std::shared_ptr<Connection> connection;
  hr = acquireConnection(servers, credentials, &connection);
  if (FAILED(hr)) return hr;
  AdsPath there = path;
  there.host.clear();
  there.hostPart.clear();
  there.dn = referral.dn;
  std::string adsPath = buildAdsPath("", there.dn);
  hr = openOn(connection, std::move(there), adsPath, flags, riid, ppv);
  if (SUCCEEDED(hr)) noteObjectBind(connection);
  return hr;
}

}  // namespace

HRESULT ADsOpenObject(LPCWSTR lpszPathName, LPCWSTR lpszUserName, LPCWSTR lpszPassword, DWORD dwReserved, REFIID riid,
                      void** ppObject) try {
  if (ppObject == nullptr) return E_POINTER;
  *ppObject = nullptr;
  if (lpszPathName == nullptr) return E_ADS_BAD_PATHNAME;
  std::string adsPath = toUtf8(lpszPathName);
  AdsPath path;
  HRESULT hr = parseAdsPath(adsPath, &path);
  if (FAILED(hr)) return hr;
  Credentials credentials = credentialsOf(lpszUserName, lpszPassword, dwReserved);
  std::vector<Endpoint> servers;
  hr = serversFor(path, &servers);
  if (FAILED(hr)) return hr;
  std::shared_ptr<Connection> connection;
  hr = acquireConnection(servers, credentials, &connection);
  if (FAILED(hr)) return hr;
  // A read on a pooled connection the server has since dropped is sent again by the connection
  // itself (Connection::search); nothing here retries.
  bool serverNamed = !path.host.empty();
  AdsPath asGiven = path;
  lastReferrals();  // what an earlier call met is not this call's
  hr = openOn(connection, std::move(path), adsPath, dwReserved, riid, ppObject);
  if (SUCCEEDED(hr)) noteObjectBind(connection);
  if (hr == HRESULT_FROM_WIN32(ERROR_DS_REFERRAL) && serverNamed)
    return followReferral(credentials, asGiven, dwReserved, riid, ppObject);
  return hr;
} catch (...) {
  return hresultOfCurrentException();
}

HRESULT ADsBuildVarArrayStr(LPWSTR* lppPathNames, DWORD dwPathNames, VARIANT* pVar) try {
  if (pVar == nullptr || (lppPathNames == nullptr && dwPathNames > 0)) return E_ADS_BAD_PARAMETER;
  VariantInit(pVar);
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, dwPathNames);
  if (array == nullptr) return E_OUTOFMEMORY;
  VARIANT* elements = static_cast<VARIANT*>(array->pvData);
  for (DWORD i = 0; i < dwPathNames; ++i) {
    elements[i].vt = VT_BSTR;
    elements[i].bstrVal = SysAllocString(lppPathNames[i] != nullptr ? lppPathNames[i] : u"");
    if (elements[i].bstrVal == nullptr) {
      SafeArrayDestroy(array);
      return E_OUTOFMEMORY;
    }
  }
  pVar->vt = VT_ARRAY | VT_VARIANT;
  pVar->parray = array;
  return S_OK;
} catch (...) {
  return hresultOfCurrentException();
}

HRESULT ADsGetLastError(LPDWORD lpError, LPWSTR lpErrorBuf, DWORD dwErrorBufLen, LPWSTR lpNameBuf,
                        DWORD dwNameBufLen) try {
  if (lpError == nullptr) return E_POINTER;
  const LastError& last = lastError();
  *lpError = last.code;
  auto copyTruncated = [](const std::u16string& text, LPWSTR buffer, DWORD length) {
    if (buffer == nullptr || length == 0) return;
    size_t count = text.size() < length - 1 ? text.size() : length - 1;
    std::memcpy(buffer, text.data(), count * sizeof(WCHAR));
    buffer[count] = 0;
  };
  copyTruncated(last.text, lpErrorBuf, dwErrorBufLen);
  copyTruncated(last.provider, lpNameBuf, dwNameBufLen);
  return S_OK;
} catch (...) {
  return hresultOfCurrentException();
}

void ADsSetLastError(DWORD dwErr, LPCWSTR pszError, LPCWSTR pszProvider) {
  setLastError(dwErr, pszError != nullptr ? std::u16string_view(pszError) : std::u16string_view(),
               pszProvider != nullptr ? std::u16string_view(pszProvider) : std::u16string_view());
}

LPVOID AllocADsMem(DWORD cb) {
  // Zeroed, as the system's provider memory is.
  return std::calloc(cb == 0 ? 1 : cb, 1);
}

BOOL FreeADsMem(LPVOID pMem) {
  std::free(pMem);
  return TRUE;
}
