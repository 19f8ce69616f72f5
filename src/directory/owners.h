// Scope-bound owners of the platform's resources: each releases its resource on every path.
// An owner used as an output argument empties itself before lending its address (put()).
#pragma once
#include <utility>

#include "directory/status.h"

template <typename Interface>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() { reset(); }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ComPtr(ComPtr&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      reset();
      pointer_ = std::exchange(other.pointer_, nullptr);
    }
    return *this;
  }

  Interface* get() const { return pointer_; }
  Interface* operator->() const { return pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }

  Interface** put() {
    reset();
    return &pointer_;
  }
  void** putVoid() { return reinterpret_cast<void**>(put()); }

  void reset() {
    if (pointer_ != nullptr) std::exchange(pointer_, nullptr)->Release();
  }

  template <typename Other>
  HRESULT queryTo(REFIID iid, ComPtr<Other>* target) const {
    return pointer_->QueryInterface(iid, target->putVoid());
  }

 private:
  Interface* pointer_ = nullptr;
};

class UniqueBstr {
 public:
  UniqueBstr() = default;
  explicit UniqueBstr(BSTR text) : text_(text) {}
  ~UniqueBstr() { SysFreeString(text_); }
  UniqueBstr(const UniqueBstr&) = delete;
  UniqueBstr& operator=(const UniqueBstr&) = delete;

  // A copy of the text; raises E_OUTOFMEMORY when it cannot be allocated.
  static UniqueBstr copyOf(const WideString& text) {
    BSTR copy = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (copy == nullptr) raiseStatus(E_OUTOFMEMORY);
    return UniqueBstr(copy);
  }
  UniqueBstr(UniqueBstr&& other) noexcept : text_(std::exchange(other.text_, nullptr)) {}

  BSTR get() const { return text_; }
  BSTR* put() {
    SysFreeString(std::exchange(text_, nullptr));
    return &text_;
  }

 private:
  BSTR text_ = nullptr;
};

class UniqueVariant {
 public:
  UniqueVariant() { VariantInit(&value_); }
  ~UniqueVariant() { VariantClear(&value_); }
  UniqueVariant(const UniqueVariant&) = delete;
  UniqueVariant& operator=(const UniqueVariant&) = delete;

  VARIANT* get() { return &value_; }
  const VARIANT* get() const { return &value_; }
  VARIANT* put() {
    VariantClear(&value_);
    return &value_;
  }

 private:
  VARIANT value_;
};

class UniqueAdsMem {
 public:
  UniqueAdsMem() = default;
  ~UniqueAdsMem() { reset(); }
  UniqueAdsMem(const UniqueAdsMem&) = delete;
  UniqueAdsMem& operator=(const UniqueAdsMem&) = delete;

  template <typename T>
  T* as() const {
    return static_cast<T*>(memory_);
  }
  template <typename T>
  T** put() {
    reset();
    return reinterpret_cast<T**>(&memory_);
  }
  void reset() {
    if (memory_ != nullptr) FreeADsMem(std::exchange(memory_, nullptr));
  }

 private:
  void* memory_ = nullptr;
};

// Text of a BSTR up to its first NUL.
inline WideString textOfBstr(BSTR text) {
  if (text == nullptr) return WideString();
  return WideString(text, static_cast<size_t>(lstrlenW(text)));
}
