// The result builders against the real result classes: each slot must carry its own value.
#include <gtest/gtest.h>

#include "bridge/result_objects.h"
#include "directory/values.h"
#include "jvm_environment.h"

namespace {

std::u16string messageOf(JNIEnv* env, jobject result) {
  return javaText(env, static_cast<jstring>(callObject(env, result, "getMessage", "()Ljava/lang/String;")));
}

std::vector<std::u16string> textsOf(JNIEnv* env, jobjectArray array) {
  std::vector<std::u16string> texts;
  for (jsize i = 0; i < env->GetArrayLength(array); ++i)
    texts.push_back(javaText(env, static_cast<jstring>(env->GetObjectArrayElement(array, i))));
  return texts;
}

TEST(ResultBuilders, ScalarResultsKeepStatusAndValueInTheirSlots) {
  JNIEnv* env = testJniEnv();
  std::u16string text = u"x";
  text.push_back(0);
  text += u"y";
  jobject message = newResultMessage(env, static_cast<HRESULT>(0x80072030), text);
  ASSERT_NE(message, nullptr);
  EXPECT_EQ(callInt(env, message, "getErrCode"), static_cast<jint>(0x80072030));
  EXPECT_EQ(messageOf(env, message), text) << "a WideString is passed whole, embedded NUL included";

  jobject integer = newResultIntegerValue(env, 8255, -5);
  EXPECT_EQ(callInt(env, integer, "getErrCode"), 8255);
  EXPECT_EQ(callInt(env, integer, "getValue"), -5);

  jobject large = newResultLargeIntegerValue(env, 0, 2, 1);
  EXPECT_EQ(callInt(env, large, "getErrCode"), 0);
  EXPECT_EQ(callInt(env, large, "getLowPart"), 2);
  EXPECT_EQ(callInt(env, large, "getHighPart"), 1);

  jobject access = newResultCheckAccess(env, 3, 0x20094, 5);
  EXPECT_EQ(callInt(env, access, "getErrCode"), 3);
  EXPECT_EQ(callInt(env, access, "getGrantedAccess"), 0x20094);
  EXPECT_EQ(callInt(env, access, "getAccessStatus"), 5);
}

TEST(ResultBuilders, BooleanIsTrueOnlyForVariantTrue) {
  JNIEnv* env = testJniEnv();
  EXPECT_TRUE(callBoolean(env, newResultBooleanValue(env, 0, VARIANT_TRUE), "getValue"));
  EXPECT_FALSE(callBoolean(env, newResultBooleanValue(env, 0, VARIANT_FALSE), "getValue"));
  EXPECT_FALSE(callBoolean(env, newResultBooleanValue(env, 0, 1), "getValue"));
  EXPECT_EQ(callInt(env, newResultBooleanValue(env, 7, VARIANT_TRUE), "getErrCode"), 7);
}

TEST(ResultBuilders, StringArrayFromListKeepsOrder) {
  JNIEnv* env = testJniEnv();
  StringList list;
  list.append(u"first");
  list.append(u"");
  list.append(u"th\u00efrd");
  jobjectArray array = newJavaStringArray(env, list);
  EXPECT_EQ(textsOf(env, array), (std::vector<std::u16string>{u"first", u"", u"th\u00efrd"}));
}

TEST(ResultBuilders, StringArrayFromVariantsGivesNumbersAndFlagsAsTextOthersNull) {
  JNIEnv* env = testJniEnv();
  VariantArray values;
  const WCHAR cut[] = {u'a', 0, u'b'};
  VARIANT text;
  VariantInit(&text);
  text.vt = VT_BSTR;
  text.bstrVal = SysAllocStringLen(cut, 3);
  values.append(text);
  VariantClear(&text);
  values.append(intVariant(-4));
  VARIANT other;
  VariantInit(&other);
  other.vt = VT_BOOL;
  other.boolVal = VARIANT_FALSE;
  values.append(other);
  other.vt = VT_DATE;
  other.date = 45000.5;
  values.append(other);
  jobjectArray array = newJavaStringArray(env, values.array(), S_OK);
  EXPECT_EQ(textsOf(env, array), (std::vector<std::u16string>{u"a", u"-4", u"FALSE", u"<null>"}))
      << "a BSTR ends at its first NUL; a time has no text here";

  EXPECT_EQ(env->GetArrayLength(newJavaStringArray(env, values.array(), E_FAIL)), 0) << "a failure gives no values";
  EXPECT_EQ(env->GetArrayLength(newJavaStringArray(env, values.array(), VALUE_TYPE_MISMATCH)), 4)
      << "a positive status is not a failure here";
  EXPECT_EQ(env->GetArrayLength(newJavaStringArray(env, nullptr, S_OK)), 0);
}

TEST(ResultBuilders, StringListCarriesStatusAndArray) {
  JNIEnv* env = testJniEnv();
  StringList list;
  list.append(u"v");
  jobject result = newResultStringList(env, static_cast<HRESULT>(0x80004005), newJavaStringArray(env, list));
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(callInt(env, result, "getErrCode"), static_cast<jint>(0x80004005));
  jobjectArray strings = static_cast<jobjectArray>(callObject(env, result, "getStringList", "()[Ljava/lang/String;"));
  EXPECT_EQ(textsOf(env, strings), (std::vector<std::u16string>{u"v"}));

  jobject failed = newResultStringList(env, 8255, newJavaStringArray(env, nullptr, 8255));
  EXPECT_EQ(callInt(env, failed, "getErrCode"), 8255);
  strings = static_cast<jobjectArray>(callObject(env, failed, "getStringList", "()[Ljava/lang/String;"));
  ASSERT_NE(strings, nullptr) << "Java receives an empty array, not null";
  EXPECT_EQ(env->GetArrayLength(strings), 0);
}

TEST(ResultBuilders, NameValuePairsFollowTheNames) {
  JNIEnv* env = testJniEnv();
  StringList names, values;
  for (const char16_t* name : {u"cn", u"mail", u"uid"}) names.append(name);
  for (const char16_t* value : {u"Alice", u"a@x", u"alice"}) values.append(value);
  jobject result = newResultArrayNameValue(env, 0, names, values);
  ASSERT_NE(result, nullptr);
  jobjectArray pairs =
      static_cast<jobjectArray>(callObject(env, result, "getValues", "()[Lkestrivane/qom/result/NameValue;"));
  ASSERT_EQ(env->GetArrayLength(pairs), 3);
  jobject second = env->GetObjectArrayElement(pairs, 1);
  EXPECT_EQ(javaText(env, static_cast<jstring>(callObject(env, second, "getName", "()Ljava/lang/String;"))), u"mail");
  EXPECT_EQ(javaText(env, static_cast<jstring>(callObject(env, second, "getValue", "()Ljava/lang/String;"))), u"a@x");

  values.append(u"extra");
  jobject mismatched = newResultArrayNameValue(env, 0x5012, names, values);
  EXPECT_EQ(callInt(env, mismatched, "getErrCode"), 0x5012);
  pairs = static_cast<jobjectArray>(callObject(env, mismatched, "getValues", "()[Lkestrivane/qom/result/NameValue;"));
  EXPECT_EQ(env->GetArrayLength(pairs), 0) << "names and values that do not pair up give no pairs";
}

}  // namespace
