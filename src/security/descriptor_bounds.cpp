#include "security/descriptor_bounds.h"

namespace {

constexpr size_t sidHeaderLength = 8;
constexpr size_t maxSubAuthorities = 15;
constexpr size_t descriptorHeaderLength = 20;
constexpr size_t aclHeaderLength = 8;
constexpr size_t aceHeaderLength = 4;
constexpr uint16_t selfRelativeFlag = 0x8000;
constexpr uint16_t daclPresentFlag = 0x0004;
constexpr uint16_t saclPresentFlag = 0x0010;

uint16_t readU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

uint32_t readU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

// The length of the SID at `bytes` when it is well formed and fits in `available`; else 0.
size_t sidLength(const uint8_t* bytes, size_t available) {
  if (available < sidHeaderLength || bytes[0] != 1 || bytes[1] > maxSubAuthorities) return 0;
  size_t length = sidHeaderLength + 4 * static_cast<size_t>(bytes[1]);
  return length <= available ? length : 0;
}

bool isObjectAce(uint8_t type) {
  return type == 0x05 || type == 0x06 || type == 0x07 || type == 0x08 || type == 0x0B || type == 0x0C ||
         type == 0x0F || type == 0x10;
}

// Entry types whose mask is followed directly by a SID.
bool isPlainAce(uint8_t type) {
  return type <= 0x03 || type == 0x09 || type == 0x0A || type == 0x0D || type == 0x0E || (type >= 0x11 && type <= 0x13);
}

// Whether the SID an entry holds lies within the entry's own size. An entry of a type that
// holds no SID in a known place is bounded by its size alone (the check never reads it).
bool aceFitsItsSize(const uint8_t* ace, size_t size) {
  uint8_t type = ace[0];
  size_t sidOffset = 8;
  if (isObjectAce(type)) {
    if (size < 12) return false;
    uint32_t flags = readU32(ace + 8);
    sidOffset = 12 + ((flags & 1) ? 16 : 0) + ((flags & 2) ? 16 : 0);
  } else if (!isPlainAce(type)) {
    return true;
  }
  if (size < sidOffset) return false;
  return sidLength(ace + sidOffset, size - sidOffset) != 0;
}

bool isSoundAcl(const uint8_t* acl, size_t available) {
  if (available < aclHeaderLength) return false;
  uint8_t revision = acl[0];
  if (revision < 2 || revision > 4) return false;
  size_t aclSize = readU16(acl + 2);
  if (aclSize < aclHeaderLength || aclSize > available) return false;
  size_t count = readU16(acl + 4);
  size_t offset = aclHeaderLength;
  for (size_t i = 0; i < count; ++i) {
    if (aclSize - offset < aceHeaderLength) return false;
    size_t aceSize = readU16(acl + offset + 2);
    if (aceSize < aceHeaderLength || aceSize % 4 != 0 || aceSize > aclSize - offset) return false;
    if (!aceFitsItsSize(acl + offset, aceSize)) return false;
    offset += aceSize;
  }
  return true;
}

// An offset field: 0 (absent), or a part that starts past the header and inside the bytes.
bool isSoundPart(const uint8_t* bytes, size_t length, uint32_t offset, bool isAcl) {
  if (offset == 0) return true;
  if (offset < descriptorHeaderLength || offset >= length) return false;
  size_t available = length - offset;
  return isAcl ? isSoundAcl(bytes + offset, available) : sidLength(bytes + offset, available) != 0;
}

}  // namespace

bool isWholeSid(const uint8_t* bytes, size_t length) {
  return bytes != nullptr && sidLength(bytes, length) == length;
}

bool isSoundSelfRelativeDescriptor(const uint8_t* bytes, size_t length) {
  if (bytes == nullptr || length < descriptorHeaderLength || bytes[0] != 1) return false;
  uint16_t control = readU16(bytes + 2);
  if ((control & selfRelativeFlag) == 0) return false;
  uint32_t owner = readU32(bytes + 4), group = readU32(bytes + 8), sacl = readU32(bytes + 12),
           dacl = readU32(bytes + 16);
  if ((control & saclPresentFlag) == 0) sacl = 0;
  if ((control & daclPresentFlag) == 0) dacl = 0;
  return isSoundPart(bytes, length, owner, false) && isSoundPart(bytes, length, group, false) &&
         isSoundPart(bytes, length, sacl, true) && isSoundPart(bytes, length, dacl, true);
}
