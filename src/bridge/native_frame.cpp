#include "bridge/native_frame.h"

#include "directory/adsi_context.h"
#include "directory/values.h"

namespace {

const char* const stringSignature = "Ljava/lang/String;";

void readStringField(JNIEnv* env, jobject object, jfieldID field, WideString* target) {
  jstring value = static_cast<jstring>(env->GetObjectField(object, field));
  if (value != nullptr) javaStringToWide(env, value, target);
}

}  // namespace

void javaStringToWide(JNIEnv* env, jstring text, WideString* wide) {
  if (text == nullptr) return;
  jsize length = env->GetStringLength(text);
  const jchar* characters = env->GetStringChars(text, nullptr);
  if (characters == nullptr) raiseStatus(E_OUTOFMEMORY);
  try {
    wide->assign(reinterpret_cast<const WCHAR*>(characters), static_cast<size_t>(length));
  } catch (...) {
    env->ReleaseStringChars(text, characters);
    throw;
  }
  env->ReleaseStringChars(text, characters);
}

WideString wideParameter(JNIEnv* env, jstring text) {
  WideString wide;
  javaStringToWide(env, text, &wide);
  return wide;
}

jstring newJavaString(JNIEnv* env, const WideString& text) {
  return env->NewString(reinterpret_cast<const jchar*>(text.data()), static_cast<jsize>(text.size()));
}

bool readConnectionSettings(JNIEnv* env, jobject object, ConnectionSettings* settings) {
  if (env == nullptr || object == nullptr) return false;
  jclass type = env->GetObjectClass(object);
  if (type == nullptr) return false;
  // All three are looked up before any is read; a missing one leaves NoSuchFieldError pending.
  jfieldID userField = env->GetFieldID(type, "lookupUserName", stringSignature);
  if (userField == nullptr) return false;
  jfieldID passwordField = env->GetFieldID(type, "lookupUserPassword", stringSignature);
  if (passwordField == nullptr) return false;
  jfieldID serverField = env->GetFieldID(type, "server", stringSignature);
  if (serverField == nullptr) return false;
  readStringField(env, object, userField, &settings->lookupUserName);
  readStringField(env, object, passwordField, &settings->lookupUserPassword);
  readStringField(env, object, serverField, &settings->serverName);
  settings->serverIsDomain = false;

  type = env->GetObjectClass(object);
  if (type == nullptr) return false;
  jfieldID useServerNameField = env->GetFieldID(type, "useServerName", "Z");
  if (useServerNameField == nullptr) return false;
  if (env->GetBooleanField(object, useServerNameField)) return true;

  settings->serverIsDomain = true;
  jfieldID domainField = env->GetFieldID(type, "domain", stringSignature);
  if (domainField == nullptr) return false;
  jstring domain = static_cast<jstring>(env->GetObjectField(object, domainField));
  if (domain != nullptr) {
    WideString domainName;
    javaStringToWide(env, domain, &domainName);
    settings->serverName = domainName;
  }
  return true;
}

HRESULT variantArrayFromJavaStrings(JNIEnv* env, jobjectArray strings, VariantArray* array) {
  if (strings == nullptr) return S_OK;
  HRESULT status = S_OK;
  jsize length = env->GetArrayLength(strings);
  for (jsize i = 0; i < length; ++i) {
    WideString text;
    javaStringToWide(env, static_cast<jstring>(env->GetObjectArrayElement(strings, i)), &text);
    if (holdsNul(text)) status = E_INVALIDARG;
    UniqueVariant value;
    *value.get() = bstrVariant(text);
    (void)array->append(*value.get());  // a failed append leaves the list as it was
  }
  return status;
}
