#include "groups/primary_group.h"

#include <cstring>

#include "directory/status.h"

namespace {

constexpr size_t sidHeaderLength = 8;  // revision, count, 6-byte identifier authority
constexpr size_t maxSubAuthorities = 15;

bool isSid(const SidBytes& sid) {
  if (sid.size() < sidHeaderLength || sid[0] != 1) return false;
  size_t count = sid[1];
  return count >= 1 && count <= maxSubAuthorities && sid.size() == sidHeaderLength + 4 * count;
}

}  // namespace

bool domainPart(const WideString& dn, WideString* part) {
  size_t at = dn.find(WIDE("DC="));
  if (at == WideString::npos) at = dn.find(WIDE("dc="));
  if (at == WideString::npos) return false;
  *part = dn.substr(at);
  return true;
}

bool primaryGroupSid(const SidBytes& memberSid, LONG rid, SidBytes* groupSid) {
  if (!isSid(memberSid)) return false;
  *groupSid = memberSid;
  auto value = static_cast<ULONG>(rid);
  size_t last = groupSid->size() - 4;
  for (size_t i = 0; i < 4; ++i) (*groupSid)[last + i] = static_cast<BYTE>(value >> (8 * i));  // little-endian
  return true;
}

bool isPrimaryGroupOf(const SidBytes& memberSid, LONG rid, const SidBytes& groupSid) {
  SidBytes expected;
  return primaryGroupSid(memberSid, rid, &expected) && expected == groupSid;
}

WideString primaryGroupFilter(const SidBytes& groupSid) {
  static const char hex[] = "0123456789abcdef";
  WideString filter = WIDE("(&(objectcategory=group)(objectClass=group)(objectSid=");
  for (BYTE b : groupSid) {
    filter += WIDE('\\');
    filter += static_cast<WCHAR>(hex[b >> 4]);
    filter += static_cast<WCHAR>(hex[b & 0xF]);
  }
  filter += WIDE("))");
  return filter;
}

HRESULT variantToBytes(const VARIANT& value, SidBytes* bytes) {
  if (value.vt != (VT_ARRAY | VT_UI1) || value.parray == nullptr || SafeArrayGetDim(value.parray) != 1)
    return VALUE_TYPE_MISMATCH;
  LONG lower = 0, upper = -1;
  RETURN_IF_FAILED(SafeArrayGetLBound(value.parray, 1, &lower));
  RETURN_IF_FAILED(SafeArrayGetUBound(value.parray, 1, &upper));
  // Sized before the array is locked, so that nothing can fail while it is.
  bytes->assign(upper >= lower ? static_cast<size_t>(upper - lower + 1) : 0, 0);
  void* data = nullptr;
  RETURN_IF_FAILED(SafeArrayAccessData(value.parray, &data));
  if (!bytes->empty()) std::memcpy(bytes->data(), data, bytes->size());
  return SafeArrayUnaccessData(value.parray);
}
