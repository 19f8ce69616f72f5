#include "adsi/call_entries.h"

#include <algorithm>
#include <map>
#include <utility>

#include "adsi/first_read.h"
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

bool entrySettles(const EntryOfThisCall& entry, const std::string& key, const CachedProperty** values) {
  *values = nullptr;
  if (entry.namesAsked.count(key) != 0) {
    auto found = entry.named.find(key);
    if (found != entry.named.end()) *values = &found->second;
    return true;
  }
  if (!entry.whole || entry.cut.count(key) != 0) return false;
  auto found = entry.ordinary.find(key);
  if (found == entry.ordinary.end()) return false;  // absent, or given only when asked for by name
  *values = &found->second;
  return true;
}

bool entryHoldsWhatATranslationReads(const EntryOfThisCall& entry) {
  if (entry.dn.empty()) return false;
  if (entry.whole && entry.cut.empty()) return true;
  const std::vector<std::string>& base = namesATranslationReads();
  return std::all_of(base.begin(), base.end(),
                     [&](const std::string& name) { return entry.namesAsked.count(toLowerAscii(name)) != 0; });
}

void rememberFirstRead(const std::shared_ptr<Connection>& connection, const std::string& name, const std::string& dn,
                       const std::vector<std::string>& requested, PropertyMap read,
                       const std::set<std::string>& cut) {
  if (cut.empty()) {
    rememberNamedAttributes(connection, name, requested, std::move(read));
  } else {
    std::vector<std::string> settled;
    for (const std::string& asked : requested)
      if (cut.count(toLowerAscii(asked)) == 0) settled.push_back(asked);
    rememberNamedAttributes(connection, name, settled, std::move(read));
  }
  EntryOfThisCall* entry = keptFor(connection, name);
  if (entry != nullptr) entry->dn = dn;
}

void entryProperties(LDAP* ld, LDAPMessage* entry, PropertyMap* out, std::set<std::string>* cut) {
  std::vector<EntryAttribute> attributes;
  entryAttributes(ld, entry, &attributes);
  for (EntryAttribute& attribute : attributes) {
    RangedName range;
    if (parseRangedName(attribute.name, &range)) {
      cut->insert(toLowerAscii(range.base));
      continue;
    }
    CachedProperty& property = (*out)[toLowerAscii(attribute.name)];
    property.values = std::move(attribute.values);
    property.name = std::move(attribute.name);
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
                             const std::vector<std::string>& names, PropertyMap read) {
  for (const std::string& asked : names)
    if (hasOptions(asked)) return;  // a range asked for is the caller's own business
  EntryOfThisCall* entry = keptFor(connection, name);
  if (entry == nullptr) return;
  // The first read of the object in the call (the usual case) is kept as it came: a value the
  // server gave beyond the names asked is never taken as settled (namesAsked decides).
  bool first = entry->named.empty();
  if (first) entry->named = std::move(read);
  for (const std::string& asked : names) {
    std::string key = toLowerAscii(asked);
    if (!first) {
      auto found = read.find(key);
      if (found != read.end()) entry->named[key] = std::move(found->second);
      else entry->named.erase(key);
    }
    entry->namesAsked.insert(std::move(key));
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
    const CachedProperty* values = nullptr;
    if (hasOptions(name) || !entrySettles(entry, toLowerAscii(name), &values)) {
      // A range is the caller's own request; absent from a whole read may mean constructed.
      missing->push_back(name);
    } else if (values != nullptr) {
      (*out)[toLowerAscii(name)] = *values;
    }
  }
  return true;
}

void forgetEntriesOfThisCall() { entries.byName.clear(); }

}  // namespace winapi::adsi
