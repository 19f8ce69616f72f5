#include "jni_environment.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <utility>

JavaClass& JavaClass::field(const std::string& fieldName, const std::string& signature) {
  fields.push_back(std::make_unique<JavaField>(JavaField{fieldName, signature}));
  return *this;
}

JavaClass& JavaClass::method(const std::string& methodName, const std::string& signature) {
  methods.push_back(std::make_unique<JavaMethod>(JavaMethod{methodName, signature}));
  return *this;
}

const JavaField* JavaClass::findField(const std::string& fieldName, const std::string& signature) const {
  for (const auto& candidate : fields)
    if (candidate->name == fieldName && candidate->signature == signature) return candidate.get();
  return nullptr;
}

const JavaMethod* JavaClass::findMethod(const std::string& methodName, const std::string& signature) const {
  for (const auto& candidate : methods)
    if (candidate->name == methodName && candidate->signature == signature) return candidate.get();
  return nullptr;
}

const MethodCall* JavaObject::callOf(const std::string& methodName) const {
  for (const MethodCall& call : calls)
    if (call.method->name == methodName) return &call;
  return nullptr;
}

std::string printable(const std::u16string& text) {
  std::string out;
  for (char16_t unit : text) {
    if (unit >= 0x20 && unit < 0x7f) {
      out += static_cast<char>(unit);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(unit));
      out += escaped;
    }
  }
  return out;
}

TestJvm* ownerOf(JNIEnv* env) { return static_cast<TestJvm::BoundEnv*>(env)->owner; }

namespace {

const char* const noClass = "java/lang/NoClassDefFoundError";
const char* const noField = "java/lang/NoSuchFieldError";
const char* const noMethod = "java/lang/NoSuchMethodError";

// The parameter types of a method signature, one letter each ('L' for any reference or array).
std::string parameterTypes(const std::string& signature) {
  std::string types;
  size_t i = 1;
  while (i < signature.size() && signature[i] != ')') {
    bool array = false;
    while (signature[i] == '[') array = true, ++i;
    char type = signature[i];
    if (type == 'L') i = signature.find(';', i);
    types += array ? 'L' : type;
    ++i;
  }
  return types;
}

std::vector<JavaValue> readArguments(TestJvm* jvm, const JavaMethod* method, va_list arguments,
                                     const char* function) {
  std::vector<JavaValue> values;
  for (char type : parameterTypes(method->signature)) {
    JavaValue value;
    value.type = type == 'L' ? 'L' : type;
    switch (type) {
      case 'I': case 'Z': case 'B': case 'C': case 'S': value.integer = va_arg(arguments, int); break;
      case 'J': value.integer = static_cast<int32_t>(va_arg(arguments, jlong)); break;
      case 'F': case 'D': (void)va_arg(arguments, double); break;
      default: value.object = jvm->use(va_arg(arguments, jobject), function); break;
    }
    values.push_back(value);
  }
  return values;
}

// The signature letter or class name that an argument or element of this type must match.
bool isAssignable(const JavaObject* value, const std::string& signature) {
  if (value == nullptr) return true;
  std::string expected = signature;
  if (expected.size() > 2 && expected.front() == 'L') expected = expected.substr(1, expected.size() - 2);
  switch (value->kind) {
    case JavaObject::Kind::String: return expected == "java/lang/String";
    case JavaObject::Kind::Array: return signature == "[L" + value->elementType->name + ";";
    case JavaObject::Kind::Instance: return expected == value->type->name;
    case JavaObject::Kind::Class: return expected == "java/lang/Class";
  }
  return false;
}

void checkArguments(TestJvm* jvm, const JavaMethod* method, const std::vector<JavaValue>& values) {
  const std::string& signature = method->signature;
  size_t i = 1, index = 0;
  while (i < signature.size() && signature[i] != ')') {
    size_t start = i;
    while (signature[i] == '[') ++i;
    if (signature[i] == 'L') i = signature.find(';', i);
    std::string type = signature.substr(start, i - start + 1);
    ++i;
    if (index < values.size() && values[index].type == 'L' && !isAssignable(values[index].object, type))
      jvm->fault(method->name + method->signature + ": argument " + std::to_string(index) + " is not a " + type);
    ++index;
  }
}

// The functions of the table. Each one notes its name, refuses to run with an exception pending
// where the JNI rules forbid it, and checks every reference it is given.

jint JNICALL getVersion(JNIEnv* env) {
  ownerOf(env)->enter("GetVersion");
  return JNI_VERSION_1_8;
}

jclass JNICALL findClass(JNIEnv* env, const char* name) {
  TestJvm* jvm = ownerOf(env);
  if (!jvm->enter("FindClass")) return nullptr;
  const JavaClass* type = jvm->findClass(name);
  if (type == nullptr) {
    jvm->raise(noClass);
    return nullptr;
  }
  return static_cast<jclass>(jvm->newReference(jvm->newObject(JavaObject::Kind::Class, type)));
}

const JavaClass* classOf(TestJvm* jvm, jclass type, const char* function) {
  JavaObject* object = jvm->use(type, function);
  if (object == nullptr) {
    jvm->fault(std::string(function) + " given no class");
    return nullptr;
  }
  if (object->kind != JavaObject::Kind::Class) {
    jvm->fault(std::string(function) + " given an object that is not a class");
    return nullptr;
  }
  return object->type;
}

jclass JNICALL getObjectClass(JNIEnv* env, jobject object) {
  TestJvm* jvm = ownerOf(env);
  if (!jvm->enter("GetObjectClass")) return nullptr;
  JavaObject* target = jvm->use(object, "GetObjectClass");
  if (target == nullptr || target->kind != JavaObject::Kind::Instance) {
    jvm->fault("GetObjectClass given no instance");
    return nullptr;
  }
  return static_cast<jclass>(jvm->newReference(jvm->newObject(JavaObject::Kind::Class, target->type)));
}

jfieldID JNICALL getFieldID(JNIEnv* env, jclass type, const char* name, const char* signature) {
  TestJvm* jvm = ownerOf(env);
  if (!jvm->enter("GetFieldID")) return nullptr;
  const JavaClass* owner = classOf(jvm, type, "GetFieldID");
  if (owner == nullptr) return nullptr;
  const JavaField* field = owner->findField(name, signature);
  if (field == nullptr) jvm->raise(noField);
  return reinterpret_cast<jfieldID>(const_cast<JavaField*>(field));
}

jmethodID JNICALL getMethodID(JNIEnv* env, jclass type, const char* name, const char* signature) {
  TestJvm* jvm = ownerOf(env);
  if (!jvm->enter("GetMethodID")) return nullptr;
  const JavaClass* owner = classOf(jvm, type, "GetMethodID");
  if (owner == nullptr) return nullptr;
  const JavaMethod* method = owner->findMethod(name, signature);
  if (method == nullptr) jvm->raise(noMethod);
  return reinterpret_cast<jmethodID>(const_cast<JavaMethod*>(method));
}

const JavaField* fieldOf(TestJvm* jvm, JavaObject* object, jfieldID id, char type, const char* function) {
  const JavaField* field = reinterpret_cast<const JavaField*>(id);
  if (object == nullptr || object->kind != JavaObject::Kind::Instance || field == nullptr) {
    jvm->fault(std::string(function) + " given no instance or no field");
    return nullptr;
  }
  if (object->type->findField(field->name, field->signature) != field) {
    jvm->fault(std::string(function) + ": field " + field->name + " does not belong to " + object->type->name);
    return nullptr;
  }
  if ((type == 'L') != (field->signature[0] == 'L' || field->signature[0] == '[') ||
      (type != 'L' && field->signature[0] != type)) {
    jvm->fault(std::string(function) + ": field " + field->name + " has signature " + field->signature);
    return nullptr;
  }
  jvm->noteFieldRead(field);
  return field;
}

jobject JNICALL getObjectField(JNIEnv* env, jobject object, jfieldID id) {
  TestJvm* jvm = ownerOf(env);
  if (!jvm->enter("GetObjectField")) return nullptr;
  JavaObject* target = jvm->use(object, "GetObjectField");
  const JavaField* field = fieldOf(jvm, target, id, 'L', "GetObjectField");
  if (field == nullptr) return nullptr;
  auto value = target->fields.find(field);
  if (value == target->fields.end() || value->second.object == nullptr) return nullptr;
  return jvm->newReference(value->second.object);
}

jboolean JNICALL getBooleanField(JNIEnv* env, jobject object, jfieldID id) {
  TestJvm* jvm = ownerOf(env);
  if (!jvm->enter("GetBooleanField")) return JNI_FALSE;
  JavaObject* target = jvm->use(object, "GetBooleanField");
  const JavaField* field = fieldOf(jvm, target, id, 'Z', "GetBooleanField");
  if (field == nullptr) return JNI_FALSE;
  auto value = target->fields.find(field);
  return value != target->fields.end() && value->second.integer != 0 ? JNI_TRUE : JNI_FALSE;
}

// The object a reference stands for when it is of the given kind; a fault otherwise.
JavaObject* objectOfKind(TestJvm* jvm, jobject reference, JavaObject::Kind kind, const char* function) {
  JavaObject* object = jvm->use(reference, function);
  if (object == nullptr || object->kind != kind) {
    jvm->fault(std::string(function) + (kind == JavaObject::Kind::String ? " given no string" : " given no array"));
    return nullptr;
  }
  return object;
}

JavaObject* stringOf(TestJvm* jvm, jstring text, const char* function) {
  return objectOfKind(jvm, text, JavaObject::Kind::String, function);
}

jsize JNICALL getStringLength(JNIEnv* env, jstring text) {
  TestJvm* jvm = ownerOf(env);
  if (!jvm->enter("GetStringLength")) return 0;
  JavaObject* string = stringOf(jvm, text, "GetStringLength");
  return string == nullptr ? 0 : static_cast<jsize>(string->text.size());
}

const jchar* JNICALL getStringChars(JNIEnv* env, jstring text, jboolean* isCopy) {
  TestJvm* jvm = ownerOf(env);
  if (!jvm->enter("GetStringChars")) return nullptr;
  JavaObject* string = stringOf(jvm, text, "GetStringChars");
  if (string == nullptr) return nullptr;
  if (isCopy != nullptr) *isCopy = JNI_TRUE;
  return jvm->pin(string);
}

void JNICALL releaseStringChars(JNIEnv* env, jstring text, const jchar* characters) {
  TestJvm* jvm = ownerOf(env);
  jvm->enter("ReleaseStringChars", true);
  stringOf(jvm, text, "ReleaseStringChars");
  if (!jvm->unpin(characters)) jvm->fault("ReleaseStringChars given characters it did not hand out");
}

jstring JNICALL newString(JNIEnv* env, const jchar* characters, jsize length) {
  TestJvm* jvm = ownerOf(env);
  if (!jvm->enter("NewString")) return nullptr;
  if (length < 0 || (length > 0 && characters == nullptr)) {
    jvm->fault("NewString given no characters");
    return nullptr;
  }
  JavaObject* string = jvm->newObject(JavaObject::Kind::String, jvm->findClass("java/lang/String"));
  string->text.assign(reinterpret_cast<const char16_t*>(characters), static_cast<size_t>(length));
  return static_cast<jstring>(jvm->newReference(string));
}

JavaObject* construct(TestJvm* jvm, jclass type, jmethodID id, va_list arguments) {
  const JavaClass* owner = classOf(jvm, type, "NewObject");
  const JavaMethod* constructor = reinterpret_cast<const JavaMethod*>(id);
  if (owner == nullptr || constructor == nullptr) {
    jvm->fault("NewObject given no class or no constructor");
    return nullptr;
  }
  if (constructor->name != "<init>" || owner->findMethod(constructor->name, constructor->signature) != constructor) {
    jvm->fault("NewObject: " + constructor->name + constructor->signature + " is no constructor of " + owner->name);
    return nullptr;
  }
  JavaObject* object = jvm->newObject(JavaObject::Kind::Instance, owner);
  MethodCall call{constructor, readArguments(jvm, constructor, arguments, "NewObject")};
  checkArguments(jvm, constructor, call.arguments);
  object->calls.push_back(std::move(call));
  return object;
}

jobject JNICALL newObjectV(JNIEnv* env, jclass type, jmethodID id, va_list arguments) {
  TestJvm* jvm = ownerOf(env);
  if (!jvm->enter("NewObjectV")) return nullptr;
  JavaObject* object = construct(jvm, type, id, arguments);
  return object == nullptr ? nullptr : jvm->newReference(object);
}

jobject JNICALL newObject(JNIEnv* env, jclass type, jmethodID id, ...) {
  TestJvm* jvm = ownerOf(env);
  if (!jvm->enter("NewObject")) return nullptr;
  va_list arguments;
  va_start(arguments, id);
  JavaObject* object = construct(jvm, type, id, arguments);
  va_end(arguments);
  return object == nullptr ? nullptr : jvm->newReference(object);
}

void JNICALL callVoidMethodV(JNIEnv* env, jobject object, jmethodID id, va_list arguments) {
  TestJvm* jvm = ownerOf(env);
  if (!jvm->enter("CallVoidMethodV")) return;
  JavaObject* target = jvm->use(object, "CallVoidMethodV");
  const JavaMethod* method = reinterpret_cast<const JavaMethod*>(id);
  if (target == nullptr || target->kind != JavaObject::Kind::Instance || method == nullptr) {
    jvm->fault("CallVoidMethodV given no instance or no method");
    return;
  }
  if (target->type->findMethod(method->name, method->signature) != method || method->name == "<init>" ||
      method->signature.back() != 'V') {
    jvm->fault("CallVoidMethodV: " + method->name + method->signature + " is no void method of " + target->type->name);
    return;
  }
  MethodCall call{method, readArguments(jvm, method, arguments, "CallVoidMethodV")};
  checkArguments(jvm, method, call.arguments);
  target->calls.push_back(std::move(call));
}

void JNICALL callVoidMethod(JNIEnv* env, jobject object, jmethodID id, ...) {
  va_list arguments;
  va_start(arguments, id);
  callVoidMethodV(env, object, id, arguments);
  va_end(arguments);
}

jobjectArray JNICALL newObjectArray(JNIEnv* env, jsize length, jclass elementType, jobject initial) {
  TestJvm* jvm = ownerOf(env);
  if (!jvm->enter("NewObjectArray")) return nullptr;
  const JavaClass* type = classOf(jvm, elementType, "NewObjectArray");
  if (type == nullptr) return nullptr;
  if (length < 0) {
    jvm->raise("java/lang/NegativeArraySizeException");
    return nullptr;
  }
  JavaObject* array = jvm->newObject(JavaObject::Kind::Array, nullptr);
  array->elementType = type;
  array->elements.assign(static_cast<size_t>(length), jvm->use(initial, "NewObjectArray"));
  return static_cast<jobjectArray>(jvm->newReference(array));
}

JavaObject* arrayOf(TestJvm* jvm, jobjectArray array, const char* function) {
  return objectOfKind(jvm, array, JavaObject::Kind::Array, function);
}

jsize JNICALL getArrayLength(JNIEnv* env, jarray array) {
  TestJvm* jvm = ownerOf(env);
  if (!jvm->enter("GetArrayLength")) return 0;
  JavaObject* object = arrayOf(jvm, static_cast<jobjectArray>(array), "GetArrayLength");
  return object == nullptr ? 0 : static_cast<jsize>(object->elements.size());
}

jobject JNICALL getObjectArrayElement(JNIEnv* env, jobjectArray array, jsize index) {
  TestJvm* jvm = ownerOf(env);
  if (!jvm->enter("GetObjectArrayElement")) return nullptr;
  JavaObject* object = arrayOf(jvm, array, "GetObjectArrayElement");
  if (object == nullptr) return nullptr;
  if (index < 0 || static_cast<size_t>(index) >= object->elements.size()) {
    jvm->raise("java/lang/ArrayIndexOutOfBoundsException");
    return nullptr;
  }
  JavaObject* element = object->elements[static_cast<size_t>(index)];
  return element == nullptr ? nullptr : jvm->newReference(element);
}

void JNICALL setObjectArrayElement(JNIEnv* env, jobjectArray array, jsize index, jobject value) {
  TestJvm* jvm = ownerOf(env);
  if (!jvm->enter("SetObjectArrayElement")) return;
  JavaObject* object = arrayOf(jvm, array, "SetObjectArrayElement");
  if (object == nullptr) return;
  if (index < 0 || static_cast<size_t>(index) >= object->elements.size()) {
    jvm->raise("java/lang/ArrayIndexOutOfBoundsException");
    return;
  }
  JavaObject* element = jvm->use(value, "SetObjectArrayElement");
  if (!isAssignable(element, "L" + object->elementType->name + ";")) {
    jvm->raise("java/lang/ArrayStoreException");
    return;
  }
  object->elements[static_cast<size_t>(index)] = element;
}

void JNICALL deleteLocalRef(JNIEnv* env, jobject reference) {
  TestJvm* jvm = ownerOf(env);
  jvm->enter("DeleteLocalRef", true);
  jvm->deleteReference(reference);
}

// A global reference lives as long as the program: the bridge keeps its classes that way.
jobject JNICALL newGlobalRef(JNIEnv* env, jobject reference) {
  TestJvm* jvm = ownerOf(env);
  if (!jvm->enter("NewGlobalRef")) return nullptr;
  JavaObject* object = jvm->use(reference, "NewGlobalRef");
  return object == nullptr ? nullptr : jvm->newReference(object);
}

jboolean JNICALL exceptionCheck(JNIEnv* env) {
  TestJvm* jvm = ownerOf(env);
  jvm->enter("ExceptionCheck", true);
  return jvm->pendingException().empty() ? JNI_FALSE : JNI_TRUE;
}

void JNICALL exceptionClear(JNIEnv* env) {
  TestJvm* jvm = ownerOf(env);
  jvm->enter("ExceptionClear", true);
  jvm->clearException();
}

// A slot the test does not provide: the bridge called a JNI function that nobody expected, so
// the program stops and names the slot (its index in JNINativeInterface_).
template <size_t Slot>
void JNICALL unexpectedFunction() {
  std::printf("FATAL: the library called JNI function slot %u, which this environment does not provide\n",
              static_cast<unsigned>(Slot));
  std::fflush(stdout);
  std::_Exit(3);
}

constexpr size_t slotCount = sizeof(JNINativeInterface_) / sizeof(void*);

template <size_t... Slots>
void fillUnexpected(void** slots, std::index_sequence<Slots...>) {
  ((slots[Slots] = reinterpret_cast<void*>(&unexpectedFunction<Slots>)), ...);
}

}  // namespace

TestJvm::TestJvm() {
  fillUnexpected(reinterpret_cast<void**>(&table_), std::make_index_sequence<slotCount>());
  table_.reserved0 = table_.reserved1 = table_.reserved2 = table_.reserved3 = nullptr;
  table_.GetVersion = getVersion;
  table_.FindClass = ::findClass;
  table_.GetObjectClass = getObjectClass;
  table_.GetFieldID = getFieldID;
  table_.GetMethodID = getMethodID;
  table_.GetObjectField = getObjectField;
  table_.GetBooleanField = getBooleanField;
  table_.GetStringLength = getStringLength;
  table_.GetStringChars = getStringChars;
  table_.ReleaseStringChars = releaseStringChars;
  table_.NewString = ::newString;
  table_.NewObject = ::newObject;
  table_.NewObjectV = newObjectV;
  table_.CallVoidMethod = callVoidMethod;
  table_.CallVoidMethodV = callVoidMethodV;
  table_.NewObjectArray = newObjectArray;
  table_.GetArrayLength = getArrayLength;
  table_.GetObjectArrayElement = getObjectArrayElement;
  table_.SetObjectArrayElement = setObjectArrayElement;
  table_.DeleteLocalRef = deleteLocalRef;
  table_.NewGlobalRef = newGlobalRef;
  table_.ExceptionCheck = exceptionCheck;
  table_.ExceptionClear = exceptionClear;
  env_.functions = &table_;
  env_.owner = this;
  defineClass("java/lang/String");
}

JavaClass& TestJvm::defineClass(const std::string& name) {
  auto& slot = classes_[name];
  if (slot) setAside_.push_back(std::move(slot));
  slot = std::make_unique<JavaClass>();
  slot->name = name;
  return *slot;
}

void TestJvm::hideClass(const std::string& name) {
  auto found = classes_.find(name);
  if (found == classes_.end()) return;
  hidden_[name] = std::move(found->second);
  classes_.erase(found);
}

void TestJvm::restoreClass(const std::string& name) {
  auto found = hidden_.find(name);
  if (found == hidden_.end()) return;
  auto& slot = classes_[name];
  if (slot) setAside_.push_back(std::move(slot));
  slot = std::move(found->second);
  hidden_.erase(found);
}

const JavaClass* TestJvm::findClass(const std::string& name) const {
  auto found = classes_.find(name);
  return found == classes_.end() ? nullptr : found->second.get();
}

JavaObject* TestJvm::newObject(JavaObject::Kind kind, const JavaClass* type) {
  objects_.push_back(std::make_unique<JavaObject>());
  JavaObject* object = objects_.back().get();
  object->kind = kind;
  object->type = type;
  return object;
}

jobject TestJvm::newReference(JavaObject* object) {
  references_.push_back(std::make_unique<Reference>(Reference{object, false}));
  handedOut_.insert(references_.back().get());
  return reinterpret_cast<jobject>(references_.back().get());
}

jobject TestJvm::newInstance(const JavaClass& type) { return newReference(newObject(JavaObject::Kind::Instance, &type)); }

jstring TestJvm::newString(const std::u16string& text) {
  JavaObject* string = newObject(JavaObject::Kind::String, findClass("java/lang/String"));
  string->text = text;
  return static_cast<jstring>(newReference(string));
}

jobjectArray TestJvm::newStringArray(const std::vector<std::u16string>& texts) {
  JavaObject* array = newObject(JavaObject::Kind::Array, nullptr);
  array->elementType = findClass("java/lang/String");
  for (const std::u16string& text : texts) array->elements.push_back(target(newString(text)));
  return static_cast<jobjectArray>(newReference(array));
}

void TestJvm::setField(jobject object, const std::string& name, const std::string& signature, JavaValue value) {
  JavaObject* instance = target(object);
  const JavaField* field = instance->type->findField(name, signature);
  if (field == nullptr) {
    std::printf("FATAL: the test gave %s no field %s\n", instance->type->name.c_str(), name.c_str());
    std::fflush(stdout);
    std::_Exit(3);
  }
  instance->fields[field] = value;
}

JavaObject* TestJvm::target(jobject reference) const {
  if (reference == nullptr) return nullptr;
  const Reference* entry = reinterpret_cast<const Reference*>(reference);
  return entry->deleted ? nullptr : entry->target;
}

bool TestJvm::isLiveReference(jobject reference) const {
  const Reference* entry = reinterpret_cast<const Reference*>(reference);
  return handedOut_.count(entry) == 1 && !entry->deleted;
}

JavaObject* TestJvm::use(jobject reference, const char* function) {
  if (reference == nullptr) return nullptr;
  if (!isLiveReference(reference)) {
    fault(std::string(function) + " given a reference that was deleted or never handed out");
    return nullptr;
  }
  return reinterpret_cast<Reference*>(reference)->target;
}

namespace {

// Whether this function was entered with the stack aligned as the x64 convention requires: a
// 16-byte aligned local lands on a 16-byte boundary only then, as the compiler assumes the
// alignment and never realigns. A native that calls the environment misaligned is caught here.
__attribute__((noinline)) bool enteredAligned() {
  alignas(16) volatile char probe[16];
  uintptr_t address = reinterpret_cast<uintptr_t>(probe);
  asm volatile("" : "+r"(address));
  return address % 16 == 0;
}

}  // namespace

bool TestJvm::enter(const char* function, bool allowedWithException) {
  std::string name = function;
  if (sizeof(void*) == 8 && !enteredAligned()) fault(name + " called with the stack off its 16-byte alignment");
  bool seen = false;
  for (const std::string& used : functionsUsed_) seen = seen || used == name;
  if (!seen) functionsUsed_.push_back(name);
  if (!allowedWithException && !pendingException_.empty()) {
    fault(name + " called while " + pendingException_ + " is pending");
    return false;
  }
  return true;
}

void TestJvm::deleteReference(jobject reference) {
  if (reference == nullptr) return;
  if (!isLiveReference(reference)) {
    fault("DeleteLocalRef given a reference that was deleted or never handed out");
    return;
  }
  reinterpret_cast<Reference*>(reference)->deleted = true;
}

const jchar* TestJvm::pin(JavaObject* string) {
  auto copy = std::make_unique<std::u16string>(string->text);
  const jchar* characters = reinterpret_cast<const jchar*>(copy->c_str());
  pinned_[characters] = std::move(copy);
  return characters;
}

bool TestJvm::unpin(const jchar* characters) { return pinned_.erase(characters) == 1; }

void TestJvm::beginCall() {
  faults_.clear();
  pendingException_.clear();
  fieldReads_.clear();
  functionsUsed_.clear();
  pinned_.clear();
}
