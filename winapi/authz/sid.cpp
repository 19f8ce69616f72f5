#include "authz/sid.h"

#include <cstdio>
#include <cstdlib>
#include <new>

#include "errhandlingapi.h"
#include "securitybaseapi.h"

namespace authz {

size_t validSidLength(const BYTE* sid, size_t available) {
  if (sid == nullptr || available < kSidHeaderLength) return 0;
  if (sid[0] != SID_REVISION || sid[1] > SID_MAX_SUB_AUTHORITIES) return 0;
  size_t length = kSidHeaderLength + 4u * sid[1];
  return length <= available ? length : 0;
}

bool sameSid(const BYTE* first, const BYTE* second) {
  size_t length = kSidHeaderLength + 4u * first[1];
  return first[1] == second[1] && std::memcmp(first, second, length) == 0;
}

SidBytes makeSid(uint64_t authority, std::initializer_list<DWORD> subAuthorities) {
  SidBytes sid(kSidHeaderLength + 4 * subAuthorities.size());
  sid[0] = SID_REVISION;
  sid[1] = static_cast<BYTE>(subAuthorities.size());
  for (int i = 0; i < 6; ++i) sid[2 + i] = static_cast<BYTE>(authority >> (8 * (5 - i)));
  size_t at = kSidHeaderLength;
  for (DWORD sub : subAuthorities) {
    writeDword(&sid[at], sub);
    at += 4;
  }
  return sid;
}

SidBytes copySidBytes(const BYTE* validSid) {
  return SidBytes(validSid, validSid + kSidHeaderLength + 4u * validSid[1]);
}

std::string sidToText(const BYTE* validSid) {
  uint64_t authority = 0;
  for (int i = 0; i < 6; ++i) authority = (authority << 8) | validSid[2 + i];
  std::string text = "S-" + std::to_string(validSid[0]) + "-";
  if (authority >> 32 != 0) {
    char hex[24];
    std::snprintf(hex, sizeof hex, "0x%012llX", static_cast<unsigned long long>(authority));
    text += hex;
  } else {
    text += std::to_string(authority);
  }
  for (BYTE i = 0; i < validSid[1]; ++i) text += "-" + std::to_string(readDword(validSid + kSidHeaderLength + 4 * i));
  return text;
}

namespace {

// One decimal or 0x-hex number that fills `part` entirely and does not exceed `limit`.
bool parseNumber(const std::string& part, uint64_t limit, uint64_t& value) {
  if (part.empty()) return false;
  bool hex = part.size() > 2 && part[0] == '0' && (part[1] == 'x' || part[1] == 'X');
  size_t start = hex ? 2 : 0;
  if (part.size() - start > (hex ? 12 : 15)) return false;
  value = 0;
  for (size_t i = start; i < part.size(); ++i) {
    char c = part[i];
    unsigned digit;
    if (c >= '0' && c <= '9') digit = static_cast<unsigned>(c - '0');
    else if (hex && c >= 'a' && c <= 'f') digit = static_cast<unsigned>(c - 'a' + 10);
    else if (hex && c >= 'A' && c <= 'F') digit = static_cast<unsigned>(c - 'A' + 10);
    else return false;
    value = value * (hex ? 16 : 10) + digit;
  }
  return value <= limit;
}

}  // namespace

bool parseSidText(const std::string& text, SidBytes& sid) {
  if (text.size() < 2 || (text[0] != 'S' && text[0] != 's') || text[1] != '-') return false;
  std::vector<std::string> parts;
  size_t start = 2;
  while (true) {
    size_t dash = text.find('-', start);
    parts.push_back(text.substr(start, dash == std::string::npos ? std::string::npos : dash - start));
    if (dash == std::string::npos) break;
    start = dash + 1;
  }
  uint64_t revision = 0, authority = 0;
  if (parts.size() < 2 || parts.size() - 2 > SID_MAX_SUB_AUTHORITIES) return false;
  if (!parseNumber(parts[0], 0xFF, revision) || revision != SID_REVISION) return false;
  if (!parseNumber(parts[1], 0xFFFFFFFFFFFFull, authority)) return false;
  SidBytes result(kSidHeaderLength + 4 * (parts.size() - 2));
  result[0] = SID_REVISION;
  result[1] = static_cast<BYTE>(parts.size() - 2);
  for (int i = 0; i < 6; ++i) result[2 + i] = static_cast<BYTE>(authority >> (8 * (5 - i)));
  for (size_t i = 2; i < parts.size(); ++i) {
    uint64_t sub = 0;
    if (!parseNumber(parts[i], 0xFFFFFFFFu, sub)) return false;
    writeDword(&result[kSidHeaderLength + 4 * (i - 2)], static_cast<DWORD>(sub));
  }
  sid = std::move(result);
  return true;
}

namespace wellknown {
const SidBytes& everyone() { static const SidBytes sid = makeSid(1, {0}); return sid; }
const SidBytes& creatorOwner() { static const SidBytes sid = makeSid(3, {0}); return sid; }
const SidBytes& ownerRights() { static const SidBytes sid = makeSid(3, {4}); return sid; }
const SidBytes& principalSelf() { static const SidBytes sid = makeSid(5, {10}); return sid; }
const SidBytes& authenticatedUsers() { static const SidBytes sid = makeSid(5, {11}); return sid; }
const SidBytes& localSystem() { static const SidBytes sid = makeSid(5, {18}); return sid; }
const SidBytes& builtinAdministrators() { static const SidBytes sid = makeSid(5, {32, 544}); return sid; }
}  // namespace wellknown

}  // namespace authz

using authz::kUnboundedLength;
using authz::validSidLength;

BOOL IsValidSid(PSID sid) {
  return validSidLength(static_cast<const BYTE*>(sid), kUnboundedLength) != 0 ? TRUE : FALSE;
}

// Like the system, the length is read from the header without validating the SID.
DWORD GetLengthSid(PSID sid) {
  if (sid == nullptr) return 0;
  return static_cast<DWORD>(authz::kSidHeaderLength + 4u * static_cast<const BYTE*>(sid)[1]);
}

BOOL EqualSid(PSID first, PSID second) {
  const BYTE* a = static_cast<const BYTE*>(first);
  const BYTE* b = static_cast<const BYTE*>(second);
  if (validSidLength(a, kUnboundedLength) == 0 || validSidLength(b, kUnboundedLength) == 0) {
    SetLastError(ERROR_INVALID_SID);
    return FALSE;
  }
  SetLastError(ERROR_SUCCESS);
  return authz::sameSid(a, b) ? TRUE : FALSE;
}

BOOL CopySid(DWORD destinationLength, PSID destination, PSID source) {
  size_t length = validSidLength(static_cast<const BYTE*>(source), kUnboundedLength);
  if (length == 0) {
    SetLastError(ERROR_INVALID_SID);
    return FALSE;
  }
  if (destination == nullptr || destinationLength < length) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memmove(destination, source, length);
  return TRUE;
}

BOOL AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY authority, BYTE subAuthorityCount, DWORD sub0,
                              DWORD sub1, DWORD sub2, DWORD sub3, DWORD sub4, DWORD sub5, DWORD sub6,
                              DWORD sub7, PSID* sid) {
  if (authority == nullptr || sid == nullptr || subAuthorityCount > 8) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const DWORD subs[8] = {sub0, sub1, sub2, sub3, sub4, sub5, sub6, sub7};
  size_t length = authz::kSidHeaderLength + 4u * subAuthorityCount;
  BYTE* block = static_cast<BYTE*>(std::malloc(length));
  if (block == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  block[0] = SID_REVISION;
  block[1] = subAuthorityCount;
  std::memcpy(block + 2, authority->Value, 6);
  for (BYTE i = 0; i < subAuthorityCount; ++i) authz::writeDword(block + authz::kSidHeaderLength + 4 * i, subs[i]);
  *sid = block;
  return TRUE;
}

PVOID FreeSid(PSID sid) {
  std::free(sid);
  return nullptr;
}

PUCHAR GetSidSubAuthorityCount(PSID sid) {
  SetLastError(ERROR_SUCCESS);
  return static_cast<BYTE*>(sid) + 1;
}

// Like the system, the index is not checked; the caller keeps it below the count.
PDWORD GetSidSubAuthority(PSID sid, DWORD index) {
  SetLastError(ERROR_SUCCESS);
  return reinterpret_cast<PDWORD>(static_cast<BYTE*>(sid) + authz::kSidHeaderLength + 4 * index);
}
