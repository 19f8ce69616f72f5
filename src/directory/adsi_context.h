// The per-call directory context: the thread's COM initialisation for the call, the bind
// account, and the operations that open directory objects by LDAP path.
#pragma once
#include <initializer_list>

#include "directory/owners.h"
#include "directory/string_list.h"

// The longest text a caller may pass for a name, path, filter or value (UTF-16 code units):
// far above any real one. A longer text is refused with E_INVALIDARG before anything is sent.
constexpr size_t maxParameterLength = 65536;

inline bool holdsNul(const WideString& text) { return text.find(WCHAR(0)) != WideString::npos; }

// Why a call's settings cannot reach the platform whole, which takes them as C strings: an
// oversized text (E_INVALIDARG), a NUL in a named account or its password (a logon failure) or
// in the server's name (no such object), or a server URL that says more than a host and port
// (E_ADS_BAD_PATHNAME, see server_setting.h). S_OK when they can.
HRESULT settingsRefusal(const WideString& user, const WideString& password, const WideString& server);

class VariantArray;

// What an attribute operation works on, which decides how its object is bound: a user or a group
// (bound through its own interface, so that any other object is refused with E_NOINTERFACE), any
// object, or a deleted object (bound without first looking for it, which would not find it).
enum class AttributeTarget { user, group, node, deletedNode };

// Loads these attributes of a bound object into its property cache with one read (constructed
// ones too); a Get of any other name then loads the object's ordinary attributes.
HRESULT loadAttributes(IADs* object, std::initializer_list<const WCHAR*> names);

class AdsiContext {
 public:
  AdsiContext(const WideString& lookupUserName, const WideString& lookupUserPassword, const WideString& serverName,
              bool serverIsDomain);
  ~AdsiContext() { secureWipe(&lookupUserPassword_); }
  AdsiContext(const AdsiContext&) = delete;
  AdsiContext& operator=(const AdsiContext&) = delete;

  // The path of a name on the settings' server; the name is written so that it can only be read
  // as a name (pathEscapedName).
  WideString ldapPath(const WideString& name) const;
  // Every bind asks for a sealed (encrypted) connection besides the given flags.
  HRESULT openObject(const WideString& path, REFIID iid, DWORD flags, void** object) const;
  // The path of a name a caller gave for an object, or why it names none there can be bound:
  // empty, holding a NUL, or outside the forest (no such object), or not written as a name at all
  // (E_ADS_BAD_PATHNAME). Nothing is sent for a refused name.
  HRESULT objectPath(const WideString& dn, WideString* path) const;
  HRESULT openNamedObject(const WideString& dn, REFIID iid, DWORD flags, void** object) const;
  // Whether a name ending in domain components lies in a naming context of the bound server's
  // forest (directory/forest_domains.cpp): no referral then takes the account elsewhere.
  HRESULT checkInForest(const WideString& dn) const;

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

  // Account lifecycle (users/user_creation.cpp, users/user_accounts.cpp).
  HRESULT addUser(const WideString& userName, const WideString& containerDn) const;
  HRESULT deleteUser(const WideString& dn) const;
  HRESULT resetPassword(const WideString& dn, const WideString& newPassword) const;
  HRESULT unlockAccount(const WideString& dn) const;
  HRESULT isUserNode(const WideString& dn) const;

  // Password verification (security/password_verification.cpp).
  HRESULT verifyPassword(const WideString& userName, const WideString& domainName, const WideString& password) const;

  // Attributes of any target (directory/attribute_access.cpp): one body each, the target
  // deciding only how the object is bound. Text reads come in two kinds: a strict one that takes
  // string values only, and a lenient one that gives any value as text.
  HRESULT getAttributeString(AttributeTarget target, const WideString& dn, const WideString& name,
                             WideString* value) const;
  HRESULT getAttributeText(AttributeTarget target, const WideString& dn, const WideString& name,
                           WideString* text) const;
  HRESULT setAttributeString(AttributeTarget target, const WideString& dn, const WideString& name,
                             const WideString& value) const;
  HRESULT getAttributeInt(AttributeTarget target, const WideString& dn, const WideString& name, LONG* value) const;
  HRESULT setAttributeInt(AttributeTarget target, const WideString& dn, const WideString& name, LONG value) const;
  HRESULT getAttributeLargeInt(AttributeTarget target, const WideString& dn, const WideString& name, LONG* lowPart,
                               LONG* highPart) const;
  HRESULT setAttributeLargeInt(AttributeTarget target, const WideString& dn, const WideString& name, LONG lowPart,
                               LONG highPart) const;
  HRESULT getAttributeStringArray(AttributeTarget target, const WideString& dn, const WideString& name,
                                  VariantArray* values) const;
  HRESULT setAttributeStringArray(AttributeTarget target, const WideString& dn, const WideString& name,
                                  LONG controlCode, const VariantArray& values) const;

  // Whether an object is a group (groups/group_attributes.cpp); an object's GUID and parent
  // (nodes/node_attributes.cpp).
  HRESULT isGroupNode(const WideString& dn) const;
  HRESULT getNodeGuid(const WideString& dn, WideString* guid) const;
  HRESULT getParentNode(const WideString& dn, WideString* parentDn) const;

  HRESULT comInitResult() const { return comInit_.result(); }
  const WideString& lookupUserName() const { return lookupUserName_; }
  const WideString& lookupUserPassword() const { return lookupUserPassword_; }
  const WideString& serverName() const { return serverName_; }
  bool serverIsDomain() const { return serverIsDomain_; }

 private:
  HRESULT findByAccountName(const WideString& objectClass, const WideString& accountName, WideString* dn) const;
  // S_OK when the object binds as a group; E_NOINTERFACE when it is something else.
  HRESULT confirmGroup(const WideString& dn) const;

  // The bind of an attribute operation's target; readAttribute loads and reads the one attribute.
  HRESULT bindAttributeTarget(AttributeTarget target, const WideString& dn, IADs** object) const;
  HRESULT readAttribute(AttributeTarget target, const WideString& dn, const WideString& name,
                        UniqueVariant* value) const;
  // The attribute's value handed to a conversion that fills the caller's output.
  template <typename Convert>
  HRESULT readConverted(AttributeTarget target, const WideString& dn, const WideString& name, Convert convert) const {
    UniqueVariant value;
    RETURN_IF_FAILED(readAttribute(target, dn, name, &value));
    return convert(*value.get());
  }
  HRESULT putAttribute(AttributeTarget target, const WideString& dn, const WideString& name,
                       const VARIANT& value) const;

  // The apartment is entered before, and left after, everything else the context holds.
  ComApartment comInit_;
  WideString lookupUserName_;
  WideString lookupUserPassword_;
  WideString serverName_;
  bool serverIsDomain_;
};
