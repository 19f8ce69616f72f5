// Value conversion costs: building a large multi-valued attribute and rendering bytes as text.
#include <benchmark/benchmark.h>

#include "directory/values.h"

namespace {

void appendValues(benchmark::State& state) {
  VARIANT value = bstrVariant(u"CN=member,OU=Bulk,OU=Orvistal,DC=orvistal,DC=test");
  for (auto _ : state) {
    VariantArray array;
    for (int64_t i = 0; i < state.range(0); ++i) benchmark::DoNotOptimize(array.append(value));
    benchmark::DoNotOptimize(array.count());
  }
  VariantClear(&value);
  state.SetComplexityN(state.range(0));
}
BENCHMARK(appendValues)->RangeMultiplier(10)->Range(10, 10000)->Complexity();

void hexOfSecurityDescriptor(benchmark::State& state) {
  std::basic_string<BYTE> bytes(static_cast<size_t>(state.range(0)), 0xA5);
  for (auto _ : state) benchmark::DoNotOptimize(octetsToHex(bytes.data(), bytes.size()));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(hexOfSecurityDescriptor)->Arg(16)->Arg(4096);

}  // namespace
