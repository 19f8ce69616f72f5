// The LDAPMod array of a list of changes, for modify and add requests of the provider.
#pragma once
#include <ldap.h>

#include <deque>
#include <vector>

#include "adsi/object.h"
#include "adsi/text.h"

namespace winapi::adsi {

// Views the changes' strings; the changes must outlive it.
class ModList {
 public:
  explicit ModList(const std::vector<PendingChange>& changes) {
    mods_.reserve(changes.size());
    for (const PendingChange& change : changes) {
      std::vector<berval>& bervals = storage_.emplace_back();
      for (const std::string& value : change.values)
        bervals.push_back(berval{static_cast<ber_len_t>(value.size()), const_cast<char*>(value.data())});
      std::vector<berval*>& pointers = values_.emplace_back();
      for (berval& b : bervals) pointers.push_back(&b);
      pointers.push_back(nullptr);
      LDAPMod mod{};
      mod.mod_op = change.operation | LDAP_MOD_BVALUES;
      mod.mod_type = const_cast<char*>(change.name.c_str());
      mod.mod_bvalues = change.values.empty() ? nullptr : pointers.data();
      mods_.push_back(mod);
    }
    for (LDAPMod& mod : mods_) pointers_.push_back(&mod);
    pointers_.push_back(nullptr);
  }
  LDAPMod** get() { return pointers_.data(); }

 private:
  std::deque<std::vector<berval>> storage_;
  std::deque<std::vector<berval*>> values_;
  std::vector<LDAPMod> mods_;
  std::vector<LDAPMod*> pointers_;
};

}  // namespace winapi::adsi
