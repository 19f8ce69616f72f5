// Password verification binds anew every time, on a kept TLS connection, and name translation
// rides on the pool only where an object bind put a connection with the very same credentials.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "activeds.h"
#include "adsi/connection.h"
#include "adsi/kerberos_logon.h"
#include "adsi/directory_env.h"
#include "directory/adsi_context.h"
#include "directory/name_translator.h"

namespace adsi = winapi::adsi;
using namespace adsitest;

namespace {

constexpr HRESULT logonFailure = static_cast<HRESULT>(0x8007052E);
constexpr HRESULT accountDisabled = static_cast<HRESULT>(0x80070533);

// An account made for the test by the administrator, enabled with a known password, and
// removed afterwards.
class Verification : public DirectoryTest {
 protected:
  void SetUp() override {
    DirectoryTest::SetUp();
    if (HasFatalFailure()) return;
    account_ = "vt-" + std::to_string(getpid() % 100000) + "-" +
               std::to_string(std::chrono::steady_clock::now().time_since_epoch().count() % 100000);
    Ptr<IADsContainer> people;
    ASSERT_EQ(openAsAdmin(s.people(), IID_IADsContainer, people.put()), S_OK);
    Ptr<IDispatch> created;
    ASSERT_EQ(people->Create(Bstr("user").b, Bstr("CN=" + account_).b, reinterpret_cast<IDispatch**>(created.put())),
              S_OK);
    Ptr<IADs> user;
    ASSERT_EQ(created->QueryInterface(IID_IADs, user.put()), S_OK);
    Var name;
    name.v.vt = VT_BSTR;
    name.v.bstrVal = SysAllocString(wide(account_).c_str());
    ASSERT_EQ(user->Put(Bstr("sAMAccountName").b, name.v), S_OK);
    ASSERT_EQ(user->SetInfo(), S_OK);
    dn_ = "CN=" + account_ + "," + s.people();
    setPassword("First.Pw.2468");
    setAccountControl(512);  // a normal, enabled account
  }
  void TearDown() override {
    if (!dn_.empty()) {
      Ptr<IADsDeleteOps> doomed;
      EXPECT_EQ(openAsAdmin(dn_, IID_IADsDeleteOps, doomed.put()), S_OK);
      if (doomed.get() != nullptr) {
        EXPECT_EQ(doomed->DeleteObject(0), S_OK);
      }
    }
    DirectoryTest::TearDown();
  }

  void setPassword(const std::string& password) {
    Ptr<IADsUser> user;
    ASSERT_EQ(openAsAdmin(dn_, IID_IADsUser, user.put()), S_OK);
    ASSERT_EQ(user->SetPassword(Bstr(password).b), S_OK);
  }
  void setAccountControl(int flags) {
    Ptr<IADs> user;
    ASSERT_EQ(openAsAdmin(dn_, IID_IADs, user.put()), S_OK);
    Var value;
    value.v.vt = VT_I4;
    value.v.lVal = flags;
    ASSERT_EQ(user->Put(Bstr("userAccountControl").b, value.v), S_OK);
    ASSERT_EQ(user->SetInfo(), S_OK);
  }
  HRESULT verify(const std::string& password) {
    AdsiContext context(wide(s.bindUser), wide(s.bindPassword), wide(s.server), false);
    return context.verifyPassword(wide(account_ + "@" + s.domain), u"", wide(password));
  }

  std::string account_;
  std::string dn_;
};

TEST_F(Verification, EveryCallAsksTheDirectoryAnew) {
  EXPECT_EQ(verify("First.Pw.2468"), S_OK);
  EXPECT_EQ(verify("First.Pw.2469"), logonFailure);
  EXPECT_EQ(verify("First.Pw.2468"), S_OK) << "a wrong password in between changes nothing";

  setAccountControl(514);  // disabled, a moment ago
  EXPECT_EQ(verify("First.Pw.2468"), accountDisabled) << "refused on the very next call";
  setAccountControl(512);
  EXPECT_EQ(verify("First.Pw.2468"), S_OK);

  setPassword("Second.Pw.1357");  // reset by the administrator, a moment ago
  EXPECT_EQ(verify("First.Pw.2468"), logonFailure) << "the old password stops at once";
  EXPECT_EQ(verify("Second.Pw.1357"), S_OK);
}

TEST_F(Verification, EachVerificationIsOneBindOnAKeptConnection) {
  ASSERT_EQ(verify("First.Pw.2468"), S_OK);  // the kept TLS connection exists from here on
  size_t opened = adsi::testing::connectionsOpened();
  size_t sent = adsi::testing::operationsSentByThisThread();
  size_t tickets = adsi::testing::ticketRequests();
  for (int i = 0; i < 3; ++i) EXPECT_EQ(verify("First.Pw.2468"), S_OK);
  EXPECT_EQ(adsi::testing::connectionsOpened(), opened) << "no new TCP connection or TLS handshake";
  EXPECT_EQ(adsi::testing::operationsSentByThisThread() - sent, 3u) << "one bind a call, nothing else";
  EXPECT_EQ(adsi::testing::ticketRequests() - tickets, adsi::simpleBindsAllowed() ? 0u : 3u)
      << "one ticket request to the KDC a call";
  // A wrong password is refused by the KDC, and the kept connection it would have bound waits on
  // (where simple binds are allowed, its failed bind closes it: the next verification opens one).
  EXPECT_EQ(verify("Not.The.Pw.1"), logonFailure);
  EXPECT_EQ(verify("First.Pw.2468"), S_OK);
  EXPECT_EQ(adsi::testing::connectionsOpened(), opened + (adsi::simpleBindsAllowed() ? 1 : 0));
}

TEST_F(Verification, ACheckNeverRidesOnAConnectionAnEarlierCallPooled) {
  // One call binds an object with the account's own credentials, and the object (with its
  // pooled connection) outlives the call. Each block is a call: it enters the thread's apartment
  // afresh, as every native does.
  std::string user = account_ + "@" + s.domain;
  Ptr<IADs> asUser;
  CoUninitialize();  // out of the fixture's apartment until the end of the test
  {
    ComApartment call;
    ASSERT_EQ(open(s.path(dn_), user, "First.Pw.2468", ADS_SECURE_AUTHENTICATION, IID_IADs, asUser.put()), S_OK);
  }
  setAccountControl(514);  // disabled, a moment ago
  {
    ComApartment call;
    EXPECT_EQ(verify("First.Pw.2468"), accountDisabled) << "the pooled connection is no verdict";
  }
  setAccountControl(512);
  setPassword("Second.Pw.1357");
  {
    ComApartment call;
    EXPECT_EQ(verify("First.Pw.2468"), logonFailure);
    EXPECT_EQ(verify("Second.Pw.1357"), S_OK);
  }
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
}

TEST_F(Verification, TranslationRidesOnlyOnAConnectionPooledWithTheSameCredentials) {
  // An object bind pools a connection for the bind account; the translation then opens none.
  AdsiContext context(wide(s.bindUser), wide(s.bindPassword), wide(s.server), false);
  Ptr<IADs> root;
  ASSERT_EQ(context.bindRootDse(reinterpret_cast<IADs**>(root.put())), S_OK);
  size_t opened = adsi::testing::connectionsOpened();
  NameTranslator translator(wide(s.bindUser), wide(s.bindPassword), wide(s.server), false);
  WideString dn;
  ASSERT_EQ(translator.translate(&dn, wide(s.netbios + "\\alice"), ADS_NAME_TYPE_NT4, ADS_NAME_TYPE_1779), S_OK);
  EXPECT_EQ(dn, wide(s.alice()));
  EXPECT_EQ(adsi::testing::connectionsOpened(), opened);

  // A wrong password never rides on that connection.
  NameTranslator wrong(wide(s.bindUser), wide(s.bindPassword + "x"), wide(s.server), false);
  EXPECT_EQ(wrong.translate(&dn, wide(s.netbios + "\\alice"), ADS_NAME_TYPE_NT4, ADS_NAME_TYPE_1779), logonFailure);

  // Credentials no object bind has used are authenticated anew and left out of the pool: an
  // object bind with them afterwards opens a connection of its own.
  Ptr<IADsNameTranslate> service;
  ASSERT_EQ(CoCreateInstance(CLSID_NameTranslate, nullptr, CLSCTX_ALL, IID_IADsNameTranslate, service.put()), S_OK);
  std::string user = account_ + "@" + s.domain;
  adsi::testing::clearPool();
  opened = adsi::testing::connectionsOpened();
  ASSERT_EQ(service->InitEx(ADS_NAME_INITTYPE_SERVER, Bstr(s.server).b, Bstr(user).b, Bstr("").b,
                            Bstr("First.Pw.2468").b),
            S_OK);
  EXPECT_EQ(adsi::testing::connectionsOpened(), opened + 1);
  Ptr<IADs> asUser;
  ASSERT_EQ(open(s.path("RootDSE"), user, "First.Pw.2468", ADS_SECURE_AUTHENTICATION, IID_IADs, asUser.put()), S_OK);
  EXPECT_EQ(adsi::testing::connectionsOpened(), opened + 2) << "the translation pooled nothing";
}

}  // namespace

namespace {

constexpr HRESULT lockedOut = static_cast<HRESULT>(0x80070775);
constexpr HRESULT accountExpired = static_cast<HRESULT>(0x80070701);
constexpr HRESULT mustChange = static_cast<HRESULT>(0x80070773);

// The seeded accounts in each state (tests/directory/lib/seed.sh), refused with the same status by
// a password check and by a bind with the account as the settings' account.
class AccountStates : public DirectoryTest {
 protected:
  HRESULT verify(const std::string& account, const std::string& password) {
    AdsiContext context(wide(s.bindUser), wide(s.bindPassword), wide(s.server), false);
    return context.verifyPassword(wide(account + "@" + s.domain), u"", wide(password));
  }
  HRESULT bindAs(const std::string& account, const std::string& password) {
    AdsiContext context(wide(account + "@" + s.domain), wide(password), wide(s.server), false);
    Ptr<IADs> root;
    return context.bindRootDse(reinterpret_cast<IADs**>(root.put()));
  }
  void expectBoth(const std::string& account, const std::string& password, HRESULT status) {
    EXPECT_EQ(verify(account, password), status) << account << " checked";
    EXPECT_EQ(bindAs(account, password), status) << account << " bound";
  }
  void setLockoutTime(const std::string& dn, int value) {
    Ptr<IADs> user;
    ASSERT_EQ(openAsAdmin(dn, IID_IADs, user.put()), S_OK);
    Var time;
    time.v.vt = VT_I4;
    time.v.lVal = value;
    ASSERT_EQ(user->Put(Bstr("lockoutTime").b, time.v), S_OK);
    ASSERT_EQ(user->SetInfo(), S_OK);
  }
};

TEST_F(AccountStates, EachStateHasItsStatusOnEveryPath) {
  expectBoth("alice", "Alice.Pw.123", S_OK);
  expectBoth("alice", "Not.Alices.Pw1", logonFailure);
  expectBoth("nobody-at-all", "Some.Pw.123", logonFailure);
  expectBoth("dora", "Dora.Pw.123", accountDisabled);
  expectBoth("expired", "Expired.Pw.123", accountExpired);
  expectBoth("mustchange", "Must.Change.Pw1", mustChange);

  // locky's own policy locks it after three wrong passwords; each check counts once. Other tests
  // lock it too: it starts unlocked.
  std::string locky = "CN=Lock Smith," + s.people();
  setLockoutTime(locky, 0);
  for (int i = 0; i < 2; ++i) EXPECT_EQ(verify("locky", "Wrong.Pw." + std::to_string(i)), logonFailure);
  EXPECT_EQ(verify("locky", "Locky.Pw.123"), S_OK) << "two wrong passwords do not lock it";
  for (int i = 0; i < 3; ++i) EXPECT_EQ(verify("locky", "Wrong.Pw." + std::to_string(i)), logonFailure);
  expectBoth("locky", "Locky.Pw.123", lockedOut);
  setLockoutTime(locky, 0);
  EXPECT_EQ(verify("locky", "Locky.Pw.123"), S_OK);
}

}  // namespace
