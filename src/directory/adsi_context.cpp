#include "directory/adsi_context.h"

#include "directory/ldap_scheme.h"

AdsiContext::AdsiContext(const WideString& lookupUserName, const WideString& lookupUserPassword,
                         const WideString& serverName, bool serverIsDomain)
    : lookupUserName_(lookupUserName),
      lookupUserPassword_(lookupUserPassword),
      serverName_(serverName),
      serverIsDomain_(serverIsDomain) {}

WideString AdsiContext::ldapPath(const WideString& dn) const {
  WideString path = WIDE("LDAP://");
  if (!serverName_.empty()) {
    path += serverName_;
    path += WIDE('/');
  }
  path += dn;
  return path;
}

namespace {

const HRESULT logonFailure = logonFailureStatus();
const HRESULT noSuchObject = HRESULT_FROM_WIN32(ERROR_DS_NO_SUCH_OBJECT);

}  // namespace

HRESULT AdsiContext::openObject(const WideString& path, REFIID iid, DWORD flags, void** object) const {
  *object = nullptr;
  if (path.size() > maxParameterLength || lookupUserName_.size() > maxParameterLength ||
      lookupUserPassword_.size() > maxParameterLength || serverName_.size() > maxParameterLength)
    return E_INVALIDARG;
  // The path and the credentials cross as C strings, which a NUL would cut short: another
  // name, or the right password with junk after it, would be judged instead. No account or
  // password holds a NUL, and no object is named by a path that holds one.
  if (!lookupUserName_.empty() && (holdsNul(lookupUserName_) || holdsNul(lookupUserPassword_))) return logonFailure;
  if (holdsNul(path)) return noSuchObject;
  // An empty account binds as the calling thread, whatever the password field holds.
  const WCHAR* user = nullptr;
  const WCHAR* password = nullptr;
  if (!lookupUserName_.empty()) {
    user = lookupUserName_.c_str();
    password = lookupUserPassword_.c_str();
  }
  return ADsOpenObject(path.c_str(), user, password, flags, iid, object);
}

HRESULT AdsiContext::bindRootDse(IADs** object) const {
  return openObject(ldapPath(WIDE("RootDSE")), IID_IADs, ADS_SECURE_AUTHENTICATION, reinterpret_cast<void**>(object));
}

HRESULT AdsiContext::bindObject(const WideString& dn, IADs** object) const {
  return openObject(ldapPath(dn), IID_IADs, ADS_SECURE_AUTHENTICATION, reinterpret_cast<void**>(object));
}

HRESULT AdsiContext::bindObjectFast(const WideString& dn, IADs** object) const {
  return openObject(ldapPath(dn), IID_IADs, ADS_SECURE_AUTHENTICATION | ADS_FAST_BIND,
                    reinterpret_cast<void**>(object));
}

HRESULT AdsiContext::bindUser(const WideString& dn, IADsUser** object) const {
  return openObject(ldapPath(dn), IID_IADsUser, ADS_SECURE_AUTHENTICATION, reinterpret_cast<void**>(object));
}

HRESULT AdsiContext::bindGroup(const WideString& dn, IADsGroup** object) const {
  return openObject(ldapPath(dn), IID_IADsGroup, ADS_SECURE_AUTHENTICATION, reinterpret_cast<void**>(object));
}

HRESULT AdsiContext::bindContainer(const WideString& dn, IADsContainer** object) const {
  return openObject(ldapPath(dn), IID_IADsContainer, ADS_SECURE_AUTHENTICATION, reinterpret_cast<void**>(object));
}

HRESULT AdsiContext::bindDirectoryObject(const WideString& dn, IDirectoryObject** object) const {
  return openObject(ldapPath(dn), IID_IDirectoryObject, ADS_SECURE_AUTHENTICATION,
                    reinterpret_cast<void**>(object));
}

HRESULT AdsiContext::bindSchemaClass(const WideString& nameOrPath, IADsClass** object) const {
  WideString path = startsWithLdapScheme(nameOrPath) ? nameOrPath : ldapPath(nameOrPath);
  return openObject(path, IID_IADsClass, ADS_SECURE_AUTHENTICATION, reinterpret_cast<void**>(object));
}
