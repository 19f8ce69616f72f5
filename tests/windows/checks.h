// Counting checks for a program that has no test framework on Windows.
#pragma once
#include <cstdio>
#include <string>

#include "native_call.h"

class Checks {
 public:
  void expect(bool ok, const std::string& what) {
    ++count_;
    if (ok) return;
    ++failed_;
    std::printf("FAIL: %s\n", what.c_str());
    std::fflush(stdout);
  }
  int count() const { return count_; }
  int failed() const { return failed_; }

 private:
  int count_ = 0;
  int failed_ = 0;
};

// What every call must keep, whatever it returns: the stack, the callee-saved registers, the
// JNI rules and the release of every string's characters.
inline void expectSoundCall(Checks* checks, const std::string& label, const CallOutcome& outcome) {
  checks->expect(outcome.stackDrift == 0,
                 label + ": the stack pointer is off by " + std::to_string(outcome.stackDrift) + " bytes after the call");
  checks->expect(outcome.registersKept, label + ": a callee-saved register changed across the call");
  for (const std::string& fault : outcome.faults) checks->expect(false, label + ": " + fault);
  checks->expect(outcome.pinnedStrings == 0, label + ": string characters were never released");
}

// The phases of the program.
void checkFrame(Checks* checks, TestJvm* jvm, const std::vector<ExportedNative>& natives);
void checkMissingResultClasses(Checks* checks, TestJvm* jvm, const std::vector<ExportedNative>& natives);
void checkResultObjects(Checks* checks, TestJvm* jvm, const std::vector<ExportedNative>& natives);
void checkGuards(Checks* checks, TestJvm* jvm, const std::vector<ExportedNative>& natives);
// Every native against the directory, each row in a process of its own: this program again, with
// childArguments and --row; runDirectoryRow runs that row and returns the process's exit code.
void runDirectoryTable(Checks* checks, const std::vector<ExportedNative>& natives, const char* gapsPath,
                       const std::vector<std::string>& childArguments);
int runDirectoryRow(Checks* checks, TestJvm* jvm, const std::vector<ExportedNative>& natives, size_t index,
                    const std::string& runId);
// The differential run's calls, their answers written to the file.
void writeAnswers(Checks* checks, TestJvm* jvm, const std::vector<ExportedNative>& natives, const char* path);

const ExportedNative* findNative(const std::vector<ExportedNative>& natives, const char* name);
