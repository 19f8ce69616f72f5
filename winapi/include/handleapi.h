// Handles of the system objects the stand-in knows (access tokens).
#pragma once
#include "minwindef.h"
#include "winerror.h"

BOOL CloseHandle(HANDLE object);
