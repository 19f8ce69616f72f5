// The Windows API surface the library uses, as one include (Linux stand-in).
#pragma once
#include "errhandlingapi.h"
#include "guiddef.h"
#include "minwindef.h"
#include "winbase.h"
#include "winerror.h"
#include "winuser.h"
#include "handleapi.h"
#include "processthreadsapi.h"
#include "sddl.h"
#include "securitybaseapi.h"
#include "winnt.h"
