// A JNI environment of the test's own, for calling the library's natives without a JVM. Its
// function table is the JNINativeInterface_ of the JDK's jni.h, filled with the functions the
// bridge uses; every other slot stops the program and names the slot. Java objects are plain
// C++ objects that the test can inspect, and the environment notes every breach of the JNI
// rules it can see (a deleted reference used, a call made with an exception pending, string
// characters never released, a wrong class or signature).
#pragma once
#include <jni.h>

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

struct JavaObject;

struct JavaField {
  std::string name;
  std::string signature;
};

struct JavaMethod {
  std::string name;
  std::string signature;
};

struct JavaClass {
  std::string name;
  std::vector<std::unique_ptr<JavaField>> fields;
  std::vector<std::unique_ptr<JavaMethod>> methods;

  JavaClass& field(const std::string& fieldName, const std::string& signature);
  JavaClass& method(const std::string& methodName, const std::string& signature);
  const JavaField* findField(const std::string& fieldName, const std::string& signature) const;
  const JavaMethod* findMethod(const std::string& methodName, const std::string& signature) const;
};

// One argument of a constructor or method call, or one field value.
struct JavaValue {
  char type = 'V';  // 'I', 'Z' or 'L' (any reference)
  int32_t integer = 0;
  JavaObject* object = nullptr;
};

struct MethodCall {
  const JavaMethod* method = nullptr;
  std::vector<JavaValue> arguments;
};

struct JavaObject {
  enum class Kind { Class, String, Array, Instance };
  Kind kind = Kind::Instance;
  const JavaClass* type = nullptr;  // the class of an instance, the class a Class object names
  std::u16string text;              // a String's code units
  const JavaClass* elementType = nullptr;
  std::vector<JavaObject*> elements;
  std::map<const JavaField*, JavaValue> fields;
  std::vector<MethodCall> calls;  // the constructor first, then every method called on it

  // The arguments of the first call of the named method, or null.
  const MethodCall* callOf(const std::string& methodName) const;
};

class TestJvm {
 public:
  TestJvm();
  TestJvm(const TestJvm&) = delete;
  TestJvm& operator=(const TestJvm&) = delete;

  JNIEnv* env() { return &env_; }

  JavaClass& defineClass(const std::string& name);
  // FindClass then fails as for a missing class, until the class is restored; a class defined
  // under the name meanwhile is put aside (objects of it stay readable).
  void hideClass(const std::string& name);
  void restoreClass(const std::string& name);
  const JavaClass* findClass(const std::string& name) const;

  // Objects the test hands to the natives, as local references.
  jobject newInstance(const JavaClass& type);
  jstring newString(const std::u16string& text);
  jobjectArray newStringArray(const std::vector<std::u16string>& texts);
  void setField(jobject object, const std::string& name, const std::string& signature, JavaValue value);

  // What a reference stands for; null for a null or deleted reference.
  JavaObject* target(jobject reference) const;
  bool isLiveReference(jobject reference) const;

  // Starts the record of one native call: faults, pending exception, field reads.
  void beginCall();
  const std::vector<std::string>& faults() const { return faults_; }
  const std::string& pendingException() const { return pendingException_; }
  void clearException() { pendingException_.clear(); }
  const std::vector<std::string>& fieldReads() const { return fieldReads_; }
  size_t pinnedStrings() const { return pinned_.size(); }
  // The functions the bridge called during the call, in order (one entry per distinct name).
  const std::vector<std::string>& functionsUsed() const { return functionsUsed_; }

  // Used by the table's functions.
  struct Reference {
    JavaObject* target;
    bool deleted;
  };
  JavaObject* use(jobject reference, const char* function);
  bool enter(const char* function, bool allowedWithException = false);
  jobject newReference(JavaObject* object);
  JavaObject* newObject(JavaObject::Kind kind, const JavaClass* type);
  void fault(const std::string& text) { faults_.push_back(text); }
  void raise(const std::string& exceptionClass) {
    if (pendingException_.empty()) pendingException_ = exceptionClass;
  }
  void deleteReference(jobject reference);
  void noteFieldRead(const JavaField* field) { fieldReads_.push_back(field->name); }
  const jchar* pin(JavaObject* string);
  bool unpin(const jchar* characters);

 private:
  struct BoundEnv : JNIEnv_ {
    TestJvm* owner;
  };

  JNINativeInterface_ table_{};
  BoundEnv env_{};
  std::map<std::string, std::unique_ptr<JavaClass>> classes_;
  std::map<std::string, std::unique_ptr<JavaClass>> hidden_;
  std::vector<std::unique_ptr<JavaClass>> setAside_;
  std::vector<std::unique_ptr<JavaObject>> objects_;
  std::vector<std::unique_ptr<Reference>> references_;
  std::set<const Reference*> handedOut_;
  std::map<const jchar*, std::unique_ptr<std::u16string>> pinned_;
  std::vector<std::string> faults_;
  std::string pendingException_;
  std::vector<std::string> fieldReads_;
  std::vector<std::string> functionsUsed_;

  friend TestJvm* ownerOf(JNIEnv* env);
};

TestJvm* ownerOf(JNIEnv* env);

// Text for messages: a UTF-16 string with its non-ASCII code units as \uXXXX.
std::string printable(const std::u16string& text);
