#include "service_recorder.h"

#include <cstdio>
#include <cstring>

#include <objbase.h>
#include <oleauto.h>
#include <activeds.h>

namespace {

using OpenObjectFunction = HRESULT(WINAPI*)(LPCWSTR, LPCWSTR, LPCWSTR, DWORD, REFIID, void**);
using CreateInstanceFunction = HRESULT(WINAPI*)(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID*);
using ChangePasswordFunction = DWORD(WINAPI*)(LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR);
using LogonUserFunction = BOOL(WINAPI*)(LPCWSTR, LPCWSTR, LPCWSTR, DWORD, DWORD, PHANDLE);

OpenObjectFunction systemOpenObject = nullptr;
CreateInstanceFunction systemCreateInstance = nullptr;
ChangePasswordFunction systemChangePassword = nullptr;
LogonUserFunction systemLogonUser = nullptr;
bool refusing = true;
void* (*searchMaker)() = nullptr;
std::vector<RecordedBind> binds;
std::vector<ServiceCall> calls;

std::u16string textOf(LPCWSTR text) { return text == nullptr ? std::u16string() : reinterpret_cast<const char16_t*>(text); }

std::string narrow(LPCWSTR text) {
  std::string out;
  for (const char16_t* unit = reinterpret_cast<const char16_t*>(text); unit != nullptr && *unit != 0; ++unit)
    out += *unit < 0x80 ? static_cast<char>(*unit) : '?';
  return out;
}

void note(const char* service, const std::string& detail, long status, bool failed) {
  calls.push_back(ServiceCall{service, detail, status, failed});
}

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
    if (searchMaker != nullptr && object != nullptr && IsEqualIID(iid, IID_IDirectorySearch)) {
      *object = searchMaker();
      bind.status = S_OK;
    }
  } else {
    bind.status = systemOpenObject(path, user, password, flags, iid, object);
  }
  binds.push_back(bind);
  note("ADsOpenObject", narrow(path), bind.status, FAILED(bind.status));
  return bind.status;
}

HRESULT WINAPI recordingCreateInstance(REFCLSID type, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* object) {
  HRESULT status = systemCreateInstance(type, outer, context, iid, object);
  wchar_t name[40] = L"";
  StringFromGUID2(type, name, 40);
  std::string detail = type == CLSID_NameTranslate ? std::string("NameTranslate") : narrow(name);
  note("CoCreateInstance", detail, status, FAILED(status));
  return status;
}

DWORD WINAPI recordingChangePassword(LPCWSTR domain, LPCWSTR user, LPCWSTR oldPassword, LPCWSTR newPassword) {
  DWORD status = systemChangePassword(domain, user, oldPassword, newPassword);
  note("NetUserChangePassword", narrow(domain), static_cast<long>(status), status != 0);
  return status;
}

BOOL WINAPI recordingLogonUser(LPCWSTR user, LPCWSTR domain, LPCWSTR password, DWORD type, DWORD provider,
                               PHANDLE token) {
  BOOL ok = systemLogonUser(user, domain, password, type, provider, token);
  DWORD error = GetLastError();
  note("LogonUserW", narrow(user), ok ? 0 : static_cast<long>(error), !ok);
  SetLastError(error);
  return ok;
}

template <typename Type>
Type* at(HMODULE module, DWORD offset) {
  return reinterpret_cast<Type*>(reinterpret_cast<BYTE*>(module) + offset);
}

// Replaces the library's import of dll!function with the recorder; the system's function is kept.
template <typename Function>
bool redirectImport(HMODULE library, const char* dll, const char* function, Function recorder, Function* original) {
  auto* dos = at<IMAGE_DOS_HEADER>(library, 0);
  auto* headers = at<IMAGE_NT_HEADERS>(library, static_cast<DWORD>(dos->e_lfanew));
  const IMAGE_DATA_DIRECTORY& imports = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  for (auto* module = at<IMAGE_IMPORT_DESCRIPTOR>(library, imports.VirtualAddress); module->Name != 0; ++module) {
    if (_stricmp(at<char>(library, module->Name), dll) != 0) continue;
    auto* names = at<IMAGE_THUNK_DATA>(library, module->OriginalFirstThunk);
    auto* slots = at<IMAGE_THUNK_DATA>(library, module->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      auto* byName = at<IMAGE_IMPORT_BY_NAME>(library, static_cast<DWORD>(names->u1.AddressOfData));
      if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) != 0) continue;
      DWORD protection = 0;
      if (!VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &protection)) return false;
      *original = reinterpret_cast<Function>(slots->u1.Function);
      slots->u1.Function = reinterpret_cast<ULONG_PTR>(recorder);
      VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, protection, &protection);
      return true;
    }
  }
  return false;
}

}  // namespace

bool installServiceRecorders(HMODULE library, std::string* error) {
  if (!redirectImport(library, "activeds.dll", "ADsOpenObject", &recordingOpenObject, &systemOpenObject)) {
    *error = "the library imports no ADsOpenObject from activeds.dll";
    return false;
  }
  redirectImport(library, "ole32.dll", "CoCreateInstance", &recordingCreateInstance, &systemCreateInstance);
  redirectImport(library, "netapi32.dll", "NetUserChangePassword", &recordingChangePassword, &systemChangePassword);
  redirectImport(library, "advapi32.dll", "LogonUserW", &recordingLogonUser, &systemLogonUser);
  return true;
}

void refuseBinds(bool refuse) { refusing = refuse; }

void serveSearchesWith(void* (*makeSearch)()) { searchMaker = makeSearch; }

std::vector<RecordedBind> takeRecordedBinds() {
  std::vector<RecordedBind> taken;
  taken.swap(binds);
  return taken;
}

std::vector<ServiceCall> takeServiceCalls() {
  std::vector<ServiceCall> taken;
  taken.swap(calls);
  return taken;
}
