// The rules that recognise a primary group: domain parts, SIDs across domains, the filter.
#include <gtest/gtest.h>

#include "groups/primary_group.h"

namespace {

// S-1-5-21-a-b-c-rid as bytes.
SidBytes domainSid(ULONG a, ULONG b, ULONG c, ULONG rid) {
  SidBytes sid = {1, 5, 0, 0, 0, 0, 0, 5};
  for (ULONG part : {ULONG{21}, a, b, c, rid})
    for (int i = 0; i < 4; ++i) sid.push_back(static_cast<BYTE>(part >> (8 * i)));
  return sid;
}

TEST(DomainPart, UpperCaseFirstThenLowerCaseNeverMixed) {
  WideString part;
  ASSERT_TRUE(domainPart(u"CN=Jo,OU=Staff,DC=alpha,DC=beta", &part));
  EXPECT_EQ(part, u"DC=alpha,DC=beta");
  ASSERT_TRUE(domainPart(u"cn=jo,ou=staff,dc=alpha,dc=beta", &part));
  EXPECT_EQ(part, u"dc=alpha,dc=beta");
  // "DC=" wins over an earlier "dc=".
  ASSERT_TRUE(domainPart(u"CN=adc=x,dc=alpha,DC=beta", &part));
  EXPECT_EQ(part, u"DC=beta");
  part = u"untouched";
  EXPECT_FALSE(domainPart(u"CN=Jo,Dc=alpha,dC=beta", &part));
  EXPECT_FALSE(domainPart(u"CN=Jo,OU=Staff", &part));
  EXPECT_EQ(part, u"untouched");
}

TEST(PrimaryGroupSid, TheMembersDomainFollowedByTheIdentifier) {
  SidBytes user = domainSid(111, 222, 333, 1105);
  SidBytes group;
  ASSERT_TRUE(primaryGroupSid(user, 513, &group));
  EXPECT_EQ(group, domainSid(111, 222, 333, 513));
  EXPECT_TRUE(isPrimaryGroupOf(user, 513, domainSid(111, 222, 333, 513)));
  // Domain Users of another domain of the forest has the same identifier 513.
  EXPECT_FALSE(isPrimaryGroupOf(user, 513, domainSid(111, 222, 334, 513)));
  EXPECT_FALSE(isPrimaryGroupOf(user, 513, domainSid(111, 222, 333, 514)));
  // A built-in group's SID has another shape altogether.
  EXPECT_FALSE(isPrimaryGroupOf(user, 545, {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x21, 2, 0, 0}));
  // Identifiers above 2^31 keep their bits.
  ASSERT_TRUE(primaryGroupSid(user, -2, &group));
  EXPECT_EQ(group, domainSid(111, 222, 333, 0xFFFFFFFEu));
}

TEST(PrimaryGroupSid, BytesThatAreNoSidMatchNothing) {
  SidBytes group;
  EXPECT_FALSE(primaryGroupSid({}, 513, &group));
  EXPECT_FALSE(primaryGroupSid({1, 0, 0, 0, 0, 0, 0, 5}, 513, &group)) << "no sub-authority to replace";
  SidBytes cut = domainSid(1, 2, 3, 4);
  cut.pop_back();
  EXPECT_FALSE(primaryGroupSid(cut, 513, &group));
  SidBytes wrongRevision = domainSid(1, 2, 3, 4);
  wrongRevision[0] = 2;
  EXPECT_FALSE(primaryGroupSid(wrongRevision, 513, &group));
  EXPECT_FALSE(isPrimaryGroupOf(cut, 513, cut));
}

TEST(PrimaryGroupFilter, EveryByteEscaped) {
  SidBytes sid = {1, 1, 0, 0, 0, 0, 0, 5, 0x2a, 0x28, 0x29, 0x5c};
  EXPECT_EQ(primaryGroupFilter(sid),
            u"(&(objectcategory=group)(objectClass=group)(objectSid=\\01\\01\\00\\00\\00\\00\\00\\05\\2a\\28\\29\\5c))");
}

TEST(VariantToBytes, OnlyByteArrays) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, 3);
  ASSERT_NE(array, nullptr);
  static_cast<BYTE*>(array->pvData)[0] = 7;
  static_cast<BYTE*>(array->pvData)[2] = 9;
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_ARRAY | VT_UI1;
  value.parray = array;
  SidBytes bytes;
  ASSERT_EQ(variantToBytes(value, &bytes), S_OK);
  EXPECT_EQ(bytes, (SidBytes{7, 0, 9}));
  EXPECT_EQ(VariantClear(&value), S_OK) << "the array is unlocked again";

  VARIANT number;
  VariantInit(&number);
  number.vt = VT_I4;
  number.lVal = 513;
  EXPECT_EQ(variantToBytes(number, &bytes), 8255);
}

}  // namespace
