// Native entry points called directly with a real JNIEnv, for the paths that need no directory.
#include <gtest/gtest.h>

#include "bridge/entry_points.h"
#include "jvm_environment.h"
#include "platform.h"

extern "C" jint JNICALL ORVISTAL_NATIVE(wInit)(JNIEnv* env, jobject self);

namespace {

TEST(Natives, UnreadableSettingsReturnTheFailureValueAndLeaveTheJavaException) {
  JNIEnv* env = testJniEnv();
  jobject withoutPassword = newInstance(env, "orvistal/testing/SettingsWithoutPassword", "()V");
  EXPECT_EQ(ORVISTAL_NATIVE(wInit)(env, withoutPassword), 0);
  EXPECT_EQ(takePendingException(env), "java.lang.NoSuchFieldError");
}

}  // namespace
