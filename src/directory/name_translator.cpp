#include "directory/name_translator.h"

#include "directory/adsi_context.h"
#include "directory/server_setting.h"

NameTranslator::NameTranslator(const WideString& lookupUserName, const WideString& lookupUserPassword,
                               const WideString& serverName, bool serverIsDomain)
    : lookupUserName_(lookupUserName),
      lookupUserPassword_(lookupUserPassword),
      serverName_(pathHostOrSetting(serverName)),
      serverIsDomain_(serverIsDomain) {}

HRESULT NameTranslator::initialise(IADsNameTranslate* service) const {
  LONG initType = serverIsDomain_ ? ADS_NAME_INITTYPE_DOMAIN : ADS_NAME_INITTYPE_SERVER;
  UniqueBstr target = UniqueBstr::copyOf(serverName_);
  if (lookupUserName_.empty()) return service->Init(initType, target.get());

  // DOMAIN\account: the account goes alone and the prefix becomes the credential domain,
  // unless the service is initialised by domain, which then names the credential domain.
  WideString user = lookupUserName_;
  UniqueBstr credentialDomain;
  size_t backslash = lookupUserName_.find(WIDE('\\'));
  if (backslash != WideString::npos) {
    credentialDomain = UniqueBstr::copyOf(lookupUserName_.substr(0, backslash));
    user = lookupUserName_.substr(backslash + 1);
  }
  if (serverIsDomain_) credentialDomain = UniqueBstr::copyOf(serverName_);
  UniqueBstr userText = UniqueBstr::copyOf(user);
  UniqueBstr password = UniqueBstr::secretCopyOf(lookupUserPassword_);
  return service->InitEx(initType, target.get(), userText.get(), credentialDomain.get(), password.get());
}

// Binds the server's root entry with the translator's own credentials, as an object bind
// does: the service then finds that connection open and bound, instead of opening and
// authenticating one of its own for every name. A server that cannot be reached ends the
// translation here; whatever else this bind finds wrong, the service reports in its own terms.
HRESULT NameTranslator::openRootEntry() const {
  WideString path = WIDE("LDAP://");
  path += serverName_.empty() ? WIDE("RootDSE") : serverName_ + WIDE("/RootDSE");
  const WCHAR* user = lookupUserName_.empty() ? nullptr : lookupUserName_.c_str();
  const WCHAR* password = lookupUserName_.empty() ? nullptr : lookupUserPassword_.c_str();
  HRESULT status = ADsOpenObject(path.c_str(), user, password, ADS_SECURE_AUTHENTICATION | transportFlags(serverName_),
                                 IID_IADs, rootEntry_.putVoid());
  bool unreachable = status == HRESULT_FROM_WIN32(ERROR_DS_SERVER_DOWN) || status == HRESULT_FROM_WIN32(ERROR_TIMEOUT) ||
                     status == HRESULT_FROM_WIN32(ERROR_CONNECTION_REFUSED);
  return unreachable ? status : S_OK;
}

HRESULT NameTranslator::translate(WideString* output, const WideString& name, LONG inputFormat,
                                  LONG outputFormat) const {
  return translateToFirstOf(output, name, inputFormat, {outputFormat});
}

HRESULT NameTranslator::translateToFirstOf(WideString* output, const WideString& name, LONG inputFormat,
                                           std::initializer_list<LONG> outputFormats) const {
  if (name.size() > maxParameterLength) return E_INVALIDARG;
  RETURN_IF_FAILED(settingsRefusal(lookupUserName_, lookupUserPassword_, serverName_));
  // The service reads the name up to a NUL, and would translate the account named before it.
  if (holdsNul(name)) return HRESULT_FROM_WIN32(ERROR_DS_NAME_ERROR_NOT_FOUND);
  // Once per translator: a server that did not answer is not asked again within the call.
  if (rootEntryStatus_ == S_FALSE) rootEntryStatus_ = openRootEntry();
  RETURN_IF_FAILED(rootEntryStatus_);
  ComPtr<IADsNameTranslate> service;
  RETURN_IF_FAILED(
      CoCreateInstance(CLSID_NameTranslate, nullptr, CLSCTX_ALL, IID_IADsNameTranslate, service.putVoid()));
  RETURN_IF_FAILED(initialise(service.get()));
  UniqueBstr nameText = UniqueBstr::copyOf(name);
  RETURN_IF_FAILED(service->Set(inputFormat, nameText.get()));
  HRESULT status = E_INVALIDARG;
  for (LONG outputFormat : outputFormats) {
    UniqueBstr translated;
    status = service->Get(outputFormat, translated.put());
    if (SUCCEEDED(status)) {
      *output = textOfBstr(translated.get());
      return S_OK;
    }
  }
  return status;
}
