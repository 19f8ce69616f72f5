// The differential run's calls: the natives that reach the test directory under Wine, each with
// the same settings and arguments on both builds, and their answers written as text, one block a
// call, so that the Windows library's answers and the Linux library's can be compared line by
// line. Shared by the Windows program and the Linux driver, so it needs nothing of Windows.
#pragma once
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "java_values.h"

// The directory's server, domain and accounts, from its environment (dc.sh env).
struct DirectoryEnvironment {
  std::u16string server, domain, adminUser, adminPassword, bindUser, bindPassword, baseDn;
};
// False, with a message for each value missing, when any is unset.
bool readDirectoryEnvironment(DirectoryEnvironment* names);
std::u16string wide(const std::string& text);

// Calls the named native with a settings object and arguments and returns what it returned (a
// jint's 32 bits or the jobject); false when the library does not export the native.
using NativeCaller =
    std::function<bool(const NativeSignature& signature, jobject self, const std::vector<Argument>& arguments,
                       uintptr_t* value)>;

// Runs every call and writes its answer; returns the number of calls, or -1 (with a message on
// stdout) when the environment lacks the directory's names, a native is not exported, or a
// search gave fewer values than the seeded directory holds.
int writeDirectoryAnswers(TestJvm* jvm, const NativeCaller& call, std::FILE* out);
