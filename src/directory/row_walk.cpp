#include "directory/row_walk.h"

#include "directory/search.h"

HRESULT FetchedColumn::fetch(ADS_SEARCH_HANDLE handle, const WideString& name) {
  RETURN_IF_FAILED(free());
  WideString columnName = name;
  HRESULT status = search_->GetColumn(handle, &columnName[0], &column_);
  held_ = SUCCEEDED(status);  // a failed GetColumn leaves nothing to free
  return status;
}

HRESULT FetchedColumn::free() {
  if (!held_) return S_OK;
  held_ = false;
  return search_->FreeColumn(&column_);
}

ADS_SEARCHPREF_INFO integerPreference(ADS_SEARCHPREF_ENUM preference, LONG value) {
  ADS_SEARCHPREF_INFO info{};
  info.dwSearchPref = preference;
  info.vValue.dwType = ADSTYPE_INTEGER;
  info.vValue.Integer = static_cast<DWORD>(value);
  return info;
}

ADS_SEARCHPREF_INFO booleanPreference(ADS_SEARCHPREF_ENUM preference, bool value) {
  ADS_SEARCHPREF_INFO info{};
  info.dwSearchPref = preference;
  info.vValue.dwType = ADSTYPE_BOOLEAN;
  info.vValue.Boolean = value ? TRUE : FALSE;
  return info;
}

HRESULT setSearchPreferences(IDirectorySearch* search, ADS_SEARCHPREF_INFO* preferences, DWORD count) {
  HRESULT status = search->SetSearchPreference(preferences, count);
  // S_ADS_ERRORSOCCURRED is a success code that still means a preference was not applied.
  if (status != S_OK) return asFailure(status);
  return S_OK;
}

HRESULT setSearchBounds(IDirectorySearch* search, LONG timeLimitSeconds) {
  LONG wait = answerWaitSeconds;
  if (timeLimitSeconds > 0)
    wait = timeLimitSeconds > LONG(0x7FFFFFFF) - timeLimitGraceSeconds ? LONG(0x7FFFFFFF)
                                                                       : timeLimitSeconds + timeLimitGraceSeconds;
  ADS_SEARCHPREF_INFO bounds[] = {integerPreference(ADS_SEARCHPREF_TIMEOUT, wait),
                                  integerPreference(ADS_SEARCHPREF_CHASE_REFERRALS, ADS_CHASE_REFERRALS_EXTERNAL)};
  return setSearchPreferences(search, bounds, 2);
}

bool serverHasMoreRows() {
  DWORD code = 0;
  WCHAR errorText[512];
  WCHAR providerName[512];
  if (FAILED(ADsGetLastError(&code, errorText, 512, providerName, 512))) return false;
  return code == ERROR_MORE_DATA;
}

bool firstStringValue(const ADS_SEARCH_COLUMN& column, WideString* text) {
  if (column.dwNumValues == 0 || column.pADsValues == nullptr) return false;
  const ADSVALUE& value = column.pADsValues[0];
  switch (value.dwType) {
    case ADSTYPE_DN_STRING:
    case ADSTYPE_CASE_EXACT_STRING:
    case ADSTYPE_CASE_IGNORE_STRING:
    case ADSTYPE_PRINTABLE_STRING:
    case ADSTYPE_NUMERIC_STRING:
      if (value.CaseIgnoreString == nullptr) return false;
      *text = WideString(value.CaseIgnoreString);
      return true;
    default:
      return false;
  }
}

HRESULT collectColumnTexts(IDirectorySearch* search, ADS_SEARCH_HANDLE handle, const WideString& columnName,
                           StringList* results, bool* rowCame, ULONG rowLimit) {
  ULONG rows = 0;
  for (;;) {
    HRESULT status = search->GetNextRow(handle);
    if (status == S_OK) {
      if (rowLimit != 0 && rows == rowLimit) return HRESULT_FROM_WIN32(ERROR_DS_SIZELIMIT_EXCEEDED);
      ++rows;
      if (rowCame != nullptr) *rowCame = true;
      FetchedColumn column(search);
      HRESULT fetched = column.fetch(handle, columnName);
      // A match that shows no value of the attribute (it has none, or none this account may
      // read) adds nothing; any other failure ends the walk, keeping the texts before it.
      if (fetched == E_ADS_COLUMN_NOT_SET) continue;
      RETURN_IF_FAILED(fetched);
      WideString text = searchColumnText(column.get());
      RETURN_IF_FAILED(column.free());
      if (!text.empty()) results->append(text);
      continue;
    }
    if (status == S_ADS_NOMORE_ROWS) {
      if (serverHasMoreRows()) continue;
      return S_OK;
    }
    return status;
  }
}

HRESULT searchColumnTexts(IDirectorySearch* search, const WideString& filter, const WideString& attributeName,
                          StringList* results, bool* rowCame, ULONG rowLimit) {
  WideString filterText = filter;
  WideString name = attributeName;
  LPWSTR names[] = {&name[0]};
  SearchHandle handle(search);
  RETURN_IF_FAILED(search->ExecuteSearch(&filterText[0], names, 1, handle.put()));
  return collectColumnTexts(search, handle.get(), attributeName, results, rowCame, rowLimit);
}
