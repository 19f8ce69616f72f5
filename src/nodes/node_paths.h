// The distinguished name inside an LDAP path as the directory service writes it.
#pragma once
#include "platform.h"

// Drops the "LDAP://" scheme, and the host with its "/" when the text before the first
// unescaped "/" holds no "=" (a name always does, a host never). "\/" inside a name is part of
// the name and stays as written.
WideString distinguishedNameOfPath(const WideString& path);
