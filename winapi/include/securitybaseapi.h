// SIDs, security descriptors, tokens and the access check, as advapi32 offers them.
#pragma once
#include "guiddef.h"
#include "minwindef.h"
#include "winerror.h"
#include "winnt.h"

// SIDs
BOOL IsValidSid(PSID sid);
DWORD GetLengthSid(PSID sid);
BOOL EqualSid(PSID first, PSID second);
BOOL CopySid(DWORD destinationLength, PSID destination, PSID source);
BOOL AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY authority, BYTE subAuthorityCount, DWORD sub0,
                              DWORD sub1, DWORD sub2, DWORD sub3, DWORD sub4, DWORD sub5, DWORD sub6,
                              DWORD sub7, PSID* sid);
PVOID FreeSid(PSID sid);
PUCHAR GetSidSubAuthorityCount(PSID sid);
PDWORD GetSidSubAuthority(PSID sid, DWORD index);

// ACLs
BOOL IsValidAcl(PACL acl);
BOOL GetAce(PACL acl, DWORD index, LPVOID* ace);

// Security descriptors (absolute or self-relative, told apart by SE_SELF_RELATIVE)
BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor, DWORD revision);
BOOL IsValidSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor);
DWORD GetSecurityDescriptorLength(PSECURITY_DESCRIPTOR descriptor);
BOOL GetSecurityDescriptorControl(PSECURITY_DESCRIPTOR descriptor, PSECURITY_DESCRIPTOR_CONTROL control,
                                  LPDWORD revision);
BOOL GetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR descriptor, PSID* owner, LPBOOL ownerDefaulted);
BOOL GetSecurityDescriptorGroup(PSECURITY_DESCRIPTOR descriptor, PSID* group, LPBOOL groupDefaulted);
BOOL GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, LPBOOL daclPresent, PACL* dacl,
                               LPBOOL daclDefaulted);
BOOL GetSecurityDescriptorSacl(PSECURITY_DESCRIPTOR descriptor, LPBOOL saclPresent, PACL* sacl,
                               LPBOOL saclDefaulted);
BOOL SetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR descriptor, PSID owner, BOOL ownerDefaulted);
BOOL SetSecurityDescriptorGroup(PSECURITY_DESCRIPTOR descriptor, PSID group, BOOL groupDefaulted);
BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL daclPresent, PACL dacl,
                               BOOL daclDefaulted);
BOOL MakeSelfRelativeSD(PSECURITY_DESCRIPTOR absolute, PSECURITY_DESCRIPTOR selfRelative,
                        LPDWORD bufferLength);
BOOL MakeAbsoluteSD(PSECURITY_DESCRIPTOR selfRelative, PSECURITY_DESCRIPTOR absolute,
                    LPDWORD absoluteSize, PACL dacl, LPDWORD daclSize, PACL sacl, LPDWORD saclSize,
                    PSID owner, LPDWORD ownerSize, PSID primaryGroup, LPDWORD primaryGroupSize);

// Tokens
BOOL DuplicateToken(HANDLE existingToken, SECURITY_IMPERSONATION_LEVEL level, PHANDLE duplicate);

// Access check
void MapGenericMask(PDWORD accessMask, PGENERIC_MAPPING mapping);
BOOL AccessCheckByTypeResultList(PSECURITY_DESCRIPTOR descriptor, PSID principalSelfSid,
                                 HANDLE clientToken, DWORD desiredAccess,
                                 POBJECT_TYPE_LIST objectTypeList, DWORD objectTypeListLength,
                                 PGENERIC_MAPPING genericMapping, PPRIVILEGE_SET privilegeSet,
                                 LPDWORD privilegeSetLength, LPDWORD grantedAccessList,
                                 LPDWORD accessStatusList);
