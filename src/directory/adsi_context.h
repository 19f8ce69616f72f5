// The per-call directory context: the thread's COM initialisation for the call, the bind
// account, and the operations that open directory objects by LDAP path.
#pragma once
#include "directory/owners.h"
#include "directory/string_list.h"

// The longest text a caller may pass for a name, path, filter or value (UTF-16 code units):
// far above any real one. A longer text is refused with E_INVALIDARG before anything is sent.
constexpr size_t maxParameterLength = 65536;

inline bool holdsNul(const WideString& text) { return text.find(WCHAR(0)) != WideString::npos; }

class AdsiContext {
 public:
  AdsiContext(const WideString& lookupUserName, const WideString& lookupUserPassword, const WideString& serverName,
              bool serverIsDomain);
  ~AdsiContext() { secureWipe(&lookupUserPassword_); }
  AdsiContext(const AdsiContext&) = delete;
  AdsiContext& operator=(const AdsiContext&) = delete;

  WideString ldapPath(const WideString& dn) const;
  HRESULT openObject(const WideString& path, REFIID iid, DWORD flags, void** object) const;

  HRESULT bindRootDse(IADs** object) const;
  HRESULT bindObject(const WideString& dn, IADs** object) const;
  HRESULT bindObjectFast(const WideString& dn, IADs** object) const;
  HRESULT bindUser(const WideString& dn, IADsUser** object) const;
  HRESULT bindGroup(const WideString& dn, IADsGroup** object) const;
  HRESULT bindContainer(const WideString& dn, IADsContainer** object) const;
  HRESULT bindDirectoryObject(const WideString& dn, IDirectoryObject** object) const;
  HRESULT bindSchemaClass(const WideString& nameOrPath, IADsClass** object) const;

  // Searching (directory/search.cpp).
  HRESULT openSearch(const WideString& dn, IDirectorySearch** search) const;
  HRESULT searchFirstEntry(const WideString& base, const WideString& filter, const StringList& attributeNames,
                           StringList* values) const;

  // Account names to distinguished names (directory/name_resolution.cpp).
  HRESULT resolveUser(const WideString& userName, const WideString& userDomain, WideString* logonName,
                      WideString* dn) const;
  HRESULT resolveGroup(const WideString& groupName, WideString* dn) const;

  // User container discovery (nodes/user_containers.cpp).
  HRESULT isUserContainer(const WideString& dn) const;
  HRESULT getChildUserContainers(const WideString& dn, StringList* containers) const;

  // Node access check (security/node_access.cpp).
  HRESULT checkNodeAccess(const WideString& nodeDn, DWORD desiredAccess, DWORD* grantedAccess,
                          DWORD* accessStatus) const;

  // Node search (nodes/node_search.cpp) and the NetBIOS name of a domain
  // (nodes/netbios_domain.cpp).
  HRESULT searchNodes(const WideString& baseDn, const WideString& filter, StringList* results) const;
  HRESULT searchDeletedNodes(const WideString& filter, StringList* results) const;
  HRESULT openDeletedObjects(IADsContainer** container) const;
  HRESULT findNodeValues(const WideString& baseDn, const WideString& attributeName, const WideString& filter,
                         LONG sizeLimit, LONG timeLimit, StringList* results) const;
  HRESULT getNetbiosDomain(const WideString& dnsDomainName, WideString* netbiosName) const;

  // Group membership (groups/group_membership.cpp) and a member's primary group
  // (groups/group_expansion.cpp).
  HRESULT isMemberOf(const WideString& groupDn, const WideString& memberDn, VARIANT_BOOL* isMember) const;
  HRESULT getUserPrimaryGroup(const WideString& userDn, WideString* groupDn) const;
  HRESULT getMachinePrimaryGroup(const WideString& dn, WideString* groupDn) const;

  // Password verification (security/password_verification.cpp).
  HRESULT verifyPassword(const WideString& userName, const WideString& domainName, const WideString& password) const;

  HRESULT comInitResult() const { return comInit_.result(); }
  const WideString& lookupUserName() const { return lookupUserName_; }
  const WideString& lookupUserPassword() const { return lookupUserPassword_; }
  const WideString& serverName() const { return serverName_; }
  bool serverIsDomain() const { return serverIsDomain_; }

 private:
  HRESULT findByAccountName(const WideString& objectClass, const WideString& accountName, WideString* dn) const;

  // The apartment is entered before, and left after, everything else the context holds.
  ComApartment comInit_;
  WideString lookupUserName_;
  WideString lookupUserPassword_;
  WideString serverName_;
  bool serverIsDomain_;
};
