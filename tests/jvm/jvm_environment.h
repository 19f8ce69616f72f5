// One real JVM for the whole test binary, created through the invocation API with the
// project's Java classes and the test fixtures on its class path.
#pragma once
#include <jni.h>

#include <string>

JNIEnv* testJniEnv();

// Helpers that read Java objects back through their public getters.
jint callInt(JNIEnv* env, jobject object, const char* method);
jboolean callBoolean(JNIEnv* env, jobject object, const char* method);
jobject callObject(JNIEnv* env, jobject object, const char* method, const char* signature);
std::u16string javaText(JNIEnv* env, jstring text);
jstring javaString(JNIEnv* env, const std::u16string& text);
jobject newInstance(JNIEnv* env, const char* className, const char* signature, ...);
// The pending exception's class name, clearing it; empty when none is pending.
std::string takePendingException(JNIEnv* env);
