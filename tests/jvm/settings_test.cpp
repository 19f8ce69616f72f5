// Reading the connection settings from real Java objects.
#include <gtest/gtest.h>

#include "bridge/native_frame.h"
#include "directory/values.h"
#include "jvm_environment.h"

namespace {

const char* const orvistalSignature =
    "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;ZLjava/lang/String;)V";

jobject orvistal(JNIEnv* env, const char16_t* user, const char16_t* password, const char16_t* server,
                 bool useServerName, const char16_t* domain, const char* className =
                     "kestrivane/qom/userstoreproxy/multidomain/Orvistal") {
  auto text = [env](const char16_t* t) { return t == nullptr ? nullptr : javaString(env, t); };
  return newInstance(env, className, orvistalSignature, text(user), text(password), text(server),
                     static_cast<jboolean>(useServerName), text(domain));
}

struct SettingsCase {
  const char* name;
  const char16_t* server;
  bool useServerName;
  const char16_t* domain;
  const char16_t* expectedServer;
  bool expectedIsDomain;
};

TEST(ReadConnectionSettings, ChoosesServerOrDomain) {
  JNIEnv* env = testJniEnv();
  const SettingsCase cases[] = {
      {"server used", u"dc1", true, u"orvistal.test", u"dc1", false},
      {"domain replaces server", u"dc1", false, u"orvistal.test", u"orvistal.test", true},
      {"null domain keeps server", u"dc1", false, nullptr, u"dc1", true},
      {"null server is empty", nullptr, true, u"orvistal.test", u"", false},
  };
  for (const SettingsCase& c : cases) {
    ConnectionSettings settings;
    ASSERT_TRUE(readConnectionSettings(env, orvistal(env, u"user", u"pw", c.server, c.useServerName, c.domain), &settings))
        << c.name;
    EXPECT_EQ(settings.serverName, c.expectedServer) << c.name;
    EXPECT_EQ(settings.serverIsDomain, c.expectedIsDomain) << c.name;
    EXPECT_EQ(settings.lookupUserName, u"user") << c.name;
    EXPECT_EQ(settings.lookupUserPassword, u"pw") << c.name;
  }
}

TEST(ReadConnectionSettings, WorksOnASubclassAndWithNullFields) {
  JNIEnv* env = testJniEnv();
  ConnectionSettings settings;
  ASSERT_TRUE(readConnectionSettings(
      env, orvistal(env, u"u", u"p", u"srv", false, u"dom", "orvistal/testing/SubclassedOrvistal"), &settings));
  EXPECT_EQ(settings.serverName, u"dom");

  ConnectionSettings empty;
  ASSERT_TRUE(readConnectionSettings(env, orvistal(env, nullptr, nullptr, nullptr, true, nullptr), &empty));
  EXPECT_EQ(empty.lookupUserName, u"");
  EXPECT_EQ(empty.lookupUserPassword, u"");
  EXPECT_EQ(empty.serverName, u"");
}

TEST(ReadConnectionSettings, MissingFieldsMakeSettingsUnreadable) {
  JNIEnv* env = testJniEnv();
  ConnectionSettings settings;
  jobject withoutDomain = newInstance(env, "orvistal/testing/SettingsWithoutDomain", "(Z)V", JNI_TRUE);
  EXPECT_TRUE(readConnectionSettings(env, withoutDomain, &settings)) << "domain is only read when it is used";
  EXPECT_EQ(takePendingException(env), "");

  withoutDomain = newInstance(env, "orvistal/testing/SettingsWithoutDomain", "(Z)V", JNI_FALSE);
  EXPECT_FALSE(readConnectionSettings(env, withoutDomain, &settings));
  EXPECT_EQ(takePendingException(env), "java.lang.NoSuchFieldError") << "the lookup's exception stays pending";

  ConnectionSettings untouched;
  jobject withoutPassword = newInstance(env, "orvistal/testing/SettingsWithoutPassword", "()V");
  EXPECT_FALSE(readConnectionSettings(env, withoutPassword, &untouched));
  EXPECT_EQ(takePendingException(env), "java.lang.NoSuchFieldError");
  EXPECT_EQ(untouched.lookupUserName, u"") << "no value is read before every field is found";

  for (const char* className : {"orvistal/testing/SettingsWithoutUserName", "orvistal/testing/SettingsWithoutServer",
                                "orvistal/testing/SettingsWithoutUseServerName"}) {
    ConnectionSettings partial;
    EXPECT_FALSE(readConnectionSettings(env, newInstance(env, className, "()V"), &partial)) << className;
    EXPECT_EQ(takePendingException(env), "java.lang.NoSuchFieldError") << className;
  }

  EXPECT_FALSE(readConnectionSettings(env, nullptr, &settings));
  EXPECT_FALSE(readConnectionSettings(nullptr, withoutDomain, &settings));
}

TEST(JavaStringToWide, CopiesCodeUnitsUnchanged) {
  JNIEnv* env = testJniEnv();
  std::u16string withNul = u"a\U0001F600\u00e9";
  withNul.push_back(0);
  withNul.push_back(u'b');
  WideString wide;
  javaStringToWide(env, javaString(env, withNul), &wide);
  EXPECT_EQ(wide, withNul) << "surrogate pairs and embedded NULs are copied as they are";
  EXPECT_EQ(wide.size(), 6u);
  EXPECT_EQ(wide[1], 0xD83D) << "a character outside the BMP stays a surrogate pair";

  WideString kept = u"kept";
  javaStringToWide(env, nullptr, &kept);
  EXPECT_EQ(kept, u"kept");
  EXPECT_EQ(wideParameter(env, nullptr), u"") << "a null parameter is an empty string";
}

TEST(VariantArrayFromJavaStrings, NullElementsBecomeEmptyStrings) {
  JNIEnv* env = testJniEnv();
  jclass stringClass = env->FindClass("java/lang/String");
  jobjectArray strings = env->NewObjectArray(3, stringClass, nullptr);
  env->SetObjectArrayElement(strings, 0, javaString(env, u"a"));
  env->SetObjectArrayElement(strings, 2, javaString(env, u"b"));
  VariantArray array;
  variantArrayFromJavaStrings(env, strings, &array);
  ASSERT_EQ(array.count(), 3);
  const VARIANT* data = static_cast<const VARIANT*>(array.array()->pvData);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(data[i].vt, VT_BSTR);
  EXPECT_EQ(std::u16string(data[0].bstrVal), u"a");
  EXPECT_EQ(std::u16string(data[1].bstrVal), u"");
  EXPECT_EQ(std::u16string(data[2].bstrVal), u"b");

  VariantArray none;
  variantArrayFromJavaStrings(env, env->NewObjectArray(0, stringClass, nullptr), &none);
  EXPECT_EQ(none.array(), nullptr);
  variantArrayFromJavaStrings(env, nullptr, &none);
  EXPECT_EQ(none.array(), nullptr);
}

}  // namespace
