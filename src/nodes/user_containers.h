// The process-wide caches of schema classes that do or do not hold user accounts, as tests
// see them. The operations themselves are AdsiContext::isUserContainer and
// AdsiContext::getChildUserContainers.
#pragma once
#include "platform.h"

// Forgets every decided class.
void clearUserContainerCachesForTesting();
// Whether a schema class path has been decided, and how.
bool userContainerCacheHoldsForTesting(const WideString& schemaPath, bool* isUserContainer);
