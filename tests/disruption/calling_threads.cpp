#include "calling_threads.h"

#include <atomic>
#include <thread>

#include "directory/adsi_context.h"
#include "directory/name_translator.h"
#include "samba_processes.h"

namespace disruption {

namespace {
constexpr int maxCallsPerThread = 4000;
}  // namespace

long msBetween(Clock::time_point from, Clock::time_point to) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count());
}

const char* nameOf(Kind kind) {
  switch (kind) {
    case Kind::ResolveUser: return "resolveUser";
    case Kind::ResolveGroup: return "resolveGroup";
    case Kind::Translate: return "translate";
    default: return "verifyPassword";
  }
}

Call Caller::make(Kind kind) const {
  Call call{kind, E_FAIL, false, Clock::now(), {}};
  const std::u16string& where = domainMode ? domain : server;
  std::u16string groupDn = u"CN=g-devs,OU=Groups,OU=Orvistal," + baseDn;
  WideString logonName, dn;
  switch (kind) {
    case Kind::ResolveUser: {
      AdsiContext context(bindUser, bindPassword, where, domainMode);
      call.status = context.resolveUser(u"alice", u"", &logonName, &dn);
      call.wrongAnswer = call.status == S_OK && dn != aliceDn();
      break;
    }
    case Kind::ResolveGroup: {
      AdsiContext context(bindUser, bindPassword, where, domainMode);
      call.status = context.resolveGroup(u"g-devs", &dn);
      call.wrongAnswer = call.status == S_OK && dn != groupDn;
      break;
    }
    case Kind::Translate: {
      NameTranslator translator(bindUser, bindPassword, where, domainMode);
      call.status = translator.translate(&dn, netbios + u"\\alice", ADS_NAME_TYPE_NT4, ADS_NAME_TYPE_1779);
      call.wrongAnswer = call.status == S_OK && dn != aliceDn();
      break;
    }
    case Kind::VerifyPassword: {
      AdsiContext context(bindUser, bindPassword, where, domainMode);
      call.status = context.verifyPassword(u"alice@" + domain, u"", u"Alice.Pw.123");
      break;
    }
  }
  call.end = Clock::now();
  return call;
}

CallRecord callThrough(const Caller& caller, const std::function<void()>& disrupt, const std::string& dc,
                       std::chrono::seconds callingAfter) {
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
        calls.push_back(caller.make(static_cast<Kind>((t + n) % 4)));
        std::this_thread::sleep_for(std::chrono::milliseconds(calls.back().status == S_OK ? 10 : 50));
      }
    });
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // calls under way before the disruption
  run.disruptedAt = Clock::now();
  disrupt();
  run.answering = waitUntilAnswering(recoveryLimit, dc);
  run.answeringAt = Clock::now();
  std::this_thread::sleep_for(callingAfter);
  stop = true;
  for (std::thread& thread : threads) thread.join();
  return run;
}

}  // namespace disruption
