// wsprintfW: printf-style formatting of UTF-16 text into a buffer of at most 1024 units.
#pragma once
#include "minwindef.h"

int wsprintfW(LPWSTR buffer, LPCWSTR format, ...);
