#include "adsi/name_translate.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <new>

#include "adserr.h"
#include "adsi/call_entries.h"
#include "adsi/controls.h"
#include "adsi/dc_locator.h"
#include "adsi/errors.h"
#include "adsi/failover.h"
#include "adsi/ldap_owners.h"
#include "adsi/path.h"
#include "adsi/pool.h"
#include "adsi/text.h"
#include "authz/sid.h"
#include "com/com_object.h"

namespace winapi::adsi {

namespace {

const HRESULT kNotFound = HRESULT_FROM_WIN32(ERROR_DS_NAME_ERROR_NOT_FOUND);
const HRESULT kNotUnique = HRESULT_FROM_WIN32(ERROR_DS_NAME_ERROR_NOT_UNIQUE);
const HRESULT kNoMapping = HRESULT_FROM_WIN32(ERROR_DS_NAME_ERROR_NO_MAPPING);
constexpr int kGlobalCatalogPort = 3268;
constexpr int kGlobalCatalogLdapsPort = 3269;
constexpr int kCrossRefIsDomain = 0x2;  // FLAG_CR_NTDS_DOMAIN of systemFlags

// A crossRef of CN=Partitions: one naming context of the forest.
struct Partition {
  std::string ncName;
  std::string dnsRoot;
  std::string netbiosName;
  bool isDomain = false;
};

// What Set found: everything Get may render, read in the same search.
struct FoundObject {
  std::string dn;
  std::vector<uint8_t> guid;
  std::string samAccountName;
  std::string userPrincipalName;
  std::string displayName;
};

const std::vector<std::string>& renderedAttributes() {
  static const std::vector<std::string> attributes = {"objectGUID", "sAMAccountName", "userPrincipalName",
                                                      "displayName"};
  return attributes;
}

// What a translation needs of an object read, from its attributes by lower-case name.
FoundObject foundObjectOf(const std::string& dn, const PropertyMap& attributes) {
  FoundObject object;
  object.dn = dn;
  std::string guid = firstValue(attributes, "objectguid");
  object.guid.assign(guid.begin(), guid.end());
  object.samAccountName = firstValue(attributes, "samaccountname");
  object.userPrincipalName = firstValue(attributes, "userprincipalname");
  object.displayName = firstValue(attributes, "displayname");
  return object;
}

// The same from what this call read of the object.
FoundObject foundObjectOf(const EntryOfThisCall& entry) {
  PropertyMap attributes;
  for (const std::string& name : renderedAttributes()) {
    const CachedProperty* values = nullptr;
    if (entrySettles(entry, toLowerAscii(name), &values) && values != nullptr)
      attributes[toLowerAscii(name)] = *values;
  }
  return foundObjectOf(entry.dn, attributes);
}

// The same from a result entry, whose attributes go to attributes (those cut short to cut).
FoundObject foundObjectOf(LDAP* ld, LDAPMessage* entry, PropertyMap* attributes, std::set<std::string>* cut) {
  entryProperties(ld, entry, attributes, cut);
  LdapString dn(ldap_get_dn(ld, entry));
  return foundObjectOf(dn ? std::string(dn.get()) : std::string(), *attributes);
}

// A base that does not exist on this server (another domain's partition, a made-up name)
// simply holds nothing; only real failures (transport, rights on the server) are errors.
bool meansNothingThere(int code) {
  return code == LDAP_NO_SUCH_OBJECT || code == LDAP_INVALID_DN_SYNTAX || code == LDAP_REFERRAL;
}

HRESULT exactlyOne(std::vector<FoundObject>* candidates, FoundObject* out) {
  if (candidates->empty()) return kNotFound;
  if (candidates->size() > 1) return kNotUnique;
  *out = std::move(candidates->front());
  return S_OK;
}

bool isSuffixDn(std::string_view dn, std::string_view suffix) {
  if (equalsIgnoreCase(dn, suffix)) return true;
  return dn.size() > suffix.size() + 1 && dn[dn.size() - suffix.size() - 1] == ',' &&
         equalsIgnoreCase(dn.substr(dn.size() - suffix.size()), suffix);
}

std::string rootValue(const RootEntry& root, std::string_view name) {
  for (const auto& [attribute, values] : root) {
    if (equalsIgnoreCase(attribute, name) && !values.empty()) return values.front();
  }
  return std::string();
}

std::string bstrText(BSTR text) {
  if (text == nullptr) return std::string();
  return toUtf8(std::u16string_view(text, SysStringLen(text)));
}

// A bare account name with no domain logs on in the domain of the directory bound to, as an
// empty domain does on a Windows domain member: account@<that domain's DNS name>, which the
// directory takes as the account's implicit principal name.
void qualifyBareAccount(const Endpoint& endpoint, Credentials* credentials) {
  const std::string& user = credentials->user;
  if (user.find('@') != std::string::npos || user.find('\\') != std::string::npos ||
      (user.find('=') != std::string::npos && isValidDn(user)))
    return;
  Credentials anonymous;
  anonymous.mode = BindMode::Anonymous;
  std::shared_ptr<Connection> probe;
  // Only an answer over verified TLS decides the account's suffix.
  if (FAILED(acquireConnection(endpoint, anonymous, &probe)) || !probe->encrypted()) return;
  std::shared_ptr<const RootEntry> root;
  if (!probe->rootEntry(&root).ok()) return;
  std::string canonical;
  if (!names::canonicalNameOfDn(rootValue(*root, "defaultNamingContext"), &canonical)) return;
  credentials->user += "@" + canonical.substr(0, canonical.find('/'));
}

// No exception may leave a COM method: allocation failure becomes E_OUTOFMEMORY.
template <typename Body>
HRESULT guarded(Body&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

class NameTranslate final : public winapi::com::ComObject<IADsNameTranslate> {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;

  HRESULT STDMETHODCALLTYPE put_ChaseReferral(LONG lnChaseReferral) override;
  HRESULT STDMETHODCALLTYPE Init(LONG lnSetType, BSTR bstrADsPath) override;
  HRESULT STDMETHODCALLTYPE InitEx(LONG lnSetType, BSTR bstrADsPath, BSTR bstrUserID, BSTR bstrDomain,
                                   BSTR bstrPassword) override;
  HRESULT STDMETHODCALLTYPE Set(LONG lnSetType, BSTR bstrADsPath) override;
  HRESULT STDMETHODCALLTYPE Get(LONG lnFormatType, BSTR* pbstrADsPath) override;

 private:
  static HRESULT serversFor(LONG initType, const std::string& path, std::vector<Endpoint>* out, bool* globalCatalog);
  static HRESULT globalCatalogsOfTheForest(std::vector<Endpoint>* out);
  HRESULT initialise(LONG initType, BSTR path, const Credentials& credentials);
  HRESULT connectAndReadRoot(const Endpoint& endpoint, const Credentials& credentials);
  HRESULT readRootDse();
  HRESULT ensurePartitions();

  HRESULT find(LONG format, const std::string& name, FoundObject* out);
  HRESULT findUnknown(const std::string& name, FoundObject* out);
  HRESULT findByDn(const std::string& dn, FoundObject* out);
  HRESULT findByCanonical(const names::CanonicalName& name, FoundObject* out);
  HRESULT findByNt4(const std::string& name, FoundObject* out);
  HRESULT findByPrincipalName(const std::string& name, FoundObject* out);
  HRESULT findByFilter(const std::string& filter, bool configurationToo, FoundObject* out);
  HRESULT searchEntries(const std::string& base, int scope, const std::string& filter,
                        std::vector<FoundObject>* out);
  HRESULT childOf(const std::string& parent, const std::string& relativeName, std::string* childDn);
  std::vector<std::string> searchBases(bool configurationToo) const;
  const Partition* domainByDnsName(std::string_view dnsName) const;
  const Partition* domainContaining(std::string_view dn) const;
  const std::vector<Partition>& partitions() const;

  HRESULT render(LONG format, std::string* out) const;
  HRESULT renderNt4(std::string* out) const;

  // The stand-in has no apartments to marshal calls, so calls are serialised here instead.
  std::mutex mutex_;
  std::shared_ptr<Connection> connection_;
  bool globalCatalog_ = false;
  std::string defaultNamingContext_;
  std::string configurationNamingContext_;
  // The connection's list, shared: the same for every service on that connection.
  std::shared_ptr<const std::vector<Partition>> partitions_;
  bool partitionsLoaded_ = false;
  FoundObject found_;
  bool hasFound_ = false;
  LONG chaseReferral_ = 0;
};

HRESULT NameTranslate::QueryInterface(REFIID riid, void** ppv) {
  return offer(riid, ppv, {&IID_IUnknown, &IID_IDispatch, &IID_IADsNameTranslate});
}

HRESULT NameTranslate::put_ChaseReferral(LONG lnChaseReferral) {
  std::lock_guard<std::mutex> lock(mutex_);
  // Continuation references are never chased by the provider; the value is only kept.
  chaseReferral_ = lnChaseReferral;
  return S_OK;
}

HRESULT NameTranslate::Init(LONG lnSetType, BSTR bstrADsPath) {
  return guarded([&] {
    std::lock_guard<std::mutex> lock(mutex_);
    Credentials ownIdentity;
    ownIdentity.mode = BindMode::Kerberos;
    return initialise(lnSetType, bstrADsPath, ownIdentity);
  });
}

HRESULT NameTranslate::InitEx(LONG lnSetType, BSTR bstrADsPath, BSTR bstrUserID, BSTR bstrDomain,
                              BSTR bstrPassword) {
  return guarded([&] {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string user = bstrText(bstrUserID);
    std::string domain = bstrText(bstrDomain);
    bool hasPassword = bstrPassword != nullptr && SysStringLen(bstrPassword) > 0;
    names::Identity identity = names::identityFor(user, domain, hasPassword);
    connection_.reset();
    hasFound_ = false;
    if (identity.kind == names::IdentityKind::Refused) {
      return failLdap(LDAP_INVALID_CREDENTIALS, "an account and a password are needed together");
    }
    Credentials credentials;
    if (identity.kind == names::IdentityKind::NamedAccount) {
      credentials.mode = BindMode::Simple;
      credentials.user = identity.bindName;
      std::string password = bstrText(bstrPassword);
      credentials.password = Secret(password);
      wipe(&password);
    }
    HRESULT hr = initialise(lnSetType, bstrADsPath, credentials);
    if (FAILED(hr)) return names::logonFailureFor(hr, lastError().code);
    return hr;
  });
}

// The forest's Global Catalogs (the path plays no part): those DNS names for it, else the default
// domain's controllers whose root entry says they are one; a controller that is none is never
// asked on a Global Catalog's port.
HRESULT NameTranslate::globalCatalogsOfTheForest(std::vector<Endpoint>* out) {
  if (SUCCEEDED(locateGlobalCatalogs(0, out))) return S_OK;
  std::vector<Endpoint> controllers;
  HRESULT hr = locateDomainControllers(std::string(), 0, &controllers);
  if (FAILED(hr)) return hr;
  out->clear();
  Credentials anonymous;
  anonymous.mode = BindMode::Anonymous;
  for (Endpoint controller : controllers) {
    std::shared_ptr<Connection> probe;
    std::shared_ptr<const RootEntry> root;
    if (FAILED(acquireConnection(controller, anonymous, &probe)) || !probe->encrypted() ||
        !probe->rootEntry(&root).ok() || !equalsIgnoreCase(rootValue(*root, "isGlobalCatalogReady"), "TRUE"))
      continue;
    controller.port = usesLdaps(controller.port) ? kGlobalCatalogLdapsPort : kGlobalCatalogPort;
    out->push_back(std::move(controller));
  }
  if (out->empty()) return failLdap(LDAP_SERVER_DOWN, "no controller of the domain is a Global Catalog");
  return S_OK;
}

// A domain is reached through its controllers (dc_locator.h); a server as named.
HRESULT NameTranslate::serversFor(LONG initType, const std::string& path, std::vector<Endpoint>* out,
                                  bool* globalCatalog) {
  *globalCatalog = initType == ADS_NAME_INITTYPE_GC;
  if (initType == ADS_NAME_INITTYPE_GC) return globalCatalogsOfTheForest(out);
  if (initType != ADS_NAME_INITTYPE_DOMAIN && initType != ADS_NAME_INITTYPE_SERVER) return E_ADS_BAD_PARAMETER;
  if (path.empty()) return locateDomainControllers(std::string(), 0, out);
  Endpoint named;
  if (!names::parseServerAddress(path, &named)) return E_ADS_BAD_PARAMETER;
  if (initType == ADS_NAME_INITTYPE_SERVER) {
    *out = {named};
    return S_OK;
  }
  bool portGiven = path.find(path.front() == '[' ? "]:" : ":") != std::string::npos;
  return locateServers(named.host, portGiven ? named.port : 0, out);
}

HRESULT NameTranslate::initialise(LONG initType, BSTR path, const Credentials& credentials) {
  connection_.reset();
  hasFound_ = false;
  partitions_.reset();
  partitionsLoaded_ = false;
  std::vector<Endpoint> servers;
  HRESULT hr = serversFor(initType, bstrText(path), &servers, &globalCatalog_);
  if (FAILED(hr)) return hr;
  bool domainController = initType != ADS_NAME_INITTYPE_SERVER;
  return firstAnswering(servers, [&](const Endpoint& server) {
    Endpoint endpoint = server;
    // Kerberos needs the controller's own name: its ticket names the service on that host.
    if (domainController && credentials.mode == BindMode::Kerberos) nameTheController(&endpoint);
    if (credentials.mode != BindMode::Simple) return connectAndReadRoot(endpoint, credentials);
    Credentials qualified = credentials;
    qualifyBareAccount(endpoint, &qualified);
    return connectAndReadRoot(endpoint, qualified);
  });
}

// The service runs on the pooled connection that an object bind of the same call made with
// exactly these credentials, for as long as the pool lets that connection stand for them; it
// never adds one to the pool itself. Anything else (a user's own credentials, when a password
// is being verified) is authenticated anew, so a wrong, changed or disabled account fails here.
HRESULT NameTranslate::connectAndReadRoot(const Endpoint& endpoint, const Credentials& credentials) {
  connection_ = connectionOfThisCall(endpoint, credentials);
  if (!connection_) {
    HRESULT hr = authenticateAfresh(endpoint, credentials, &connection_);
    if (FAILED(hr)) return hr;
  }
  HRESULT hr = readRootDse();
  if (FAILED(hr)) connection_.reset();
  return hr;
}

HRESULT NameTranslate::readRootDse() {
  std::shared_ptr<const RootEntry> root;
  LdapOutcome outcome = connection_->rootEntry(&root);
  if (!outcome.ok()) return failWith(outcome);
  defaultNamingContext_ = rootValue(*root, "defaultNamingContext");
  configurationNamingContext_ = rootValue(*root, "configurationNamingContext");
  return S_OK;
}

// The forest's partitions, read once per connection: they change only when a domain joins or
// leaves the forest, and a connection stands for its credentials a bounded time.
HRESULT NameTranslate::ensurePartitions() {
  if (partitionsLoaded_ || configurationNamingContext_.empty()) return S_OK;
  LdapOutcome failure;
  auto remembered = connection_->remembered("partitions\n" + configurationNamingContext_, [&]() {
    LdapMessage result;
    failure = connection_->search("CN=Partitions," + configurationNamingContext_, LDAP_SCOPE_ONELEVEL,
                                  "(objectClass=crossRef)", {"nCName", "dnsRoot", "nETBIOSName", "systemFlags"},
                                  nullptr, 0, 0, &result);
    if (!failure.ok()) return std::shared_ptr<const void>();
    auto partitions = std::make_shared<std::vector<Partition>>();
    LDAP* ld = connection_->handle();
    for (LDAPMessage* entry = ldap_first_entry(ld, result.get()); entry != nullptr;
         entry = ldap_next_entry(ld, entry)) {
      Partition partition;
      partition.ncName = firstEntryValue(ld, entry, "nCName");
      partition.dnsRoot = firstEntryValue(ld, entry, "dnsRoot");
      partition.netbiosName = firstEntryValue(ld, entry, "nETBIOSName");
      partition.isDomain = (std::atoi(firstEntryValue(ld, entry, "systemFlags").c_str()) & kCrossRefIsDomain) != 0;
      if (!partition.ncName.empty()) partitions->push_back(std::move(partition));
    }
    return std::shared_ptr<const void>(std::move(partitions));
  });
  if (!remembered) return failWith(failure);
  partitions_ = std::static_pointer_cast<const std::vector<Partition>>(remembered);
  partitionsLoaded_ = true;
  // What the forest says of its domains' NetBIOS names serves logons in those domains.
  for (const Partition& partition : partitions())
    if (partition.isDomain) rememberDomainName(partition.netbiosName, partition.dnsRoot);
  return S_OK;
}

const std::vector<Partition>& NameTranslate::partitions() const {
  static const std::vector<Partition> none;
  return partitions_ ? *partitions_ : none;
}

const Partition* NameTranslate::domainByDnsName(std::string_view dnsName) const {
  for (const Partition& partition : partitions()) {
    if (partition.isDomain && equalsIgnoreCase(partition.dnsRoot, dnsName)) return &partition;
  }
  return nullptr;
}

const Partition* NameTranslate::domainContaining(std::string_view dn) const {
  const Partition* best = nullptr;
  for (const Partition& partition : partitions()) {
    if (!partition.isDomain || !isSuffixDn(dn, partition.ncName)) continue;
    if (best == nullptr || partition.ncName.size() > best->ncName.size()) best = &partition;
  }
  return best;
}

std::vector<std::string> NameTranslate::searchBases(bool configurationToo) const {
  // The Global Catalog holds the whole forest under the empty base.
  if (globalCatalog_) return {std::string()};
  std::vector<std::string> bases;
  for (const Partition& partition : partitions()) {
    if (partition.isDomain) bases.push_back(partition.ncName);
  }
  if (bases.empty() && !defaultNamingContext_.empty()) bases.push_back(defaultNamingContext_);
  if (configurationToo && !configurationNamingContext_.empty()) bases.push_back(configurationNamingContext_);
  return bases;
}

HRESULT NameTranslate::searchEntries(const std::string& base, int scope, const std::string& filter,
                                     std::vector<FoundObject>* out) {
  LdapMessage result;
  LdapOutcome outcome = connection_->search(base, scope, filter, renderedAttributes(), nullptr, 0, 0, &result);
  if (meansNothingThere(outcome.code)) return S_OK;
  if (!outcome.ok()) return failWith(outcome);
  LDAP* ld = connection_->handle();
  for (LDAPMessage* entry = ldap_first_entry(ld, result.get()); entry != nullptr; entry = ldap_next_entry(ld, entry)) {
    PropertyMap attributes;
    std::set<std::string> cut;
    FoundObject object = foundObjectOf(ld, entry, &attributes, &cut);
    bool seen = std::any_of(out->begin(), out->end(),
                            [&](const FoundObject& other) { return equalsIgnoreCase(other.dn, object.dn); });
    if (!seen) out->push_back(std::move(object));
  }
  return S_OK;
}

HRESULT NameTranslate::findByFilter(const std::string& filter, bool configurationToo, FoundObject* out) {
  std::vector<FoundObject> candidates;
  for (const std::string& base : searchBases(configurationToo)) {
    HRESULT hr = searchEntries(base, LDAP_SCOPE_SUBTREE, filter, &candidates);
    if (FAILED(hr)) return hr;
  }
  return exactlyOne(&candidates, out);
}

// The object is read as a bind of it reads it: a call that names an object by its distinguished
// name goes on to bind it and read its attributes, and then need not ask again.
HRESULT NameTranslate::findByDn(const std::string& dn, FoundObject* out) {
  if (!isValidDn(dn)) return kNotFound;
  // Read earlier in the call (found by a search, say): that read answers.
  const EntryOfThisCall* known = entryOfThisCall(connection_.get(), dn);
  if (known != nullptr && entryHoldsWhatATranslationReads(*known)) {
    *out = foundObjectOf(*known);
    return S_OK;
  }
  std::vector<std::string> requested = firstReadNames(FirstRead::translation);
  LdapMessage result;
  LdapOutcome outcome = connection_->search(dn, LDAP_SCOPE_BASE, "(objectClass=*)", requested,
                                            firstReadControls(requested), 0, 0, &result);
  if (meansNothingThere(outcome.code)) return kNotFound;
  if (!outcome.ok()) {
    // Whatever kept the object from being read so, the names alone are asked for.
    std::vector<FoundObject> candidates;
    HRESULT hr = searchEntries(dn, LDAP_SCOPE_BASE, "(objectClass=*)", &candidates);
    if (FAILED(hr)) return hr;
    return exactlyOne(&candidates, out);
  }
  LDAP* ld = connection_->handle();
  LDAPMessage* entry = ldap_first_entry(ld, result.get());
  if (entry == nullptr) return kNotFound;
  PropertyMap read;
  std::set<std::string> cut;
  *out = foundObjectOf(ld, entry, &read, &cut);
  rememberFirstRead(connection_, dn, out->dn, requested, std::move(read), cut);
  return S_OK;
}

HRESULT NameTranslate::childOf(const std::string& parent, const std::string& relativeName, std::string* childDn) {
  // A naming context below this one (CN=Configuration under the forest root) is not an
  // ordinary child: the server only refers to it, so it is taken from the partitions.
  for (const Partition& partition : partitions()) {
    std::string rdn, above, type, value;
    if (!splitFirstRdn(partition.ncName, &rdn, &above) || !splitRdn(rdn, &type, &value)) continue;
    if (equalsIgnoreCase(above, parent) && equalsIgnoreCase(value, relativeName)) {
      *childDn = partition.ncName;
      return S_OK;
    }
  }
  // Samba offers canonicalName, but a constructed attribute cannot be filtered on; the
  // relative name (the "name" attribute) is matched one level at a time instead.
  std::vector<FoundObject> children;
  HRESULT hr =
      searchEntries(parent, LDAP_SCOPE_ONELEVEL, "(name=" + escapeFilterValue(relativeName) + ")", &children);
  if (FAILED(hr)) return hr;
  FoundObject child;
  hr = exactlyOne(&children, &child);
  if (FAILED(hr)) return hr;
  *childDn = child.dn;
  return S_OK;
}

HRESULT NameTranslate::findByCanonical(const names::CanonicalName& name, FoundObject* out) {
  const Partition* domain = domainByDnsName(name.domain);
  std::string dn = domain != nullptr ? domain->ncName : names::dnOfDnsName(name.domain);
  if (dn.empty()) return kNotFound;
  for (const std::string& component : name.components) {
    std::string child;
    HRESULT hr = childOf(dn, component, &child);
    if (FAILED(hr)) return hr;
    dn = std::move(child);
  }
  return findByDn(dn, out);
}

HRESULT NameTranslate::findByNt4(const std::string& name, FoundObject* out) {
  std::string domainName, account;
  if (!names::parseNt4Name(name, &domainName, &account)) return kNotFound;
  const Partition* domain = nullptr;
  for (const Partition& partition : partitions()) {
    if (partition.isDomain && equalsIgnoreCase(partition.netbiosName, domainName)) domain = &partition;
  }
  if (domain == nullptr) return kNotFound;
  if (account.empty()) return findByDn(domain->ncName, out);
  std::vector<FoundObject> candidates;
  HRESULT hr = searchEntries(domain->ncName, LDAP_SCOPE_SUBTREE, "(sAMAccountName=" + escapeFilterValue(account) + ")",
                             &candidates);
  if (FAILED(hr)) return hr;
  return exactlyOne(&candidates, out);
}

HRESULT NameTranslate::findByPrincipalName(const std::string& name, FoundObject* out) {
  std::string account, suffix;
  if (!names::parsePrincipalName(name, &account, &suffix)) return kNotFound;
  HRESULT hr = findByFilter("(userPrincipalName=" + escapeFilterValue(name) + ")", false, out);
  if (hr != kNotFound) return hr;
  // The implicit principal name: account@dnsdomain names the domain's sAMAccountName.
  const Partition* domain = domainByDnsName(suffix);
  if (domain == nullptr) return kNotFound;
  std::vector<FoundObject> candidates;
  hr = searchEntries(domain->ncName, LDAP_SCOPE_SUBTREE, "(sAMAccountName=" + escapeFilterValue(account) + ")",
                     &candidates);
  if (FAILED(hr)) return hr;
  return exactlyOne(&candidates, out);
}

HRESULT NameTranslate::findUnknown(const std::string& name, FoundObject* out) {
  for (int format : names::candidateFormats(name)) {
    HRESULT hr = find(format, name, out);
    if (hr != kNotFound) return hr;
  }
  return kNotFound;
}

HRESULT NameTranslate::find(LONG format, const std::string& name, FoundObject* out) {
  names::CanonicalName canonical;
  names::GuidBytes guid;
  authz::SidBytes sid;
  switch (format) {
    case ADS_NAME_TYPE_1779:
      return findByDn(name, out);
    case ADS_NAME_TYPE_CANONICAL:
      if (!names::parseCanonicalName(name, &canonical)) return kNotFound;
      return findByCanonical(canonical, out);
    case ADS_NAME_TYPE_CANONICAL_EX:
      if (!names::parseCanonicalNameEx(name, &canonical)) return kNotFound;
      return findByCanonical(canonical, out);
    case ADS_NAME_TYPE_NT4:
      return findByNt4(name, out);
    case ADS_NAME_TYPE_DISPLAY:
      return findByFilter("(displayName=" + escapeFilterValue(name) + ")", false, out);
    case ADS_NAME_TYPE_DOMAIN_SIMPLE:
    case ADS_NAME_TYPE_ENTERPRISE_SIMPLE:
    case ADS_NAME_TYPE_USER_PRINCIPAL_NAME:
      return findByPrincipalName(name, out);
    case ADS_NAME_TYPE_GUID:
      if (!names::parseGuidText(name, &guid)) return kNotFound;
      return findByFilter("(objectGUID=" + names::binaryFilterValue(guid.data(), guid.size()) + ")", true, out);
    case ADS_NAME_TYPE_SERVICE_PRINCIPAL_NAME:
      return findByFilter("(servicePrincipalName=" + escapeFilterValue(name) + ")", false, out);
    case ADS_NAME_TYPE_SID_OR_SID_HISTORY_NAME: {
      if (!authz::parseSidText(name, sid)) return kNotFound;
      std::string value = names::binaryFilterValue(sid.data(), sid.size());
      return findByFilter("(|(objectSid=" + value + ")(sIDHistory=" + value + "))", false, out);
    }
    case ADS_NAME_TYPE_UNKNOWN:
      return findUnknown(name, out);
    default:
      return E_ADS_BAD_PARAMETER;
  }
}

HRESULT NameTranslate::Set(LONG lnSetType, BSTR bstrADsPath) {
  return guarded([&] {
    std::lock_guard<std::mutex> lock(mutex_);
    hasFound_ = false;
    if (lnSetType < ADS_NAME_TYPE_1779 || lnSetType > ADS_NAME_TYPE_SID_OR_SID_HISTORY_NAME) return E_ADS_BAD_PARAMETER;
    if (bstrADsPath == nullptr || SysStringLen(bstrADsPath) == 0) return E_ADS_BAD_PARAMETER;
    if (!connection_) return E_ADS_BAD_PARAMETER;
    // Longer than any name the directory holds: refused before anything is sent.
    if (SysStringLen(bstrADsPath) > maxNameUnits) return E_INVALIDARG;
    std::string name = bstrText(bstrADsPath);
    // A NUL would cut the name short on its way to the server and name someone else.
    if (name.find('\0') != std::string::npos) return kNotFound;
    HRESULT hr = ensurePartitions();
    if (FAILED(hr)) return hr;
    FoundObject object;
    hr = find(lnSetType, name, &object);
    if (FAILED(hr)) return hr;
    found_ = std::move(object);
    hasFound_ = true;
    return S_OK;
  });
}

HRESULT NameTranslate::renderNt4(std::string* out) const {
  const Partition* domain = domainContaining(found_.dn);
  if (domain == nullptr || domain->netbiosName.empty()) return kNoMapping;
  if (equalsIgnoreCase(found_.dn, domain->ncName)) {
    *out = domain->netbiosName + "\\";
    return S_OK;
  }
  if (found_.samAccountName.empty()) return kNoMapping;
  *out = domain->netbiosName + "\\" + found_.samAccountName;
  return S_OK;
}

HRESULT NameTranslate::render(LONG format, std::string* out) const {
  std::string canonical;
  switch (format) {
    case ADS_NAME_TYPE_1779:
      *out = found_.dn;
      return S_OK;
    case ADS_NAME_TYPE_CANONICAL:
      if (!names::canonicalNameOfDn(found_.dn, out)) return kNoMapping;
      return S_OK;
    case ADS_NAME_TYPE_CANONICAL_EX:
      if (!names::canonicalNameOfDn(found_.dn, &canonical)) return kNoMapping;
      *out = names::canonicalToExtended(canonical);
      return S_OK;
    case ADS_NAME_TYPE_NT4:
      return renderNt4(out);
    case ADS_NAME_TYPE_DISPLAY:
      if (found_.displayName.empty()) return kNoMapping;
      *out = found_.displayName;
      return S_OK;
    case ADS_NAME_TYPE_DOMAIN_SIMPLE:
    case ADS_NAME_TYPE_ENTERPRISE_SIMPLE:
    case ADS_NAME_TYPE_USER_PRINCIPAL_NAME:
      // All three are the one user-principal-name format of the directory's name cracking:
      // the value as stored, never an implicit account@domain.
      if (found_.userPrincipalName.empty()) return kNoMapping;
      *out = found_.userPrincipalName;
      return S_OK;
    case ADS_NAME_TYPE_GUID: {
      if (found_.guid.size() != 16) return kNoMapping;
      names::GuidBytes guid;
      std::copy(found_.guid.begin(), found_.guid.end(), guid.begin());
      *out = names::formatGuid(guid);
      return S_OK;
    }
    case ADS_NAME_TYPE_SERVICE_PRINCIPAL_NAME:
      return kNoMapping;
    default:
      // UNKNOWN and SID are input formats only.
      return E_ADS_BAD_PARAMETER;
  }
}

HRESULT NameTranslate::Get(LONG lnFormatType, BSTR* pbstrADsPath) {
  return guarded([&] {
    if (pbstrADsPath == nullptr) return E_POINTER;
    *pbstrADsPath = nullptr;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!hasFound_) return E_ADS_BAD_PARAMETER;
    std::string text;
    HRESULT hr = render(lnFormatType, &text);
    if (FAILED(hr)) return hr;
    BSTR result = newBstr(text);
    if (result == nullptr) return E_OUTOFMEMORY;
    *pbstrADsPath = result;
    return S_OK;
  });
}

}  // namespace

HRESULT createNameTranslate(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  auto* object = new (std::nothrow) NameTranslate();
  if (object == nullptr) return E_OUTOFMEMORY;
  HRESULT hr = object->QueryInterface(riid, ppv);
  object->Release();
  return hr;
}

}  // namespace winapi::adsi
