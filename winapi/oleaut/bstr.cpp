// BSTRs: a 32-bit byte count stands in front of the characters, and a NUL follows them,
// so a BSTR may carry embedded NULs and still be read as a C string.
#include <cstdlib>
#include <cstring>

#include "oleauto.h"

namespace {

constexpr size_t prefixSize = sizeof(uint32_t);

uint32_t* headerOf(BSTR text) { return reinterpret_cast<uint32_t*>(reinterpret_cast<char*>(text) - prefixSize); }

BSTR allocateBytes(const void* bytes, UINT byteLength) {
  if (byteLength > 0x7FFFFFF0u) return nullptr;
  char* block = static_cast<char*>(std::malloc(prefixSize + byteLength + sizeof(OLECHAR) + 1));
  if (block == nullptr) return nullptr;
  uint32_t length = byteLength;
  std::memcpy(block, &length, prefixSize);
  if (bytes != nullptr)
    std::memcpy(block + prefixSize, bytes, byteLength);
  else
    std::memset(block + prefixSize, 0, byteLength);
  std::memset(block + prefixSize + byteLength, 0, sizeof(OLECHAR) + 1);
  return reinterpret_cast<BSTR>(block + prefixSize);
}

UINT lengthOf(const OLECHAR* text) {
  UINT n = 0;
  while (text[n] != 0) ++n;
  return n;
}

}  // namespace

BSTR SysAllocString(const OLECHAR* text) {
  if (text == nullptr) return nullptr;
  return SysAllocStringLen(text, lengthOf(text));
}

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
  if (length > 0x3FFFFFF0u) return nullptr;
  return allocateBytes(text, length * sizeof(OLECHAR));
}

BSTR SysAllocStringByteLen(const char* bytes, UINT length) { return allocateBytes(bytes, length); }

INT SysReAllocString(BSTR* target, const OLECHAR* text) {
  if (target == nullptr) return FALSE;
  BSTR replacement = SysAllocString(text);
  if (replacement == nullptr && text != nullptr) return FALSE;
  SysFreeString(*target);
  *target = replacement;
  return TRUE;
}

void SysFreeString(BSTR text) {
  if (text == nullptr) return;
  std::free(headerOf(text));
}

UINT SysStringByteLen(BSTR text) {
  if (text == nullptr) return 0;
  uint32_t length;
  std::memcpy(&length, headerOf(text), prefixSize);
  return length;
}

UINT SysStringLen(BSTR text) { return SysStringByteLen(text) / sizeof(OLECHAR); }
