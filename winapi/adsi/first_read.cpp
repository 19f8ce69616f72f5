#include "adsi/first_read.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <set>
#include <utility>

#include "adsi/controls.h"
#include "adsi/text.h"

namespace winapi::adsi {

namespace {

// An attribute type as a server names it (a name or an OID), so that no learned name can spoil
// the first reads that carry it.
bool learnable(const std::string& name) {
  if (name.empty() || name.size() > 128) return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.';
  });
}

// The attributes calls have lately loaded from the server, by lower-case name: the name as
// written and the first read after which it was last loaded. Counted in first reads, a name
// goes when this many have passed without a load of it; the most recent ones are kept.
constexpr unsigned long long learnedNameLife = 256;
constexpr size_t learnedNamesKept = 24;
// Past this many names refused in lookups, lookups carry no learned name at all.
constexpr size_t refusedNamesKept = 64;

struct LearnedNames {
  std::mutex mutex;
  unsigned long long firstReads = 0;                                     // guarded by mutex
  std::map<std::string, std::pair<std::string, unsigned long long>> byKey;  // guarded by mutex
  std::set<std::string> refusedInLookups;                                   // lower-case; guarded by mutex
};

bool askedInLookups(const LearnedNames& learned, const std::string& name) {
  return learned.refusedInLookups.size() < refusedNamesKept && learned.refusedInLookups.count(toLowerAscii(name)) == 0;
}

LearnedNames& learnedNames(LoadPath path = LoadPath::propertyCache) {
  static LearnedNames* throughCache = new LearnedNames();
  static LearnedNames* throughDirectoryObject = new LearnedNames();
  return path == LoadPath::directoryObject ? *throughDirectoryObject : *throughCache;
}

}  // namespace

const std::vector<std::string>& namesATranslationReads() {
  static const std::vector<std::string> names = {"objectClass", "objectGUID", "sAMAccountName", "userPrincipalName",
                                                 "displayName"};
  return names;
}

std::vector<std::string> firstReadNames(FirstRead kind, LoadPath path) {
  static const std::vector<std::string> classes = {"objectClass"};
  static const std::vector<std::string> group = {"objectClass", "primaryGroupToken", "member"};
  bool lookup = kind == FirstRead::lookup;
  const std::vector<std::string>& base = kind == FirstRead::translation || lookup ? namesATranslationReads()
                                         : kind == FirstRead::groupBind         ? group
                                                                                : classes;
  std::vector<std::string> names = base;
  LearnedNames& learned = learnedNames(path);
  std::lock_guard<std::mutex> lock(learned.mutex);
  ++learned.firstReads;
  std::vector<std::pair<unsigned long long, std::string>> recent;
  for (auto it = learned.byKey.begin(); it != learned.byKey.end();) {
    if (learned.firstReads - it->second.second > learnedNameLife) {
      it = learned.byKey.erase(it);
      continue;
    }
    recent.emplace_back(it->second.second, it->second.first);
    ++it;
  }
  if (recent.size() > learnedNamesKept) {
    std::sort(recent.begin(), recent.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    for (size_t i = learnedNamesKept; i < recent.size(); ++i) learned.byKey.erase(toLowerAscii(recent[i].second));
    recent.resize(learnedNamesKept);
  }
  for (auto& learnedName : recent) {
    std::string& name = learnedName.second;
    bool asked =
        std::any_of(base.begin(), base.end(), [&](const std::string& known) { return equalsIgnoreCase(known, name); });
    if (!asked && (!lookup || askedInLookups(learned, name))) names.push_back(std::move(name));
  }
  return names;
}

bool refusedWhatWasAsked(int code) {
  return code > 0 && code != LDAP_NO_SUCH_OBJECT && code != LDAP_REFERRAL && code != LDAP_INVALID_DN_SYNTAX;
}

LDAPControl** firstReadControls(const std::vector<std::string>& requested) {
  static LDAPControl* withDescriptor[] = {securityDescriptorFlagsControl(), nullptr};
  for (const std::string& name : requested)
    if (equalsIgnoreCase(name, "nTSecurityDescriptor")) return withDescriptor;
  return nullptr;
}

void noteRefusedInLookups(const std::vector<std::string>& names) {
  LearnedNames& learned = learnedNames();
  std::lock_guard<std::mutex> lock(learned.mutex);
  for (const std::string& name : names) {
    if (learned.refusedInLookups.size() >= refusedNamesKept) return;
    if (learned.byKey.count(toLowerAscii(name)) != 0) learned.refusedInLookups.insert(toLowerAscii(name));
  }
}

void noteNamesLoaded(const std::vector<std::string>& names, LoadPath path) {
  LearnedNames& learned = learnedNames(path);
  std::lock_guard<std::mutex> lock(learned.mutex);
  for (const std::string& name : names) {
    if (!learnable(name)) continue;
    auto& slot = learned.byKey[toLowerAscii(name)];
    slot.first = name;
    slot.second = learned.firstReads;
  }
}

}  // namespace winapi::adsi
