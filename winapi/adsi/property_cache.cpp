// The property cache of a directory object: GetInfo/GetInfoEx load it, Get/GetEx read it,
// Put/PutEx stage changes in it, and SetInfo sends them as one LDAP modify (or one add, for an
// object made by IADsContainer::Create).
#include <algorithm>
#include <set>

#include "adserr.h"
#include "adsi/com_guard.h"
#include "adsi/object.h"
#include "adsi/text.h"
#include "adsi/values.h"

namespace winapi::adsi {

// The implicit load of a first Get fills in only what the cache lacks: values staged by Put
// or loaded by GetInfoEx stay as they are.
HRESULT DirectoryObject::ensureLoaded() {
  if (loaded_ || setup_.created) return S_OK;
  HRESULT hr = ensureSchema();
  if (FAILED(hr)) return hr;
  PropertyMap read;
  hr = readAttributes({}, &read);
  if (FAILED(hr)) return hr;
  std::set<std::string> staged;
  for (const PendingChange& change : pending_) staged.insert(toLowerAscii(change.name));
  for (auto& [key, property] : read)
    if (cache_.find(key) == cache_.end() && staged.count(key) == 0) cache_[key] = std::move(property);
  loaded_ = true;
  return S_OK;
}

HRESULT DirectoryObject::loadRootProperty(const std::string& name) {
  std::shared_ptr<const RootEntry> root;
  LdapOutcome outcome = setup_.connection->rootEntry(&root);
  if (!outcome.ok()) return failWith(outcome);
  for (const auto& [attribute, values] : *root) {
    if (equalsIgnoreCase(attribute, name)) {
      cache_[toLowerAscii(name)] = CachedProperty{attribute, values};
      return S_OK;
    }
  }
  return S_OK;  // not kept (it changes by the second, or is not there): read below when asked for
}

HRESULT DirectoryObject::GetInfo() try {
  if (setup_.created) return E_ADS_OBJECT_UNBOUND;
  HRESULT hr = ensureSchema();
  if (FAILED(hr)) return hr;
  PropertyMap read;
  hr = readAttributes({}, &read);
  if (FAILED(hr)) return hr;
  // A reload replaces the cache, uncommitted changes included.
  cache_ = std::move(read);
  wipeChanges(&pending_);
  pending_.clear();
  loaded_ = true;
  auto classes = cache_.find("objectclass");
  if (classes != cache_.end()) setup_.objectClasses = classes->second.values;
  return S_OK;
} catch (...) {
  return hresultOfCurrentException();
}

HRESULT DirectoryObject::propertyNames(const VARIANT& given, std::vector<std::string>* out) const {
  const VARIANT& names = given.vt == (VT_BYREF | VT_VARIANT) && given.pvarVal != nullptr ? *given.pvarVal : given;
  out->clear();
  if (names.vt == VT_BSTR) {
    out->push_back(utf8OfBstr(names.bstrVal));
  } else if (names.vt == (VT_ARRAY | VT_VARIANT) && names.parray != nullptr && SafeArrayGetDim(names.parray) == 1) {
    const VARIANT* elements = static_cast<const VARIANT*>(names.parray->pvData);
    for (ULONG i = 0; i < names.parray->rgsabound[0].cElements; ++i) {
      if (elements[i].vt != VT_BSTR) return E_ADS_BAD_PARAMETER;
      out->push_back(utf8OfBstr(elements[i].bstrVal));
    }
  } else if (names.vt == (VT_ARRAY | VT_BSTR) && names.parray != nullptr && SafeArrayGetDim(names.parray) == 1) {
    const BSTR* elements = static_cast<const BSTR*>(names.parray->pvData);
    for (ULONG i = 0; i < names.parray->rgsabound[0].cElements; ++i) out->push_back(utf8OfBstr(elements[i]));
  } else {
    return E_ADS_BAD_PARAMETER;
  }
  for (const std::string& name : *out)
    if (name.empty()) return E_ADS_BAD_PARAMETER;
  return S_OK;
}

HRESULT DirectoryObject::GetInfoEx(VARIANT vProperties, LONG) try {
  if (setup_.created) return E_ADS_OBJECT_UNBOUND;
  std::vector<std::string> names;
  HRESULT hr = propertyNames(vProperties, &names);
  if (FAILED(hr)) return hr;
  hr = ensureSchema();
  if (FAILED(hr)) return hr;
  PropertyMap read;
  hr = readAttributes(names, &read);
  if (FAILED(hr)) return hr;
  // Each named property is replaced, or dropped when the server has no value for it.
  for (const std::string& name : names) cache_.erase(toLowerAscii(name.substr(0, name.find(';'))));
  for (auto& [key, property] : read) cache_[key] = std::move(property);
  return S_OK;
} catch (...) {
  return hresultOfCurrentException();
}

// Get gives one value as itself and several as an array; GetEx always gives an array.
HRESULT DirectoryObject::readProperty(BSTR bstrName, bool alwaysArray, VARIANT* pvProp) {
  if (pvProp == nullptr) return E_POINTER;
  VariantInit(pvProp);
  std::string name = utf8OfBstr(bstrName);
  if (name.empty()) return E_ADS_BAD_PARAMETER;
  // A value already cached (loaded by GetInfoEx or an enumeration's hints) needs no load.
  auto it = cache_.find(toLowerAscii(name));
  HRESULT hr = S_OK;
  if (it == cache_.end() || it->second.values.empty()) {
    // The root entry is kept whole for the server: the value asked for is taken from it alone.
    hr = setup_.rootDse && !loaded_ ? loadRootProperty(name) : ensureLoaded();
    if (FAILED(hr)) return hr;
  }
  hr = ensureSchema();
  if (FAILED(hr)) return hr;
  it = cache_.find(toLowerAscii(name));
  if (it == cache_.end() && setup_.rootDse) {
    PropertyMap live;
    hr = readAttributes({name}, &live);
    if (FAILED(hr)) return hr;
    for (auto& [key, property] : live) cache_[key] = std::move(property);
    it = cache_.find(toLowerAscii(name));
  }
  if (it == cache_.end() || it->second.values.empty()) return E_ADS_PROPERTY_NOT_FOUND;
  return ldapValuesToVariant(typeOf(name), it->second.values, alwaysArray, pvProp);
}

HRESULT DirectoryObject::Get(BSTR bstrName, VARIANT* pvProp) try {
  return readProperty(bstrName, false, pvProp);
} catch (...) {
  return hresultOfCurrentException();
}

HRESULT DirectoryObject::GetEx(BSTR bstrName, VARIANT* pvProp) try {
  return readProperty(bstrName, true, pvProp);
} catch (...) {
  return hresultOfCurrentException();
}

HRESULT DirectoryObject::stageChange(int operation, const std::string& name, std::vector<std::string> values) {
  std::string key = toLowerAscii(name);
  if (operation == LDAP_MOD_REPLACE) {
    // A replace supersedes whatever was staged for the property before.
    for (auto it = pending_.begin(); it != pending_.end();) {
      if (equalsIgnoreCase(it->name, name)) {
        for (std::string& v : it->values) wipe(&v);
        it = pending_.erase(it);
      } else {
        ++it;
      }
    }
  }
  CachedProperty& cached = cache_[key];
  cached.name = name;
  if (operation == LDAP_MOD_REPLACE) {
    cached.values = values;
  } else if (operation == LDAP_MOD_ADD) {
    for (const std::string& v : values)
      if (std::find(cached.values.begin(), cached.values.end(), v) == cached.values.end()) cached.values.push_back(v);
  } else if (values.empty()) {
    cached.values.clear();
  } else {
    for (const std::string& v : values)
      cached.values.erase(std::remove(cached.values.begin(), cached.values.end(), v), cached.values.end());
  }
  if (cached.values.empty()) cache_.erase(key);
  pending_.push_back(PendingChange{operation, name, std::move(values)});
  return S_OK;
}

HRESULT DirectoryObject::Put(BSTR bstrName, VARIANT vProp) try {
  return PutEx(ADS_PROPERTY_UPDATE, bstrName, vProp);
} catch (...) {
  return hresultOfCurrentException();
}

HRESULT DirectoryObject::PutEx(LONG lnControlCode, BSTR bstrName, VARIANT vProp) try {
  std::string name = utf8OfBstr(bstrName);
  if (name.empty() || setup_.rootDse) return E_ADS_BAD_PARAMETER;
  HRESULT hr = ensureSchema();
  if (FAILED(hr)) return hr;
  if (schema_->attribute(name) == nullptr) return E_ADS_PROPERTY_NOT_FOUND;
  if (lnControlCode == ADS_PROPERTY_CLEAR) return stageChange(LDAP_MOD_DELETE, name, {});
  int operation = lnControlCode == ADS_PROPERTY_UPDATE   ? LDAP_MOD_REPLACE
                  : lnControlCode == ADS_PROPERTY_APPEND ? LDAP_MOD_ADD
                  : lnControlCode == ADS_PROPERTY_DELETE ? LDAP_MOD_DELETE
                                                         : -1;
  if (operation < 0) return E_ADS_BAD_PARAMETER;
  std::vector<std::string> values;
  hr = variantToLdapValues(typeOf(name), vProp, isUtcTimeSyntax(name), &values);
  if (FAILED(hr)) return hr;
  if (values.empty() && operation != LDAP_MOD_REPLACE) return E_ADS_BAD_PARAMETER;
  // Without a loaded cache a partial change cannot be shown in it; the server applies it.
  return stageChange(operation, name, std::move(values));
} catch (...) {
  return hresultOfCurrentException();
}

HRESULT DirectoryObject::SetInfo() try {
  if (setup_.rootDse) return E_NOTIMPL;
  if (setup_.created) {
    HRESULT hr = addCreated();
    if (FAILED(hr)) return hr;
    setup_.created = false;
    setup_.ldapName = setup_.dn;
    setup_.objectClasses.clear();
  } else {
    if (pending_.empty()) return S_OK;
    HRESULT hr = modifyWith(pending_);
    if (FAILED(hr)) return hr;
  }
  wipeChanges(&pending_);
  pending_.clear();
  return S_OK;
} catch (...) {
  return hresultOfCurrentException();
}

}  // namespace winapi::adsi
