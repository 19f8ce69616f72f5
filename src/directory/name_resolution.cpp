#include "directory/name_resolution.h"

#include "directory/adsi_context.h"
#include "directory/ldap_filter.h"
#include "directory/name_translator.h"
#include "directory/search.h"

AccountNameForm accountNameFormOf(const WideString& name) {
  bool hasEquals = name.find(WIDE('=')) != WideString::npos;
  bool hasComma = name.find(WIDE(',')) != WideString::npos;
  if (hasEquals && hasComma) return AccountNameForm::DistinguishedName;
  if (name.find(WIDE('\\')) != WideString::npos || name.find(WIDE('@')) != WideString::npos)
    return AccountNameForm::QualifiedName;
  return AccountNameForm::BareName;
}

bool splitDownLevelName(const WideString& name, WideString* domain, WideString* account) {
  size_t backslash = name.find(WIDE('\\'));
  if (backslash == WideString::npos) return false;
  *domain = name.substr(0, backslash);
  *account = name.substr(backslash + 1);
  return true;
}

WideString accountPartOf(const WideString& name) {
  WideString domain, account;
  if (splitDownLevelName(name, &domain, &account)) return account;
  size_t at = name.rfind(WIDE('@'));
  return at == WideString::npos ? name : name.substr(0, at);
}

namespace {

// A name the logon service accepts: the principal name when the directory has one, else the
// DOMAIN\account name.
HRESULT translateToLogonName(const NameTranslator& translator, const WideString& dn, WideString* logonName) {
  return translator.translateToFirstOf(logonName, dn, ADS_NAME_TYPE_1779,
                                      {ADS_NAME_TYPE_USER_PRINCIPAL_NAME, ADS_NAME_TYPE_NT4});
}

// A name whose account part is empty names no account: a domain and a backslash alone would be
// read as the domain object itself. It resolves to nothing, before anything is sent.
bool namesNoAccount(const WideString& name, AccountNameForm form) {
  return form != AccountNameForm::DistinguishedName && accountPartOf(name).empty();
}

}  // namespace

HRESULT AdsiContext::findByAccountName(const WideString& objectClass, const WideString& accountName,
                                       WideString* dn) const {
  // No account name holds a NUL, and the directory would compare only up to it.
  if (accountName.find(WCHAR(0)) != WideString::npos) return E_FAIL;
  ComPtr<IADs> rootDse;
  RETURN_IF_FAILED(bindRootDse(rootDse.put()));
  UniqueBstr attribute = UniqueBstr::copyOf(WIDE("defaultNamingContext"));
  UniqueVariant namingContext;
  RETURN_IF_FAILED(rootDse->Get(attribute.get(), namingContext.put()));
  WideString base = namingContext.get()->vt == VT_BSTR ? textOfBstr(namingContext.get()->bstrVal) : WideString();

  // The name is escaped so that a pattern such as "*" can only match an account of that name.
  WideString filter = WIDE("(&(objectClass=") + objectClass + WIDE(")(sAMAccountName=") +
                      escapeFilterValue(accountName) + WIDE("))");
  StringList attributes;
  attributes.append(WIDE("distinguishedName"));
  StringList values;
  HRESULT status = ::searchFirstEntry(*this, base, filter, attributes, FirstEntry::lookup, &values);
  if (FAILED(status)) return status;
  if (values.count() == 0) return E_FAIL;
  *dn = values[0];
  return status;
}

HRESULT AdsiContext::resolveUser(const WideString& userName, const WideString& userDomain, WideString* logonName,
                                 WideString* dn) const {
  if (userName.size() > maxParameterLength || userDomain.size() > maxParameterLength) return E_INVALIDARG;
  logonName->clear();
  AccountNameForm form = accountNameFormOf(userName);
  if (namesNoAccount(userName, form)) return E_FAIL;
  NameTranslator translator(lookupUserName_, lookupUserPassword_, serverName_, serverIsDomain_);
  switch (form) {
    case AccountNameForm::DistinguishedName: {
      HRESULT status = translateToLogonName(translator, userName, logonName);
      if (SUCCEEDED(status)) *dn = userName;
      return status;
    }
    case AccountNameForm::QualifiedName: {
      HRESULT status = translator.translate(dn, userName, ADS_NAME_TYPE_UNKNOWN, ADS_NAME_TYPE_1779);
      if (SUCCEEDED(status)) *logonName = userName;
      return status;
    }
    case AccountNameForm::BareName:
      break;
  }
  if (!userDomain.empty()) {
    WideString downLevel = userDomain + WIDE('\\') + userName;
    HRESULT status = translator.translate(dn, downLevel, ADS_NAME_TYPE_UNKNOWN, ADS_NAME_TYPE_1779);
    if (SUCCEEDED(status)) {
      *logonName = downLevel;
      return status;
    }
    WideString principal = userName + WIDE('@') + userDomain;
    status = translator.translate(dn, principal, ADS_NAME_TYPE_UNKNOWN, ADS_NAME_TYPE_1779);
    if (SUCCEEDED(status)) *logonName = principal;
    return status;
  }
  RETURN_IF_FAILED(findByAccountName(WIDE("user"), userName, dn));
  // The distinguished name stays set even when no logon form can be had for it.
  return translateToLogonName(translator, *dn, logonName);
}

HRESULT AdsiContext::confirmGroup(const WideString& dn) const {
  ComPtr<IADsGroup> group;
  return bindGroup(dn, group.put());
}

HRESULT AdsiContext::resolveGroup(const WideString& groupName, WideString* dn) const {
  if (groupName.size() > maxParameterLength) return E_INVALIDARG;
  AccountNameForm form = accountNameFormOf(groupName);
  if (form == AccountNameForm::DistinguishedName) {
    HRESULT status = confirmGroup(groupName);
    if (SUCCEEDED(status)) *dn = groupName;
    return status;
  }
  if (namesNoAccount(groupName, form)) return E_FAIL;
  NameTranslator translator(lookupUserName_, lookupUserPassword_, serverName_, serverIsDomain_);
  WideString translated;
  HRESULT status = translator.translate(&translated, groupName, ADS_NAME_TYPE_UNKNOWN, ADS_NAME_TYPE_1779);
  if (SUCCEEDED(status)) {
    // The service also knows users, and display names before account names: only a group
    // answers for a group name.
    HRESULT bound = confirmGroup(translated);
    if (SUCCEEDED(bound)) {
      *dn = translated;
      return status;
    }
    if (bound != E_NOINTERFACE) return bound;
  }
  // Not a group the service knows: look for a group with that account name instead.
  return findByAccountName(WIDE("group"), groupName, dn);
}
