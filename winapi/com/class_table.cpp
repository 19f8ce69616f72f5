#include "com/class_table.h"

namespace winapi::com {

const std::vector<ClassEntry>& classTable() {
  static const std::vector<ClassEntry> table = {};
  return table;
}

}  // namespace winapi::com
