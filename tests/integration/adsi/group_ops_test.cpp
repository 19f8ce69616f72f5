// IADsGroup::IsMember against the seeded groups: direct members only, by an LDAP compare.
#include "adsi/directory_env.h"

using namespace adsitest;

namespace {

class GroupOps : public DirectoryTest {
 protected:
  std::string group(const std::string& cn) const { return "CN=" + cn + ",OU=Groups,OU=Orvistal," + s.baseDn; }

  HRESULT isMember(const std::string& groupCn, const std::string& memberPath, VARIANT_BOOL* answer) {
    Ptr<IADsGroup> g;
    HRESULT hr = openAsBind(group(groupCn), IID_IADsGroup, g.put());
    if (FAILED(hr)) return hr;
    Bstr path(memberPath);
    *answer = 1;  // anything but the two booleans: the call must set it
    return g->IsMember(path.b, answer);
  }
};

TEST_F(GroupOps, DirectMembersOnly) {
  VARIANT_BOOL answer;
  EXPECT_EQ(isMember("g-devs", s.path(s.alice()), &answer), S_OK);
  EXPECT_EQ(answer, VARIANT_TRUE);
  // Names compare as the directory compares them, whatever their letter case.
  std::string lower = "LDAP://" + s.server + "/cn=alice liddell,ou=people,ou=orvistal," + s.baseDn;
  EXPECT_EQ(isMember("g-devs", lower, &answer), S_OK);
  EXPECT_EQ(answer, VARIANT_TRUE);
  EXPECT_EQ(isMember("g-local", s.path("CN=Smith\\, Jo," + s.people()), &answer), S_OK);
  EXPECT_EQ(answer, VARIANT_TRUE);
  // The last of 300 members: no cut of a long member list hides it.
  EXPECT_EQ(isMember("g-big", s.path("CN=bulk0300,OU=Bulk,OU=Orvistal," + s.baseDn), &answer), S_OK);
  EXPECT_EQ(answer, VARIANT_TRUE);

  // alice is in g-staff only through g-devs; patp's primary group never lists him.
  EXPECT_EQ(isMember("g-staff", s.path(s.alice()), &answer), S_OK);
  EXPECT_EQ(answer, VARIANT_FALSE);
  EXPECT_EQ(isMember("g-primary", s.path("CN=Pat Primary," + s.people()), &answer), S_OK);
  EXPECT_EQ(answer, VARIANT_FALSE);
}

TEST_F(GroupOps, NoMemberIsFalseNotAFailure) {
  VARIANT_BOOL answer;
  EXPECT_EQ(isMember("g-empty", s.path(s.alice()), &answer), S_OK);
  EXPECT_EQ(answer, VARIANT_FALSE);
  EXPECT_EQ(isMember("g-devs", s.path("CN=Nobody At All," + s.people()), &answer), S_OK);
  EXPECT_EQ(answer, VARIANT_FALSE);
  // A name full of filter syntax is only ever a value to compare.
  EXPECT_EQ(isMember("g-devs", s.path("CN=*," + s.people()), &answer), S_OK);
  EXPECT_EQ(answer, VARIANT_FALSE);
  EXPECT_EQ(isMember("g-devs", s.path("CN=Alice*," + s.people()), &answer), S_OK);
  EXPECT_EQ(answer, VARIANT_FALSE);
  EXPECT_EQ(isMember("g-devs", s.path("CN=Smith\\, Jo," + s.people()), &answer), S_OK);
  EXPECT_EQ(answer, VARIANT_FALSE);
  EXPECT_EQ(isMember("g-devs", "not a path", &answer), E_ADS_BAD_PATHNAME);
  EXPECT_EQ(answer, VARIANT_FALSE);
}

}  // namespace
