// The attribute natives with connection settings that cannot be read: no directory access,
// the method's own failure value, and the JVM's exception left for the caller.
#include <gtest/gtest.h>

#include "bridge/entry_points.h"
#include "jvm_environment.h"
#include "platform.h"

extern "C" {
jint JNICALL ORVISTAL_NATIVE(wSetUserAttributeString)(JNIEnv*, jobject, jstring, jstring, jstring, jstring);
jint JNICALL ORVISTAL_NATIVE(wSetUserAttributeLargeInt)(JNIEnv*, jobject, jstring, jstring, jstring, jint, jint);
jint JNICALL ORVISTAL_NATIVE(wSetGroupAttributeStringArray)(JNIEnv*, jobject, jstring, jstring, jobjectArray, jint);
jint JNICALL ORVISTAL_NATIVE(wSetNodeAttributeString)(JNIEnv*, jobject, jstring, jstring, jstring);
jint JNICALL ORVISTAL_NATIVE(wIsGroupNode)(JNIEnv*, jobject, jstring);
jobject JNICALL ORVISTAL_NATIVE(wGetUserAttributeLargeInt)(JNIEnv*, jobject, jstring, jstring, jstring);
jobject JNICALL ORVISTAL_NATIVE(wGetGroupAttributeStringArray)(JNIEnv*, jobject, jstring, jstring);
jobject JNICALL ORVISTAL_NATIVE(wGetNodeAttributeString)(JNIEnv*, jobject, jstring, jstring);
jobject JNICALL ORVISTAL_NATIVE(wGetDeletedNodeAttributeString)(JNIEnv*, jobject, jstring, jstring);
jobject JNICALL ORVISTAL_NATIVE(wGetNodeGuid)(JNIEnv*, jobject, jstring);
jobject JNICALL ORVISTAL_NATIVE(wGetParentNode)(JNIEnv*, jobject, jstring);
}

namespace {

TEST(AttributeNatives, UnreadableSettingsGiveTheMethodsFailureValue) {
  JNIEnv* env = testJniEnv();
  jobject settings = newInstance(env, "orvistal/testing/SettingsWithoutServer", "()V");
  EXPECT_EQ(ORVISTAL_NATIVE(wSetUserAttributeString)(env, settings, nullptr, nullptr, nullptr, nullptr), E_HANDLE);
  EXPECT_EQ(takePendingException(env), "java.lang.NoSuchFieldError");
  EXPECT_EQ(ORVISTAL_NATIVE(wSetUserAttributeLargeInt)(env, settings, nullptr, nullptr, nullptr, 1, 2), E_HANDLE);
  EXPECT_EQ(takePendingException(env), "java.lang.NoSuchFieldError");
  EXPECT_EQ(ORVISTAL_NATIVE(wSetGroupAttributeStringArray)(env, settings, nullptr, nullptr, nullptr, 2), E_HANDLE);
  EXPECT_EQ(takePendingException(env), "java.lang.NoSuchFieldError");
  EXPECT_EQ(ORVISTAL_NATIVE(wSetNodeAttributeString)(env, settings, nullptr, nullptr, nullptr), E_HANDLE);
  EXPECT_EQ(takePendingException(env), "java.lang.NoSuchFieldError");
  EXPECT_EQ(ORVISTAL_NATIVE(wIsGroupNode)(env, settings, nullptr), 0) << "the group test's own value";
  EXPECT_EQ(takePendingException(env), "java.lang.NoSuchFieldError");

  EXPECT_EQ(ORVISTAL_NATIVE(wGetUserAttributeLargeInt)(env, settings, nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(takePendingException(env), "java.lang.NoSuchFieldError");
  EXPECT_EQ(ORVISTAL_NATIVE(wGetGroupAttributeStringArray)(env, settings, nullptr, nullptr), nullptr);
  EXPECT_EQ(takePendingException(env), "java.lang.NoSuchFieldError");
  EXPECT_EQ(ORVISTAL_NATIVE(wGetNodeAttributeString)(env, settings, nullptr, nullptr), nullptr);
  EXPECT_EQ(takePendingException(env), "java.lang.NoSuchFieldError");
  EXPECT_EQ(ORVISTAL_NATIVE(wGetDeletedNodeAttributeString)(env, settings, nullptr, nullptr), nullptr);
  EXPECT_EQ(takePendingException(env), "java.lang.NoSuchFieldError");
  EXPECT_EQ(ORVISTAL_NATIVE(wGetNodeGuid)(env, settings, nullptr), nullptr);
  EXPECT_EQ(takePendingException(env), "java.lang.NoSuchFieldError");
  EXPECT_EQ(ORVISTAL_NATIVE(wGetParentNode)(env, settings, nullptr), nullptr);
  EXPECT_EQ(takePendingException(env), "java.lang.NoSuchFieldError");
}

}  // namespace
