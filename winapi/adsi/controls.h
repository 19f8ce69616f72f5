// The LDAP controls the provider sends, as the server expects them.
#pragma once
#include <ldap.h>

namespace winapi::adsi {

// Permissive modify: adding a value already there, or deleting one that is not, succeeds
// (ADSI's PutEx semantics).
inline LDAPControl* permissiveModifyControl() {
  static char oid[] = "1.2.840.113556.1.4.1413";
  static LDAPControl control{oid, {0, nullptr}, 0};
  return &control;
}

// Security-descriptor flags 7 (owner, group, DACL): reading nTSecurityDescriptor without the
// SACL needs no security privilege.
inline LDAPControl* securityDescriptorFlagsControl() {
  static char oid[] = "1.2.840.113556.1.4.801";
  static char value[] = {0x30, 0x03, 0x02, 0x01, 0x07};
  static LDAPControl control{oid, {sizeof value, value}, 0};
  return &control;
}

// Tree delete: the object and everything below it.
inline LDAPControl* treeDeleteControl() {
  static char oid[] = "1.2.840.113556.1.4.805";
  static LDAPControl control{oid, {0, nullptr}, 1};
  return &control;
}

// Show deleted objects (tombstones) in searches.
inline LDAPControl* showDeletedControl() {
  static char oid[] = "1.2.840.113556.1.4.417";
  static LDAPControl control{oid, {0, nullptr}, 1};
  return &control;
}

}  // namespace winapi::adsi
