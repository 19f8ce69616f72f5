#include "directory/name_translator.h"

NameTranslator::NameTranslator(const WideString& lookupUserName, const WideString& lookupUserPassword,
                               const WideString& serverName, bool serverIsDomain)
    : lookupUserName_(lookupUserName),
      lookupUserPassword_(lookupUserPassword),
      serverName_(serverName),
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

HRESULT NameTranslator::translate(WideString* output, const WideString& name, LONG inputFormat,
                                  LONG outputFormat) const {
  ComPtr<IADsNameTranslate> service;
  RETURN_IF_FAILED(
      CoCreateInstance(CLSID_NameTranslate, nullptr, CLSCTX_ALL, IID_IADsNameTranslate, service.putVoid()));
  RETURN_IF_FAILED(initialise(service.get()));
  UniqueBstr nameText = UniqueBstr::copyOf(name);
  RETURN_IF_FAILED(service->Set(inputFormat, nameText.get()));
  UniqueBstr translated;
  RETURN_IF_FAILED(service->Get(outputFormat, translated.put()));
  *output = textOfBstr(translated.get());
  return S_OK;
}
