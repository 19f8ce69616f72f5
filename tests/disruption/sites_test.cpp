// The client's site in domain mode, against two DCs in two sites that do not replicate: a value
// written to each DC by name tells which DC a domain-mode read went to. This machine's own address
// lies in the first DC's site. Runs under tests/directory/with-test-dns.sh srv, whose DNS serves
// each site's records.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "adsi/test_hooks.h"
#include "adsi/text.h"
#include "calling_threads.h"
#include "directory/adsi_context.h"
#include "directory/values.h"
#include "samba_processes.h"
#include "trace/trace.h"

namespace adsi = winapi::adsi;
using std::chrono::seconds;

namespace disruption {
namespace {

constexpr int affinitySeconds = 8;
constexpr int downSeconds = 5;

class Sites : public ::testing::Test {
 protected:
  void SetUp() override {
    if (librarytest::env("ORVISTAL_TEST_SITE1").empty()) GTEST_SKIP() << "the test directory has no sites";
    for (const char* dc : {"dc1", "dc2"}) ASSERT_TRUE(waitUntilAnswering(seconds(60), dc)) << dc << " is not answering";
    orvistal::trace::settle(orvistal::trace::settingsFromEnvironment());  // ORVISTAL_TRACE shows where each call went
    adsi::testing::clearPool();
    adsi::testing::setAffinitySecondsForTesting(affinitySeconds);
    adsi::testing::setDownSecondsForTesting(downSeconds);
  }
  void TearDown() override {
    adsi::testing::setAffinitySecondsForTesting(-1);
    adsi::testing::setDownSecondsForTesting(-1);
    for (const char* dc : {"dc1", "dc2"}) {
      if (!waitUntilAnswering(seconds(10), dc)) EXPECT_EQ(runStartScript(std::string("start ") + dc), 0);
    }
    // Both put back (dc1 too, should the test have stopped before dc1 was started afresh).
    for (const std::u16string& server : {caller.server, caller.server2}) {
      ComApartment apartment;
      VariantArray none;
      EXPECT_EQ(onDc(server).setAttributeStringArray(AttributeTarget::user, alice, u"info", ADS_PROPERTY_CLEAR, none),
                S_OK);
    }
  }

  AdsiContext onDc(const std::u16string& server) const { return AdsiContext(admin, adminPassword, server, false); }
  // Written to one DC by name: a DC just back may still be remembered as down for a few seconds.
  void mark(const std::u16string& server, const std::u16string& value) const {
    HRESULT written = E_FAIL;
    for (auto start = Clock::now(); written != S_OK && Clock::now() - start < seconds(15);
         std::this_thread::sleep_for(std::chrono::milliseconds(500))) {
      ComApartment apartment;
      written = onDc(server).setAttributeString(AttributeTarget::user, alice, u"info", value);
    }
    ASSERT_EQ(written, S_OK);
  }
  // Which DC a call in domain mode read from ("" when it failed).
  std::u16string answeringDc() const {
    ComApartment apartment;  // one per call, as each native call enters its own: no read outlives it
    WideString value;
    AdsiContext context(admin, adminPassword, caller.domain, true);
    lastStatus = context.getAttributeString(AttributeTarget::user, alice, u"info", &value);
    lastValue = value;
    return lastStatus == S_OK ? value : u"";
  }
  // Calls until one reads from the DC, within the limit; the seconds it took, or -1.
  double secondsUntilAnswering(const std::u16string& dc, seconds limit) const {
    auto start = Clock::now();
    while (Clock::now() - start < limit) {
      if (answeringDc() == dc) return std::chrono::duration<double>(Clock::now() - start).count();
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return -1;
  }

  struct : librarytest::Directory {
    std::u16string server2 = librarytest::env("ORVISTAL_TEST_SERVER2");
  } caller;
  mutable HRESULT lastStatus = S_OK;  // of the last call in domain mode, and what it read
  mutable WideString lastValue;
  std::u16string admin = librarytest::env("ORVISTAL_TEST_ADMIN_USER");
  std::u16string adminPassword = librarytest::env("ORVISTAL_TEST_ADMIN_PASSWORD");
  WideString alice = caller.aliceDn();
};

TEST_F(Sites, CallsStayOnTheSitesDcLeaveItOnlyWhileItIsOutAndComeBackWithinTheKeptPeriod) {
  ASSERT_NO_FATAL_FAILURE(mark(caller.server, u"dc1"));
  ASSERT_NO_FATAL_FAILURE(mark(caller.server2, u"dc2"));
  int elsewhere = 0;
  for (int call = 0; call < 100; ++call) elsewhere += answeringDc() != u"dc1";
  EXPECT_EQ(elsewhere, 0) << "calls went to the other site's DC while the site's own answered";
  EXPECT_EQ(adsi::toUtf16(adsi::testing::clientSiteForTesting(adsi::toUtf8(caller.domain))),
            librarytest::env("ORVISTAL_TEST_SITE1"));

  ASSERT_EQ(runStartScript("stop dc1"), 0);
  EXPECT_GE(secondsUntilAnswering(u"dc2", seconds(20)), 0)
      << "no call reached the other site's DC; the last answered 0x" << std::hex << lastStatus << " "
      << adsi::toUtf8(lastValue);
  elsewhere = 0;
  for (int call = 0; call < 20; ++call) elsewhere += answeringDc() != u"dc2";
  EXPECT_EQ(elsewhere, 0) << "calls left the other site's DC while the site's own was out";

  ASSERT_EQ(runStartScript("start dc1"), 0);
  ASSERT_TRUE(waitUntilAnswering(seconds(60), "dc1"));
  ASSERT_NO_FATAL_FAILURE(mark(caller.server, u"dc1"));  // a start begins from the golden copy
  double back = secondsUntilAnswering(u"dc1", seconds(affinitySeconds + downSeconds + 10));
  EXPECT_GE(back, 0) << "calls did not come back to the site's own DC";
  EXPECT_LE(back, affinitySeconds + downSeconds + 2);
}

}  // namespace
}  // namespace disruption
