// IDirectorySearch of a directory object. The LDAP search is sent at the first row. A search
// with a page size is first sent without paging, for a bounded number of rows; one that matches
// more is sent again page by page, the pages of the paged-results control fetched as rows run
// out, so GetNextRow walks every page and S_ADS_NOMORE_ROWS means the end (ADsGetLastError then
// reports no ERROR_MORE_DATA).
// Search continuation references are skipped: they name other servers.
//
// Size and time limits are kept by the client as well, since some servers ignore the limits a
// client asks for: a search that reaches its size limit with matches left ends with the
// size-limit status after the rows it delivered; one that ran out of time ends with the
// time-limit status after the rows that came before. A search closed before its last page
// tells the server to drop the rest (a paged request of size 0).
#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>
#include <set>

#include "adserr.h"
#include "adshlp.h"
#include "adsi/call_entries.h"
#include "adsi/com_guard.h"
#include "adsi/controls.h"
#include "adsi/errors.h"
#include "adsi/object.h"
#include "adsi/test_hooks.h"
#include "adsi/text.h"
#include "adsi/values.h"

namespace winapi::adsi {

struct SearchState {
  std::string filter;
  std::vector<std::string> attributes;  // empty: every attribute
  std::vector<std::string> sent;        // what each request asks: attributes, and for a lookup of one
                                        // object what a first read of it asks too (asFirstRead)
  bool asFirstRead = false;
  std::vector<std::string> requested;   // as the caller named them, for ranges asked on purpose
  int scope = LDAP_SCOPE_SUBTREE;
  int pageSize = 0;
  int sizeLimit = 0;
  int timeLimit = 0;
  bool tombstones = false;
  bool typesOnly = false;
  int securityMask = 7;

  bool started = false;
  bool done = false;
  bool moreOnServer = false;
  bool pagedOnServer = false;  // too many rows for one answer without paging: sent page by page
  int limitCode = LDAP_SUCCESS;  // a size or time limit the server (or the client's wait) reached
  int lastCode = LDAP_SUCCESS;   // the last request's result code
  std::string cookie;
  LdapMessage page;
  LDAPMessage* current = nullptr;
  size_t rows = 0;

  bool wantsPath = false;
  bool distinguishedNameOnlyForPath = false;
  std::string rowDn;
  PropertyMap row;
  PropertyMap wholeRow;              // every attribute the row came with, when read asFirstRead
  std::set<std::string> wholeRowCut;  // lower-case names of those the server cut short
  std::vector<std::string> columnOrder;
  size_t nextColumn = 0;
};

namespace {

std::atomic<size_t> releasedPagedSearches{0};
std::atomic<int> rowsWithoutPagingForTesting{0};

// The controls of every request of a search: security-descriptor flags, tombstones when asked
// for, and the page control of this request.
class SearchControls {
 public:
  SearchControls(const SearchState& search, LDAPControl* paged)
      : maskValue_{0x30, 0x03, 0x02, 0x01, static_cast<char>(search.securityMask)},
        securityMask_{const_cast<char*>("1.2.840.113556.1.4.801"), {sizeof maskValue_, maskValue_}, 0} {
    list_.push_back(&securityMask_);
    if (search.tombstones) list_.push_back(showDeletedControl());
    if (paged != nullptr) list_.push_back(paged);
    list_.push_back(nullptr);
  }
  SearchControls(const SearchControls&) = delete;
  SearchControls& operator=(const SearchControls&) = delete;
  LDAPControl** get() { return list_.data(); }

 private:
  char maskValue_[5];
  LDAPControl securityMask_;
  std::vector<LDAPControl*> list_;
};

// RFC 2696: a paged request of size 0 with the cookie ends the search on the server.
// (libldap's own builder refuses a size of 0, so the control value is encoded here.)
bool pageEndControl(const std::string& cookieBytes, LdapControl* control) {
  BerElement* ber = ber_alloc_t(LBER_USE_DER);
  if (ber == nullptr) return false;
  berval cookie{static_cast<ber_len_t>(cookieBytes.size()), const_cast<char*>(cookieBytes.data())};
  berval value{0, nullptr};
  bool built = ber_printf(ber, "{iO}", static_cast<ber_int_t>(0), &cookie) != -1 && ber_flatten2(ber, &value, 0) == 0 &&
               ldap_control_create(LDAP_CONTROL_PAGEDRESULTS, 0, &value, 1, control->put()) == LDAP_SUCCESS;
  ber_free(ber, 1);
  return built;
}

void releaseServerPaging(Connection* connection, const std::string& base, SearchState* search) {
  if (search->pageSize <= 0 || !search->moreOnServer || search->cookie.empty()) return;
  search->moreOnServer = false;
  LdapControl paged;
  if (!pageEndControl(search->cookie, &paged)) return;
  // The server takes the request as the same search only if all else is as it was.
  SearchControls controls(*search, paged.get());
  LdapMessage ignored;
  LdapOutcome outcome = connection->search(base, search->scope, search->filter, search->sent, controls.get(),
                                           search->sizeLimit, search->timeLimit, &ignored);
  if (outcome.ok()) ++releasedPagedSearches;
}

}  // namespace

void destroySearch(SearchState* search, Connection* connection, const std::string& base) {
  if (connection != nullptr) releaseServerPaging(connection, base, search);
  delete search;
}

std::string nextPageCookie(LDAP* ld, LDAPControl** response) {
  LDAPControl* control = response != nullptr ? ldap_control_find(LDAP_CONTROL_PAGEDRESULTS, response, nullptr) : nullptr;
  ber_int_t estimate = 0;
  berval next{0, nullptr};
  if (control == nullptr || ldap_parse_pageresponse_control(ld, control, &estimate, &next) != LDAP_SUCCESS)
    return std::string();
  std::string cookie(next.bv_val != nullptr ? next.bv_val : "", next.bv_len);
  ber_memfree(next.bv_val);
  return cookie;
}

bool tooManyRowsWithoutPaging(LDAP* ld, int code, LDAPMessage* answer) {
  if (code == LDAP_SIZELIMIT_EXCEEDED || code == LDAP_ADMINLIMIT_EXCEEDED) return true;
  int limit = rowsWithoutPagingForTesting.load();
  return limit > 0 && answer != nullptr && ldap_count_entries(ld, answer) > limit;
}

namespace testing {
size_t pagedSearchesReleased() { return releasedPagedSearches.load(); }
void limitRowsWithoutPaging(int rows) { rowsWithoutPagingForTesting.store(rows); }
}  // namespace testing

namespace {

std::string normalisedFilter(LPWSTR filter) {
  std::string text = filter == nullptr ? std::string() : toUtf8(filter);
  if (text.empty()) return "(objectClass=*)";
  // ADSI takes a bare assertion too.
  if (text.front() != '(') text = "(" + text + ")";
  return text;
}

bool integerPreference(const ADS_SEARCHPREF_INFO& pref, int* value) {
  if (pref.vValue.dwType != ADSTYPE_INTEGER) return false;
  *value = static_cast<int32_t>(pref.vValue.Integer);
  return true;
}

bool booleanPreference(const ADS_SEARCHPREF_INFO& pref, bool* value) {
  if (pref.vValue.dwType != ADSTYPE_BOOLEAN) return false;
  *value = pref.vValue.Boolean != 0;
  return true;
}


void layOutValues(ADSTYPE type, const std::vector<std::string>& values, BlockCursor* block) {
  auto* array = static_cast<ADSVALUE*>(block->take(values.size() * sizeof(ADSVALUE)));
  for (size_t i = 0; i < values.size(); ++i) {
    ADSVALUE scratch;
    (void)ldapToAdsValue(type, values[i], array != nullptr ? &array[i] : &scratch, block);  // type checked before
  }
}

LPWSTR allocText(std::string_view text) {
  size_t units = utf16Length(text);
  auto* copy = static_cast<LPWSTR>(AllocADsMem(static_cast<DWORD>((units + 1) * sizeof(WCHAR))));
  if (copy == nullptr) return nullptr;
  copyUtf16(text, copy);
  copy[units] = 0;
  return copy;
}

}  // namespace

HRESULT DirectoryObject::SetSearchPreference(PADS_SEARCHPREF_INFO pSearchPrefs, DWORD dwNumPrefs) try {
  if (pSearchPrefs == nullptr && dwNumPrefs > 0) return E_ADS_BAD_PARAMETER;
  bool refused = false;
  for (DWORD i = 0; i < dwNumPrefs; ++i) {
    ADS_SEARCHPREF_INFO& pref = pSearchPrefs[i];
    int number = 0;
    bool flag = false;
    bool known = true;
    bool valid = true;
    switch (pref.dwSearchPref) {
      case ADS_SEARCHPREF_SEARCH_SCOPE:
        valid = integerPreference(pref, &number) && number >= ADS_SCOPE_BASE && number <= ADS_SCOPE_SUBTREE;
        if (valid)
          preferences_.scope = number == ADS_SCOPE_BASE       ? LDAP_SCOPE_BASE
                               : number == ADS_SCOPE_ONELEVEL ? LDAP_SCOPE_ONELEVEL
                                                              : LDAP_SCOPE_SUBTREE;
        break;
      case ADS_SEARCHPREF_PAGESIZE:
        valid = integerPreference(pref, &number) && number >= 0;
        if (valid) preferences_.pageSize = number;
        break;
      case ADS_SEARCHPREF_SIZE_LIMIT:
        valid = integerPreference(pref, &number) && number >= 0;
        if (valid) preferences_.sizeLimit = number;
        break;
      case ADS_SEARCHPREF_TIME_LIMIT:
        valid = integerPreference(pref, &number) && number >= 0;
        if (valid) preferences_.timeLimit = number;
        break;
      case ADS_SEARCHPREF_TOMBSTONE:
        valid = booleanPreference(pref, &flag);
        if (valid) preferences_.tombstones = flag;
        break;
      case ADS_SEARCHPREF_ATTRIBTYPES_ONLY:
        valid = booleanPreference(pref, &flag);
        if (valid) preferences_.attributeTypesOnly = flag;
        break;
      case ADS_SEARCHPREF_SECURITY_MASK:
        valid = integerPreference(pref, &number) && number >= 0 && number <= 15;
        if (valid) preferences_.securityMask = number;
        break;
      // Accepted without effect: every search here is synchronous, cached by the caller's
      // walk, and never follows referrals.
      case ADS_SEARCHPREF_ASYNCHRONOUS:
      case ADS_SEARCHPREF_CACHE_RESULTS:
        valid = booleanPreference(pref, &flag);
        break;
      case ADS_SEARCHPREF_DEREF_ALIASES:
      case ADS_SEARCHPREF_TIMEOUT:
      case ADS_SEARCHPREF_PAGED_TIME_LIMIT:
      case ADS_SEARCHPREF_CHASE_REFERRALS:
        valid = integerPreference(pref, &number);
        break;
      default:
        known = false;
        break;
    }
    pref.dwStatus = !known   ? ADS_STATUS_INVALID_SEARCHPREF
                    : !valid ? ADS_STATUS_INVALID_SEARCHPREFVALUE
                             : ADS_STATUS_S_OK;
    refused |= pref.dwStatus != ADS_STATUS_S_OK;
  }
  return refused ? S_ADS_ERRORSOCCURRED : S_OK;
} catch (...) {
  return hresultOfCurrentException();
}

namespace {

// A search for one row by name (a lookup: the caller's size limit is one) is often followed, within
// the call, by a translation and a bind of what it found and by reads of its attributes: its row
// is read as the first read of that object reads it (first_read.h), and kept as the call's read
// of it (call_entries.h). The caller's columns stay the names it asked for. Only a row read as an
// ordinary bind reads an object: no tombstones, the same parts of the security descriptor,
// values and not only names, and no range of values asked for.
void askAsFirstRead(SearchState* search) {
  search->sent = search->attributes;
  if (search->sizeLimit != 1 || search->attributes.empty() || search->tombstones || search->typesOnly ||
      search->securityMask != 7)
    return;
  for (const std::string& name : search->attributes)
    if (name.find(';') != std::string::npos) return;
  search->asFirstRead = true;
  for (const std::string& name : firstReadNames(FirstRead::lookup)) {
    bool asked = std::any_of(search->sent.begin(), search->sent.end(),
                             [&](const std::string& other) { return equalsIgnoreCase(other, name); });
    if (!asked) search->sent.push_back(name);
  }
}

}  // namespace

HRESULT DirectoryObject::ExecuteSearch(LPWSTR pszSearchFilter, LPWSTR* pAttributeNames, DWORD dwNumberAttributes,
                                       PADS_SEARCH_HANDLE phSearchResult) try {
  if (phSearchResult == nullptr) return E_ADS_BAD_PARAMETER;
  *phSearchResult = nullptr;
  if (dwNumberAttributes != static_cast<DWORD>(-1) && dwNumberAttributes > 0 && pAttributeNames == nullptr)
    return E_ADS_BAD_PARAMETER;
  HRESULT hr = ensureSchema();
  if (FAILED(hr)) return hr;
  auto* search = new (std::nothrow) SearchState();
  if (search == nullptr) return E_OUTOFMEMORY;
  search->filter = normalisedFilter(pszSearchFilter);
  if (dwNumberAttributes != static_cast<DWORD>(-1)) {
    for (DWORD i = 0; i < dwNumberAttributes; ++i) {
      if (pAttributeNames[i] == nullptr) {
        delete search;
        return E_ADS_BAD_PARAMETER;
      }
      std::string name = toUtf8(pAttributeNames[i]);
      search->requested.push_back(name);
      // ADsPath is made by the provider, not read; distinguishedName stands in for it.
      search->attributes.push_back(equalsIgnoreCase(name, "ADsPath") ? "distinguishedName" : name);
    }
  }
  for (const std::string& name : search->requested) search->wantsPath |= equalsIgnoreCase(name, "ADsPath");
  bool namedDistinguishedName = false;
  for (const std::string& name : search->requested)
    namedDistinguishedName |= equalsIgnoreCase(name, "distinguishedName");
  search->distinguishedNameOnlyForPath = search->wantsPath && !namedDistinguishedName;
  search->scope = preferences_.scope;
  search->pageSize = preferences_.pageSize;
  search->sizeLimit = preferences_.sizeLimit;
  search->timeLimit = preferences_.timeLimit;
  search->tombstones = preferences_.tombstones;
  search->typesOnly = preferences_.attributeTypesOnly;
  search->securityMask = preferences_.securityMask;
  askAsFirstRead(search);
  searches_.push_back(search);
  *phSearchResult = search;
  return S_OK;
} catch (...) {
  return hresultOfCurrentException();
}

namespace {

// Sends the first request of a paged search without paging; *tooMany: it must be paged after all.
LdapOutcome searchUnpaged(Connection* connection, const std::string& base, SearchState* search, bool* tooMany) {
  bool callersLimit = search->sizeLimit > 0 && search->sizeLimit <= rowsWithoutPaging;
  SearchControls controls(*search, nullptr);
  LdapOutcome outcome =
      connection->search(base, search->scope, search->filter, search->sent, controls.get(),
                         callersLimit ? search->sizeLimit : rowsWithoutPaging, search->timeLimit, &search->page);
  *tooMany = !callersLimit && tooManyRowsWithoutPaging(connection->handle(), outcome.code, search->page.get());
  return outcome;
}

// A limit reached ends the rows that came; its status follows them.
HRESULT takeOutcome(const LdapOutcome& outcome, SearchState* search) {
  search->lastCode = outcome.code;
  if (outcome.code == LDAP_SIZELIMIT_EXCEEDED || outcome.code == LDAP_TIMELIMIT_EXCEEDED)
    search->limitCode = outcome.code;
  else if (!outcome.ok())
    return failWith(outcome);
  return S_OK;
}

// Fetches the next page (or the only one) of a search.
HRESULT fetchPage(Connection* connection, const std::string& base, SearchState* search) {
  LDAP* ld = connection->handle();
  search->page.reset();
  search->current = nullptr;
  search->moreOnServer = false;
  if (search->pageSize > 0 && !search->pagedOnServer) {
    LdapOutcome outcome = searchUnpaged(connection, base, search, &search->pagedOnServer);
    if (!search->pagedOnServer) return takeOutcome(outcome, search);
    search->page.reset();
  }
  LdapControl paged;
  if (search->pageSize > 0) {
    berval cookie{static_cast<ber_len_t>(search->cookie.size()), search->cookie.empty() ? nullptr : &search->cookie[0]};
    int code = ldap_create_page_control(ld, static_cast<ber_int_t>(search->pageSize), &cookie, 0, paged.put());
    if (code != LDAP_SUCCESS) return failLdap(code, "cannot build the paged-results control");
  }
  SearchControls controls(*search, paged.get());
  LdapControls response;
  LdapOutcome outcome = connection->search(base, search->scope, search->filter, search->sent, controls.get(),
                                           search->sizeLimit, search->timeLimit, &search->page, &response);
  HRESULT hr = takeOutcome(outcome, search);
  if (FAILED(hr)) return hr;
  if (search->pageSize > 0) {
    search->cookie = nextPageCookie(ld, response.get());
    search->moreOnServer = !search->cookie.empty();
  }
  return S_OK;
}

// A lookup read as a first read that the server refused for what it asked (a name it will not
// give in such a search, say) is sent again as the caller asked it.
HRESULT fetchFirstPage(Connection* connection, const std::string& base, SearchState* search) {
  HRESULT hr = fetchPage(connection, base, search);
  if (SUCCEEDED(hr) || !search->asFirstRead || !refusedWhatWasAsked(search->lastCode)) return hr;
  noteRefusedInLookups(search->sent);
  search->asFirstRead = false;
  search->sent = search->attributes;
  return fetchPage(connection, base, search);
}

}  // namespace

HRESULT DirectoryObject::endSearch(SearchState* search, int limitCode) {
  search->done = true;
  releaseServerPaging(setup_.connection.get(), setup_.ldapName, search);
  if (limitCode == LDAP_SUCCESS) return S_ADS_NOMORE_ROWS;
  return failLdap(limitCode, "");
}

HRESULT DirectoryObject::GetFirstRow(ADS_SEARCH_HANDLE hSearchResult) try {
  auto* search = static_cast<SearchState*>(hSearchResult);
  if (std::find(searches_.begin(), searches_.end(), search) == searches_.end()) return E_ADS_BAD_PARAMETER;
  // Back to the start: the search is run again from its first page.
  search->started = false;
  search->done = false;
  releaseServerPaging(setup_.connection.get(), setup_.ldapName, search);
  search->cookie.clear();
  search->page.reset();
  search->current = nullptr;
  search->rows = 0;
  search->limitCode = LDAP_SUCCESS;
  return GetNextRow(hSearchResult);
} catch (...) {
  return hresultOfCurrentException();
}

namespace {

bool askedByCaller(const SearchState& search, const std::string& name) {
  return std::any_of(search.attributes.begin(), search.attributes.end(),
                     [&](const std::string& asked) { return equalsIgnoreCase(asked, name); });
}

// The current entry's name and columns, in one pass over the entry (entryAttributes).
HRESULT readRow(Connection* connection, SearchState* search) {
  std::vector<EntryAttribute> attributes;
  if (!entryAttributes(connection->handle(), search->current, &attributes, &search->rowDn))
    return failLdap(LDAP_DECODING_ERROR, "the entry cannot be read");
  for (EntryAttribute& attribute : attributes) {
    std::string& name = attribute.name;
    std::vector<std::string>& texts = attribute.values;
    RangedName range;
    bool ranged = name.find(';') != std::string::npos && parseRangedName(name, &range);
    bool forTheCallOnly = search->asFirstRead && !askedByCaller(*search, ranged ? range.base : name);
    if (forTheCallOnly && ranged) {
      // What the server cut short of a name the caller did not ask for is asked for when loaded.
      search->wholeRowCut.insert(toLowerAscii(range.base));
      continue;
    }
    if (ranged) {
      if (!asksForRangeOf(search->requested, range.base)) {
        HRESULT hr = fetchRemainingRange(connection, search->rowDn, range, &texts);
        if (FAILED(hr)) return hr;
        name = range.base;
      }
    }
    if (search->asFirstRead) search->wholeRow[toLowerAscii(name)] = CachedProperty{name, texts};
    if (forTheCallOnly) continue;
    // Read only to make the ADsPath column: not a column of its own.
    if (search->distinguishedNameOnlyForPath && equalsIgnoreCase(name, "distinguishedName")) continue;
    search->columnOrder.push_back(name);
    CachedProperty& column = search->row[toLowerAscii(name)];
    column.name = std::move(name);
    column.values = std::move(texts);
  }
  return S_OK;
}

// A search for every attribute of a few objects is often followed, within the
// call, by a bind of what it found and reads of its attributes: its first rows are kept as the
// call's whole reads of those objects (call_entries.h). Only rows read as an ordinary bind reads
// an object: no tombstones, the same parts of the security descriptor, values and not only names.
constexpr size_t keptWholeRows = 4;

bool readsWholeRows(const SearchState& search) {
  return search.attributes.empty() && !search.tombstones && !search.typesOnly && search.securityMask == 7;
}

}  // namespace

HRESULT DirectoryObject::GetNextRow(ADS_SEARCH_HANDLE hSearchResult) try {
  auto* search = static_cast<SearchState*>(hSearchResult);
  if (std::find(searches_.begin(), searches_.end(), search) == searches_.end()) return E_ADS_BAD_PARAMETER;
  Connection* connection = setup_.connection.get();
  LDAP* ld = connection->handle();
  // A code left by an earlier call must never read as "more rows on the server".
  clearLastError();
  search->row.clear();
  search->wholeRow.clear();
  search->wholeRowCut.clear();
  search->columnOrder.clear();
  search->nextColumn = 0;
  for (;;) {
    if (search->done) return S_ADS_NOMORE_ROWS;
    if (search->sizeLimit > 0 && search->rows >= static_cast<size_t>(search->sizeLimit)) {
      bool matchesLeft = (search->current != nullptr && ldap_next_entry(ld, search->current) != nullptr) ||
                         search->moreOnServer || search->limitCode == LDAP_SIZELIMIT_EXCEEDED;
      search->current = nullptr;
      return endSearch(search, matchesLeft ? LDAP_SIZELIMIT_EXCEEDED : LDAP_SUCCESS);
    }
    if (!search->started) {
      search->started = true;
      HRESULT hr = fetchFirstPage(connection, setup_.ldapName, search);
      if (FAILED(hr)) {
        search->done = true;
        return hr;
      }
      search->current = ldap_first_entry(ld, search->page.get());
    } else if (search->current != nullptr) {
      search->current = ldap_next_entry(ld, search->current);
    } else if (search->moreOnServer) {
      HRESULT hr = fetchPage(connection, setup_.ldapName, search);
      if (FAILED(hr)) {
        search->done = true;
        return hr;
      }
      search->current = ldap_first_entry(ld, search->page.get());
    }
    if (search->current != nullptr) break;
    if (!search->moreOnServer) return endSearch(search, search->limitCode);
  }
  ++search->rows;
  HRESULT hr = readRow(connection, search);
  if (FAILED(hr)) return hr;
  if (readsWholeRows(*search) && search->rows <= keptWholeRows)
    rememberWholeEntry(setup_.connection, search->rowDn, search->rowDn, search->row, {});
  if (search->asFirstRead && search->rows == 1)
    rememberFirstRead(setup_.connection, search->rowDn, search->rowDn, search->sent, std::move(search->wholeRow),
                      search->wholeRowCut);
  if (search->attributes.empty() || search->wantsPath) search->columnOrder.push_back("ADsPath");
  return S_OK;
} catch (...) {
  return hresultOfCurrentException();
}

HRESULT DirectoryObject::GetNextColumnName(ADS_SEARCH_HANDLE hSearchHandle, LPWSTR* ppszColumnName) try {
  auto* search = static_cast<SearchState*>(hSearchHandle);
  if (ppszColumnName == nullptr) return E_POINTER;
  *ppszColumnName = nullptr;
  if (std::find(searches_.begin(), searches_.end(), search) == searches_.end()) return E_ADS_BAD_PARAMETER;
  if (search->current == nullptr || search->nextColumn >= search->columnOrder.size()) return S_ADS_NOMORE_COLUMNS;
  *ppszColumnName = allocText(search->columnOrder[search->nextColumn++]);
  return *ppszColumnName == nullptr ? E_OUTOFMEMORY : S_OK;
} catch (...) {
  return hresultOfCurrentException();
}

HRESULT DirectoryObject::GetColumn(ADS_SEARCH_HANDLE hSearchResult, LPWSTR szColumnName,
                                   PADS_SEARCH_COLUMN pSearchColumn) try {
  auto* search = static_cast<SearchState*>(hSearchResult);
  if (pSearchColumn == nullptr || szColumnName == nullptr) return E_ADS_BAD_PARAMETER;
  std::memset(pSearchColumn, 0, sizeof *pSearchColumn);
  if (std::find(searches_.begin(), searches_.end(), search) == searches_.end()) return E_ADS_BAD_PARAMETER;
  if (search->current == nullptr) return E_ADS_COLUMN_NOT_SET;
  std::string name = toUtf8(szColumnName);
  std::vector<std::string> adsPath;
  const std::vector<std::string>* values = nullptr;
  ADSTYPE type = ADSTYPE_CASE_IGNORE_STRING;
  if (equalsIgnoreCase(name, "ADsPath")) {
    adsPath.push_back(buildAdsPath(setup_.path.hostPart, search->rowDn));
    values = &adsPath;
  } else {
    auto it = search->row.find(toLowerAscii(name));
    if (it == search->row.end() || it->second.values.empty()) return E_ADS_COLUMN_NOT_SET;
    values = &it->second.values;
    type = usableAdsType(typeOf(it->second.name.substr(0, it->second.name.find(';'))), *values);
  }
  BlockCursor measure(nullptr);
  layOutValues(type, *values, &measure);
  char* memory = static_cast<char*>(AllocADsMem(static_cast<DWORD>(measure.used())));
  LPWSTR columnName = allocText(name);
  if (memory == nullptr || columnName == nullptr) {
    FreeADsMem(memory);
    FreeADsMem(columnName);
    return E_OUTOFMEMORY;
  }
  BlockCursor block(memory);
  layOutValues(type, *values, &block);
  pSearchColumn->pszAttrName = columnName;
  pSearchColumn->dwADsType = type;
  pSearchColumn->pADsValues = reinterpret_cast<ADSVALUE*>(memory);
  pSearchColumn->dwNumValues = static_cast<DWORD>(values->size());
  pSearchColumn->hReserved = nullptr;
  return S_OK;
} catch (...) {
  return hresultOfCurrentException();
}

HRESULT DirectoryObject::FreeColumn(PADS_SEARCH_COLUMN pSearchColumn) try {
  if (pSearchColumn == nullptr) return E_ADS_BAD_PARAMETER;
  FreeADsMem(pSearchColumn->pszAttrName);
  FreeADsMem(pSearchColumn->pADsValues);
  std::memset(pSearchColumn, 0, sizeof *pSearchColumn);
  return S_OK;
} catch (...) {
  return hresultOfCurrentException();
}

HRESULT DirectoryObject::AbandonSearch(ADS_SEARCH_HANDLE phSearchResult) try {
  auto* search = static_cast<SearchState*>(phSearchResult);
  if (std::find(searches_.begin(), searches_.end(), search) == searches_.end()) return E_ADS_BAD_PARAMETER;
  search->done = true;
  search->current = nullptr;
  releaseServerPaging(setup_.connection.get(), setup_.ldapName, search);
  return S_OK;
} catch (...) {
  return hresultOfCurrentException();
}

HRESULT DirectoryObject::CloseSearchHandle(ADS_SEARCH_HANDLE hSearchResult) try {
  auto* search = static_cast<SearchState*>(hSearchResult);
  auto it = std::find(searches_.begin(), searches_.end(), search);
  if (it == searches_.end()) return E_ADS_BAD_PARAMETER;
  searches_.erase(it);
  destroySearch(search, setup_.connection.get(), setup_.ldapName);
  return S_OK;
} catch (...) {
  return hresultOfCurrentException();
}

}  // namespace winapi::adsi
