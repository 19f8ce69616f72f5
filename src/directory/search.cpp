#include "directory/search.h"

#include <vector>

#include "directory/root_dse.h"
#include "directory/row_walk.h"
#include "directory/values.h"

// Every search is bounded (setSearchBounds) before it is handed out.
HRESULT AdsiContext::openSearch(const WideString& dn, IDirectorySearch** search) const {
  WideString path;
  RETURN_IF_FAILED(objectPath(dn, &path));
  HRESULT status = openObject(path, IID_IDirectorySearch, ADS_SECURE_AUTHENTICATION, reinterpret_cast<void**>(search));
  if (FAILED(status)) {
    // The name may be relative to the domain: complete it with the default naming context.
    WideString namingContext;
    RETURN_IF_FAILED(readRootDseName(*this, WIDE("defaultNamingContext"), &namingContext));
    RETURN_IF_FAILED(objectPath(dn + WIDE(',') + namingContext, &path));
    RETURN_IF_FAILED(
        openObject(path, IID_IDirectorySearch, ADS_SECURE_AUTHENTICATION, reinterpret_cast<void**>(search)));
  }
  return setSearchBounds(*search, 0);
}

WideString searchColumnText(const ADS_SEARCH_COLUMN& column) {
  if (column.dwNumValues == 0 || column.pADsValues == nullptr) return WideString();
  const ADSVALUE& value = column.pADsValues[0];
  // A value is read only as the type it says it holds.
  if (value.dwType != column.dwADsType) return WideString();
  switch (column.dwADsType) {
    case ADSTYPE_DN_STRING:
    case ADSTYPE_CASE_EXACT_STRING:
    case ADSTYPE_CASE_IGNORE_STRING:
    case ADSTYPE_PRINTABLE_STRING:
    case ADSTYPE_NUMERIC_STRING:
      return value.CaseIgnoreString == nullptr ? WideString() : WideString(value.CaseIgnoreString);
    case ADSTYPE_OCTET_STRING:
      return octetsToHex(value.OctetString.lpValue, value.OctetString.dwLength);
    case ADSTYPE_INTEGER:
      return decimalText(static_cast<LONG>(value.Integer));
    case ADSTYPE_LARGE_INTEGER:
      return decimalText(value.LargeInteger.QuadPart);
    case ADSTYPE_BOOLEAN:
      return booleanText(value.Boolean != FALSE);
    default:
      return WideString();
  }
}

HRESULT readFirstEntry(IDirectorySearch* search, const WideString& filter, const StringList& attributeNames,
                       StringList* values) {
  std::vector<WideString> names(attributeNames.begin(), attributeNames.end());
  std::vector<LPWSTR> namePointers;
  namePointers.reserve(names.size());
  for (WideString& name : names) namePointers.push_back(&name[0]);
  WideString filterText = filter;

  ADS_SEARCH_HANDLE handle = nullptr;
  RETURN_IF_FAILED(search->ExecuteSearch(&filterText[0], namePointers.empty() ? nullptr : namePointers.data(),
                                         static_cast<DWORD>(namePointers.size()), &handle));
  HRESULT status = search->GetNextRow(handle);
  if (status != S_OK) {
    search->CloseSearchHandle(handle);
    return status;
  }
  for (LPWSTR name : namePointers) {
    ADS_SEARCH_COLUMN column{};
    status = search->GetColumn(handle, name, &column);
    if (FAILED(status)) {
      values->append(WideString());  // an absent attribute keeps its place in the list
      continue;
    }
    values->append(searchColumnText(column));
    status = search->FreeColumn(&column);
    if (FAILED(status)) break;
  }
  (void)search->CloseSearchHandle(handle);
  return status;
}

HRESULT AdsiContext::searchFirstEntry(const WideString& base, const WideString& filter,
                                      const StringList& attributeNames, StringList* values) const {
  ComPtr<IDirectorySearch> search;
  RETURN_IF_FAILED(openSearch(base, search.put()));
  return readFirstEntry(search.get(), filter, attributeNames, values);
}
