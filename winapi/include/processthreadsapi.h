// The calling process's and thread's tokens.
#pragma once
#include "minwindef.h"
#include "winerror.h"
#include "winnt.h"

HANDLE GetCurrentProcess();
HANDLE GetCurrentThread();
BOOL OpenProcessToken(HANDLE process, DWORD desiredAccess, PHANDLE token);
BOOL OpenThreadToken(HANDLE thread, DWORD desiredAccess, BOOL openAsSelf, PHANDLE token);
