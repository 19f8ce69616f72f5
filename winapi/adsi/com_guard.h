// No C++ exception may leave a COM method: the interfaces promise an HRESULT. Methods of the
// provider are function-try-blocks whose handler turns what escaped into its status.
#pragma once
#include <new>

#include "winerror.h"

namespace winapi::adsi {

// Called only inside a catch handler.
inline HRESULT hresultOfCurrentException() noexcept {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

}  // namespace winapi::adsi
