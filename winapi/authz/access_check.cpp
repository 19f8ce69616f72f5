#include "authz/access_check.h"

#include <cstddef>

#include "authz/acl.h"
#include "authz/fail_with.h"
#include "errhandlingapi.h"
#include "securitybaseapi.h"

namespace authz {

ACCESS_MASK mapGenericRights(ACCESS_MASK mask, const GENERIC_MAPPING& mapping) {
  ACCESS_MASK mapped = mask & ~kGenericRights;
  if (mask & GENERIC_READ) mapped |= mapping.GenericRead;
  if (mask & GENERIC_WRITE) mapped |= mapping.GenericWrite;
  if (mask & GENERIC_EXECUTE) mapped |= mapping.GenericExecute;
  if (mask & GENERIC_ALL) mapped |= mapping.GenericAll;
  return mapped;
}

DWORD readObjectTypeList(const OBJECT_TYPE_LIST* list, DWORD length, std::vector<ObjectTypeNode>& nodes) {
  nodes.clear();
  if (list == nullptr || length == 0) return ERROR_INVALID_PARAMETER;
  for (DWORD i = 0; i < length; ++i) {
    WORD level = list[i].Level;
    if (list[i].ObjectType == nullptr || level > ACCESS_MAX_LEVEL) return ERROR_INVALID_PARAMETER;
    bool levelFits = i == 0 ? level == ACCESS_OBJECT_GUID : level != ACCESS_OBJECT_GUID && level <= nodes.back().level + 1;
    if (!levelFits) return ERROR_INVALID_PARAMETER;
    for (const ObjectTypeNode& earlier : nodes)
      if (IsEqualGUID(earlier.type, *list[i].ObjectType)) return ERROR_INVALID_PARAMETER;
    nodes.push_back(ObjectTypeNode{*list[i].ObjectType, level});
  }
  return ERROR_SUCCESS;
}

PrivilegeGrant grantByPrivilege(const Token& token, ACCESS_MASK desired) {
  PrivilegeGrant grant;
  if (desired & ACCESS_SYSTEM_SECURITY) {
    if (!token.privilegeEnabled(SE_SECURITY_PRIVILEGE)) {
      grant.securityPrivilegeMissing = true;
      return grant;
    }
    grant.granted |= ACCESS_SYSTEM_SECURITY;
    grant.used.push_back(SE_SECURITY_PRIVILEGE);
  }
  if ((desired & WRITE_OWNER) && token.privilegeEnabled(SE_TAKE_OWNERSHIP_PRIVILEGE)) {
    grant.granted |= WRITE_OWNER;
    grant.used.push_back(SE_TAKE_OWNERSHIP_PRIVILEGE);
  }
  return grant;
}

namespace {

enum class EntryEffect { None, Allow, Deny };

// Only the four directory entry types decide access. Callback denials are honoured as plain
// denials, so that a condition this code cannot evaluate never widens access; callback allows
// grant nothing without their condition.
EntryEffect effectOf(BYTE aceType) {
  switch (aceType) {
    case ACCESS_ALLOWED_ACE_TYPE:
    case ACCESS_ALLOWED_OBJECT_ACE_TYPE:
      return EntryEffect::Allow;
    case ACCESS_DENIED_ACE_TYPE:
    case ACCESS_DENIED_OBJECT_ACE_TYPE:
    case ACCESS_DENIED_CALLBACK_ACE_TYPE:
    case ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE:
      return EntryEffect::Deny;
    default:
      return EntryEffect::None;
  }
}

// The per-element masks over a level-ordered object type list: an element's subtree is the run
// of following elements with a deeper level; its parent is the nearest earlier shallower one.
class TypeTree {
 public:
  TypeTree(const std::vector<ObjectTypeNode>& types) : types_(types), access_(types.size()) {}

  // The element an object entry names, or -1 when the list does not hold its GUID.
  int find(const BYTE* guidBytes) const {
    GUID wanted = guidFromBytes(guidBytes);
    for (size_t i = 0; i < types_.size(); ++i)
      if (IsEqualGUID(types_[i].type, wanted)) return static_cast<int>(i);
    return -1;
  }

  // Every right granted to an element holds for its whole subtree; a parent gains a right once
  // all of its children hold it.
  void grant(int node, ACCESS_MASK mask) {
    for (size_t i = node; i < subtreeEnd(node); ++i) access_[i].granted |= mask & ~access_[i].denied;
    for (int parent = parentOf(node); parent >= 0; parent = parentOf(parent)) {
      ACCESS_MASK heldByAllChildren = ~static_cast<ACCESS_MASK>(0);
      for (size_t i = parent + 1; i < subtreeEnd(parent); ++i)
        if (types_[i].level == types_[parent].level + 1) heldByAllChildren &= access_[i].granted;
      access_[parent].granted |= heldByAllChildren & ~access_[parent].denied;
    }
  }

  // A right denied on an element is denied on its subtree and on everything above it, since a
  // parent can no longer hold it for all of its children.
  void deny(int node, ACCESS_MASK mask) {
    for (size_t i = node; i < subtreeEnd(node); ++i) access_[i].denied |= mask & ~access_[i].granted;
    for (int parent = parentOf(node); parent >= 0; parent = parentOf(parent))
      access_[parent].denied |= mask & ~access_[parent].granted;
  }

  void grantAll(ACCESS_MASK mask) {
    for (ElementAccess& element : access_) element.granted |= mask;
  }

  std::vector<ElementAccess> take() { return std::move(access_); }

 private:
  size_t subtreeEnd(int node) const {
    size_t end = node + 1;
    while (end < types_.size() && types_[end].level > types_[node].level) ++end;
    return end;
  }

  int parentOf(int node) const {
    for (int i = node - 1; i >= 0; --i)
      if (types_[i].level < types_[node].level) return i;
    return -1;
  }

  const std::vector<ObjectTypeNode>& types_;
  std::vector<ElementAccess> access_;
};

bool holdsOwnerRightsEntry(const BYTE* dacl) {
  for (WORD i = 0; i < aceCount(dacl); ++i) {
    AceView ace = aceAt(dacl, i);
    if ((ace.flags & INHERIT_ONLY_ACE) == 0 && effectOf(ace.type) != EntryEffect::None &&
        sameSid(ace.sid, wellknown::ownerRights()))
      return true;
  }
  return false;
}

}  // namespace

std::vector<ElementAccess> evaluateDacl(const DescriptorParts& descriptor, const Token& token,
                                        const BYTE* principalSelf, const std::vector<ObjectTypeNode>& types) {
  TypeTree tree(types);
  const BYTE* dacl = descriptor.dacl;
  bool isOwner = descriptor.owner != nullptr && token.matchesForAllow(descriptor.owner);
  // Since Windows Vista an OWNER RIGHTS entry replaces the owner's implicit READ_CONTROL and
  // WRITE_DAC; the entry itself then applies to whoever holds the owner SID.
  bool ownerRightsListed = holdsOwnerRightsEntry(dacl);
  if (isOwner && !ownerRightsListed) tree.grantAll(READ_CONTROL | WRITE_DAC);

  for (WORD i = 0; i < aceCount(dacl); ++i) {
    AceView ace = aceAt(dacl, i);
    EntryEffect effect = effectOf(ace.type);
    if (effect == EntryEffect::None || (ace.flags & INHERIT_ONLY_ACE) != 0) continue;

    const BYTE* trustee = ace.sid;
    if (principalSelf != nullptr && sameSid(trustee, wellknown::principalSelf())) trustee = principalSelf;
    bool applies;
    if (sameSid(trustee, wellknown::ownerRights())) applies = isOwner;
    else if (effect == EntryEffect::Allow) applies = token.matchesForAllow(trustee);
    else applies = token.matchesForDeny(trustee);
    if (!applies) continue;

    // An object entry without an object type applies to the whole object, like a plain one.
    int node = 0;
    if (ace.objectType != nullptr) {
      node = tree.find(ace.objectType);
      if (node < 0) continue;
    }
    // A DACL cannot hand out the SACL right, and MAXIMUM_ALLOWED is a request, not a right.
    ACCESS_MASK mask = ace.mask & ~(ACCESS_SYSTEM_SECURITY | MAXIMUM_ALLOWED);
    if (effect == EntryEffect::Allow) tree.grant(node, mask);
    else tree.deny(node, mask);
  }
  return tree.take();
}

ElementResult decideElement(ACCESS_MASK desired, const PrivilegeGrant& privileges, const ElementAccess* access,
                            const GENERIC_MAPPING& mapping) {
  if (privileges.securityPrivilegeMissing) return ElementResult{0, ERROR_PRIVILEGE_NOT_HELD};
  bool maximum = (desired & MAXIMUM_ALLOWED) != 0;
  ACCESS_MASK requested = desired & ~MAXIMUM_ALLOWED;
  ACCESS_MASK stillWanted = requested & ~privileges.granted;
  // A null DACL grants everything; asked for the maximum, that is the mapping's "all".
  ACCESS_MASK fromDacl = access != nullptr ? access->granted : (maximum ? mapping.GenericAll : 0) | stillWanted;
  ACCESS_MASK granted = maximum ? fromDacl | privileges.granted | requested : requested;
  bool allHeld = (stillWanted & ~fromDacl) == 0;
  // Asking for nothing, or for the maximum when nothing is allowed, is a denial.
  if (!allHeld || granted == 0) return ElementResult{0, ERROR_ACCESS_DENIED};
  return ElementResult{granted, ERROR_SUCCESS};
}

}  // namespace authz

namespace {

using authz::failWith;

DWORD privilegeSetLengthFor(size_t count) {
  return static_cast<DWORD>(sizeof(PRIVILEGE_SET) + (count > 1 ? (count - 1) * sizeof(LUID_AND_ATTRIBUTES) : 0));
}

DWORD checkClientToken(HANDLE clientToken, authz::TokenReference& reference) {
  if (authz::referenceToken(clientToken, reference) != ERROR_SUCCESS) return ERROR_INVALID_HANDLE;
  if ((reference.handleAccess & TOKEN_QUERY) == 0) return ERROR_ACCESS_DENIED;
  const authz::TokenContents& contents = reference.token->contents();
  if (contents.type != TokenImpersonation) return ERROR_NO_IMPERSONATION_TOKEN;
  if (contents.impersonationLevel < SecurityIdentification) return ERROR_BAD_IMPERSONATION_LEVEL;
  return ERROR_SUCCESS;
}

void writePrivilegeSet(const std::vector<DWORD>& used, PPRIVILEGE_SET privilegeSet) {
  privilegeSet->PrivilegeCount = static_cast<DWORD>(used.size());
  privilegeSet->Control = 0;
  for (size_t i = 0; i < used.size(); ++i) {
    LUID_AND_ATTRIBUTES entry{};
    entry.Luid.LowPart = used[i];
    entry.Attributes = SE_PRIVILEGE_USED_FOR_ACCESS;
    BYTE* slot = reinterpret_cast<BYTE*>(privilegeSet) + offsetof(PRIVILEGE_SET, Privilege) + i * sizeof entry;
    std::memcpy(slot, &entry, sizeof entry);
  }
}

}  // namespace

void MapGenericMask(PDWORD accessMask, PGENERIC_MAPPING mapping) {
  if (accessMask == nullptr || mapping == nullptr) return;
  *accessMask = authz::mapGenericRights(*accessMask, *mapping);
}

BOOL AccessCheckByTypeResultList(PSECURITY_DESCRIPTOR descriptor, PSID principalSelfSid, HANDLE clientToken,
                                 DWORD desiredAccess, POBJECT_TYPE_LIST objectTypeList, DWORD objectTypeListLength,
                                 PGENERIC_MAPPING genericMapping, PPRIVILEGE_SET privilegeSet,
                                 LPDWORD privilegeSetLength, LPDWORD grantedAccessList, LPDWORD accessStatusList) {
  if (descriptor == nullptr || genericMapping == nullptr || privilegeSetLength == nullptr ||
      grantedAccessList == nullptr || accessStatusList == nullptr)
    return failWith(ERROR_INVALID_PARAMETER);

  authz::TokenReference client;
  DWORD status = checkClientToken(clientToken, client);
  if (status != ERROR_SUCCESS) return failWith(status);
  if (desiredAccess & authz::kGenericRights) return failWith(ERROR_GENERIC_NOT_MAPPED);

  authz::DescriptorParts parts;
  status = authz::readDescriptor(descriptor, authz::kUnboundedLength, parts);
  if (status != ERROR_SUCCESS) return failWith(status);
  if (parts.owner == nullptr || parts.group == nullptr) return failWith(ERROR_INVALID_SECURITY_DESCR);
  const BYTE* self = static_cast<const BYTE*>(principalSelfSid);
  if (self != nullptr && authz::validSidLength(self, authz::kUnboundedLength) == 0) return failWith(ERROR_INVALID_SID);

  std::vector<authz::ObjectTypeNode> types;
  status = authz::readObjectTypeList(objectTypeList, objectTypeListLength, types);
  if (status != ERROR_SUCCESS) return failWith(status);

  const authz::Token& token = *client.token;
  authz::PrivilegeGrant privileges = authz::grantByPrivilege(token, desiredAccess);
  DWORD neededPrivilegeSetLength = privilegeSetLengthFor(privileges.used.size());
  if (privilegeSet == nullptr || *privilegeSetLength < neededPrivilegeSetLength) {
    *privilegeSetLength = neededPrivilegeSetLength;
    return failWith(ERROR_INSUFFICIENT_BUFFER);
  }

  bool nullDacl = parts.dacl == nullptr;
  std::vector<authz::ElementAccess> access;
  if (!nullDacl && !privileges.securityPrivilegeMissing) access = authz::evaluateDacl(parts, token, self, types);
  for (size_t i = 0; i < types.size(); ++i) {
    const authz::ElementAccess* fromDacl = access.empty() ? nullptr : &access[i];
    authz::ElementResult result = authz::decideElement(desiredAccess, privileges, fromDacl, *genericMapping);
    grantedAccessList[i] = result.granted;
    accessStatusList[i] = result.status;
  }
  writePrivilegeSet(privileges.securityPrivilegeMissing ? std::vector<DWORD>{} : privileges.used, privilegeSet);
  return TRUE;
}
