#include "adsi/dc_locator.h"

#include <arpa/inet.h>
#include <arpa/nameser.h>
#include <krb5.h>
#include <ldap.h>
#include <netdb.h>
#include <netinet/in.h>
#include <profile.h>
#include <resolv.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <map>
#include <mutex>
#include <random>

#include "adsi/errors.h"
#include "adsi/ldap_owners.h"
#include "adsi/test_hooks.h"
#include "adsi/text.h"
#include "adsi/transport.h"

namespace winapi::adsi {

namespace {

using Clock = std::chrono::steady_clock;

bool isAddressLiteral(const std::string& name) {
  in6_addr address{};
  return inet_pton(AF_INET, name.c_str(), &address) == 1 || inet_pton(AF_INET6, name.c_str(), &address) == 1;
}

bool endsWithLabel(const std::string& host, const std::string& domain) {
  if (host.size() <= domain.size() + 1) return false;
  return host[host.size() - domain.size() - 1] == '.' &&
         equalsIgnoreCase(std::string_view(host).substr(host.size() - domain.size()), domain);
}

std::string namingContextOf(const std::string& domain) {
  std::string dn;
  size_t start = 0;
  while (start <= domain.size()) {
    size_t dot = domain.find('.', start);
    if (dot == std::string::npos) dot = domain.size();
    if (!dn.empty()) dn += ',';
    dn += "DC=" + domain.substr(start, dot - start);
    start = dot + 1;
  }
  return dn;
}

// ---------------------------------------------------------------- DNS service records

std::vector<ServiceRecord> serviceRecordsOf(const std::string& name) {
  std::vector<ServiceRecord> records;
  struct __res_state state {};
  if (res_ninit(&state) != 0) return records;
  unsigned char answer[8192];
  int length = res_nquery(&state, name.c_str(), ns_c_in, ns_t_srv, answer, sizeof answer);
  res_nclose(&state);
  ns_msg message;
  if (length <= 0 || ns_initparse(answer, length, &message) != 0) return records;
  for (int i = 0; i < ns_msg_count(message, ns_s_an); ++i) {
    ns_rr record;
    if (ns_parserr(&message, ns_s_an, i, &record) != 0 || ns_rr_type(record) != ns_t_srv || ns_rr_rdlen(record) < 7)
      continue;
    const unsigned char* data = ns_rr_rdata(record);
    char target[NS_MAXDNAME];
    if (dn_expand(ns_msg_base(message), ns_msg_end(message), data + 6, target, sizeof target) < 0) continue;
    // "." as the target says the service is not offered at this name.
    if (target[0] == 0 || std::string(target) == ".") continue;
    ServiceRecord parsed;
    parsed.priority = (data[0] << 8) | data[1];
    parsed.weight = (data[2] << 8) | data[3];
    parsed.port = (data[4] << 8) | data[5];
    parsed.target = target;
    records.push_back(std::move(parsed));
  }
  return records;
}

// ---------------------------------------------------------------- Kerberos configuration

std::string kerberosDefaultRealm() {
  krb5_context context = nullptr;
  if (krb5_init_context(&context) != 0) return std::string();
  char* realm = nullptr;
  std::string result;
  if (krb5_get_default_realm(context, &realm) == 0 && realm != nullptr) {
    result = realm;
    krb5_free_default_realm(context, realm);
  }
  krb5_free_context(context);
  return result;
}

// The kdc entries of a realm in the Kerberos configuration (none when it does not name the realm).
std::vector<std::string> kdcEntriesOf(const std::string& realm) {
  std::vector<std::string> entries;
  krb5_context context = nullptr;
  if (krb5_init_context(&context) != 0) return entries;
  profile_t profile = nullptr;
  if (krb5_get_profile(context, &profile) == 0) {
    const char* names[] = {"realms", realm.c_str(), "kdc", nullptr};
    char** values = nullptr;
    if (profile_get_values(profile, names, &values) == 0 && values != nullptr) {
      for (char** value = values; *value != nullptr; ++value) entries.emplace_back(*value);
      profile_free_list(values);
    }
    profile_release(profile);
  }
  krb5_free_context(context);
  return entries;
}

bool resolves(const std::string& name) {
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0) return false;
  freeaddrinfo(found);
  return true;
}

// ---------------------------------------------------------------- what the locator keeps

// What DNS and the Kerberos configuration say of a name; OpenLDAP's URI is read afresh each time
// (a process may change it), these are kept for locatorMemorySeconds.
struct DomainFacts {
  std::vector<ServiceRecord> controllerRecords;  // _ldap._tcp.dc._msdcs.<name>
  std::vector<ServiceRecord> serviceRecords;     // _ldap._tcp.<name>
  std::vector<std::string> kdcHosts;
  bool resolves = false;
  Clock::time_point learnedAt;
};

struct LocatorMemory {
  std::mutex mutex;
  std::map<std::string, DomainFacts> facts;            // guarded by mutex; keys in lower case
  std::map<std::string, std::pair<bool, Clock::time_point>> isDomain;  // guarded by mutex; lower case
  std::pair<std::string, Clock::time_point> defaultDomain;             // guarded by mutex
  bool defaultDomainKnown = false;                                     // guarded by mutex
  std::map<std::string, std::string> dnsNameOfNetbios;  // guarded by mutex; keys in lower case
};

bool fresh(Clock::time_point learnedAt) {
  return Clock::now() - learnedAt < std::chrono::seconds(locatorMemorySeconds);
}

LocatorMemory& memory() {
  static LocatorMemory* instance = new LocatorMemory();
  return *instance;
}

DomainFacts learnFacts(const std::string& name) {
  DomainFacts facts;
  facts.controllerRecords = serviceRecordsOf("_ldap._tcp.dc._msdcs." + name);
  facts.serviceRecords = serviceRecordsOf("_ldap._tcp." + name);
  std::string realm = name;
  for (char& c : realm) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (const std::string& entry : kdcEntriesOf(realm)) {
    std::string host = hostOfKdcEntry(entry);
    if (!host.empty()) facts.kdcHosts.push_back(host);
  }
  facts.resolves = resolves(name);
  facts.learnedAt = Clock::now();
  return facts;
}

DomainFacts factsOf(const std::string& name) {
  std::string key = toLowerAscii(name);
  LocatorMemory& known = memory();
  {
    std::lock_guard<std::mutex> lock(known.mutex);
    auto it = known.facts.find(key);
    if (it != known.facts.end() && fresh(it->second.learnedAt)) return it->second;
  }
  // One lookup at a time, outside the memory's lock (DNS may be slow): threads that start together
  // learn a domain once, and the resolver's first reading of its configuration is never shared
  // between threads that meet in it.
  static std::mutex lookingUp;
  std::lock_guard<std::mutex> lookup(lookingUp);
  {
    std::lock_guard<std::mutex> lock(known.mutex);
    auto it = known.facts.find(key);
    if (it != known.facts.end() && fresh(it->second.learnedAt)) return it->second;
  }
  DomainFacts facts = learnFacts(key);
  std::lock_guard<std::mutex> lock(known.mutex);
  return known.facts[key] = std::move(facts);
}

// ---------------------------------------------------------------- OpenLDAP's default URI

std::vector<Endpoint> configuredUris() {
  readyLdapLibrary();
  std::vector<Endpoint> endpoints;
  LdapString uris;
  if (ldap_get_option(nullptr, LDAP_OPT_URI, uris.put()) != LDAP_OPT_SUCCESS || !uris) return endpoints;
  std::string text = uris.get();
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of(" ,", start);
    if (end == std::string::npos) end = text.size();
    std::string one = text.substr(start, end - start);
    start = end + 1;
    LDAPURLDesc* url = nullptr;
    if (one.empty() || ldap_url_parse(one.c_str(), &url) != LDAP_URL_SUCCESS) continue;
    bool ldaps = url->lud_scheme != nullptr && std::string(url->lud_scheme) == "ldaps";
    if (url->lud_host != nullptr && url->lud_host[0] != 0)
      endpoints.push_back({url->lud_host, url->lud_port != 0 ? url->lud_port : (ldaps ? 636 : 389), true});
    ldap_free_urldesc(url);
  }
  return endpoints;
}

bool configuredBaseIs(const std::string& namingContext) {
  LdapString base;
  if (ldap_get_option(nullptr, LDAP_OPT_DEFBASE, base.put()) != LDAP_OPT_SUCCESS || !base) return false;
  return equalsIgnoreCase(base.get(), namingContext);
}

// The URIs that serve the domain: for the default domain every one of them.
std::vector<Endpoint> urisServing(const std::string& domain, bool isDefault) {
  std::vector<Endpoint> uris = configuredUris();
  if (isDefault || configuredBaseIs(namingContextOf(domain))) return uris;
  std::vector<Endpoint> serving;
  for (const Endpoint& uri : uris)
    if (equalsIgnoreCase(uri.host, domain) || endsWithLabel(uri.host, domain)) serving.push_back(uri);
  return serving;
}

uint32_t randomDraw(uint32_t bound) {
  thread_local std::mt19937 generator{std::random_device{}()};
  return std::uniform_int_distribution<uint32_t>(0, bound)(generator);
}

void addCandidate(std::vector<Endpoint>* out, Endpoint candidate) {
  for (const Endpoint& known : *out)
    if (equalsIgnoreCase(known.host, candidate.host) && known.port == candidate.port) return;
  out->push_back(std::move(candidate));
}

bool learnWhetherDomain(const std::string& name) {
  if (equalsIgnoreCase(name, defaultDomainName())) return true;
  DomainFacts facts = factsOf(name);
  if (!facts.controllerRecords.empty() || !facts.kdcHosts.empty()) return true;
  for (const Endpoint& uri : configuredUris())
    if (endsWithLabel(uri.host, name)) return true;
  return false;
}

// Asked on every bind that names a host: kept, so that a bind asks neither DNS nor Kerberos.
bool isDomainName(const std::string& name) {
  std::string key = toLowerAscii(name);
  LocatorMemory& known = memory();
  {
    std::lock_guard<std::mutex> lock(known.mutex);
    auto it = known.isDomain.find(key);
    if (it != known.isDomain.end() && fresh(it->second.second)) return it->second.first;
  }
  bool domain = learnWhetherDomain(key);
  std::lock_guard<std::mutex> lock(known.mutex);
  known.isDomain[key] = {domain, Clock::now()};
  return domain;
}

}  // namespace

std::vector<ServiceRecord> orderServiceRecords(std::vector<ServiceRecord> records,
                                               const std::function<uint32_t(uint32_t)>& draw) {
  std::stable_sort(records.begin(), records.end(),
                   [](const ServiceRecord& a, const ServiceRecord& b) { return a.priority < b.priority; });
  std::vector<ServiceRecord> ordered;
  size_t start = 0;
  while (start < records.size()) {
    size_t end = start;
    while (end < records.size() && records[end].priority == records[start].priority) ++end;
    // Weight 0 first within the group, so that they are chosen only when the draw lands on 0.
    std::vector<ServiceRecord> group(records.begin() + start, records.begin() + end);
    std::stable_partition(group.begin(), group.end(), [](const ServiceRecord& r) { return r.weight == 0; });
    while (group.size() > 1) {
      uint32_t total = 0;
      for (const ServiceRecord& r : group) total += static_cast<uint32_t>(r.weight);
      uint32_t pick = draw(total);
      uint32_t running = 0;
      size_t chosen = group.size() - 1;
      for (size_t i = 0; i < group.size(); ++i) {
        running += static_cast<uint32_t>(group[i].weight);
        if (running >= pick) {
          chosen = i;
          break;
        }
      }
      ordered.push_back(std::move(group[chosen]));
      group.erase(group.begin() + static_cast<std::ptrdiff_t>(chosen));
    }
    // The last record of a group has nothing to be weighed against.
    if (!group.empty()) ordered.push_back(std::move(group.front()));
    start = end;
  }
  return ordered;
}

std::string hostOfKdcEntry(const std::string& entry) {
  std::string text = entry;
  size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string();
  text = text.substr(first, text.find_last_not_of(" \t") - first + 1);
  // A URL form (kkdcp https://...) is not a host to reach over LDAP.
  if (text.find("://") != std::string::npos) return std::string();
  if (text.front() == '[') {
    size_t close = text.find(']');
    return close == std::string::npos ? std::string() : text.substr(1, close - 1);
  }
  size_t colon = text.find(':');
  // Two or more colons without brackets: an IPv6 address with no port.
  if (colon != std::string::npos && text.find(':', colon + 1) == std::string::npos) text.resize(colon);
  return text;
}

std::string defaultDomainName() {
  LocatorMemory& known = memory();
  {
    std::lock_guard<std::mutex> lock(known.mutex);
    if (known.defaultDomainKnown && fresh(known.defaultDomain.second)) return known.defaultDomain.first;
  }
  std::string domain = toLowerAscii(kerberosDefaultRealm());
  std::lock_guard<std::mutex> lock(known.mutex);
  known.defaultDomain = {domain, Clock::now()};
  known.defaultDomainKnown = true;
  return domain;
}

HRESULT locateDomainControllers(const std::string& domain, int port, std::vector<Endpoint>* out) {
  out->clear();
  std::string defaultDomain = defaultDomainName();
  bool isDefault = domain.empty() || equalsIgnoreCase(domain, defaultDomain);
  std::string name = domain.empty() ? defaultDomain : toLowerAscii(domain);
  for (const Endpoint& uri : urisServing(name, isDefault)) addCandidate(out, uri);
  if (!name.empty()) {
    DomainFacts facts = factsOf(name);
    for (const ServiceRecord& record : orderServiceRecords(facts.controllerRecords, randomDraw))
      addCandidate(out, {record.target, record.port != 0 ? record.port : 389});
    for (const ServiceRecord& record : orderServiceRecords(facts.serviceRecords, randomDraw))
      addCandidate(out, {record.target, record.port != 0 ? record.port : 389});
    for (const std::string& kdc : facts.kdcHosts) addCandidate(out, {kdc, 389, !isAddressLiteral(kdc)});
    if (facts.resolves) addCandidate(out, {name, 389, false});
  }
  if (port != 0)
    for (Endpoint& candidate : *out) candidate.port = port;
  if (out->empty())
    return failLdap(LDAP_SERVER_DOWN, name.empty() ? "no default domain or directory server is configured"
                                                   : "no domain controller found for " + name);
  return S_OK;
}

HRESULT locateServers(const std::string& hostOrDomain, int port, std::vector<Endpoint>* out) {
  if (hostOrDomain.empty()) return locateDomainControllers(std::string(), port, out);
  if (!isAddressLiteral(hostOrDomain) && isDomainName(hostOrDomain))
    return locateDomainControllers(hostOrDomain, port, out);
  *out = {Endpoint{hostOrDomain, port != 0 ? port : 389}};
  return S_OK;
}

void rememberDomainName(const std::string& netbiosName, const std::string& dnsName) {
  if (netbiosName.empty() || dnsName.empty()) return;
  LocatorMemory& known = memory();
  std::lock_guard<std::mutex> lock(known.mutex);
  known.dnsNameOfNetbios[toLowerAscii(netbiosName)] = toLowerAscii(dnsName);
}

std::string logonDomainOf(const std::string& user, const std::string& ntDomain) {
  if (ntDomain.empty()) {
    size_t at = user.rfind('@');
    if (at != std::string::npos && at + 1 < user.size()) return toLowerAscii(user.substr(at + 1));
    return defaultDomainName();
  }
  if (ntDomain.find('.') != std::string::npos) return toLowerAscii(ntDomain);
  {
    LocatorMemory& known = memory();
    std::lock_guard<std::mutex> lock(known.mutex);
    auto it = known.dnsNameOfNetbios.find(toLowerAscii(ntDomain));
    if (it != known.dnsNameOfNetbios.end()) return it->second;
  }
  // Before the forest's partitions have been read: the machine's own domain.
  return defaultDomainName();
}

namespace testing {

void forgetLocatedDomains() {
  LocatorMemory& known = memory();
  std::lock_guard<std::mutex> lock(known.mutex);
  known.facts.clear();
  known.isDomain.clear();
  known.defaultDomainKnown = false;
  known.dnsNameOfNetbios.clear();
}

}  // namespace testing

}  // namespace winapi::adsi
