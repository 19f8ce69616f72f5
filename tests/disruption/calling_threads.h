// Eight threads making the calls the natives make, on and on, while a test disturbs the
// directory: what each call answered and when.
#pragma once
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "library_env.h"
#include "objbase.h"

namespace disruption {

using Clock = std::chrono::steady_clock;

constexpr int callerThreads = 8;
// The longest chain of waits one call can meet under the given wait limits: a pooled
// connection's answer that never comes, then the one retry on a new connection (connect and
// TLS, then its answer); plus room for a loaded machine. Passing over a DC that does not
// answer for another stays within it.
constexpr std::chrono::seconds boundFor(int networkSeconds, int operationSeconds) {
  return std::chrono::seconds(2 * (networkSeconds + operationSeconds) + 4);
}
// How long a disturbed DC may take to answer again once the disturbance ends.
constexpr std::chrono::seconds recoveryLimit{120};

long msBetween(Clock::time_point from, Clock::time_point to);

enum class Kind { ResolveUser, ResolveGroup, Translate, VerifyPassword };
const char* nameOf(Kind kind);

struct Call {
  Kind kind;
  HRESULT status;
  bool wrongAnswer;
  Clock::time_point start;
  Clock::time_point end;
};

// The calls each native makes, with contexts built afresh as every native call builds them:
// through the test server by name, or in domain mode through the domain, where the library
// finds a DC itself.
struct Caller : librarytest::Directory {
  bool domainMode = false;
  Call make(Kind kind) const;
};

struct CallRecord {
  std::vector<std::vector<Call>> callsByThread;
  Clock::time_point disruptedAt;
  Clock::time_point answeringAt;
  bool answering = false;
};

// The threads call while disrupt() runs, until the DC ("dc1" or "dc2") has answered again for
// callingAfter. Each thread keeps to a bounded number of calls and pauses a little between
// them, more after a failure, so that a DC that is down is not hammered.
CallRecord callThrough(const Caller& caller, const std::function<void()>& disrupt, const std::string& dc,
                       std::chrono::seconds callingAfter);

}  // namespace disruption
