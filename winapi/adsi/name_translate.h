// The name-translation service of the LDAP provider: the COM class NameTranslate offering
// IADsNameTranslate. Init/InitEx authenticate against a server, a domain or the Global
// Catalog; Set finds exactly one object from a name in any input format; Get renders it.
//
// The name syntax of each format is kept apart from the directory work (namespace names,
// adsi/name_syntax.h), so that parsing and rendering can be checked without a server.
//
// Results where Windows leaves room for choice:
// - Init/InitEx: a refused bind is 0x8007052E; with a correct password the server's reason
//   is kept as the Win32 code a Windows logon gives (disabled 0x80070533, account expired
//   0x80070701, locked out 0x80070775, must change 0x80070773, password expired 0x80070532,
//   logon hours/workstation/restriction 0x80070530/531/52F). An unreachable server is the
//   connection failure (0x8007203A). An unknown init type or a malformed server address is
//   E_ADS_BAD_PARAMETER.
// - Set before a successful Init, Get before a successful Set, an unknown format, an empty
//   name: E_ADS_BAD_PARAMETER. A name that cannot be in the given format, or that names
//   nothing: 0x80072116 NOT_FOUND; more than one object: 0x80072117 NOT_UNIQUE.
// - Get: domain simple, enterprise simple and user principal name are one format for the
//   directory (DS_USER_PRINCIPAL_NAME): the stored userPrincipalName, else 0x80072118
//   NO_MAPPING, never an implicit account@domain. GUID text is lower-case. Service principal
//   name is NO_MAPPING; UNKNOWN and SID are input only (E_ADS_BAD_PARAMETER).
#pragma once
#include "adsi/name_syntax.h"
#include "iads.h"

namespace winapi::adsi {

// The class-table entry of CLSID_NameTranslate.
HRESULT createNameTranslate(REFIID riid, void** ppv);

}  // namespace winapi::adsi
