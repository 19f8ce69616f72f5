// One directory object of the LDAP provider. It offers IADs and, by its class, IADsUser
// (user-like classes: their objectClass lists user), IADsGroup (group), and on every directory
// object IADsContainer, IDirectoryObject, IDirectorySearch and IADsDeleteOps. RootDSE offers
// IADs only; a FAST_BIND object only the base interfaces (no IADsUser/IADsGroup).
//
// COM objects need virtual dispatch and several interface bases: this tree is the one place
// where the project uses them.
#pragma once
#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "adsi/connection.h"
#include "adsi/first_read.h"
#include "adsi/path.h"
#include "adsi/pool.h"
#include "adsi/schema.h"
#include "adsi/values.h"
#include "iads.h"

namespace winapi::adsi {

struct CachedProperty {
  std::string name;
  std::vector<std::string> values;
};
using PropertyMap = std::map<std::string, CachedProperty>;  // keyed by lower-case name
// The first value of the attribute of that lower-case name, or empty text.
std::string firstValue(const PropertyMap& attributes, const std::string& key);

struct PendingChange {
  int operation;  // LDAP_MOD_REPLACE, LDAP_MOD_ADD or LDAP_MOD_DELETE
  std::string name;
  std::vector<std::string> values;
};

// Overwrites the staged values (passwords among them) before they are dropped.
void wipeChanges(std::vector<PendingChange>* changes);
// UTF-8 text of a BSTR with its whole length; empty for null.
std::string utf8OfBstr(BSTR text);

enum Capability : unsigned {
  OffersUser = 1,
  OffersGroup = 2,
  OffersContainer = 4,
  OffersDirectoryObject = 8,
  OffersSearch = 16,
  OffersDeleteOps = 32,
};

struct SearchState;

// What a new object is told about itself.
struct ObjectSetup {
  std::shared_ptr<Connection> connection;
  AdsPath path;
  std::string adsPath;                     // as the caller wrote it, or as built for children
  std::string dn;                          // resolved distinguished name; empty if unknown (FAST_BIND by GUID)
  std::string ldapName;                    // what LDAP operations name: the DN, or the extended name bound
  std::vector<std::string> objectClasses;  // empty when not read
  bool rootDse = false;
  bool fastBind = false;
  bool created = false;  // made by IADsContainer::Create, not yet on the server
  std::string createdClass;
  PropertyMap preloaded;  // values an enumeration already read (the container's hints)
};

class DirectoryObject final : public IADsUser,
                              public IADsGroup,
                              public IADsContainer,
                              public IDirectoryObject,
                              public IDirectorySearch,
                              public IADsDeleteOps {
 public:
  explicit DirectoryObject(ObjectSetup setup);

  IADs* asIADs() { return static_cast<IADsUser*>(this); }
  unsigned capabilities() const { return capabilities_; }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IADs
  HRESULT STDMETHODCALLTYPE get_Name(BSTR* retval) override;
  HRESULT STDMETHODCALLTYPE get_Class(BSTR* retval) override;
  HRESULT STDMETHODCALLTYPE get_GUID(BSTR* retval) override;
  HRESULT STDMETHODCALLTYPE get_ADsPath(BSTR* retval) override;
  HRESULT STDMETHODCALLTYPE get_Parent(BSTR* retval) override;
  HRESULT STDMETHODCALLTYPE get_Schema(BSTR* retval) override;
  HRESULT STDMETHODCALLTYPE GetInfo() override;
  HRESULT STDMETHODCALLTYPE SetInfo() override;
  HRESULT STDMETHODCALLTYPE Get(BSTR bstrName, VARIANT* pvProp) override;
  HRESULT STDMETHODCALLTYPE Put(BSTR bstrName, VARIANT vProp) override;
  HRESULT STDMETHODCALLTYPE GetEx(BSTR bstrName, VARIANT* pvProp) override;
  HRESULT STDMETHODCALLTYPE PutEx(LONG lnControlCode, BSTR bstrName, VARIANT vProp) override;
  HRESULT STDMETHODCALLTYPE GetInfoEx(VARIANT vProperties, LONG lnReserved) override;

  // IADsUser
  HRESULT STDMETHODCALLTYPE get_IsAccountLocked(VARIANT_BOOL* retval) override;
  HRESULT STDMETHODCALLTYPE put_IsAccountLocked(VARIANT_BOOL fIsAccountLocked) override;
  HRESULT STDMETHODCALLTYPE SetPassword(BSTR NewPassword) override;
  HRESULT STDMETHODCALLTYPE ChangePassword(BSTR bstrOldPassword, BSTR bstrNewPassword) override;

  // IADsGroup
  HRESULT STDMETHODCALLTYPE IsMember(BSTR bstrMember, VARIANT_BOOL* bMember) override;

  // IADsContainer
  HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** retval) override;
  HRESULT STDMETHODCALLTYPE get_Filter(VARIANT* pVar) override;
  HRESULT STDMETHODCALLTYPE put_Filter(VARIANT Var) override;
  HRESULT STDMETHODCALLTYPE get_Hints(VARIANT* pvFilter) override;
  HRESULT STDMETHODCALLTYPE put_Hints(VARIANT vHints) override;
  HRESULT STDMETHODCALLTYPE GetObject(BSTR ClassName, BSTR RelativeName, IDispatch** ppObject) override;
  HRESULT STDMETHODCALLTYPE Create(BSTR ClassName, BSTR RelativeName, IDispatch** ppObject) override;
  HRESULT STDMETHODCALLTYPE Delete(BSTR bstrClassName, BSTR bstrRelativeName) override;

  // IDirectoryObject (directory_object.cpp)
  HRESULT STDMETHODCALLTYPE GetObjectInformation(PADS_OBJECT_INFO* ppObjInfo) override;
  HRESULT STDMETHODCALLTYPE GetObjectAttributes(LPWSTR* pAttributeNames, DWORD dwNumberAttributes,
                                                PADS_ATTR_INFO* ppAttributeEntries,
                                                DWORD* pdwNumAttributesReturned) override;
  HRESULT STDMETHODCALLTYPE SetObjectAttributes(PADS_ATTR_INFO pAttributeEntries, DWORD dwNumAttributes,
                                                DWORD* pdwNumAttributesModified) override;

  // IDirectorySearch (search.cpp)
  HRESULT STDMETHODCALLTYPE SetSearchPreference(PADS_SEARCHPREF_INFO pSearchPrefs, DWORD dwNumPrefs) override;
  HRESULT STDMETHODCALLTYPE ExecuteSearch(LPWSTR pszSearchFilter, LPWSTR* pAttributeNames, DWORD dwNumberAttributes,
                                          PADS_SEARCH_HANDLE phSearchResult) override;
  HRESULT STDMETHODCALLTYPE AbandonSearch(ADS_SEARCH_HANDLE phSearchResult) override;
  HRESULT STDMETHODCALLTYPE GetFirstRow(ADS_SEARCH_HANDLE hSearchResult) override;
  HRESULT STDMETHODCALLTYPE GetNextRow(ADS_SEARCH_HANDLE hSearchResult) override;
  HRESULT STDMETHODCALLTYPE GetNextColumnName(ADS_SEARCH_HANDLE hSearchHandle, LPWSTR* ppszColumnName) override;
  HRESULT STDMETHODCALLTYPE GetColumn(ADS_SEARCH_HANDLE hSearchResult, LPWSTR szColumnName,
                                      PADS_SEARCH_COLUMN pSearchColumn) override;
  HRESULT STDMETHODCALLTYPE FreeColumn(PADS_SEARCH_COLUMN pSearchColumn) override;
  HRESULT STDMETHODCALLTYPE CloseSearchHandle(ADS_SEARCH_HANDLE hSearchResult) override;

  // IADsDeleteOps
  HRESULT STDMETHODCALLTYPE DeleteObject(LONG lnFlags) override;

  // Shared with the other sources of the object.
  HRESULT ensureSchema();
  // The object's most derived structural class, as its schema path names it.
  HRESULT structuralClass(std::string* out);
  // Base-scope read of the object, following range retrieval for attributes the server cut
  // (unless the caller asked for a range itself). names empty = all ordinary attributes.
  // What this call already read of the object is not asked for again (call_entries.h).
  HRESULT readAttributes(const std::vector<std::string>& names, PropertyMap* out,
                         LoadPath path = LoadPath::propertyCache);
  ADSTYPE typeOf(const std::string& name) const;
  bool isUtcTimeSyntax(const std::string& name) const;
  HRESULT modifyWith(const std::vector<PendingChange>& changes);
  // The names a connection bound as this account may go by, for retiring those connections
  // after its password is written; none when they cannot be read.
  AccountNames accountNames();

  const ObjectSetup& setup() const { return setup_; }
  const std::shared_ptr<const Schema>& schema() const { return schema_; }

 private:
  ~DirectoryObject();
  HRESULT ensureLoaded();
  HRESULT loadRootProperty(const std::string& name);
  HRESULT rootAttributes(PropertyMap* out);
  HRESULT readThroughCall(const std::vector<std::string>& names, PropertyMap* out);
  HRESULT readFromServer(const std::vector<std::string>& names, PropertyMap* out);
  bool listedInMembersReadThisCall(const std::string& memberName) const;
  HRESULT readProperty(BSTR bstrName, bool alwaysArray, VARIANT* pvProp);
  HRESULT ensureObjectClasses();
  HRESULT propertyNames(const VARIANT& names, std::vector<std::string>* out) const;
  HRESULT stageChange(int operation, const std::string& name, std::vector<std::string> values);
  HRESULT addCreated();
  HRESULT childSetup(const std::string& relativeName, ObjectSetup* out) const;
  std::string displayDn() const;

  std::atomic<ULONG> references_{1};
  ObjectSetup setup_;
  unsigned capabilities_;
  std::shared_ptr<const Schema> schema_;
  PropertyMap cache_;
  bool loaded_ = false;
  std::vector<PendingChange> pending_;
  // Search preferences and open searches (search.cpp).
  struct Preferences {
    int scope = LDAP_SCOPE_SUBTREE;
    int pageSize = 0;
    int sizeLimit = 0;
    int timeLimit = 0;
    bool tombstones = false;
    bool attributeTypesOnly = false;
    int securityMask = 7;
  } preferences_;
  std::vector<SearchState*> searches_;
  std::vector<std::string> hints_;  // attributes an enumeration of the children loads (container_ops.cpp)
  // Marks a search finished: S_ADS_NOMORE_ROWS, or the status of the limit it reached.
  HRESULT endSearch(SearchState* search, int limitCode);
  friend struct SearchState;
};

// Releases a search handle's state (search.cpp); with a connection, a search still paging on
// the server is ended there first.
void destroySearch(SearchState* search, Connection* connection, const std::string& base);

// A search that would page, and a container's enumeration, are first sent without paging, for
// up to this many rows: Samba serves a paged search about ten times slower per row, and most
// match fewer. A server that cuts such an answer at the limit (Active Directory does, Samba
// sends every match) has the search sent again from its start, page by page.
constexpr int rowsWithoutPaging = 1000;
// Whether the server cut an answer to a search sent without paging: it matches more rows.
bool tooManyRowsWithoutPaging(LDAP* ld, int code, LDAPMessage* answer);
// The cookie of a paged search's response controls: empty when no page follows (or the response
// carries no page control that can be read).
std::string nextPageCookie(LDAP* ld, LDAPControl** response);

// Reads the rest of a multi-valued attribute the server cut ("member;range=0-1499"), range
// after range from the next one, appending to values.
HRESULT fetchRemainingRange(Connection* connection, const std::string& base, RangedName range,
                            std::vector<std::string>* values);

// Interfaces offered by an object of these classes bound this way.
unsigned capabilitiesFor(const std::vector<std::string>& objectClasses, bool rootDse, bool fastBind);

// The IADsClass object of LDAP://[host/]schema/<class> (schema_class.cpp).
HRESULT newSchemaClassObject(std::shared_ptr<Connection> connection, const AdsPath& path, REFIID riid, void** ppv);

// Reads the object a path names and makes its COM object (helpers.cpp uses it for
// ADsOpenObject; containers for GetObject).
HRESULT openDirectoryObject(std::shared_ptr<Connection> connection, AdsPath path, const std::string& adsPath,
                            DWORD flags, REFIID riid, void** ppv);

}  // namespace winapi::adsi
