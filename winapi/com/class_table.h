// The classes CoCreateInstance can make: the in-process servers of the stand-in.
#pragma once
#include <vector>

#include "unknwn.h"

namespace winapi::com {

struct ClassEntry {
  const CLSID& clsid;
  HRESULT (*create)(REFIID riid, void** ppv);
};

const std::vector<ClassEntry>& classTable();

namespace testing {
// CoCreateInstance of CLSID_NameTranslate makes its object with create instead (null: the
// provider's own class again), so that the library's handling of the service's answers can be
// checked where the directory cannot give them.
void substituteNameTranslate(HRESULT (*create)(REFIID riid, void** ppv));
}  // namespace testing

}  // namespace winapi::com
