// How a row walk ends: the extended error per thread and reset at each row, negative limits
// refused one preference at a time, and searches closed before their last page.
#include <thread>

#include "adsi/directory_env.h"
#include "adsi/object.h"
#include "adsi/test_hooks.h"

using namespace adsitest;

namespace {

ADS_SEARCHPREF_INFO integerPreference(ADS_SEARCHPREF_ENUM which, LONG value) {
  ADS_SEARCHPREF_INFO pref{};
  pref.dwSearchPref = which;
  pref.vValue.dwType = ADSTYPE_INTEGER;
  pref.vValue.Integer = static_cast<DWORD>(value);
  return pref;
}

DWORD lastErrorCode() {
  DWORD code = 0;
  WCHAR text[512], provider[512];
  EXPECT_EQ(ADsGetLastError(&code, text, 512, provider, 512), S_OK);
  return code;
}

class SearchWalk : public DirectoryTest {
 protected:
  std::string bulk() const { return "OU=Bulk,OU=Orvistal," + s.baseDn; }

  ADS_SEARCH_HANDLE execute(IDirectorySearch* search, const char16_t* filter) {
    std::u16string text = filter, cn = u"cn";
    LPWSTR names[] = {&cn[0]};
    ADS_SEARCH_HANDLE handle = nullptr;
    EXPECT_EQ(search->ExecuteSearch(&text[0], names, 1, &handle), S_OK);
    return handle;
  }
};

TEST_F(SearchWalk, TheExtendedErrorBelongsToItsThreadAndNeverOutlivesARow) {
  ADsSetLastError(ERROR_MORE_DATA, u"left over", u"LDAP Provider");
  DWORD otherThread = 1;
  std::thread([&] { otherThread = lastErrorCode(); }).join();
  EXPECT_EQ(otherThread, 0u);
  EXPECT_EQ(lastErrorCode(), static_cast<DWORD>(ERROR_MORE_DATA));

  // A stale ERROR_MORE_DATA must not make the end of the rows look like "more on the server".
  Ptr<IDirectorySearch> search;
  ASSERT_EQ(openAsBind(bulk(), IID_IDirectorySearch, search.put()), S_OK);
  ADS_SEARCH_HANDLE handle = execute(search.get(), u"(cn=bulk0001)");
  ASSERT_EQ(search->GetNextRow(handle), S_OK);
  ADsSetLastError(ERROR_MORE_DATA, nullptr, nullptr);
  EXPECT_EQ(search->GetNextRow(handle), S_ADS_NOMORE_ROWS);
  EXPECT_NE(lastErrorCode(), static_cast<DWORD>(ERROR_MORE_DATA));
  ADsSetLastError(ERROR_MORE_DATA, nullptr, nullptr);
  EXPECT_EQ(search->GetNextRow(handle), S_ADS_NOMORE_ROWS);
  EXPECT_NE(lastErrorCode(), static_cast<DWORD>(ERROR_MORE_DATA));
  EXPECT_EQ(search->CloseSearchHandle(handle), S_OK);
}

TEST_F(SearchWalk, NegativeLimitsAreRefusedOneByOne) {
  Ptr<IDirectorySearch> search;
  ASSERT_EQ(openAsBind(bulk(), IID_IDirectorySearch, search.put()), S_OK);
  ADS_SEARCHPREF_INFO prefs[] = {integerPreference(ADS_SEARCHPREF_SIZE_LIMIT, -1),
                                 integerPreference(ADS_SEARCHPREF_TIME_LIMIT, 10),
                                 integerPreference(ADS_SEARCHPREF_TIME_LIMIT, -3),
                                 integerPreference(ADS_SEARCHPREF_PAGESIZE, -100)};
  EXPECT_EQ(search->SetSearchPreference(prefs, 4), S_ADS_ERRORSOCCURRED);
  EXPECT_EQ(prefs[0].dwStatus, ADS_STATUS_INVALID_SEARCHPREFVALUE);
  EXPECT_EQ(prefs[1].dwStatus, ADS_STATUS_S_OK);
  EXPECT_EQ(prefs[2].dwStatus, ADS_STATUS_INVALID_SEARCHPREFVALUE);
  EXPECT_EQ(prefs[3].dwStatus, ADS_STATUS_INVALID_SEARCHPREFVALUE);
  // A refused limit leaves none in place: all ten matches come.
  ADS_SEARCH_HANDLE handle = execute(search.get(), u"(cn=bulk001*)");
  int rows = 0;
  while (search->GetNextRow(handle) == S_OK) ++rows;
  EXPECT_EQ(rows, 10);
  search->CloseSearchHandle(handle);
}

// More matches than a search asks for without paging: it pages.
TEST_F(SearchWalk, ASearchClosedBeforeItsLastPageIsEndedOnTheServer) {
  winapi::adsi::testing::limitRowsWithoutPaging(50);
  struct Restore {
    ~Restore() { winapi::adsi::testing::limitRowsWithoutPaging(0); }
  } restore;
  Ptr<IDirectorySearch> search;
  ASSERT_EQ(openAsBind(bulk(), IID_IDirectorySearch, search.put()), S_OK);
  ADS_SEARCHPREF_INFO prefs[] = {integerPreference(ADS_SEARCHPREF_PAGESIZE, 100)};
  ASSERT_EQ(search->SetSearchPreference(prefs, 1), S_OK);

  size_t before = winapi::adsi::testing::pagedSearchesReleased();
  ADS_SEARCH_HANDLE early = execute(search.get(), u"(description=bulk user*)");
  ASSERT_EQ(search->GetNextRow(early), S_OK);
  EXPECT_EQ(search->CloseSearchHandle(early), S_OK);
  EXPECT_EQ(winapi::adsi::testing::pagedSearchesReleased(), before + 1);

  // Walked to the end: nothing is left on the server to end.
  ADS_SEARCH_HANDLE whole = execute(search.get(), u"(description=bulk user*)");
  int rows = 0;
  while (search->GetNextRow(whole) == S_OK) ++rows;
  EXPECT_EQ(rows, 300);
  EXPECT_EQ(search->CloseSearchHandle(whole), S_OK);
  EXPECT_EQ(winapi::adsi::testing::pagedSearchesReleased(), before + 1);

  // One left open when the object goes is ended as well, and the connection stays usable.
  ADS_SEARCH_HANDLE abandoned = execute(search.get(), u"(description=bulk user*)");
  ASSERT_EQ(search->GetNextRow(abandoned), S_OK);
  search.reset();
  EXPECT_EQ(winapi::adsi::testing::pagedSearchesReleased(), before + 2);
  ASSERT_EQ(openAsBind(bulk(), IID_IDirectorySearch, search.put()), S_OK);
  ADS_SEARCH_HANDLE after = execute(search.get(), u"(cn=bulk0001)");
  EXPECT_EQ(search->GetNextRow(after), S_OK);
  search->CloseSearchHandle(after);
}

}  // namespace
