// Passing over servers that do not answer.
//
// A server whose connection was refused or could not be reached, or that let a connection's
// set-up or an operation run out of its bound, or that says it is unavailable, is remembered as
// down for the down period (ORVISTAL_DC_DOWN_SECONDS, 30 seconds when not set): calls go to the
// next candidate at once. When every candidate is down, one caller at a time asks the one marked
// down longest again, at most once every probeIntervalSeconds (the others fail at once with the
// server-down status), so a server back in service is found within seconds rather than when its
// mark runs out. Marking a server down
// retires the pooled connections to it, so no new call waits on them.
#pragma once
#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "adsi/endpoint.h"
#include "winerror.h"

namespace winapi::adsi {

constexpr int defaultServerDownSeconds = 30;
// How often a server that is down may be asked again while every candidate is down.
constexpr int probeIntervalSeconds = 5;
// The down period in force (the setting, or what a test set).
int downPeriodSeconds();

// Servers (host and port, as endpointKey gives them) remembered as down, and until when.
class DownServers {
 public:
  using Clock = std::chrono::steady_clock;
  void markDown(const std::string& server, Clock::time_point now);
  void markUp(const std::string& server);
  bool isDown(const std::string& server, Clock::time_point now) const;
  // The one probe at a time: the server among these marked down longest, when no probe runs now.
  bool claimProbe(const std::vector<std::string>& servers, Clock::time_point now, std::string* chosen);
  void endProbe();
  // False until a server is marked: then each look costs a lock and a key.
  bool anyMarked() const { return anyMarked_.load(std::memory_order_acquire); }
  void clear();

 private:
  struct Mark {
    Clock::time_point since;  // when it was first found down, through every mark since
    Clock::time_point until;
    Clock::time_point lastTried;  // the last failed try: a probe waits probeIntervalSeconds after it
  };
  std::atomic<bool> anyMarked_{false};
  mutable std::mutex mutex_;
  std::map<std::string, Mark> marks_;  // guarded by mutex_; keys in lower case
  bool probing_ = false;               // guarded by mutex_
};

// The statuses that say a server did not answer: refused, unreachable, timed out.
bool isUnansweredServer(HRESULT hr);
bool isServerDown(const Endpoint& endpoint);
// Remembers the server as down and retires the pooled connections to it.
void noteServerDown(const Endpoint& endpoint);

// Runs attempt on each candidate in turn until one answers: a candidate remembered as down is
// passed over, one that does not answer is remembered as down (on every port the candidates give
// it) and the next host is tried; one whose TLS set-up failed after it answered (an untrusted
// certificate, a refused StartTLS), or that is busy, is passed over without being remembered. Any
// other outcome (success, a refused password) is the answer, and a success keeps the candidate as
// its domain's controller (dc_locator.h). An attempt that sent a password is never repeated on the
// next candidate. With no candidate left the call fails with the last failure; when every
// candidate was down, with one probe or at once (see the top of this file).
HRESULT firstAnswering(const std::vector<Endpoint>& candidates, const std::function<HRESULT(const Endpoint&)>& attempt);

}  // namespace winapi::adsi
