#include "bridge/result_objects.h"

#include "bridge/java_arrays.h"
#include "bridge/java_classes.h"
#include "bridge/local_ref.h"
#include "bridge/native_frame.h"
#include "directory/owners.h"
#include "directory/values.h"

namespace {

const char* const resultMessageClass = "kestrivane/qom/result/ResultMessage";
const char* const resultIntegerValueClass = "kestrivane/qom/result/ResultIntegerValue";
const char* const resultLargeIntegerValueClass = "kestrivane/qom/result/ResultLargeIntegerValue";
const char* const resultBooleanValueClass = "kestrivane/qom/result/ResultBooleanValue";
const char* const resultCheckAccessClass = "kestrivane/qom/result/ResultCheckAccess";
const char* const resultStringListClass = "kestrivane/qom/result/ResultStringList";
const char* const resultArrayNameValueClass = "kestrivane/qom/result/ResultArrayNameValue";
const char* const nameValueClass = "kestrivane/qom/result/NameValue";

// The kept class and constructor, then NewObject with the arguments in order.
template <typename... Arguments>
jobject newObject(JNIEnv* env, KeptClass<1>* kept, const char* className, const char* signature,
                  Arguments... arguments) {
  jclass type = nullptr;
  jmethodID constructor = nullptr;
  if (!findConstructor(env, kept, className, signature, &type, &constructor)) return nullptr;
  return env->NewObject(type, constructor, arguments...);
}

jint javaInt(LONG value) { return static_cast<jint>(value); }

// A Java string made as element of an array; false when the JVM could not make it.
bool makeString(JNIEnv* env, const WideString& text, jobject* element) {
  *element = newJavaString(env, text);
  return *element != nullptr;
}

}  // namespace

jobject newResultMessage(JNIEnv* env, HRESULT status, const WideString& text) {
  static KeptClass<1> kept;
  jclass type = nullptr;
  jmethodID constructor = nullptr;
  if (!findConstructor(env, &kept, resultMessageClass, "(ILjava/lang/String;)V", &type, &constructor)) return nullptr;
  LocalRef<jstring> javaText(env, newJavaString(env, text));
  if (!javaText) return nullptr;
  return env->NewObject(type, constructor, static_cast<jint>(status), javaText.get());
}

jobject newResultIntegerValue(JNIEnv* env, HRESULT status, LONG value) {
  static KeptClass<1> kept;
  return newObject(env, &kept, resultIntegerValueClass, "(II)V", static_cast<jint>(status), javaInt(value));
}

jobject newResultLargeIntegerValue(JNIEnv* env, HRESULT status, LONG lowPart, LONG highPart) {
  static KeptClass<1> kept;
  // Java receives the low part before the high part.
  return newObject(env, &kept, resultLargeIntegerValueClass, "(III)V", static_cast<jint>(status), javaInt(lowPart),
                   javaInt(highPart));
}

jobject newResultBooleanValue(JNIEnv* env, HRESULT status, VARIANT_BOOL value) {
  static KeptClass<1> kept;
  jboolean javaValue = value == VARIANT_TRUE ? JNI_TRUE : JNI_FALSE;
  return newObject(env, &kept, resultBooleanValueClass, "(IZ)V", static_cast<jint>(status), javaValue);
}

jobject newResultCheckAccess(JNIEnv* env, HRESULT status, DWORD grantedAccess, DWORD accessStatus) {
  static KeptClass<1> kept;
  return newObject(env, &kept, resultCheckAccessClass, "(III)V", static_cast<jint>(status),
                   static_cast<jint>(grantedAccess), static_cast<jint>(accessStatus));
}

jobjectArray newJavaStringArray(JNIEnv* env, const StringList& list) {
  jclass stringType = javaStringClass(env);
  if (stringType == nullptr) return nullptr;
  return newJavaArray(env, stringType, static_cast<jsize>(list.count()), [&](jsize index, jobject* element) {
    return makeString(env, list[static_cast<size_t>(index)], element);
  });
}

namespace {

jsize variantArrayCount(SAFEARRAY* array, HRESULT status) {
  if (FAILED(status) || array == nullptr) return 0;
  LONG lower = 0, upper = -1;
  if (FAILED(SafeArrayGetLBound(array, 1, &lower)) || FAILED(SafeArrayGetUBound(array, 1, &upper))) return 0;
  return upper >= lower ? static_cast<jsize>(upper - lower + 1) : 0;
}

}  // namespace

jobjectArray newJavaStringArray(JNIEnv* env, SAFEARRAY* array, HRESULT status) {
  jsize count = variantArrayCount(array, status);
  jclass stringType = javaStringClass(env);
  if (stringType == nullptr) return nullptr;
  LONG lower = 0;
  if (count > 0) SafeArrayGetLBound(array, 1, &lower);
  return newJavaArray(env, stringType, count, [&](jsize index, jobject* element) {
    LONG position = lower + index;
    void* value = nullptr;
    WideString text;
    // A value of a type without a text leaves the Java element null.
    if (FAILED(SafeArrayPtrOfIndex(array, &position, &value)) ||
        !elementText(*static_cast<const VARIANT*>(value), &text))
      return true;
    return makeString(env, text, element);
  });
}

jobject newResultStringList(JNIEnv* env, HRESULT status, jobjectArray strings) {
  // The constructor and both setters; kept only once all three were found and called.
  static KeptClass<3> kept;
  KeptClass<3>::Methods methods{};
  jclass type = nullptr;
  bool known = kept.get(&type, &methods);
  LocalRef<jclass> found(env, known ? nullptr : env->FindClass(resultStringListClass));
  if (!known) {
    if (!found) return nullptr;
    type = found.get();
    methods[0] = env->GetMethodID(type, "<init>", "()V");
    if (methods[0] == nullptr) return nullptr;
  }
  jobject result = env->NewObject(type, methods[0]);
  if (result == nullptr) return nullptr;
  // A setter that cannot be found is not called; its exception reaches the Java caller.
  if (!known) methods[1] = env->GetMethodID(type, "setStringList", "([Ljava/lang/String;)V");
  if (methods[1] == nullptr) return result;
  env->CallVoidMethod(result, methods[1], strings);
  if (env->ExceptionCheck()) return result;
  if (!known) methods[2] = env->GetMethodID(type, "setErrCode", "(I)V");
  if (methods[2] == nullptr) return result;
  env->CallVoidMethod(result, methods[2], static_cast<jint>(status));
  if (env->ExceptionCheck() || known) return result;
  (void)kept.keep(env, type, methods);
  return result;
}

jobject newResultStringList(JNIEnv* env, HRESULT status, const StringList& values) {
  LocalRef<jobjectArray> strings(env, newJavaStringArray(env, values));
  if (!strings) return nullptr;
  return newResultStringList(env, status, strings.get());
}

jobject newResultStringList(JNIEnv* env, HRESULT status, SAFEARRAY* values) {
  LocalRef<jobjectArray> strings(env, newJavaStringArray(env, values, status));
  if (!strings) return nullptr;
  return newResultStringList(env, status, strings.get());
}

jobject newResultArrayNameValue(JNIEnv* env, HRESULT status, const StringList& names, const StringList& values) {
  static KeptClass<1> keptPair;
  jclass pairType = nullptr;
  jmethodID pairConstructor = nullptr;
  if (!findConstructor(env, &keptPair, nameValueClass, "(Ljava/lang/String;Ljava/lang/String;)V", &pairType,
                       &pairConstructor))
    return nullptr;
  // Names and values belong together only when both lists have the same length.
  jsize pairs = names.count() == values.count() ? static_cast<jsize>(names.count()) : 0;
  LocalRef<jobjectArray> array(env, newJavaArray(env, pairType, pairs, [&](jsize index, jobject* element) {
    LocalRef<jstring> name(env, newJavaString(env, names[static_cast<size_t>(index)]));
    if (!name) return false;
    LocalRef<jstring> value(env, newJavaString(env, values[static_cast<size_t>(index)]));
    if (!value) return false;
    *element = env->NewObject(pairType, pairConstructor, name.get(), value.get());
    return *element != nullptr;
  }));
  if (!array) return nullptr;
  static KeptClass<1> keptResult;
  jclass resultType = nullptr;
  jmethodID constructor = nullptr;
  if (!findConstructor(env, &keptResult, resultArrayNameValueClass, "(I[Lkestrivane/qom/result/NameValue;)V",
                       &resultType, &constructor))
    return nullptr;
  return env->NewObject(resultType, constructor, static_cast<jint>(status), array.get());
}
