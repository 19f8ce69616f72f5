#include "com/class_table.h"

#include <atomic>

#include "adsi/name_translate.h"

namespace winapi::com {

namespace {

using CreateFunction = HRESULT (*)(REFIID riid, void** ppv);

std::atomic<CreateFunction> nameTranslateSubstitute{nullptr};

HRESULT createNameTranslateObject(REFIID riid, void** ppv) {
  CreateFunction substitute = nameTranslateSubstitute.load();
  return substitute != nullptr ? substitute(riid, ppv) : winapi::adsi::createNameTranslate(riid, ppv);
}

}  // namespace

const std::vector<ClassEntry>& classTable() {
  static const std::vector<ClassEntry> table = {
      {CLSID_NameTranslate, &createNameTranslateObject},
  };
  return table;
}

void testing::substituteNameTranslate(CreateFunction create) { nameTranslateSubstitute.store(create); }

}  // namespace winapi::com
