// SIDs as byte strings: validation, comparison, text form and the well-known identities.
#pragma once
#include <string>
#include <vector>

#include "authz/bytes.h"
#include "winnt.h"

namespace authz {

using SidBytes = std::vector<BYTE>;

constexpr size_t kSidHeaderLength = 8;

// The length of the SID at `sid` when it is well formed and fits in `available` bytes, else 0.
size_t validSidLength(const BYTE* sid, size_t available);

// Both SIDs must already be valid.
bool sameSid(const BYTE* first, const BYTE* second);
inline bool sameSid(const BYTE* first, const SidBytes& second) { return sameSid(first, second.data()); }

SidBytes makeSid(uint64_t authority, std::initializer_list<DWORD> subAuthorities);
SidBytes copySidBytes(const BYTE* validSid);

// "S-1-5-32-544"; authorities of 2^32 and above in the 0x-hex form Windows uses.
std::string sidToText(const BYTE* validSid);
// Accepts "S-1-<authority>-<sub>..." with decimal or 0x-hex authority, up to 15 sub-authorities.
bool parseSidText(const std::string& text, SidBytes& sid);

namespace wellknown {
const SidBytes& everyone();             // S-1-1-0
const SidBytes& creatorOwner();         // S-1-3-0
const SidBytes& ownerRights();          // S-1-3-4
const SidBytes& principalSelf();        // S-1-5-10
const SidBytes& authenticatedUsers();   // S-1-5-11
const SidBytes& localSystem();          // S-1-5-18
const SidBytes& builtinAdministrators(); // S-1-5-32-544
}  // namespace wellknown

}  // namespace authz
