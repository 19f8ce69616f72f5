// Makes what is missing of the benchmarks' own objects in the test directory (bench_objects.h):
// side_by_side.sh runs it first. Needs the test directory's environment.
#include <cstdio>

#include "bench_seeding.h"

int main() {
  if (bench::objects::env("ORVISTAL_TEST_SERVER").empty()) {
    std::fprintf(stderr, "seed: the test directory's environment is not set\n");
    return 2;
  }
  if (!bench::objects::seedAll()) {
    std::fprintf(stderr, "seed: cannot make the benchmarks' objects: is the directory up?\n");
    return 1;
  }
  return 0;
}
