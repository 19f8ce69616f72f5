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

// A-Z as a-z; every other unit as it is (DNS names compare without regard to ASCII case).
WideString lowerCaseAscii(WideString text);

// The name as the part of an LDAP path after the host: every "/" that is not already escaped is
// written "\/", as the directory service reads paths, so no part of the name is ever taken for
// a host. Escapes already in the name are kept as they are.
WideString pathEscapedName(const WideString& name);

// Whether the text is written as a directory name: a first relative name, or an extended name
// ("<GUID=...>"), whose type is a keyword or a numeric OID. Anything else might be read in a path
// as a host.
bool isWrittenAsDirectoryName(const WideString& name);

// The DNS domain of the run of domain components that ends a name (DC=x,DC=example gives
// x.example), in lower case; the distinguished name inside an extended name <WKGUID=..,dn> is
// the one read. False when the name does not end in a domain component; an empty domain when a
// component there cannot be read.
bool trailingDnsDomainOfDn(const WideString& dn, WideString* domain);
