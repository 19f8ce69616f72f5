#include "bridge/java_classes.h"

#include "bridge/local_ref.h"

bool findConstructor(JNIEnv* env, KeptClass<1>* kept, const char* className, const char* signature, jclass* type,
                     jmethodID* constructor) {
  KeptClass<1>::Methods methods;
  if (kept->get(type, &methods)) {
    *constructor = methods[0];
    return true;
  }
  LocalRef<jclass> found(env, env->FindClass(className));
  if (!found) return false;
  jmethodID id = env->GetMethodID(found.get(), "<init>", signature);
  if (id == nullptr) return false;
  *type = kept->keep(env, found.get(), {id});
  *constructor = id;
  return *type != nullptr;
}

jclass javaStringClass(JNIEnv* env) {
  static KeptClass<0> kept;
  jclass type = nullptr;
  KeptClass<0>::Methods none;
  if (kept.get(&type, &none)) return type;
  LocalRef<jclass> found(env, env->FindClass("java/lang/String"));
  if (!found) return nullptr;
  return kept.keep(env, found.get(), none);
}
