// Watches the platform services the library calls: its imports of ADsOpenObject,
// CoCreateInstance, NetUserChangePassword and LogonUserW are pointed at recorders that note each
// call and its result and hand it on to the system. A bind can instead be refused with a status
// of the test's own, so that the frame and the result objects are checked without a directory.
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

// One call of a platform service: which, on what, and what it returned.
struct ServiceCall {
  std::string service;
  std::string detail;
  long status = 0;
  bool failed = false;
};

// The status a refused bind returns; no platform service returns it.
constexpr HRESULT refusedBind = static_cast<HRESULT>(0x80040D5A);

// Points the library's imports at the recorders; false with a message when the library imports
// no ADsOpenObject (the others are watched when the library imports them).
bool installServiceRecorders(HMODULE library, std::string* error);
void refuseBinds(bool refuse);
// While binds are refused, a bind for IDirectorySearch is instead answered with the object the
// function makes; null stops that.
void serveSearchesWith(void* (*makeSearch)());
std::vector<RecordedBind> takeRecordedBinds();
std::vector<ServiceCall> takeServiceCalls();
