#include <gtest/gtest.h>

#include <map>

#include "directory/search.h"

namespace {

ADS_SEARCH_COLUMN column(ADSTYPE type, ADSVALUE* values, DWORD count) {
  ADS_SEARCH_COLUMN c{};
  c.dwADsType = type;
  c.pADsValues = values;
  c.dwNumValues = count;
  return c;
}

TEST(SearchColumnText, FirstValueAsText) {
  WCHAR first[] = u"first";
  WCHAR second[] = u"second";
  ADSVALUE strings[2];
  strings[0].dwType = strings[1].dwType = ADSTYPE_CASE_IGNORE_STRING;
  strings[0].CaseIgnoreString = first;
  strings[1].CaseIgnoreString = second;
  for (ADSTYPE type : {ADSTYPE_DN_STRING, ADSTYPE_CASE_EXACT_STRING, ADSTYPE_CASE_IGNORE_STRING,
                       ADSTYPE_PRINTABLE_STRING, ADSTYPE_NUMERIC_STRING}) {
    strings[0].dwType = strings[1].dwType = type;
    EXPECT_EQ(searchColumnText(column(type, strings, 2)), u"first") << "type " << type;
  }

  BYTE bytes[] = {0x3F, 0x00, 0xA1};
  ADSVALUE octets{};
  octets.dwType = ADSTYPE_OCTET_STRING;
  octets.OctetString = {3, bytes};
  EXPECT_EQ(searchColumnText(column(ADSTYPE_OCTET_STRING, &octets, 1)), u"3f00a1");

  ADSVALUE number{};
  number.dwType = ADSTYPE_INTEGER;
  number.Integer = static_cast<DWORD>(-2147483646);
  EXPECT_EQ(searchColumnText(column(ADSTYPE_INTEGER, &number, 1)), u"-2147483646") << "signed, as the directory writes it";
  ADSVALUE large{};
  large.dwType = ADSTYPE_LARGE_INTEGER;
  large.LargeInteger.QuadPart = -9223372036854775807LL - 1;
  EXPECT_EQ(searchColumnText(column(ADSTYPE_LARGE_INTEGER, &large, 1)), u"-9223372036854775808");
  ADSVALUE flag{};
  flag.dwType = ADSTYPE_BOOLEAN;
  for (DWORD value : {0u, 1u}) {
    flag.Boolean = value;
    EXPECT_EQ(searchColumnText(column(ADSTYPE_BOOLEAN, &flag, 1)), value ? u"TRUE" : u"FALSE");
  }
  ADSVALUE other{};
  for (ADSTYPE type : {ADSTYPE_UTC_TIME, ADSTYPE_NT_SECURITY_DESCRIPTOR}) {
    other.dwType = type;
    EXPECT_EQ(searchColumnText(column(type, &other, 1)), u"") << "type " << type;
  }
  // A column that claims strings but holds an integer is never read as a string.
  EXPECT_EQ(searchColumnText(column(ADSTYPE_CASE_IGNORE_STRING, &number, 1)), u"");
  EXPECT_EQ(searchColumnText(column(ADSTYPE_OCTET_STRING, &number, 1)), u"");
  EXPECT_EQ(searchColumnText(column(ADSTYPE_CASE_IGNORE_STRING, strings, 0)), u"");
}

// A search interface over one canned row, recording the calls the row walk makes.
class CannedSearch : public IDirectorySearch {
 public:
  std::map<std::u16string, std::u16string> row;
  bool hasRow = true;
  HRESULT freeStatus = S_OK;
  int closed = 0;
  DWORD requestedNames = 0;

  HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG AddRef() override { return 1; }
  ULONG Release() override { return 1; }
  HRESULT SetSearchPreference(PADS_SEARCHPREF_INFO, DWORD) override { return S_OK; }
  HRESULT ExecuteSearch(LPWSTR, LPWSTR*, DWORD count, PADS_SEARCH_HANDLE handle) override {
    requestedNames = count;
    *handle = this;
    return S_OK;
  }
  HRESULT AbandonSearch(ADS_SEARCH_HANDLE) override { return S_OK; }
  HRESULT GetFirstRow(ADS_SEARCH_HANDLE) override { return E_NOTIMPL; }
  HRESULT GetNextRow(ADS_SEARCH_HANDLE) override { return hasRow ? S_OK : S_ADS_NOMORE_ROWS; }
  HRESULT GetNextColumnName(ADS_SEARCH_HANDLE, LPWSTR*) override { return E_NOTIMPL; }
  HRESULT GetColumn(ADS_SEARCH_HANDLE, LPWSTR name, PADS_SEARCH_COLUMN result) override {
    auto found = row.find(name);
    if (found == row.end()) return E_ADS_COLUMN_NOT_SET;
    value_.dwType = ADSTYPE_CASE_IGNORE_STRING;
    value_.CaseIgnoreString = &found->second[0];
    *result = column(ADSTYPE_CASE_IGNORE_STRING, &value_, 1);
    return S_OK;
  }
  HRESULT FreeColumn(PADS_SEARCH_COLUMN) override { return freeStatus; }
  HRESULT CloseSearchHandle(ADS_SEARCH_HANDLE) override {
    ++closed;
    return S_OK;
  }

 private:
  ADSVALUE value_{};
};

StringList names(std::initializer_list<const char16_t*> list) {
  StringList result;
  for (const char16_t* name : list) result.append(name);
  return result;
}

std::vector<std::u16string> entries(const StringList& list) { return {list.begin(), list.end()}; }

TEST(ReadFirstEntry, AbsentAttributesKeepTheirPlaceAndTheLastDecidesTheStatus) {
  CannedSearch search;
  search.row = {{u"b", u"B"}};
  StringList values;
  EXPECT_EQ(readFirstEntry(&search, u"(x=1)", names({u"a", u"b"}), &values), S_OK);
  EXPECT_EQ(entries(values), (std::vector<std::u16string>{u"", u"B"}));

  StringList reversed;
  EXPECT_EQ(readFirstEntry(&search, u"(x=1)", names({u"b", u"a"}), &reversed), E_ADS_COLUMN_NOT_SET);
  EXPECT_EQ(entries(reversed), (std::vector<std::u16string>{u"B", u""}));
  EXPECT_EQ(search.closed, 2);
}

TEST(ReadFirstEntry, NoMatchReturnsNoMoreRowsAndLeavesValues) {
  CannedSearch search;
  search.hasRow = false;
  StringList values;
  values.append(u"earlier");
  EXPECT_EQ(readFirstEntry(&search, u"(x=1)", names({u"a"}), &values), S_ADS_NOMORE_ROWS);
  EXPECT_EQ(entries(values), (std::vector<std::u16string>{u"earlier"}));
  EXPECT_EQ(search.closed, 1);
}

TEST(ReadFirstEntry, EmptyNameListAndFreeFailure) {
  CannedSearch search;
  search.row = {{u"a", u"A"}, {u"b", u"B"}};
  StringList values;
  EXPECT_EQ(readFirstEntry(&search, u"(x=1)", StringList(), &values), S_OK);
  EXPECT_EQ(values.count(), 0u);
  EXPECT_EQ(search.requestedNames, 0u);

  search.freeStatus = E_FAIL;
  EXPECT_EQ(readFirstEntry(&search, u"(x=1)", names({u"a", u"b"}), &values), E_FAIL);
  EXPECT_EQ(entries(values), (std::vector<std::u16string>{u"A"})) << "a failed release stops the walk";
}

}  // namespace
