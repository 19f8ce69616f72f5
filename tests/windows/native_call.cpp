#include "native_call.h"

#if defined(__x86_64__)
extern "C" uint64_t callWin64(const void* function, const uint64_t* arguments, uint64_t count, int64_t* stackDrift,
                              int32_t* registersKept);
#else
extern "C" uint32_t callStdcall(const void* function, const uint32_t* arguments, uint32_t count, int32_t* stackDrift,
                                uint32_t misalignment, int32_t* registersKept);
#endif

namespace {

uintptr_t word(void* reference) { return reinterpret_cast<uintptr_t>(reference); }

// An int travels in a full register or slot whose upper half x64 leaves undefined: it is filled
// with a pattern, so a callee that reads the whole slot gives itself away.
constexpr uintptr_t undefinedUpperHalf = sizeof(uintptr_t) == 8 ? static_cast<uintptr_t>(0xA5A5A5A5ull << 32) : 0;

uintptr_t javaArgument(TestJvm* jvm, const Argument& argument) {
  if (argument.type == 'I') return undefinedUpperHalf | static_cast<uint32_t>(argument.integer);
  return word(javaReference(jvm, argument));
}

uintptr_t callExport(const void* function, const std::vector<uintptr_t>& words, uint32_t misalignment,
                     intptr_t* stackDrift, bool* registersKept) {
  int32_t kept = 0;
#if defined(__x86_64__)
  int64_t drift = 0;
  uintptr_t value = callWin64(function, words.data(), words.size(), &drift, &kept);
#else
  int32_t drift = 0;
  uintptr_t value = callStdcall(function, words.data(), static_cast<uint32_t>(words.size()), &drift, misalignment, &kept);
#endif
  *stackDrift = static_cast<intptr_t>(drift);
  *registersKept = kept != 0;
  return value;
}

}  // namespace

const std::vector<uint32_t>& stackMisalignments() {
  static const std::vector<uint32_t> amounts = sizeof(void*) == 8 ? std::vector<uint32_t>{0}
                                                                  : std::vector<uint32_t>{0, 4, 8, 12};
  return amounts;
}

CallOutcome callNative(TestJvm* jvm, const ExportedNative& native, jobject self, const std::vector<Argument>& arguments,
                       uint32_t misalignment) {
  std::vector<uintptr_t> words = {word(jvm->env()), word(self)};
  for (const Argument& argument : arguments) words.push_back(javaArgument(jvm, argument));
  jvm->beginCall();
  takeRecordedBinds();
  takeServiceCalls();
  CallOutcome outcome;
  outcome.value = callExport(reinterpret_cast<const void*>(native.address), words, misalignment, &outcome.stackDrift,
                             &outcome.registersKept);
  // A jint result is the low half of the register; the upper half means nothing.
  if (native.signature->resultClass == nullptr) outcome.value = static_cast<uint32_t>(outcome.value);
  outcome.binds = takeRecordedBinds();
  outcome.services = takeServiceCalls();
  outcome.faults = jvm->faults();
  outcome.exception = jvm->pendingException();
  outcome.pinnedStrings = jvm->pinnedStrings();
  return outcome;
}
