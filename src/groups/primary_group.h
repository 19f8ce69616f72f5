// The pure rules by which a member's primary group is recognised: the domain part of a
// distinguished name, and the group's SID, which is the member's domain SID followed by the
// member's primary group identifier.
#pragma once
#include <vector>

#include "platform.h"

using SidBytes = std::vector<BYTE>;

// The tail of the name from the first "DC=" (exactly that case), else from the first "dc=";
// false when neither occurs (a mixed case such as "Dc=" is not recognised).
bool domainPart(const WideString& dn, WideString* part);

// The binary SID of the group with relative identifier rid in the domain of memberSid (the
// member's SID with its last sub-authority replaced). False for bytes that are not a SID with
// at least one sub-authority.
bool primaryGroupSid(const SidBytes& memberSid, LONG rid, SidBytes* groupSid);

// True when groupSid is the group with relative identifier rid in memberSid's domain: a user
// whose primary group is 513 is not thereby a member of another domain's Domain Users.
bool isPrimaryGroupOf(const SidBytes& memberSid, LONG rid, const SidBytes& groupSid);

// The search filter for the group with that SID; every byte is escaped (\xx).
WideString primaryGroupFilter(const SidBytes& groupSid);

// The bytes of a VT_ARRAY | VT_UI1 value; VALUE_TYPE_MISMATCH for any other value.
HRESULT variantToBytes(const VARIANT& value, SidBytes* bytes);
