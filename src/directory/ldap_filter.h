// Values placed into LDAP search filters.
#pragma once
#include "platform.h"

// The value as an RFC 4515 assertion value: "*", "(", ")", "\" and NUL become \2a, \28, \29,
// \5c and \00, so that a name can only ever match itself.
WideString escapeFilterValue(const WideString& value);
