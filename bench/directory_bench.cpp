// Directory round trips through the stand-in: a bind that reuses a pooled connection against
// one that opens and authenticates a new one, and a password check. Needs the test directory's
// environment.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "adsi/connection.h"
#include "adsi/text.h"
#include "directory/adsi_context.h"

namespace {

std::u16string env(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::u16string() : winapi::adsi::toUtf16(value);
}

void bindRootDse(benchmark::State& state) {
  bool reuse = state.range(0) != 0;
  AdsiContext context(env("ORVISTAL_TEST_BIND_USER"), env("ORVISTAL_TEST_BIND_PASSWORD"), env("ORVISTAL_TEST_SERVER"),
                      false);
  for (auto _ : state) {
    if (!reuse) winapi::adsi::testing::clearPool();
    ComPtr<IADs> rootDse;
    HRESULT status = context.bindRootDse(rootDse.put());
    if (FAILED(status)) {
      state.SkipWithError("bind failed: is the test directory running and its environment set?");
      break;
    }
  }
  state.SetLabel(reuse ? "pooled connection" : "new connection each time");
}
BENCHMARK(bindRootDse)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

// A password check: the account's own bind, made anew every time (Kerberos derives the key from
// the password on purpose slowly; see the README).
void verifyPassword(benchmark::State& state) {
  AdsiContext context(env("ORVISTAL_TEST_BIND_USER"), env("ORVISTAL_TEST_BIND_PASSWORD"), env("ORVISTAL_TEST_SERVER"),
                      false);
  std::u16string alice = winapi::adsi::toUtf16("alice@") + env("ORVISTAL_TEST_DOMAIN");
  for (auto _ : state) {
    if (context.verifyPassword(alice, u"", u"Alice.Pw.123") != S_OK) {
      state.SkipWithError("check failed: is the test directory running and its environment set?");
      break;
    }
  }
}
BENCHMARK(verifyPassword)->Unit(benchmark::kMillisecond);

}  // namespace
