// Owners of what JNI lends the library (a local reference, a string's characters), given back
// on every path.
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

// The UTF-16 characters of a Java string, released when the owner goes; null (with the JVM's
// exception pending) when the JVM could not lend them.
class JavaChars {
 public:
  JavaChars(JNIEnv* env, jstring text)
      : env_(env), text_(text), chars_(env->GetStringChars(text, nullptr)), length_(env->GetStringLength(text)) {}
  ~JavaChars() {
    if (chars_ != nullptr) env_->ReleaseStringChars(text_, chars_);
  }
  JavaChars(const JavaChars&) = delete;
  JavaChars& operator=(const JavaChars&) = delete;

  const jchar* get() const { return chars_; }
  size_t length() const { return static_cast<size_t>(length_); }

 private:
  JNIEnv* env_;
  jstring text_;
  const jchar* chars_;
  jsize length_;
};
