// The node access check logs its account on at a DC the library finds itself, with no URI in
// the LDAP configuration: run under tests/directory/with-test-dns.sh, once per way the machine
// offers its DCs. The call's settings name the DC that holds the node; the logon has only the
// account's domain. The verdicts are those the seeded access rules give.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "adsi/dc_locator.h"
#include "adsi/text.h"
#include "library_env.h"

namespace {

using librarytest::env;

constexpr DWORD writeProperty = 0x20;
constexpr DWORD accessDenied = 5;

struct Verdict {
  HRESULT status;
  DWORD granted;
  DWORD accessStatus;
};

class LocatedLogon : public librarytest::LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    ASSERT_FALSE(mode.empty()) << "runs under tests/directory/with-test-dns.sh";
    ASSERT_EQ(std::getenv("LDAPURI"), nullptr);
  }

  Verdict check(const std::u16string& user, const std::u16string& password, const std::u16string& dn) const {
    AdsiContext context(user, password, env("ORVISTAL_TEST_SERVER"), false);
    Verdict verdict{E_UNEXPECTED, 0xDEAD, 0xDEAD};
    verdict.status = context.checkNodeAccess(dn, writeProperty, &verdict.granted, &verdict.accessStatus);
    return verdict;
  }

  std::u16string mode = env("ORVISTAL_TEST_DNS_MODE");
  std::u16string domain = env("ORVISTAL_TEST_DOMAIN");
  std::u16string bindPassword = env("ORVISTAL_TEST_BIND_PASSWORD");
  std::u16string delegated = u"OU=Delegated,OU=Orvistal," + base;
  std::u16string wanda = u"CN=Wanda Writable," + delegated;
  std::u16string dennis = u"CN=Dennis Denied," + delegated;
};

TEST_F(LocatedLogon, VerdictsForEveryFormOfAccountName) {
  if (mode == u"none") {
    Verdict nowhere = check(u"orvbind@" + domain, bindPassword, wanda);
    EXPECT_EQ(nowhere.status, HRESULT_FROM_WIN32(ERROR_NO_LOGON_SERVERS)) << "nothing leads to a DC here";
    EXPECT_EQ(nowhere.granted, 0u);
    EXPECT_EQ(nowhere.accessStatus, accessDenied) << "a failed check reads as a denial";
    return;
  }
  struct Case {
    std::u16string user;
    std::u16string password;
    std::u16string dn;
    HRESULT status;
    DWORD accessStatus;
  } cases[] = {
      {u"orvbind@" + domain, bindPassword, wanda, S_OK, 0},                 // by the principal name's suffix
      {env("ORVISTAL_TEST_NETBIOS") + u"\\orvbind", bindPassword, wanda, S_OK, 0},  // by the NT4 domain
      {u"orvbind@" + domain, bindPassword, dennis, S_OK, accessDenied},     // an explicit deny
      {u"alice@" + domain, u"Alice.Pw.123", wanda, S_OK, accessDenied},     // no delegation for alice
      {u"alice@" + domain, u"Alice.Pw.124", wanda, HRESULT_FROM_WIN32(ERROR_LOGON_FAILURE), accessDenied},
  };
  for (const Case& expected : cases) {
    SCOPED_TRACE(winapi::adsi::toUtf8(expected.user) + " on " + winapi::adsi::toUtf8(expected.dn));
    Verdict verdict = check(expected.user, expected.password, expected.dn);
    EXPECT_EQ(verdict.status, expected.status);
    EXPECT_EQ(verdict.accessStatus, expected.accessStatus);
    EXPECT_EQ(verdict.granted, expected.accessStatus == 0 ? writeProperty : 0u);
  }
}

// The Global Catalog comes from the forest's own _gc records, which name only the DC that is one;
// without DNS, from the controllers whose root entry says they are one.
TEST_F(LocatedLogon, TheGlobalCatalogIsOnlyADcThatIsOne) {
  std::vector<winapi::adsi::Endpoint> catalogs;
  HRESULT found = winapi::adsi::locateGlobalCatalogs(0, &catalogs);
  if (mode != u"srv") {
    EXPECT_NE(found, S_OK) << "no DNS, no Global Catalog records";
    return;
  }
  ASSERT_EQ(found, S_OK);
  ASSERT_EQ(catalogs.size(), 1u);
  EXPECT_EQ(winapi::adsi::toUtf16(catalogs[0].host), env("ORVISTAL_TEST_SERVER"));
  EXPECT_EQ(catalogs[0].port, 3268);
}

}  // namespace
