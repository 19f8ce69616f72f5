// Node searches and NetBIOS names against the test directory: every page of a large result,
// relative bases, filters with escapes, tombstones, the caller's limits, refused preferences.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <set>
#include <string>

#include "library/library_env.h"

using namespace librarytest;

namespace {

constexpr HRESULT sizeLimitExceeded = static_cast<HRESULT>(0x80072023);
constexpr HRESULT badFilter = static_cast<HRESULT>(0x8007203E);
constexpr HRESULT refusedPreference = static_cast<HRESULT>(0x80005011);  // S_ADS_ERRORSOCCURRED, top bit set
constexpr HRESULT noSuchObject = static_cast<HRESULT>(0x80072030);

std::u16string uniqueName(const char16_t* prefix) {
  static std::atomic<int> counter{0};
  return prefix + winapi::adsi::toUtf16(std::to_string(getpid()) + "-" + std::to_string(++counter));
}

class NodeSearch : public LibraryTest {
 protected:
  std::u16string bulk = u"OU=Bulk,OU=Orvistal," + base;
};

TEST_F(NodeSearch, EveryPageOfALargeResult) {
  StringList found;
  ASSERT_EQ(bound.searchNodes(bulk, u"(description=bulk user*)", &found), S_OK);
  std::set<std::u16string> distinct(found.begin(), found.end());
  EXPECT_EQ(found.count(), 300u);
  EXPECT_EQ(distinct.size(), 300u);
  EXPECT_EQ(distinct.count(u"CN=bulk0250," + bulk), 1u);

  // A base relative to the domain is completed with its naming context.
  StringList relative;
  ASSERT_EQ(bound.searchNodes(u"OU=Bulk,OU=Orvistal", u"(description=bulk user*)", &relative), S_OK);
  EXPECT_EQ(relative.count(), 300u);

  StringList none;
  EXPECT_EQ(bound.searchNodes(u"OU=Nowhere,OU=Orvistal", u"(objectClass=*)", &none), noSuchObject);
  EXPECT_EQ(none.count(), 0u);
}

TEST_F(NodeSearch, FiltersReachTheDirectoryWithTheirEscapes) {
  StringList zoe;
  // UTF-8 bytes of "Zoë Çelik" written as escapes.
  ASSERT_EQ(bound.searchNodes(people, u"(cn=Zo\\c3\\ab \\c3\\87elik)", &zoe), S_OK);
  ASSERT_EQ(zoe.count(), 1u);
  EXPECT_EQ(zoe[0], u"CN=Zoë Çelik," + people);

  StringList literalStar;
  ASSERT_EQ(bound.searchNodes(bulk, u"(description=bulk user \\2a)", &literalStar), S_OK);
  EXPECT_EQ(literalStar.count(), 0u) << "an escaped star is a star, not a wildcard";

  StringList comma;
  ASSERT_EQ(bound.searchNodes(people, u"(cn=Smith\\2c Jo)", &comma), S_OK);
  ASSERT_EQ(comma.count(), 1u);
  EXPECT_EQ(comma[0], u"CN=Smith\\, Jo," + people);

  StringList malformed;
  EXPECT_EQ(bound.searchNodes(people, u"(cn=unclosed", &malformed), badFilter);
  EXPECT_EQ(malformed.count(), 0u);
}

TEST_F(NodeSearch, ATombstoneIsFoundByItsFormerName) {
  std::u16string name = uniqueName(u"orvtomb-");
  std::u16string dn = u"CN=" + name + u"," + people;
  {
    ComPtr<IADsContainer> container;
    ASSERT_EQ(admin.bindContainer(people, container.put()), S_OK);
    UniqueBstr className = UniqueBstr::copyOf(u"user"), relative = UniqueBstr::copyOf(u"CN=" + name);
    ComPtr<IDispatch> created;
    ASSERT_EQ(container->Create(className.get(), relative.get(), created.put()), S_OK);
    ComPtr<IADs> user;
    ASSERT_EQ(created.queryTo(IID_IADs, &user), S_OK);
    UniqueBstr account = UniqueBstr::copyOf(u"sAMAccountName");
    UniqueVariant value;
    *value.get() = VARIANT{};
    value.get()->vt = VT_BSTR;
    value.get()->bstrVal = SysAllocString(name.c_str());
    ASSERT_EQ(user->Put(account.get(), *value.get()), S_OK);
    ASSERT_EQ(user->SetInfo(), S_OK);
    ComPtr<IADsDeleteOps> remove;
    ASSERT_EQ(user.queryTo(IID_IADsDeleteOps, &remove), S_OK);
    ASSERT_EQ(remove->DeleteObject(0), S_OK);
  }
  StringList tombstones;
  ASSERT_EQ(admin.searchDeletedNodes(u"(sAMAccountName=" + name + u")", &tombstones), S_OK);
  ASSERT_EQ(tombstones.count(), 1u);
  EXPECT_EQ(tombstones[0].rfind(u"CN=" + name + u"\\0ADEL:", 0), 0u) << winapi::adsi::toUtf8(tombstones[0]);
  EXPECT_NE(tombstones[0].find(u",CN=Deleted Objects," + base), std::u16string::npos);

  // The bind account sees what the directory shows it: no tombstone, and the container itself
  // without any attribute it may read, which is passed over.
  StringList seenByBind;
  ASSERT_EQ(bound.searchDeletedNodes(u"(sAMAccountName=" + name + u")", &seenByBind), S_OK);
  EXPECT_EQ(seenByBind.count(), 0u);
  StringList everything;
  EXPECT_EQ(bound.searchDeletedNodes(u"(isDeleted=TRUE)", &everything), S_OK);
  EXPECT_EQ(everything.count(), 0u);

  // A subtree search among tombstones also returns the Deleted Objects container itself.
  StringList all;
  ASSERT_EQ(admin.searchDeletedNodes(u"(isDeleted=TRUE)", &all), S_OK);
  std::set<std::u16string> names(all.begin(), all.end());
  EXPECT_EQ(names.count(u"CN=Deleted Objects," + base), 1u);
  EXPECT_EQ(names.count(tombstones[0]), 1u);
}

TEST_F(NodeSearch, FoundValuesKeepTheCallersSizeLimit) {
  StringList three;
  EXPECT_EQ(bound.findNodeValues(bulk, u"cn", u"(cn=bulk001*)", 3, 30, &three), sizeLimitExceeded);
  EXPECT_EQ(three.count(), 3u) << "ten matches, a limit of three";

  StringList exactly;
  EXPECT_EQ(bound.findNodeValues(bulk, u"cn", u"(|(cn=bulk0001)(cn=bulk0002)(cn=bulk0003))", 3, 30, &exactly), S_OK);
  EXPECT_EQ(exactly.count(), 3u);

  StringList unlimited;
  EXPECT_EQ(bound.findNodeValues(bulk, u"cn", u"(cn=bulk001*)", 0, 0, &unlimited), S_OK);
  EXPECT_EQ(unlimited.count(), 10u);

  for (LONG size : {-1, 3}) {
    LONG time = size < 0 ? 30 : -5;
    StringList refused;
    EXPECT_EQ(bound.findNodeValues(bulk, u"cn", u"(cn=bulk001*)", size, time, &refused), refusedPreference);
    EXPECT_EQ(refused.count(), 0u);
  }
}

// The base is not read before its search: a base the search finds missing is completed as a bind
// that failed would be, and a failure only a search gives is reported as it is.
TEST_F(NodeSearch, RelativeAndMissingBasesOfTheValueSearch) {
  std::u16string relative = u"OU=Bulk,OU=Orvistal";
  StringList three;
  EXPECT_EQ(bound.findNodeValues(relative, u"cn", u"(cn=bulk001*)", 3, 30, &three), sizeLimitExceeded);
  EXPECT_EQ(three.count(), 3u) << "the completed base's search keeps the caller's limit";

  StringList malformed;
  EXPECT_EQ(bound.findNodeValues(relative, u"cn", u"(cn=unclosed", 0, 0, &malformed), badFilter);
  EXPECT_EQ(bound.searchNodes(relative, u"(cn=unclosed", &malformed), badFilter);
  EXPECT_EQ(malformed.count(), 0u);

  StringList none;
  EXPECT_EQ(bound.findNodeValues(u"OU=Nowhere," + bulk, u"cn", u"(objectClass=*)", 0, 0, &none), noSuchObject);
  EXPECT_EQ(bound.searchNodes(u"OU=Nowhere," + bulk, u"(objectClass=*)", &none), noSuchObject);
  EXPECT_EQ(none.count(), 0u);
}

TEST_F(NodeSearch, FoundValuesAreTextsOfTheirColumns) {
  StringList guids;
  ASSERT_EQ(bound.findNodeValues(bulk, u"objectGUID", u"(cn=bulk001*)", 0, 0, &guids), S_OK);
  ASSERT_EQ(guids.count(), 10u);
  for (const std::u16string& guid : guids) {
    EXPECT_EQ(guid.size(), 32u);
    EXPECT_EQ(guid.find_first_not_of(u"0123456789abcdef"), std::u16string::npos);
  }
  StringList integers;
  EXPECT_EQ(bound.findNodeValues(bulk, u"userAccountControl", u"(cn=bulk001*)", 0, 0, &integers), S_OK);
  ASSERT_EQ(integers.count(), 10u) << "an integer renders in decimal";
  for (const std::u16string& flags : integers) EXPECT_EQ(flags, u"546");

  // bob has no mail: his row adds nothing and the walk goes on past him.
  StringList mails;
  HRESULT status = bound.findNodeValues(
      people, u"mail", u"(|(sAMAccountName=alice)(sAMAccountName=bob)(sAMAccountName=zoe)(sAMAccountName=erin))", 0,
      0, &mails);
  EXPECT_EQ(status, S_OK);
  EXPECT_EQ(mails.count(), 3u);
  for (const std::u16string& mail : mails) EXPECT_NE(mail.find(u"@orvistal.test"), std::u16string::npos);
}

TEST_F(NodeSearch, NetbiosNameOfADnsDomain) {
  std::u16string domain = env("ORVISTAL_TEST_DOMAIN");
  std::u16string upper;
  for (char16_t c : domain) upper += (c >= u'a' && c <= u'z') ? char16_t(c - u'a' + u'A') : c;
  std::u16string mixed = upper;
  mixed[1] = domain[1];
  for (const std::u16string& name : {domain, upper, mixed}) {
    std::u16string netbios;
    EXPECT_EQ(bound.getNetbiosDomain(name, &netbios), S_OK) << winapi::adsi::toUtf8(name);
    EXPECT_EQ(netbios, env("ORVISTAL_TEST_NETBIOS"));
  }
  for (const char16_t* unknown : {u"nowhere.test", u"*", u"*)(netbiosName=*", u""}) {
    std::u16string netbios = u"untouched";
    EXPECT_EQ(bound.getNetbiosDomain(unknown, &netbios), S_ADS_NOMORE_ROWS) << winapi::adsi::toUtf8(unknown);
    EXPECT_EQ(netbios, u"untouched");
  }
  std::u16string tooLong(256, u'a');
  std::u16string netbios;
  EXPECT_EQ(bound.getNetbiosDomain(tooLong, &netbios), E_INVALIDARG);
  EXPECT_EQ(bound.getNetbiosDomain(std::u16string(255, u'a'), &netbios), S_ADS_NOMORE_ROWS);
}

}  // namespace
