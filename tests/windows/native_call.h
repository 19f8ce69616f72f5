// Calling one exported native as a JVM of the same width does: its arguments as JNI references
// made in the test's environment, placed by hand and called with the platform's JNI convention
// (stdcall on 32-bit, the x64 convention on 64-bit), with the stack and the callee-saved
// registers checked afterwards.
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
  uintptr_t value = 0;  // the int result (its 32 bits) or the jobject
  intptr_t stackDrift = 0;
  bool registersKept = false;
  std::vector<RecordedBind> binds;
  std::vector<ServiceCall> services;
  std::vector<std::string> faults;
  std::string exception;
  size_t pinnedStrings = 0;
};

// The amounts by which a caller of this width may leave the stack below a 16-byte boundary at a
// call: any multiple of 4 on 32-bit, none on x64.
const std::vector<uint32_t>& stackMisalignments();

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
std::string describeResult(TestJvm* jvm, const NativeSignature& signature, uintptr_t value);
// The status a native gave: its int result, or the status argument of its result object.
std::optional<int32_t> statusOf(TestJvm* jvm, const NativeSignature& signature, uintptr_t value);
std::string hex(uint32_t value);
