#include "com/class_table.h"

#include "adsi/name_translate.h"

namespace winapi::com {

const std::vector<ClassEntry>& classTable() {
  static const std::vector<ClassEntry> table = {
      {CLSID_NameTranslate, &winapi::adsi::createNameTranslate},
  };
  return table;
}

}  // namespace winapi::com
