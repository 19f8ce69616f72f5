#include <gtest/gtest.h>

#include <thread>

#include "directory/adsi_context.h"
#include "platform.h"

namespace {

// Each case runs on its own thread, so the apartment state starts fresh.
template <typename Body>
void onFreshThread(Body body) {
  std::thread worker(body);
  worker.join();
}

TEST(Apartment, FirstCallEntersLaterCallsCountOtherModeIsRefused) {
  onFreshThread([] {
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
    CoUninitialize();
    CoUninitialize();
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK) << "balanced calls leave the apartment";
    CoUninitialize();
  });
}

TEST(Apartment, CreateInstanceNeedsAnApartment) {
  onFreshThread([] {
    void* object = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_NameTranslate, nullptr, CLSCTX_INPROC_SERVER, IID_IADsNameTranslate, &object),
              CO_E_NOTINITIALIZED);
    EXPECT_EQ(object, nullptr);
    IID unknownClass = IID_IADs;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    EXPECT_EQ(CoCreateInstance(unknownClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object), REGDB_E_CLASSNOTREG);
    CoUninitialize();
  });
}

TEST(AdsiContext, BalancesTheThreadsApartment) {
  onFreshThread([] {
    {
      AdsiContext context(u"", u"", u"", false);
      EXPECT_EQ(context.comInitResult(), S_OK);
    }
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK) << "the context left the thread as it found it";
    {
      AdsiContext nested(u"", u"", u"", false);
      EXPECT_EQ(nested.comInitResult(), S_FALSE);
    }
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE) << "S_FALSE was balanced, not over-released";
    CoUninitialize();
    CoUninitialize();
  });
  onFreshThread([] {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    {
      AdsiContext context(u"", u"", u"", false);
      EXPECT_EQ(context.comInitResult(), RPC_E_CHANGED_MODE);
    }
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE) << "a refused initialisation is not undone";
    CoUninitialize();
    CoUninitialize();
  });
}

TEST(AdsiContext, BuildsPathsWithAndWithoutServer) {
  AdsiContext serverless(u"", u"", u"", false);
  EXPECT_EQ(serverless.ldapPath(u"CN=a,DC=x"), u"LDAP://CN=a,DC=x");
  EXPECT_EQ(serverless.ldapPath(u"RootDSE"), u"LDAP://RootDSE");
  AdsiContext withServer(u"u", u"p", u"dc1", false);
  EXPECT_EQ(withServer.ldapPath(u"CN=a,DC=x"), u"LDAP://dc1/CN=a,DC=x");
  EXPECT_EQ(withServer.ldapPath(u" CN=a "), u"LDAP://dc1/ CN=a ") << "names are placed as given";
}

TEST(Strings, FormatsAndCompares) {
  WCHAR buffer[1024];
  EXPECT_EQ(wsprintfW(buffer, u"%02x", 0x0a), 2);
  EXPECT_EQ(std::u16string(buffer), u"0a");
  wsprintfW(buffer, u"(&(dnsRoot=%s)(x=*))", u"orvistal.test");
  EXPECT_EQ(std::u16string(buffer), u"(&(dnsRoot=orvistal.test)(x=*))");
  std::u16string longText(2000, u'a');
  EXPECT_EQ(wsprintfW(buffer, u"%s", longText.c_str()), 1023) << "output stops at 1024 units with the NUL";
  EXPECT_EQ(buffer[1023], 0);
  EXPECT_EQ(lstrcmpW(u"abc", u"abc"), 0);
  EXPECT_LT(lstrcmpW(u"abc", u"abd"), 0);
  EXPECT_GT(lstrcmpW(u"abcd", u"abc"), 0);
}

}  // namespace
