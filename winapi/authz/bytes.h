// Little-endian field access at any alignment. Descriptors arrive from the directory as plain
// byte blocks, so their SIDs and ACLs may sit at any address; every read goes through here.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "minwindef.h"

namespace authz {

// Stands for "as long as the structure says" where a Windows API gives a pointer but no length.
constexpr size_t kUnboundedLength = static_cast<size_t>(1) << 40;

inline WORD readWord(const BYTE* at) { return static_cast<WORD>(at[0] | (at[1] << 8)); }

inline DWORD readDword(const BYTE* at) {
  return static_cast<DWORD>(at[0]) | (static_cast<DWORD>(at[1]) << 8) | (static_cast<DWORD>(at[2]) << 16) |
         (static_cast<DWORD>(at[3]) << 24);
}

inline void writeWord(BYTE* at, WORD value) {
  at[0] = static_cast<BYTE>(value);
  at[1] = static_cast<BYTE>(value >> 8);
}

inline void writeDword(BYTE* at, DWORD value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<BYTE>(value >> (8 * i));
}

inline size_t alignToDword(size_t length) { return (length + 3) & ~static_cast<size_t>(3); }

}  // namespace authz
