// Per-thread COM apartments: the first initialisation enters the apartment, later ones in
// the same mode only count, and one in the other mode is refused without counting.
#include "com/apartment.h"

#include <vector>

#include "objbase.h"

namespace {

struct Apartment {
  unsigned count = 0;
  DWORD mode = 0;
  unsigned long entries = 0;
};

thread_local Apartment apartment;

std::vector<void (*)()>& leavingHooks() {
  static std::vector<void (*)()> hooks;
  return hooks;
}

constexpr DWORD modeOf(DWORD coInit) { return coInit & COINIT_APARTMENTTHREADED; }

}  // namespace

namespace winapi::com {

bool isInitialised() { return apartment.count > 0; }

unsigned long apartmentEntry() { return apartment.entries; }

void onLeavingApartment(void (*drop)()) { leavingHooks().push_back(drop); }

}  // namespace winapi::com

HRESULT CoInitializeEx(LPVOID reserved, DWORD coInit) {
  if (reserved != nullptr) return E_INVALIDARG;
  DWORD mode = modeOf(coInit);
  if (apartment.count == 0) {
    apartment.mode = mode;
    apartment.count = 1;
    ++apartment.entries;
    return S_OK;
  }
  if (apartment.mode != mode) return RPC_E_CHANGED_MODE;
  ++apartment.count;
  return S_FALSE;
}

HRESULT CoInitialize(LPVOID reserved) { return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED); }

void CoUninitialize() {
  if (apartment.count == 0) return;
  if (--apartment.count == 0)
    for (void (*drop)() : leavingHooks()) drop();
}
