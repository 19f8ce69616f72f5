// The natives as a JVM sees them: the Java parameter types and result of each, and the list of
// exports that the build wrote (natives.txt: JNI name, exported name), so that every native the
// library exports is called without this program changing. Shared with the Linux driver of the
// differential run, so it needs nothing of Windows.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "jni_environment.h"

struct NativeSignature {
  const char* name;
  // One letter per Java parameter after the object: S String, I int, A String[].
  const char* parameters;
  // The result class's JNI name; null for an int result.
  const char* resultClass;
};

// The Java declaration of a native, or null when the table does not know it.
const NativeSignature* signatureOf(const std::string& name);

struct ExportedNative {
  std::string name;           // wInit
  std::string decoratedName;  // _Java_..._wInit@8 on 32-bit, Java_..._wInit on x64
  unsigned stackBytes = 0;    // the N of @N (32-bit only)
  const NativeSignature* signature = nullptr;
  const void* address = nullptr;
};

// Reads natives.txt; false (with a message) when a line cannot be read.
std::string jniName(const std::string& name);
bool readExportList(const std::string& path, std::vector<ExportedNative>* natives, std::string* error);

// The value a native returns at once when the settings cannot be read: 0 for wInit and the three
// node-type tests, E_HANDLE for the other int natives, null (0) for the object natives.
uint32_t unreadableSettingsValue(const NativeSignature& signature);
bool readsNoSettings(const NativeSignature& signature);

// The result classes of kestrivane.qom.result and the settings class, as the library sees them.
void defineJavaClasses(TestJvm* jvm);

extern const char* const settingsClass;
