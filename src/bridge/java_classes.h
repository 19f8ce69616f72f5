// Java classes looked up once and kept for the life of the process. A class is held by a
// global reference, so the method IDs found on it stay valid. Nothing is kept until every
// member the bridge needs has been found: a lookup that fails leaves its exception pending for
// the Java caller and is made afresh by the next call.
#pragma once
#include <jni.h>

#include <array>
#include <atomic>
#include <cstddef>
#include <mutex>

template <size_t MethodCount>
class KeptClass {
 public:
  using Methods = std::array<jmethodID, MethodCount>;

  // True, with the class and its method IDs, once they are kept.
  bool get(jclass* type, Methods* methods) const {
    if (!kept_.load(std::memory_order_acquire)) return false;
    *type = type_;
    *methods = methods_;
    return true;
  }

  // Keeps the class, as a new global reference, with its method IDs; the first keep wins.
  // The kept class, or null when no global reference could be made.
  jclass keep(JNIEnv* env, jclass type, const Methods& methods) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (kept_.load(std::memory_order_relaxed)) return type_;
    jclass global = static_cast<jclass>(env->NewGlobalRef(type));
    if (global == nullptr) return nullptr;
    type_ = global;
    methods_ = methods;
    kept_.store(true, std::memory_order_release);
    return type_;
  }

 private:
  std::mutex mutex_;
  std::atomic<bool> kept_{false};
  jclass type_ = nullptr;
  Methods methods_{};
};

// The named class and its constructor of the given signature, from the kept pair or looked up
// and then kept. False, with the JVM's exception pending, when either cannot be found.
bool findConstructor(JNIEnv* env, KeptClass<1>* kept, const char* className, const char* signature, jclass* type,
                     jmethodID* constructor);

// java.lang.String, kept; null (exception pending) when it cannot be found.
jclass javaStringClass(JNIEnv* env);
