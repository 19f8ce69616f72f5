// Calling one exported native as a 32-bit JVM does: its arguments as JNI references made in the
// test's environment, pushed by hand and called with the stdcall convention, with the stack and
// the callee-saved registers checked afterwards.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "service_recorder.h"
#include "jni_environment.h"
#include "native_table.h"

struct Argument {
  char type = 'S';  // as in NativeSignature::parameters
  bool isNull = false;
  std::u16string text;
  int32_t integer = 0;
  std::vector<std::u16string> texts;
};

Argument textArgument(const std::u16string& text);
Argument nullArgument(char type);
Argument intArgument(int32_t value);
Argument stringsArgument(const std::vector<std::u16string>& texts);

// Every parameter null (ints 0), or every String empty and every array empty.
std::vector<Argument> nullArguments(const NativeSignature& signature);
std::vector<Argument> emptyArguments(const NativeSignature& signature);

struct CallOutcome {
  uint32_t value = 0;  // the int result or the jobject
  int32_t stackDrift = 0;
  bool registersKept = false;
  std::vector<RecordedBind> binds;
  std::vector<ServiceCall> services;
  std::vector<std::string> faults;
  std::string exception;
  size_t pinnedStrings = 0;
};

CallOutcome callNative(TestJvm* jvm, const ExportedNative& native, jobject self, const std::vector<Argument>& arguments,
                       uint32_t misalignment = 0);

// The fields of a settings object; an absent optional leaves the Java field null.
struct Settings {
  std::optional<std::u16string> user;
  std::optional<std::u16string> password;
  std::optional<std::u16string> server;
  bool useServerName = true;
  std::optional<std::u16string> domain;
};

// An instance of the settings class, or of a class of the given name that has only the listed fields.
jobject newSettings(TestJvm* jvm, const Settings& settings);
jobject newSettingsWithFields(TestJvm* jvm, const std::string& className, const std::vector<std::string>& fields,
                              const Settings& settings);

// A readable account of a result for messages and the table: class, status and values.
std::string describeResult(TestJvm* jvm, const NativeSignature& signature, uint32_t value);
// The status a native gave: its int result, or the status argument of its result object.
std::optional<int32_t> statusOf(TestJvm* jvm, const NativeSignature& signature, uint32_t value);
std::string hex(uint32_t value);
