#include "sddl.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "authz/acl.h"
#include "authz/fail_with.h"
#include "authz/sddl_text.h"
#include "errhandlingapi.h"

namespace authz {

namespace {

struct NamedValue {
  const char* name;
  DWORD value;
};

// Combinations come first so that output names a whole file right by its own letters.
constexpr NamedValue kRightCombinations[] = {
    {"FA", 0x001F01FF}, {"FR", 0x00120089}, {"FW", 0x00120116}, {"FX", 0x001200A0},
};
constexpr NamedValue kRightsInputOnly[] = {
    {"KA", 0x000F003F}, {"KR", 0x00020019}, {"KW", 0x00020006}, {"KX", 0x00020019},
};
// In the order Windows writes them.
constexpr NamedValue kRightLetters[] = {
    {"GA", GENERIC_ALL}, {"GR", GENERIC_READ}, {"GW", GENERIC_WRITE}, {"GX", GENERIC_EXECUTE},
    {"RP", ACTRL_DS_READ_PROP}, {"WP", ACTRL_DS_WRITE_PROP}, {"CR", ACTRL_DS_CONTROL_ACCESS},
    {"CC", ACTRL_DS_CREATE_CHILD}, {"DC", ACTRL_DS_DELETE_CHILD}, {"LC", ACTRL_DS_LIST},
    {"LO", ACTRL_DS_LIST_OBJECT}, {"RC", READ_CONTROL}, {"WO", WRITE_OWNER}, {"WD", WRITE_DAC},
    {"SD", DELETE}, {"DT", ACTRL_DS_DELETE_TREE}, {"SW", ACTRL_DS_SELF},
};
constexpr NamedValue kAceFlags[] = {
    {"OI", OBJECT_INHERIT_ACE}, {"CI", CONTAINER_INHERIT_ACE}, {"NP", NO_PROPAGATE_INHERIT_ACE},
    {"IO", INHERIT_ONLY_ACE}, {"ID", INHERITED_ACE}, {"SA", SUCCESSFUL_ACCESS_ACE_FLAG},
    {"FA", FAILED_ACCESS_ACE_FLAG},
};
constexpr NamedValue kAceTypes[] = {
    {"A", ACCESS_ALLOWED_ACE_TYPE}, {"D", ACCESS_DENIED_ACE_TYPE}, {"AU", SYSTEM_AUDIT_ACE_TYPE},
    {"AL", SYSTEM_ALARM_ACE_TYPE}, {"OA", ACCESS_ALLOWED_OBJECT_ACE_TYPE}, {"OD", ACCESS_DENIED_OBJECT_ACE_TYPE},
    {"OU", SYSTEM_AUDIT_OBJECT_ACE_TYPE}, {"OL", SYSTEM_ALARM_OBJECT_ACE_TYPE},
};

struct SidAlias {
  const char* name;
  const char* sid;  // null for a domain-relative alias
  DWORD rid;
};

constexpr SidAlias kSidAliases[] = {
    {"WD", "S-1-1-0", 0},          {"CO", "S-1-3-0", 0},          {"CG", "S-1-3-1", 0},
    {"OW", "S-1-3-4", 0},          {"NU", "S-1-5-2", 0},          {"IU", "S-1-5-4", 0},
    {"SU", "S-1-5-6", 0},          {"AN", "S-1-5-7", 0},          {"ED", "S-1-5-9", 0},
    {"PS", "S-1-5-10", 0},         {"AU", "S-1-5-11", 0},         {"RC", "S-1-5-12", 0},
    {"SY", "S-1-5-18", 0},         {"LS", "S-1-5-19", 0},         {"NS", "S-1-5-20", 0},
    {"WR", "S-1-5-33", 0},         {"BA", "S-1-5-32-544", 0},     {"BU", "S-1-5-32-545", 0},
    {"BG", "S-1-5-32-546", 0},     {"PU", "S-1-5-32-547", 0},     {"AO", "S-1-5-32-548", 0},
    {"SO", "S-1-5-32-549", 0},     {"PO", "S-1-5-32-550", 0},     {"BO", "S-1-5-32-551", 0},
    {"RE", "S-1-5-32-552", 0},     {"RU", "S-1-5-32-554", 0},     {"RD", "S-1-5-32-555", 0},
    {"NO", "S-1-5-32-556", 0},     {"MU", "S-1-5-32-558", 0},     {"LU", "S-1-5-32-559", 0},
    {"ER", "S-1-5-32-573", 0},     {"CD", "S-1-5-32-574", 0},     {"LW", "S-1-16-4096", 0},
    {"ME", "S-1-16-8192", 0},      {"HI", "S-1-16-12288", 0},     {"SI", "S-1-16-16384", 0},
    {"RO", nullptr, 498},          {"LA", nullptr, 500},          {"LG", nullptr, 501},
    {"DA", nullptr, 512},          {"DU", nullptr, 513},          {"DG", nullptr, 514},
    {"DC", nullptr, 515},          {"DD", nullptr, 516},          {"CA", nullptr, 517},
    {"SA", nullptr, 518},          {"EA", nullptr, 519},          {"PA", nullptr, 520},
    {"CN", nullptr, 522},          {"AP", nullptr, 525},          {"RS", nullptr, 553},
};

std::mutex domainMutex;
SidBytes domainSid;

SidBytes currentDomainSid() {
  std::lock_guard<std::mutex> lock(domainMutex);
  return domainSid;
}

SidBytes aliasSid(const SidAlias& alias, const SidBytes& domain) {
  SidBytes sid;
  if (alias.sid != nullptr) {
    parseSidText(alias.sid, sid);
  } else if (!domain.empty() && domain[1] < SID_MAX_SUB_AUTHORITIES) {
    sid = domain;
    sid[1] = static_cast<BYTE>(sid[1] + 1);
    sid.resize(sid.size() + 4);
    writeDword(&sid[sid.size() - 4], alias.rid);
  }
  return sid;
}

template <size_t N>
const NamedValue* findName(const NamedValue (&table)[N], const std::string& text, size_t at, size_t length) {
  for (const NamedValue& entry : table)
    if (text.compare(at, length, entry.name) == 0 && std::char_traits<char>::length(entry.name) == length)
      return &entry;
  return nullptr;
}

bool parseHexOrDecimal(const std::string& text, DWORD& value) {
  if (text.empty()) return false;
  bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  size_t start = hex ? 2 : 0;
  if (text.size() == start) return false;
  uint64_t result = 0;
  for (size_t i = start; i < text.size(); ++i) {
    char c = text[i];
    unsigned digit;
    if (c >= '0' && c <= '9') digit = static_cast<unsigned>(c - '0');
    else if (hex && c >= 'a' && c <= 'f') digit = static_cast<unsigned>(c - 'a' + 10);
    else if (hex && c >= 'A' && c <= 'F') digit = static_cast<unsigned>(c - 'A' + 10);
    else return false;
    result = result * (hex ? 16 : 10) + digit;
    if (result > 0xFFFFFFFFu) return false;
  }
  value = static_cast<DWORD>(result);
  return true;
}

// "bf967aba-0de6-11d0-a285-00aa003049e2" into the 16 bytes of its GUID (first three fields
// little-endian).
bool guidFromText(const std::string& text, BYTE bytes[16]) {
  if (text.size() != 36 || text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-') return false;
  std::string hex;
  for (size_t i = 0; i < text.size(); ++i)
    if (i != 8 && i != 13 && i != 18 && i != 23) hex += text[i];
  BYTE raw[16];
  for (int i = 0; i < 16; ++i) {
    DWORD value = 0;
    if (!parseHexOrDecimal("0x" + hex.substr(2 * i, 2), value)) return false;
    raw[i] = static_cast<BYTE>(value);
  }
  const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  for (int i = 0; i < 16; ++i) bytes[i] = raw[order[i]];
  return true;
}

std::string guidToText(const BYTE* bytes) {
  GUID guid = guidFromBytes(bytes);
  char text[40];
  std::snprintf(text, sizeof text, "%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x", guid.Data1, guid.Data2,
                guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5],
                guid.Data4[6], guid.Data4[7]);
  return text;
}

std::vector<std::string> splitFields(const std::string& text) {
  std::vector<std::string> fields;
  size_t start = 0;
  while (true) {
    size_t semicolon = text.find(';', start);
    fields.push_back(text.substr(start, semicolon == std::string::npos ? std::string::npos : semicolon - start));
    if (semicolon == std::string::npos) return fields;
    start = semicolon + 1;
  }
}

// One "(type;flags;rights;object;inherited object;sid)" body, appended to `acl` as an ACE.
DWORD appendAce(const std::string& body, std::vector<BYTE>& aces, bool& objectAce) {
  std::vector<std::string> fields = splitFields(body);
  if (fields.size() != 6) return ERROR_INVALID_PARAMETER;
  const NamedValue* type = findName(kAceTypes, fields[0], 0, fields[0].size());
  if (type == nullptr) return ERROR_INVALID_PARAMETER;
  DWORD flags = 0;
  if (fields[1].size() % 2 != 0) return ERROR_INVALID_PARAMETER;
  for (size_t at = 0; at < fields[1].size(); at += 2) {
    const NamedValue* flag = findName(kAceFlags, fields[1], at, 2);
    if (flag == nullptr) return ERROR_INVALID_PARAMETER;
    flags |= flag->value;
  }
  ACCESS_MASK mask = 0;
  if (!rightsFromSddl(fields[2], mask)) return ERROR_INVALID_PARAMETER;
  bool isObject = isObjectAceType(static_cast<BYTE>(type->value));
  BYTE objectType[16], inheritedType[16];
  DWORD objectFlags = 0;
  if (!fields[3].empty()) {
    if (!isObject || !guidFromText(fields[3], objectType)) return ERROR_INVALID_PARAMETER;
    objectFlags |= ACE_OBJECT_TYPE_PRESENT;
  }
  if (!fields[4].empty()) {
    if (!isObject || !guidFromText(fields[4], inheritedType)) return ERROR_INVALID_PARAMETER;
    objectFlags |= ACE_INHERITED_OBJECT_TYPE_PRESENT;
  }
  SidBytes sid;
  if (!sidFromSddl(fields[5], sid)) return fields[5].size() == 2 ? ERROR_NONE_MAPPED : ERROR_INVALID_PARAMETER;

  std::vector<BYTE> ace(isObject ? 12 : 8);
  ace[0] = static_cast<BYTE>(type->value);
  ace[1] = static_cast<BYTE>(flags);
  writeDword(&ace[4], mask);
  if (isObject) {
    objectAce = true;
    writeDword(&ace[8], objectFlags);
    if (objectFlags & ACE_OBJECT_TYPE_PRESENT) ace.insert(ace.end(), objectType, objectType + 16);
    if (objectFlags & ACE_INHERITED_OBJECT_TYPE_PRESENT) ace.insert(ace.end(), inheritedType, inheritedType + 16);
  }
  ace.insert(ace.end(), sid.begin(), sid.end());
  writeWord(&ace[2], static_cast<WORD>(ace.size()));
  aces.insert(aces.end(), ace.begin(), ace.end());
  return ERROR_SUCCESS;
}

struct AclText {
  bool present = false;
  bool isNull = false;
  WORD control = 0;
  std::vector<BYTE> acl;
};

// The part after "D:" or "S:": flags, then entries in parentheses.
DWORD parseAcl(const std::string& text, bool dacl, AclText& result) {
  result.present = true;
  size_t at = 0;
  const std::string noAccessControl = "NO_ACCESS_CONTROL";
  while (at < text.size() && text[at] != '(') {
    if (text.compare(at, 2, "AI") == 0) {
      result.control |= dacl ? SE_DACL_AUTO_INHERITED : SE_SACL_AUTO_INHERITED;
      at += 2;
    } else if (text.compare(at, 2, "AR") == 0) {
      result.control |= dacl ? SE_DACL_AUTO_INHERIT_REQ : SE_SACL_AUTO_INHERIT_REQ;
      at += 2;
    } else if (text[at] == 'P') {
      result.control |= dacl ? SE_DACL_PROTECTED : SE_SACL_PROTECTED;
      at += 1;
    } else if (text.compare(at, noAccessControl.size(), noAccessControl) == 0) {
      result.isNull = true;
      at += noAccessControl.size();
    } else {
      return ERROR_INVALID_PARAMETER;
    }
  }
  std::vector<BYTE> aces;
  bool objectAce = false;
  WORD count = 0;
  while (at < text.size()) {
    if (text[at] != '(') return ERROR_INVALID_PARAMETER;
    size_t close = text.find(')', at);
    if (close == std::string::npos) return ERROR_INVALID_PARAMETER;
    DWORD status = appendAce(text.substr(at + 1, close - at - 1), aces, objectAce);
    if (status != ERROR_SUCCESS) return status;
    if (++count == 0xFFFF || aces.size() + kAclHeaderLength > 0xFFFC) return ERROR_INVALID_ACL;
    at = close + 1;
  }
  if (result.isNull) {
    if (count != 0) return ERROR_INVALID_PARAMETER;
    return ERROR_SUCCESS;
  }
  result.acl.assign(kAclHeaderLength, 0);
  result.acl[0] = objectAce ? ACL_REVISION_DS : ACL_REVISION;
  writeWord(&result.acl[2], static_cast<WORD>(kAclHeaderLength + aces.size()));
  writeWord(&result.acl[4], count);
  result.acl.insert(result.acl.end(), aces.begin(), aces.end());
  return ERROR_SUCCESS;
}

// Where the component that starts at `at` ends: at the next "X:" marker or the end.
size_t componentEnd(const std::string& text, size_t at) {
  int depth = 0;
  for (size_t i = at; i < text.size(); ++i) {
    if (text[i] == '(') ++depth;
    else if (text[i] == ')') --depth;
    else if (depth == 0 && i + 1 < text.size() && text[i + 1] == ':' &&
             (text[i] == 'O' || text[i] == 'G' || text[i] == 'D' || text[i] == 'S'))
      return i;
  }
  return text.size();
}

void appendAceText(const AceView& ace, std::string& out) {
  for (const NamedValue& type : kAceTypes)
    if (type.value == ace.type) out += std::string("(") + type.name + ";";
  for (const NamedValue& flag : kAceFlags)
    if (ace.flags & flag.value) out += flag.name;
  out += ";" + rightsToSddl(ace.mask) + ";";
  if (ace.objectType != nullptr) out += guidToText(ace.objectType);
  out += ";";
  if (ace.inheritedObjectType != nullptr) out += guidToText(ace.inheritedObjectType);
  out += ";" + sidToSddl(ace.sid) + ")";
}

bool aceHasSddlForm(const AceView& ace) {
  if (ace.sid == nullptr) return false;
  for (const NamedValue& type : kAceTypes)
    if (type.value == ace.type) return true;
  return false;
}

void appendAclText(const BYTE* acl, bool present, WORD control, bool dacl, std::string& out) {
  if (control & (dacl ? SE_DACL_PROTECTED : SE_SACL_PROTECTED)) out += "P";
  if (control & (dacl ? SE_DACL_AUTO_INHERIT_REQ : SE_SACL_AUTO_INHERIT_REQ)) out += "AR";
  if (control & (dacl ? SE_DACL_AUTO_INHERITED : SE_SACL_AUTO_INHERITED)) out += "AI";
  if (present && acl == nullptr) {
    out += "NO_ACCESS_CONTROL";
    return;
  }
  for (WORD i = 0; i < aceCount(acl); ++i) {
    AceView ace = aceAt(acl, i);
    // Entries SDDL cannot spell (callbacks, labels, unknown types) are left out of the text.
    if (aceHasSddlForm(ace)) appendAceText(ace, out);
  }
}

}  // namespace

void setSddlDomainSid(const SidBytes& sid) {
  std::lock_guard<std::mutex> lock(domainMutex);
  domainSid = sid;
}

void clearSddlDomainSid() {
  std::lock_guard<std::mutex> lock(domainMutex);
  domainSid.clear();
}

bool sidFromSddl(const std::string& token, SidBytes& sid) {
  if (token.size() == 2) {
    for (const SidAlias& alias : kSidAliases) {
      if (token == alias.name) {
        sid = aliasSid(alias, currentDomainSid());
        return !sid.empty();
      }
    }
    return false;
  }
  return parseSidText(token, sid);
}

std::string sidToSddl(const BYTE* validSid) {
  SidBytes domain = currentDomainSid();
  for (const SidAlias& alias : kSidAliases) {
    SidBytes candidate = aliasSid(alias, domain);
    if (!candidate.empty() && candidate.size() == kSidHeaderLength + 4u * validSid[1] && sameSid(validSid, candidate))
      return alias.name;
  }
  return sidToText(validSid);
}

bool rightsFromSddl(const std::string& text, ACCESS_MASK& mask) {
  mask = 0;
  if (!text.empty() && text[0] >= '0' && text[0] <= '9') return parseHexOrDecimal(text, mask);
  if (text.empty() || text.size() % 2 != 0) return false;
  for (size_t at = 0; at < text.size(); at += 2) {
    const NamedValue* right = findName(kRightLetters, text, at, 2);
    if (right == nullptr) right = findName(kRightCombinations, text, at, 2);
    if (right == nullptr) right = findName(kRightsInputOnly, text, at, 2);
    if (right == nullptr) return false;
    mask |= right->value;
  }
  return true;
}

std::string rightsToSddl(ACCESS_MASK mask) {
  for (const NamedValue& combination : kRightCombinations)
    if (mask == combination.value) return combination.name;
  std::string letters;
  ACCESS_MASK covered = 0;
  for (const NamedValue& right : kRightLetters) {
    if (mask & right.value) {
      letters += right.name;
      covered |= right.value;
    }
  }
  if (mask != 0 && covered == mask) return letters;
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%x", mask);
  return hex;
}

DWORD parseSddl(const std::string& text, std::vector<BYTE>& descriptor) {
  SidBytes owner, group;
  bool haveOwner = false, haveGroup = false;
  AclText dacl, sacl;
  size_t at = 0;
  while (at < text.size()) {
    if (at + 1 >= text.size() || text[at + 1] != ':') return ERROR_INVALID_PARAMETER;
    char part = text[at];
    size_t end = componentEnd(text, at + 2);
    std::string body = text.substr(at + 2, end - at - 2);
    DWORD status = ERROR_SUCCESS;
    if (part == 'O' && !haveOwner) {
      haveOwner = true;
      if (!sidFromSddl(body, owner)) status = body.size() == 2 ? ERROR_NONE_MAPPED : ERROR_INVALID_PARAMETER;
    } else if (part == 'G' && !haveGroup) {
      haveGroup = true;
      if (!sidFromSddl(body, group)) status = body.size() == 2 ? ERROR_NONE_MAPPED : ERROR_INVALID_PARAMETER;
    } else if (part == 'D' && !dacl.present) {
      status = parseAcl(body, true, dacl);
    } else if (part == 'S' && !sacl.present) {
      status = parseAcl(body, false, sacl);
    } else {
      status = ERROR_INVALID_PARAMETER;
    }
    if (status != ERROR_SUCCESS) return status;
    at = end;
  }

  DescriptorParts parts;
  parts.revision = SECURITY_DESCRIPTOR_REVISION;
  parts.control = static_cast<WORD>(SE_SELF_RELATIVE | dacl.control | sacl.control);
  if (haveOwner) {
    parts.owner = owner.data();
    parts.ownerLength = owner.size();
  }
  if (haveGroup) {
    parts.group = group.data();
    parts.groupLength = group.size();
  }
  if (dacl.present) {
    parts.control |= SE_DACL_PRESENT;
    if (!dacl.isNull) {
      parts.dacl = dacl.acl.data();
      parts.daclLength = dacl.acl.size();
    }
  }
  if (sacl.present) {
    parts.control |= SE_SACL_PRESENT;
    if (!sacl.isNull) {
      parts.sacl = sacl.acl.data();
      parts.saclLength = sacl.acl.size();
    }
  }
  descriptor.assign(selfRelativeLength(parts), 0);
  writeSelfRelative(parts, descriptor.data());
  return ERROR_SUCCESS;
}

std::string formatSddl(const DescriptorParts& descriptor, SECURITY_INFORMATION information) {
  std::string text;
  if ((information & OWNER_SECURITY_INFORMATION) && descriptor.owner != nullptr)
    text += "O:" + sidToSddl(descriptor.owner);
  if ((information & GROUP_SECURITY_INFORMATION) && descriptor.group != nullptr)
    text += "G:" + sidToSddl(descriptor.group);
  if ((information & DACL_SECURITY_INFORMATION) && descriptor.daclPresent()) {
    text += "D:";
    appendAclText(descriptor.dacl, true, descriptor.control, true, text);
  }
  if ((information & SACL_SECURITY_INFORMATION) && descriptor.saclPresent()) {
    text += "S:";
    appendAclText(descriptor.sacl, true, descriptor.control, false, text);
  }
  return text;
}

}  // namespace authz

namespace {

using authz::failWith;

// SDDL is ASCII; any other code unit makes the text invalid.
bool narrowFromWide(LPCWSTR wide, std::string& narrow) {
  narrow.clear();
  for (; *wide != 0; ++wide) {
    if (*wide > 0x7F) return false;
    narrow += static_cast<char>(*wide);
  }
  return true;
}

// A NUL-terminated UTF-16 copy in a LocalAlloc block.
LPWSTR localWideCopy(const std::string& narrow) {
  auto* wide = static_cast<LPWSTR>(LocalAlloc(LMEM_FIXED, (narrow.size() + 1) * sizeof(WCHAR)));
  if (wide == nullptr) return nullptr;
  for (size_t i = 0; i < narrow.size(); ++i) wide[i] = static_cast<WCHAR>(static_cast<unsigned char>(narrow[i]));
  wide[narrow.size()] = 0;
  return wide;
}

void* localCopy(const void* bytes, size_t length) {
  void* block = LocalAlloc(LMEM_FIXED, length);
  if (block != nullptr) std::memcpy(block, bytes, length);
  return block;
}

}  // namespace

HLOCAL LocalAlloc(UINT flags, size_t bytes) {
  // A zero-byte request still yields a distinct block, as on Windows.
  void* block = (flags & LMEM_ZEROINIT) ? std::calloc(1, bytes == 0 ? 1 : bytes) : std::malloc(bytes == 0 ? 1 : bytes);
  if (block == nullptr) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return block;
}

HLOCAL LocalFree(HLOCAL memory) {
  std::free(memory);
  return nullptr;
}

BOOL ConvertStringSidToSidW(LPCWSTR stringSid, PSID* sid) {
  if (stringSid == nullptr || sid == nullptr) return failWith(ERROR_INVALID_PARAMETER);
  std::string narrow;
  authz::SidBytes bytes;
  if (!narrowFromWide(stringSid, narrow) || !authz::sidFromSddl(narrow, bytes)) return failWith(ERROR_INVALID_SID);
  *sid = localCopy(bytes.data(), bytes.size());
  if (*sid == nullptr) return failWith(ERROR_NOT_ENOUGH_MEMORY);
  return TRUE;
}

BOOL ConvertSidToStringSidW(PSID sid, LPWSTR* stringSid) {
  if (stringSid == nullptr) return failWith(ERROR_INVALID_PARAMETER);
  const BYTE* bytes = static_cast<const BYTE*>(sid);
  if (authz::validSidLength(bytes, authz::kUnboundedLength) == 0) return failWith(ERROR_INVALID_SID);
  *stringSid = localWideCopy(authz::sidToText(bytes));
  if (*stringSid == nullptr) return failWith(ERROR_NOT_ENOUGH_MEMORY);
  return TRUE;
}

BOOL ConvertStringSecurityDescriptorToSecurityDescriptorW(LPCWSTR stringDescriptor, DWORD revision,
                                                          PSECURITY_DESCRIPTOR* descriptor, PULONG descriptorSize) {
  if (stringDescriptor == nullptr || descriptor == nullptr) return failWith(ERROR_INVALID_PARAMETER);
  if (revision != SDDL_REVISION_1) return failWith(ERROR_UNKNOWN_REVISION);
  std::string narrow;
  if (!narrowFromWide(stringDescriptor, narrow)) return failWith(ERROR_INVALID_PARAMETER);
  std::vector<BYTE> bytes;
  DWORD status = authz::parseSddl(narrow, bytes);
  if (status != ERROR_SUCCESS) return failWith(status);
  *descriptor = localCopy(bytes.data(), bytes.size());
  if (*descriptor == nullptr) return failWith(ERROR_NOT_ENOUGH_MEMORY);
  if (descriptorSize != nullptr) *descriptorSize = static_cast<ULONG>(bytes.size());
  return TRUE;
}

// The reported length counts the terminating NUL.
BOOL ConvertSecurityDescriptorToStringSecurityDescriptorW(PSECURITY_DESCRIPTOR descriptor, DWORD revision,
                                                          SECURITY_INFORMATION information, LPWSTR* stringDescriptor,
                                                          PULONG stringLength) {
  if (descriptor == nullptr || stringDescriptor == nullptr) return failWith(ERROR_INVALID_PARAMETER);
  if (revision != SDDL_REVISION_1) return failWith(ERROR_UNKNOWN_REVISION);
  authz::DescriptorParts parts;
  DWORD status = authz::readDescriptor(descriptor, authz::kUnboundedLength, parts);
  if (status != ERROR_SUCCESS) return failWith(status);
  std::string text = authz::formatSddl(parts, information);
  *stringDescriptor = localWideCopy(text);
  if (*stringDescriptor == nullptr) return failWith(ERROR_NOT_ENOUGH_MEMORY);
  if (stringLength != nullptr) *stringLength = static_cast<ULONG>(text.size() + 1);
  return TRUE;
}
