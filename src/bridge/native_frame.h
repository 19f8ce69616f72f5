// What every native method does around its directory operation: read the connection
// settings from the Java object, copy Java strings into UTF-16 text, and keep every C++
// exception away from the JVM.
#pragma once
#include <jni.h>

#include "bridge/traced_call.h"
#include "directory/owners.h"
#include "directory/string_list.h"

class VariantArray;

struct ConnectionSettings {
  ConnectionSettings() = default;
  ~ConnectionSettings() { secureWipe(&lookupUserPassword); }
  ConnectionSettings(const ConnectionSettings&) = delete;
  ConnectionSettings& operator=(const ConnectionSettings&) = delete;

  WideString lookupUserName;
  WideString lookupUserPassword;
  WideString serverName;
  bool serverIsDomain = false;
};

bool readConnectionSettings(JNIEnv* env, jobject object, ConnectionSettings* settings);
void javaStringToWide(JNIEnv* env, jstring text, WideString* wide);
// The text of a String parameter; null gives an empty text.
WideString wideParameter(JNIEnv* env, jstring text);
// The strings as a list of BSTR values, built whole; E_INVALIDARG when a value holds a NUL, at
// which the directory interface would cut it short.
HRESULT variantArrayFromJavaStrings(JNIEnv* env, jobjectArray strings, VariantArray* array);
// The texts of a Java String[] in array order; a null element gives an empty text and a null
// array an empty list.
StringList stringListFromJavaStrings(JNIEnv* env, jobjectArray strings);
// A new Java string of the text's code units; null, with the JVM's exception pending, when it
// cannot be made.
jstring newJavaString(JNIEnv* env, const WideString& text);

// The status of the exception being handled: the library's status error carries its own,
// memory exhaustion is E_OUTOFMEMORY, anything else E_UNEXPECTED. Only inside a catch handler.
HRESULT statusOfCurrentException() noexcept;

// Runs a native method's body; no exception gets past it to the JVM: one that escapes the
// body becomes failureOf(its status).
template <typename Result, typename Body, typename Failure>
Result guardNative(Body body, Failure failureOf) noexcept {
  try {
    return body();
  } catch (...) {
    return failureOf(statusOfCurrentException());
  }
}

// For a native that returns a status: the failing status itself.
template <typename Body>
jint guardStatusNative(Body body) noexcept {
  return guardNative<jint>(body, [](HRESULT status) -> jint { return status; });
}

// The frame of a native method that returns an object: the settings are read first, and when
// they cannot be read the method returns null at once; otherwise the body runs with them.
template <typename Body>
jobject runObjectNative(JNIEnv* env, jobject self, Body body) noexcept {
  return guardNative<jobject>(
      [&]() -> jobject {
        ConnectionSettings settings;
        if (!readConnectionSettings(env, self, &settings)) return nullptr;
        if (TracedCall* traced = TracedCall::current()) traced->noteSettings(settings);
        return body(settings);
      },
      [](HRESULT) -> jobject { return nullptr; });
}

// The same for a method that returns a status; unreadable settings give the method's own value.
template <typename Body>
jint runStatusNative(JNIEnv* env, jobject self, jint unreadable, Body body) noexcept {
  return guardStatusNative([&]() -> jint {
    ConnectionSettings settings;
    if (!readConnectionSettings(env, self, &settings)) return unreadable;
    if (TracedCall* traced = TracedCall::current()) traced->noteSettings(settings);
    return body(settings);
  });
}
