#include "bridge/result_objects.h"

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
const char* const stringClass = "java/lang/String";

// FindClass, the constructor of the given signature, NewObject with the arguments in order.
template <typename... Arguments>
jobject newObject(JNIEnv* env, const char* className, const char* signature, Arguments... arguments) {
  LocalRef<jclass> type(env, env->FindClass(className));
  if (!type) return nullptr;
  jmethodID constructor = env->GetMethodID(type.get(), "<init>", signature);
  if (constructor == nullptr) return nullptr;
  return env->NewObject(type.get(), constructor, arguments...);
}

jint javaInt(LONG value) { return static_cast<jint>(value); }

}  // namespace

jobject newResultMessage(JNIEnv* env, HRESULT status, const WideString& text) {
  LocalRef<jclass> type(env, env->FindClass(resultMessageClass));
  if (!type) return nullptr;
  jmethodID constructor = env->GetMethodID(type.get(), "<init>", "(ILjava/lang/String;)V");
  if (constructor == nullptr) return nullptr;
  jstring javaText = newJavaString(env, text);
  return env->NewObject(type.get(), constructor, static_cast<jint>(status), javaText);
}

jobject newResultIntegerValue(JNIEnv* env, HRESULT status, LONG value) {
  return newObject(env, resultIntegerValueClass, "(II)V", static_cast<jint>(status), javaInt(value));
}

jobject newResultLargeIntegerValue(JNIEnv* env, HRESULT status, LONG lowPart, LONG highPart) {
  // Java receives the low part before the high part.
  return newObject(env, resultLargeIntegerValueClass, "(III)V", static_cast<jint>(status), javaInt(lowPart),
                   javaInt(highPart));
}

jobject newResultBooleanValue(JNIEnv* env, HRESULT status, VARIANT_BOOL value) {
  jboolean javaValue = value == VARIANT_TRUE ? JNI_TRUE : JNI_FALSE;
  return newObject(env, resultBooleanValueClass, "(IZ)V", static_cast<jint>(status), javaValue);
}

jobject newResultCheckAccess(JNIEnv* env, HRESULT status, DWORD grantedAccess, DWORD accessStatus) {
  return newObject(env, resultCheckAccessClass, "(III)V", static_cast<jint>(status), static_cast<jint>(grantedAccess),
                   static_cast<jint>(accessStatus));
}

jobjectArray newJavaStringArray(JNIEnv* env, const StringList& list) {
  LocalRef<jclass> type(env, env->FindClass(stringClass));
  if (!type) return nullptr;
  jobjectArray array = env->NewObjectArray(static_cast<jsize>(list.count()), type.get(), nullptr);
  if (array == nullptr) return nullptr;
  jsize index = 0;
  for (const WideString& entry : list) {
    // One local reference at a time, however long the list.
    LocalRef<jstring> text(env, newJavaString(env, entry));
    env->SetObjectArrayElement(array, index++, text.get());
  }
  return array;
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
  LocalRef<jclass> type(env, env->FindClass(stringClass));
  if (!type) return nullptr;
  jobjectArray strings = env->NewObjectArray(count, type.get(), nullptr);
  if (strings == nullptr || count == 0) return strings;
  LONG lower = 0;
  SafeArrayGetLBound(array, 1, &lower);
  for (jsize i = 0; i < count; ++i) {
    LONG index = lower + i;
    void* element = nullptr;
    if (FAILED(SafeArrayPtrOfIndex(array, &index, &element))) continue;
    WideString text;
    // A value of a type without a text leaves the Java element null.
    if (!elementText(*static_cast<const VARIANT*>(element), &text)) continue;
    env->SetObjectArrayElement(strings, i, newJavaString(env, text));
  }
  return strings;
}

jobject newResultStringList(JNIEnv* env, HRESULT status, jobjectArray strings) {
  LocalRef<jclass> type(env, env->FindClass(resultStringListClass));
  if (!type) return nullptr;
  jmethodID constructor = env->GetMethodID(type.get(), "<init>", "()V");
  if (constructor == nullptr) return nullptr;
  jobject result = env->NewObject(type.get(), constructor);
  if (result == nullptr) return nullptr;
  jmethodID setStringList = env->GetMethodID(type.get(), "setStringList", "([Ljava/lang/String;)V");
  if (setStringList != nullptr) env->CallVoidMethod(result, setStringList, strings);
  if (setStringList == nullptr || env->ExceptionCheck()) return result;
  jmethodID setErrCode = env->GetMethodID(type.get(), "setErrCode", "(I)V");
  if (setErrCode != nullptr) env->CallVoidMethod(result, setErrCode, static_cast<jint>(status));
  return result;
}

jobject newResultArrayNameValue(JNIEnv* env, HRESULT status, const StringList& names, const StringList& values) {
  LocalRef<jclass> pairType(env, env->FindClass(nameValueClass));
  if (!pairType) return nullptr;
  // Names and values belong together only when both lists have the same length.
  jsize pairs = names.count() == values.count() ? static_cast<jsize>(names.count()) : 0;
  jobjectArray array = env->NewObjectArray(pairs, pairType.get(), nullptr);
  if (array == nullptr) return nullptr;
  jmethodID pairConstructor = env->GetMethodID(pairType.get(), "<init>", "(Ljava/lang/String;Ljava/lang/String;)V");
  if (pairConstructor == nullptr) return nullptr;
  for (jsize i = 0; i < pairs; ++i) {
    jstring name = newJavaString(env, names[static_cast<size_t>(i)]);
    jstring value = newJavaString(env, values[static_cast<size_t>(i)]);
    jobject pair = env->NewObject(pairType.get(), pairConstructor, name, value);
    if (pair == nullptr) return nullptr;
    env->SetObjectArrayElement(array, i, pair);
  }
  LocalRef<jclass> resultType(env, env->FindClass(resultArrayNameValueClass));
  if (!resultType) return nullptr;
  jmethodID constructor =
      env->GetMethodID(resultType.get(), "<init>", "(I[Lkestrivane/qom/result/NameValue;)V");
  if (constructor == nullptr) return nullptr;
  return env->NewObject(resultType.get(), constructor, static_cast<jint>(status), array);
}
