// What wVerifyPassword makes of the name-translation service's answers that the test directory
// never gives: an access-denied refusal reads as a logon failure, every other answer as it is.
#include <gtest/gtest.h>

#include "com/class_table.h"
#include "directory/adsi_context.h"

namespace {

// A service whose InitEx gives the answer the test sets, and records that it was asked.
class ScriptedTranslate : public IADsNameTranslate {
 public:
  HRESULT answer = S_OK;
  int initialisations = 0;

  HRESULT QueryInterface(REFIID, void** ppv) override {
    *ppv = this;
    return S_OK;
  }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT put_ChaseReferral(LONG) override { return E_NOTIMPL; }
  HRESULT Init(LONG, BSTR) override { return E_NOTIMPL; }
  HRESULT InitEx(LONG, BSTR, BSTR, BSTR, BSTR) override {
    ++initialisations;
    return answer;
  }
  HRESULT Set(LONG, BSTR) override { return E_NOTIMPL; }
  HRESULT Get(LONG, BSTR*) override { return E_NOTIMPL; }
};

ScriptedTranslate service;

HRESULT createScripted(REFIID, void** ppv) {
  *ppv = static_cast<IADsNameTranslate*>(&service);
  return S_OK;
}

TEST(VerificationAnswers, AccessDeniedIsALogonFailureOtherAnswersPassUnchanged) {
  winapi::com::testing::substituteNameTranslate(&createScripted);
  AdsiContext context(u"", u"", u"dc.example.test", false);
  const HRESULT logonFailure = HRESULT_FROM_WIN32(ERROR_LOGON_FAILURE);
  struct Case {
    HRESULT answer;
    HRESULT expected;
  };
  const Case cases[] = {
      {E_ACCESSDENIED, logonFailure},
      {static_cast<HRESULT>(0x80040005), logonFailure},  // any failure whose code is 5
      {HRESULT_FROM_WIN32(ERROR_ACCOUNT_DISABLED), HRESULT_FROM_WIN32(ERROR_ACCOUNT_DISABLED)},
      {S_OK, S_OK},
  };
  for (const Case& c : cases) {
    service.answer = c.answer;
    EXPECT_EQ(context.verifyPassword(u"alice", u"", u"Alice.Pw.123"), c.expected) << std::hex << c.answer;
  }
  EXPECT_EQ(service.initialisations, 4);
  // No account is never put to the service: it would run as the process.
  EXPECT_EQ(context.verifyPassword(u"", u"", u"Alice.Pw.123"), logonFailure);
  EXPECT_EQ(context.verifyPassword(u"ORVISTAL\\", u"", u"Alice.Pw.123"), logonFailure);
  EXPECT_EQ(service.initialisations, 4);
  winapi::com::testing::substituteNameTranslate(nullptr);
}

}  // namespace
