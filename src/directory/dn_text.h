// Distinguished names the library builds or reads itself.
#pragma once
#include "platform.h"

// The value as an RFC 4514 attribute value: "," "+" "\"" "\\" "<" ">" ";" "=" are escaped with
// a backslash, so are a leading "#" or space and a trailing space, and NUL becomes \00; so the
// value is one value of one relative name, never a second name or a path to another container.
WideString escapeRdnValue(const WideString& value);

// The DNS domain a distinguished name lies in: its domain components (DC=, any letter case,
// spaces around them trimmed, escapes undone) joined by "." in their order. E_INVALIDARG when
// the name has no domain component, an empty one, or an escape that is not complete.
HRESULT dnsDomainOfDn(const WideString& dn, WideString* domain);
