// Passing over servers that do not answer.
//
// A server whose connection was refused or could not be reached, or that let a connection's
// set-up or an operation run out of its bound, is remembered as down for serverDownSeconds:
// calls go to the next candidate at once or, when no candidate is left, fail at once with the
// server-down status; after that time the server is tried again. Marking a server down retires
// the pooled connections to it, so no new call waits on them.
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

constexpr int serverDownSeconds = 30;

// Servers (host and port, as endpointKey gives them) remembered as down, and until when.
class DownServers {
 public:
  using Clock = std::chrono::steady_clock;
  void markDown(const std::string& server, Clock::time_point now);
  bool isDown(const std::string& server, Clock::time_point now) const;
  // False until a server is marked: then each look costs a lock and a key.
  bool anyMarked() const { return anyMarked_.load(std::memory_order_acquire); }
  void clear();

 private:
  std::atomic<bool> anyMarked_{false};
  mutable std::mutex mutex_;
  std::map<std::string, Clock::time_point> downUntil_;  // guarded by mutex_; keys in lower case
};

// The statuses that say a server did not answer: refused, unreachable, timed out.
bool isUnansweredServer(HRESULT hr);
bool isServerDown(const Endpoint& endpoint);
// Remembers the server as down and retires the pooled connections to it.
void noteServerDown(const Endpoint& endpoint);

// Runs attempt on each candidate in turn until one answers: a candidate remembered as down is
// passed over, one that does not answer is remembered as down (on every port the candidates give
// it) and the next host is tried; one whose TLS set-up failed after it answered is passed over
// without being remembered. Any other
// outcome (success, a refused password) is the answer. With no candidate left the call fails with
// the last failure, or at once with the server-down status when every candidate was down.
HRESULT firstAnswering(const std::vector<Endpoint>& candidates, const std::function<HRESULT(const Endpoint&)>& attempt);

}  // namespace winapi::adsi
