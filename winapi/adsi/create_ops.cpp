// IADsContainer::Create and the add that commits a created object: nothing reaches the
// directory before SetInfo, which sends one add of the class, the relative name's attribute
// and the staged values.
#include <algorithm>
#include <new>

#include "adserr.h"
#include "adsi/call_entries.h"
#include "adsi/com_guard.h"
#include "adsi/errors.h"
#include "adsi/mod_list.h"
#include "adsi/object.h"

namespace winapi::adsi {

namespace {

// "cn=a+sn=b" names an object by two values at once; the provider creates objects by one.
bool hasSeveralValues(std::string_view rdn) {
  for (size_t i = 0; i < rdn.size(); ++i) {
    if (rdn[i] == '\\') {
      ++i;
    } else if (rdn[i] == '+') {
      return true;
    }
  }
  return false;
}

}  // namespace

HRESULT DirectoryObject::Create(BSTR ClassName, BSTR RelativeName, IDispatch** ppObject) try {
  if (ppObject == nullptr) return E_POINTER;
  *ppObject = nullptr;
  std::string className = utf8OfBstr(ClassName);
  if (className.empty()) return E_ADS_BAD_PARAMETER;
  std::string relativeName = utf8OfBstr(RelativeName);
  if (hasSeveralValues(relativeName)) return E_ADS_BAD_PATHNAME;
  HRESULT hr = ensureSchema();
  if (FAILED(hr)) return hr;
  if (schema_->objectClass(className) == nullptr) return E_ADS_UNKNOWN_OBJECT;
  ObjectSetup child;
  hr = childSetup(relativeName, &child);
  if (FAILED(hr)) return hr;
  child.created = true;
  child.createdClass = schema_->objectClass(className)->name;
  // The new object offers what its class and superclasses allow (a computer is a user).
  std::vector<std::string> lineage;
  for (const ClassInfo* info : schema_->closure(className)) lineage.push_back(info->name);
  unsigned capabilities = capabilitiesFor(lineage, false, false);
  auto* object = new (std::nothrow) DirectoryObject(std::move(child));
  if (object == nullptr) return E_OUTOFMEMORY;
  object->schema_ = schema_;
  object->capabilities_ = capabilities;
  *ppObject = object->asIADs();
  return S_OK;
} catch (...) {
  return hresultOfCurrentException();
}

HRESULT DirectoryObject::addCreated() {
  std::string rdn, parent, rdnType, rdnValue;
  if (!splitFirstRdn(setup_.dn, &rdn, &parent) || !splitRdn(rdn, &rdnType, &rdnValue)) return E_ADS_BAD_PATHNAME;
  std::vector<PendingChange> attributes;
  attributes.push_back(PendingChange{LDAP_MOD_ADD, "objectClass", {setup_.createdClass}});
  attributes.push_back(PendingChange{LDAP_MOD_ADD, rdnType, {rdnValue}});
  for (const PendingChange& change : pending_) {
    if (change.operation == LDAP_MOD_DELETE || change.values.empty()) continue;
    auto same = std::find_if(attributes.begin(), attributes.end(),
                             [&](const PendingChange& c) { return equalsIgnoreCase(c.name, change.name); });
    if (same == attributes.end()) {
      attributes.push_back(PendingChange{LDAP_MOD_ADD, change.name, change.values});
    } else if (change.operation == LDAP_MOD_REPLACE) {
      same->values = change.values;
    } else {
      same->values.insert(same->values.end(), change.values.begin(), change.values.end());
    }
  }
  ModList mods(attributes);
  forgetEntriesOfThisCall();
  LdapOutcome outcome = setup_.connection->add(setup_.dn, mods.get(), nullptr);
  wipeChanges(&attributes);
  if (!outcome.ok()) return failWith(outcome);
  return S_OK;
}

}  // namespace winapi::adsi
