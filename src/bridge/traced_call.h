// The trace line of one native call (trace/trace.h, level 1): the native's name, the names and
// numbers it was given, the bind account and server of its settings, the server its requests went
// to, how long it took and the status it returned, with its name (status_names.h). Texts that are
// secrets (passwords) are never given to it; a value written to an attribute neither, as it may
// be one.
#pragma once
#include <jni.h>

#include <chrono>
#include <initializer_list>
#include <string>

struct ConnectionSettings;

// One argument for the line: a String (its text), an int, or a String[] (its length only).
struct TraceArgument {
  TraceArgument(const char* label, jstring text) : label(label), text(text) {}
  TraceArgument(const char* label, jint number) : label(label), number(number), isNumber(true) {}
  TraceArgument(const char* label, jobjectArray array) : label(label), array(array), isArray(true) {}
  const char* label;
  jstring text = nullptr;
  jint number = 0;
  jobjectArray array = nullptr;
  bool isNumber = false;
  bool isArray = false;
};

class TracedCall {
 public:
  // Reads the trace settings at the process's first call. When the trace is off, this and the
  // rest cost an atomic load.
  TracedCall(JNIEnv* env, const char* native, std::initializer_list<TraceArgument> arguments) noexcept;
  ~TracedCall();
  TracedCall(const TracedCall&) = delete;
  TracedCall& operator=(const TracedCall&) = delete;

  jint returns(jint status) noexcept;
  // The result object's status (its getErrCode()); null is said as such.
  jobject returns(jobject result) noexcept;

  // The call being traced on this thread, if any: the frame tells it the settings it read.
  static TracedCall* current() noexcept;
  void noteSettings(const ConnectionSettings& settings) noexcept;

 private:
  JNIEnv* env_;
  bool on_ = false;
  std::chrono::steady_clock::time_point start_;
  std::string line_;  // the line so far: the native and its arguments, then its settings
  jint status_ = 0;
  bool statusKnown_ = false;
};
