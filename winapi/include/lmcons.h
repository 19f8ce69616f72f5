// Network management: common types.
#pragma once
#include "minwindef.h"

typedef DWORD NET_API_STATUS;
#define NET_API_FUNCTION
