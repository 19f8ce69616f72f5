// Timing shared by the side-by-side benchmark's C++ programs: warm-up, a bounded run of timed
// calls, and the median and 90th percentile of their durations.
#pragma once
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

namespace bench {

constexpr int warmUpCalls = 20;
constexpr int timedCalls = 300;
// A case that is this slow stops early rather than holding the whole run.
constexpr double caseTimeBudgetSeconds = 30.0;

struct Latency {
  double medianMs = 0;
  double p90Ms = 0;
  int calls = 0;
  bool ok = true;
};

inline double percentile(std::vector<double> values, double fraction) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  size_t index = static_cast<size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
  return values[std::min(index, values.size() - 1)];
}

// How many calls warm a case up and how many are timed at most.
struct Rounds {
  int warmUps = warmUpCalls;
  int timed = timedCalls;
};
// A search of the 10,000 contacts (a second or more a call), and the bulk job (many seconds).
constexpr Rounds largeSetRounds{3, timedCalls};
constexpr Rounds bulkRounds{1, 3};

// Runs call (which returns whether it did its job) warm, then timed; a failed call ends the case.
// before and after (may be empty) run untimed around each call: what a call makes or needs
// made, so that each call of a pair (an add, a delete) is timed alone.
template <typename Call>
Latency measure(Call&& call, const std::function<bool()>& before = {}, const std::function<bool()>& after = {},
                Rounds rounds = {}) {
  Latency latency;
  auto untimed = [](const std::function<bool()>& step) { return !step || step(); };
  std::vector<double> durations;
  durations.reserve(rounds.timed);
  auto caseStart = std::chrono::steady_clock::now();
  for (int i = 0; i < rounds.warmUps + rounds.timed; ++i) {
    if (!untimed(before)) {
      latency.ok = false;
      break;
    }
    auto start = std::chrono::steady_clock::now();
    bool done = call();
    auto end = std::chrono::steady_clock::now();
    if (!done || !untimed(after)) {
      latency.ok = false;
      break;
    }
    if (i < rounds.warmUps) {
      caseStart = end;
      continue;
    }
    durations.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    if (std::chrono::duration<double>(end - caseStart).count() > caseTimeBudgetSeconds) break;
  }
  latency.calls = static_cast<int>(durations.size());
  latency.medianMs = percentile(durations, 0.5);
  latency.p90Ms = percentile(durations, 0.9);
  return latency;
}

// One line of the merged table's input: kind, case name, median, 90th percentile, calls.
inline void printLatency(const char* kind, const char* name, const Latency& latency) {
  if (!latency.ok) {
    std::printf("%s\t%s\tFAILED\n", kind, name);
    return;
  }
  std::printf("%s\t%s\t%.3f\t%.3f\t%d\n", kind, name, latency.medianMs, latency.p90Ms, latency.calls);
  std::fflush(stdout);
}

}  // namespace bench
