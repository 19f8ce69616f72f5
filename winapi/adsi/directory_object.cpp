// IDirectoryObject of a directory object: attribute reads and writes straight to the server,
// without the property cache. Returned blocks come from AllocADsMem and are freed by the
// caller with one FreeADsMem.
#include <cstring>

#include "adserr.h"
#include "adshlp.h"
#include "adsi/com_guard.h"
#include "adsi/errors.h"
#include "adsi/object.h"
#include "adsi/text.h"
#include "adsi/values.h"

namespace winapi::adsi {

namespace {

struct ReadAttribute {
  std::string name;
  ADSTYPE type;
  const std::vector<std::string>* values;
};


// Lays out the attribute array, names and values in one block (measuring when base is null).
void layOutAttributes(const std::vector<ReadAttribute>& attributes, BlockCursor* block) {
  auto* infos = static_cast<ADS_ATTR_INFO*>(block->take(attributes.size() * sizeof(ADS_ATTR_INFO)));
  for (size_t i = 0; i < attributes.size(); ++i) {
    const ReadAttribute& attribute = attributes[i];
    ADS_ATTR_INFO scratch{};
    ADS_ATTR_INFO* info = infos != nullptr ? &infos[i] : &scratch;
    info->pszAttrName = block->copyText(attribute.name);
    info->dwControlCode = 0;
    info->dwADsType = attribute.type;
    info->dwNumValues = static_cast<DWORD>(attribute.values->size());
    auto* values = static_cast<ADSVALUE*>(block->take(attribute.values->size() * sizeof(ADSVALUE)));
    info->pADsValues = values;
    for (size_t k = 0; k < attribute.values->size(); ++k) {
      ADSVALUE scratchValue;
      (void)ldapToAdsValue(attribute.type, (*attribute.values)[k], values != nullptr ? &values[k] : &scratchValue,
                           block);  // checked by usableType before layout
    }
  }
}

}  // namespace

HRESULT DirectoryObject::GetObjectInformation(PADS_OBJECT_INFO* ppObjInfo) try {
  if (ppObjInfo == nullptr) return E_POINTER;
  *ppObjInfo = nullptr;
  std::string className;
  HRESULT hr = structuralClass(&className);
  if (FAILED(hr)) return hr;
  std::string rdn, parent;
  splitFirstRdn(displayDn(), &rdn, &parent);
  std::string texts[] = {rdn, buildAdsPath(setup_.path.hostPart, displayDn()),
                         buildAdsPath(setup_.path.hostPart, parent), buildSchemaPath(setup_.path.hostPart, className),
                         className};
  BlockCursor measure(nullptr);
  measure.take(sizeof(ADS_OBJECT_INFO));
  for (const std::string& text : texts) measure.copyText(text);
  char* memory = static_cast<char*>(AllocADsMem(static_cast<DWORD>(measure.used())));
  if (memory == nullptr) return E_OUTOFMEMORY;
  BlockCursor block(memory);
  auto* info = static_cast<ADS_OBJECT_INFO*>(block.take(sizeof(ADS_OBJECT_INFO)));
  info->pszRDN = block.copyText(texts[0]);
  info->pszObjectDN = block.copyText(texts[1]);
  info->pszParentDN = block.copyText(texts[2]);
  info->pszSchemaDN = block.copyText(texts[3]);
  info->pszClassName = block.copyText(texts[4]);
  *ppObjInfo = info;
  return S_OK;
} catch (...) {
  return hresultOfCurrentException();
}

HRESULT DirectoryObject::GetObjectAttributes(LPWSTR* pAttributeNames, DWORD dwNumberAttributes,
                                             PADS_ATTR_INFO* ppAttributeEntries, DWORD* pdwNumAttributesReturned) try {
  if (ppAttributeEntries == nullptr || pdwNumAttributesReturned == nullptr) return E_POINTER;
  *ppAttributeEntries = nullptr;
  *pdwNumAttributesReturned = 0;
  // (DWORD)-1 with no names asks for every attribute.
  bool all = dwNumberAttributes == static_cast<DWORD>(-1);
  if (!all && dwNumberAttributes > 0 && pAttributeNames == nullptr) return E_ADS_BAD_PARAMETER;
  std::vector<std::string> names;
  if (!all) {
    for (DWORD i = 0; i < dwNumberAttributes; ++i) {
      if (pAttributeNames[i] == nullptr) return E_ADS_BAD_PARAMETER;
      names.push_back(toUtf8(pAttributeNames[i]));
    }
    if (names.empty()) return S_OK;
  }
  HRESULT hr = ensureSchema();
  if (FAILED(hr)) return hr;
  PropertyMap read;
  hr = readAttributes(names, &read, LoadPath::directoryObject);
  if (FAILED(hr)) return hr;
  std::vector<ReadAttribute> attributes;
  auto addAttribute = [&](const CachedProperty& property) {
    if (property.values.empty()) return;
    attributes.push_back({property.name, usableAdsType(typeOf(property.name), property.values), &property.values});
  };
  if (all) {
    for (const auto& [key, property] : read) addAttribute(property);
  } else {
    for (const std::string& name : names) {
      auto it = read.find(toLowerAscii(name.substr(0, name.find(';'))));
      if (it == read.end()) continue;
      bool duplicate = false;
      for (const ReadAttribute& a : attributes) duplicate |= equalsIgnoreCase(a.name, it->second.name);
      if (!duplicate) addAttribute(it->second);
    }
  }
  if (attributes.empty()) return S_OK;
  BlockCursor measure(nullptr);
  layOutAttributes(attributes, &measure);
  char* memory = static_cast<char*>(AllocADsMem(static_cast<DWORD>(measure.used())));
  if (memory == nullptr) return E_OUTOFMEMORY;
  BlockCursor block(memory);
  layOutAttributes(attributes, &block);
  *ppAttributeEntries = reinterpret_cast<ADS_ATTR_INFO*>(memory);
  *pdwNumAttributesReturned = static_cast<DWORD>(attributes.size());
  return S_OK;
} catch (...) {
  return hresultOfCurrentException();
}

HRESULT DirectoryObject::SetObjectAttributes(PADS_ATTR_INFO pAttributeEntries, DWORD dwNumAttributes,
                                             DWORD* pdwNumAttributesModified) try {
  if (pdwNumAttributesModified != nullptr) *pdwNumAttributesModified = 0;
  if (pAttributeEntries == nullptr && dwNumAttributes > 0) return E_ADS_BAD_PARAMETER;
  HRESULT hr = ensureSchema();
  if (FAILED(hr)) return hr;
  std::vector<PendingChange> changes;
  for (DWORD i = 0; i < dwNumAttributes; ++i) {
    const ADS_ATTR_INFO& entry = pAttributeEntries[i];
    if (entry.pszAttrName == nullptr) return E_ADS_BAD_PARAMETER;
    std::string name = toUtf8(entry.pszAttrName);
    int operation = entry.dwControlCode == ADS_ATTR_CLEAR    ? LDAP_MOD_DELETE
                    : entry.dwControlCode == ADS_ATTR_UPDATE ? LDAP_MOD_REPLACE
                    : entry.dwControlCode == ADS_ATTR_APPEND ? LDAP_MOD_ADD
                    : entry.dwControlCode == ADS_ATTR_DELETE ? LDAP_MOD_DELETE
                                                             : -1;
    if (operation < 0) return E_ADS_BAD_PARAMETER;
    PendingChange change{operation, name, {}};
    if (entry.dwControlCode != ADS_ATTR_CLEAR) {
      if (entry.dwNumValues > 0 && entry.pADsValues == nullptr) return E_ADS_BAD_PARAMETER;
      for (DWORD k = 0; k < entry.dwNumValues; ++k) {
        std::string value;
        hr = adsValueToLdap(entry.pADsValues[k], isUtcTimeSyntax(name), &value);
        if (FAILED(hr)) return hr;
        change.values.push_back(std::move(value));
      }
    }
    changes.push_back(std::move(change));
  }
  if (changes.empty()) return S_OK;
  hr = modifyWith(changes);
  for (PendingChange& change : changes)
    for (std::string& value : change.values) wipe(&value);
  if (FAILED(hr)) return hr;
  if (pdwNumAttributesModified != nullptr) *pdwNumAttributesModified = dwNumAttributes;
  return S_OK;
} catch (...) {
  return hresultOfCurrentException();
}

}  // namespace winapi::adsi
