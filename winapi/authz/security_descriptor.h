// One reader for both descriptor forms, so every function sees the same validated parts.
#pragma once
#include "authz/bytes.h"
#include "winnt.h"

namespace authz {

constexpr size_t kRelativeHeaderLength = sizeof(SECURITY_DESCRIPTOR_RELATIVE);

struct DescriptorParts {
  BYTE revision = 0;
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  const BYTE* owner = nullptr;
  const BYTE* group = nullptr;
  const BYTE* sacl = nullptr;  // null when absent, or present but null
  const BYTE* dacl = nullptr;
  size_t ownerLength = 0;
  size_t groupLength = 0;
  size_t saclLength = 0;
  size_t daclLength = 0;
  size_t extent = 0;  // self-relative form: the end of the furthest part

  bool selfRelative() const { return (control & SE_SELF_RELATIVE) != 0; }
  bool daclPresent() const { return (control & SE_DACL_PRESENT) != 0; }
  bool saclPresent() const { return (control & SE_SACL_PRESENT) != 0; }
};

// Reads and validates a descriptor in either form. `available` bounds a self-relative one; pass
// kUnboundedLength when the caller, like the Windows API, has no length. Returns ERROR_SUCCESS
// or the code that names the broken part (unknown revision, invalid SID, invalid ACL, or an
// invalid descriptor for a part that lies outside the block).
DWORD readDescriptor(const void* descriptor, size_t available, DescriptorParts& parts);

// The size MakeSelfRelativeSD needs for these parts.
size_t selfRelativeLength(const DescriptorParts& parts);

// Writes the self-relative form (SACL, DACL, owner, group, each DWORD-aligned) into `out`,
// which holds selfRelativeLength(parts) bytes.
void writeSelfRelative(const DescriptorParts& parts, BYTE* out);

}  // namespace authz
