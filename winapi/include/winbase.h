// String helpers of the system.
#pragma once
#include "minwindef.h"

int lstrlenW(LPCWSTR text);
int lstrcmpW(LPCWSTR first, LPCWSTR second);
