// What the integration tests need to reach the test directory, and small owners for the
// COM values they handle. The settings come from tests/directory/dc.sh env; a missing one
// fails the test rather than skipping it.
#pragma once
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "activeds.h"
#include "adsi/text.h"
#include "objbase.h"

namespace adsitest {

inline std::string setting(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

inline std::u16string wide(const std::string& text) { return winapi::adsi::toUtf16(text); }
inline std::string narrow(const WCHAR* text) { return winapi::adsi::toUtf8(text); }

struct Settings {
  std::string server = setting("ORVISTAL_TEST_SERVER");
  std::string domain = setting("ORVISTAL_TEST_DOMAIN");
  std::string baseDn = setting("ORVISTAL_TEST_BASE_DN");
  std::string adminUser = setting("ORVISTAL_TEST_ADMIN_USER");
  std::string adminPassword = setting("ORVISTAL_TEST_ADMIN_PASSWORD");
  std::string bindUser = setting("ORVISTAL_TEST_BIND_USER");
  std::string bindPassword = setting("ORVISTAL_TEST_BIND_PASSWORD");
  std::string netbios = setting("ORVISTAL_TEST_NETBIOS");

  std::string people() const { return "OU=People,OU=Orvistal," + baseDn; }
  std::string alice() const { return "CN=Alice Liddell," + people(); }
  std::string path(const std::string& dn) const { return "LDAP://" + server + "/" + dn; }
};

template <typename Interface>
class Ptr {
 public:
  Ptr() = default;
  ~Ptr() { reset(); }
  Ptr(const Ptr&) = delete;
  Ptr& operator=(const Ptr&) = delete;
  Interface* get() const { return pointer_; }
  Interface* operator->() const { return pointer_; }
  void** put() {
    reset();
    return reinterpret_cast<void**>(&pointer_);
  }
  void reset() {
    if (pointer_ != nullptr) pointer_->Release();
    pointer_ = nullptr;
  }

 private:
  Interface* pointer_ = nullptr;
};

struct Var {
  VARIANT v;
  Var() { VariantInit(&v); }
  ~Var() { VariantClear(&v); }
  Var(const Var&) = delete;
  Var& operator=(const Var&) = delete;
};

struct Bstr {
  BSTR b;
  explicit Bstr(const std::string& text) : b(winapi::adsi::newBstr(text)) {}
  ~Bstr() { SysFreeString(b); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
};

inline std::string bstrText(BSTR text) { return text == nullptr ? std::string() : narrow(text); }

// Each test runs in its own single-threaded apartment, as the library's calls do.
class DirectoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    comResult_ = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const char* required[] = {"ORVISTAL_TEST_SERVER",        "ORVISTAL_TEST_DOMAIN",         "ORVISTAL_TEST_BASE_DN",
                              "ORVISTAL_TEST_ADMIN_USER",    "ORVISTAL_TEST_ADMIN_PASSWORD", "ORVISTAL_TEST_BIND_USER",
                              "ORVISTAL_TEST_BIND_PASSWORD", "ORVISTAL_TEST_NETBIOS"};
    for (const char* name : required)
      ASSERT_FALSE(setting(name).empty()) << name << " is not set: run tests/directory/dc.sh start and its env";
  }
  void TearDown() override {
    if (comResult_ == S_OK || comResult_ == S_FALSE) CoUninitialize();
  }

  HRESULT open(const std::string& path, const std::string& user, const std::string& password, DWORD flags, REFIID iid,
               void** out) {
    std::u16string widePath = wide(path), wideUser = wide(user), widePassword = wide(password);
    return ADsOpenObject(widePath.c_str(), wideUser.c_str(), widePassword.c_str(), flags, iid, out);
  }
  HRESULT openAsAdmin(const std::string& dn, REFIID iid, void** out, DWORD flags = ADS_SECURE_AUTHENTICATION) {
    return open(s.path(dn), s.adminUser, s.adminPassword, flags, iid, out);
  }
  HRESULT openAsBind(const std::string& dn, REFIID iid, void** out, DWORD flags = ADS_SECURE_AUTHENTICATION) {
    return open(s.path(dn), s.bindUser, s.bindPassword, flags, iid, out);
  }

  Settings s;

 private:
  HRESULT comResult_ = E_FAIL;
};

}  // namespace adsitest
