// Whether an account name and password are accepted by the directory: the name-translation
// service is initialised with them, and its answer is the verdict.
#include "directory/adsi_context.h"
#include "directory/name_resolution.h"

HRESULT AdsiContext::verifyPassword(const WideString& userName, const WideString& domainName,
                                    const WideString& password) const {
  // An empty password is never a login: the service would take it as the caller's own
  // identity, or the directory as an anonymous bind.
  if (password.empty()) return LOGON_FAILURE;
  if (userName.size() > maxParameterLength || domainName.size() > maxParameterLength ||
      password.size() > maxParameterLength)
    return E_INVALIDARG;
  // The directory compares a password only up to a NUL: the right one with junk after it
  // would log on. No account name or password holds one.
  if (holdsNul(password) || holdsNul(userName) || holdsNul(domainName)) return LOGON_FAILURE;
  RETURN_IF_FAILED(settingsRefusal(WideString(), WideString(), serverName_));

  WideString account = userName;
  WideString domain = domainName;
  WideString downLevelDomain;
  if (splitDownLevelName(userName, &downLevelDomain, &account) && domain.empty()) domain = downLevelDomain;
  // A principal name carries its own domain.
  if (userName.find(WIDE('@')) != WideString::npos) domain.clear();
  // With no account the service would run as the process's own identity and accept any
  // password.
  if (account.empty()) return LOGON_FAILURE;

  ComPtr<IADsNameTranslate> service;
  RETURN_IF_FAILED(
      CoCreateInstance(CLSID_NameTranslate, nullptr, CLSCTX_ALL, IID_IADsNameTranslate, service.putVoid()));
  LONG initType = serverIsDomain_ ? ADS_NAME_INITTYPE_DOMAIN : ADS_NAME_INITTYPE_SERVER;

  UniqueBstr server = UniqueBstr::copyOf(serverName_);
  UniqueBstr accountText = UniqueBstr::copyOf(account);
  UniqueBstr domainText = UniqueBstr::copyOf(domain);
  UniqueBstr passwordText = UniqueBstr::secretCopyOf(password);
  HRESULT status = service->InitEx(initType, server.get(), accountText.get(), domainText.get(), passwordText.get());
  // The service may refuse a wrong password as access denied; the caller learns of a logon failure.
  if (FAILED(status) && HRESULT_CODE(status) == ERROR_ACCESS_DENIED) return LOGON_FAILURE;
  return status;
}
