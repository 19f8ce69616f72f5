#include "directory/search.h"

#include <vector>

#include "directory/root_dse.h"
#include "directory/row_walk.h"
#include "directory/status.h"
#include "directory/values.h"

namespace {

// The path of a name read as relative to the domain: completed with the default naming context.
HRESULT domainQualifiedPath(const AdsiContext& context, const WideString& dn, WideString* path) {
  WideString namingContext;
  RETURN_IF_FAILED(readRootDseName(context, WIDE("defaultNamingContext"), &namingContext));
  return context.objectPath(dn + WIDE(',') + namingContext, path);
}

// What a search reports, before its first row, for a base that an ordinary bind would not have
// found: no object by that name, a name the directory cannot read as one, or one it refers
// elsewhere.
bool baseNotThere(HRESULT status) {
  return status == DS_NO_SUCH_OBJECT || status == HRESULT_FROM_WIN32(ERROR_DS_INVALID_DN_SYNTAX) ||
         status == HRESULT_FROM_WIN32(ERROR_DS_REFERRAL);
}

// The base's search interface, bound without a read of the base, then run.
HRESULT runOnUnreadBase(const AdsiContext& context, const WideString& path, const BaseSearch& run, bool* rowCame,
                        bool* bound) {
  ComPtr<IDirectorySearch> search;
  *bound = false;
  RETURN_IF_FAILED(context.openObject(path, IID_IDirectorySearch, ADS_SECURE_AUTHENTICATION | ADS_FAST_BIND,
                                      reinterpret_cast<void**>(search.put())));
  *bound = true;
  RETURN_IF_FAILED(setSearchBounds(search.get(), 0));
  return run(search.get(), rowCame);
}

}  // namespace

// Every search is bounded (setSearchBounds) before it is handed out.
HRESULT AdsiContext::openSearch(const WideString& dn, IDirectorySearch** search) const {
  WideString path;
  RETURN_IF_FAILED(objectPath(dn, &path));
  HRESULT status = openObject(path, IID_IDirectorySearch, ADS_SECURE_AUTHENTICATION, reinterpret_cast<void**>(search));
  if (FAILED(status)) {
    // The name may be relative to the domain.
    RETURN_IF_FAILED(domainQualifiedPath(*this, dn, &path));
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
                       StringList* values, FirstEntry kind, bool* rowCame) {
  std::vector<WideString> names(attributeNames.begin(), attributeNames.end());
  std::vector<LPWSTR> namePointers;
  namePointers.reserve(names.size());
  for (WideString& name : names) namePointers.push_back(&name[0]);
  WideString filterText = filter;

  if (kind == FirstEntry::lookup) {
    ADS_SEARCHPREF_INFO oneRow = integerPreference(ADS_SEARCHPREF_SIZE_LIMIT, 1);
    RETURN_IF_FAILED(setSearchPreferences(search, &oneRow, 1));
  }
  LPWSTR* requested = namePointers.empty() ? nullptr : namePointers.data();
  auto requestedCount = static_cast<DWORD>(namePointers.size());
  ADS_SEARCH_HANDLE handle = nullptr;
  RETURN_IF_FAILED(search->ExecuteSearch(&filterText[0], requested, requestedCount, &handle));
  HRESULT status = search->GetNextRow(handle);
  if (status != S_OK) {
    search->CloseSearchHandle(handle);
    return status;
  }
  if (rowCame != nullptr) *rowCame = true;
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

HRESULT searchBelowBase(const AdsiContext& context, const WideString& dn, const BaseSearch& run) {
  WideString path;
  RETURN_IF_FAILED(context.objectPath(dn, &path));
  bool rowCame = false;
  bool bound = false;
  HRESULT status = runOnUnreadBase(context, path, run, &rowCame, &bound);
  if (bound && (rowCame || !baseNotThere(status))) return status;
  // The name may be relative to the domain.
  RETURN_IF_FAILED(domainQualifiedPath(context, dn, &path));
  return runOnUnreadBase(context, path, run, &rowCame, &bound);
}

HRESULT searchFirstEntry(const AdsiContext& context, const WideString& base, const WideString& filter,
                         const StringList& attributeNames, FirstEntry kind, StringList* values) {
  return searchBelowBase(context, base, [&](IDirectorySearch* search, bool* rowCame) {
    return readFirstEntry(search, filter, attributeNames, values, kind, rowCame);
  });
}

HRESULT AdsiContext::searchFirstEntry(const WideString& base, const WideString& filter,
                                      const StringList& attributeNames, StringList* values) const {
  return ::searchFirstEntry(*this, base, filter, attributeNames, FirstEntry::anyMatch, values);
}
