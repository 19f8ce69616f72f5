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

namespace names {

namespace {

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool parseHexBytes(std::string_view hex, uint8_t* out) {
  for (size_t i = 0; i < hex.size(); i += 2) {
    int high = hexDigit(hex[i]);
    int low = hexDigit(hex[i + 1]);
    if (high < 0 || low < 0) return false;
    out[i / 2] = static_cast<uint8_t>(high << 4 | low);
  }
  return true;
}

// Pieces of a canonical name split at every '/' that is not written "\/".
std::vector<std::string> splitCanonical(std::string_view text) {
  std::vector<std::string> pieces(1);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '/') {
      pieces.back() += '/';
      ++i;
    } else if (text[i] == '/') {
      pieces.emplace_back();
    } else {
      pieces.back() += text[i];
    }
  }
  return pieces;
}

std::string escapeCanonicalComponent(std::string_view value) {
  std::string out;
  for (char c : value) {
    if (c == '/') out += '\\';
    out += c;
  }
  return out;
}

struct Rdn {
  std::string type;
  std::string value;
};

bool splitDn(std::string_view dn, std::vector<Rdn>* out) {
  std::string rest(dn);
  while (!rest.empty()) {
    std::string rdn, parent, type, value;
    if (!splitFirstRdn(rest, &rdn, &parent) || !splitRdn(rdn, &type, &value)) return false;
    out->push_back({type, value});
    rest = parent;
  }
  return !out->empty();
}

bool hasOnlyHostCharacters(std::string_view host) {
  if (host.empty()) return false;
  return std::none_of(host.begin(), host.end(), [](char c) {
    return c == '/' || c == '@' || c == '\\' || c == ' ' || c == '[' || c == ']' ||
           static_cast<unsigned char>(c) < 0x20;
  });
}

bool parsePort(std::string_view text, int* port) {
  if (text.empty() || text.size() > 5) return false;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  if (value < 1 || value > 65535) return false;
  *port = value;
  return true;
}

bool startsWithSidPrefix(std::string_view name) { return startsWithIgnoreCase(name, "S-1-"); }

}  // namespace

bool parseCanonicalName(std::string_view text, CanonicalName* out) {
  std::vector<std::string> pieces = splitCanonical(text);
  if (pieces.size() < 2 || pieces.front().empty()) return false;
  out->domain = pieces.front();
  out->components.clear();
  // "domain/" is the domain itself; otherwise every component must name something.
  if (pieces.size() == 2 && pieces.back().empty()) return true;
  for (size_t i = 1; i < pieces.size(); ++i) {
    if (pieces[i].empty()) return false;
    out->components.push_back(pieces[i]);
  }
  return true;
}

bool parseCanonicalNameEx(std::string_view text, CanonicalName* out) {
  size_t lineFeed = text.rfind('\n');
  if (lineFeed == std::string_view::npos) return false;
  std::string canonical(text);
  canonical[lineFeed] = '/';
  return parseCanonicalName(canonical, out);
}

bool canonicalNameOfDn(std::string_view dn, std::string* out) {
  std::vector<Rdn> rdns;
  if (!splitDn(dn, &rdns)) return false;
  size_t firstDc = rdns.size();
  while (firstDc > 0 && equalsIgnoreCase(rdns[firstDc - 1].type, "DC")) --firstDc;
  if (firstDc == rdns.size()) return false;
  std::string result;
  for (size_t i = firstDc; i < rdns.size(); ++i) {
    if (i > firstDc) result += '.';
    result += rdns[i].value;
  }
  result += '/';
  for (size_t i = firstDc; i-- > 0;) {
    result += escapeCanonicalComponent(rdns[i].value);
    if (i > 0) result += '/';
  }
  *out = std::move(result);
  return true;
}

std::string canonicalToExtended(std::string_view canonical) {
  std::string out(canonical);
  for (size_t i = out.size(); i-- > 0;) {
    if (out[i] == '/' && (i == 0 || out[i - 1] != '\\')) {
      out[i] = '\n';
      break;
    }
  }
  return out;
}

std::string dnOfDnsName(std::string_view dnsName) {
  std::string dn;
  size_t start = 0;
  while (start <= dnsName.size()) {
    size_t dot = dnsName.find('.', start);
    std::string_view label =
        dnsName.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
    if (!label.empty()) {
      if (!dn.empty()) dn += ',';
      dn += "DC=";
      dn += escapeDnValue(label);
    }
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  return dn;
}

bool parseGuidText(std::string_view text, GuidBytes* out) {
  if (text.size() == 38 && text.front() == '{' && text.back() == '}') text = text.substr(1, 36);
  if (text.size() != 36 || text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-') return false;
  uint8_t data1[4], data2[2], data3[2];
  GuidBytes guid{};
  if (!parseHexBytes(text.substr(0, 8), data1) || !parseHexBytes(text.substr(9, 4), data2) ||
      !parseHexBytes(text.substr(14, 4), data3) || !parseHexBytes(text.substr(19, 4), &guid[8]) ||
      !parseHexBytes(text.substr(24, 12), &guid[10])) {
    return false;
  }
  // The first three fields are numbers written big-endian in text and stored little-endian.
  for (int i = 0; i < 4; ++i) guid[i] = data1[3 - i];
  guid[4] = data2[1];
  guid[5] = data2[0];
  guid[6] = data3[1];
  guid[7] = data3[0];
  *out = guid;
  return true;
}

std::string formatGuid(const GuidBytes& guid) {
  static const char hex[] = "0123456789abcdef";
  static const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  std::string out = "{";
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) out += '-';
    out += hex[guid[order[i]] >> 4];
    out += hex[guid[order[i]] & 0xF];
  }
  out += '}';
  return out;
}

bool parseNt4Name(std::string_view text, std::string* domain, std::string* account) {
  size_t slash = text.find('\\');
  if (slash == std::string_view::npos || slash == 0) return false;
  *domain = std::string(text.substr(0, slash));
  *account = std::string(text.substr(slash + 1));
  return true;
}

bool parsePrincipalName(std::string_view text, std::string* account, std::string* suffix) {
  size_t at = text.rfind('@');
  if (at == std::string_view::npos || at == 0 || at + 1 == text.size()) return false;
  *account = std::string(text.substr(0, at));
  *suffix = std::string(text.substr(at + 1));
  return true;
}

std::string binaryFilterValue(const uint8_t* bytes, size_t size) {
  static const char hex[] = "0123456789abcdef";
  std::string out;
  out.reserve(size * 3);
  for (size_t i = 0; i < size; ++i) {
    out += '\\';
    out += hex[bytes[i] >> 4];
    out += hex[bytes[i] & 0xF];
  }
  return out;
}

std::vector<int> candidateFormats(std::string_view name) {
  std::vector<int> formats;
  GuidBytes guid;
  std::string first, second;
  CanonicalName canonical;
  // Exact identifiers first: they cannot be mistaken for anyone else's name.
  if (name.size() == 38 && name.front() == '{' && parseGuidText(name, &guid)) formats.push_back(ADS_NAME_TYPE_GUID);
  if (startsWithSidPrefix(name)) formats.push_back(ADS_NAME_TYPE_SID_OR_SID_HISTORY_NAME);
  if (name.find('=') != std::string_view::npos && isValidDn(name)) formats.push_back(ADS_NAME_TYPE_1779);
  if (parseNt4Name(name, &first, &second)) formats.push_back(ADS_NAME_TYPE_NT4);
  if (parsePrincipalName(name, &first, &second)) formats.push_back(ADS_NAME_TYPE_USER_PRINCIPAL_NAME);
  if (name.find('\n') != std::string_view::npos && parseCanonicalNameEx(name, &canonical)) {
    formats.push_back(ADS_NAME_TYPE_CANONICAL_EX);
  } else if (parseCanonicalName(name, &canonical)) {
    formats.push_back(ADS_NAME_TYPE_CANONICAL);
  }
  formats.push_back(ADS_NAME_TYPE_DISPLAY);
  return formats;
}

bool parseServerAddress(std::string_view text, Endpoint* out) {
  Endpoint endpoint;
  std::string_view portText;
  if (!text.empty() && text.front() == '[') {
    size_t close = text.find(']');
    if (close == std::string_view::npos) return false;
    endpoint.host = std::string(text.substr(1, close - 1));
    std::string_view rest = text.substr(close + 1);
    if (!rest.empty() && rest.front() != ':') return false;
    if (!rest.empty()) portText = rest.substr(1);
    if (!rest.empty() && portText.empty()) return false;
    if (endpoint.host.empty() || endpoint.host.find_first_not_of("0123456789abcdefABCDEF:.") != std::string::npos)
      return false;
  } else {
    size_t colon = text.find(':');
    if (colon != std::string_view::npos && text.find(':', colon + 1) != std::string_view::npos) return false;
    endpoint.host = std::string(text.substr(0, colon));
    if (colon != std::string_view::npos) {
      portText = text.substr(colon + 1);
      if (portText.empty()) return false;
    }
    if (!hasOnlyHostCharacters(endpoint.host)) return false;
  }
  if (!portText.empty() && !parsePort(portText, &endpoint.port)) return false;
  *out = std::move(endpoint);
  return true;
}

Identity identityFor(std::string_view user, std::string_view domain, bool hasPassword) {
  Identity identity;
  if (user.empty()) {
    // No account: the caller's own identity, unless a password says someone was meant.
    identity.kind = hasPassword ? IdentityKind::Refused : IdentityKind::OwnIdentity;
    return identity;
  }
  // A name with no password would be an LDAP unauthenticated bind, i.e. anonymous success.
  // A NUL would cut the name short on the wire: the server would judge another name.
  bool truncated = user.find('\0') != std::string_view::npos || domain.find('\0') != std::string_view::npos;
  if (!hasPassword || truncated) {
    identity.kind = IdentityKind::Refused;
    return identity;
  }
  identity.kind = IdentityKind::NamedAccount;
  bool complete = user.find('@') != std::string_view::npos || user.find('\\') != std::string_view::npos ||
                  (user.find('=') != std::string_view::npos && isValidDn(user));
  if (complete || domain.empty()) {
    identity.bindName = std::string(user);
  } else if (domain.find('.') != std::string_view::npos) {
    // Windows takes a DNS domain in the domain field; the directory refuses "dns.name\user"
    // but takes the equivalent implicit principal name user@dns.name.
    identity.bindName = std::string(user) + "@" + std::string(domain);
  } else {
    identity.bindName = std::string(domain) + "\\" + std::string(user);
  }
  return identity;
}

HRESULT logonFailureFor(HRESULT bindResult, DWORD serverDataCode) {
  if (bindResult != HRESULT_FROM_WIN32(ERROR_LOGON_FAILURE)) return bindResult;
  switch (serverDataCode) {
    case ERROR_ACCOUNT_RESTRICTION:
    case ERROR_INVALID_LOGON_HOURS:
    case ERROR_INVALID_WORKSTATION:
    case ERROR_PASSWORD_EXPIRED:
    case ERROR_ACCOUNT_DISABLED:
    case ERROR_ACCOUNT_EXPIRED:
    case ERROR_PASSWORD_MUST_CHANGE:
    case ERROR_ACCOUNT_LOCKED_OUT:
      return HRESULT_FROM_WIN32(serverDataCode);
    default:
      // Unknown user (525) and everything else stay the plain logon failure, as on Windows.
      return bindResult;
  }
}

}  // namespace names

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

FoundObject foundObjectOf(LDAP* ld, LDAPMessage* entry) {
  FoundObject object;
  LdapString dn(ldap_get_dn(ld, entry));
  if (dn) object.dn = dn.get();
  std::string guid = firstEntryValue(ld, entry, "objectGUID");
  object.guid.assign(guid.begin(), guid.end());
  object.samAccountName = firstEntryValue(ld, entry, "sAMAccountName");
  object.userPrincipalName = firstEntryValue(ld, entry, "userPrincipalName");
  object.displayName = firstEntryValue(ld, entry, "displayName");
  return object;
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
  if (FAILED(acquireConnection(endpoint, anonymous, &probe))) return;
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

  HRESULT render(LONG format, std::string* out) const;
  HRESULT renderNt4(std::string* out) const;

  // The stand-in has no apartments to marshal calls, so calls are serialised here instead.
  std::mutex mutex_;
  std::shared_ptr<Connection> connection_;
  bool globalCatalog_ = false;
  std::string defaultNamingContext_;
  std::string configurationNamingContext_;
  std::vector<Partition> partitions_;
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

// A domain is reached through its controllers (dc_locator.h); a server as named.
HRESULT NameTranslate::serversFor(LONG initType, const std::string& path, std::vector<Endpoint>* out,
                                  bool* globalCatalog) {
  *globalCatalog = initType == ADS_NAME_INITTYPE_GC;
  if (initType == ADS_NAME_INITTYPE_GC) {
    // The Global Catalog of the machine's own domain; the path plays no part.
    HRESULT hr = locateDomainControllers(std::string(), 0, out);
    if (FAILED(hr)) return hr;
    for (Endpoint& server : *out) server.port = usesLdaps(server.port) ? kGlobalCatalogLdapsPort : kGlobalCatalogPort;
    return S_OK;
  }
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
  partitions_.clear();
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
  partitions_ = *std::static_pointer_cast<const std::vector<Partition>>(remembered);
  partitionsLoaded_ = true;
  // What the forest says of its domains' NetBIOS names serves logons in those domains.
  for (const Partition& partition : partitions_)
    if (partition.isDomain) rememberDomainName(partition.netbiosName, partition.dnsRoot);
  return S_OK;
}

const Partition* NameTranslate::domainByDnsName(std::string_view dnsName) const {
  for (const Partition& partition : partitions_) {
    if (partition.isDomain && equalsIgnoreCase(partition.dnsRoot, dnsName)) return &partition;
  }
  return nullptr;
}

const Partition* NameTranslate::domainContaining(std::string_view dn) const {
  const Partition* best = nullptr;
  for (const Partition& partition : partitions_) {
    if (!partition.isDomain || !isSuffixDn(dn, partition.ncName)) continue;
    if (best == nullptr || partition.ncName.size() > best->ncName.size()) best = &partition;
  }
  return best;
}

std::vector<std::string> NameTranslate::searchBases(bool configurationToo) const {
  // The Global Catalog holds the whole forest under the empty base.
  if (globalCatalog_) return {std::string()};
  std::vector<std::string> bases;
  for (const Partition& partition : partitions_) {
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
    FoundObject object = foundObjectOf(ld, entry);
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

// The object is read whole, as a bind of it reads it: a call that names an object by its
// distinguished name goes on to bind it and read its attributes, and then need not ask again.
HRESULT NameTranslate::findByDn(const std::string& dn, FoundObject* out) {
  if (!isValidDn(dn)) return kNotFound;
  LDAPControl* controls[] = {securityDescriptorFlagsControl(), nullptr};
  LdapMessage result;
  LdapOutcome outcome = connection_->search(dn, LDAP_SCOPE_BASE, "(objectClass=*)", {"*"}, controls, 0, 0, &result);
  if (meansNothingThere(outcome.code)) return kNotFound;
  if (!outcome.ok()) {
    // Whatever kept the whole object from being read, the names alone are asked for.
    std::vector<FoundObject> candidates;
    HRESULT hr = searchEntries(dn, LDAP_SCOPE_BASE, "(objectClass=*)", &candidates);
    if (FAILED(hr)) return hr;
    return exactlyOne(&candidates, out);
  }
  LDAP* ld = connection_->handle();
  LDAPMessage* entry = ldap_first_entry(ld, result.get());
  if (entry == nullptr) return kNotFound;
  *out = foundObjectOf(ld, entry);
  PropertyMap read;
  std::set<std::string> cut;
  entryProperties(ld, entry, &read, &cut);
  rememberWholeEntry(connection_, dn, out->dn, std::move(read), std::move(cut));
  return S_OK;
}

HRESULT NameTranslate::childOf(const std::string& parent, const std::string& relativeName, std::string* childDn) {
  // A naming context below this one (CN=Configuration under the forest root) is not an
  // ordinary child: the server only refers to it, so it is taken from the partitions.
  for (const Partition& partition : partitions_) {
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
  for (const Partition& partition : partitions_) {
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
