// Security descriptor definition language over narrow text; the W entry points convert.
#pragma once
#include <string>
#include <vector>

#include "authz/security_descriptor.h"
#include "authz/sid.h"

namespace authz {

// The domain that the domain-relative aliases (DA, DU, LA ...) stand in; without one they are
// refused on input and never produced on output.
void setSddlDomainSid(const SidBytes& domainSid);
void clearSddlDomainSid();

// A two-letter alias or an "S-1-..." string.
bool sidFromSddl(const std::string& token, SidBytes& sid);
std::string sidToSddl(const BYTE* validSid);

// Self-relative descriptor bytes, or ERROR_INVALID_PARAMETER (text that is not SDDL),
// ERROR_NONE_MAPPED (an alias this system cannot resolve) or ERROR_INVALID_ACL.
DWORD parseSddl(const std::string& text, std::vector<BYTE>& descriptor);

std::string formatSddl(const DescriptorParts& descriptor, SECURITY_INFORMATION information);

std::string rightsToSddl(ACCESS_MASK mask);
bool rightsFromSddl(const std::string& text, ACCESS_MASK& mask);

}  // namespace authz
