// The NameTranslate COM object without a directory: creation through CoCreateInstance,
// interfaces, reference counting, and the calls that must fail before any network traffic.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "adsi/name_translate.h"
#include "adsi/text.h"
#include "adserr.h"
#include "objbase.h"

namespace {

constexpr HRESULT logonFailure = static_cast<HRESULT>(0x8007052E);

struct Bstr {
  BSTR b;
  explicit Bstr(const char* text) : b(text == nullptr ? nullptr : winapi::adsi::newBstr(std::string_view(text))) {}
  ~Bstr() { SysFreeString(b); }
};

class NameTranslateObject : public ::testing::Test {
 protected:
  void SetUp() override {
    comResult_ = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ASSERT_EQ(CoCreateInstance(CLSID_NameTranslate, nullptr, CLSCTX_ALL, IID_IADsNameTranslate,
                               reinterpret_cast<void**>(&translate_)),
              S_OK);
    ASSERT_NE(translate_, nullptr);
  }
  void TearDown() override {
    if (translate_ != nullptr) translate_->Release();
    if (comResult_ == S_OK || comResult_ == S_FALSE) CoUninitialize();
  }

  IADsNameTranslate* translate_ = nullptr;

 private:
  HRESULT comResult_ = E_FAIL;
};

TEST_F(NameTranslateObject, OffersItsInterfacesAndNothingElse) {
  for (const IID* iid : {&IID_IUnknown, &IID_IDispatch, &IID_IADsNameTranslate}) {
    void* other = nullptr;
    ASSERT_EQ(translate_->QueryInterface(*iid, &other), S_OK);
    EXPECT_EQ(other, static_cast<void*>(translate_)) << "one object, one identity";
    static_cast<IUnknown*>(other)->Release();
  }
  void* other = reinterpret_cast<void*>(1);
  EXPECT_EQ(translate_->QueryInterface(IID_IADs, &other), E_NOINTERFACE);
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(translate_->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
}

TEST_F(NameTranslateObject, ReferenceCountIsSafeAcrossThreads) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([this] {
      for (int i = 0; i < 10000; ++i) {
        translate_->AddRef();
        translate_->Release();
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(translate_->AddRef(), 2u);
  EXPECT_EQ(translate_->Release(), 1u);
}

TEST_F(NameTranslateObject, CreationAsksForTheRightInterface) {
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(CoCreateInstance(CLSID_NameTranslate, nullptr, CLSCTX_ALL, IID_IADs, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  ASSERT_EQ(CoCreateInstance(CLSID_NameTranslate, nullptr, CLSCTX_ALL, IID_IUnknown, &object), S_OK);
  EXPECT_EQ(static_cast<IUnknown*>(object)->Release(), 0u) << "the caller holds the only reference";
}

TEST_F(NameTranslateObject, SetAndGetNeedTheirPredecessors) {
  Bstr name("ORVISTAL\\alice");
  EXPECT_EQ(translate_->Set(ADS_NAME_TYPE_NT4, name.b), E_ADS_BAD_PARAMETER) << "Set before Init";
  BSTR out = nullptr;
  EXPECT_EQ(translate_->Get(ADS_NAME_TYPE_1779, &out), E_ADS_BAD_PARAMETER) << "Get before Set";
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(translate_->Get(ADS_NAME_TYPE_1779, nullptr), E_POINTER);
  EXPECT_EQ(translate_->put_ChaseReferral(0x60), S_OK);
}

TEST_F(NameTranslateObject, BadInitArgumentsAreRefusedBeforeConnecting) {
  Bstr server("dc1.orvistal.test");
  EXPECT_EQ(translate_->Init(0, server.b), E_ADS_BAD_PARAMETER);
  EXPECT_EQ(translate_->Init(4, server.b), E_ADS_BAD_PARAMETER);
  Bstr badServer("dc1.orvistal.test:notaport");
  EXPECT_EQ(translate_->Init(ADS_NAME_INITTYPE_SERVER, badServer.b), E_ADS_BAD_PARAMETER);
}

TEST_F(NameTranslateObject, InitExRefusesHalfGivenCredentialsAsALogonFailure) {
  Bstr server("dc1.orvistal.test"), user("alice"), domain("ORVISTAL"), empty(""), password("Alice.Pw.123");
  EXPECT_EQ(translate_->InitEx(ADS_NAME_INITTYPE_SERVER, server.b, user.b, domain.b, empty.b), logonFailure)
      << "a named account with an empty password";
  EXPECT_EQ(translate_->InitEx(ADS_NAME_INITTYPE_SERVER, server.b, user.b, domain.b, nullptr), logonFailure)
      << "a named account with no password";
  EXPECT_EQ(translate_->InitEx(ADS_NAME_INITTYPE_SERVER, server.b, empty.b, domain.b, password.b), logonFailure)
      << "a password for nobody";
  const OLECHAR cutShort[] = u"alice\0@orvistal.test";
  BSTR cutUser = SysAllocStringLen(cutShort, sizeof cutShort / sizeof cutShort[0] - 1);
  EXPECT_EQ(translate_->InitEx(ADS_NAME_INITTYPE_SERVER, server.b, cutUser, empty.b, password.b), logonFailure)
      << "an account name with a NUL inside";
  SysFreeString(cutUser);
  Bstr name("ORVISTAL\\alice");
  EXPECT_EQ(translate_->Set(ADS_NAME_TYPE_NT4, name.b), E_ADS_BAD_PARAMETER) << "a failed Init leaves nothing to use";
}

}  // namespace
