// How the security functions fail: FALSE, with the reason left for GetLastError.
#pragma once
#include "errhandlingapi.h"

namespace authz {

inline BOOL failWith(DWORD code) {
  SetLastError(code);
  return FALSE;
}

}  // namespace authz
