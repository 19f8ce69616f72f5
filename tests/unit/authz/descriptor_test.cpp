// Security descriptors: the self-relative layout, the two forms and their conversions, and
// the refusal of malformed bytes without reading past them.
#include <cstring>
#include <vector>

#include "authz/acl.h"
#include "authz/security_descriptor.h"
#include "authz_test_support.h"

using namespace authz_test;

namespace {

const std::string kSample =
    "O:S-1-5-21-1000-2000-3000-1105G:BAD:AI(A;;RPWP;;;AU)(OA;CI;CR;00299570-246d-11d0-a768-00aa006e0529;"
    "bf967aba-0de6-11d0-a285-00aa003049e2;PS)S:(AU;SA;WP;;;WD)";

std::vector<BYTE> bytesOf(const LocalBlock& block) {
  DWORD length = GetSecurityDescriptorLength(block.get());
  const BYTE* start = static_cast<const BYTE*>(block.get());
  return std::vector<BYTE>(start, start + length);
}

DWORD offsetField(const std::vector<BYTE>& descriptor, size_t at) { return authz::readDword(&descriptor[at]); }

// The five buffers of an absolute descriptor, owned together.
struct AbsoluteDescriptor {
  std::vector<BYTE> header, dacl, sacl, owner, group;
  PSECURITY_DESCRIPTOR get() { return header.data(); }
};

BOOL makeAbsolute(PSECURITY_DESCRIPTOR selfRelative, AbsoluteDescriptor& out) {
  DWORD sizes[5] = {};
  if (MakeAbsoluteSD(selfRelative, nullptr, &sizes[0], nullptr, &sizes[1], nullptr, &sizes[2], nullptr, &sizes[3],
                     nullptr, &sizes[4]))
    return FALSE;
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return FALSE;
  out.header.resize(sizes[0]);
  out.dacl.resize(sizes[1]);
  out.sacl.resize(sizes[2]);
  out.owner.resize(sizes[3]);
  out.group.resize(sizes[4]);
  auto orNull = [](std::vector<BYTE>& v) -> BYTE* { return v.empty() ? nullptr : v.data(); };
  return MakeAbsoluteSD(selfRelative, out.header.data(), &sizes[0], reinterpret_cast<PACL>(orNull(out.dacl)), &sizes[1],
                        reinterpret_cast<PACL>(orNull(out.sacl)), &sizes[2], orNull(out.owner), &sizes[3],
                        orNull(out.group), &sizes[4]);
}

}  // namespace

TEST(DescriptorLayout, SelfRelativeHeaderAndPartOrder) {
  LocalBlock block = descriptorFrom(kSample);
  std::vector<BYTE> bytes = bytesOf(block);
  ASSERT_GE(bytes.size(), 20u);
  EXPECT_EQ(bytes[0], 1);
  WORD control = authz::readWord(&bytes[2]);
  EXPECT_EQ(control, SE_SELF_RELATIVE | SE_DACL_PRESENT | SE_SACL_PRESENT | SE_DACL_AUTO_INHERITED);
  // SACL, DACL, owner, group, packed after the 20-byte header.
  DWORD owner = offsetField(bytes, 4), group = offsetField(bytes, 8), sacl = offsetField(bytes, 12),
        dacl = offsetField(bytes, 16);
  EXPECT_EQ(sacl, 20u);
  EXPECT_EQ(dacl, sacl + authz::readWord(&bytes[sacl + 2]));
  EXPECT_EQ(owner, dacl + authz::readWord(&bytes[dacl + 2]));
  EXPECT_EQ(group, owner + 8 + 4 * bytes[owner + 1]);
  EXPECT_EQ(bytes.size(), group + 8 + 4 * bytes[group + 1]);
}

TEST(DescriptorLayout, ObjectEntryCarriesFlagsGuidsAndThenTheSid) {
  LocalBlock block = descriptorFrom(kSample);
  PACL dacl = nullptr;
  BOOL present = FALSE, defaulted = TRUE;
  ASSERT_TRUE(GetSecurityDescriptorDacl(block.get(), &present, &dacl, &defaulted));
  const BYTE* acl = reinterpret_cast<const BYTE*>(dacl);
  EXPECT_EQ(acl[0], ACL_REVISION_DS);
  EXPECT_EQ(authz::aceCount(acl), 2);
  const BYTE* ace = acl + 8 + authz::readWord(acl + 8 + 2);
  EXPECT_EQ(ace[0], ACCESS_ALLOWED_OBJECT_ACE_TYPE);
  EXPECT_EQ(ace[1], CONTAINER_INHERIT_ACE);
  EXPECT_EQ(authz::readWord(ace + 2), 12 + 16 + 16 + 12);
  EXPECT_EQ(authz::readDword(ace + 4), static_cast<DWORD>(ACTRL_DS_CONTROL_ACCESS));
  EXPECT_EQ(authz::readDword(ace + 8), static_cast<DWORD>(ACE_OBJECT_TYPE_PRESENT | ACE_INHERITED_OBJECT_TYPE_PRESENT));
  // Reset Password's GUID: the first three fields little-endian, then the bytes as written.
  const BYTE expectedObjectType[16] = {0x70, 0x95, 0x29, 0x00, 0x6d, 0x24, 0xd0, 0x11,
                                       0xa7, 0x68, 0x00, 0xaa, 0x00, 0x6e, 0x05, 0x29};
  EXPECT_EQ(std::memcmp(ace + 12, expectedObjectType, 16), 0);
  EXPECT_EQ(authz::sidToText(ace + 44), "S-1-5-10");
}

TEST(DescriptorLayout, AnObjectEntryWithOnlyTheInheritedTypeHasItsSidAfterOneGuid) {
  LocalBlock block = descriptorFrom("O:BAG:BAD:(OA;;RP;;bf967aba-0de6-11d0-a285-00aa003049e2;WD)");
  PACL dacl = nullptr;
  BOOL present = FALSE, defaulted = FALSE;
  ASSERT_TRUE(GetSecurityDescriptorDacl(block.get(), &present, &dacl, &defaulted));
  authz::AceView ace = authz::aceAt(reinterpret_cast<const BYTE*>(dacl), 0);
  EXPECT_EQ(ace.objectFlags, static_cast<DWORD>(ACE_INHERITED_OBJECT_TYPE_PRESENT));
  EXPECT_EQ(ace.objectType, nullptr);
  ASSERT_NE(ace.inheritedObjectType, nullptr);
  EXPECT_EQ(ace.sid, ace.inheritedObjectType + 16);
  EXPECT_EQ(ace.size, 12 + 16 + 12);
}

TEST(DescriptorAccessors, OwnerGroupAndAclsOfTheSelfRelativeForm) {
  LocalBlock block = descriptorFrom(kSample);
  PSID owner = nullptr, group = nullptr;
  BOOL defaulted = TRUE;
  ASSERT_TRUE(GetSecurityDescriptorOwner(block.get(), &owner, &defaulted));
  EXPECT_EQ(authz::sidToText(static_cast<BYTE*>(owner)), kUser);
  EXPECT_FALSE(defaulted);
  ASSERT_TRUE(GetSecurityDescriptorGroup(block.get(), &group, &defaulted));
  EXPECT_EQ(authz::sidToText(static_cast<BYTE*>(group)), "S-1-5-32-544");
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ASSERT_TRUE(GetSecurityDescriptorControl(block.get(), &control, &revision));
  EXPECT_EQ(revision, 1u);
  EXPECT_TRUE(control & SE_SELF_RELATIVE);
  PACL sacl = nullptr;
  BOOL present = FALSE;
  ASSERT_TRUE(GetSecurityDescriptorSacl(block.get(), &present, &sacl, &defaulted));
  EXPECT_TRUE(present);
  ASSERT_NE(sacl, nullptr);
  EXPECT_EQ(authz::aceAt(reinterpret_cast<BYTE*>(sacl), 0).type, SYSTEM_AUDIT_ACE_TYPE);
}

TEST(DescriptorAccessors, AnAbsentDaclIsReportedAsNotPresent) {
  LocalBlock block = descriptorFrom("O:BAG:BA");
  BOOL present = TRUE, defaulted = FALSE;
  PACL dacl = nullptr;
  ASSERT_TRUE(GetSecurityDescriptorDacl(block.get(), &present, &dacl, &defaulted));
  EXPECT_FALSE(present);
}

TEST(DescriptorAccessors, ANullDaclIsPresentWithANullPointer) {
  LocalBlock block = descriptorFrom("O:BAG:BAD:NO_ACCESS_CONTROL");
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = reinterpret_cast<PACL>(block.get());
  ASSERT_TRUE(GetSecurityDescriptorDacl(block.get(), &present, &dacl, &defaulted));
  EXPECT_TRUE(present);
  EXPECT_EQ(dacl, nullptr);
}

TEST(DescriptorConversion, MakeAbsoluteReportsTheFiveSizesFirst) {
  LocalBlock block = descriptorFrom(kSample);
  std::vector<BYTE> bytes = bytesOf(block);
  DWORD sizes[5] = {};
  SetLastError(0);
  EXPECT_FALSE(MakeAbsoluteSD(block.get(), nullptr, &sizes[0], nullptr, &sizes[1], nullptr, &sizes[2], nullptr,
                              &sizes[3], nullptr, &sizes[4]));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(sizes[0], sizeof(SECURITY_DESCRIPTOR));
  EXPECT_EQ(sizes[1], authz::readWord(&bytes[offsetField(bytes, 16) + 2]));
  EXPECT_EQ(sizes[2], authz::readWord(&bytes[offsetField(bytes, 12) + 2]));
  EXPECT_EQ(sizes[3], 28u);
  EXPECT_EQ(sizes[4], 16u);
}

TEST(DescriptorConversion, AnAbsentPartNeedsNoBuffer) {
  LocalBlock block = descriptorFrom("O:BAG:BAD:(A;;RP;;;WD)");
  DWORD sizes[5] = {};
  EXPECT_FALSE(MakeAbsoluteSD(block.get(), nullptr, &sizes[0], nullptr, &sizes[1], nullptr, &sizes[2], nullptr,
                              &sizes[3], nullptr, &sizes[4]));
  EXPECT_EQ(sizes[2], 0u);
}

TEST(DescriptorConversion, AbsoluteFormHoldsCopiesOfEveryPart) {
  LocalBlock block = descriptorFrom(kSample);
  AbsoluteDescriptor absolute;
  ASSERT_TRUE(makeAbsolute(block.get(), absolute));
  auto* header = static_cast<SECURITY_DESCRIPTOR*>(absolute.get());
  EXPECT_FALSE(header->Control & SE_SELF_RELATIVE);
  EXPECT_EQ(header->Owner, absolute.owner.data());
  EXPECT_EQ(header->Dacl, reinterpret_cast<PACL>(absolute.dacl.data()));
  EXPECT_TRUE(IsValidSecurityDescriptor(absolute.get()));
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  ASSERT_TRUE(GetSecurityDescriptorOwner(absolute.get(), &owner, &defaulted));
  EXPECT_EQ(authz::sidToText(static_cast<BYTE*>(owner)), kUser);
}

TEST(DescriptorConversion, SelfRelativeToAbsoluteAndBackIsByteIdentical) {
  LocalBlock block = descriptorFrom(kSample);
  AbsoluteDescriptor absolute;
  ASSERT_TRUE(makeAbsolute(block.get(), absolute));
  DWORD length = 0;
  EXPECT_FALSE(MakeSelfRelativeSD(absolute.get(), nullptr, &length));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(length, GetSecurityDescriptorLength(absolute.get()));
  std::vector<BYTE> again(length);
  ASSERT_TRUE(MakeSelfRelativeSD(absolute.get(), again.data(), &length));
  EXPECT_EQ(again, bytesOf(block));
}

TEST(DescriptorConversion, ANullDaclSurvivesBothConversions) {
  LocalBlock block = descriptorFrom("O:BAG:BAD:NO_ACCESS_CONTROL");
  AbsoluteDescriptor absolute;
  ASSERT_TRUE(makeAbsolute(block.get(), absolute));
  auto* header = static_cast<SECURITY_DESCRIPTOR*>(absolute.get());
  EXPECT_TRUE(header->Control & SE_DACL_PRESENT);
  EXPECT_EQ(header->Dacl, nullptr);
}

TEST(DescriptorConversion, EachFunctionRefusesTheOtherForm) {
  LocalBlock block = descriptorFrom(kSample);
  AbsoluteDescriptor absolute;
  ASSERT_TRUE(makeAbsolute(block.get(), absolute));
  DWORD length = 4096;
  std::vector<BYTE> buffer(length);
  EXPECT_FALSE(MakeSelfRelativeSD(block.get(), buffer.data(), &length));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_DESCRIPTOR_FORMAT));
  AbsoluteDescriptor again;
  EXPECT_FALSE(makeAbsolute(absolute.get(), again));
}

TEST(DescriptorConversion, BuiltWithTheSetFunctions) {
  authz::SidBytes owner = sidFrom(kUser), group = sidFrom("S-1-5-32-544");
  SECURITY_DESCRIPTOR header;
  ASSERT_TRUE(InitializeSecurityDescriptor(&header, SECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(SetSecurityDescriptorOwner(&header, owner.data(), FALSE));
  ASSERT_TRUE(SetSecurityDescriptorGroup(&header, group.data(), TRUE));
  ASSERT_TRUE(SetSecurityDescriptorDacl(&header, TRUE, nullptr, FALSE));
  DWORD length = 0;
  MakeSelfRelativeSD(&header, nullptr, &length);
  std::vector<BYTE> bytes(length);
  ASSERT_TRUE(MakeSelfRelativeSD(&header, bytes.data(), &length));
  LPWSTR text = nullptr;
  ASSERT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorW(bytes.data(), SDDL_REVISION_1,
                                                                   OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                                                                       DACL_SECURITY_INFORMATION,
                                                                   &text, nullptr));
  EXPECT_EQ(narrow(text), std::string("O:") + kUser + "G:BAD:NO_ACCESS_CONTROL");
  LocalFree(text);
}

// A copy of GetSecurityDescriptorLength bytes must hold every part, even when the parts do not
// follow each other closely.
TEST(DescriptorLength, ReachesTheFurthestPartOfAGappedDescriptor) {
  LocalBlock block = descriptorFrom("O:BAG:SY");
  std::vector<BYTE> bytes = bytesOf(block);
  std::vector<BYTE> gapped(bytes.size() + 64, 0);
  std::memcpy(gapped.data(), bytes.data(), 20);
  DWORD ownerLength = 16, groupLength = 12;
  std::memcpy(&gapped[40], &bytes[offsetField(bytes, 4)], ownerLength);
  std::memcpy(&gapped[100], &bytes[offsetField(bytes, 8)], groupLength);
  authz::writeDword(&gapped[4], 40);
  authz::writeDword(&gapped[8], 100);
  EXPECT_EQ(GetSecurityDescriptorLength(gapped.data()), 112u);
}

// ---- Malformed bytes -------------------------------------------------------------------------

namespace {

struct Mutation {
  const char* what;
  size_t relativeTo;  // 0 = descriptor start, 16 = the DACL, 4 = the owner
  size_t at;
  std::vector<BYTE> bytes;
  DWORD expected;
};

}  // namespace

TEST(DescriptorValidation, MalformedPartsAreRefusedWithTheirCode) {
  const std::string sddl = "O:BAG:BAD:(A;;RP;;;WD)(OA;;WP;bf967aba-0de6-11d0-a285-00aa003049e2;;AU)";
  const Mutation mutations[] = {
      {"descriptor revision 2", 0, 0, {2}, ERROR_UNKNOWN_REVISION},
      {"owner offset inside the header", 0, 4, {8, 0, 0, 0}, ERROR_INVALID_SECURITY_DESCR},
      {"owner offset past the end", 0, 4, {0, 1, 0, 0}, ERROR_INVALID_SECURITY_DESCR},
      {"DACL offset past the end", 0, 16, {0, 0, 1, 0}, ERROR_INVALID_SECURITY_DESCR},
      {"owner SID revision 2", 4, 0, {2}, ERROR_INVALID_SID},
      {"owner SID with 16 sub-authorities", 4, 1, {16}, ERROR_INVALID_SID},
      {"owner SID longer than the block", 4, 1, {15}, ERROR_INVALID_SID},
      {"ACL revision 1", 16, 0, {1}, ERROR_INVALID_ACL},
      {"ACL revision 2 holding an object entry", 16, 0, {2}, ERROR_INVALID_ACL},
      {"ACL size past the block", 16, 2, {0xFC, 0x00}, ERROR_INVALID_ACL},
      {"ACL size below its header", 16, 2, {4, 0}, ERROR_INVALID_ACL},
      {"ACL size not a multiple of four", 16, 2, {0x2A, 0}, ERROR_INVALID_ACL},
      {"more entries than the ACL holds", 16, 4, {3, 0}, ERROR_INVALID_ACL},
      {"entry size zero", 16, 10, {0, 0}, ERROR_INVALID_ACL},
      {"entry size past the ACL", 16, 10, {0x80, 0}, ERROR_INVALID_ACL},
      {"entry too short for its SID", 16, 10, {12, 0}, ERROR_INVALID_ACL},
      {"entry SID with too many sub-authorities", 16, 8 + 8 + 1, {9}, ERROR_INVALID_ACL},
      {"object entry claims two GUIDs it lacks room for", 16, 8 + 20 + 8, {3}, ERROR_INVALID_ACL},
  };
  for (const Mutation& mutation : mutations) {
    LocalBlock block = descriptorFrom(sddl);
    std::vector<BYTE> bytes = bytesOf(block);
    size_t base = mutation.relativeTo == 0 ? 0 : offsetField(bytes, mutation.relativeTo);
    ASSERT_LE(base + mutation.at + mutation.bytes.size(), bytes.size()) << mutation.what;
    std::memcpy(&bytes[base + mutation.at], mutation.bytes.data(), mutation.bytes.size());
    authz::DescriptorParts parts;
    EXPECT_EQ(authz::readDescriptor(bytes.data(), bytes.size(), parts), mutation.expected) << mutation.what;
  }
}

TEST(DescriptorValidation, TheBlockLengthBoundsEveryPart) {
  LocalBlock block = descriptorFrom(kSample);
  std::vector<BYTE> bytes = bytesOf(block);
  authz::DescriptorParts parts;
  EXPECT_EQ(authz::readDescriptor(bytes.data(), bytes.size(), parts), static_cast<DWORD>(ERROR_SUCCESS));
  for (size_t cut = 0; cut < bytes.size(); ++cut) {
    std::vector<BYTE> truncated(bytes.begin(), bytes.begin() + cut);
    EXPECT_NE(authz::readDescriptor(truncated.data(), truncated.size(), parts), static_cast<DWORD>(ERROR_SUCCESS))
        << "cut at " << cut;
  }
}

TEST(DescriptorValidation, UnknownEntryTypesAreSteppedOverByTheirSize) {
  LocalBlock block = descriptorFrom("O:BAG:BAD:(A;;RP;;;WD)(A;;WP;;;WD)");
  std::vector<BYTE> bytes = bytesOf(block);
  size_t dacl = offsetField(bytes, 16);
  bytes[dacl + 8] = 0x7F;  // the first entry becomes a type nobody defines
  authz::DescriptorParts parts;
  ASSERT_EQ(authz::readDescriptor(bytes.data(), bytes.size(), parts), static_cast<DWORD>(ERROR_SUCCESS));
  authz::AceView unknown = authz::aceAt(parts.dacl, 0);
  EXPECT_EQ(unknown.sid, nullptr);
  EXPECT_EQ(authz::aceAt(parts.dacl, 1).mask, static_cast<DWORD>(ACTRL_DS_WRITE_PROP));
  UniqueHandle token = makeToken(TokenShape{});
  CheckResult result = checkAccess(bytes.data(), token.get(), ACTRL_DS_READ_PROP | ACTRL_DS_WRITE_PROP);
  EXPECT_EQ(result.status, static_cast<DWORD>(ERROR_ACCESS_DENIED));
  result = checkAccess(bytes.data(), token.get(), ACTRL_DS_WRITE_PROP);
  EXPECT_EQ(result.status, 0u);
}

TEST(DescriptorValidation, ABlockOfKnownLengthIsNeverTakenForTheAbsoluteForm) {
  LocalBlock block = descriptorFrom(kSample);
  std::vector<BYTE> bytes = bytesOf(block);
  bytes[3] &= 0x7F;  // clear SE_SELF_RELATIVE
  authz::DescriptorParts parts;
  EXPECT_EQ(authz::readDescriptor(bytes.data(), bytes.size(), parts), static_cast<DWORD>(ERROR_INVALID_SECURITY_DESCR));
}
