// Two DCs of the test domain, each stopped, frozen and killed in turn under eight threads that
// call in domain mode, where the library finds a DC itself. Runs on a machine whose DNS serves
// the DCs' SRV records (tests/directory/with-test-dns.sh srv). While one DC is out, the calls
// go to the other: after one call bound from the fault no call fails and none waits on the
// DC that is out (none takes as long as one wait limit), so a frozen DC costs only the calls
// that were already waiting on it.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "adsi/connection.h"
#include "adsi/text.h"
#include "calling_threads.h"
#include "directory/adsi_context.h"
#include "directory/values.h"
#include "samba_processes.h"
#include "trace/trace.h"

namespace adsi = winapi::adsi;
using std::chrono::milliseconds;
using std::chrono::seconds;

namespace disruption {
namespace {

// Longer wait limits than for one DC, so that a call which waited on a DC that does not answer
// stands out from a call slowed down by a busy machine.
constexpr int networkSeconds = 3;
constexpr int operationSeconds = 4;
constexpr seconds callBound = boundFor(networkSeconds, operationSeconds);
// The DC stays out this long: after the first bound, some seconds in which every call must
// go straight to the other DC.
constexpr seconds outage = callBound + seconds(6);

enum class Fault { Stopped, Frozen, Killed };
const char* nameOf(Fault fault) {
  return fault == Fault::Stopped ? "stopped" : fault == Fault::Frozen ? "frozen" : "killed";
}

class Failover : public ::testing::TestWithParam<std::tuple<const char*, Fault>> {
 protected:
  void SetUp() override {
    ASSERT_FALSE(caller.domain.empty()) << "the test directory's environment is not set";
    ASSERT_NE(std::getenv("ORVISTAL_TEST_DNS_MODE"), nullptr) << "runs under tests/directory/with-test-dns.sh";
    for (const char* dc : {"dc1", "dc2"})
      ASSERT_TRUE(waitUntilAnswering(seconds(60), dc)) << dc << " is not answering";
    caller.domainMode = true;
    orvistal::trace::settle(orvistal::trace::settingsFromEnvironment());  // ORVISTAL_TRACE shows each step
    adsi::testing::setWaitLimitsForTesting(networkSeconds, operationSeconds);
    adsi::testing::clearPool();  // nothing remembered from an earlier fault
  }

  // Whatever happened, both DCs are left running and answering.
  void TearDown() override {
    signalEach(frozen, SIGCONT);
    adsi::testing::setWaitLimitsForTesting(0, 0);
    for (const char* dc : {"dc1", "dc2"}) {
      if (waitUntilAnswering(seconds(10), dc)) continue;
      EXPECT_EQ(runStartScript(std::string("start ") + dc), 0);
      EXPECT_TRUE(waitUntilAnswering(seconds(60), dc));
    }
  }

  // Takes the DC out for the outage, then brings it back; the time it came back.
  Clock::time_point takeOut(const std::string& dc, Fault fault) {
    Clock::time_point start = Clock::now();
    std::vector<pid_t> killed;
    switch (fault) {
      case Fault::Stopped: EXPECT_EQ(runStartScript("stop " + dc), 0); break;
      case Fault::Frozen: frozen = stopSambaProcesses(dc); break;
      case Fault::Killed:
        killed = stopSambaProcesses(dc);
        signalEach(killed, SIGKILL);
        EXPECT_TRUE(waitUntilGone(killed, milliseconds(10'000))) << "a killed samba process lives on";
        break;
    }
    if (fault == Fault::Frozen) {
      EXPECT_FALSE(frozen.empty()) << "no samba process of " << dc << " to freeze";
    } else if (fault == Fault::Killed) {
      EXPECT_GT(killed.size(), 1u) << "the master and its workers were killed";
    }
    std::this_thread::sleep_until(start + outage);
    Clock::time_point back = Clock::now();
    if (fault == Fault::Frozen) {
      signalEach(frozen, SIGCONT);
      frozen.clear();
    } else {
      EXPECT_EQ(runStartScript("start " + dc), 0);
    }
    return back;
  }

  Caller caller;
  std::vector<pid_t> frozen;
};

TEST_P(Failover, CallsGoOnThroughTheOtherDc) {
  const std::string dc = std::get<0>(GetParam());
  const Fault fault = std::get<1>(GetParam());
  ComApartment apartment;
  Clock::time_point back;
  CallRecord run = callThrough(caller, [&] { back = takeOut(dc, fault); }, dc, seconds(5));
  ASSERT_TRUE(run.answering) << dc << " did not answer again";

  // After the first bound from the fault the other DC carries every call, until the end.
  Clock::time_point settled = run.disruptedAt + callBound;
  int total = 0, failed = 0, failedAfterSettling = 0, wrong = 0, whileOut = 0, waitedWhileOut = 0;
  long longest = 0, longestWhileOut = 0;
  const Call* slowest = nullptr;
  for (const std::vector<Call>& calls : run.callsByThread) {
    for (const Call& call : calls) {
      long ms = msBetween(call.start, call.end);
      ++total;
      if (ms > longest) {
        longest = ms;
        slowest = &call;
      }
      if (call.wrongAnswer) ++wrong;
      if (call.status != S_OK) ++failed;
      // A call under way on the DC when it went out may fail; no other.
      bool outsideTheFirstBound = call.end < run.disruptedAt || call.start >= settled;
      if (outsideTheFirstBound && call.status != S_OK) {
        ++failedAfterSettling;
        ADD_FAILURE() << nameOf(call.kind) << " started " << msBetween(run.disruptedAt, call.start)
                      << " ms after the fault failed with 0x" << std::hex << call.status;
      }
      if (call.start >= settled && call.start < back) {
        ++whileOut;
        longestWhileOut = std::max(longestWhileOut, ms);
        if (ms >= networkSeconds * 1000) ++waitedWhileOut;
      }
    }
  }
  std::printf("%s %s: %d calls, %d failed (%d after the first bound), longest %ld ms (%s, from %ld ms after the "
              "fault); %d calls while it was out after the first bound, longest %ld ms\n",
              dc.c_str(), nameOf(fault), total, failed, failedAfterSettling, longest,
              slowest != nullptr ? nameOf(slowest->kind) : "-",
              slowest != nullptr ? msBetween(run.disruptedAt, slowest->start) : 0L, whileOut, longestWhileOut);
  EXPECT_LE(longest, msBetween(Clock::time_point(), Clock::time_point(callBound))) << "a call outlasted its bound";
  EXPECT_EQ(wrong, 0) << "a call succeeded with a wrong answer";
  EXPECT_GE(whileOut, callerThreads) << "too few calls while the DC was out to tell anything";
  EXPECT_EQ(waitedWhileOut, 0) << "calls made after the first bound still waited on the DC that was out";
}

// The two DCs do not replicate: a value written on one is never read on the other. Calls that
// each build their own context, as the natives do, keep to one DC of the domain, so every call
// reads what the call before it wrote.
TEST(Affinity, EachCallReadsTheValueTheCallBeforeWrote) {
  Caller caller;
  caller.domainMode = true;
  adsi::testing::clearPool();
  const WideString alice = caller.aliceDn();
  const std::u16string admin = librarytest::env("ORVISTAL_TEST_ADMIN_USER");
  const std::u16string adminPassword = librarytest::env("ORVISTAL_TEST_ADMIN_PASSWORD");
  auto context = [&] { return AdsiContext(admin, adminPassword, caller.domain, true); };
  // Each call in an apartment entry of its own, as each native call is: nothing it read outlives it.
  auto write = [&](const WideString& value) {
    ComApartment apartment;
    return context().setAttributeString(AttributeTarget::user, alice, u"info", value);
  };
  auto read = [&](WideString* value) {
    ComApartment apartment;
    return context().getAttributeString(AttributeTarget::user, alice, u"info", value);
  };
  WideString original;
  HRESULT had = read(&original);
  int stale = 0, failed = 0;
  for (int round = 0; round < 100; ++round) {
    WideString written = u"affinity " + winapi::adsi::toUtf16(std::to_string(round)), readBack;
    if (write(written) != S_OK || read(&readBack) != S_OK) {
      ++failed;
      continue;
    }
    if (readBack != written) ++stale;
  }
  EXPECT_EQ(failed, 0);
  EXPECT_EQ(stale, 0) << "a read went to the other DC than the write before it";
  // Put back, through the same DC.
  ComApartment apartment;
  if (had == S_OK) {
    EXPECT_EQ(context().setAttributeString(AttributeTarget::user, alice, u"info", original), S_OK);
  } else {
    VariantArray none;
    EXPECT_EQ(context().setAttributeStringArray(AttributeTarget::user, alice, u"info", ADS_PROPERTY_CLEAR, none), S_OK);
  }
}

INSTANTIATE_TEST_SUITE_P(EachDcEachFault, Failover,
                         ::testing::Combine(::testing::Values("dc1", "dc2"),
                                            ::testing::Values(Fault::Stopped, Fault::Frozen, Fault::Killed)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param)) + "_" + nameOf(std::get<1>(info.param));
                         });

}  // namespace
}  // namespace disruption
