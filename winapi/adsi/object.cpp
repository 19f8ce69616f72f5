#include "adsi/object.h"

#include <algorithm>
#include <new>
#include <set>

#include "adserr.h"
#include "adsi/bind_backoff.h"
#include "adsi/call_entries.h"
#include "adsi/com_guard.h"
#include "adsi/controls.h"
#include "adsi/errors.h"
#include "adsi/pool.h"
#include "adsi/mod_list.h"
#include "adsi/text.h"
#include "adsi/values.h"

namespace winapi::adsi {

namespace {

bool hasClass(const std::vector<std::string>& classes, std::string_view name) {
  for (const std::string& c : classes)
    if (equalsIgnoreCase(c, name)) return true;
  return false;
}

HRESULT copyOut(std::string_view text, BSTR* retval) {
  if (retval == nullptr) return E_POINTER;
  *retval = newBstr(text);
  return *retval == nullptr ? E_OUTOFMEMORY : S_OK;
}

std::string hexOf(std::string_view bytes) {
  static const char hex[] = "0123456789abcdef";
  std::string text;
  for (char c : bytes) {
    unsigned char u = static_cast<unsigned char>(c);
    text += hex[u >> 4];
    text += hex[u & 0xF];
  }
  return text;
}

}  // namespace

std::string utf8OfBstr(BSTR text) {
  return text == nullptr ? std::string() : toUtf8(std::u16string_view(text, SysStringLen(text)));
}

std::string firstValue(const PropertyMap& attributes, const std::string& key) {
  auto found = attributes.find(key);
  return found == attributes.end() || found->second.values.empty() ? std::string() : found->second.values.front();
}

void wipeChanges(std::vector<PendingChange>* changes) {
  for (PendingChange& change : *changes)
    for (std::string& value : change.values) wipe(&value);
}

unsigned capabilitiesFor(const std::vector<std::string>& objectClasses, bool rootDse, bool fastBind) {
  if (rootDse) return 0;
  unsigned base = OffersContainer | OffersDirectoryObject | OffersSearch | OffersDeleteOps;
  if (fastBind) return base;
  if (hasClass(objectClasses, "user")) base |= OffersUser;
  if (hasClass(objectClasses, "group")) base |= OffersGroup;
  return base;
}

DirectoryObject::DirectoryObject(ObjectSetup setup)
    : setup_(std::move(setup)),
      capabilities_(
          capabilitiesFor(setup_.created ? std::vector<std::string>{setup_.createdClass} : setup_.objectClasses,
                          setup_.rootDse, setup_.fastBind)) {
  cache_ = std::move(setup_.preloaded);
  setup_.preloaded.clear();
}

DirectoryObject::~DirectoryObject() {
  wipeChanges(&pending_);
  for (SearchState* search : searches_) destroySearch(search, setup_.connection.get(), setup_.ldapName);
}

HRESULT fetchRemainingRange(Connection* connection, const std::string& base, RangedName range,
                            std::vector<std::string>* values) {
  LDAP* ld = connection->handle();
  while (!range.toEnd) {
    std::string next = range.base + ";range=" + std::to_string(range.high + 1) + "-*";
    LdapMessage more;
    LdapOutcome got = connection->search(base, LDAP_SCOPE_BASE, "(objectClass=*)", {next}, nullptr, 0, 0, &more);
    if (!got.ok()) return failWith(got);
    LDAPMessage* entry = ldap_first_entry(ld, more.get());
    if (entry == nullptr) return S_OK;
    BerWalk walk;
    char* raw = ldap_first_attribute(ld, entry, walk.put());
    if (raw == nullptr) return S_OK;
    LdapString name(raw);
    RangedName nextRange;
    // A server that answers with anything but the very next range is not followed further.
    if (!parseRangedName(name.get(), &nextRange) || nextRange.low != range.high + 1) return S_OK;
    for (std::string& v : entryValues(ld, entry, raw)) values->push_back(std::move(v));
    range = nextRange;
  }
  return S_OK;
}

HRESULT DirectoryObject::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IADs) {
    *ppv = asIADs();
  } else if (riid == IID_IADsUser && (capabilities_ & OffersUser)) {
    *ppv = static_cast<IADsUser*>(this);
  } else if (riid == IID_IADsGroup && (capabilities_ & OffersGroup)) {
    *ppv = static_cast<IADsGroup*>(this);
  } else if (riid == IID_IADsContainer && (capabilities_ & OffersContainer)) {
    *ppv = static_cast<IADsContainer*>(this);
  } else if (riid == IID_IDirectoryObject && (capabilities_ & OffersDirectoryObject)) {
    *ppv = static_cast<IDirectoryObject*>(this);
  } else if (riid == IID_IDirectorySearch && (capabilities_ & OffersSearch)) {
    *ppv = static_cast<IDirectorySearch*>(this);
  } else if (riid == IID_IADsDeleteOps && (capabilities_ & OffersDeleteOps)) {
    *ppv = static_cast<IADsDeleteOps*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG DirectoryObject::AddRef() { return ++references_; }

ULONG DirectoryObject::Release() {
  ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

HRESULT DirectoryObject::ensureSchema() {
  if (schema_) return S_OK;
  HRESULT hr = schemaFor(setup_.connection.get(), &schema_);
  // RootDSE must stay readable to those who may not read the schema (anonymous binds): its
  // values then read as strings.
  if (FAILED(hr) && setup_.rootDse) {
    schema_ = std::make_shared<Schema>();
    return S_OK;
  }
  return hr;
}

ADSTYPE DirectoryObject::typeOf(const std::string& name) const {
  return schema_ ? schema_->typeOf(name) : ADSTYPE_CASE_IGNORE_STRING;
}

bool DirectoryObject::isUtcTimeSyntax(const std::string& name) const {
  const AttributeInfo* info = schema_ ? schema_->attribute(name) : nullptr;
  return info != nullptr && info->syntax == "1.3.6.1.4.1.1466.115.121.1.53";
}

std::string DirectoryObject::displayDn() const { return setup_.dn.empty() ? setup_.ldapName : setup_.dn; }

HRESULT DirectoryObject::readAttributes(const std::vector<std::string>& names, PropertyMap* out, LoadPath path) {
  if (setup_.created) return E_ADS_OBJECT_UNBOUND;
  if (setup_.rootDse && names.empty()) return rootAttributes(out);
  if (setup_.rootDse) return readFromServer(names, out);
  HRESULT hr = readThroughCall(names, out);
  if (SUCCEEDED(hr)) noteNamesLoaded(names, path);
  return hr;
}

HRESULT DirectoryObject::readThroughCall(const std::vector<std::string>& names, PropertyMap* out) {
  const EntryOfThisCall* known = entryOfThisCall(setup_.connection.get(), setup_.ldapName);
  std::vector<std::string> missing;
  if (known == nullptr || !answerFromEntry(*known, names, out, &missing)) return readFromServer(names, out);
  if (!known->dn.empty()) setup_.dn = known->dn;
  if (missing.empty()) return S_OK;
  return readFromServer(missing, out);
}

HRESULT DirectoryObject::readFromServer(const std::vector<std::string>& names, PropertyMap* out) {
  // A fast bind never looked for the object, so it may name a deleted one: its reads see
  // deleted objects too. The ordinary bind's existence read does not, so a deleted object
  // cannot be bound the ordinary way.
  LDAPControl* controls[] = {securityDescriptorFlagsControl(), setup_.fastBind ? showDeletedControl() : nullptr,
                             nullptr};
  std::vector<std::string> requested = names.empty() ? std::vector<std::string>{"*"} : names;
  LdapMessage result;
  LdapOutcome outcome = setup_.connection->search(setup_.ldapName, LDAP_SCOPE_BASE, "(objectClass=*)", requested,
                                                  controls, 0, 0, &result);
  if (!outcome.ok()) return failWith(outcome);
  LDAP* ld = setup_.connection->handle();
  LDAPMessage* entry = ldap_first_entry(ld, result.get());
  if (entry == nullptr) return failLdap(LDAP_NO_SUCH_OBJECT, "the object was not returned");
  PropertyMap read;
  std::vector<EntryAttribute> attributes;
  entryAttributes(ld, entry, &attributes);
  for (EntryAttribute& attribute : attributes) {
    std::string& name = attribute.name;
    RangedName range;
    if (parseRangedName(name, &range)) {
      // The server cut the values: fetch the rest, unless the caller asked for that range.
      if (!asksForRangeOf(names, range.base)) {
        HRESULT hr = fetchRemainingRange(setup_.connection.get(), setup_.ldapName, range, &attribute.values);
        if (FAILED(hr)) return hr;
      }
      name = range.base;
    }
    CachedProperty& property = read[toLowerAscii(name)];
    property.name = name;
    for (std::string& v : attribute.values) property.values.push_back(std::move(v));
  }
  LdapString dn(ldap_get_dn(ld, entry));
  if (dn && !setup_.rootDse) setup_.dn = dn.get();
  // What a fast bind reads may be a deleted object, which an ordinary bind must not find.
  if (!setup_.rootDse && !setup_.fastBind) {
    if (names.empty()) rememberWholeEntry(setup_.connection, setup_.ldapName, setup_.dn, read, {});
    else rememberNamedAttributes(setup_.connection, setup_.ldapName, names, read);
  }
  for (auto& [key, property] : read) {
    CachedProperty& merged = (*out)[key];
    merged.name = property.name;
    for (std::string& v : property.values) merged.values.push_back(std::move(v));
  }
  return S_OK;
}

// The root entry as read once per connection; what changes by the second (currentTime) is
// read when asked for by name.
HRESULT DirectoryObject::rootAttributes(PropertyMap* out) {
  std::shared_ptr<const RootEntry> root;
  LdapOutcome outcome = setup_.connection->rootEntry(&root);
  if (!outcome.ok()) return failWith(outcome);
  for (const auto& [name, values] : *root) (*out)[toLowerAscii(name)] = CachedProperty{name, values};
  return S_OK;
}

HRESULT DirectoryObject::ensureObjectClasses() {
  if (!setup_.objectClasses.empty()) return S_OK;
  if (setup_.created) {
    setup_.objectClasses = {setup_.createdClass};
    return S_OK;
  }
  PropertyMap read;
  HRESULT hr = readAttributes({"objectClass"}, &read);
  if (FAILED(hr)) return hr;
  auto it = read.find("objectclass");
  if (it != read.end()) setup_.objectClasses = it->second.values;
  return S_OK;
}

HRESULT DirectoryObject::get_Name(BSTR* retval) try {
  if (setup_.rootDse) return copyOut("RootDSE", retval);
  std::string rdn, parent;
  if (!splitFirstRdn(displayDn(), &rdn, &parent)) return copyOut(displayDn(), retval);
  return copyOut(rdn, retval);
} catch (...) {
  return hresultOfCurrentException();
}

HRESULT DirectoryObject::get_Class(BSTR* retval) try {
  if (retval == nullptr) return E_POINTER;
  HRESULT hr = ensureObjectClasses();
  if (FAILED(hr)) return hr;
  if (setup_.objectClasses.empty()) return E_ADS_PROPERTY_NOT_FOUND;
  // The server lists the classes from the most general to the most derived.
  return copyOut(setup_.objectClasses.back(), retval);
} catch (...) {
  return hresultOfCurrentException();
}

HRESULT DirectoryObject::get_GUID(BSTR* retval) try {
  if (retval == nullptr) return E_POINTER;
  auto cached = cache_.find("objectguid");
  std::string guid;
  if (cached != cache_.end() && !cached->second.values.empty()) {
    guid = cached->second.values.front();
  } else {
    PropertyMap read;
    HRESULT hr = readAttributes({"objectGUID"}, &read);
    if (FAILED(hr)) return hr;
    auto it = read.find("objectguid");
    if (it == read.end() || it->second.values.empty()) return E_ADS_PROPERTY_NOT_FOUND;
    guid = it->second.values.front();
  }
  return copyOut(hexOf(guid), retval);
} catch (...) {
  return hresultOfCurrentException();
}

HRESULT DirectoryObject::get_ADsPath(BSTR* retval) { return copyOut(setup_.adsPath, retval); }

HRESULT DirectoryObject::get_Parent(BSTR* retval) try {
  if (setup_.rootDse) return copyOut(buildAdsPath(setup_.path.hostPart, ""), retval);
  std::string rdn, parent;
  if (!splitFirstRdn(displayDn(), &rdn, &parent)) return E_ADS_BAD_PATHNAME;
  return copyOut(buildAdsPath(setup_.path.hostPart, parent), retval);
} catch (...) {
  return hresultOfCurrentException();
}

HRESULT DirectoryObject::structuralClass(std::string* out) {
  HRESULT hr = ensureObjectClasses();
  if (FAILED(hr)) return hr;
  if (setup_.objectClasses.empty()) return E_ADS_PROPERTY_NOT_FOUND;
  hr = ensureSchema();
  if (FAILED(hr)) return hr;
  *out = mostDerivedStructuralClass(*schema_, setup_.objectClasses);
  return S_OK;
}

HRESULT DirectoryObject::get_Schema(BSTR* retval) try {
  if (retval == nullptr) return E_POINTER;
  if (setup_.rootDse) return E_ADS_PROPERTY_NOT_SUPPORTED;
  std::string className;
  HRESULT hr = structuralClass(&className);
  if (FAILED(hr)) return hr;
  return copyOut(buildSchemaPath(setup_.path.hostPart, className), retval);
} catch (...) {
  return hresultOfCurrentException();
}

AccountNames DirectoryObject::accountNames() {
  AccountNames account;
  PropertyMap read;
  if (FAILED(readAttributes({"sAMAccountName", "userPrincipalName"}, &read))) return account;
  account.dn = displayDn();
  account.samAccountName = firstValue(read, "samaccountname");
  account.userPrincipalName = firstValue(read, "userprincipalname");
  return account;
}

HRESULT DirectoryObject::modifyWith(const std::vector<PendingChange>& changes) {
  ModList mods(changes);
  LDAPControl* controls[] = {permissiveModifyControl(), nullptr};
  std::string target = setup_.dn.empty() ? setup_.ldapName : setup_.dn;
  bool writesPassword = std::any_of(changes.begin(), changes.end(),
                                    [](const PendingChange& change) { return equalsIgnoreCase(change.name, "unicodePwd"); });
  bool writesAccountState = std::any_of(changes.begin(), changes.end(), [](const PendingChange& change) {
    for (const char* name : {"unicodePwd", "lockoutTime", "userAccountControl", "accountExpires", "pwdLastSet"})
      if (equalsIgnoreCase(change.name, name)) return true;
    return false;
  });
  // Who the account is, taken before the write forgets what the call read.
  AccountNames account = writesPassword ? accountNames() : AccountNames();
  forgetEntriesOfThisCall();
  LdapOutcome outcome = setup_.connection->modify(target, mods.get(), controls);
  if (!outcome.ok()) return failWith(outcome);
  if (writesPassword) retireConnectionsOfAccount(account);
  if (writesAccountState) forgetBindRefusals();
  return S_OK;
}


HRESULT DirectoryObject::childSetup(const std::string& relativeName, ObjectSetup* out) const {
  std::string rdn, rest, type, value;
  if (!isValidDn(relativeName) || !splitFirstRdn(relativeName, &rdn, &rest) || !rest.empty() ||
      !splitRdn(rdn, &type, &value))
    return E_ADS_BAD_PATHNAME;
  if (displayDn().empty() || displayDn().front() == '<') return E_ADS_BAD_PATHNAME;
  out->connection = setup_.connection;
  out->path = setup_.path;
  out->dn = rdn + "," + displayDn();
  out->ldapName = out->dn;
  out->path.dn = out->dn;
  out->adsPath = buildAdsPath(setup_.path.hostPart, out->dn);
  return S_OK;
}

HRESULT DirectoryObject::GetObject(BSTR, BSTR RelativeName, IDispatch** ppObject) try {
  if (ppObject == nullptr) return E_POINTER;
  *ppObject = nullptr;
  ObjectSetup child;
  HRESULT hr = childSetup(utf8OfBstr(RelativeName), &child);
  if (FAILED(hr)) return hr;
  return openDirectoryObject(setup_.connection, child.path, child.adsPath, ADS_SECURE_AUTHENTICATION, IID_IDispatch,
                             reinterpret_cast<void**>(ppObject));
} catch (...) {
  return hresultOfCurrentException();
}

HRESULT DirectoryObject::Delete(BSTR, BSTR bstrRelativeName) try {
  ObjectSetup child;
  HRESULT hr = childSetup(utf8OfBstr(bstrRelativeName), &child);
  if (FAILED(hr)) return hr;
  forgetEntriesOfThisCall();
  LdapOutcome outcome = setup_.connection->remove(child.dn, nullptr);
  if (!outcome.ok()) return failWith(outcome);
  return S_OK;
} catch (...) {
  return hresultOfCurrentException();
}

namespace {

const std::vector<std::string>* rootValues(const RootEntry& root, std::string_view name) {
  for (const auto& [attribute, values] : root) {
    if (equalsIgnoreCase(attribute, name)) return &values;
  }
  return nullptr;
}

// The classes of the root entry, of a naming context's head and of the partitions container
// are the same for as long as the server serves them: they come from the root entry read once
// per connection, and from one read per connection and object.
bool knownClasses(Connection* connection, const std::string& name, ObjectSetup* setup) {
  std::shared_ptr<const RootEntry> root;
  if (!connection->rootEntry(&root).ok()) return false;
  if (setup->rootDse) {
    // Some servers (Samba) give their root entry no classes at all; it is there all the same.
    const std::vector<std::string>* classes = rootValues(*root, "objectClass");
    setup->objectClasses = classes != nullptr ? *classes : std::vector<std::string>();
    return true;
  }
  const std::string* head = nullptr;
  if (const std::vector<std::string>* contexts = rootValues(*root, "namingContexts")) {
    auto found = std::find_if(contexts->begin(), contexts->end(),
                              [&](const std::string& context) { return equalsIgnoreCase(context, name); });
    if (found != contexts->end()) head = &*found;
  }
  // The forest's partitions container lasts as long as the configuration that holds it.
  std::string partitions;
  if (const std::vector<std::string>* configuration = rootValues(*root, "configurationNamingContext")) {
    constexpr std::string_view container = "CN=Partitions,";
    if (head == nullptr && !configuration->empty() && startsWithIgnoreCase(name, container) &&
        equalsIgnoreCase(std::string_view(name).substr(container.size()), configuration->front())) {
      partitions = std::string(container) + configuration->front();
      head = &partitions;
    }
  }
  if (head == nullptr) return false;
  auto classes = connection->remembered("classes\n" + toLowerAscii(*head), [&]() {
    LdapMessage result;
    if (!connection->search(*head, LDAP_SCOPE_BASE, "(objectClass=*)", {"objectClass"}, nullptr, 0, 0, &result).ok())
      return std::shared_ptr<const void>();
    LDAPMessage* entry = ldap_first_entry(connection->handle(), result.get());
    if (entry == nullptr) return std::shared_ptr<const void>();
    return std::shared_ptr<const void>(
        std::make_shared<std::vector<std::string>>(entryValues(connection->handle(), entry, "objectClass")));
  });
  if (!classes) return false;
  setup->objectClasses = *std::static_pointer_cast<const std::vector<std::string>>(classes);
  setup->dn = *head;
  return true;
}

// The well-known name of a naming context's Deleted Objects container stands for the same
// container for as long as the naming context does (it can be neither moved nor renamed), but
// some servers (Samba) look the name up anew, slowly, on every request that names it: what it
// stands for is asked once per connection and kept with it. A fast bind names it so (the
// container is itself deleted: only a read that shows deleted objects sees it).
std::string deletedObjectsName(Connection* connection, const std::string& name) {
  static const std::string prefix = "<wkguid=18e2ea80684f11d2b9aa00c04f79f805,";
  if (name.size() <= prefix.size() || toLowerAscii(name.substr(0, prefix.size())) != prefix || name.back() != '>')
    return name;
  auto dn = connection->remembered("wkguid\n" + toLowerAscii(name), [&]() {
    LDAPControl* controls[] = {showDeletedControl(), nullptr};
    LdapMessage result;
    if (!connection->search(name, LDAP_SCOPE_BASE, "(objectClass=*)", {"1.1"}, controls, 0, 0, &result).ok())
      return std::shared_ptr<const void>();
    LDAPMessage* entry = ldap_first_entry(connection->handle(), result.get());
    LdapString found(entry != nullptr ? ldap_get_dn(connection->handle(), entry) : nullptr);
    if (!found || *found.get() == '\0') return std::shared_ptr<const void>();
    return std::shared_ptr<const void>(std::make_shared<std::string>(found.get()));
  });
  return dn ? *std::static_pointer_cast<const std::string>(dn) : name;
}

// Whether the caller of a bind asking for this interface goes on to read the object's
// attributes: not one that searches below it, lists, adds or deletes its children.
bool readsAttributes(REFIID riid) {
  return riid != IID_IDirectorySearch && riid != IID_IADsContainer && riid != IID_IADsDeleteOps;
}

// The ordinary bind's read of the object, which a missing object fails: its classes, and, for
// a caller that reads attributes, the attributes calls have lately loaded (first_read.h), which
// its later loads then need not ask again; a group's primaryGroupToken and members too, which
// membership checks ask of it. An object this call read already is known to be there.
HRESULT findForBind(const std::shared_ptr<Connection>& connection, REFIID riid, ObjectSetup* setup) {
  bool group = riid == IID_IADsGroup;
  if (const EntryOfThisCall* known = entryOfThisCall(connection.get(), setup->ldapName)) {
    const CachedProperty* classes = nullptr;
    const CachedProperty* ignored = nullptr;
    if (entrySettles(*known, "objectclass", &classes) && classes != nullptr &&
        (!group || (entrySettles(*known, "primarygrouptoken", &ignored) && entrySettles(*known, "member", &ignored)))) {
      setup->objectClasses = classes->values;
      if (!known->dn.empty()) setup->dn = known->dn;
      return S_OK;
    }
  }
  bool firstRead = readsAttributes(riid);
  std::vector<std::string> requested = {"objectClass"};
  if (firstRead)
    requested = firstReadNames(group ? FirstRead::groupBind : FirstRead::bind,
                               riid == IID_IDirectoryObject ? LoadPath::directoryObject : LoadPath::propertyCache);
  LdapMessage result;
  LdapOutcome outcome = connection->search(setup->ldapName, LDAP_SCOPE_BASE, "(objectClass=*)", requested,
                                           firstReadControls(requested), 0, 0, &result);
  if (firstRead && refusedWhatWasAsked(outcome.code)) {
    // Whatever kept the object from being read so, the bind itself asks only its classes.
    firstRead = false;
    outcome = connection->search(setup->ldapName, LDAP_SCOPE_BASE, "(objectClass=*)", {"objectClass"}, nullptr, 0, 0,
                                 &result);
  }
  if (!outcome.ok()) return failWith(outcome);
  LDAP* ld = connection->handle();
  LDAPMessage* entry = ldap_first_entry(ld, result.get());
  if (entry == nullptr) return failLdap(LDAP_NO_SUCH_OBJECT, "the object was not returned");
  LdapString dn(ldap_get_dn(ld, entry));
  if (dn) setup->dn = dn.get();
  PropertyMap read;
  std::set<std::string> cut;
  entryProperties(ld, entry, &read, &cut);
  auto classes = read.find("objectclass");
  if (classes != read.end()) setup->objectClasses = classes->second.values;
  if (firstRead) rememberFirstRead(connection, setup->ldapName, setup->dn, requested, std::move(read), cut);
  return S_OK;
}

}  // namespace

HRESULT openDirectoryObject(std::shared_ptr<Connection> connection, AdsPath path, const std::string& adsPath,
                            DWORD flags, REFIID riid, void** ppv) {
  *ppv = nullptr;
  ObjectSetup setup;
  setup.connection = connection;
  setup.rootDse = path.kind == PathKind::RootDse;
  setup.fastBind = (flags & ADS_FAST_BIND) != 0 && !setup.rootDse;
  setup.ldapName = setup.rootDse ? std::string() : path.dn;
  if (!path.dn.empty() && path.dn.front() != '<') setup.dn = path.dn;
  setup.path = std::move(path);
  setup.adsPath = adsPath;
  if (setup.fastBind) setup.ldapName = deletedObjectsName(connection.get(), setup.ldapName);
  if (!setup.fastBind && knownClasses(connection.get(), setup.ldapName, &setup)) {
    // The root entry and the heads of the server's naming contexts stand as long as the server.
  } else if (!setup.fastBind) {
    HRESULT hr = findForBind(connection, riid, &setup);
    if (FAILED(hr)) return hr;
  }
  auto* object = new (std::nothrow) DirectoryObject(std::move(setup));
  if (object == nullptr) return E_OUTOFMEMORY;
  HRESULT hr = object->QueryInterface(riid, ppv);
  object->Release();
  return hr;
}

}  // namespace winapi::adsi
