// Java values for the natives' parameters and a readable account of what they return, in the
// test's own JNI environment. Shared by the Windows program and the Linux driver of the
// differential run, so it needs nothing of Windows.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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

// The reference a String or String[] argument stands for in the environment (null for a null one).
jobject javaReference(TestJvm* jvm, const Argument& argument);

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
