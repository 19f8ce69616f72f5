#include <chrono>
#include <map>
#include <mutex>

#include "adsi/connection.h"
#include "adsi/pool.h"
#include "adsi/root_entry.h"

namespace winapi::adsi {

namespace {

// Root entries by server, shared by every connection to it for as long as a pooled connection
// may stand.
struct RootEntries {
  std::mutex mutex;
  // guarded by mutex
  std::map<std::string, std::pair<std::shared_ptr<const RootEntry>, std::chrono::steady_clock::time_point>> byServer;
};

RootEntries& rootEntries() {
  static RootEntries* instance = new RootEntries();
  return *instance;
}

}  // namespace

void forgetRootEntries() {
  std::lock_guard<std::mutex> lock(rootEntries().mutex);
  rootEntries().byServer.clear();
}

LdapOutcome Connection::rootEntry(std::shared_ptr<const RootEntry>* out) {
  std::string key = endpointKey(endpoint_);
  RootEntries& known = rootEntries();
  {
    std::lock_guard<std::mutex> lock(known.mutex);
    auto it = known.byServer.find(key);
    if (it != known.byServer.end() &&
        std::chrono::steady_clock::now() - it->second.second < std::chrono::seconds(poolLifetimeLimitSeconds)) {
      *out = it->second.first;
      return LdapOutcome();
    }
  }
  LdapMessage result;
  LdapOutcome outcome = search("", LDAP_SCOPE_BASE, "(objectClass=*)", {}, nullptr, 0, 0, &result);
  if (!outcome.ok()) return outcome;
  LDAP* ld = handle_.get();
  LDAPMessage* entry = ldap_first_entry(ld, result.get());
  if (entry == nullptr) {
    outcome.code = LDAP_NO_SUCH_OBJECT;
    outcome.diagnostic = "the server did not return its root entry";
    return outcome;
  }
  auto root = std::make_shared<RootEntry>();
  std::vector<EntryAttribute> attributes;
  entryAttributes(ld, entry, &attributes);
  for (EntryAttribute& attribute : attributes) {
    // These change by the second; a root entry read once must not hold them.
    if (equalsIgnoreCase(attribute.name, "currentTime") || equalsIgnoreCase(attribute.name, "highestCommittedUSN"))
      continue;
    root->emplace_back(std::move(attribute.name), std::move(attribute.values));
  }
  std::lock_guard<std::mutex> lock(known.mutex);
  known.byServer[key] = {root, std::chrono::steady_clock::now()};
  *out = std::move(root);
  return LdapOutcome();
}

std::shared_ptr<const void> Connection::remembered(const std::string& key,
                                                   const std::function<std::shared_ptr<const void>()>& load) {
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    auto it = remembered_.find(key);
    if (it != remembered_.end()) return it->second;
  }
  std::shared_ptr<const void> value = load();
  if (!value) return nullptr;  // not known: asked again next time
  std::lock_guard<std::mutex> lock(stateMutex_);
  return remembered_.emplace(key, std::move(value)).first->second;
}

}  // namespace winapi::adsi
