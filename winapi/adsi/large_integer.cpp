#include "adsi/large_integer.h"

#include <atomic>
#include <new>

#include "adserr.h"
#include "com/com_object.h"

namespace winapi::adsi {

namespace {

class LargeInteger final : public winapi::com::ComObject<IADsLargeInteger> {
 public:
  explicit LargeInteger(int64_t value)
      : high_(static_cast<LONG>(static_cast<uint64_t>(value) >> 32)),
        low_(static_cast<LONG>(static_cast<uint32_t>(static_cast<uint64_t>(value)))) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    return offer(riid, ppv, {&IID_IUnknown, &IID_IDispatch, &IID_IADsLargeInteger});
  }

  HRESULT STDMETHODCALLTYPE get_HighPart(LONG* retval) override {
    if (retval == nullptr) return E_POINTER;
    *retval = high_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_HighPart(LONG value) override {
    high_ = value;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_LowPart(LONG* retval) override {
    if (retval == nullptr) return E_POINTER;
    *retval = low_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_LowPart(LONG value) override {
    low_ = value;
    return S_OK;
  }

 private:
  ~LargeInteger() = default;

  LONG high_;
  LONG low_;
};

}  // namespace

HRESULT newLargeInteger(int64_t value, IDispatch** out) {
  if (out == nullptr) return E_POINTER;
  *out = new (std::nothrow) LargeInteger(value);
  return *out == nullptr ? E_OUTOFMEMORY : S_OK;
}

HRESULT largeIntegerValue(IUnknown* object, int64_t* value) {
  if (object == nullptr) return E_POINTER;
  IADsLargeInteger* large = nullptr;
  HRESULT hr = object->QueryInterface(IID_IADsLargeInteger, reinterpret_cast<void**>(&large));
  if (FAILED(hr)) return hr;
  LONG high = 0, low = 0;
  large->get_HighPart(&high);
  large->get_LowPart(&low);
  large->Release();
  *value =
      static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(high)) << 32) | static_cast<uint32_t>(low));
  return S_OK;
}

}  // namespace winapi::adsi
