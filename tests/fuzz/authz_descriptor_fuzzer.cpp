// libFuzzer target over the security core. The first input byte chooses the mode:
//   even: the rest is [4-byte desired access][1 option byte][descriptor bytes]; the descriptor
//         is read with its exact length, copied the way the node access check copies it,
//         converted to absolute form and back, and checked in both forms;
//   odd:  the rest is SDDL text, parsed and written back.
// Besides the sanitizers' findings, these invariants abort:
//   - a self-relative descriptor the security core accepts passes the library's bounds check;
//   - GetSecurityDescriptorLength of an accepted block never exceeds the block;
//   - the absolute and self-relative forms give the same access check answer;
//   - MakeSelfRelativeSD of the absolute form is accepted again;
//   - text written from a descriptor parses back, and writes the same text again.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "authz/security_descriptor.h"
#include "authz/sid.h"
#include "authz/token.h"
#include "errhandlingapi.h"
#include "handleapi.h"
#include "sddl.h"
#include "security/descriptor_bounds.h"
#include "securitybaseapi.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

struct LocalFreeDeleter {
  void operator()(void* block) const { LocalFree(block); }
};
using LocalBlock = std::unique_ptr<void, LocalFreeDeleter>;

struct CloseHandleDeleter {
  void operator()(void* handle) const { CloseHandle(handle); }
};
using TokenHandle = std::unique_ptr<void, CloseHandleDeleter>;

TokenHandle makeToken(uint8_t options) {
  authz::TokenContents contents;
  contents.user = authz::makeSid(5, {21, 1, 2, 3, 1105});
  contents.groups.push_back({authz::wellknown::everyone()});
  contents.groups.push_back({authz::wellknown::authenticatedUsers()});
  contents.groups.push_back({authz::wellknown::builtinAdministrators()});
  contents.groups.push_back({authz::makeSid(5, {21, 1, 2, 3, 1200}), SE_GROUP_USE_FOR_DENY_ONLY});
  if (options & 1) contents.privileges.push_back({{SE_SECURITY_PRIVILEGE, 0}, SE_PRIVILEGE_ENABLED});
  if (options & 2) contents.privileges.push_back({{SE_TAKE_OWNERSHIP_PRIVILEGE, 0}, SE_PRIVILEGE_ENABLED});
  contents.type = TokenImpersonation;
  contents.impersonationLevel = SecurityImpersonation;
  HANDLE handle = nullptr;
  require(authz::createToken(contents, TOKEN_QUERY, &handle) == ERROR_SUCCESS);
  return TokenHandle(handle);
}

struct Answer {
  BOOL succeeded;
  DWORD error;
  DWORD granted[3];
  DWORD status[3];
  bool operator==(const Answer& other) const {
    return succeeded == other.succeeded && error == other.error &&
           std::memcmp(granted, other.granted, sizeof granted) == 0 && std::memcmp(status, other.status, sizeof status) == 0;
  }
};

Answer checkAccess(PSECURITY_DESCRIPTOR descriptor, HANDLE token, DWORD desired, uint8_t options) {
  static GUID guids[3] = {{0xbf967aba, 0x0de6, 0x11d0, {0xa2, 0x85, 0x00, 0xaa, 0x00, 0x30, 0x49, 0xe2}},
                          {0xe45795b2, 0x9455, 0x11d1, {0xae, 0xbd, 0x00, 0x00, 0xf8, 0x03, 0x67, 0xc1}},
                          {0xbf967a49, 0x0de6, 0x11d0, {0xa2, 0x85, 0x00, 0xaa, 0x00, 0x30, 0x49, 0xe2}}};
  OBJECT_TYPE_LIST list[3] = {{0, 0, &guids[0]}, {1, 0, &guids[1]}, {2, 0, &guids[2]}};
  GENERIC_MAPPING mapping{0x00020094, 0x00020028, 0x00020004, 0x000F01FF};
  authz::SidBytes self = authz::makeSid(5, {21, 1, 2, 3, 1105});
  alignas(8) BYTE privileges[256] = {};
  DWORD privilegesLength = sizeof privileges;
  Answer answer{};
  DWORD count = (options & 4) ? 3 : 1;
  answer.succeeded = AccessCheckByTypeResultList(descriptor, (options & 8) ? self.data() : nullptr, token, desired, list,
                                                 count, &mapping, reinterpret_cast<PPRIVILEGE_SET>(privileges),
                                                 &privilegesLength, answer.granted, answer.status);
  answer.error = answer.succeeded ? 0 : GetLastError();
  return answer;
}

std::string sddlOf(PSECURITY_DESCRIPTOR descriptor) {
  LPWSTR text = nullptr;
  require(ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, 0xF, &text, nullptr));
  std::string narrow;
  for (LPWSTR at = text; *at != 0; ++at) narrow += static_cast<char>(*at);
  LocalFree(text);
  return narrow;
}

LocalBlock descriptorFromSddl(const std::string& text) {
  std::u16string wide(text.begin(), text.end());
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(wide.c_str(), SDDL_REVISION_1, &descriptor, nullptr))
    return nullptr;
  return LocalBlock(descriptor);
}

void requireTextRoundTrip(PSECURITY_DESCRIPTOR descriptor) {
  std::string text = sddlOf(descriptor);
  LocalBlock again = descriptorFromSddl(text);
  require(again != nullptr);
  require(sddlOf(again.get()) == text);
}

void fuzzDescriptor(const uint8_t* data, size_t size) {
  if (size < 5) return;
  DWORD desired;
  std::memcpy(&desired, data, 4);
  uint8_t options = data[4];
  size -= 5;
  // An exact-size heap block, so that any read past it is a sanitizer finding.
  std::unique_ptr<BYTE[]> block(new BYTE[size]);
  std::memcpy(block.get(), data + 5, size);

  // The library's own bounds check of directory bytes reads only within the block.
  bool sound = isSoundSelfRelativeDescriptor(block.get(), size);
  (void)isWholeSid(block.get(), size);
  authz::DescriptorParts parts;
  if (authz::readDescriptor(block.get(), size, parts) != ERROR_SUCCESS) return;
  // What the system takes as a self-relative descriptor, the library's check takes too.
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  if (GetSecurityDescriptorControl(block.get(), &control, &revision) && (control & SE_SELF_RELATIVE)) require(sound);
  DWORD length = GetSecurityDescriptorLength(block.get());
  require(length <= size);
  std::unique_ptr<BYTE[]> copy(new BYTE[length]);
  std::memcpy(copy.get(), block.get(), length);
  require(authz::readDescriptor(copy.get(), length, parts) == ERROR_SUCCESS);

  DWORD sizes[5] = {};
  require(!MakeAbsoluteSD(copy.get(), nullptr, &sizes[0], nullptr, &sizes[1], nullptr, &sizes[2], nullptr, &sizes[3],
                          nullptr, &sizes[4]));
  require(GetLastError() == ERROR_INSUFFICIENT_BUFFER);
  std::vector<std::unique_ptr<BYTE[]>> buffers;
  BYTE* pointers[5];
  for (int i = 0; i < 5; ++i) {
    buffers.emplace_back(sizes[i] ? new BYTE[sizes[i]] : nullptr);
    pointers[i] = buffers.back().get();
  }
  require(MakeAbsoluteSD(copy.get(), pointers[0], &sizes[0], reinterpret_cast<PACL>(pointers[1]), &sizes[1],
                         reinterpret_cast<PACL>(pointers[2]), &sizes[2], pointers[3], &sizes[3], pointers[4], &sizes[4]));

  TokenHandle token = makeToken(options);
  Answer relative = checkAccess(copy.get(), token.get(), desired, options);
  Answer absolute = checkAccess(pointers[0], token.get(), desired, options);
  require(relative == absolute);

  DWORD packedLength = 0;
  require(!MakeSelfRelativeSD(pointers[0], nullptr, &packedLength));
  std::unique_ptr<BYTE[]> packed(new BYTE[packedLength]);
  require(MakeSelfRelativeSD(pointers[0], packed.get(), &packedLength));
  require(authz::readDescriptor(packed.get(), packedLength, parts) == ERROR_SUCCESS);
  require(checkAccess(packed.get(), token.get(), desired, options) == relative);

  requireTextRoundTrip(packed.get());
}

void fuzzSddl(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  if (text.find('\0') != std::string::npos) return;
  LocalBlock descriptor = descriptorFromSddl(text);
  if (descriptor == nullptr) return;
  authz::DescriptorParts parts;
  require(authz::readDescriptor(descriptor.get(), GetSecurityDescriptorLength(descriptor.get()), parts) == ERROR_SUCCESS);
  requireTextRoundTrip(descriptor.get());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  if (data[0] % 2 == 0) fuzzDescriptor(data + 1, size - 1);
  else fuzzSddl(data + 1, size - 1);
  return 0;
}
