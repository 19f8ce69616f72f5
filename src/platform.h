// The one place that chooses the platform: the Windows SDK on Windows, the project's own
// stand-in (same header names, same declarations) on Linux. Both provide these includes.
#pragma once

#include <string>

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <activeds.h>
#include <lm.h>
#include <sddl.h>

#ifdef _WIN32
#define WIDE(text) L##text
#else
#define WIDE(text) u##text
#endif

// UTF-16 text owned by the library; a Java string's code units are copied into it unchanged.
using WideString = std::basic_string<WCHAR>;
