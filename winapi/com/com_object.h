// Reference counting and interface lookup shared by the stand-in's COM classes that offer one
// interface (and the interfaces it derives from).
#pragma once
#include <atomic>
#include <initializer_list>

#include "unknwn.h"

namespace winapi::com {

template <typename Interface>
class ComObject : public Interface {
 public:
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  ComObject() = default;
  virtual ~ComObject() = default;

  // Hands this object out as Interface when riid is one of the identifiers it answers to.
  HRESULT offer(REFIID riid, void** ppv, std::initializer_list<const IID*> answersTo) {
    if (ppv == nullptr) return E_POINTER;
    for (const IID* iid : answersTo) {
      if (riid == *iid) {
        *ppv = static_cast<Interface*>(this);
        AddRef();
        return S_OK;
      }
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }

 private:
  std::atomic<ULONG> references_{1};
};

}  // namespace winapi::com
