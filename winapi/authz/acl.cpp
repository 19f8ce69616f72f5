#include "authz/acl.h"

#include "authz/sid.h"
#include "errhandlingapi.h"
#include "securitybaseapi.h"

namespace authz {

bool isObjectAceType(BYTE type) {
  switch (type) {
    case ACCESS_ALLOWED_OBJECT_ACE_TYPE:
    case ACCESS_DENIED_OBJECT_ACE_TYPE:
    case SYSTEM_AUDIT_OBJECT_ACE_TYPE:
    case SYSTEM_ALARM_OBJECT_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE:
    case ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE:
    case SYSTEM_AUDIT_CALLBACK_OBJECT_ACE_TYPE:
    case SYSTEM_ALARM_CALLBACK_OBJECT_ACE_TYPE:
      return true;
    default:
      return false;
  }
}

bool carriesSid(BYTE type) {
  switch (type) {
    case ACCESS_ALLOWED_ACE_TYPE:
    case ACCESS_DENIED_ACE_TYPE:
    case SYSTEM_AUDIT_ACE_TYPE:
    case SYSTEM_ALARM_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_ACE_TYPE:
    case ACCESS_DENIED_CALLBACK_ACE_TYPE:
    case SYSTEM_AUDIT_CALLBACK_ACE_TYPE:
    case SYSTEM_ALARM_CALLBACK_ACE_TYPE:
    case SYSTEM_MANDATORY_LABEL_ACE_TYPE:
    case SYSTEM_RESOURCE_ATTRIBUTE_ACE_TYPE:
    case SYSTEM_SCOPED_POLICY_ID_ACE_TYPE:
      return true;
    default:
      return isObjectAceType(type);
  }
}

namespace {

// Decodes one entry of `size` bytes (already known to lie inside its ACL). False when the
// entry's own fields overrun it.
bool decodeAce(const BYTE* ace, WORD size, AceView& view) {
  view = AceView{};
  view.type = ace[0];
  view.flags = ace[1];
  view.size = size;
  if (!carriesSid(view.type)) return true;
  if (size < 8) return false;
  view.mask = readDword(ace + 4);
  size_t at = 8;
  if (isObjectAceType(view.type)) {
    if (size < 12) return false;
    view.objectFlags = readDword(ace + 8);
    at = 12;
    if (view.objectFlags & ACE_OBJECT_TYPE_PRESENT) {
      if (at + 16 > size) return false;
      view.objectType = ace + at;
      at += 16;
    }
    if (view.objectFlags & ACE_INHERITED_OBJECT_TYPE_PRESENT) {
      if (at + 16 > size) return false;
      view.inheritedObjectType = ace + at;
      at += 16;
    }
  }
  view.sidLength = validSidLength(ace + at, size - at);
  if (view.sidLength == 0) return false;
  view.sid = ace + at;
  return true;
}

}  // namespace

size_t validAclLength(const BYTE* acl, size_t available) {
  if (acl == nullptr || available < kAclHeaderLength) return 0;
  BYTE revision = acl[0];
  WORD aclSize = readWord(acl + 2);
  WORD count = readWord(acl + 4);
  if (revision < MIN_ACL_REVISION || revision > MAX_ACL_REVISION) return 0;
  if (aclSize < kAclHeaderLength || aclSize > available || aclSize % 4 != 0) return 0;
  size_t at = kAclHeaderLength;
  for (WORD i = 0; i < count; ++i) {
    if (at + 4 > aclSize) return 0;
    WORD aceSize = readWord(acl + at + 2);
    if (aceSize < 4 || aceSize % 4 != 0 || at + aceSize > aclSize) return 0;
    // Object entries exist only from the directory revision of the ACL format on.
    if (isObjectAceType(acl[at]) && revision < ACL_REVISION_DS) return 0;
    AceView view;
    if (!decodeAce(acl + at, aceSize, view)) return 0;
    at += aceSize;
  }
  return aclSize;
}

AceView aceAt(const BYTE* validAcl, WORD index) {
  size_t at = kAclHeaderLength;
  for (WORD i = 0; i < index; ++i) at += readWord(validAcl + at + 2);
  AceView view;
  decodeAce(validAcl + at, readWord(validAcl + at + 2), view);
  return view;
}

GUID guidFromBytes(const BYTE* bytes) {
  GUID guid;
  guid.Data1 = readDword(bytes);
  guid.Data2 = readWord(bytes + 4);
  guid.Data3 = readWord(bytes + 6);
  std::memcpy(guid.Data4, bytes + 8, 8);
  return guid;
}

}  // namespace authz

BOOL IsValidAcl(PACL acl) {
  return authz::validAclLength(reinterpret_cast<const BYTE*>(acl), authz::kUnboundedLength) != 0 ? TRUE : FALSE;
}

BOOL GetAce(PACL acl, DWORD index, LPVOID* ace) {
  const BYTE* bytes = reinterpret_cast<const BYTE*>(acl);
  if (ace == nullptr || authz::validAclLength(bytes, authz::kUnboundedLength) == 0 ||
      index >= authz::aceCount(bytes)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  size_t at = authz::kAclHeaderLength;
  for (DWORD i = 0; i < index; ++i) at += authz::readWord(bytes + at + 2);
  *ace = reinterpret_cast<BYTE*>(acl) + at;
  return TRUE;
}
