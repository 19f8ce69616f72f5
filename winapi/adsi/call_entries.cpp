#include "adsi/call_entries.h"

#include <map>
#include <utility>

#include "adsi/values.h"
#include "com/apartment.h"

namespace winapi::adsi {

namespace {

struct Kept {
  std::weak_ptr<Connection> connection;
  EntryOfThisCall entry;
};

struct EntriesOfThisCall {
  unsigned long apartmentEntry = 0;
  std::map<std::pair<const Connection*, std::string>, Kept> byName;  // by connection and lower-case name
};

thread_local EntriesOfThisCall entries;

// The values read go when the call leaves its apartment, not when the thread's next call comes.
const bool droppedOnLeaving = (winapi::com::onLeavingApartment([] { entries.byName.clear(); }), true);

// This call's entries, after dropping those of an earlier call; null outside an apartment.
EntriesOfThisCall* current() {
  if (!winapi::com::isInitialised()) return nullptr;
  if (entries.apartmentEntry != winapi::com::apartmentEntry()) {
    entries.byName.clear();
    entries.apartmentEntry = winapi::com::apartmentEntry();
  }
  return &entries;
}

EntryOfThisCall* keptFor(const std::shared_ptr<Connection>& connection, const std::string& name) {
  EntriesOfThisCall* kept = current();
  if (kept == nullptr || !connection) return nullptr;
  Kept& slot = kept->byName[{connection.get(), toLowerAscii(name)}];
  // A connection gone since, whose address a new one took, left nothing that still holds.
  if (slot.connection.lock() != connection) slot = Kept{connection, EntryOfThisCall{}};
  return &slot.entry;
}

bool hasOptions(const std::string& name) { return name.find(';') != std::string::npos; }

}  // namespace

void entryProperties(LDAP* ld, LDAPMessage* entry, PropertyMap* out, std::set<std::string>* cut) {
  BerWalk walk;
  for (char* raw = ldap_first_attribute(ld, entry, walk.put()); raw != nullptr;
       raw = ldap_next_attribute(ld, entry, walk.get())) {
    LdapString attribute(raw);
    std::string name = attribute.get();
    RangedName range;
    if (parseRangedName(name, &range)) {
      cut->insert(toLowerAscii(range.base));
      continue;
    }
    CachedProperty& property = (*out)[toLowerAscii(name)];
    property.name = name;
    for (std::string& value : entryValues(ld, entry, raw)) property.values.push_back(std::move(value));
  }
}

const EntryOfThisCall* entryOfThisCall(const Connection* connection, const std::string& name) {
  EntriesOfThisCall* kept = current();
  if (kept == nullptr) return nullptr;
  auto it = kept->byName.find({connection, toLowerAscii(name)});
  if (it == kept->byName.end() || it->second.connection.lock().get() != connection) return nullptr;
  return &it->second.entry;
}

void rememberWholeEntry(const std::shared_ptr<Connection>& connection, const std::string& name, const std::string& dn,
                        PropertyMap ordinary, std::set<std::string> cut) {
  EntryOfThisCall* entry = keptFor(connection, name);
  if (entry == nullptr) return;
  entry->dn = dn;
  entry->whole = true;
  entry->ordinary = std::move(ordinary);
  entry->cut = std::move(cut);
}

void rememberNamedAttributes(const std::shared_ptr<Connection>& connection, const std::string& name,
                             const std::vector<std::string>& names, const PropertyMap& read) {
  for (const std::string& asked : names)
    if (hasOptions(asked)) return;  // a range asked for is the caller's own business
  EntryOfThisCall* entry = keptFor(connection, name);
  if (entry == nullptr) return;
  for (const std::string& asked : names) {
    std::string key = toLowerAscii(asked);
    entry->namesAsked.insert(key);
    auto found = read.find(key);
    if (found != read.end()) entry->named[key] = found->second;
    else entry->named.erase(key);
  }
}

bool answerFromEntry(const EntryOfThisCall& entry, const std::vector<std::string>& names, PropertyMap* out,
                     std::vector<std::string>* missing) {
  if (names.empty()) {
    if (!entry.whole || !entry.cut.empty()) return false;
    *out = entry.ordinary;
    return true;
  }
  for (const std::string& name : names) {
    std::string key = toLowerAscii(name);
    if (hasOptions(name)) {
      missing->push_back(name);
    } else if (entry.namesAsked.count(key) != 0) {
      auto found = entry.named.find(key);
      if (found != entry.named.end()) (*out)[key] = found->second;
    } else if (entry.whole && entry.cut.count(key) == 0 && entry.ordinary.count(key) != 0) {
      (*out)[key] = entry.ordinary.at(key);
    } else {
      // Absent from the whole read: absent, or given only when asked for by name.
      missing->push_back(name);
    }
  }
  return true;
}

void forgetEntriesOfThisCall() { entries.byName.clear(); }

}  // namespace winapi::adsi
