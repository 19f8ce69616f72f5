// Loads Orvistal.dll as a JVM of the same width does and calls every native it exports.
// usage: orvistal_wine_test.exe LIBRARY NATIVES_LIST [--directory GAPS_LIST ANSWERS_FILE]
//   LIBRARY       the cross-built Orvistal.dll
//   NATIVES_LIST  natives.txt of the same build (JNI name and exported name of each native)
//   --directory   instead of the checks without a directory: call every native against the test
//                 directory (its names come from the ORVISTAL_TEST_* environment), print which
//                 calls work end to end, fail when one that GAPS_LIST does not excuse does not,
//                 and write the differential run's answers to ANSWERS_FILE
#include <cstdio>
#include <cstring>

#include "checks.h"
#include "directory_answers.h"

namespace {

const char* const withoutPassword = "orvistal/testing/SettingsWithoutPassword";

// The name a JVM of this width looks a native up by: on 32-bit the stdcall decoration, whose @N
// agrees with the Java declaration (8 bytes for the environment and the object, 4 for each
// parameter); on x64 the JNI name itself.
bool exportedAsTheJvmLooksUp(Checks* checks, const ExportedNative& native) {
  if (sizeof(void*) == 8) {
    bool plain = native.decoratedName == jniName(native.name);
    checks->expect(plain, native.decoratedName + " is not exported under its plain JNI name");
    return plain;
  }
  unsigned declared = 8 + 4 * static_cast<unsigned>(std::strlen(native.signature->parameters));
  checks->expect(native.stackBytes == declared, native.decoratedName + " pops " + std::to_string(native.stackBytes) +
                                                    " bytes, the Java declaration needs " + std::to_string(declared));
  return native.stackBytes == declared;
}

// Every export the list names resolves by the name a JVM looks it up by.
bool resolveExports(Checks* checks, HMODULE library, std::vector<ExportedNative>* natives) {
  bool complete = true;
  for (ExportedNative& native : *natives) {
    checks->expect(native.signature != nullptr, native.name + " has no Java declaration in the test's table");
    if (native.signature == nullptr) {
      complete = false;
      continue;
    }
    bool named = exportedAsTheJvmLooksUp(checks, native);
    native.address = reinterpret_cast<const void*>(GetProcAddress(library, native.decoratedName.c_str()));
    checks->expect(native.address != nullptr, native.decoratedName + " does not resolve");
    complete = complete && native.address != nullptr && named;
  }
  return complete;
}

// Each native on each stack alignment, with settings that cannot be read: it returns its
// unreadable-settings value at once, leaves NoSuchFieldError pending, and pops exactly its arguments.
void checkStackAndUnreadableSettings(Checks* checks, TestJvm* jvm, const std::vector<ExportedNative>& natives) {
  Settings settings;
  settings.server = u"dc1.orvistal.test";
  jobject self = newSettingsWithFields(jvm, withoutPassword, {"lookupUserName", "server", "useServerName", "domain"},
                                       settings);
  for (const ExportedNative& native : natives) {
    for (uint32_t misalignment : stackMisalignments()) {
      std::string label = native.name + " (stack lowered by " + std::to_string(misalignment) + ")";
      CallOutcome outcome = callNative(jvm, native, self, nullArguments(*native.signature), misalignment);
      expectSoundCall(checks, label, outcome);
      if (readsNoSettings(*native.signature)) {
        checks->expect(outcome.exception.empty(), label + " reads no settings but left " + outcome.exception);
        continue;
      }
      checks->expect(outcome.value == unreadableSettingsValue(*native.signature),
                     label + " returned " + hex(outcome.value) + " for unreadable settings, not " +
                         hex(unreadableSettingsValue(*native.signature)));
      checks->expect(outcome.exception == "java/lang/NoSuchFieldError",
                     label + " left '" + outcome.exception + "' pending, not NoSuchFieldError");
      checks->expect(outcome.binds.empty(), label + " bound the directory with unreadable settings");
    }
  }
}

}  // namespace

void writeAnswers(Checks* checks, TestJvm* jvm, const std::vector<ExportedNative>& natives, const char* path) {
  std::FILE* out = std::fopen(path, "wb");
  checks->expect(out != nullptr, std::string("cannot write ") + path);
  if (out == nullptr) return;
  refuseBinds(false);
  NativeCaller call = [&](const NativeSignature& signature, jobject self, const std::vector<Argument>& arguments,
                          uintptr_t* value) {
    const ExportedNative* native = findNative(natives, signature.name);
    if (native == nullptr) return false;
    CallOutcome outcome = callNative(jvm, *native, self, arguments);
    expectSoundCall(checks, std::string(signature.name) + " in the differential run", outcome);
    *value = outcome.value;
    return true;
  };
  int count = writeDirectoryAnswers(jvm, call, out);
  std::fclose(out);
  refuseBinds(true);
  checks->expect(count > 0, "the differential run's calls did not all answer (see above)");
  if (count > 0) std::printf("\n%d calls of the differential run answered\n", count);
}

const ExportedNative* findNative(const std::vector<ExportedNative>& natives, const char* name) {
  for (const ExportedNative& native : natives)
    if (native.name == name) return &native;
  return nullptr;
}

int main(int argc, char** argv) {
  bool directory = argc == 6 && std::strcmp(argv[3], "--directory") == 0;
  // A row of the directory table, in a process of its own: LIBRARY NATIVES_LIST --run ID --row N
  bool row = argc == 7 && std::strcmp(argv[3], "--run") == 0 && std::strcmp(argv[5], "--row") == 0;
  if (argc != 3 && !directory && !row) {
    std::printf("usage: %s LIBRARY NATIVES_LIST [--directory GAPS_LIST ANSWERS_FILE]\n", argv[0]);
    return 2;
  }
  Checks checks;
  std::vector<ExportedNative> natives;
  std::string error;
  if (!readExportList(argv[2], &natives, &error)) {
    std::printf("FAIL: %s\n", error.c_str());
    return 1;
  }
  checks.expect(!natives.empty(), "the export list names no native");
  HMODULE library = LoadLibraryA(argv[1]);
  if (library == nullptr) {
    std::printf("FAIL: LoadLibrary(%s) failed with error %lu\n", argv[1], GetLastError());
    return 1;
  }
  if (!installServiceRecorders(library, &error)) {
    std::printf("FAIL: %s\n", error.c_str());
    return 1;
  }
  if (!resolveExports(&checks, library, &natives)) {
    std::printf("%d of %d checks failed; the natives are not called\n", checks.failed(), checks.count());
    return 1;
  }
  TestJvm jvm;
  defineJavaClasses(&jvm);
  if (row) return runDirectoryRow(&checks, &jvm, natives, std::stoul(argv[6]), argv[4]);
  std::printf("%u natives resolved by their exported names (%u-bit)\n", static_cast<unsigned>(natives.size()),
              static_cast<unsigned>(8 * sizeof(void*)));

  if (directory) {
    runDirectoryTable(&checks, natives, argv[4], {argv[1], argv[2]});
    writeAnswers(&checks, &jvm, natives, argv[5]);
  } else {
    checkStackAndUnreadableSettings(&checks, &jvm, natives);
    checkMissingResultClasses(&checks, &jvm, natives);
    checkFrame(&checks, &jvm, natives);
    checkResultObjects(&checks, &jvm, natives);
    checkGuards(&checks, &jvm, natives);
  }

  std::printf("%d checks, %d failed\n", checks.count(), checks.failed());
  return checks.failed() == 0 ? 0 : 1;
}
