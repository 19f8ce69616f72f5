// The name syntax of the name-translation service's formats: canonical names, GUID text,
// DOMAIN\account and principal names, server addresses, and how InitEx's account is bound.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "adsi/connection.h"

namespace winapi::adsi {

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
