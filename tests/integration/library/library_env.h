// What the library's integration tests share: the test directory's settings, and a fixture that
// runs each test in its own single-threaded apartment with contexts bound as the bind account
// and as the administrator.
#pragma once
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "adsi/text.h"
#include "directory/adsi_context.h"

namespace librarytest {

inline std::u16string env(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::u16string() : winapi::adsi::toUtf16(value);
}

// The bind account's settings, for tests that build their contexts themselves (one per call or
// per thread, as the natives do).
struct Directory {
  std::u16string server = env("ORVISTAL_TEST_SERVER");
  std::u16string bindUser = env("ORVISTAL_TEST_BIND_USER");
  std::u16string bindPassword = env("ORVISTAL_TEST_BIND_PASSWORD");
  std::u16string domain = env("ORVISTAL_TEST_DOMAIN");
  std::u16string netbios = env("ORVISTAL_TEST_NETBIOS");
  std::u16string baseDn = env("ORVISTAL_TEST_BASE_DN");

  AdsiContext bound() const { return AdsiContext(bindUser, bindPassword, server, false); }
  AdsiContext boundWith(const std::u16string& user, const std::u16string& password) const {
    return AdsiContext(user, password, server, false);
  }
  std::u16string aliceDn() const { return u"CN=Alice Liddell,OU=People,OU=Orvistal," + baseDn; }
};

class LibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(env("ORVISTAL_TEST_SERVER").empty()) << "the test directory's environment is not set";
    comResult_ = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  }
  void TearDown() override {
    if (comResult_ == S_OK || comResult_ == S_FALSE) CoUninitialize();
  }

  AdsiContext bound{env("ORVISTAL_TEST_BIND_USER"), env("ORVISTAL_TEST_BIND_PASSWORD"), env("ORVISTAL_TEST_SERVER"),
                    false};
  AdsiContext admin{env("ORVISTAL_TEST_ADMIN_USER"), env("ORVISTAL_TEST_ADMIN_PASSWORD"), env("ORVISTAL_TEST_SERVER"),
                    false};
  std::u16string base = env("ORVISTAL_TEST_BASE_DN");
  std::u16string people = u"OU=People,OU=Orvistal," + base;
  std::u16string groups = u"OU=Groups,OU=Orvistal," + base;

 private:
  HRESULT comResult_ = E_FAIL;
};

}  // namespace librarytest
