// The walk over every row of a search, driven by a scripted search interface.
#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "directory/row_walk.h"

namespace {

// One scripted answer of GetNextRow: a row (with the column's value, or none), the end of a
// page with more on the server, or a final status.
struct Step {
  HRESULT rowStatus = S_OK;
  std::optional<ADSVALUE> value;  // the column's value; none: the row lacks the column
  bool moreOnServer = false;
};

class ScriptedSearch : public IDirectorySearch {
 public:
  explicit ScriptedSearch(std::vector<Step> steps) : steps_(std::move(steps)) {}
  int columnsHeld = 0;
  size_t rowsAsked = 0;

  HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG AddRef() override { return 1; }
  ULONG Release() override { return 1; }
  HRESULT SetSearchPreference(PADS_SEARCHPREF_INFO prefs, DWORD count) override {
    for (DWORD i = 0; i < count; ++i) prefs[i].dwStatus = ADS_STATUS_S_OK;
    return preferenceStatus;
  }
  HRESULT ExecuteSearch(LPWSTR, LPWSTR*, DWORD, PADS_SEARCH_HANDLE handle) override {
    *handle = this;
    return S_OK;
  }
  HRESULT AbandonSearch(ADS_SEARCH_HANDLE) override { return S_OK; }
  HRESULT GetFirstRow(ADS_SEARCH_HANDLE) override { return E_NOTIMPL; }
  HRESULT GetNextRow(ADS_SEARCH_HANDLE) override {
    ADsSetLastError(0, nullptr, nullptr);
    if (rowsAsked >= steps_.size()) return S_ADS_NOMORE_ROWS;
    const Step& step = steps_[rowsAsked++];
    if (step.moreOnServer) {
      ADsSetLastError(ERROR_MORE_DATA, nullptr, nullptr);
      return S_ADS_NOMORE_ROWS;
    }
    current_ = step.value;
    return step.rowStatus;
  }
  HRESULT GetNextColumnName(ADS_SEARCH_HANDLE, LPWSTR*) override { return E_NOTIMPL; }
  HRESULT GetColumn(ADS_SEARCH_HANDLE, LPWSTR, PADS_SEARCH_COLUMN column) override {
    if (!current_) return columnStatus;
    held_ = *current_;
    column->pszAttrName = nullptr;
    column->dwADsType = ADSTYPE_CASE_IGNORE_STRING;
    column->pADsValues = &held_;
    column->dwNumValues = held_.dwType == ADSTYPE_INVALID ? 0 : 1;
    ++columnsHeld;
    return S_OK;
  }
  HRESULT FreeColumn(PADS_SEARCH_COLUMN) override {
    --columnsHeld;
    return S_OK;
  }
  HRESULT CloseSearchHandle(ADS_SEARCH_HANDLE) override { return S_OK; }

  HRESULT preferenceStatus = S_OK;
  HRESULT columnStatus = E_ADS_COLUMN_NOT_SET;  // for a row without the column

 private:
  std::vector<Step> steps_;
  std::optional<ADSVALUE> current_;
  ADSVALUE held_{};
};

ADSVALUE text(const char16_t* value) {
  ADSVALUE v{};
  v.dwType = ADSTYPE_CASE_IGNORE_STRING;
  v.CaseIgnoreString = const_cast<LPWSTR>(value);
  return v;
}

Step row(ADSVALUE value) { return Step{S_OK, value, false}; }

TEST(CollectColumnTexts, FollowsEveryPageAndSkipsEmptyTexts) {
  ADSVALUE wrongType{};
  wrongType.dwType = ADSTYPE_INTEGER;  // not what the column claims: never read as a string
  ADSVALUE noValue{};
  noValue.dwType = ADSTYPE_INVALID;
  ScriptedSearch search({row(text(u"one")), Step{S_OK, std::nullopt, true}, row(text(u"")), row(wrongType),
                         row(noValue), row(text(u"two"))});
  StringList found;
  EXPECT_EQ(collectColumnTexts(&search, &search, u"cn", &found), S_OK);
  ASSERT_EQ(found.count(), 2u);
  EXPECT_EQ(found[0], u"one");
  EXPECT_EQ(found[1], u"two");
  EXPECT_EQ(search.columnsHeld, 0);
}

TEST(CollectColumnTexts, ARowWithoutTheColumnIsSkippedAnyOtherColumnFailureEndsTheWalk) {
  std::vector<Step> steps{row(text(u"one")), Step{S_OK, std::nullopt, false}, row(text(u"two"))};
  ScriptedSearch search(steps);
  StringList found;
  EXPECT_EQ(collectColumnTexts(&search, &search, u"cn", &found), S_OK);
  EXPECT_EQ(std::vector<std::u16string>(found.begin(), found.end()), (std::vector<std::u16string>{u"one", u"two"}));

  ScriptedSearch failing(steps);
  failing.columnStatus = E_OUTOFMEMORY;
  StringList before;
  EXPECT_EQ(collectColumnTexts(&failing, &failing, u"cn", &before), E_OUTOFMEMORY);
  ASSERT_EQ(before.count(), 1u);
  EXPECT_EQ(before[0], u"one");
  EXPECT_EQ(search.columnsHeld + failing.columnsHeld, 0);
}

TEST(CollectColumnTexts, OtherStatusesEndTheWalkUnchanged) {
  constexpr HRESULT sizeLimit = static_cast<HRESULT>(0x80072023);
  ScriptedSearch limited({row(text(u"one")), Step{sizeLimit, std::nullopt, false}});
  StringList found;
  EXPECT_EQ(collectColumnTexts(&limited, &limited, u"cn", &found), sizeLimit);
  EXPECT_EQ(found.count(), 1u);
  ScriptedSearch odd({Step{S_FALSE, std::nullopt, false}});
  EXPECT_EQ(collectColumnTexts(&odd, &odd, u"cn", &found), S_FALSE);
}

TEST(CollectColumnTexts, ARowPastTheCallersLimitEndsTheWalkAsTheDirectoryWould) {
  constexpr HRESULT sizeLimit = static_cast<HRESULT>(0x80072023);
  std::vector<Step> three{row(text(u"one")), row(text(u"two")), row(text(u"three"))};
  ScriptedSearch ignoringTheLimit(three);  // as Samba does
  StringList found;
  EXPECT_EQ(collectColumnTexts(&ignoringTheLimit, &ignoringTheLimit, u"cn", &found, nullptr, 2), sizeLimit);
  EXPECT_EQ(std::vector<std::u16string>(found.begin(), found.end()), (std::vector<std::u16string>{u"one", u"two"}));
  ScriptedSearch exactlyTheLimit(three);
  StringList all;
  EXPECT_EQ(collectColumnTexts(&exactlyTheLimit, &exactlyTheLimit, u"cn", &all, nullptr, 3), S_OK);
  EXPECT_EQ(all.count(), 3u);
}

TEST(SetSearchPreferences, ARefusalIsAFailure) {
  ScriptedSearch search({});
  ADS_SEARCHPREF_INFO prefs[] = {integerPreference(ADS_SEARCHPREF_SIZE_LIMIT, -1)};
  EXPECT_EQ(setSearchPreferences(&search, prefs, 1), S_OK);
  search.preferenceStatus = S_ADS_ERRORSOCCURRED;
  EXPECT_EQ(setSearchPreferences(&search, prefs, 1), static_cast<HRESULT>(0x80005011));
  search.preferenceStatus = E_ADS_BAD_PARAMETER;
  EXPECT_EQ(setSearchPreferences(&search, prefs, 1), E_ADS_BAD_PARAMETER);
}

}  // namespace
