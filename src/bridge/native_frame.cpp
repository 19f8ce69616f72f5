#include "bridge/native_frame.h"

#include <new>

#include "bridge/java_arrays.h"
#include "bridge/local_ref.h"
#include "directory/adsi_context.h"
#include "directory/values.h"

namespace {

const char* const stringSignature = "Ljava/lang/String;";

void readStringField(JNIEnv* env, jobject object, jfieldID field, WideString* target) {
  LocalRef<jstring> value(env, static_cast<jstring>(env->GetObjectField(object, field)));
  if (value) javaStringToWide(env, value.get(), target);
}

}  // namespace

HRESULT statusOfCurrentException() noexcept {
  try {
    throw;
  } catch (const StatusError& error) {
    return error.status;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

void javaStringToWide(JNIEnv* env, jstring text, WideString* wide) {
  if (text == nullptr) return;
  JavaChars characters(env, text);
  if (characters.get() == nullptr) raiseStatus(E_OUTOFMEMORY);
  wide->assign(reinterpret_cast<const WCHAR*>(characters.get()), characters.length());
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
  {
    LocalRef<jclass> type(env, env->GetObjectClass(object));
    if (!type) return false;
    // All three are looked up before any is read; a missing one leaves NoSuchFieldError pending.
    jfieldID userField = env->GetFieldID(type.get(), "lookupUserName", stringSignature);
    if (userField == nullptr) return false;
    jfieldID passwordField = env->GetFieldID(type.get(), "lookupUserPassword", stringSignature);
    if (passwordField == nullptr) return false;
    jfieldID serverField = env->GetFieldID(type.get(), "server", stringSignature);
    if (serverField == nullptr) return false;
    readStringField(env, object, userField, &settings->lookupUserName);
    readStringField(env, object, passwordField, &settings->lookupUserPassword);
    readStringField(env, object, serverField, &settings->serverName);
  }
  settings->serverIsDomain = false;

  LocalRef<jclass> type(env, env->GetObjectClass(object));
  if (!type) return false;
  jfieldID useServerNameField = env->GetFieldID(type.get(), "useServerName", "Z");
  if (useServerNameField == nullptr) return false;
  if (env->GetBooleanField(object, useServerNameField)) return true;

  settings->serverIsDomain = true;
  jfieldID domainField = env->GetFieldID(type.get(), "domain", stringSignature);
  if (domainField == nullptr) return false;
  LocalRef<jstring> domain(env, static_cast<jstring>(env->GetObjectField(object, domainField)));
  if (domain) {
    WideString domainName;
    javaStringToWide(env, domain.get(), &domainName);
    settings->serverName = domainName;
  }
  return true;
}

HRESULT variantArrayFromJavaStrings(JNIEnv* env, jobjectArray strings, VariantArray* array) {
  HRESULT status = S_OK;
  forEachJavaElement(env, strings, [&](jobject element) {
    WideString text;
    javaStringToWide(env, static_cast<jstring>(element), &text);
    if (holdsNul(text)) status = E_INVALIDARG;
    UniqueVariant value;
    *value.get() = bstrVariant(text);
    (void)array->append(*value.get());  // a failed append leaves the list as it was
  });
  return status;
}

StringList stringListFromJavaStrings(JNIEnv* env, jobjectArray strings) {
  StringList list;
  forEachJavaElement(env, strings, [&](jobject element) { list.append(wideParameter(env, static_cast<jstring>(element))); });
  return list;
}
