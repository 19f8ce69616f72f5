// String helpers of the system.
#pragma once
#include "minwindef.h"

int lstrlenW(LPCWSTR text);
int lstrcmpW(LPCWSTR first, LPCWSTR second);

#define LOGON32_LOGON_INTERACTIVE 2
#define LOGON32_PROVIDER_DEFAULT 0

// Authenticates an account and returns its primary token. A user principal name takes a null
// or empty domain; any other account name takes its domain.
BOOL LogonUserW(LPCWSTR user, LPCWSTR domain, LPCWSTR password, DWORD logonType, DWORD logonProvider,
                PHANDLE token);
