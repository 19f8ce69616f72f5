// The name-translation service of the LDAP provider: the COM class NameTranslate offering
// IADsNameTranslate. Init/InitEx authenticate against a server, a domain or the Global
// Catalog; Set finds exactly one object from a name in any input format; Get renders it.
//
// The name syntax of each format is kept apart from the directory work (namespace
// names below), so that parsing and rendering can be checked without a server.
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
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "adsi/connection.h"
#include "iads.h"

namespace winapi::adsi {

// The class-table entry of CLSID_NameTranslate.
HRESULT createNameTranslate(REFIID riid, void** ppv);

namespace names {

using GuidBytes = std::array<uint8_t, 16>;

// "orvistal.test/Orvistal/People/Alice Liddell" = domain "orvistal.test" and the relative
// names from the top down; "orvistal.test/" is the domain itself (no components). A '/'
// inside a name is written "\/".
struct CanonicalName {
  std::string domain;
  std::vector<std::string> components;
};
bool parseCanonicalName(std::string_view text, CanonicalName* out);
// The extended form has a line feed in place of the last '/'.
bool parseCanonicalNameEx(std::string_view text, CanonicalName* out);
// The canonical name of a DN: its trailing DC= components make the DNS name, the other
// relative names follow from the top down. False when the DN has no DC= components.
bool canonicalNameOfDn(std::string_view dn, std::string* out);
std::string canonicalToExtended(std::string_view canonical);
// "orvistal.test" -> "DC=orvistal,DC=test".
std::string dnOfDnsName(std::string_view dnsName);

// "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" (braces optional), Data1-Data3 as little-endian
// numbers, as objectGUID stores them.
bool parseGuidText(std::string_view text, GuidBytes* out);
std::string formatGuid(const GuidBytes& guid);

// "DOMAIN\account"; "DOMAIN\" alone names the domain (empty account).
bool parseNt4Name(std::string_view text, std::string* domain, std::string* account);
// "account@suffix", split at the last '@'.
bool parsePrincipalName(std::string_view text, std::string* account, std::string* suffix);

// Every byte as \xx, for binary values (objectGUID, objectSid) in a filter.
std::string binaryFilterValue(const uint8_t* bytes, size_t size);

// The formats an ADS_NAME_TYPE_UNKNOWN name may be in, by its syntax, in the order they are
// tried. Display name is always the last resort.
std::vector<int> candidateFormats(std::string_view name);

// "host", "host:port" or "[v6]:port" of Init's path. False for anything else.
bool parseServerAddress(std::string_view text, Endpoint* out);

// How InitEx authenticates, from its user, domain and whether a password was given.
enum class IdentityKind { OwnIdentity, NamedAccount, Refused };
struct Identity {
  IdentityKind kind = IdentityKind::OwnIdentity;
  std::string bindName;  // NamedAccount only
};
Identity identityFor(std::string_view user, std::string_view domain, bool hasPassword);

// A refused bind gives the logon-failure code; with a correct password the server names why
// (disabled, expired, locked out, must change) and that is the code a Windows logon gives.
HRESULT logonFailureFor(HRESULT bindResult, DWORD serverDataCode);

}  // namespace names

}  // namespace winapi::adsi
