// Network management.
#pragma once
#include "lmcons.h"
#include "lmerr.h"
#include "lmaccess.h"
