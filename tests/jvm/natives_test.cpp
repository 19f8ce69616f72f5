// Native entry points called directly with a real JNIEnv, for the paths that need no directory.
#include <gtest/gtest.h>

#include "bridge/entry_points.h"
#include "jvm_environment.h"
#include "platform.h"

extern "C" jint JNICALL ORVISTAL_NATIVE(wInit)(JNIEnv* env, jobject self);
extern "C" jint JNICALL ORVISTAL_NATIVE(wVerifyPassword)(JNIEnv* env, jobject self, jstring userName, jstring password,
                                                         jstring domainName);
extern "C" jobject JNICALL ORVISTAL_NATIVE(wGetUserDsn)(JNIEnv* env, jobject self, jstring userName,
                                                        jstring userDomain);
extern "C" jobject JNICALL ORVISTAL_NATIVE(wTranslateName)(JNIEnv* env, jobject self, jstring name, jint inputFormat,
                                                           jint outputFormat);

namespace {

TEST(Natives, UnreadableSettingsReturnTheFailureValueAndLeaveTheJavaException) {
  JNIEnv* env = testJniEnv();
  jobject withoutPassword = newInstance(env, "orvistal/testing/SettingsWithoutPassword", "()V");
  EXPECT_EQ(ORVISTAL_NATIVE(wInit)(env, withoutPassword), 0);
  EXPECT_EQ(takePendingException(env), "java.lang.NoSuchFieldError");
  EXPECT_EQ(ORVISTAL_NATIVE(wVerifyPassword)(env, withoutPassword, nullptr, nullptr, nullptr), E_HANDLE);
  EXPECT_EQ(takePendingException(env), "java.lang.NoSuchFieldError");
  EXPECT_EQ(ORVISTAL_NATIVE(wGetUserDsn)(env, withoutPassword, nullptr, nullptr), nullptr);
  EXPECT_EQ(takePendingException(env), "java.lang.NoSuchFieldError");
  EXPECT_EQ(ORVISTAL_NATIVE(wTranslateName)(env, withoutPassword, nullptr, 1, 1), nullptr);
  EXPECT_EQ(takePendingException(env), "java.lang.NoSuchFieldError");

  jobject domainMissing = newInstance(env, "orvistal/testing/SettingsWithoutDomain", "(Z)V", JNI_FALSE);
  EXPECT_EQ(ORVISTAL_NATIVE(wVerifyPassword)(env, domainMissing, nullptr, nullptr, nullptr), E_HANDLE);
  EXPECT_EQ(takePendingException(env), "java.lang.NoSuchFieldError");
}

}  // namespace
