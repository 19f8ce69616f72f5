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
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <random>

#include "adsi/dns_records.h"
#include "adsi/errors.h"
#include "adsi/ldap_owners.h"
#include "adsi/netlogon_ping.h"
#include "adsi/path.h"
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


// Suffixes the operator vouches for besides the domain itself: a domain whose controllers carry
// names of another DNS zone lists that zone in ORVISTAL_DC_SUFFIXES (separated by commas or spaces).
const std::vector<std::string>& operatorSuffixes() {
  static const std::vector<std::string> suffixes = [] {
    std::vector<std::string> listed;
    const char* text = std::getenv("ORVISTAL_DC_SUFFIXES");
    std::string all = text != nullptr ? text : "";
    size_t start = 0;
    while (start < all.size()) {
      size_t end = all.find_first_of(", ", start);
      if (end == std::string::npos) end = all.size();
      std::string one = toLowerAscii(all.substr(start, end - start));
      while (!one.empty() && one.front() == '.') one.erase(0, 1);
      if (!one.empty()) listed.push_back(one);
      start = end + 1;
    }
    return listed;
  }();
  return suffixes;
}

bool inZone(const std::string& host, const std::string& zone) {
  return equalsIgnoreCase(host, zone) || endsWithLabel(host, zone);
}

// A target DNS named for a domain's controllers is taken only inside that domain (or a zone the
// operator lists), and only when it is a host name a path could hold: an answer that names any
// other host would send the account's bind wherever whoever answers DNS wants it.
bool trustedTarget(std::string target, const std::string& domain) {
  if (!target.empty() && target.back() == '.') target.pop_back();
  if (!isValidHostName(target) || target.front() == '[' || isAddressLiteral(target)) return false;
  if (inZone(target, domain)) return true;
  for (const std::string& zone : operatorSuffixes())
    if (inZone(target, zone)) return true;
  return false;
}

// ---------------------------------------------------------------- what the locator keeps

// What DNS and the Kerberos configuration say of a name; OpenLDAP's URI is read afresh each time
// (a process may change it), these are kept until refreshAt. An answer that failed (a server
// failure, a time-out) never replaces a good one: the last good answer serves, and the name is
// asked again soon instead of after the usual period.
struct DomainFacts {
  std::vector<ServiceRecord> controllerRecords;  // _ldap._tcp.dc._msdcs.<name>, drawn in order once
  std::vector<ServiceRecord> serviceRecords;     // _ldap._tcp.<name>, drawn in order once
  std::vector<ServiceRecord> catalogRecords;     // _gc._tcp.<name> (a forest root's), drawn in order once
  std::vector<std::string> kdcHosts;
  std::string clientSite;                   // the setting, or what a controller's netlogon ping said
  std::vector<ServiceRecord> siteRecords;  // _ldap._tcp.<site>._sites.dc._msdcs.<name>
  bool resolves = false;
  bool complete = true;  // every question was answered
  Clock::time_point refreshAt;
};

// One name's facts, and whether a thread is asking DNS about it now.
struct NameEntry {
  DomainFacts facts;
  bool known = false;
  bool refreshing = false;
};

// The controller a domain's calls go to while it answers (see keepController).
struct Affinity {
  Endpoint controller;
  Clock::time_point chosenAt;
};

struct LocatorMemory {
  std::mutex mutex;
  std::condition_variable refreshed;       // a refresh of some name ended
  std::map<std::string, NameEntry> facts;  // guarded by mutex; keys in lower case
  std::map<std::string, std::pair<bool, Clock::time_point>> isDomain;  // guarded by mutex; lower case, until when
  std::pair<std::string, Clock::time_point> defaultDomain;             // guarded by mutex
  bool defaultDomainKnown = false;                                     // guarded by mutex
  std::map<std::string, std::string> dnsNameOfNetbios;  // guarded by mutex; keys in lower case
  std::mutex affinityMutex;
  std::map<std::string, Affinity> affinity;  // guarded by affinityMutex; by domain and port asked for
};

// How soon a name whose DNS questions failed is asked again.
constexpr int dnsRetrySeconds = 10;

bool fresh(Clock::time_point learnedAt) {
  return Clock::now() - learnedAt < std::chrono::seconds(locatorMemorySeconds);
}

LocatorMemory& memory() {
  static LocatorMemory* instance = new LocatorMemory();
  return *instance;
}

uint32_t randomDraw(uint32_t bound) {
  thread_local std::mt19937 generator{std::random_device{}()};
  return std::uniform_int_distribution<uint32_t>(0, bound)(generator);
}

// Keeps the answer of one question, or the last good one when the question failed.
void takeRecords(DnsAnswer answer, std::vector<ServiceRecord> records, const std::vector<ServiceRecord>* lastGood,
                 std::vector<ServiceRecord>* kept, bool* complete) {
  if (answer == DnsAnswer::Failed) {
    *complete = false;
    if (lastGood != nullptr) *kept = *lastGood;
    return;
  }
  // Drawn once per answer, so every caller tries the controllers in the same order and a
  // failover moves every caller to the same next one.
  *kept = orderServiceRecords(std::move(records), randomDraw);
}

// The client's site: the operator's ORVISTAL_SITE, else what the first controllers the domain's
// records name (two at most, a second each) answer to the netlogon ping, else what was learned
// before. Only a domain that DNS serves has site records to ask for.
constexpr int sitePings = 2;
constexpr auto sitePingTimeout = std::chrono::milliseconds(1000);

const std::string& configuredSite() {
  static const std::string site = [] {
    const char* text = std::getenv("ORVISTAL_SITE");
    std::string named = text != nullptr ? text : "";
    return isUsableSiteName(named) ? named : std::string();
  }();
  return site;
}

std::string clientSiteOf(const std::string& name, const DomainFacts& facts, const DomainFacts* lastGood) {
  if (!configuredSite().empty()) return configuredSite();
  int pinged = 0;
  for (const ServiceRecord& record : facts.controllerRecords) {
    if (pinged == sitePings) break;
    if (!trustedTarget(record.target, name)) continue;
    ++pinged;
    NetlogonAnswer answer;
    if (!pingDomainController(record.target, name, sitePingTimeout, &answer)) continue;
    // An answer without a usable site: the client's address lies in no site's subnet.
    return isUsableSiteName(answer.clientSiteName) ? answer.clientSiteName : std::string();
  }
  return lastGood != nullptr ? lastGood->clientSite : std::string();
}

DomainFacts learnFacts(const std::string& name, const DomainFacts* lastGood) {
  DomainFacts facts;
  std::vector<ServiceRecord> records;
  DnsAnswer answer = serviceRecordsOf("_ldap._tcp.dc._msdcs." + name, &records);
  takeRecords(answer, std::move(records), lastGood ? &lastGood->controllerRecords : nullptr,
              &facts.controllerRecords, &facts.complete);
  answer = serviceRecordsOf("_ldap._tcp." + name, &records);
  takeRecords(answer, std::move(records), lastGood ? &lastGood->serviceRecords : nullptr, &facts.serviceRecords,
              &facts.complete);
  answer = serviceRecordsOf("_gc._tcp." + name, &records);
  takeRecords(answer, std::move(records), lastGood ? &lastGood->catalogRecords : nullptr, &facts.catalogRecords,
              &facts.complete);
  if (!facts.controllerRecords.empty()) facts.clientSite = clientSiteOf(name, facts, lastGood);
  if (!facts.clientSite.empty()) {
    bool sameSite = lastGood != nullptr && lastGood->clientSite == facts.clientSite;
    answer = serviceRecordsOf("_ldap._tcp." + facts.clientSite + "._sites.dc._msdcs." + name, &records);
    takeRecords(answer, std::move(records), sameSite ? &lastGood->siteRecords : nullptr, &facts.siteRecords,
                &facts.complete);
  }
  std::string realm = name;
  for (char& c : realm) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (const std::string& entry : kdcEntriesOf(realm)) {
    std::string host = hostOfKdcEntry(entry);
    if (!host.empty()) facts.kdcHosts.push_back(host);
  }
  DnsAnswer addresses = addressesOf(name);
  if (addresses == DnsAnswer::Failed) {
    facts.complete = false;
    facts.resolves = lastGood != nullptr && lastGood->resolves;
  } else {
    facts.resolves = addresses == DnsAnswer::Records;
  }
  facts.refreshAt = Clock::now() + std::chrono::seconds(facts.complete ? locatorMemorySeconds : dnsRetrySeconds);
  return facts;
}

// A name's facts, refreshed when due. One thread at a time asks DNS about a name, outside the
// memory's lock (DNS may be slow); meanwhile the others take the facts it had, or, for a name
// never learned, wait for that one answer.
DomainFacts factsOf(const std::string& name) {
  std::string key = toLowerAscii(name);
  LocatorMemory& known = memory();
  std::unique_lock<std::mutex> lock(known.mutex);
  NameEntry& entry = known.facts[key];  // std::map: the reference outlives later insertions
  for (;;) {
    if (entry.known && (Clock::now() < entry.facts.refreshAt || entry.refreshing)) return entry.facts;
    if (!entry.refreshing) break;
    known.refreshed.wait(lock);
  }
  entry.refreshing = true;
  DomainFacts lastGood = entry.facts;
  bool hadFacts = entry.known;
  lock.unlock();
  DomainFacts learned = learnFacts(key, hadFacts ? &lastGood : nullptr);
  lock.lock();
  entry.facts = std::move(learned);
  entry.known = true;
  entry.refreshing = false;
  known.refreshed.notify_all();
  return entry.facts;
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
    LdapUrl parsed;
    if (one.empty() || ldap_url_parse(one.c_str(), parsed.put()) != LDAP_URL_SUCCESS) continue;
    const LDAPURLDesc* url = parsed.get();
    bool ldaps = url->lud_scheme != nullptr && std::string(url->lud_scheme) == "ldaps";
    if (url->lud_host != nullptr && url->lud_host[0] != 0)
      endpoints.push_back({url->lud_host, url->lud_port != 0 ? url->lud_port : (ldaps ? 636 : 389), true});
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

void addCandidate(std::vector<Endpoint>* out, Endpoint candidate) {
  for (const Endpoint& known : *out)
    if (equalsIgnoreCase(known.host, candidate.host) && known.port == candidate.port) return;
  out->push_back(std::move(candidate));
}

// A domain the operator's own configuration vouches for: the default domain, a realm the Kerberos
// configuration names, a zone ORVISTAL_DC_SUFFIXES lists, or the domain of the configured URI.
bool vouchedDomain(const std::string& name, const DomainFacts& facts) {
  if (equalsIgnoreCase(name, defaultDomainName()) || !facts.kdcHosts.empty()) return true;
  for (const std::string& zone : operatorSuffixes())
    if (equalsIgnoreCase(name, zone)) return true;
  for (const Endpoint& uri : configuredUris())
    if (endsWithLabel(uri.host, name)) return true;
  return false;
}

// Vouched for, else a name that does not resolve as a host but has domain controllers' records:
// a server setting that resolves as a host is that host, whatever DNS says of its subdomains.
bool learnWhetherDomain(const std::string& name, bool* settled) {
  DomainFacts facts = factsOf(name);
  *settled = facts.complete;
  if (vouchedDomain(name, facts)) return true;
  return !facts.resolves && !facts.controllerRecords.empty();
}

// Asked on every bind that names a host: kept as long as the facts it rests on (briefly when DNS
// failed), so that a bind asks neither DNS nor Kerberos.
bool isDomainName(const std::string& name) {
  std::string key = toLowerAscii(name);
  LocatorMemory& known = memory();
  {
    std::lock_guard<std::mutex> lock(known.mutex);
    auto it = known.isDomain.find(key);
    if (it != known.isDomain.end() && Clock::now() < it->second.second) return it->second.first;
  }
  bool settled = true;
  bool domain = learnWhetherDomain(key, &settled);
  std::lock_guard<std::mutex> lock(known.mutex);
  known.isDomain[key] = {domain, Clock::now() + std::chrono::seconds(settled ? locatorMemorySeconds : dnsRetrySeconds)};
  return domain;
}

// ---------------------------------------------------------------- affinity

std::atomic<int> affinityOverride{-1};  // atomic: tests set it while calls read it

int affinitySeconds() {
  int overridden = affinityOverride.load();
  if (overridden >= 0) return overridden;
  static const int configured = [] {
    const char* text = std::getenv("ORVISTAL_DC_AFFINITY_SECONDS");
    int seconds = text != nullptr ? std::atoi(text) : 0;
    return seconds > 0 ? seconds : defaultAffinitySeconds;
  }();
  return configured;
}

// A domain's controller for its own naming context, and its Global Catalog, are kept apart.
std::string affinityKey(const std::string& domain, int port) {
  return port == 3268 || port == 3269 ? domain + "\ngc" : domain;
}

// Puts the domain's kept controller first, while its period lasts.
void preferKeptController(const std::string& domain, int port, std::vector<Endpoint>* candidates) {
  LocatorMemory& known = memory();
  Endpoint kept;
  {
    std::lock_guard<std::mutex> lock(known.affinityMutex);
    auto it = known.affinity.find(affinityKey(domain, port));
    if (it == known.affinity.end()) return;
    if (Clock::now() - it->second.chosenAt >= std::chrono::seconds(affinitySeconds())) {
      known.affinity.erase(it);
      return;
    }
    kept = it->second.controller;
  }
  for (auto it = candidates->begin(); it != candidates->end(); ++it) {
    if (!equalsIgnoreCase(it->host, kept.host)) continue;
    std::rotate(candidates->begin(), it, it + 1);
    return;
  }
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
    for (const auto* records : {&facts.siteRecords, &facts.controllerRecords, &facts.serviceRecords})
      for (const ServiceRecord& record : *records)
        if (trustedTarget(record.target, name)) addCandidate(out, {record.target, record.port != 0 ? record.port : 389});
    for (const std::string& kdc : facts.kdcHosts)
      if (isValidHostName(kdc) || isAddressLiteral(kdc)) addCandidate(out, {kdc, 389, !isAddressLiteral(kdc)});
    if (facts.resolves) addCandidate(out, {name, 389, false});
  }
  for (Endpoint& candidate : *out) {
    if (port != 0) candidate.port = port;
    candidate.locatedFor = name;
  }
  preferKeptController(name, port, out);
  if (out->empty())
    return failLdap(LDAP_SERVER_DOWN, name.empty() ? "no default domain or directory server is configured"
                                                   : "no domain controller found for " + name);
  return S_OK;
}

HRESULT locateGlobalCatalogs(int port, std::vector<Endpoint>* out) {
  out->clear();
  // The forest root holds the records: the default domain, or the nearest parent zone that has
  // them (never a top-level name).
  for (std::string zone = defaultDomainName(); zone.find('.') != std::string::npos;
       zone = zone.substr(zone.find('.') + 1)) {
    DomainFacts facts = factsOf(zone);
    for (const ServiceRecord& record : facts.catalogRecords)
      if (trustedTarget(record.target, zone))
        addCandidate(out, {record.target, port != 0 ? port : (record.port != 0 ? record.port : 3268)});
    if (out->empty()) continue;
    for (Endpoint& candidate : *out) candidate.locatedFor = zone;
    preferKeptController(zone, 3268, out);
    return S_OK;
  }
  return failLdap(LDAP_SERVER_DOWN, "DNS names no Global Catalog of the forest");
}

HRESULT locateServers(const std::string& hostOrDomain, int port, std::vector<Endpoint>* out) {
  if (hostOrDomain.empty()) return locateDomainControllers(std::string(), port, out);
  if (!isAddressLiteral(hostOrDomain) && isDomainName(hostOrDomain))
    return locateDomainControllers(hostOrDomain, port, out);
  *out = {Endpoint{hostOrDomain, port != 0 ? port : 389}};
  return S_OK;
}

bool isForestDomain(const std::string& name) {
  std::string key = toLowerAscii(name);
  if (key.empty()) return false;
  {
    LocatorMemory& known = memory();
    std::lock_guard<std::mutex> lock(known.mutex);
    for (const auto& [netbios, dnsName] : known.dnsNameOfNetbios)
      if (dnsName == key) return true;
  }
  std::string realm = key;
  for (char& c : realm) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (equalsIgnoreCase(key, defaultDomainName()) || !kdcEntriesOf(realm).empty()) return true;
  for (const std::string& zone : operatorSuffixes())
    if (key == zone) return true;
  return false;
}

void keepController(const Endpoint& answered) {
  if (answered.locatedFor.empty()) return;
  LocatorMemory& known = memory();
  std::string key = affinityKey(answered.locatedFor, answered.port);
  std::lock_guard<std::mutex> lock(known.affinityMutex);
  auto it = known.affinity.find(key);
  bool same = it != known.affinity.end() && equalsIgnoreCase(it->second.controller.host, answered.host);
  // The period runs from the choice: a controller in use is still left for the preferred order
  // once the period ends (the first candidate, which answers again).
  if (same && Clock::now() - it->second.chosenAt < std::chrono::seconds(affinitySeconds())) return;
  known.affinity[key] = Affinity{answered, Clock::now()};
}

void rememberDomainName(const std::string& netbiosName, const std::string& dnsName) {
  if (netbiosName.empty() || dnsName.empty()) return;
  LocatorMemory& known = memory();
  std::lock_guard<std::mutex> lock(known.mutex);
  known.dnsNameOfNetbios[toLowerAscii(netbiosName)] = toLowerAscii(dnsName);
}

std::string logonDomainOf(const std::string& user, const std::string& ntDomain) {
  if (ntDomain.empty()) {
    // A principal name's suffix is located only when it names a domain of the forest: any other
    // (the company's web domain, an extra principal-name suffix) is not a place to send the
    // password to, and the account logs on in the machine's own domain.
    size_t at = user.rfind('@');
    if (at != std::string::npos && at + 1 < user.size() && isForestDomain(user.substr(at + 1)))
      return toLowerAscii(user.substr(at + 1));
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
  // Entries stay (a thread refreshing one holds it): each is only made unknown.
  for (auto& [name, entry] : known.facts) entry.known = false;
  known.isDomain.clear();
  {
    std::lock_guard<std::mutex> affinityLock(known.affinityMutex);
    known.affinity.clear();
  }
  known.defaultDomainKnown = false;
  known.dnsNameOfNetbios.clear();
}

void expireLocatedDomains() {
  LocatorMemory& known = memory();
  std::lock_guard<std::mutex> lock(known.mutex);
  for (auto& [name, entry] : known.facts) entry.facts.refreshAt = Clock::now();
  known.isDomain.clear();
}

void setAffinitySecondsForTesting(int seconds) { affinityOverride = seconds; }

std::string clientSiteForTesting(const std::string& domain) { return factsOf(domain).clientSite; }

}  // namespace testing

}  // namespace winapi::adsi
