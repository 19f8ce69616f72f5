#include "authz/security_descriptor.h"

#include <algorithm>

#include "authz/acl.h"
#include "authz/fail_with.h"
#include "authz/sid.h"
#include "errhandlingapi.h"
#include "securitybaseapi.h"

namespace authz {

namespace {

// A self-relative part: a non-zero offset inside the block, past the header.
DWORD readRelativeSid(const BYTE* base, size_t available, DWORD offset, const BYTE*& sid, size_t& length,
                      size_t& extent) {
  if (offset == 0) return ERROR_SUCCESS;
  if (offset < kRelativeHeaderLength || offset >= available) return ERROR_INVALID_SECURITY_DESCR;
  length = validSidLength(base + offset, available - offset);
  if (length == 0) return ERROR_INVALID_SID;
  sid = base + offset;
  extent = std::max(extent, offset + length);
  return ERROR_SUCCESS;
}

DWORD readRelativeAcl(const BYTE* base, size_t available, DWORD offset, const BYTE*& acl, size_t& length,
                      size_t& extent) {
  if (offset == 0) return ERROR_SUCCESS;
  if (offset < kRelativeHeaderLength || offset >= available) return ERROR_INVALID_SECURITY_DESCR;
  length = validAclLength(base + offset, available - offset);
  if (length == 0) return ERROR_INVALID_ACL;
  acl = base + offset;
  extent = std::max(extent, offset + length);
  return ERROR_SUCCESS;
}

DWORD readSelfRelative(const BYTE* base, size_t available, DescriptorParts& parts) {
  parts.extent = kRelativeHeaderLength;
  DWORD status = readRelativeSid(base, available, readDword(base + 4), parts.owner, parts.ownerLength, parts.extent);
  if (status == ERROR_SUCCESS)
    status = readRelativeSid(base, available, readDword(base + 8), parts.group, parts.groupLength, parts.extent);
  // An ACL whose present bit is clear is ignored, whatever its offset says.
  if (status == ERROR_SUCCESS && parts.saclPresent())
    status = readRelativeAcl(base, available, readDword(base + 12), parts.sacl, parts.saclLength, parts.extent);
  if (status == ERROR_SUCCESS && parts.daclPresent())
    status = readRelativeAcl(base, available, readDword(base + 16), parts.dacl, parts.daclLength, parts.extent);
  return status;
}

DWORD readAbsolute(const SECURITY_DESCRIPTOR* absolute, DescriptorParts& parts) {
  const BYTE* owner = static_cast<const BYTE*>(absolute->Owner);
  const BYTE* group = static_cast<const BYTE*>(absolute->Group);
  if (owner != nullptr) {
    parts.ownerLength = validSidLength(owner, kUnboundedLength);
    if (parts.ownerLength == 0) return ERROR_INVALID_SID;
    parts.owner = owner;
  }
  if (group != nullptr) {
    parts.groupLength = validSidLength(group, kUnboundedLength);
    if (parts.groupLength == 0) return ERROR_INVALID_SID;
    parts.group = group;
  }
  const BYTE* sacl = reinterpret_cast<const BYTE*>(absolute->Sacl);
  if (parts.saclPresent() && sacl != nullptr) {
    parts.saclLength = validAclLength(sacl, kUnboundedLength);
    if (parts.saclLength == 0) return ERROR_INVALID_ACL;
    parts.sacl = sacl;
  }
  const BYTE* dacl = reinterpret_cast<const BYTE*>(absolute->Dacl);
  if (parts.daclPresent() && dacl != nullptr) {
    parts.daclLength = validAclLength(dacl, kUnboundedLength);
    if (parts.daclLength == 0) return ERROR_INVALID_ACL;
    parts.dacl = dacl;
  }
  return ERROR_SUCCESS;
}

}  // namespace

DWORD readDescriptor(const void* descriptor, size_t available, DescriptorParts& parts) {
  parts = DescriptorParts{};
  const BYTE* base = static_cast<const BYTE*>(descriptor);
  if (base == nullptr || available < 4) return ERROR_INVALID_SECURITY_DESCR;
  parts.revision = base[0];
  parts.control = readWord(base + 2);
  if (parts.revision != SECURITY_DESCRIPTOR_REVISION) return ERROR_UNKNOWN_REVISION;
  if (!parts.selfRelative()) {
    // A block of known length cannot carry the pointers of the absolute form.
    if (available != kUnboundedLength) return ERROR_INVALID_SECURITY_DESCR;
    return readAbsolute(static_cast<const SECURITY_DESCRIPTOR*>(descriptor), parts);
  }
  if (available < kRelativeHeaderLength) return ERROR_INVALID_SECURITY_DESCR;
  return readSelfRelative(base, available, parts);
}

size_t selfRelativeLength(const DescriptorParts& parts) {
  return kRelativeHeaderLength + alignToDword(parts.saclLength) + alignToDword(parts.daclLength) +
         alignToDword(parts.ownerLength) + alignToDword(parts.groupLength);
}

void writeSelfRelative(const DescriptorParts& parts, BYTE* out) {
  std::memset(out, 0, selfRelativeLength(parts));
  out[0] = SECURITY_DESCRIPTOR_REVISION;
  writeWord(out + 2, static_cast<WORD>(parts.control | SE_SELF_RELATIVE));
  size_t at = kRelativeHeaderLength;
  auto place = [&](const BYTE* part, size_t length, size_t offsetField) {
    if (part == nullptr) return;
    std::memcpy(out + at, part, length);
    writeDword(out + offsetField, static_cast<DWORD>(at));
    at += alignToDword(length);
  };
  place(parts.sacl, parts.saclLength, 12);
  place(parts.dacl, parts.daclLength, 16);
  place(parts.owner, parts.ownerLength, 4);
  place(parts.group, parts.groupLength, 8);
}

}  // namespace authz

using authz::DescriptorParts;
using authz::kUnboundedLength;
using authz::readDescriptor;

namespace {

using authz::failWith;

// The mutable absolute header behind a PSECURITY_DESCRIPTOR that is not self-relative.
SECURITY_DESCRIPTOR* absoluteHeader(PSECURITY_DESCRIPTOR descriptor) {
  auto* header = static_cast<SECURITY_DESCRIPTOR*>(descriptor);
  if (header == nullptr || header->Revision != SECURITY_DESCRIPTOR_REVISION) return nullptr;
  return (header->Control & SE_SELF_RELATIVE) ? nullptr : header;
}

}  // namespace

BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor, DWORD revision) {
  if (descriptor == nullptr) return failWith(ERROR_INVALID_PARAMETER);
  if (revision != SECURITY_DESCRIPTOR_REVISION) return failWith(ERROR_UNKNOWN_REVISION);
  *static_cast<SECURITY_DESCRIPTOR*>(descriptor) = SECURITY_DESCRIPTOR{};
  static_cast<SECURITY_DESCRIPTOR*>(descriptor)->Revision = SECURITY_DESCRIPTOR_REVISION;
  return TRUE;
}

BOOL IsValidSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor) {
  DescriptorParts parts;
  DWORD status = readDescriptor(descriptor, kUnboundedLength, parts);
  if (status != ERROR_SUCCESS) return failWith(status);
  return TRUE;
}

// A self-relative descriptor's length is where its furthest part ends: for the packed layout
// Windows writes that equals the sum of the parts, and for one whose parts leave gaps or
// overlap, a copy of that many bytes holds exactly what the offsets name and nothing beyond.
DWORD GetSecurityDescriptorLength(PSECURITY_DESCRIPTOR descriptor) {
  DescriptorParts parts;
  // An unreadable descriptor reports just its header, so a caller that copies that much meets
  // the failure in its next call instead of reading further into the original.
  if (readDescriptor(descriptor, kUnboundedLength, parts) != ERROR_SUCCESS)
    return static_cast<DWORD>(authz::kRelativeHeaderLength);
  return static_cast<DWORD>(parts.selfRelative() ? parts.extent : authz::selfRelativeLength(parts));
}

BOOL GetSecurityDescriptorControl(PSECURITY_DESCRIPTOR descriptor, PSECURITY_DESCRIPTOR_CONTROL control,
                                  LPDWORD revision) {
  if (descriptor == nullptr || control == nullptr || revision == nullptr) return failWith(ERROR_INVALID_PARAMETER);
  const BYTE* base = static_cast<const BYTE*>(descriptor);
  *revision = base[0];
  *control = authz::readWord(base + 2);
  if (base[0] != SECURITY_DESCRIPTOR_REVISION) return failWith(ERROR_UNKNOWN_REVISION);
  return TRUE;
}

namespace {

BOOL getSid(PSECURITY_DESCRIPTOR descriptor, bool owner, PSID* sid, LPBOOL defaulted) {
  if (sid == nullptr || defaulted == nullptr) return failWith(ERROR_INVALID_PARAMETER);
  DescriptorParts parts;
  DWORD status = readDescriptor(descriptor, kUnboundedLength, parts);
  if (status != ERROR_SUCCESS) return failWith(status);
  *sid = const_cast<BYTE*>(owner ? parts.owner : parts.group);
  *defaulted = (parts.control & (owner ? SE_OWNER_DEFAULTED : SE_GROUP_DEFAULTED)) ? TRUE : FALSE;
  return TRUE;
}

BOOL getAcl(PSECURITY_DESCRIPTOR descriptor, bool dacl, LPBOOL present, PACL* acl, LPBOOL defaulted) {
  if (present == nullptr || acl == nullptr || defaulted == nullptr) return failWith(ERROR_INVALID_PARAMETER);
  DescriptorParts parts;
  DWORD status = readDescriptor(descriptor, kUnboundedLength, parts);
  if (status != ERROR_SUCCESS) return failWith(status);
  bool isPresent = dacl ? parts.daclPresent() : parts.saclPresent();
  *present = isPresent ? TRUE : FALSE;
  // As on Windows, the ACL and defaulted outputs are left alone when the ACL is absent.
  if (isPresent) {
    *acl = reinterpret_cast<PACL>(const_cast<BYTE*>(dacl ? parts.dacl : parts.sacl));
    *defaulted = (parts.control & (dacl ? SE_DACL_DEFAULTED : SE_SACL_DEFAULTED)) ? TRUE : FALSE;
  }
  return TRUE;
}

}  // namespace

BOOL GetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR descriptor, PSID* owner, LPBOOL ownerDefaulted) {
  return getSid(descriptor, true, owner, ownerDefaulted);
}

BOOL GetSecurityDescriptorGroup(PSECURITY_DESCRIPTOR descriptor, PSID* group, LPBOOL groupDefaulted) {
  return getSid(descriptor, false, group, groupDefaulted);
}

BOOL GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, LPBOOL daclPresent, PACL* dacl,
                               LPBOOL daclDefaulted) {
  return getAcl(descriptor, true, daclPresent, dacl, daclDefaulted);
}

BOOL GetSecurityDescriptorSacl(PSECURITY_DESCRIPTOR descriptor, LPBOOL saclPresent, PACL* sacl,
                               LPBOOL saclDefaulted) {
  return getAcl(descriptor, false, saclPresent, sacl, saclDefaulted);
}

BOOL SetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR descriptor, PSID owner, BOOL ownerDefaulted) {
  SECURITY_DESCRIPTOR* header = absoluteHeader(descriptor);
  if (header == nullptr) return failWith(ERROR_INVALID_SECURITY_DESCR);
  header->Owner = owner;
  header->Control = static_cast<WORD>((header->Control & ~SE_OWNER_DEFAULTED) | (ownerDefaulted ? SE_OWNER_DEFAULTED : 0));
  return TRUE;
}

BOOL SetSecurityDescriptorGroup(PSECURITY_DESCRIPTOR descriptor, PSID group, BOOL groupDefaulted) {
  SECURITY_DESCRIPTOR* header = absoluteHeader(descriptor);
  if (header == nullptr) return failWith(ERROR_INVALID_SECURITY_DESCR);
  header->Group = group;
  header->Control = static_cast<WORD>((header->Control & ~SE_GROUP_DEFAULTED) | (groupDefaulted ? SE_GROUP_DEFAULTED : 0));
  return TRUE;
}

BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL daclPresent, PACL dacl, BOOL daclDefaulted) {
  SECURITY_DESCRIPTOR* header = absoluteHeader(descriptor);
  if (header == nullptr) return failWith(ERROR_INVALID_SECURITY_DESCR);
  WORD control = header->Control & ~(SE_DACL_PRESENT | SE_DACL_DEFAULTED);
  if (daclPresent) {
    control |= SE_DACL_PRESENT;
    if (daclDefaulted) control |= SE_DACL_DEFAULTED;
    header->Dacl = dacl;
  } else {
    header->Dacl = nullptr;
  }
  header->Control = control;
  return TRUE;
}

BOOL MakeSelfRelativeSD(PSECURITY_DESCRIPTOR absolute, PSECURITY_DESCRIPTOR selfRelative, LPDWORD bufferLength) {
  if (bufferLength == nullptr) return failWith(ERROR_INVALID_PARAMETER);
  DescriptorParts parts;
  DWORD status = readDescriptor(absolute, kUnboundedLength, parts);
  if (status != ERROR_SUCCESS) return failWith(status);
  if (parts.selfRelative()) return failWith(ERROR_BAD_DESCRIPTOR_FORMAT);
  size_t needed = authz::selfRelativeLength(parts);
  if (selfRelative == nullptr || *bufferLength < needed) {
    *bufferLength = static_cast<DWORD>(needed);
    return failWith(ERROR_INSUFFICIENT_BUFFER);
  }
  authz::writeSelfRelative(parts, static_cast<BYTE*>(selfRelative));
  return TRUE;
}

namespace {

// True when the caller's buffer can take `needed` bytes (a part that is absent needs none).
bool fits(const void* buffer, DWORD size, size_t needed) { return needed == 0 || (buffer != nullptr && size >= needed); }

}  // namespace

BOOL MakeAbsoluteSD(PSECURITY_DESCRIPTOR selfRelative, PSECURITY_DESCRIPTOR absolute, LPDWORD absoluteSize,
                    PACL dacl, LPDWORD daclSize, PACL sacl, LPDWORD saclSize, PSID owner, LPDWORD ownerSize,
                    PSID primaryGroup, LPDWORD primaryGroupSize) {
  if (absoluteSize == nullptr || daclSize == nullptr || saclSize == nullptr || ownerSize == nullptr ||
      primaryGroupSize == nullptr)
    return failWith(ERROR_INVALID_PARAMETER);
  DescriptorParts parts;
  DWORD status = readDescriptor(selfRelative, kUnboundedLength, parts);
  if (status != ERROR_SUCCESS) return failWith(status);
  if (!parts.selfRelative()) return failWith(ERROR_BAD_DESCRIPTOR_FORMAT);
  bool allFit = fits(absolute, *absoluteSize, sizeof(SECURITY_DESCRIPTOR)) && fits(dacl, *daclSize, parts.daclLength) &&
                fits(sacl, *saclSize, parts.saclLength) && fits(owner, *ownerSize, parts.ownerLength) &&
                fits(primaryGroup, *primaryGroupSize, parts.groupLength);
  if (!allFit) {
    *absoluteSize = sizeof(SECURITY_DESCRIPTOR);
    *daclSize = static_cast<DWORD>(parts.daclLength);
    *saclSize = static_cast<DWORD>(parts.saclLength);
    *ownerSize = static_cast<DWORD>(parts.ownerLength);
    *primaryGroupSize = static_cast<DWORD>(parts.groupLength);
    return failWith(ERROR_INSUFFICIENT_BUFFER);
  }
  SECURITY_DESCRIPTOR header{};
  header.Revision = SECURITY_DESCRIPTOR_REVISION;
  header.Control = static_cast<WORD>(parts.control & ~SE_SELF_RELATIVE);
  auto copyPart = [](const BYTE* part, size_t length, void* buffer) -> void* {
    if (part == nullptr) return nullptr;
    std::memmove(buffer, part, length);
    return buffer;
  };
  header.Dacl = static_cast<PACL>(copyPart(parts.dacl, parts.daclLength, dacl));
  header.Sacl = static_cast<PACL>(copyPart(parts.sacl, parts.saclLength, sacl));
  header.Owner = copyPart(parts.owner, parts.ownerLength, owner);
  header.Group = copyPart(parts.group, parts.groupLength, primaryGroup);
  std::memcpy(absolute, &header, sizeof header);
  return TRUE;
}
