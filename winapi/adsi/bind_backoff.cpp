#include "adsi/bind_backoff.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "adsi/bind_refusal.h"
#include "adsi/errors.h"
#include "adsi/trace_lines.h"

namespace winapi::adsi {

namespace {

using Clock = std::chrono::steady_clock;

constexpr BackoffLimits kDefaultLimits{5, 900};
// More credential sets than this are not remembered at once: the one due soonest is forgotten.
constexpr size_t kMostRemembered = 64;

struct Refusal {
  std::string domain;  // the domain (or the server) that refused
  BindMode mode;
  std::string user;
  Secret password;
  HRESULT status;
  DWORD reason;
  std::u16string text;
  int refusals;
  Clock::time_point retryAt;
  // A caller was let through to ask again: its refusal is the next one. Refusals of binds that
  // were under way before the first one was known count as that first one.
  bool askingAgain;
};

struct Remembered {
  std::mutex mutex;
  std::vector<Refusal> refusals;  // guarded by mutex
  std::atomic<bool> any{false};   // false while refusals is empty: a bind then takes no lock
  std::atomic<int> firstOverride{-1};
  std::atomic<int> longestOverride{-1};
};

Remembered& remembered() {
  static Remembered* instance = new Remembered();  // outlives every thread that may still bind
  return *instance;
}

// A refusal is the domain's: any of its controllers would give the same answer and count the same
// bad password. A server named as such stands for itself.
std::string domainOf(const Endpoint& where) {
  return where.locatedFor.empty() ? endpointKey(where) : where.locatedFor;
}

// "first" or "first,longest", whole seconds.
BackoffLimits parsedLimits(const char* text) {
  if (text == nullptr || *text == '\0') return kDefaultLimits;
  char* end = nullptr;
  long first = std::strtol(text, &end, 10);
  long longest = first > kDefaultLimits.longestSeconds ? first : kDefaultLimits.longestSeconds;
  if (*end == ',') longest = std::strtol(end + 1, &end, 10);
  if (*end != '\0' || first < 0 || first > 86400 || longest < first || longest > 86400) return kDefaultLimits;
  return BackoffLimits{static_cast<int>(first), static_cast<int>(longest)};
}

Clock::duration waitAfter(int refusals, const BackoffLimits& limits) {
  long long seconds = limits.firstSeconds;
  for (int i = 1; i < refusals && seconds < limits.longestSeconds; ++i) seconds *= 2;
  if (seconds > limits.longestSeconds) seconds = limits.longestSeconds;
  return std::chrono::seconds(seconds);
}

bool remembersSet(const Refusal& refusal, const std::string& domain, const Credentials& credentials) {
  return refusal.mode == credentials.mode && refusal.domain == domain && refusal.user == credentials.user &&
         refusal.password.equals(credentials.password);
}

// A refusal nobody asked about again for the longest wait says nothing any more: it goes, and with
// it the copy of a password that was perhaps mistyped.
void forgetStaleLocked(Remembered* r, Clock::time_point now) {
  Clock::duration longest = std::chrono::seconds(backoffLimits().longestSeconds);
  for (auto it = r->refusals.begin(); it != r->refusals.end();)
    it = now - it->retryAt > longest ? r->refusals.erase(it) : std::next(it);
  r->any.store(!r->refusals.empty(), std::memory_order_release);
}

Refusal* findLocked(Remembered* r, const std::string& domain, const Credentials& credentials) {
  forgetStaleLocked(r, Clock::now());
  for (Refusal& refusal : r->refusals)
    if (remembersSet(refusal, domain, credentials)) return &refusal;
  return nullptr;
}

void forgetSoonestLocked(Remembered* r) {
  auto soonest = r->refusals.begin();
  for (auto it = r->refusals.begin(); it != r->refusals.end(); ++it)
    if (it->retryAt < soonest->retryAt) soonest = it;
  r->refusals.erase(soonest);
}

}  // namespace

BackoffLimits backoffLimits() {
  static const BackoffLimits configured = parsedLimits(std::getenv("ORVISTAL_BIND_BACKOFF"));
  Remembered& r = remembered();
  int first = r.firstOverride.load(), longest = r.longestOverride.load();
  if (first >= 0) return BackoffLimits{first, longest >= first ? longest : first};
  return configured;
}

HRESULT bindHeldBack(const Endpoint& where, const Credentials& credentials) {
  Remembered& r = remembered();
  if (!r.any.load(std::memory_order_acquire) || credentials.user.empty()) return S_OK;
  HRESULT status;
  DWORD reason;
  std::u16string text;
  long long secondsLeft;
  {
    std::lock_guard<std::mutex> lock(r.mutex);
    Refusal* refusal = findLocked(&r, domainOf(where), credentials);
    if (refusal == nullptr) return S_OK;
    Clock::time_point now = Clock::now();
    if (now >= refusal->retryAt) {
      // This caller asks the directory again; the others are held back until it knows.
      refusal->retryAt = now + waitAfter(refusal->refusals, backoffLimits());
      refusal->askingAgain = true;
      return S_OK;
    }
    status = refusal->status;
    reason = refusal->reason;
    text = refusal->text;
    secondsLeft = std::chrono::duration_cast<std::chrono::seconds>(refusal->retryAt - now).count() + 1;
  }
  setLastError(reason, text, u"LDAP Provider");
  traceHeldBack(credentials, status, secondsLeft);
  return status;
}

HRESULT noteBindOutcome(const Endpoint& where, const Credentials& credentials, HRESULT hr) {
  Remembered& r = remembered();
  if (credentials.user.empty()) return hr;
  if (SUCCEEDED(hr)) {
    if (!r.any.load(std::memory_order_acquire)) return hr;
    std::lock_guard<std::mutex> lock(r.mutex);
    if (Refusal* refusal = findLocked(&r, domainOf(where), credentials))
      r.refusals.erase(r.refusals.begin() + (refusal - r.refusals.data()));
    r.any.store(!r.refusals.empty(), std::memory_order_release);
    return hr;
  }
  BackoffLimits limits = backoffLimits();
  if (!isBindRefusal(hr) || limits.firstSeconds == 0) return hr;
  std::lock_guard<std::mutex> lock(r.mutex);
  std::string domain = domainOf(where);
  Refusal* refusal = findLocked(&r, domain, credentials);
  if (refusal == nullptr) {
    if (r.refusals.size() >= kMostRemembered) forgetSoonestLocked(&r);
    r.refusals.push_back(
        Refusal{domain, credentials.mode, credentials.user, credentials.password, hr, 0, u"", 0, {}, true});
    refusal = &r.refusals.back();
  }
  if (!refusal->askingAgain) return hr;
  refusal->askingAgain = false;
  ++refusal->refusals;
  refusal->status = hr;
  refusal->reason = lastError().code;
  refusal->text = lastError().text;
  refusal->retryAt = Clock::now() + waitAfter(refusal->refusals, limits);
  r.any.store(true, std::memory_order_release);
  return hr;
}

void forgetBindRefusals() {
  Remembered& r = remembered();
  if (!r.any.load(std::memory_order_acquire)) return;
  std::lock_guard<std::mutex> lock(r.mutex);
  r.refusals.clear();
  r.any.store(false, std::memory_order_release);
}

namespace testing {

void resetBindBackoff(int firstSeconds, int longestSeconds) {
  forgetBindRefusals();
  Remembered& r = remembered();
  r.firstOverride = firstSeconds;
  r.longestOverride = longestSeconds;
}

}  // namespace testing

}  // namespace winapi::adsi
