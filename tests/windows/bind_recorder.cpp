#include "bind_recorder.h"

#include <cstring>

namespace {

using OpenObjectFunction = HRESULT(WINAPI*)(LPCWSTR, LPCWSTR, LPCWSTR, DWORD, REFIID, void**);

OpenObjectFunction systemOpenObject = nullptr;
bool refusing = true;
std::vector<RecordedBind> binds;

std::u16string textOf(LPCWSTR text) { return text == nullptr ? std::u16string() : reinterpret_cast<const char16_t*>(text); }

HRESULT WINAPI recordingOpenObject(LPCWSTR path, LPCWSTR user, LPCWSTR password, DWORD flags, REFIID iid,
                                   void** object) {
  RecordedBind bind;
  bind.path = textOf(path);
  bind.hasUser = user != nullptr;
  bind.user = textOf(user);
  bind.hasPassword = password != nullptr;
  bind.password = textOf(password);
  bind.flags = flags;
  if (refusing) {
    if (object != nullptr) *object = nullptr;
    bind.status = refusedBind;
  } else {
    bind.status = systemOpenObject(path, user, password, flags, iid, object);
  }
  binds.push_back(bind);
  return bind.status;
}

template <typename Type>
Type* at(HMODULE module, DWORD offset) {
  return reinterpret_cast<Type*>(reinterpret_cast<BYTE*>(module) + offset);
}

}  // namespace

bool installBindRecorder(HMODULE library, std::string* error) {
  auto* dos = at<IMAGE_DOS_HEADER>(library, 0);
  auto* headers = at<IMAGE_NT_HEADERS32>(library, static_cast<DWORD>(dos->e_lfanew));
  const IMAGE_DATA_DIRECTORY& imports = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  for (auto* module = at<IMAGE_IMPORT_DESCRIPTOR>(library, imports.VirtualAddress); module->Name != 0; ++module) {
    if (_stricmp(at<char>(library, module->Name), "activeds.dll") != 0) continue;
    auto* names = at<IMAGE_THUNK_DATA32>(library, module->OriginalFirstThunk);
    auto* slots = at<IMAGE_THUNK_DATA32>(library, module->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL32(names->u1.Ordinal)) continue;
      auto* byName = at<IMAGE_IMPORT_BY_NAME>(library, names->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char*>(byName->Name), "ADsOpenObject") != 0) continue;
      DWORD protection = 0;
      if (!VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &protection)) {
        *error = "the import table cannot be written";
        return false;
      }
      systemOpenObject = reinterpret_cast<OpenObjectFunction>(slots->u1.Function);
      slots->u1.Function = reinterpret_cast<DWORD>(&recordingOpenObject);
      VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, protection, &protection);
      return true;
    }
  }
  *error = "the library imports no ADsOpenObject from activeds.dll";
  return false;
}

void refuseBinds(bool refuse) { refusing = refuse; }

std::vector<RecordedBind> takeRecordedBinds() {
  std::vector<RecordedBind> taken;
  taken.swap(binds);
  return taken;
}
