#include "adsi/failover.h"

#include <ldap.h>

#include <cstdlib>

#include "adsi/dc_locator.h"
#include "adsi/errors.h"
#include "adsi/pool.h"
#include "adsi/test_hooks.h"
#include "adsi/text.h"
#include "adsi/trace_lines.h"
#include "adsi/transport.h"

namespace winapi::adsi {

namespace {

std::atomic<int> downPeriodOverride{-1};  // atomic: tests set it while calls read it

DownServers& downServers() {
  static DownServers* instance = new DownServers();  // outlives every thread that may still mark one
  return *instance;
}

}  // namespace

void DownServers::markDown(const std::string& server, Clock::time_point now) {
  std::lock_guard<std::mutex> lock(mutex_);
  Mark& mark = marks_[toLowerAscii(server)];
  if (now >= mark.until) mark.since = now;  // a server still down keeps the time it went down
  mark.until = now + std::chrono::seconds(downPeriodSeconds());
  mark.lastTried = now;
  anyMarked_.store(true, std::memory_order_release);
}

void DownServers::markUp(const std::string& server) {
  std::lock_guard<std::mutex> lock(mutex_);
  marks_.erase(toLowerAscii(server));
}

bool DownServers::isDown(const std::string& server, Clock::time_point now) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = marks_.find(toLowerAscii(server));
  return it != marks_.end() && now < it->second.until;
}

bool DownServers::claimProbe(const std::vector<std::string>& servers, Clock::time_point now, std::string* chosen) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (probing_) return false;
  const Mark* oldest = nullptr;
  for (const std::string& server : servers) {
    auto it = marks_.find(toLowerAscii(server));
    if (it == marks_.end() || now >= it->second.until) continue;
    if (now - it->second.lastTried < std::chrono::seconds(probeIntervalSeconds)) continue;
    if (oldest == nullptr || it->second.since < oldest->since) {
      oldest = &it->second;
      *chosen = server;
    }
  }
  if (oldest == nullptr) return false;
  probing_ = true;
  return true;
}

void DownServers::endProbe() {
  std::lock_guard<std::mutex> lock(mutex_);
  probing_ = false;
}

void DownServers::clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  marks_.clear();
  anyMarked_.store(false, std::memory_order_release);
}

int downPeriodSeconds() {
  int overridden = downPeriodOverride.load();
  if (overridden >= 0) return overridden;
  static const int configured = [] {
    const char* text = std::getenv("ORVISTAL_DC_DOWN_SECONDS");
    int seconds = text != nullptr ? std::atoi(text) : -1;
    return seconds >= 0 ? seconds : defaultServerDownSeconds;
  }();
  return configured;
}

bool isUnansweredServer(HRESULT hr) {
  return hr == hresultFromLdapResult(LDAP_SERVER_DOWN) || hr == hresultFromLdapResult(LDAP_TIMEOUT) ||
         hr == hresultFromLdapResult(LDAP_CONNECT_ERROR);
}

bool isServerDown(const Endpoint& endpoint) {
  const DownServers& down = downServers();
  return down.anyMarked() && down.isDown(endpointKey(endpoint), DownServers::Clock::now());
}

void noteServerDown(const Endpoint& endpoint) {
  downServers().markDown(endpointKey(endpoint), DownServers::Clock::now());
  retireConnectionsTo(endpoint);
}

namespace {

// A server that says it is busy or unavailable answered, but cannot serve: the next one is asked.
// One that is unavailable is also remembered as down; one that is busy is asked again next call.
bool isRefusingService(HRESULT hr) {
  return hr == hresultFromLdapResult(LDAP_BUSY) || hr == hresultFromLdapResult(LDAP_UNAVAILABLE);
}

// When every candidate is remembered as down, one caller at a time asks again the one marked down
// longest (once probeIntervalSeconds have passed since it was last tried), instead of every caller
// failing until the marks run out: a server back in service is then found within seconds, while a
// server that stays silent holds one call in that many seconds. A server that answers is no longer
// remembered as down.
HRESULT probeOldestDown(const std::vector<Endpoint>& candidates,
                        const std::function<HRESULT(const Endpoint&)>& attempt) {
  std::vector<std::string> keys;
  for (const Endpoint& candidate : candidates) keys.push_back(endpointKey(candidate));
  DownServers& down = downServers();
  std::string chosen;
  if (!down.claimProbe(keys, DownServers::Clock::now(), &chosen))
    return failLdap(LDAP_SERVER_DOWN, "no server of the domain answered lately; they are tried again shortly");
  HRESULT hr = E_UNEXPECTED;
  for (const Endpoint& candidate : candidates) {
    if (endpointKey(candidate) != chosen) continue;
    forgetLastSetUp();
    hr = attempt(candidate);
    traceAttempt(candidate, hr);
    if (!isUnansweredServer(hr) && !isRefusingService(hr)) {
      down.markUp(chosen);
      keepController(candidate);
    } else if (!lastSetUpReachedServer() || hr == hresultFromLdapResult(LDAP_TIMEOUT)) {
      down.markDown(chosen, DownServers::Clock::now());
    }
    break;
  }
  down.endProbe();
  return hr;
}

}  // namespace

HRESULT firstAnswering(const std::vector<Endpoint>& candidates,
                       const std::function<HRESULT(const Endpoint&)>& attempt) {
  HRESULT last = S_OK;
  bool tried = false;
  std::vector<std::string> silentHosts;  // a host that did not answer on one port is not asked on another
  auto isSilent = [&](const Endpoint& candidate) {
    for (const std::string& host : silentHosts)
      if (equalsIgnoreCase(host, candidate.host)) return true;
    return false;
  };
  for (const Endpoint& candidate : candidates) {
    if (isServerDown(candidate) || isSilent(candidate)) { traceSkippedServer(candidate); continue; }
    tried = true;
    forgetLastSetUp();
    last = attempt(candidate);
    traceAttempt(candidate, last);
    if (!isUnansweredServer(last) && !isRefusingService(last)) {
      if (SUCCEEDED(last)) keepController(candidate);
      return last;
    }
    if (last == hresultFromLdapResult(LDAP_UNAVAILABLE)) noteServerDown(candidate);
    // Passed over either way; remembered as down only when it refused, could not be reached or
    // timed out (a certificate not trusted here, a refused StartTLS or a busy server is an answer:
    // the next call asks again).
    bool silent = !isRefusingService(last) && (last == hresultFromLdapResult(LDAP_TIMEOUT) || !lastSetUpReachedServer());
    if (silent) {
      silentHosts.push_back(candidate.host);
      for (const Endpoint& sameHost : candidates)
        if (equalsIgnoreCase(sameHost.host, candidate.host)) noteServerDown(sameHost);
    }
    // A password that left may have been counted, whatever became of its answer: it is never sent
    // to another server for the same call.
    if (passwordSentSinceSetUp()) return last;
  }
  if (tried) return last;
  return probeOldestDown(candidates, attempt);
}

namespace testing {

void forgetDownServers() { downServers().clear(); }

void setDownSecondsForTesting(int seconds) { downPeriodOverride = seconds; }

}  // namespace testing

}  // namespace winapi::adsi
