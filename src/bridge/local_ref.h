// Owner of a JNI local reference that the library deletes itself, so that no early return
// can skip the delete.
#pragma once
#include <jni.h>

#include <utility>

template <typename Reference>
class LocalRef {
 public:
  LocalRef(JNIEnv* env, Reference reference) : env_(env), reference_(reference) {}
  ~LocalRef() {
    if (reference_ != nullptr) env_->DeleteLocalRef(reference_);
  }
  LocalRef(const LocalRef&) = delete;
  LocalRef& operator=(const LocalRef&) = delete;

  Reference get() const { return reference_; }
  explicit operator bool() const { return reference_ != nullptr; }
  // Hands the reference to the caller (to return it to Java).
  Reference release() { return std::exchange(reference_, nullptr); }

 private:
  JNIEnv* env_;
  Reference reference_;
};
