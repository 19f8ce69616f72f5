// AccessCheckByTypeResultList in stages, each testable on its own:
//   mapGenericRights   generic rights to specific ones through the caller's mapping;
//   readObjectTypeList the object type list as a level-ordered tree;
//   grantByPrivilege   ACCESS_SYSTEM_SECURITY and WRITE_OWNER through the token's privileges;
//   evaluateDacl       the DACL walk (owner rights, principal self, object entries) giving, per
//                      element, the rights an entry granted and those an entry denied first;
//   decideElement      the per-element granted mask and status, MAXIMUM_ALLOWED or not.
#pragma once
#include <vector>

#include "authz/security_descriptor.h"
#include "authz/token.h"
#include "winnt.h"

namespace authz {

constexpr ACCESS_MASK kGenericRights = GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL;

ACCESS_MASK mapGenericRights(ACCESS_MASK mask, const GENERIC_MAPPING& mapping);

struct ObjectTypeNode {
  GUID type;
  WORD level;
};

// ERROR_INVALID_PARAMETER unless the list is non-empty, starts with the only level-0 entry,
// never skips a level going down, stays within ACCESS_MAX_LEVEL and names each GUID once.
DWORD readObjectTypeList(const OBJECT_TYPE_LIST* list, DWORD length, std::vector<ObjectTypeNode>& nodes);

struct PrivilegeGrant {
  ACCESS_MASK granted = 0;
  std::vector<DWORD> used;  // privilege LUIDs, in the order they were applied
  bool securityPrivilegeMissing = false;
};

// Privileges are applied before the DACL is read: ACCESS_SYSTEM_SECURITY only ever comes from
// SeSecurityPrivilege, and SeTakeOwnershipPrivilege grants WRITE_OWNER whatever the DACL says.
PrivilegeGrant grantByPrivilege(const Token& token, ACCESS_MASK desired);

struct ElementAccess {
  ACCESS_MASK granted = 0;
  ACCESS_MASK denied = 0;
};

// For a descriptor with a DACL (present and not null). `principalSelf` may be null.
std::vector<ElementAccess> evaluateDacl(const DescriptorParts& descriptor, const Token& token,
                                        const BYTE* principalSelf, const std::vector<ObjectTypeNode>& types);

struct ElementResult {
  ACCESS_MASK granted = 0;
  DWORD status = ERROR_ACCESS_DENIED;
};

// `desired` is mapped and may hold MAXIMUM_ALLOWED; `access` is null for a null DACL.
ElementResult decideElement(ACCESS_MASK desired, const PrivilegeGrant& privileges, const ElementAccess* access,
                            const GENERIC_MAPPING& mapping);

}  // namespace authz
