// The calling thread's last-error value.
#pragma once
#include "minwindef.h"

DWORD GetLastError();
void SetLastError(DWORD code);
