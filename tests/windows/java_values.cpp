#include "java_values.h"

#include <cstdio>

Argument textArgument(const std::u16string& text) {
  Argument argument;
  argument.text = text;
  return argument;
}

Argument nullArgument(char type) {
  Argument argument;
  argument.type = type;
  argument.isNull = type != 'I';
  return argument;
}

Argument intArgument(int32_t value) {
  Argument argument;
  argument.type = 'I';
  argument.integer = value;
  return argument;
}

Argument stringsArgument(const std::vector<std::u16string>& texts) {
  Argument argument;
  argument.type = 'A';
  argument.texts = texts;
  return argument;
}

std::vector<Argument> nullArguments(const NativeSignature& signature) {
  std::vector<Argument> arguments;
  for (const char* type = signature.parameters; *type != 0; ++type) arguments.push_back(nullArgument(*type));
  return arguments;
}

std::vector<Argument> emptyArguments(const NativeSignature& signature) {
  std::vector<Argument> arguments;
  for (const char* type = signature.parameters; *type != 0; ++type) {
    Argument argument;
    argument.type = *type;
    arguments.push_back(argument);
  }
  return arguments;
}

jobject javaReference(TestJvm* jvm, const Argument& argument) {
  if (argument.isNull) return nullptr;
  if (argument.type == 'A') return jvm->newStringArray(argument.texts);
  return jvm->newString(argument.text);
}

namespace {

void setText(TestJvm* jvm, jobject object, const char* field, const std::optional<std::u16string>& text) {
  JavaValue value;
  value.type = 'L';
  if (text) value.object = jvm->target(jvm->newString(*text));
  jvm->setField(object, field, "Ljava/lang/String;", value);
}

}  // namespace

jobject newSettingsWithFields(TestJvm* jvm, const std::string& className, const std::vector<std::string>& fields,
                              const Settings& settings) {
  JavaClass& type = jvm->defineClass(className);
  for (const std::string& field : fields) type.field(field, field == "useServerName" ? "Z" : "Ljava/lang/String;");
  jobject object = jvm->newInstance(type);
  for (const std::string& field : fields) {
    if (field == "lookupUserName") setText(jvm, object, "lookupUserName", settings.user);
    if (field == "lookupUserPassword") setText(jvm, object, "lookupUserPassword", settings.password);
    if (field == "server") setText(jvm, object, "server", settings.server);
    if (field == "domain") setText(jvm, object, "domain", settings.domain);
    if (field == "useServerName") {
      JavaValue flag;
      flag.type = 'Z';
      flag.integer = settings.useServerName ? 1 : 0;
      jvm->setField(object, "useServerName", "Z", flag);
    }
  }
  return object;
}

jobject newSettings(TestJvm* jvm, const Settings& settings) {
  const JavaClass* type = jvm->findClass(settingsClass);
  jobject object = jvm->newInstance(*type);
  setText(jvm, object, "lookupUserName", settings.user);
  setText(jvm, object, "lookupUserPassword", settings.password);
  setText(jvm, object, "server", settings.server);
  setText(jvm, object, "domain", settings.domain);
  JavaValue flag;
  flag.type = 'Z';
  flag.integer = settings.useServerName ? 1 : 0;
  jvm->setField(object, "useServerName", "Z", flag);
  return object;
}

std::string hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
  return text;
}

namespace {

std::string describeValue(const JavaValue& value) {
  if (value.type != 'L') return std::to_string(value.integer);
  const JavaObject* object = value.object;
  if (object == nullptr) return "null";
  if (object->kind == JavaObject::Kind::String) return "\"" + printable(object->text) + "\"";
  if (object->kind == JavaObject::Kind::Array) {
    std::string text = "[";
    for (size_t i = 0; i < object->elements.size(); ++i) {
      JavaValue element;
      element.type = 'L';
      element.object = object->elements[i];
      if (i > 0) text += ", ";
      if (i == 3 && object->elements.size() > 4) return text + "... " + std::to_string(object->elements.size()) + " in all]";
      text += describeValue(element);
    }
    return text + "]";
  }
  std::string text = object->type->name.substr(object->type->name.rfind('/') + 1) + "(";
  if (!object->calls.empty())
    for (size_t i = 0; i < object->calls[0].arguments.size(); ++i)
      text += (i > 0 ? ", " : "") + describeValue(object->calls[0].arguments[i]);
  return text + ")";
}

}  // namespace

std::optional<int32_t> statusOf(TestJvm* jvm, const NativeSignature& signature, uintptr_t value) {
  if (signature.resultClass == nullptr) return static_cast<int32_t>(value);
  const JavaObject* result = jvm->target(reinterpret_cast<jobject>(value));
  if (result == nullptr || result->calls.empty()) return std::nullopt;
  if (const MethodCall* setErrCode = result->callOf("setErrCode")) return setErrCode->arguments[0].integer;
  const MethodCall& constructor = result->calls[0];
  if (constructor.arguments.empty() || constructor.arguments[0].type != 'I') return std::nullopt;
  return constructor.arguments[0].integer;
}

std::string describeResult(TestJvm* jvm, const NativeSignature& signature, uintptr_t value) {
  if (signature.resultClass == nullptr) return hex(value);
  const JavaObject* result = jvm->target(reinterpret_cast<jobject>(value));
  if (result == nullptr) return "null";
  JavaValue whole;
  whole.type = 'L';
  whole.object = const_cast<JavaObject*>(result);
  std::string text = describeValue(whole);
  if (const MethodCall* list = result->callOf("setStringList")) {
    text.pop_back();
    text += "list " + describeValue(list->arguments[0]);
    if (const MethodCall* status = result->callOf("setErrCode")) text += ", status " + hex(status->arguments[0].integer);
    text += ")";
  }
  // Show the status in hexadecimal, as the platform's codes are written.
  if (result->calls.size() == 1 && !result->calls[0].arguments.empty() && result->calls[0].arguments[0].type == 'I') {
    size_t open = text.find('(');
    size_t comma = text.find_first_of(",)", open);
    text = text.substr(0, open + 1) + hex(result->calls[0].arguments[0].integer) + text.substr(comma);
  }
  return text;
}
