// Builders of the Java result objects of kestrivane.qom.result. Each returns a new local
// reference, or null when a class, method or object cannot be obtained (the JVM's pending
// exception then reaches the Java caller).
#pragma once
#include <jni.h>

#include "directory/status.h"
#include "directory/string_list.h"

jobject newResultMessage(JNIEnv* env, HRESULT status, const WideString& text);
jobject newResultIntegerValue(JNIEnv* env, HRESULT status, LONG value);
jobject newResultLargeIntegerValue(JNIEnv* env, HRESULT status, LONG lowPart, LONG highPart);
jobject newResultBooleanValue(JNIEnv* env, HRESULT status, VARIANT_BOOL value);
jobject newResultCheckAccess(JNIEnv* env, HRESULT status, DWORD grantedAccess, DWORD accessStatus);
jobjectArray newJavaStringArray(JNIEnv* env, const StringList& list);
jobjectArray newJavaStringArray(JNIEnv* env, SAFEARRAY* array, HRESULT status);
jobject newResultStringList(JNIEnv* env, HRESULT status, jobjectArray strings);
// The same with the array made from a list, or from VARIANTs as newJavaStringArray makes it.
jobject newResultStringList(JNIEnv* env, HRESULT status, const StringList& values);
jobject newResultStringList(JNIEnv* env, HRESULT status, SAFEARRAY* values);
jobject newResultArrayNameValue(JNIEnv* env, HRESULT status, const StringList& names, const StringList& values);
