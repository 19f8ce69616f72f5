// What the searches that walk every row share: an owner that closes a search handle, an owner
// of a fetched column, the search preferences they set, and the end-of-rows question that the
// walk asks the directory interface.
#pragma once
#include "directory/adsi_context.h"

// A search handle of one IDirectorySearch, closed on every path.
class SearchHandle {
 public:
  explicit SearchHandle(IDirectorySearch* search) : search_(search) {}
  ~SearchHandle() {
    if (handle_ != nullptr) (void)search_->CloseSearchHandle(handle_);
  }
  SearchHandle(const SearchHandle&) = delete;
  SearchHandle& operator=(const SearchHandle&) = delete;

  ADS_SEARCH_HANDLE get() const { return handle_; }
  ADS_SEARCH_HANDLE* put() { return &handle_; }

 private:
  IDirectorySearch* search_;
  ADS_SEARCH_HANDLE handle_ = nullptr;
};

// A column fetched by GetColumn; freed on every path, and its FreeColumn status is there for
// the walks that report it.
class FetchedColumn {
 public:
  explicit FetchedColumn(IDirectorySearch* search) : search_(search) {}
  ~FetchedColumn() { (void)free(); }
  FetchedColumn(const FetchedColumn&) = delete;
  FetchedColumn& operator=(const FetchedColumn&) = delete;

  HRESULT fetch(ADS_SEARCH_HANDLE handle, const WideString& name);
  const ADS_SEARCH_COLUMN& get() const { return column_; }
  HRESULT free();

 private:
  IDirectorySearch* search_;
  ADS_SEARCH_COLUMN column_{};
  bool held_ = false;
};

ADS_SEARCHPREF_INFO integerPreference(ADS_SEARCHPREF_ENUM preference, LONG value);
ADS_SEARCHPREF_INFO booleanPreference(ADS_SEARCHPREF_ENUM preference, bool value);

// Sets the preferences; a refusal, even a partial one reported as a success code, comes back
// as a failure (the status with its top bit set).
HRESULT setSearchPreferences(IDirectorySearch* search, ADS_SEARCHPREF_INFO* preferences, DWORD count);

// A status turned into a failure: its severity bit set, the rest kept.
inline HRESULT asFailure(HRESULT status) {
  return static_cast<HRESULT>(static_cast<ULONG>(status) | (static_cast<ULONG>(SEVERITY_ERROR) << 31));
}

// The client's bounds every search of the library sets besides its own preferences: a time-out,
// so that a server that stops answering holds no caller for ever (the wait for an answer, or a
// search's own time limit and a grace beyond it), and referrals chased as the directory interface
// chases them by default, to the forest's other domains (a name outside the forest is refused
// before it is ever bound).
constexpr LONG answerWaitSeconds = 10;
constexpr LONG timeLimitGraceSeconds = 5;
HRESULT setSearchBounds(IDirectorySearch* search, LONG timeLimitSeconds);

// After S_ADS_NOMORE_ROWS: true when the directory interface reports that the server still
// has rows (ERROR_MORE_DATA), so the walk goes on.
bool serverHasMoreRows();

// The first value of a column when it is a string of one of the string types; false for a
// column without values or of another type.
bool firstStringValue(const ADS_SEARCH_COLUMN& column, WideString* text);

// The row walk of the searches that list one column: the text of the column of every row, in
// row order; a row whose column is not set or renders empty adds nothing. Every page is read;
// any other failure ends the walk with its status, keeping the texts before it. rowCame, when
// given, is set once a row comes. A rowLimit other than 0 is the caller's size limit: a row past
// it ends the walk as Active Directory ends such a search (ERROR_DS_SIZELIMIT_EXCEEDED), also on
// a server that ignores the limit it was sent (Samba does).
HRESULT collectColumnTexts(IDirectorySearch* search, ADS_SEARCH_HANDLE handle, const WideString& columnName,
                           StringList* results, bool* rowCame = nullptr, ULONG rowLimit = 0);

// ExecuteSearch for one attribute, then the row walk on it.
HRESULT searchColumnTexts(IDirectorySearch* search, const WideString& filter, const WideString& attributeName,
                          StringList* results, bool* rowCame = nullptr, ULONG rowLimit = 0);
