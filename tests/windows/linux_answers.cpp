// The Linux half of the differential run: the same calls as the Windows program makes under Wine,
// made on libOrvistal.so in the same JNI environment, their answers written in the same form.
// usage: orvistal_linux_answers LIBRARY ANSWERS_FILE
#include <dlfcn.h>

#include <cstdio>

#include "directory_answers.h"

namespace {

// Calls a native with the C types its Java parameters have: a jint for I, a reference otherwise.
template <typename... Passed>
uintptr_t invoke(TestJvm* jvm, const void* function, const char* types, const Argument* argument, bool returnsObject,
                 Passed... passed) {
  if (*types == 0) {
    if (returnsObject) return reinterpret_cast<uintptr_t>(reinterpret_cast<jobject (*)(Passed...)>(function)(passed...));
    return static_cast<uint32_t>(reinterpret_cast<jint (*)(Passed...)>(function)(passed...));
  }
  if constexpr (sizeof...(Passed) < 7) {
    if (*types == 'I')
      return invoke(jvm, function, types + 1, argument + 1, returnsObject, passed..., jint{argument->integer});
    return invoke(jvm, function, types + 1, argument + 1, returnsObject, passed..., javaReference(jvm, *argument));
  }
  std::printf("FATAL: a native with more than five parameters\n");
  std::_Exit(3);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::printf("usage: %s LIBRARY ANSWERS_FILE\n", argv[0]);
    return 2;
  }
  void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    std::printf("FAIL: %s\n", dlerror());
    return 1;
  }
  TestJvm jvm;
  defineJavaClasses(&jvm);
  NativeCaller call = [&](const NativeSignature& signature, jobject self, const std::vector<Argument>& arguments,
                          uintptr_t* value) {
    const void* function = dlsym(library, jniName(signature.name).c_str());
    if (function == nullptr) return false;
    jvm.beginCall();
    *value = invoke(&jvm, function, signature.parameters, arguments.data(), signature.resultClass != nullptr,
                    jvm.env(), self);
    return true;
  };
  std::FILE* out = std::fopen(argv[2], "wb");
  if (out == nullptr) {
    std::printf("FAIL: cannot write %s\n", argv[2]);
    return 1;
  }
  int count = writeDirectoryAnswers(&jvm, call, out);
  std::fclose(out);
  if (count < 0) return 1;
  std::printf("%d calls of libOrvistal.so answered\n", count);
  return 0;
}
