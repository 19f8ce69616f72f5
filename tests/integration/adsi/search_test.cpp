// IDirectorySearch and IDirectoryObject against the seeded directory: paging over the 300
// bulk users, limits, tombstones, column types, and direct attribute reads and writes.
#include <cstring>
#include <set>

#include "adsi/directory_env.h"
#include "adsi/first_read.h"
#include "adsi/test_hooks.h"

using namespace adsitest;

namespace {

constexpr HRESULT columnNotSet = static_cast<HRESULT>(0x80005010);
constexpr HRESULT badFilter = static_cast<HRESULT>(0x8007203E);
constexpr HRESULT noSuchObject = static_cast<HRESULT>(0x80072030);
constexpr HRESULT sizeLimitExceeded = static_cast<HRESULT>(0x80072023);

ADS_SEARCHPREF_INFO integerPreference(ADS_SEARCHPREF_ENUM which, DWORD value) {
  ADS_SEARCHPREF_INFO pref{};
  pref.dwSearchPref = which;
  pref.vValue.dwType = ADSTYPE_INTEGER;
  pref.vValue.Integer = value;
  return pref;
}

ADS_SEARCHPREF_INFO booleanPreference(ADS_SEARCHPREF_ENUM which, bool value) {
  ADS_SEARCHPREF_INFO pref{};
  pref.dwSearchPref = which;
  pref.vValue.dwType = ADSTYPE_BOOLEAN;
  pref.vValue.Boolean = value ? 1 : 0;
  return pref;
}

class Search : public DirectoryTest {
 protected:
  std::string bulk() const { return "OU=Bulk,OU=Orvistal," + s.baseDn; }

  // Every row's value of one string column, walking with GetNextRow as the library does.
  std::vector<std::string> column(IDirectorySearch* search, const std::string& filter, const char* attribute,
                                  HRESULT* last) {
    std::vector<std::string> values;
    std::u16string wideFilter = wide(filter), wideAttribute = wide(attribute);
    LPWSTR names[] = {&wideAttribute[0]};
    ADS_SEARCH_HANDLE handle = nullptr;
    *last = search->ExecuteSearch(&wideFilter[0], names, 1, &handle);
    if (FAILED(*last)) return values;
    while ((*last = search->GetNextRow(handle)) == S_OK) {
      ADS_SEARCH_COLUMN col;
      if (search->GetColumn(handle, names[0], &col) == S_OK) {
        if (col.dwNumValues > 0 && col.pADsValues[0].dwType == ADSTYPE_CASE_IGNORE_STRING)
          values.push_back(narrow(col.pADsValues[0].CaseIgnoreString));
        else
          values.push_back(std::string());
        search->FreeColumn(&col);
      }
    }
    EXPECT_EQ(search->CloseSearchHandle(handle), S_OK);
    return values;
  }
};

TEST_F(Search, PagedSearchWalksEveryPage) {
  Ptr<IDirectorySearch> search;
  ASSERT_EQ(openAsBind(bulk(), IID_IDirectorySearch, search.put()), S_OK);
  ADS_SEARCHPREF_INFO prefs[] = {integerPreference(ADS_SEARCHPREF_SEARCH_SCOPE, ADS_SCOPE_SUBTREE),
                                 integerPreference(ADS_SEARCHPREF_PAGESIZE, 100)};
  ASSERT_EQ(search->SetSearchPreference(prefs, 2), S_OK);
  EXPECT_EQ(prefs[0].dwStatus, ADS_STATUS_S_OK);
  HRESULT last = S_OK;
  std::vector<std::string> names = column(search.get(), "(&(objectClass=user)(description=bulk user*))", "cn", &last);
  EXPECT_EQ(last, S_ADS_NOMORE_ROWS);
  std::set<std::string> distinct(names.begin(), names.end());
  EXPECT_EQ(names.size(), 300u);
  EXPECT_EQ(distinct.size(), 300u);
  EXPECT_EQ(distinct.count("bulk0001"), 1u);
  EXPECT_EQ(distinct.count("bulk0300"), 1u);
  // The end is the end: nothing more waits on the server.
  DWORD code = 1;
  ASSERT_EQ(ADsGetLastError(&code, nullptr, 0, nullptr, 0), S_OK);
  EXPECT_NE(code, static_cast<DWORD>(ERROR_MORE_DATA));
}

TEST_F(Search, SizeLimitIsKeptByTheClientToo) {
  Ptr<IDirectorySearch> search;
  ASSERT_EQ(openAsBind(bulk(), IID_IDirectorySearch, search.put()), S_OK);
  ADS_SEARCHPREF_INFO prefs[] = {integerPreference(ADS_SEARCHPREF_SIZE_LIMIT, 3),
                                 integerPreference(ADS_SEARCHPREF_TIME_LIMIT, 30)};
  ASSERT_EQ(search->SetSearchPreference(prefs, 2), S_OK);
  HRESULT last = S_OK;
  EXPECT_EQ(column(search.get(), "(objectClass=user)", "cn", &last).size(), 3u);
  EXPECT_EQ(last, sizeLimitExceeded) << "300 matches: the rows up to the limit, then the limit's status";
  EXPECT_EQ(column(search.get(), "(|(cn=bulk0001)(cn=bulk0002)(cn=bulk0003))", "cn", &last).size(), 3u);
  EXPECT_EQ(last, S_ADS_NOMORE_ROWS) << "exactly as many matches as the limit end normally";

  // A scope of one level sees the bulk OU's direct children only.
  ADS_SEARCHPREF_INFO oneLevel[] = {integerPreference(ADS_SEARCHPREF_SEARCH_SCOPE, ADS_SCOPE_ONELEVEL),
                                    integerPreference(ADS_SEARCHPREF_SIZE_LIMIT, 0)};
  ASSERT_EQ(search->SetSearchPreference(oneLevel, 2), S_OK);
  EXPECT_EQ(column(search.get(), "objectClass=user", "cn", &last).size(), 300u);
  ADS_SEARCHPREF_INFO base[] = {integerPreference(ADS_SEARCHPREF_SEARCH_SCOPE, ADS_SCOPE_BASE)};
  ASSERT_EQ(search->SetSearchPreference(base, 1), S_OK);
  std::vector<std::string> self = column(search.get(), "(objectClass=*)", "ou", &last);
  ASSERT_EQ(self.size(), 1u);
  EXPECT_EQ(self[0], "Bulk");
}

TEST_F(Search, RefusedPreferencesAreMarkedOneByOne) {
  Ptr<IDirectorySearch> search;
  ASSERT_EQ(openAsBind(bulk(), IID_IDirectorySearch, search.put()), S_OK);
  ADS_SEARCHPREF_INFO prefs[] = {
      integerPreference(ADS_SEARCHPREF_PAGESIZE, 50), integerPreference(ADS_SEARCHPREF_SORT_ON, 1),
      booleanPreference(ADS_SEARCHPREF_SEARCH_SCOPE, true), integerPreference(ADS_SEARCHPREF_SEARCH_SCOPE, 7)};
  EXPECT_EQ(search->SetSearchPreference(prefs, 4), S_ADS_ERRORSOCCURRED);
  EXPECT_EQ(prefs[0].dwStatus, ADS_STATUS_S_OK);
  EXPECT_EQ(prefs[1].dwStatus, ADS_STATUS_INVALID_SEARCHPREF);
  EXPECT_EQ(prefs[2].dwStatus, ADS_STATUS_INVALID_SEARCHPREFVALUE);
  EXPECT_EQ(prefs[3].dwStatus, ADS_STATUS_INVALID_SEARCHPREFVALUE);
}

TEST_F(Search, FailuresSurfaceAtTheFirstRow) {
  Ptr<IDirectorySearch> search;
  ASSERT_EQ(openAsBind(bulk(), IID_IDirectorySearch, search.put()), S_OK);
  std::u16string filter = u"(cn=unclosed";
  ADS_SEARCH_HANDLE handle = nullptr;
  ASSERT_EQ(search->ExecuteSearch(&filter[0], nullptr, static_cast<DWORD>(-1), &handle), S_OK);
  EXPECT_EQ(search->GetNextRow(handle), badFilter);
  EXPECT_EQ(search->CloseSearchHandle(handle), S_OK);
  EXPECT_EQ(search->CloseSearchHandle(handle), E_ADS_BAD_PARAMETER);

  Ptr<IDirectorySearch> gone;
  ASSERT_EQ(
      openAsBind("OU=Nowhere," + s.baseDn, IID_IDirectorySearch, gone.put(), ADS_SECURE_AUTHENTICATION | ADS_FAST_BIND),
      S_OK);
  std::u16string any = u"(objectClass=*)";
  ASSERT_EQ(gone->ExecuteSearch(&any[0], nullptr, static_cast<DWORD>(-1), &handle), S_OK);
  EXPECT_EQ(gone->GetFirstRow(handle), noSuchObject);
  gone->CloseSearchHandle(handle);

  // Nothing matching is a success status with no rows.
  HRESULT last = S_OK;
  EXPECT_TRUE(column(search.get(), "(cn=nobody-at-all)", "cn", &last).empty());
  EXPECT_EQ(last, S_ADS_NOMORE_ROWS);
}

TEST_F(Search, ColumnsCarryTheirAdsTypes) {
  Ptr<IDirectorySearch> search;
  ASSERT_EQ(openAsAdmin(s.people(), IID_IDirectorySearch, search.put()), S_OK);
  std::u16string filter = u"(sAMAccountName=alice)";
  const char* attributes[] = {"objectGUID",  "description",          "countryCode", "orvistalFlag",   "orvistalCounter",
                              "whenCreated", "nTSecurityDescriptor", "manager",     "otherTelephone", "ADsPath"};
  std::vector<std::u16string> wideNames;
  for (const char* a : attributes) wideNames.push_back(wide(a));
  std::vector<LPWSTR> names;
  for (std::u16string& w : wideNames) names.push_back(&w[0]);
  ADS_SEARCH_HANDLE handle = nullptr;
  ASSERT_EQ(search->ExecuteSearch(&filter[0], names.data(), static_cast<DWORD>(names.size()), &handle), S_OK);
  ASSERT_EQ(search->GetFirstRow(handle), S_OK);
  const ADSTYPE expected[] = {ADSTYPE_OCTET_STRING,
                              ADSTYPE_CASE_IGNORE_STRING,
                              ADSTYPE_INTEGER,
                              ADSTYPE_BOOLEAN,
                              ADSTYPE_LARGE_INTEGER,
                              ADSTYPE_UTC_TIME,
                              ADSTYPE_NT_SECURITY_DESCRIPTOR,
                              ADSTYPE_DN_STRING,
                              ADSTYPE_CASE_IGNORE_STRING,
                              ADSTYPE_CASE_IGNORE_STRING};
  for (size_t i = 0; i < names.size(); ++i) {
    ADS_SEARCH_COLUMN col;
    ASSERT_EQ(search->GetColumn(handle, names[i], &col), S_OK) << attributes[i];
    EXPECT_EQ(col.dwADsType, expected[i]) << attributes[i];
    ASSERT_GT(col.dwNumValues, 0u);
    switch (col.dwADsType) {
      case ADSTYPE_OCTET_STRING:
        EXPECT_EQ(col.pADsValues[0].OctetString.dwLength, 16u);
        break;
      case ADSTYPE_INTEGER:
        EXPECT_EQ(col.pADsValues[0].Integer, 276u);
        break;
      case ADSTYPE_BOOLEAN:
        EXPECT_EQ(col.pADsValues[0].Boolean, 1u);
        break;
      case ADSTYPE_LARGE_INTEGER:
        EXPECT_EQ(col.pADsValues[0].LargeInteger.QuadPart, 9007199254740993LL);
        break;
      case ADSTYPE_UTC_TIME:
        EXPECT_GE(col.pADsValues[0].UTCTime.wYear, 2024);
        break;
      case ADSTYPE_NT_SECURITY_DESCRIPTOR:
        EXPECT_GT(col.pADsValues[0].SecurityDescriptor.dwLength, 20u);
        EXPECT_EQ(col.pADsValues[0].SecurityDescriptor.lpValue[0], 1);  // revision
        break;
      case ADSTYPE_DN_STRING:
        EXPECT_EQ(narrow(col.pADsValues[0].DNString), "CN=Bob Builder," + s.people());
        break;
      default:
        break;
    }
    if (std::string(attributes[i]) == "otherTelephone") {
      EXPECT_EQ(col.dwNumValues, 3u);
    }
    if (std::string(attributes[i]) == "ADsPath") {
      EXPECT_EQ(narrow(col.pADsValues[0].CaseIgnoreString), s.path(s.alice()));
    }
    EXPECT_EQ(search->FreeColumn(&col), S_OK);
  }
  ADS_SEARCH_COLUMN missing;
  std::u16string absent = u"facsimileTelephoneNumber";
  EXPECT_EQ(search->GetColumn(handle, &absent[0], &missing), columnNotSet);

  LPWSTR columnName = nullptr;
  size_t columns = 0;
  while (search->GetNextColumnName(handle, &columnName) == S_OK) {
    ++columns;
    FreeADsMem(columnName);
  }
  EXPECT_EQ(columns, names.size());
  EXPECT_EQ(search->GetNextRow(handle), S_ADS_NOMORE_ROWS);
  search->CloseSearchHandle(handle);
}

TEST_F(Search, LargeMultiValuedColumnsAreWhole) {
  Ptr<IDirectorySearch> search;
  ASSERT_EQ(openAsBind("OU=Groups,OU=Orvistal," + s.baseDn, IID_IDirectorySearch, search.put()), S_OK);
  std::u16string filter = u"(cn=g-big)", member = u"member";
  LPWSTR names[] = {&member[0]};
  ADS_SEARCH_HANDLE handle = nullptr;
  ASSERT_EQ(search->ExecuteSearch(&filter[0], names, 1, &handle), S_OK);
  ASSERT_EQ(search->GetNextRow(handle), S_OK);
  ADS_SEARCH_COLUMN col;
  ASSERT_EQ(search->GetColumn(handle, names[0], &col), S_OK);
  EXPECT_EQ(col.dwADsType, ADSTYPE_DN_STRING);
  EXPECT_EQ(col.dwNumValues, 300u);
  search->FreeColumn(&col);
  search->CloseSearchHandle(handle);
}

TEST_F(Search, TombstonesAndReferrals) {
  Ptr<IDirectorySearch> deleted;
  ASSERT_EQ(openAsAdmin("<WKGUID=18e2ea80684f11d2b9aa00c04f79f805," + s.baseDn + ">", IID_IDirectorySearch,
                        deleted.put(), ADS_SECURE_AUTHENTICATION | ADS_FAST_BIND),
            S_OK);
  ADS_SEARCHPREF_INFO prefs[] = {integerPreference(ADS_SEARCHPREF_SEARCH_SCOPE, ADS_SCOPE_SUBTREE),
                                 integerPreference(ADS_SEARCHPREF_PAGESIZE, 100),
                                 booleanPreference(ADS_SEARCHPREF_TOMBSTONE, true)};
  ASSERT_EQ(deleted->SetSearchPreference(prefs, 3), S_OK);
  HRESULT last = S_OK;
  std::vector<std::string> found = column(deleted.get(), "(sAMAccountName=deleted-user)", "sAMAccountName", &last);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0], "deleted-user");
  ADS_SEARCHPREF_INFO live[] = {booleanPreference(ADS_SEARCHPREF_TOMBSTONE, false)};
  ASSERT_EQ(deleted->SetSearchPreference(live, 1), S_OK);
  EXPECT_TRUE(column(deleted.get(), "(sAMAccountName=deleted-user)", "sAMAccountName", &last).empty());

  // A subtree search from the domain root meets continuation references; they are skipped.
  Ptr<IDirectorySearch> root;
  ASSERT_EQ(openAsBind(s.baseDn, IID_IDirectorySearch, root.put()), S_OK);
  std::vector<std::string> groups = column(root.get(), "(&(objectClass=group)(cn=g-*))", "cn", &last);
  EXPECT_EQ(last, S_ADS_NOMORE_ROWS);
  EXPECT_EQ(groups.size(), 9u);
}

// A row read whole answers the call's bind of that object and its reads; a tombstone's row never
// does, since an ordinary bind cannot find a deleted object.
TEST_F(Search, WholeRowsServeTheCallsBindsButNeverTombstones) {
  ADS_SEARCH_HANDLE handle = nullptr;
  Ptr<IDirectorySearch> people;
  ASSERT_EQ(openAsBind(s.people(), IID_IDirectorySearch, people.put()), S_OK);
  std::u16string alice = u"(sAMAccountName=alice)";
  ASSERT_EQ(people->ExecuteSearch(&alice[0], nullptr, static_cast<DWORD>(-1), &handle), S_OK);
  ASSERT_EQ(people->GetNextRow(handle), S_OK);
  people->CloseSearchHandle(handle);
  size_t before = winapi::adsi::testing::operationsSentByThisThread();
  Ptr<IADs> user;
  ASSERT_EQ(openAsBind(s.alice(), IID_IADs, user.put()), S_OK);
  Var phones;
  ASSERT_EQ(user->Get(Bstr("otherTelephone").b, &phones.v), S_OK);
  EXPECT_EQ(phones.v.vt, VT_ARRAY | VT_VARIANT);
  EXPECT_EQ(winapi::adsi::testing::operationsSentByThisThread(), before);

  Ptr<IDirectorySearch> deleted;
  ASSERT_EQ(openAsAdmin("<WKGUID=18e2ea80684f11d2b9aa00c04f79f805," + s.baseDn + ">", IID_IDirectorySearch,
                        deleted.put(), ADS_SECURE_AUTHENTICATION | ADS_FAST_BIND),
            S_OK);
  ADS_SEARCHPREF_INFO prefs[] = {booleanPreference(ADS_SEARCHPREF_TOMBSTONE, true)};
  ASSERT_EQ(deleted->SetSearchPreference(prefs, 1), S_OK);
  std::u16string filter = u"(sAMAccountName=deleted-user)", dn = u"distinguishedName";
  ASSERT_EQ(deleted->ExecuteSearch(&filter[0], nullptr, static_cast<DWORD>(-1), &handle), S_OK);
  ASSERT_EQ(deleted->GetNextRow(handle), S_OK);
  ADS_SEARCH_COLUMN column;
  ASSERT_EQ(deleted->GetColumn(handle, &dn[0], &column), S_OK);
  std::string tombstone = narrow(column.pADsValues[0].DNString);
  deleted->FreeColumn(&column);
  deleted->CloseSearchHandle(handle);
  Ptr<IADs> gone;
  EXPECT_EQ(openAsAdmin(tombstone, IID_IADs, gone.put()), noSuchObject);
}

// A lookup of one row is read as the first read of what it finds: the call's bind of it and
// reads of what that read holds send nothing, while the caller sees only the columns it named.
// A learned name that the server refuses in a search (tokenGroups, which Samba gives only to a
// base read) costs one lookup a second request, and is then left out of lookups.
TEST_F(Search, ALookupOfOneRowServesTheCallsBindButShowsOnlyItsColumns) {
  winapi::adsi::noteNamesLoaded({"tokenGroups"});
  Ptr<IDirectorySearch> people;
  ASSERT_EQ(openAsBind(s.people(), IID_IDirectorySearch, people.put()), S_OK);
  ADS_SEARCHPREF_INFO oneRow[] = {integerPreference(ADS_SEARCHPREF_SIZE_LIMIT, 1)};
  ASSERT_EQ(people->SetSearchPreference(oneRow, 1), S_OK);
  auto lookUpAlice = [&]() {
    std::u16string alice = u"(sAMAccountName=alice)", dn = u"distinguishedName", classes = u"objectClass";
    LPWSTR names[] = {&dn[0]};
    ADS_SEARCH_HANDLE handle = nullptr;
    ASSERT_EQ(people->ExecuteSearch(&alice[0], names, 1, &handle), S_OK);
    ASSERT_EQ(people->GetNextRow(handle), S_OK);
    std::vector<std::string> columns;
    LPWSTR name = nullptr;
    while (people->GetNextColumnName(handle, &name) == S_OK) {
      columns.push_back(narrow(name));
      FreeADsMem(name);
    }
    EXPECT_EQ(columns, std::vector<std::string>{"distinguishedName"});
    ADS_SEARCH_COLUMN column;
    EXPECT_EQ(people->GetColumn(handle, &classes[0], &column), columnNotSet);
    people->CloseSearchHandle(handle);
  };
  size_t before = winapi::adsi::testing::operationsSentByThisThread();
  lookUpAlice();
  EXPECT_EQ(winapi::adsi::testing::operationsSentByThisThread(), before + 2) << "refused, then sent as asked";
  before = winapi::adsi::testing::operationsSentByThisThread();
  lookUpAlice();
  EXPECT_EQ(winapi::adsi::testing::operationsSentByThisThread(), before + 1);

  Ptr<IADs> user;
  ASSERT_EQ(openAsBind(s.alice(), IID_IADsUser, user.put()), S_OK);
  Var loaded, account;
  LPWSTR accountName[] = {const_cast<LPWSTR>(u"sAMAccountName")};
  ASSERT_EQ(ADsBuildVarArrayStr(accountName, 1, &loaded.v), S_OK);
  ASSERT_EQ(user->GetInfoEx(loaded.v, 0), S_OK);
  ASSERT_EQ(user->Get(Bstr("sAMAccountName").b, &account.v), S_OK);
  EXPECT_EQ(narrow(account.v.bstrVal), "alice");
  EXPECT_EQ(winapi::adsi::testing::operationsSentByThisThread(), before + 1);
}

TEST_F(Search, DirectoryObjectReadsAndWritesAttributes) {
  Ptr<IDirectoryObject> alice;
  ASSERT_EQ(openAsBind(s.alice(), IID_IDirectoryObject, alice.put()), S_OK);
  LPWSTR names[] = {const_cast<LPWSTR>(u"cn"), const_cast<LPWSTR>(u"objectGUID"), const_cast<LPWSTR>(u"countryCode"),
                    const_cast<LPWSTR>(u"otherTelephone"), const_cast<LPWSTR>(u"facsimileTelephoneNumber")};
  ADS_ATTR_INFO* attributes = nullptr;
  DWORD count = 0;
  ASSERT_EQ(alice->GetObjectAttributes(names, 5, &attributes, &count), S_OK);
  ASSERT_EQ(count, 4u);
  EXPECT_EQ(narrow(attributes[0].pszAttrName), "cn");
  EXPECT_EQ(attributes[0].dwADsType, ADSTYPE_CASE_IGNORE_STRING);
  EXPECT_EQ(narrow(attributes[0].pADsValues[0].CaseIgnoreString), "Alice Liddell");
  EXPECT_EQ(attributes[1].dwADsType, ADSTYPE_OCTET_STRING);
  EXPECT_EQ(attributes[1].pADsValues[0].OctetString.dwLength, 16u);
  EXPECT_EQ(attributes[2].pADsValues[0].Integer, 276u);
  EXPECT_EQ(attributes[3].dwNumValues, 3u);
  EXPECT_TRUE(FreeADsMem(attributes));

  ADS_ATTR_INFO* all = nullptr;
  ASSERT_EQ(alice->GetObjectAttributes(nullptr, static_cast<DWORD>(-1), &all, &count), S_OK);
  EXPECT_GT(count, 20u);
  FreeADsMem(all);

  ADS_OBJECT_INFO* info = nullptr;
  ASSERT_EQ(alice->GetObjectInformation(&info), S_OK);
  EXPECT_EQ(narrow(info->pszRDN), "CN=Alice Liddell");
  EXPECT_EQ(narrow(info->pszClassName), "user");
  EXPECT_EQ(narrow(info->pszObjectDN), s.path(s.alice()));
  EXPECT_EQ(narrow(info->pszParentDN), s.path(s.people()));
  FreeADsMem(info);

  // orvbind may write wanda's attributes; dennis's deny ACE refuses it.
  Ptr<IDirectoryObject> wanda;
  ASSERT_EQ(openAsBind("CN=Wanda Writable,OU=Delegated,OU=Orvistal," + s.baseDn, IID_IDirectoryObject, wanda.put()),
            S_OK);
  std::u16string description = u"set through IDirectoryObject";
  ADSVALUE value{};
  value.dwType = ADSTYPE_CASE_IGNORE_STRING;
  value.CaseIgnoreString = &description[0];
  std::u16string attributeName = u"description";
  ADS_ATTR_INFO change{&attributeName[0], ADS_ATTR_UPDATE, ADSTYPE_CASE_IGNORE_STRING, &value, 1};
  DWORD modified = 0;
  ASSERT_EQ(wanda->SetObjectAttributes(&change, 1, &modified), S_OK);
  EXPECT_EQ(modified, 1u);
  LPWSTR one[] = {&attributeName[0]};
  ASSERT_EQ(wanda->GetObjectAttributes(one, 1, &attributes, &count), S_OK);
  ASSERT_EQ(count, 1u);
  EXPECT_EQ(narrow(attributes[0].pADsValues[0].CaseIgnoreString), "set through IDirectoryObject");
  FreeADsMem(attributes);

  Ptr<IDirectoryObject> dennis;
  ASSERT_EQ(openAsBind("CN=Dennis Denied,OU=Delegated,OU=Orvistal," + s.baseDn, IID_IDirectoryObject, dennis.put()),
            S_OK);
  EXPECT_EQ(dennis->SetObjectAttributes(&change, 1, &modified), E_ACCESSDENIED);
  EXPECT_EQ(modified, 0u);
  ADS_ATTR_INFO clear{&attributeName[0], ADS_ATTR_CLEAR, ADSTYPE_CASE_IGNORE_STRING, nullptr, 0};
  ASSERT_EQ(wanda->SetObjectAttributes(&clear, 1, &modified), S_OK);
}

TEST_F(Search, ContainersEnumerateTheirChildren) {
  Ptr<IADsContainer> machines;
  ASSERT_EQ(openAsBind("OU=Bulk,OU=Orvistal," + s.baseDn, IID_IADsContainer, machines.put()), S_OK);
  IEnumVARIANT* enumerator = nullptr;
  ASSERT_EQ(ADsBuildEnumerator(machines.get(), &enumerator), S_OK);
  size_t users = 0;
  for (;;) {
    VARIANT item;
    VariantInit(&item);
    ULONG fetched = 0;
    HRESULT hr = ADsEnumerateNext(enumerator, 1, &item, &fetched);
    if (hr != S_OK || fetched == 0) break;
    EXPECT_EQ(item.vt, VT_DISPATCH);
    Ptr<IADsUser> user;
    if (item.pdispVal->QueryInterface(IID_IADsUser, user.put()) == S_OK) ++users;
    VariantClear(&item);
  }
  EXPECT_EQ(users, 300u);
  EXPECT_EQ(ADsFreeEnumerator(enumerator), S_OK);
}

}  // namespace
