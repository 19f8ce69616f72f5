// The account natives' frame with a real JNIEnv: unreadable settings, and the password change
// that reads none.
#include <gtest/gtest.h>

#include "bridge/entry_points.h"
#include "jvm_environment.h"
#include "platform.h"

extern "C" jint JNICALL ORVISTAL_NATIVE(wAddUser)(JNIEnv*, jobject, jstring, jstring);
extern "C" jint JNICALL ORVISTAL_NATIVE(wDeleteUser)(JNIEnv*, jobject, jstring, jstring);
extern "C" jint JNICALL ORVISTAL_NATIVE(wResetPassword)(JNIEnv*, jobject, jstring, jstring, jstring);
extern "C" jint JNICALL ORVISTAL_NATIVE(wUnlockAccount)(JNIEnv*, jobject, jstring, jstring);
extern "C" jint JNICALL ORVISTAL_NATIVE(wIsUserNode)(JNIEnv*, jobject, jstring);
extern "C" jint JNICALL ORVISTAL_NATIVE(wChangePassword)(JNIEnv*, jobject, jstring, jstring, jstring, jstring);

namespace {

TEST(AccountNatives, UnreadableSettingsChangeNothingAndLeaveTheJavaException) {
  JNIEnv* env = testJniEnv();
  jobject unreadable = newInstance(env, "orvistal/testing/SettingsWithoutPassword", "()V");
  jstring name = javaString(env, u"someone");
  EXPECT_EQ(ORVISTAL_NATIVE(wAddUser)(env, unreadable, name, javaString(env, u"DC=x")), E_HANDLE);
  EXPECT_EQ(takePendingException(env), "java.lang.NoSuchFieldError");
  EXPECT_EQ(ORVISTAL_NATIVE(wDeleteUser)(env, unreadable, name, nullptr), E_HANDLE);
  EXPECT_EQ(takePendingException(env), "java.lang.NoSuchFieldError");
  EXPECT_EQ(ORVISTAL_NATIVE(wResetPassword)(env, unreadable, name, javaString(env, u"Pw.123456"), nullptr), E_HANDLE);
  EXPECT_EQ(takePendingException(env), "java.lang.NoSuchFieldError");
  EXPECT_EQ(ORVISTAL_NATIVE(wUnlockAccount)(env, unreadable, name, nullptr), E_HANDLE);
  EXPECT_EQ(takePendingException(env), "java.lang.NoSuchFieldError");
  EXPECT_EQ(ORVISTAL_NATIVE(wIsUserNode)(env, unreadable, name), 0) << "the same value as for a user";
  EXPECT_EQ(takePendingException(env), "java.lang.NoSuchFieldError");
}

TEST(AccountNatives, ChangePasswordReadsNoSettings) {
  JNIEnv* env = testJniEnv();
  jobject unreadable = newInstance(env, "orvistal/testing/SettingsWithoutPassword", "()V");
  // No account name: refused by the network service itself, before anything is sent.
  EXPECT_EQ(ORVISTAL_NATIVE(wChangePassword)(env, unreadable, nullptr, javaString(env, u"Old.Pw.1"),
                                             javaString(env, u"New.Pw.2"), nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(takePendingException(env), "");
}

}  // namespace
