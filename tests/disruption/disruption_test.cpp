// The test directory frozen, stopped and killed under eight calling threads: every call comes
// back within its bound, nothing crashes, and once the directory answers again and the time a
// server that did not answer is passed over has run out, the next call of every thread
// succeeds. These tests disturb the directory for everyone: they run alone, after
// every other test that uses it, and leave it running and answering.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "adsi/connection.h"
#include "adsi/failover.h"
#include "calling_threads.h"
#include "samba_processes.h"

namespace adsi = winapi::adsi;
using disruption::Call;
using disruption::CallRecord;
using disruption::Clock;
using disruption::msBetween;
using disruption::nameOf;
using disruption::recoveryLimit;
using std::chrono::milliseconds;
using std::chrono::seconds;

namespace {

// Short wait limits, so that a wait which never ends shows well within a short disruption.
constexpr int networkSeconds = 1;
constexpr int operationSeconds = 2;
constexpr seconds callBound = disruption::boundFor(networkSeconds, operationSeconds);
// Longer than any call may take, so that a call which waits for the whole freeze shows.
constexpr seconds freezeLength = callBound + seconds(2);

// A server that did not answer is remembered as down, but with no other, one call at a time asks
// it again: once it answers, a call finds it within one call's bound (a probe that was already
// waiting on it when it came back), never only when its mark runs out.
constexpr seconds probedAgain = callBound + seconds(2);
static_assert(probedAgain < seconds(adsi::defaultServerDownSeconds));
constexpr seconds callingAfterRecovery = probedAgain + seconds(5);

// What every run must show: each call within its bound and never a wrong answer, and each
// thread's first call made once the directory has answered again for longer than a server is
// remembered as down a success.
void checkAndReport(const char* what, const CallRecord& run) {
  ASSERT_TRUE(run.answering) << "the directory did not answer again within " << recoveryLimit.count() << " s";
  long longest = 0, firstSuccessMs = -1;
  const Call* slowest = nullptr;
  int total = 0, failed = 0, wrong = 0;
  std::set<HRESULT> failures;
  for (size_t t = 0; t < run.callsByThread.size(); ++t) {
    const std::vector<Call>& calls = run.callsByThread[t];
    bool sawFirstAfterRecovery = false;
    Clock::time_point triedAgain = run.answeringAt + probedAgain;
    for (const Call& call : calls) {
      ++total;
      long ms = msBetween(call.start, call.end);
      if (ms > longest) {
        longest = ms;
        slowest = &call;
      }
      if (call.wrongAnswer) ++wrong;
      if (call.status != S_OK) {
        ++failed;
        failures.insert(call.status);
      }
      if (call.start >= triedAgain && !sawFirstAfterRecovery) {
        sawFirstAfterRecovery = true;
        EXPECT_EQ(call.status, S_OK) << what << ": thread " << t << "'s first call once the directory was tried again ("
                                     << nameOf(call.kind) << ") failed with 0x" << std::hex << call.status;
      }
      if (call.start >= run.answeringAt && call.status == S_OK) {
        long sinceAnswering = msBetween(run.answeringAt, call.end);
        if (firstSuccessMs < 0 || sinceAnswering < firstSuccessMs) firstSuccessMs = sinceAnswering;
      }
    }
    EXPECT_TRUE(sawFirstAfterRecovery) << what << ": thread " << t << " made no call once the directory was tried again";
  }
  std::string statuses;
  for (HRESULT status : failures) {
    char text[16];
    std::snprintf(text, sizeof text, " 0x%08X", static_cast<unsigned>(status));
    statuses += text;
  }
  std::printf("%s: %d calls, %d failed (%s ), longest %ld ms (%s), directory answering again %ld ms after the "
              "disruption began, first success %ld ms after that\n",
              what, total, failed, statuses.empty() ? " none" : statuses.c_str(), longest,
              slowest != nullptr ? nameOf(slowest->kind) : "-", msBetween(run.disruptedAt, run.answeringAt),
              firstSuccessMs);
  EXPECT_LE(longest, msBetween(Clock::time_point(), Clock::time_point(callBound)))
      << what << ": a call (" << (slowest != nullptr ? nameOf(slowest->kind) : "-") << ") outlasted its bound";
  EXPECT_EQ(wrong, 0) << what << ": a call succeeded with a wrong answer";
  EXPECT_GT(failed, 0) << what << ": no call noticed the disruption; was the directory disturbed at all?";
}

class Disruption : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(caller.server.empty()) << "the test directory's environment is not set";
    ASSERT_TRUE(disruption::waitUntilAnswering(seconds(60))) << "the test directory is not answering";
    adsi::testing::setWaitLimitsForTesting(networkSeconds, operationSeconds);
    adsi::testing::clearPool();  // nothing remembered from an earlier disruption
  }

  // Whatever happened, the directory is left running and answering for everyone else.
  void TearDown() override {
    disruption::signalEach(frozen, SIGCONT);
    adsi::testing::setWaitLimitsForTesting(0, 0);
    if (!disruption::waitUntilAnswering(seconds(10))) {
      EXPECT_EQ(disruption::runStartScript("start"), 0);
      EXPECT_TRUE(disruption::waitUntilAnswering(seconds(60)));
    }
  }

  ComApartment apartment;
  disruption::Caller caller;
  std::vector<pid_t> frozen;
};

TEST_F(Disruption, FrozenAndResumed) {
  CallRecord run = disruption::callThrough(caller, [&] {
    frozen = disruption::stopSambaProcesses();
    std::this_thread::sleep_for(freezeLength);
    disruption::signalEach(frozen, SIGCONT);
  }, "dc1", callingAfterRecovery);
  ASSERT_FALSE(frozen.empty()) << "no samba process was found to freeze";
  frozen.clear();
  checkAndReport("frozen", run);
}

TEST_F(Disruption, StoppedAndRestarted) {
  CallRecord run = disruption::callThrough(caller, [&] {
    EXPECT_EQ(disruption::runStartScript("stop"), 0);
    EXPECT_EQ(disruption::recordedSambaPid(), 0);
    EXPECT_EQ(disruption::runStartScript("start"), 0);
  }, "dc1", callingAfterRecovery);
  checkAndReport("stopped", run);
}

TEST_F(Disruption, KilledAndRestarted) {
  std::vector<pid_t> killed;
  CallRecord run = disruption::callThrough(caller, [&] {
    // Stopped first, so that no worker is forked between finding the processes and killing them.
    killed = disruption::stopSambaProcesses();
    disruption::signalEach(killed, SIGKILL);
    EXPECT_TRUE(disruption::waitUntilGone(killed, milliseconds(10'000))) << "a killed samba process lives on";
    EXPECT_NE(disruption::runStartScript("status >/dev/null 2>&1"), 0) << "a killed directory still answers";
    EXPECT_EQ(disruption::runStartScript("start"), 0) << "the start script copes with a killed directory";
  }, "dc1", callingAfterRecovery);
  ASSERT_GT(killed.size(), 1u) << "the master and its workers were killed";
  checkAndReport("killed", run);
}

}  // namespace
