// Calling one exported native as a JVM of the same width does: its arguments as JNI references
// made in the test's environment, placed by hand and called with the platform's JNI convention
// (stdcall on 32-bit, the x64 convention on 64-bit), with the stack and the callee-saved
// registers checked afterwards.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "service_recorder.h"
#include "java_values.h"

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

