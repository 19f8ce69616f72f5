// Group membership and primary groups against the seeded groups.
#include "library/library_env.h"

using namespace librarytest;

namespace {

std::u16string lowerCase(std::u16string text) {
  for (char16_t& c : text)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  return text;
}

class Membership : public LibraryTest {
 protected:
  HRESULT isMember(const std::u16string& group, const std::u16string& member, VARIANT_BOOL* answer) {
    *answer = VARIANT_FALSE;
    return bound.isMemberOf(group, member, answer);
  }

  std::u16string alice = u"CN=Alice Liddell," + people;
  std::u16string patp = u"CN=Pat Primary," + people;
  std::u16string domainUsers = u"CN=Domain Users,CN=Users," + base;
  std::u16string ws01 = u"CN=WS01,OU=Machines,OU=Orvistal," + base;
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
  ASSERT_EQ(bound.getUserPrimaryGroup(alice, &group), S_OK);
  EXPECT_EQ(group, domainUsers);
  group.clear();
  ASSERT_EQ(bound.getUserPrimaryGroup(patp, &group), S_OK);
  EXPECT_EQ(group, u"CN=g-primary," + groups);
  group.clear();
  ASSERT_EQ(bound.getMachinePrimaryGroup(ws01, &group), S_OK);
  EXPECT_EQ(group, u"CN=Domain Computers,CN=Users," + base);

  // The domain part is found in "DC=" or "dc=", but not in mixed case.
  group.clear();
  ASSERT_EQ(bound.getUserPrimaryGroup(lowerCase(alice), &group), S_OK);
  EXPECT_EQ(group, domainUsers);
  std::u16string mixed = alice;
  mixed.replace(mixed.find(u"DC="), 3, u"Dc=");
  mixed.replace(mixed.find(u"DC="), 3, u"Dc=");
  group = u"untouched";
  EXPECT_EQ(bound.getUserPrimaryGroup(mixed, &group), E_ADS_BAD_PATHNAME);
  EXPECT_EQ(group, u"untouched");

  // A computer is a user; an object without primaryGroupID is not.
  EXPECT_EQ(bound.getUserPrimaryGroup(ws01, &group), S_OK);
  EXPECT_EQ(bound.getMachinePrimaryGroup(u"CN=g-devs," + groups, &group), E_ADS_PROPERTY_NOT_FOUND);
  EXPECT_EQ(bound.getUserPrimaryGroup(u"CN=Nobody," + people, &group), static_cast<HRESULT>(0x80072030));
}

}  // namespace
