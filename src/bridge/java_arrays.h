// Java arrays filled and read one element at a time: each element's local reference is
// deleted before the next is made, so however long the array, a call holds only a few.
#pragma once
#include <jni.h>

#include "bridge/local_ref.h"
#include "directory/status.h"

// A new Java array of count elements of the given class. makeElement(index, &element) gives
// element index as a new local reference, or null to leave it null, and returns false when
// it could not be made. Null when the array or an element cannot be made; the JVM's exception,
// if one was raised, stays pending.
template <typename MakeElement>
jobjectArray newJavaArray(JNIEnv* env, jclass elementType, jsize count, MakeElement makeElement) {
  LocalRef<jobjectArray> array(env, env->NewObjectArray(count, elementType, nullptr));
  if (!array) return nullptr;
  for (jsize index = 0; index < count; ++index) {
    jobject made = nullptr;
    if (!makeElement(index, &made)) return nullptr;
    if (made == nullptr) continue;
    LocalRef<jobject> element(env, made);
    env->SetObjectArrayElement(array.get(), index, element.get());
    if (env->ExceptionCheck()) return nullptr;
  }
  return array.release();
}

// Hands every element of a Java array to visit, in order, as a local reference deleted right
// after. A null array has no elements. An element that cannot be read ends the call: the
// library's error is raised, and the JVM's exception stays pending for the Java caller.
template <typename Visit>
void forEachJavaElement(JNIEnv* env, jobjectArray array, Visit visit) {
  if (array == nullptr) return;
  jsize length = env->GetArrayLength(array);
  for (jsize index = 0; index < length; ++index) {
    LocalRef<jobject> element(env, env->GetObjectArrayElement(array, index));
    if (env->ExceptionCheck()) raiseStatus(E_OUTOFMEMORY);
    visit(element.get());
  }
}
