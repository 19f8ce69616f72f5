#include "com/apartment.h"
#include "com/class_table.h"
#include "objbase.h"

HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* outer, DWORD clsContext, REFIID riid, LPVOID* ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (!winapi::com::isInitialised()) return CO_E_NOTINITIALIZED;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  for (const winapi::com::ClassEntry& entry : winapi::com::classTable()) {
    if (entry.clsid == rclsid && (clsContext & CLSCTX_INPROC_SERVER)) return entry.create(riid, ppv);
  }
  return REGDB_E_CLASSNOTREG;
}
