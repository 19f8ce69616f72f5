// The library's first-entry search and relative-name completion against the test directory.
#include <gtest/gtest.h>

#include <cstdlib>

#include "adsi/text.h"
#include "directory/adsi_context.h"

namespace {

std::u16string env(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::u16string() : winapi::adsi::toUtf16(value);
}

class SearchFirstEntry : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(env("ORVISTAL_TEST_SERVER").empty()) << "the test directory's environment is not set";
  }

  AdsiContext context{env("ORVISTAL_TEST_BIND_USER"), env("ORVISTAL_TEST_BIND_PASSWORD"), env("ORVISTAL_TEST_SERVER"),
                      false};
  std::u16string base = env("ORVISTAL_TEST_BASE_DN");
  std::u16string aliceFilter = u"(&(objectClass=user)(sAMAccountName=alice))";

  StringList names(std::initializer_list<const char16_t*> list) {
    StringList result;
    for (const char16_t* name : list) result.append(name);
    return result;
  }
};

TEST_F(SearchFirstEntry, MissingFirstOrLastAttributeDecidesTheStatus) {
  StringList values;
  EXPECT_EQ(context.searchFirstEntry(base, aliceFilter, names({u"noSuchValueHere", u"sAMAccountName"}), &values), S_OK);
  ASSERT_EQ(values.count(), 2u);
  EXPECT_EQ(values[0], u"");
  EXPECT_EQ(values[1], u"alice");

  StringList reversed;
  HRESULT status = context.searchFirstEntry(base, aliceFilter, names({u"sAMAccountName", u"facsimileTelephoneNumber"}),
                                            &reversed);
  EXPECT_EQ(status, E_ADS_COLUMN_NOT_SET);
  ASSERT_EQ(reversed.count(), 2u);
  EXPECT_EQ(reversed[0], u"alice");
  EXPECT_EQ(reversed[1], u"");
}

TEST_F(SearchFirstEntry, ValueTextsFollowTheirTypes) {
  StringList values;
  ASSERT_EQ(context.searchFirstEntry(base, aliceFilter,
                                     names({u"objectGUID", u"otherTelephone", u"countryCode", u"distinguishedName",
                                            u"objectSid"}),
                                     &values),
            S_OK);
  ASSERT_EQ(values.count(), 5u);
  EXPECT_EQ(values[0].size(), 32u) << "a GUID is 32 hexadecimal digits";
  EXPECT_EQ(values[0].find_first_not_of(u"0123456789abcdef"), std::u16string::npos);
  EXPECT_EQ(values[1].rfind(u"+1 555 010", 0), 0u) << "one of the multi-valued attribute's values";
  EXPECT_EQ(values[2], u"276") << "an integer in decimal";
  EXPECT_EQ(values[3], u"CN=Alice Liddell,OU=People,OU=Orvistal," + base);
  EXPECT_EQ(values[4].rfind(u"010500000000000515000000", 0), 0u) << "a domain account's SID as bytes";
}

TEST_F(SearchFirstEntry, NoMatchAndEmptyAttributeList) {
  StringList values;
  EXPECT_EQ(context.searchFirstEntry(base, u"(sAMAccountName=nobody-here)", names({u"cn"}), &values),
            S_ADS_NOMORE_ROWS);
  EXPECT_EQ(values.count(), 0u);
  EXPECT_EQ(context.searchFirstEntry(base, aliceFilter, StringList(), &values), S_OK);
  EXPECT_EQ(values.count(), 0u);
}

TEST_F(SearchFirstEntry, RelativeBaseIsCompletedWithTheDomain) {
  StringList values;
  EXPECT_EQ(context.searchFirstEntry(u"OU=People,OU=Orvistal", aliceFilter, names({u"cn"}), &values), S_OK);
  ASSERT_EQ(values.count(), 1u);
  EXPECT_EQ(values[0], u"Alice Liddell");

  ComPtr<IDirectorySearch> search;
  EXPECT_EQ(context.openSearch(u"OU=Nowhere,OU=Orvistal", search.put()), static_cast<HRESULT>(0x80072030))
      << "the completed name does not exist either";
  StringList none;
  EXPECT_EQ(context.searchFirstEntry(u"OU=Nowhere,OU=Orvistal", aliceFilter, names({u"cn"}), &none),
            static_cast<HRESULT>(0x80072030));
  EXPECT_EQ(none.count(), 0u);
}

TEST_F(SearchFirstEntry, FailedBindsReportTheFallbacksStatus) {
  AdsiContext wrongPassword(env("ORVISTAL_TEST_BIND_USER"), u"wrong", env("ORVISTAL_TEST_SERVER"), false);
  StringList values;
  EXPECT_EQ(wrongPassword.searchFirstEntry(base, aliceFilter, names({u"cn"}), &values),
            static_cast<HRESULT>(0x8007052E));
  EXPECT_EQ(values.count(), 0u);
}

}  // namespace
