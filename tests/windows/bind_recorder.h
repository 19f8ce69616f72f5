// Watches the library's binds: the library's import of ADsOpenObject is pointed at a recorder
// that notes the path, account and flags the library built, then either refuses the bind with a
// status of its own (so the frame and the result objects are checked without a directory) or
// hands it on to the system's ADsOpenObject.
#pragma once
#include <string>
#include <vector>

#include <windows.h>

struct RecordedBind {
  std::u16string path;
  bool hasUser = false;
  std::u16string user;
  bool hasPassword = false;
  std::u16string password;  // kept for comparison only, never printed
  DWORD flags = 0;
  HRESULT status = S_OK;
};

// The status a refused bind returns; no platform service returns it.
constexpr HRESULT refusedBind = static_cast<HRESULT>(0x80040D5A);

// Points the library's import at the recorder; false with a message when it is not found.
bool installBindRecorder(HMODULE library, std::string* error);
void refuseBinds(bool refuse);
std::vector<RecordedBind> takeRecordedBinds();
