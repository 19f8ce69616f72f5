#include "directory/adsi_context.h"

#include "directory/dn_text.h"
#include "directory/ldap_scheme.h"
#include "directory/server_setting.h"

AdsiContext::AdsiContext(const WideString& lookupUserName, const WideString& lookupUserPassword,
                         const WideString& serverName, bool serverIsDomain)
    : lookupUserName_(lookupUserName),
      lookupUserPassword_(lookupUserPassword),
      serverName_(pathHostOrSetting(serverName)),
      serverIsDomain_(serverIsDomain) {}

HRESULT settingsRefusal(const WideString& user, const WideString& password, const WideString& server) {
  if (user.size() > maxParameterLength || password.size() > maxParameterLength || server.size() > maxParameterLength)
    return E_INVALIDARG;
  // Cut short at a NUL, another account, or the right password with junk after it, would be
  // judged instead. No account or password holds one; an empty account binds as the calling
  // thread, whatever the password field holds.
  if (!user.empty() && (holdsNul(user) || holdsNul(password))) return LOGON_FAILURE;
  if (holdsNul(server)) return DS_NO_SUCH_OBJECT;
  WideString host;
  return serverPathHost(server, &host);
}

WideString AdsiContext::ldapPath(const WideString& name) const {
  WideString path = WIDE("LDAP://");
  if (!serverName_.empty()) {
    path += serverName_;
    path += WIDE('/');
  }
  path += pathEscapedName(name);
  return path;
}

HRESULT AdsiContext::openObject(const WideString& path, REFIID iid, DWORD flags, void** object) const {
  *object = nullptr;
  if (path.size() > maxParameterLength) return E_INVALIDARG;
  RETURN_IF_FAILED(settingsRefusal(lookupUserName_, lookupUserPassword_, serverName_));
  if (holdsNul(path)) return DS_NO_SUCH_OBJECT;
  const WCHAR* user = nullptr;
  const WCHAR* password = nullptr;
  if (!lookupUserName_.empty()) {
    user = lookupUserName_.c_str();
    password = lookupUserPassword_.c_str();
  }
  return ADsOpenObject(path.c_str(), user, password, flags | transportFlags(serverName_), iid, object);
}

HRESULT AdsiContext::objectPath(const WideString& dn, WideString* path) const {
  if (dn.size() > maxParameterLength) return E_INVALIDARG;
  // An empty name would bind the server's default naming context: the domain's head.
  if (dn.empty() || holdsNul(dn)) return DS_NO_SUCH_OBJECT;
  if (!isWrittenAsDirectoryName(dn)) return E_ADS_BAD_PATHNAME;
  RETURN_IF_FAILED(checkInForest(dn));
  *path = ldapPath(dn);
  return S_OK;
}

HRESULT AdsiContext::openNamedObject(const WideString& dn, REFIID iid, DWORD flags, void** object) const {
  *object = nullptr;
  WideString path;
  RETURN_IF_FAILED(objectPath(dn, &path));
  return openObject(path, iid, flags, object);
}

HRESULT AdsiContext::bindRootDse(IADs** object) const {
  return openObject(ldapPath(WIDE("RootDSE")), IID_IADs, ADS_SECURE_AUTHENTICATION, reinterpret_cast<void**>(object));
}

HRESULT AdsiContext::bindObject(const WideString& dn, IADs** object) const {
  return openNamedObject(dn, IID_IADs, ADS_SECURE_AUTHENTICATION, reinterpret_cast<void**>(object));
}

HRESULT AdsiContext::bindObjectFast(const WideString& dn, IADs** object) const {
  return openNamedObject(dn, IID_IADs, ADS_SECURE_AUTHENTICATION | ADS_FAST_BIND, reinterpret_cast<void**>(object));
}

HRESULT AdsiContext::bindUser(const WideString& dn, IADsUser** object) const {
  return openNamedObject(dn, IID_IADsUser, ADS_SECURE_AUTHENTICATION, reinterpret_cast<void**>(object));
}

HRESULT AdsiContext::bindGroup(const WideString& dn, IADsGroup** object) const {
  return openNamedObject(dn, IID_IADsGroup, ADS_SECURE_AUTHENTICATION, reinterpret_cast<void**>(object));
}

HRESULT AdsiContext::bindContainer(const WideString& dn, IADsContainer** object) const {
  return openNamedObject(dn, IID_IADsContainer, ADS_SECURE_AUTHENTICATION, reinterpret_cast<void**>(object));
}

HRESULT AdsiContext::bindDirectoryObject(const WideString& dn, IDirectoryObject** object) const {
  return openNamedObject(dn, IID_IDirectoryObject, ADS_SECURE_AUTHENTICATION, reinterpret_cast<void**>(object));
}

HRESULT AdsiContext::bindSchemaClass(const WideString& nameOrPath, IADsClass** object) const {
  WideString path = startsWithLdapScheme(nameOrPath) ? nameOrPath : ldapPath(nameOrPath);
  return openObject(path, IID_IADsClass, ADS_SECURE_AUTHENTICATION, reinterpret_cast<void**>(object));
}
