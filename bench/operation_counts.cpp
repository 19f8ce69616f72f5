// The LDAP requests each native's library-side work sends when warm: every case runs once, then
// the requests of its second run are counted (binds, StartTLS, searches, compares, writes; not
// the untimed steps around a call).
// Prints "ops<TAB>case<TAB>requests" per case, or for the cases named as arguments only. Needs
// the test directory's environment.
//
// The cases are those of library_cases.h; tests/integration/library/operation_counts_test.cpp
// pins the same counts.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench_seeding.h"
#include "library_cases.h"

int main(int argc, char** argv) {
  std::vector<std::string> wanted(argv + 1, argv + argc);
  bench::LibrarySettings settings;
  if (settings.server.empty()) {
    std::fprintf(stderr, "operation counts: the test directory's environment is not set\n");
    return 2;
  }
  if (!bench::objects::seedWritables()) {
    std::fprintf(stderr, "operation counts: cannot make the objects the writing cases change\n");
    return 1;
  }
  int failures = 0;
  for (const bench::LibraryCase& libraryCase : bench::libraryCases()) {
    if (!wanted.empty() && std::find(wanted.begin(), wanted.end(), libraryCase.name) == wanted.end()) continue;
    size_t sent = 0;
    HRESULT status = bench::runCounted(libraryCase, settings, &sent);
    if (SUCCEEDED(status)) status = bench::runCounted(libraryCase, settings, &sent);
    if (FAILED(status)) {
      std::printf("ops\t%s\tFAILED 0x%08X\n", libraryCase.name, static_cast<unsigned>(status));
      ++failures;
      continue;
    }
    std::printf("ops\t%s\t%zu\n", libraryCase.name, sent);
  }
  return failures == 0 ? 0 : 1;
}
