// Scope-bound owners of the platform's resources: each releases its resource on every path.
// An owner used as an output argument empties itself before lending its address (put()).
#pragma once
#include <utility>

#include "directory/status.h"

// Overwrites memory that held a secret, in a way the compiler may not drop as a dead store.
inline void secureWipe(void* memory, size_t length) {
  volatile unsigned char* bytes = static_cast<volatile unsigned char*>(memory);
  for (size_t i = 0; i < length; ++i) bytes[i] = 0;
}

inline void secureWipe(WideString* text) {
  // The whole capacity: a shorter value may have left an older, longer one behind it.
  secureWipe(&(*text)[0], text->capacity() * sizeof(WCHAR));
  text->clear();
}

// A password held by a call: wiped when the call is done with it, on every path.
class SecretText {
 public:
  SecretText() = default;
  ~SecretText() { secureWipe(&text_); }
  SecretText(const SecretText&) = delete;
  SecretText& operator=(const SecretText&) = delete;

  const WideString& get() const { return text_; }
  // Where a password is read into in place, so that no moved-from copy is left unwiped.
  WideString* put() {
    secureWipe(&text_);
    return &text_;
  }

 private:
  WideString text_;
};

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
  ~UniqueBstr() { release(); }
  UniqueBstr(const UniqueBstr&) = delete;
  UniqueBstr& operator=(const UniqueBstr&) = delete;

  // A copy of the text; raises E_OUTOFMEMORY when it cannot be allocated.
  static UniqueBstr copyOf(const WideString& text) {
    BSTR copy = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (copy == nullptr) raiseStatus(E_OUTOFMEMORY);
    return UniqueBstr(copy);
  }
  // A copy of a password: wiped before it is freed.
  static UniqueBstr secretCopyOf(const WideString& text) {
    UniqueBstr copy = copyOf(text);
    copy.secret_ = true;
    return copy;
  }
  UniqueBstr(UniqueBstr&& other) noexcept
      : text_(std::exchange(other.text_, nullptr)), secret_(std::exchange(other.secret_, false)) {}
  UniqueBstr& operator=(UniqueBstr&& other) noexcept {
    if (this != &other) {
      release();
      text_ = std::exchange(other.text_, nullptr);
      secret_ = std::exchange(other.secret_, false);
    }
    return *this;
  }

  BSTR get() const { return text_; }
  BSTR* put() {
    release();
    return &text_;
  }

 private:
  void release() {
    if (text_ != nullptr && secret_) secureWipe(text_, SysStringByteLen(text_));
    SysFreeString(std::exchange(text_, nullptr));
    secret_ = false;
  }

  BSTR text_ = nullptr;
  bool secret_ = false;
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

// The calling thread's membership of a single-threaded apartment for an object's lifetime.
class ComApartment {
 public:
  ComApartment() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComApartment() {
    // S_FALSE balances an initialisation the thread already had; a failure initialised nothing.
    if (result_ == S_OK || result_ == S_FALSE) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

  HRESULT result() const { return result_; }

 private:
  HRESULT result_;
};

// Text of a BSTR up to its first NUL.
inline WideString textOfBstr(BSTR text) {
  if (text == nullptr) return WideString();
  return WideString(text, static_cast<size_t>(lstrlenW(text)));
}
