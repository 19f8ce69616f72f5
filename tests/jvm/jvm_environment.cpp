#include "jvm_environment.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdlib>
#include <stdexcept>

namespace {

JavaVM* vm = nullptr;
JNIEnv* env = nullptr;

class JvmEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    const char* classPath = std::getenv("ORVISTAL_JVM_CLASSPATH");
    ASSERT_NE(classPath, nullptr) << "ORVISTAL_JVM_CLASSPATH must name the Java classes";
    std::string option = std::string("-Djava.class.path=") + classPath;
    // The JVM checks every JNI call the bridge makes; the test entries fail on any warning.
    JavaVMOption options[3];
    options[0].optionString = const_cast<char*>(option.c_str());
    options[1].optionString = const_cast<char*>("-Xrs");
    options[2].optionString = const_cast<char*>("-Xcheck:jni");
    JavaVMInitArgs args{};
    args.version = JNI_VERSION_1_8;
    args.nOptions = 3;
    args.options = options;
    args.ignoreUnrecognized = JNI_FALSE;
    ASSERT_EQ(JNI_CreateJavaVM(&vm, reinterpret_cast<void**>(&env), &args), JNI_OK);
  }
};

const ::testing::Environment* const registered = ::testing::AddGlobalTestEnvironment(new JvmEnvironment);

// Each test's local references live in a frame of their own, freed when the test ends, so the
// JVM's count of live references reflects one test at a time.
class LocalFramePerTest : public ::testing::EmptyTestEventListener {
  void OnTestStart(const ::testing::TestInfo&) override {
    if (env != nullptr) env->PushLocalFrame(256);
  }
  void OnTestEnd(const ::testing::TestInfo&) override {
    if (env != nullptr) env->PopLocalFrame(nullptr);
  }
};

const bool framesRegistered = [] {
  ::testing::UnitTest::GetInstance()->listeners().Append(new LocalFramePerTest);
  return true;
}();

jmethodID methodOf(JNIEnv* e, jobject object, const char* name, const char* signature) {
  jclass type = e->GetObjectClass(object);
  jmethodID method = e->GetMethodID(type, name, signature);
  e->DeleteLocalRef(type);
  if (method == nullptr) throw std::runtime_error(std::string("no method ") + name);
  return method;
}

}  // namespace

JNIEnv* testJniEnv() { return env; }

// A getter's result; a getter that throws is a broken fixture.
template <typename Result>
Result checked(JNIEnv* e, Result result) {
  if (e->ExceptionCheck()) throw std::runtime_error("a Java getter threw");
  return result;
}

jint callInt(JNIEnv* e, jobject object, const char* method) {
  return checked(e, e->CallIntMethod(object, methodOf(e, object, method, "()I")));
}

jboolean callBoolean(JNIEnv* e, jobject object, const char* method) {
  return checked(e, e->CallBooleanMethod(object, methodOf(e, object, method, "()Z")));
}

jobject callObject(JNIEnv* e, jobject object, const char* method, const char* signature) {
  return checked(e, e->CallObjectMethod(object, methodOf(e, object, method, signature)));
}

std::u16string javaText(JNIEnv* e, jstring text) {
  if (text == nullptr) return u"<null>";
  const jchar* chars = e->GetStringChars(text, nullptr);
  std::u16string result(reinterpret_cast<const char16_t*>(chars), static_cast<size_t>(e->GetStringLength(text)));
  e->ReleaseStringChars(text, chars);
  return result;
}

jstring javaString(JNIEnv* e, const std::u16string& text) {
  return e->NewString(reinterpret_cast<const jchar*>(text.data()), static_cast<jsize>(text.size()));
}

jobject newInstance(JNIEnv* e, const char* className, const char* signature, ...) {
  jclass type = e->FindClass(className);
  if (type == nullptr) throw std::runtime_error(std::string("no class ") + className);
  jmethodID constructor = e->GetMethodID(type, "<init>", signature);
  if (constructor == nullptr) throw std::runtime_error(std::string("no constructor ") + signature);
  va_list args;
  va_start(args, signature);
  jobject object = e->NewObjectV(type, constructor, args);
  va_end(args);
  return object;
}

std::string takePendingException(JNIEnv* e) {
  jthrowable pending = e->ExceptionOccurred();
  if (pending == nullptr) return "";
  e->ExceptionClear();
  jclass type = e->GetObjectClass(pending);
  jclass classType = e->FindClass("java/lang/Class");
  jmethodID getName = e->GetMethodID(classType, "getName", "()Ljava/lang/String;");
  jstring name = static_cast<jstring>(checked(e, e->CallObjectMethod(type, getName)));
  const char* utf = e->GetStringUTFChars(name, nullptr);
  std::string result(utf);
  e->ReleaseStringUTFChars(name, utf);
  return result;
}
