// Security descriptor definition language: descriptors and SIDs to and from text.
// The returned blocks come from LocalAlloc and are released with LocalFree.
#pragma once
#include "minwindef.h"
#include "winerror.h"
#include "winnt.h"

typedef HANDLE HLOCAL;
#define LMEM_FIXED 0x0000
#define LMEM_ZEROINIT 0x0040
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)
HLOCAL LocalAlloc(UINT flags, size_t bytes);
HLOCAL LocalFree(HLOCAL memory);

#define SDDL_REVISION_1 1
#define SDDL_REVISION SDDL_REVISION_1

BOOL ConvertStringSidToSidW(LPCWSTR stringSid, PSID* sid);
BOOL ConvertSidToStringSidW(PSID sid, LPWSTR* stringSid);
BOOL ConvertStringSecurityDescriptorToSecurityDescriptorW(LPCWSTR stringDescriptor, DWORD revision,
                                                          PSECURITY_DESCRIPTOR* descriptor,
                                                          PULONG descriptorSize);
BOOL ConvertSecurityDescriptorToStringSecurityDescriptorW(PSECURITY_DESCRIPTOR descriptor,
                                                          DWORD revision,
                                                          SECURITY_INFORMATION information,
                                                          LPWSTR* stringDescriptor,
                                                          PULONG stringLength);
