// Active Directory Service Interfaces as one include.
#pragma once
#include "adserr.h"
#include "adshlp.h"
#include "iads.h"
#include "objbase.h"
