// The LDAP requests each native's library-side work sends when warm: every case runs once, then
// the requests of its second run are counted (binds, StartTLS, searches, compares, writes).
// Prints "ops<TAB>case<TAB>requests" per case, or for the cases named as arguments only. Needs
// the test directory's environment.
//
// The cases are those of library_cases.h; tests/integration/library/operation_counts_test.cpp
// pins the same counts.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "adsi/connection.h"
#include "library_cases.h"

int main(int argc, char** argv) {
  std::vector<std::string> wanted(argv + 1, argv + argc);
  bench::LibrarySettings settings;
  if (settings.server.empty()) {
    std::fprintf(stderr, "operation counts: the test directory's environment is not set\n");
    return 2;
  }
  int failures = 0;
  for (const bench::LibraryCase& libraryCase : bench::libraryCases()) {
    if (!wanted.empty() && std::find(wanted.begin(), wanted.end(), libraryCase.name) == wanted.end()) continue;
    HRESULT status = libraryCase.run(settings);
    size_t before = winapi::adsi::testing::operationsSentByThisThread();
    if (SUCCEEDED(status)) status = libraryCase.run(settings);
    size_t sent = winapi::adsi::testing::operationsSentByThisThread() - before;
    if (FAILED(status)) {
      std::printf("ops\t%s\tFAILED 0x%08X\n", libraryCase.name, static_cast<unsigned>(status));
      ++failures;
      continue;
    }
    std::printf("ops\t%s\t%zu\n", libraryCase.name, sent);
  }
  return failures == 0 ? 0 : 1;
}
