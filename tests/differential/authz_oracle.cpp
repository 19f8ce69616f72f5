// Runs access checks read from standard input through AccessCheckByTypeResultList and prints
// what it answers, for comparison with another implementation.
//
// Input, one case per line, tab-separated:
//   id  sddl  token-sids(comma-separated, user first)  privilege-luids(comma-separated or -)  desired(hex)
// Output, one line per case:
//   id  succeeded(0/1)  last-error  access-status  granted(hex)
// The token is a primary token for those SIDs (groups enabled), copied with DuplicateToken at
// SecurityImpersonation, as the node access check obtains it.
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "authz/sid.h"
#include "authz/token.h"
#include "errhandlingapi.h"
#include "handleapi.h"
#include "sddl.h"
#include "securitybaseapi.h"

namespace {

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::stringstream stream(text);
  std::string part;
  while (std::getline(stream, part, separator)) parts.push_back(part);
  return parts;
}

struct Case {
  std::string id, sddl;
  std::vector<std::string> sids;
  std::vector<DWORD> privileges;
  DWORD desired = 0;
};

bool parseCase(const std::string& line, Case& result) {
  std::vector<std::string> fields = split(line, '\t');
  if (fields.size() != 5) return false;
  result.id = fields[0];
  result.sddl = fields[1];
  result.sids = split(fields[2], ',');
  if (fields[3] != "-")
    for (const std::string& luid : split(fields[3], ',')) result.privileges.push_back(std::stoul(luid));
  result.desired = static_cast<DWORD>(std::stoul(fields[4], nullptr, 16));
  return !result.sids.empty();
}

// Closes the token handles and frees the descriptor however the case ends.
struct CaseResources {
  HANDLE primary = nullptr, impersonation = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ~CaseResources() {
    if (primary) CloseHandle(primary);
    if (impersonation) CloseHandle(impersonation);
    if (descriptor) LocalFree(descriptor);
  }
};

std::string runCase(const Case& input) {
  CaseResources resources;
  char line[160];
  std::u16string sddl(input.sddl.begin(), input.sddl.end());
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &resources.descriptor,
                                                            nullptr)) {
    std::snprintf(line, sizeof line, "%s\tsddl-error\t%u", input.id.c_str(), GetLastError());
    return line;
  }
  authz::TokenContents contents;
  for (size_t i = 0; i < input.sids.size(); ++i) {
    authz::SidBytes sid;
    if (!authz::parseSidText(input.sids[i], sid)) return input.id + "\tsid-error";
    if (i == 0) contents.user = sid;
    else contents.groups.push_back({sid});
  }
  for (DWORD luid : input.privileges) contents.privileges.push_back({{luid, 0}, SE_PRIVILEGE_ENABLED});
  if (authz::createToken(contents, TOKEN_QUERY | TOKEN_DUPLICATE, &resources.primary) != ERROR_SUCCESS ||
      !DuplicateToken(resources.primary, SecurityImpersonation, &resources.impersonation))
    return input.id + "\ttoken-error";

  GUID classGuid{0xbf967aba, 0x0de6, 0x11d0, {0xa2, 0x85, 0x00, 0xaa, 0x00, 0x30, 0x49, 0xe2}};
  OBJECT_TYPE_LIST list{ACCESS_OBJECT_GUID, 0, &classGuid};
  GENERIC_MAPPING mapping{0x00020094, 0x00020028, 0x00020004, 0x000F01FF};
  alignas(8) BYTE privilegeSet[256] = {};
  DWORD privilegeSetLength = sizeof privilegeSet, granted = 0, status = 0;
  BOOL succeeded = AccessCheckByTypeResultList(resources.descriptor, nullptr, resources.impersonation, input.desired,
                                               &list, 1, &mapping, reinterpret_cast<PPRIVILEGE_SET>(privilegeSet),
                                               &privilegeSetLength, &granted, &status);
  std::snprintf(line, sizeof line, "%s\t%d\t%u\t%u\t%x", input.id.c_str(), succeeded ? 1 : 0,
                succeeded ? 0u : GetLastError(), status, granted);
  return line;
}

}  // namespace

int main() {
  std::string line;
  int malformed = 0;
  while (std::getline(std::cin, line)) {
    if (line.empty()) continue;
    Case input;
    if (!parseCase(line, input)) {
      ++malformed;
      std::cout << "malformed\t" << line << '\n';
      continue;
    }
    std::cout << runCase(input) << '\n';
  }
  return malformed == 0 ? 0 : 1;
}
