// The library's check of descriptor and SID bytes from the directory: sound descriptors pass,
// and every way of pointing outside the given length is refused.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "../authz/authz_test_support.h"
#include "security/descriptor_bounds.h"

namespace {

using authz_test::descriptorFrom;
using authz_test::sidFrom;

std::vector<uint8_t> bytesOf(const std::string& sddl) {
  authz_test::LocalBlock descriptor = descriptorFrom(sddl);
  DWORD length = GetSecurityDescriptorLength(descriptor.get());
  const uint8_t* start = static_cast<const uint8_t*>(descriptor.get());
  return std::vector<uint8_t>(start, start + length);
}

void putU32(std::vector<uint8_t>* bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) (*bytes)[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t u32At(const std::vector<uint8_t>& bytes, size_t at) {
  return bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) | (static_cast<uint32_t>(bytes[at + 3]) << 24);
}

const char* const soundDescriptor =
    "O:S-1-5-21-1-2-3-500G:S-1-5-21-1-2-3-513D:(A;;RPWP;;;S-1-5-11)(OD;;WP;bf967950-0de6-11d0-a285-00aa003049e2;;"
    "S-1-5-21-1-2-3-1105)(OA;CI;CR;00299570-246d-11d0-a768-00aa006e0529;bf967aba-0de6-11d0-a285-00aa003049e2;PS)";

TEST(DescriptorBounds, DirectoryDescriptorsAndSidsPass) {
  std::vector<uint8_t> bytes = bytesOf(soundDescriptor);
  EXPECT_TRUE(isSoundSelfRelativeDescriptor(bytes.data(), bytes.size()));
  std::vector<uint8_t> nullDacl = bytesOf("O:BAG:BAD:NO_ACCESS_CONTROL");
  EXPECT_TRUE(isSoundSelfRelativeDescriptor(nullDacl.data(), nullDacl.size()));
  authz::SidBytes sid = sidFrom("S-1-5-21-1000-2000-3000-1105");
  EXPECT_TRUE(isWholeSid(sid.data(), sid.size()));
}

TEST(DescriptorBounds, AnythingReachingPastTheLengthIsRefused) {
  std::vector<uint8_t> bytes = bytesOf(soundDescriptor);
  // Cut short anywhere: some part no longer fits.
  for (size_t length = 0; length < bytes.size(); ++length)
    EXPECT_FALSE(isSoundSelfRelativeDescriptor(bytes.data(), length)) << "length " << length;

  for (size_t field : {4u, 8u, 16u}) {
    std::vector<uint8_t> pointingOut = bytes;
    putU32(&pointingOut, field, static_cast<uint32_t>(bytes.size()));
    EXPECT_FALSE(isSoundSelfRelativeDescriptor(pointingOut.data(), pointingOut.size())) << "offset field " << field;
    std::vector<uint8_t> intoHeader = bytes;
    putU32(&intoHeader, field, 4);
    EXPECT_FALSE(isSoundSelfRelativeDescriptor(intoHeader.data(), intoHeader.size())) << "offset field " << field;
  }

  size_t dacl = u32At(bytes, 16);
  std::vector<uint8_t> moreAces = bytes;
  moreAces[dacl + 4] = 200;  // ACE count beyond the ACL
  EXPECT_FALSE(isSoundSelfRelativeDescriptor(moreAces.data(), moreAces.size()));
  std::vector<uint8_t> biggerAcl = bytes;
  biggerAcl[dacl + 3] = 0x7F;  // ACL size beyond the descriptor
  EXPECT_FALSE(isSoundSelfRelativeDescriptor(biggerAcl.data(), biggerAcl.size()));
  std::vector<uint8_t> longSid = bytes;
  longSid[u32At(bytes, 4) + 1] = 15;  // owner SID claims more sub-authorities than remain
  EXPECT_FALSE(isSoundSelfRelativeDescriptor(longSid.data(), longSid.size()));
  std::vector<uint8_t> bigAce = bytes;
  bigAce[dacl + 8 + 2] = 0xFC;  // first ACE larger than its ACL
  EXPECT_FALSE(isSoundSelfRelativeDescriptor(bigAce.data(), bigAce.size()));
}

TEST(DescriptorBounds, AbsoluteFormAndWrongRevisionsAreRefused) {
  std::vector<uint8_t> bytes = bytesOf(soundDescriptor);
  std::vector<uint8_t> absolute = bytes;
  absolute[3] &= 0x7F;  // SE_SELF_RELATIVE cleared: the offsets would be read as pointers
  EXPECT_FALSE(isSoundSelfRelativeDescriptor(absolute.data(), absolute.size()));
  std::vector<uint8_t> revision = bytes;
  revision[0] = 2;
  EXPECT_FALSE(isSoundSelfRelativeDescriptor(revision.data(), revision.size()));
  EXPECT_FALSE(isSoundSelfRelativeDescriptor(nullptr, 100));
}

TEST(DescriptorBounds, SidMustFillItsLengthExactly) {
  authz::SidBytes sid = sidFrom("S-1-5-21-1000-2000-3000-1105");
  EXPECT_FALSE(isWholeSid(sid.data(), sid.size() - 1));
  std::vector<uint8_t> longer(sid.begin(), sid.end());
  longer.push_back(0);
  EXPECT_FALSE(isWholeSid(longer.data(), longer.size()));
  std::vector<uint8_t> badRevision(sid.begin(), sid.end());
  badRevision[0] = 2;
  EXPECT_FALSE(isWholeSid(badRevision.data(), badRevision.size()));
  EXPECT_FALSE(isWholeSid(nullptr, 0));
}

}  // namespace
