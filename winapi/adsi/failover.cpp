#include "adsi/failover.h"

#include <ldap.h>

#include "adsi/errors.h"
#include "adsi/pool.h"
#include "adsi/test_hooks.h"
#include "adsi/text.h"
#include "adsi/trace_lines.h"
#include "adsi/transport.h"

namespace winapi::adsi {

namespace {

DownServers& downServers() {
  static DownServers* instance = new DownServers();  // outlives every thread that may still mark one
  return *instance;
}

}  // namespace

void DownServers::markDown(const std::string& server, Clock::time_point now) {
  std::lock_guard<std::mutex> lock(mutex_);
  downUntil_[toLowerAscii(server)] = now + std::chrono::seconds(serverDownSeconds);
  anyMarked_.store(true, std::memory_order_release);
}

bool DownServers::isDown(const std::string& server, Clock::time_point now) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = downUntil_.find(toLowerAscii(server));
  return it != downUntil_.end() && now < it->second;
}

void DownServers::clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  downUntil_.clear();
  anyMarked_.store(false, std::memory_order_release);
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
    if (!isUnansweredServer(last)) return last;
    // Passed over either way; remembered as down only when it refused, could not be reached or
    // timed out (a certificate not trusted here is an answer: the next call asks again).
    if (last != hresultFromLdapResult(LDAP_TIMEOUT) && lastSetUpReachedServer()) continue;
    silentHosts.push_back(candidate.host);
    for (const Endpoint& sameHost : candidates)
      if (equalsIgnoreCase(sameHost.host, candidate.host)) noteServerDown(sameHost);
  }
  if (tried) return last;
  return failLdap(LDAP_SERVER_DOWN, "no server of the domain answered lately; they are tried again shortly");
}

namespace testing {

void forgetDownServers() { downServers().clear(); }

}  // namespace testing

}  // namespace winapi::adsi
