// The test directory frozen, stopped and killed under eight calling threads: every call comes
// back within its bound, nothing crashes, and once the directory answers again the next call of
// every thread succeeds. These tests disturb the directory for everyone: they run alone, after
// every other test that uses it, and leave it running and answering.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "adsi/connection.h"
#include "directory/adsi_context.h"
#include "directory/name_translator.h"
#include "library_env.h"
#include "objbase.h"
#include "samba_processes.h"

namespace adsi = winapi::adsi;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using std::chrono::seconds;

namespace {

// Short wait limits, so that a wait which never ends shows well within a short disruption.
constexpr int networkSeconds = 1;
constexpr int operationSeconds = 2;
// The longest chain of waits one call can meet: a pooled connection's answer that never comes,
// then the one retry on a new connection (connect and TLS, then its answer); plus room for a
// loaded machine.
constexpr seconds callBound{2 * (networkSeconds + operationSeconds) + 4};
// Longer than any call may take, so that a call which waits for the whole freeze shows.
constexpr seconds freezeLength = callBound + seconds(2);
constexpr int callerThreads = 8;
constexpr int maxCallsPerThread = 4000;
constexpr seconds callingAfterRecovery{5};
constexpr seconds recoveryLimit{120};

long msBetween(Clock::time_point from, Clock::time_point to) {
  return static_cast<long>(std::chrono::duration_cast<milliseconds>(to - from).count());
}

enum class Kind { ResolveUser, ResolveGroup, Translate, VerifyPassword };
constexpr int kindCount = 4;
const char* nameOf(Kind kind) {
  switch (kind) {
    case Kind::ResolveUser: return "resolveUser";
    case Kind::ResolveGroup: return "resolveGroup";
    case Kind::Translate: return "translate";
    default: return "verifyPassword";
  }
}

struct Call {
  Kind kind;
  HRESULT status;
  bool wrongAnswer;
  Clock::time_point start;
  Clock::time_point end;
};

// The calls each native makes, with contexts built afresh as every native call builds them.
struct Caller : librarytest::Directory {
  std::u16string groupDn = u"CN=g-devs,OU=Groups,OU=Orvistal," + baseDn;

  Call make(Kind kind) const {
    Call call{kind, E_FAIL, false, Clock::now(), {}};
    WideString logonName, dn;
    switch (kind) {
      case Kind::ResolveUser: {
        AdsiContext context = bound();
        call.status = context.resolveUser(u"alice", u"", &logonName, &dn);
        call.wrongAnswer = call.status == S_OK && dn != aliceDn();
        break;
      }
      case Kind::ResolveGroup: {
        AdsiContext context = bound();
        call.status = context.resolveGroup(u"g-devs", &dn);
        call.wrongAnswer = call.status == S_OK && dn != groupDn;
        break;
      }
      case Kind::Translate: {
        NameTranslator translator(bindUser, bindPassword, server, false);
        call.status = translator.translate(&dn, netbios + u"\\alice", ADS_NAME_TYPE_NT4, ADS_NAME_TYPE_1779);
        call.wrongAnswer = call.status == S_OK && dn != aliceDn();
        break;
      }
      case Kind::VerifyPassword: {
        AdsiContext context = bound();
        call.status = context.verifyPassword(u"alice@" + domain, u"", u"Alice.Pw.123");
        break;
      }
    }
    call.end = Clock::now();
    return call;
  }
};

struct CallRecord {
  std::vector<std::vector<Call>> callsByThread;
  Clock::time_point disruptedAt;
  Clock::time_point answeringAt;
  bool answering = false;
};

// Eight threads call on and on while disrupt() runs, until the directory has answered again
// for a few seconds. Each thread keeps to a bounded number of calls and pauses a little between
// them, more after a failure, so that a directory that is down is not hammered.
template <typename Disrupt>
CallRecord callThrough(const Caller& caller, Disrupt disrupt) {
  CallRecord run;
  run.callsByThread.resize(callerThreads);
  std::atomic<bool> stop{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < callerThreads; ++t) {
    threads.emplace_back([&, t] {
      ComApartment apartment;
      std::vector<Call>& calls = run.callsByThread[t];
      calls.reserve(maxCallsPerThread);
      for (int n = 0; !stop.load() && n < maxCallsPerThread; ++n) {
        calls.push_back(caller.make(static_cast<Kind>((t + n) % kindCount)));
        std::this_thread::sleep_for(milliseconds(calls.back().status == S_OK ? 10 : 50));
      }
    });
  }
  std::this_thread::sleep_for(milliseconds(1500));  // calls under way before the disruption
  run.disruptedAt = Clock::now();
  disrupt();
  run.answering = disruption::waitUntilAnswering(recoveryLimit);
  run.answeringAt = Clock::now();
  std::this_thread::sleep_for(callingAfterRecovery);
  stop = true;
  for (std::thread& thread : threads) thread.join();
  return run;
}

// What the issue asks of every run: each call within its bound and never a wrong answer, and
// each thread's first call made once the directory answers again a success.
void checkAndReport(const char* what, const CallRecord& run) {
  ASSERT_TRUE(run.answering) << "the directory did not answer again within " << recoveryLimit.count() << " s";
  long longest = 0, firstSuccessMs = -1;
  const Call* slowest = nullptr;
  int total = 0, failed = 0, wrong = 0;
  std::set<HRESULT> failures;
  for (size_t t = 0; t < run.callsByThread.size(); ++t) {
    const std::vector<Call>& calls = run.callsByThread[t];
    bool sawFirstAfterRecovery = false;
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
      if (call.start >= run.answeringAt && !sawFirstAfterRecovery) {
        sawFirstAfterRecovery = true;
        EXPECT_EQ(call.status, S_OK) << what << ": thread " << t << "'s first call after the directory answered again ("
                                     << nameOf(call.kind) << ") failed with 0x" << std::hex << call.status;
      }
      if (call.start >= run.answeringAt && call.status == S_OK) {
        long sinceAnswering = msBetween(run.answeringAt, call.end);
        if (firstSuccessMs < 0 || sinceAnswering < firstSuccessMs) firstSuccessMs = sinceAnswering;
      }
    }
    EXPECT_TRUE(sawFirstAfterRecovery) << what << ": thread " << t << " made no call after the directory answered";
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
  Caller caller;
  std::vector<pid_t> frozen;
};

TEST_F(Disruption, FrozenAndResumed) {
  CallRecord run = callThrough(caller, [&] {
    frozen = disruption::stopSambaProcesses();
    std::this_thread::sleep_for(freezeLength);
    disruption::signalEach(frozen, SIGCONT);
  });
  ASSERT_FALSE(frozen.empty()) << "no samba process was found to freeze";
  frozen.clear();
  checkAndReport("frozen", run);
}

TEST_F(Disruption, StoppedAndRestarted) {
  CallRecord run = callThrough(caller, [&] {
    EXPECT_EQ(disruption::runStartScript("stop"), 0);
    EXPECT_EQ(disruption::recordedSambaPid(), 0);
    EXPECT_EQ(disruption::runStartScript("start"), 0);
  });
  checkAndReport("stopped", run);
}

TEST_F(Disruption, KilledAndRestarted) {
  std::vector<pid_t> killed;
  CallRecord run = callThrough(caller, [&] {
    // Stopped first, so that no worker is forked between finding the processes and killing them.
    killed = disruption::stopSambaProcesses();
    disruption::signalEach(killed, SIGKILL);
    EXPECT_TRUE(disruption::waitUntilGone(killed, milliseconds(10'000))) << "a killed samba process lives on";
    EXPECT_NE(disruption::runStartScript("status >/dev/null 2>&1"), 0) << "a killed directory still answers";
    EXPECT_EQ(disruption::runStartScript("start"), 0) << "the start script copes with a killed directory";
  });
  ASSERT_GT(killed.size(), 1u) << "the master and its workers were killed";
  checkAndReport("killed", run);
}

}  // namespace
