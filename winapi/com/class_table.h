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

}  // namespace winapi::com
