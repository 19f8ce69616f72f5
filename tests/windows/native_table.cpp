#include "native_table.h"

#include <cstring>
#include <fstream>
#include <sstream>

const char* const settingsClass = "kestrivane/qom/userstoreproxy/multidomain/Orvistal";

namespace {

const char* const message = "kestrivane/qom/result/ResultMessage";
const char* const integerValue = "kestrivane/qom/result/ResultIntegerValue";
const char* const largeIntegerValue = "kestrivane/qom/result/ResultLargeIntegerValue";
const char* const booleanValue = "kestrivane/qom/result/ResultBooleanValue";
const char* const checkAccess = "kestrivane/qom/result/ResultCheckAccess";
const char* const stringList = "kestrivane/qom/result/ResultStringList";
const char* const arrayNameValue = "kestrivane/qom/result/ResultArrayNameValue";

// From the Java declarations of kestrivane.qom.userstoreproxy.multidomain.Orvistal.
const NativeSignature signatures[] = {
    {"wInit", "", nullptr},
    {"wTranslateName", "SII", message},
    {"wGetUserDsn", "SS", message},
    {"wGetGroupDsn", "S", message},
    {"wAddUser", "SS", nullptr},
    {"wDeleteUser", "SS", nullptr},
    {"wResetPassword", "SSS", nullptr},
    {"wChangePassword", "SSSS", nullptr},
    {"wUnlockAccount", "SS", nullptr},
    {"wIsUserNode", "S", nullptr},
    {"wSetUserAttributeString", "SSSS", nullptr},
    {"wGetUserAttributeString", "SSS", message},
    {"wSetUserAttributeInt", "SSSI", nullptr},
    {"wGetUserAttributeInt", "SSS", integerValue},
    {"wSetUserAttributeLargeInt", "SSSII", nullptr},
    {"wGetUserAttributeLargeInt", "SSS", largeIntegerValue},
    {"wSetUserAttributeStringArray", "SSSAI", nullptr},
    {"wGetUserAttributeStringArray", "SSS", stringList},
    {"wIsGroupNode", "S", nullptr},
    {"wIsMemberOf", "SS", booleanValue},
    {"wSetGroupAttributeString", "SSS", nullptr},
    {"wGetGroupAttributeString", "SS", message},
    {"wSetGroupAttributeInt", "SSI", nullptr},
    {"wGetGroupAttributeInt", "SS", integerValue},
    {"wSetGroupAttributeStringArray", "SSAI", nullptr},
    {"wGetGroupAttributeStringArray", "SS", stringList},
    {"wGetUserPrimaryGroup", "SS", message},
    {"wGetUserGroups", "SS", stringList},
    {"wGetMachineGroups", "S", stringList},
    {"wGetNodeAttributeString", "SS", message},
    {"wSetNodeAttributeString", "SSS", nullptr},
    {"wGetNodeAttributeStringArray", "SS", stringList},
    {"wSetNodeAttributeStringArray", "SSAI", nullptr},
    {"wGetDeletedNodeAttributeString", "SS", message},
    {"wGetNodeGuid", "S", message},
    {"wGetParentNode", "S", message},
    {"wGetNetbiosDomain", "S", message},
    {"wIsUserContainerNode", "S", nullptr},
    {"wGetChildUserContainers", "S", stringList},
    {"wSearchNodes", "SS", stringList},
    {"wSearchDeletedNodes", "S", stringList},
    {"wFindNodeValues", "SSSII", stringList},
    {"wGetNodeAttributes", "SSA", arrayNameValue},
    {"wCheckNodeAccess", "SI", checkAccess},
    {"wVerifyPassword", "SSS", nullptr},
};

const char* const jniPrefix = "Java_kestrivane_qom_userstoreproxy_multidomain_Orvistal_";

}  // namespace

std::string jniName(const std::string& name) { return jniPrefix + name; }

const NativeSignature* signatureOf(const std::string& name) {
  for (const NativeSignature& signature : signatures)
    if (name == signature.name) return &signature;
  return nullptr;
}

bool readExportList(const std::string& path, std::vector<ExportedNative>* natives, std::string* error) {
  std::ifstream file(path);
  if (!file) {
    *error = "cannot read " + path;
    return false;
  }
  std::string line;
  while (std::getline(file, line)) {
    if (line.empty()) continue;
    std::istringstream fields(line);
    std::string fullName, decorated;
    fields >> fullName >> decorated;
    size_t at = decorated.rfind('@');
    if (fullName.compare(0, std::strlen(jniPrefix), jniPrefix) != 0 || decorated.empty()) {
      *error = "unreadable line in " + path + ": " + line;
      return false;
    }
    ExportedNative native;
    native.name = fullName.substr(std::strlen(jniPrefix));
    native.decoratedName = decorated;
    if (at != std::string::npos) native.stackBytes = static_cast<unsigned>(std::stoul(decorated.substr(at + 1)));
    native.signature = signatureOf(native.name);
    natives->push_back(native);
  }
  return true;
}

bool readsNoSettings(const NativeSignature& signature) { return std::strcmp(signature.name, "wChangePassword") == 0; }

uint32_t unreadableSettingsValue(const NativeSignature& signature) {
  if (signature.resultClass != nullptr) return 0;
  for (const char* zero : {"wInit", "wIsUserNode", "wIsGroupNode", "wIsUserContainerNode"})
    if (std::strcmp(signature.name, zero) == 0) return 0;
  return 0x80070006u;  // E_HANDLE
}

void defineJavaClasses(TestJvm* jvm) {
  const char* string = "Ljava/lang/String;";
  jvm->defineClass(settingsClass)
      .field("lookupUserName", string)
      .field("lookupUserPassword", string)
      .field("server", string)
      .field("useServerName", "Z")
      .field("domain", string);
  jvm->defineClass(message).method("<init>", "(ILjava/lang/String;)V");
  jvm->defineClass(integerValue).method("<init>", "(II)V");
  jvm->defineClass(largeIntegerValue).method("<init>", "(III)V");
  jvm->defineClass(booleanValue).method("<init>", "(IZ)V");
  jvm->defineClass(checkAccess).method("<init>", "(III)V");
  jvm->defineClass(stringList)
      .method("<init>", "()V")
      .method("setStringList", "([Ljava/lang/String;)V")
      .method("setErrCode", "(I)V");
  jvm->defineClass("kestrivane/qom/result/NameValue").method("<init>", "(Ljava/lang/String;Ljava/lang/String;)V");
  jvm->defineClass(arrayNameValue).method("<init>", "(I[Lkestrivane/qom/result/NameValue;)V");
}
