// Test helpers for the security core: descriptors from SDDL, tokens from SID lists, and one
// call of the access check the way the node access check makes it (one level-0 element, the
// directory generic mapping, a 256-byte privilege set).
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "authz/sid.h"
#include "authz/token.h"
#include "errhandlingapi.h"
#include "handleapi.h"
#include "sddl.h"
#include "securitybaseapi.h"

namespace authz_test {

// schemaIDGUID of the user class, and of an attribute (telephoneNumber), as directory GUIDs.
constexpr const char* kUserClass = "bf967aba-0de6-11d0-a285-00aa003049e2";
constexpr const char* kOtherGuid = "bf967a49-0de6-11d0-a285-00aa003049e2";

inline GUID guidOf(const char* text) {
  unsigned d1, d2, d3, b[8];
  std::sscanf(text, "%8x-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x", &d1, &d2, &d3, &b[0], &b[1], &b[2], &b[3], &b[4], &b[5],
              &b[6], &b[7]);
  GUID guid{d1, static_cast<uint16_t>(d2), static_cast<uint16_t>(d3), {}};
  for (int i = 0; i < 8; ++i) guid.Data4[i] = static_cast<uint8_t>(b[i]);
  return guid;
}

inline std::u16string wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

inline std::string narrow(const WCHAR* text) {
  std::string result;
  for (; *text != 0; ++text) result += static_cast<char>(*text);
  return result;
}

struct LocalFreeDeleter {
  void operator()(void* block) const { LocalFree(block); }
};
using LocalBlock = std::unique_ptr<void, LocalFreeDeleter>;

// A self-relative descriptor from SDDL; fails the test when the text does not parse.
inline LocalBlock descriptorFrom(const std::string& sddl) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  std::u16string text = wide(sddl);
  EXPECT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(text.c_str(), SDDL_REVISION_1, &descriptor, nullptr))
      << sddl << " error " << GetLastError();
  return LocalBlock(descriptor);
}

inline authz::SidBytes sidFrom(const std::string& text) {
  authz::SidBytes sid;
  EXPECT_TRUE(authz::parseSidText(text, sid)) << text;
  return sid;
}

class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
  UniqueHandle& operator=(UniqueHandle&&) = delete;
  UniqueHandle(const UniqueHandle&) = delete;
  ~UniqueHandle() {
    if (handle_ != nullptr) CloseHandle(handle_);
  }
  HANDLE get() const { return handle_; }
  HANDLE* put() {
    if (handle_ != nullptr) CloseHandle(handle_);
    handle_ = nullptr;
    return &handle_;
  }

 private:
  HANDLE handle_ = nullptr;
};

constexpr const char* kUser = "S-1-5-21-1000-2000-3000-1105";
constexpr const char* kOtherUser = "S-1-5-21-1000-2000-3000-1106";
constexpr const char* kGroup = "S-1-5-21-1000-2000-3000-1200";
constexpr DWORD kEnabled = SE_GROUP_MANDATORY | SE_GROUP_ENABLED_BY_DEFAULT | SE_GROUP_ENABLED;

struct TokenShape {
  std::string user = kUser;
  std::vector<std::pair<std::string, DWORD>> groups = {{"S-1-1-0", kEnabled}, {"S-1-5-11", kEnabled}};
  std::vector<DWORD> enabledPrivileges;
  std::vector<DWORD> disabledPrivileges;
  TOKEN_TYPE type = TokenImpersonation;
  SECURITY_IMPERSONATION_LEVEL level = SecurityImpersonation;
  ACCESS_MASK handleAccess = TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_IMPERSONATE;
};

inline UniqueHandle makeToken(const TokenShape& shape) {
  authz::TokenContents contents;
  contents.user = sidFrom(shape.user);
  for (const auto& group : shape.groups) contents.groups.push_back({sidFrom(group.first), group.second});
  for (DWORD luid : shape.enabledPrivileges) contents.privileges.push_back({{luid, 0}, SE_PRIVILEGE_ENABLED});
  for (DWORD luid : shape.disabledPrivileges) contents.privileges.push_back({{luid, 0}, 0});
  contents.type = shape.type;
  contents.impersonationLevel = shape.level;
  HANDLE handle = nullptr;
  EXPECT_EQ(authz::createToken(std::move(contents), shape.handleAccess, &handle), static_cast<DWORD>(ERROR_SUCCESS));
  return UniqueHandle(handle);
}

inline GENERIC_MAPPING directoryMapping() { return GENERIC_MAPPING{0x00020094, 0x00020028, 0x00020004, 0x000F01FF}; }

struct CheckResult {
  BOOL succeeded = FALSE;
  DWORD lastError = 0;
  DWORD granted = 0xDEADBEEF;
  DWORD status = 0xDEADBEEF;
};

inline CheckResult checkAccess(PSECURITY_DESCRIPTOR descriptor, HANDLE token, DWORD desired,
                               PSID principalSelf = nullptr, const char* objectClass = kUserClass) {
  GUID classGuid = guidOf(objectClass);
  OBJECT_TYPE_LIST list{ACCESS_OBJECT_GUID, 0, &classGuid};
  GENERIC_MAPPING mapping = directoryMapping();
  alignas(8) BYTE privileges[256] = {};
  DWORD privilegesLength = sizeof privileges;
  CheckResult result;
  SetLastError(0);
  result.succeeded = AccessCheckByTypeResultList(descriptor, principalSelf, token, desired, &list, 1, &mapping,
                                                 reinterpret_cast<PPRIVILEGE_SET>(privileges), &privilegesLength,
                                                 &result.granted, &result.status);
  result.lastError = GetLastError();
  return result;
}

// The common case: this SDDL, a token for kUser (plus Everyone and Authenticated Users) with the
// given extra groups.
inline CheckResult check(const std::string& sddl, DWORD desired, TokenShape shape = TokenShape{}) {
  LocalBlock descriptor = descriptorFrom(sddl);
  UniqueHandle token = makeToken(shape);
  return checkAccess(descriptor.get(), token.get(), desired);
}

}  // namespace authz_test
