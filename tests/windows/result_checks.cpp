// The result objects, with every bind refused: each object native returns a new object of its
// declared class, built through the declared constructor (and setters), carrying a failure status
// and empty values; a result class or setter that cannot be found behaves as a JVM's would.
#include <cstring>

#include "checks.h"

namespace {

const char* const stringListClass = "kestrivane/qom/result/ResultStringList";

Settings refusedSettings() {
  Settings settings;
  settings.user = u"orvbind@orvistal.test";
  settings.password = u"not-a-real-password";
  settings.server = u"127.0.0.1:9";
  return settings;
}

bool isEmptyValue(const JavaValue& value) {
  if (value.type != 'L') return value.integer == 0;
  const JavaObject* object = value.object;
  if (object == nullptr) return false;
  if (object->kind == JavaObject::Kind::String) return object->text.empty();
  if (object->kind == JavaObject::Kind::Array) return object->elements.empty();
  return false;
}

// The object is of the declared class; a failure status comes with the values' initial state.
void checkFailedResult(Checks* checks, TestJvm* jvm, const ExportedNative& native, const CallOutcome& outcome) {
  const std::string label = native.name + " with its binds refused";
  const JavaObject* result = jvm->target(reinterpret_cast<jobject>(outcome.value));
  checks->expect(result != nullptr, label + " returned no live object");
  if (result == nullptr) return;
  checks->expect(result->kind == JavaObject::Kind::Instance && result->type->name == native.signature->resultClass,
                 label + " returned " + describeResult(jvm, *native.signature, outcome.value));
  std::optional<int32_t> status = statusOf(jvm, *native.signature, outcome.value);
  checks->expect(status && *status < 0, label + " reports no failure: " + describeResult(jvm, *native.signature, outcome.value));
  if (result->type->name == stringListClass) {
    // The list is set before the status, and Java receives an empty array rather than null.
    const MethodCall* list = result->callOf("setStringList");
    checks->expect(result->calls.size() == 3 && list == &result->calls[1] &&
                       result->calls[2].method->name == "setErrCode",
                   label + ": the setters were not called in order");
    checks->expect(list != nullptr && isEmptyValue(list->arguments[0]), label + ": the list is not an empty array");
    return;
  }
  const MethodCall& constructor = result->calls[0];
  // A failed access check grants nothing and carries the denial (5) as its access status: 0 is
  // what a grant carries.
  bool accessCheck = result->type->name == "kestrivane/qom/result/ResultCheckAccess";
  for (size_t i = 1; i < constructor.arguments.size(); ++i) {
    if (accessCheck && i == 2) {
      checks->expect(constructor.arguments[i].type == 'I' && constructor.arguments[i].integer == 5,
                     label + ": a failed check's access status is not the denial in " +
                         describeResult(jvm, *native.signature, outcome.value));
      continue;
    }
    checks->expect(isEmptyValue(constructor.arguments[i]),
                   label + ": value " + std::to_string(i) + " is not empty in " +
                       describeResult(jvm, *native.signature, outcome.value));
  }
}

// A result class that cannot be found: null, with the lookup's NoClassDefFoundError pending.
// A later call still finds the class once it is there.
void checkMissingClass(Checks* checks, TestJvm* jvm, const ExportedNative& native, jobject self) {
  jvm->hideClass(native.signature->resultClass);
  CallOutcome outcome = callNative(jvm, native, self, emptyArguments(*native.signature));
  jvm->restoreClass(native.signature->resultClass);
  const std::string label = native.name + " without its result class";
  expectSoundCall(checks, label, outcome);
  checks->expect(outcome.value == 0, label + " returned an object");
  checks->expect(outcome.exception == "java/lang/NoClassDefFoundError", label + " left '" + outcome.exception + "'");
}

// A ResultStringList whose setter cannot be found: the object still returns, the setter's
// NoSuchMethodError is left for the caller, and nothing is called while it is pending.
void checkMissingSetter(Checks* checks, TestJvm* jvm, const ExportedNative& native, jobject self,
                        const char* missing) {
  jvm->hideClass(stringListClass);
  JavaClass& partial = jvm->defineClass(stringListClass).method("<init>", "()V");
  if (std::strcmp(missing, "setStringList") != 0) partial.method("setStringList", "([Ljava/lang/String;)V");
  if (std::strcmp(missing, "setErrCode") != 0) partial.method("setErrCode", "(I)V");
  CallOutcome outcome = callNative(jvm, native, self, emptyArguments(*native.signature));
  jvm->restoreClass(stringListClass);
  const std::string label = native.name + " without " + missing;
  expectSoundCall(checks, label, outcome);
  const JavaObject* result = jvm->target(reinterpret_cast<jobject>(outcome.value));
  checks->expect(result != nullptr, label + " returned no object");
  checks->expect(outcome.exception == "java/lang/NoSuchMethodError", label + " left '" + outcome.exception + "'");
}

// Natives whose first step is a bind carry the bind's status unchanged.
void checkStatusPassedOn(Checks* checks, TestJvm* jvm, const std::vector<ExportedNative>& natives, jobject self) {
  struct Case {
    const char* native;
    std::vector<Argument> arguments;
  };
  const Case cases[] = {
      {"wGetGroupDsn", {textArgument(u"CN=Domain Users,CN=Users,DC=orvistal,DC=test")}},
      {"wGetUserDsn", {textArgument(u"alice"), textArgument(u"")}},
  };
  for (const Case& test : cases) {
    const ExportedNative* native = findNative(natives, test.native);
    if (native == nullptr) continue;
    CallOutcome outcome = callNative(jvm, *native, self, test.arguments);
    expectSoundCall(checks, native->name, outcome);
    std::string text = describeResult(jvm, *native->signature, outcome.value);
    checks->expect(text == "ResultMessage(" + hex(static_cast<uint32_t>(refusedBind)) + ", \"\")",
                   native->name + " gave " + text + " for a refused bind");
  }
}

}  // namespace

void checkResultObjects(Checks* checks, TestJvm* jvm, const std::vector<ExportedNative>& natives) {
  refuseBinds(true);
  jobject self = newSettings(jvm, refusedSettings());
  for (const ExportedNative& native : natives) {
    if (native.signature->resultClass == nullptr) continue;
    CallOutcome outcome = callNative(jvm, native, self, emptyArguments(*native.signature));
    std::printf("%s with its binds refused: %s\n", native.name.c_str(),
                describeResult(jvm, *native.signature, outcome.value).c_str());
    expectSoundCall(checks, native.name + " with its binds refused", outcome);
    checks->expect(outcome.exception.empty(), native.name + " left '" + outcome.exception + "' pending");
    checkFailedResult(checks, jvm, native, outcome);
  }
  checkStatusPassedOn(checks, jvm, natives, self);
}

// The bridge keeps a result class once it has found it with all it needs, as a JVM keeps a
// class that is referenced: a class or setter can only be missing before that.
void checkMissingResultClasses(Checks* checks, TestJvm* jvm, const std::vector<ExportedNative>& natives) {
  refuseBinds(true);
  jobject self = newSettings(jvm, refusedSettings());
  for (const ExportedNative& native : natives) {
    if (native.signature->resultClass == nullptr) continue;
    checkMissingClass(checks, jvm, native, self);
    if (std::strcmp(native.signature->resultClass, stringListClass) == 0) {
      checkMissingSetter(checks, jvm, native, self, "setStringList");
      checkMissingSetter(checks, jvm, native, self, "setErrCode");
    }
  }
}
