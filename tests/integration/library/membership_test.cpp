// Group membership and primary groups against the seeded groups.
#include <gtest/gtest.h>

#include <cstdlib>

#include "adsi/text.h"
#include "directory/adsi_context.h"

namespace {

std::u16string env(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::u16string() : winapi::adsi::toUtf16(value);
}

std::u16string lowerCase(std::u16string text) {
  for (char16_t& c : text)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  return text;
}

class Membership : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(env("ORVISTAL_TEST_SERVER").empty()) << "the test directory's environment is not set";
    comResult_ = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  }
  void TearDown() override {
    if (comResult_ == S_OK || comResult_ == S_FALSE) CoUninitialize();
  }

  HRESULT isMember(const std::u16string& group, const std::u16string& member, VARIANT_BOOL* answer) {
    *answer = VARIANT_FALSE;
    return context.isMemberOf(group, member, answer);
  }

  AdsiContext context{env("ORVISTAL_TEST_BIND_USER"), env("ORVISTAL_TEST_BIND_PASSWORD"), env("ORVISTAL_TEST_SERVER"),
                      false};
  std::u16string base = env("ORVISTAL_TEST_BASE_DN");
  std::u16string people = u"OU=People,OU=Orvistal," + base;
  std::u16string groups = u"OU=Groups,OU=Orvistal," + base;
  std::u16string alice = u"CN=Alice Liddell," + people;
  std::u16string patp = u"CN=Pat Primary," + people;
  std::u16string domainUsers = u"CN=Domain Users,CN=Users," + base;
  std::u16string ws01 = u"CN=WS01,OU=Machines,OU=Orvistal," + base;

 private:
  HRESULT comResult_ = E_FAIL;
};

TEST_F(Membership, DirectAndPrimaryGroupsButNotNestedOnes) {
  VARIANT_BOOL answer;
  EXPECT_EQ(isMember(u"CN=g-devs," + groups, alice, &answer), S_OK);
  EXPECT_EQ(answer, VARIANT_TRUE);
  EXPECT_EQ(isMember(u"CN=g-staff," + groups, alice, &answer), S_OK);
  EXPECT_EQ(answer, VARIANT_FALSE) << "only through g-devs";
  // Primary groups: never in the member list, found by identifier and domain SID.
  EXPECT_EQ(isMember(domainUsers, alice, &answer), S_OK);
  EXPECT_EQ(answer, VARIANT_TRUE);
  EXPECT_EQ(isMember(u"CN=g-primary," + groups, patp, &answer), S_OK);
  EXPECT_EQ(answer, VARIANT_TRUE);
  EXPECT_EQ(isMember(u"CN=g-empty," + groups, alice, &answer), S_OK);
  EXPECT_EQ(answer, VARIANT_FALSE);
}

TEST_F(Membership, MembersMustBeUsersThatExist) {
  VARIANT_BOOL answer;
  // A group as the member: the user bind refuses it.
  EXPECT_EQ(isMember(u"CN=g-staff," + groups, u"CN=g-devs," + groups, &answer), E_NOINTERFACE);
  EXPECT_EQ(answer, VARIANT_FALSE);
  EXPECT_EQ(isMember(u"CN=g-devs," + groups, u"CN=Nobody," + people, &answer), static_cast<HRESULT>(0x80072030));
  EXPECT_EQ(answer, VARIANT_FALSE);
  EXPECT_EQ(isMember(u"CN=g-nothere," + groups, alice, &answer), static_cast<HRESULT>(0x80072030));
  EXPECT_EQ(answer, VARIANT_FALSE);
  // A user is not a group.
  EXPECT_EQ(isMember(alice, alice, &answer), E_NOINTERFACE);
}

TEST_F(Membership, PrimaryGroupsOfUsersAndMachines) {
  std::u16string group;
  ASSERT_EQ(context.getUserPrimaryGroup(alice, &group), S_OK);
  EXPECT_EQ(group, domainUsers);
  group.clear();
  ASSERT_EQ(context.getUserPrimaryGroup(patp, &group), S_OK);
  EXPECT_EQ(group, u"CN=g-primary," + groups);
  group.clear();
  ASSERT_EQ(context.getMachinePrimaryGroup(ws01, &group), S_OK);
  EXPECT_EQ(group, u"CN=Domain Computers,CN=Users," + base);

  // The domain part is found in "DC=" or "dc=", but not in mixed case.
  group.clear();
  ASSERT_EQ(context.getUserPrimaryGroup(lowerCase(alice), &group), S_OK);
  EXPECT_EQ(group, domainUsers);
  std::u16string mixed = alice;
  mixed.replace(mixed.find(u"DC="), 3, u"Dc=");
  mixed.replace(mixed.find(u"DC="), 3, u"Dc=");
  group = u"untouched";
  EXPECT_EQ(context.getUserPrimaryGroup(mixed, &group), E_ADS_BAD_PATHNAME);
  EXPECT_EQ(group, u"untouched");

  // A computer is a user; an object without primaryGroupID is not.
  EXPECT_EQ(context.getUserPrimaryGroup(ws01, &group), S_OK);
  EXPECT_EQ(context.getMachinePrimaryGroup(u"CN=g-devs," + groups, &group), E_ADS_PROPERTY_NOT_FOUND);
  EXPECT_EQ(context.getUserPrimaryGroup(u"CN=Nobody," + people, &group), static_cast<HRESULT>(0x80072030));
}

}  // namespace
