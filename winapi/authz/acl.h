// ACLs and their entries, decoded with every length and offset checked against the ACL.
#pragma once
#include "authz/bytes.h"
#include "winnt.h"

namespace authz {

constexpr size_t kAclHeaderLength = 8;

// One entry as the access check and SDDL see it. Fields that the entry's type does not carry
// stay null; an entry of a type this code does not know has no SID.
struct AceView {
  BYTE type = 0;
  BYTE flags = 0;
  WORD size = 0;
  ACCESS_MASK mask = 0;
  DWORD objectFlags = 0;
  const BYTE* objectType = nullptr;           // 16 GUID bytes, when ACE_OBJECT_TYPE_PRESENT
  const BYTE* inheritedObjectType = nullptr;  // 16 GUID bytes, when ACE_INHERITED_OBJECT_TYPE_PRESENT
  const BYTE* sid = nullptr;
  size_t sidLength = 0;
};

bool isObjectAceType(BYTE type);
// Types laid out as header, mask, SID (the object types add flags and GUIDs before the SID).
bool carriesSid(BYTE type);

// The AclSize of a well-formed ACL that fits in `available` bytes, else 0.
size_t validAclLength(const BYTE* acl, size_t available);

// Decodes entry `index` of an ACL that validAclLength accepted.
AceView aceAt(const BYTE* validAcl, WORD index);

inline WORD aceCount(const BYTE* validAcl) { return readWord(validAcl + 4); }

GUID guidFromBytes(const BYTE* bytes);

}  // namespace authz
