// SIDs in binary and text form, and SDDL for descriptors.
#include <cstring>

#include "authz/sddl_text.h"
#include "authz_test_support.h"

using namespace authz_test;

namespace {

std::string sidText(PSID sid) {
  LPWSTR text = nullptr;
  EXPECT_TRUE(ConvertSidToStringSidW(sid, &text));
  std::string result = text ? narrow(text) : "";
  LocalFree(text);
  return result;
}

LocalBlock sidFromString(const std::string& text) {
  PSID sid = nullptr;
  std::u16string wideText = wide(text);
  ConvertStringSidToSidW(wideText.c_str(), &sid);
  return LocalBlock(sid);
}

std::string sddlOf(PSECURITY_DESCRIPTOR descriptor, SECURITY_INFORMATION information = 0xF) {
  LPWSTR text = nullptr;
  ULONG length = 0;
  EXPECT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, information, &text,
                                                                   &length));
  std::string result = narrow(text);
  EXPECT_EQ(length, result.size() + 1);
  LocalFree(text);
  return result;
}

}  // namespace

// ---- SIDs ------------------------------------------------------------------------------------

TEST(Sid, BinaryLayoutHasABigEndianAuthorityAndLittleEndianSubAuthorities) {
  LocalBlock sid = sidFromString("S-1-5-21-1-4294967295");
  ASSERT_NE(sid.get(), nullptr);
  const BYTE expected[] = {1, 3, 0, 0, 0, 0, 0, 5, 21, 0, 0, 0, 1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF};
  ASSERT_EQ(GetLengthSid(sid.get()), sizeof expected);
  EXPECT_EQ(std::memcmp(sid.get(), expected, sizeof expected), 0);
}

TEST(Sid, TextRoundTrips) {
  for (const char* text : {"S-1-0-0", "S-1-1-0", "S-1-5-10", "S-1-5-32-544", "S-1-5-21-3623811015-3361044348-30300820-1013",
                           "S-1-16-12288", "S-1-5", "S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15"}) {
    LocalBlock sid = sidFromString(text);
    ASSERT_NE(sid.get(), nullptr) << text;
    EXPECT_TRUE(IsValidSid(sid.get()));
    EXPECT_EQ(sidText(sid.get()), text);
  }
}

TEST(Sid, AnAuthorityOfTwoToTheThirtySecondOrMoreIsWrittenInHex) {
  LocalBlock sid = sidFromString("S-1-0x123456789ABC-7");
  ASSERT_NE(sid.get(), nullptr);
  EXPECT_EQ(sidText(sid.get()), "S-1-0x123456789ABC-7");
  EXPECT_EQ(sidText(sidFromString("S-1-0x5-7").get()), "S-1-5-7");
}

TEST(Sid, MalformedTextIsRefused) {
  for (const char* text : {"", "S", "S-", "S-1", "S-2-5-7", "S-1-5-", "S-1--5", "S-1-5-x", "X-1-5-7", "S-1-5-4294967296",
                           "S-1-281474976710656-1", "S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15-16", "S-1-5-7 "}) {
    PSID sid = nullptr;
    std::u16string wideText = wide(text);
    SetLastError(0);
    EXPECT_FALSE(ConvertStringSidToSidW(wideText.c_str(), &sid)) << text;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_SID)) << text;
  }
}

TEST(Sid, WellKnownAliasesNameTheirSids) {
  struct Row { const char* alias; const char* sid; } rows[] = {
      {"WD", "S-1-1-0"}, {"CO", "S-1-3-0"}, {"OW", "S-1-3-4"}, {"PS", "S-1-5-10"}, {"AU", "S-1-5-11"},
      {"SY", "S-1-5-18"}, {"BA", "S-1-5-32-544"}, {"BU", "S-1-5-32-545"}, {"AN", "S-1-5-7"}, {"ED", "S-1-5-9"},
  };
  for (const Row& row : rows) {
    LocalBlock sid = sidFromString(row.alias);
    ASSERT_NE(sid.get(), nullptr) << row.alias;
    EXPECT_EQ(sidText(sid.get()), row.sid);
    authz::SidBytes bytes = sidFrom(row.sid);
    EXPECT_EQ(authz::sidToSddl(bytes.data()), row.alias);
  }
}

TEST(Sid, DomainAliasesNeedTheDomain) {
  EXPECT_EQ(sidFromString("DA").get(), nullptr);
  authz::setSddlDomainSid(sidFrom("S-1-5-21-1000-2000-3000"));
  EXPECT_EQ(sidText(sidFromString("DA").get()), "S-1-5-21-1000-2000-3000-512");
  EXPECT_EQ(sidText(sidFromString("DU").get()), "S-1-5-21-1000-2000-3000-513");
  EXPECT_EQ(sidText(sidFromString("LA").get()), "S-1-5-21-1000-2000-3000-500");
  authz::SidBytes admins = sidFrom("S-1-5-21-1000-2000-3000-512");
  EXPECT_EQ(authz::sidToSddl(admins.data()), "DA");
  authz::clearSddlDomainSid();
  EXPECT_EQ(authz::sidToSddl(admins.data()), "S-1-5-21-1000-2000-3000-512");
}

TEST(Sid, EqualityCopyAndLength) {
  LocalBlock a = sidFromString("S-1-5-32-544"), b = sidFromString("S-1-5-32-544"), c = sidFromString("S-1-5-32-545"),
             d = sidFromString("S-1-5-32");
  EXPECT_TRUE(EqualSid(a.get(), b.get()));
  EXPECT_FALSE(EqualSid(a.get(), c.get()));
  EXPECT_FALSE(EqualSid(a.get(), d.get()));
  BYTE buffer[SECURITY_MAX_SID_SIZE];
  EXPECT_FALSE(CopySid(15, buffer, a.get()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  ASSERT_TRUE(CopySid(sizeof buffer, buffer, a.get()));
  EXPECT_TRUE(EqualSid(buffer, a.get()));
  BYTE invalid[8] = {1, 16, 0, 0, 0, 0, 0, 5};
  EXPECT_FALSE(IsValidSid(invalid));
  EXPECT_FALSE(EqualSid(invalid, a.get()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_SID));
}

TEST(Sid, AllocateAndInitializeBuildsTheSid) {
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID sid = nullptr;
  ASSERT_TRUE(AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                       &sid));
  EXPECT_EQ(sidText(sid), "S-1-5-32-544");
  EXPECT_EQ(*GetSidSubAuthorityCount(sid), 2);
  FreeSid(sid);
}

// ---- Rights, flags and entry types -----------------------------------------------------------

TEST(Sddl, EachRightLetterHasItsValue) {
  struct Row { const char* letters; DWORD mask; } rows[] = {
      {"CC", 0x1}, {"DC", 0x2}, {"LC", 0x4}, {"SW", 0x8}, {"RP", 0x10}, {"WP", 0x20}, {"DT", 0x40}, {"LO", 0x80},
      {"CR", 0x100}, {"SD", 0x10000}, {"RC", 0x20000}, {"WD", 0x40000}, {"WO", 0x80000}, {"GA", 0x10000000},
      {"GX", 0x20000000}, {"GW", 0x40000000}, {"GR", 0x80000000}, {"FA", 0x1F01FF}, {"KA", 0xF003F},
      {"RPWPCR", 0x130}, {"0x1200a9", 0x1200a9}, {"256", 0x100},
  };
  for (const Row& row : rows) {
    ACCESS_MASK mask = 0;
    EXPECT_TRUE(authz::rightsFromSddl(row.letters, mask)) << row.letters;
    EXPECT_EQ(mask, row.mask) << row.letters;
  }
}

TEST(Sddl, MasksAreWrittenAsLettersWhenEveryBitHasOne) {
  EXPECT_EQ(authz::rightsToSddl(0x000F01FF), "RPWPCRCCDCLCLORCWOWDSDDTSW");
  EXPECT_EQ(authz::rightsToSddl(0x001F01FF), "FA");
  EXPECT_EQ(authz::rightsToSddl(GENERIC_ALL), "GA");
  EXPECT_EQ(authz::rightsToSddl(0x00100010), "0x100010");
  EXPECT_EQ(authz::rightsToSddl(0), "0x0");
}

TEST(Sddl, DescriptorsRoundTripThroughText) {
  for (const char* text : {
           "O:BAG:SYD:(A;;RPWP;;;AU)",
           "O:SYG:SYD:PAI(D;OICI;WD;;;WD)(A;CIIOID;GA;;;CO)",
           "O:BAG:BAD:(OA;;CR;00299570-246d-11d0-a768-00aa006e0529;;PS)(OD;CI;WP;bf967a49-0de6-11d0-a285-00aa003049e2;"
           "bf967aba-0de6-11d0-a285-00aa003049e2;S-1-5-21-1-2-3-1105)",
           "O:BAG:BAD:NO_ACCESS_CONTROL",
           "O:BAG:BAD:",
           "O:BAG:BAD:ARAI(A;NP;0x100010;;;OW)S:(AU;SAFA;WPWD;;;WD)(OU;SA;CR;ab721a53-1e2f-11d0-9819-00aa0040529b;;WD)",
           "G:BA",
       }) {
    LocalBlock descriptor = descriptorFrom(text);
    ASSERT_NE(descriptor.get(), nullptr) << text;
    EXPECT_TRUE(IsValidSecurityDescriptor(descriptor.get())) << text;
    EXPECT_EQ(sddlOf(descriptor.get()), text);
  }
}

TEST(Sddl, TheSecurityInformationSelectsTheParts) {
  LocalBlock descriptor = descriptorFrom("O:BAG:SYD:(A;;RP;;;WD)S:(AU;SA;WP;;;WD)");
  EXPECT_EQ(sddlOf(descriptor.get(), OWNER_SECURITY_INFORMATION), "O:BA");
  EXPECT_EQ(sddlOf(descriptor.get(), GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION), "G:SYD:(A;;RP;;;WD)");
  EXPECT_EQ(sddlOf(descriptor.get(), SACL_SECURITY_INFORMATION), "S:(AU;SA;WP;;;WD)");
}

TEST(Sddl, TheAclRevisionFollowsTheEntryKinds) {
  LocalBlock plain = descriptorFrom("O:BAG:BAD:(A;;RP;;;WD)");
  LocalBlock object = descriptorFrom("O:BAG:BAD:(A;;RP;;;WD)(OA;;RP;;;WD)");
  PACL acl = nullptr;
  BOOL present = FALSE, defaulted = FALSE;
  ASSERT_TRUE(GetSecurityDescriptorDacl(plain.get(), &present, &acl, &defaulted));
  EXPECT_EQ(acl->AclRevision, ACL_REVISION);
  ASSERT_TRUE(GetSecurityDescriptorDacl(object.get(), &present, &acl, &defaulted));
  EXPECT_EQ(acl->AclRevision, ACL_REVISION_DS);
}

TEST(Sddl, FlagsAndTypesHaveTheirValues) {
  LocalBlock descriptor = descriptorFrom("O:BAG:BAD:(D;OICINPIOID;RP;;;WD)S:(AU;SAFA;RP;;;WD)(AL;;RP;;;WD)");
  PACL dacl = nullptr, sacl = nullptr;
  BOOL present = FALSE, defaulted = FALSE;
  ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor.get(), &present, &dacl, &defaulted));
  ASSERT_TRUE(GetSecurityDescriptorSacl(descriptor.get(), &present, &sacl, &defaulted));
  LPVOID ace = nullptr;
  ASSERT_TRUE(GetAce(dacl, 0, &ace));
  EXPECT_EQ(static_cast<ACE_HEADER*>(ace)->AceType, ACCESS_DENIED_ACE_TYPE);
  EXPECT_EQ(static_cast<ACE_HEADER*>(ace)->AceFlags, 0x1F);
  ASSERT_TRUE(GetAce(sacl, 0, &ace));
  EXPECT_EQ(static_cast<ACE_HEADER*>(ace)->AceFlags, SUCCESSFUL_ACCESS_ACE_FLAG | FAILED_ACCESS_ACE_FLAG);
  ASSERT_TRUE(GetAce(sacl, 1, &ace));
  EXPECT_EQ(static_cast<ACE_HEADER*>(ace)->AceType, SYSTEM_ALARM_ACE_TYPE);
  EXPECT_FALSE(GetAce(sacl, 2, &ace));
}

TEST(Sddl, MalformedTextIsRefused) {
  struct Row { const char* text; DWORD error; } rows[] = {
      {"X:BA", ERROR_INVALID_PARAMETER},
      {"O:BAO:SY", ERROR_INVALID_PARAMETER},
      {"O:QQ", ERROR_NONE_MAPPED},
      {"O:S-1-5-x", ERROR_INVALID_PARAMETER},
      {"D:(A;;RP;;;WD", ERROR_INVALID_PARAMETER},
      {"D:(A;;RP;;WD)", ERROR_INVALID_PARAMETER},
      {"D:(Q;;RP;;;WD)", ERROR_INVALID_PARAMETER},
      {"D:(A;XX;RP;;;WD)", ERROR_INVALID_PARAMETER},
      {"D:(A;;QQ;;;WD)", ERROR_INVALID_PARAMETER},
      {"D:(A;;;;;WD)", ERROR_INVALID_PARAMETER},
      {"D:(A;;0x100000000;;;WD)", ERROR_INVALID_PARAMETER},
      {"D:(A;;RP;bf967aba-0de6-11d0-a285-00aa003049e2;;WD)", ERROR_INVALID_PARAMETER},
      {"D:(OA;;RP;bf967aba-0de6-11d0-a285;;WD)", ERROR_INVALID_PARAMETER},
      {"D:(OA;;RP;zf967aba-0de6-11d0-a285-00aa003049e2;;WD)", ERROR_INVALID_PARAMETER},
      {"D:NO_ACCESS_CONTROL(A;;RP;;;WD)", ERROR_INVALID_PARAMETER},
      {"D:Q(A;;RP;;;WD)", ERROR_INVALID_PARAMETER},
      {"D:(A;;RP;;;WD)x", ERROR_INVALID_PARAMETER},
  };
  for (const Row& row : rows) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    std::u16string text = wide(row.text);
    SetLastError(0);
    EXPECT_FALSE(ConvertStringSecurityDescriptorToSecurityDescriptorW(text.c_str(), SDDL_REVISION_1, &descriptor,
                                                                      nullptr))
        << row.text;
    EXPECT_EQ(GetLastError(), row.error) << row.text;
  }
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  EXPECT_FALSE(ConvertStringSecurityDescriptorToSecurityDescriptorW(u"O:BA", 2, &descriptor, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_UNKNOWN_REVISION));
  EXPECT_FALSE(ConvertStringSecurityDescriptorToSecurityDescriptorW(u"O:B\u00c4", SDDL_REVISION_1, &descriptor, nullptr));
}

TEST(Sddl, TheReportedSizeIsTheDescriptorLength) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ULONG size = 0;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(u"O:BAG:BAD:(A;;RP;;;WD)", SDDL_REVISION_1,
                                                                   &descriptor, &size));
  EXPECT_EQ(size, GetSecurityDescriptorLength(descriptor));
  EXPECT_EQ(size, 20u + 8 + 20 + 16 + 16);
  LocalFree(descriptor);
}
