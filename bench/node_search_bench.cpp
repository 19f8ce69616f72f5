// Node search over 10,000 entries beside the same paged search (100 a page) with libldap on one
// open connection; peak resident memory is reported beside each. The contacts are the
// benchmarks' own (bench_objects.h), seeded at the first run. Needs the test directory's
// environment.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_seeding.h"
#include "directory/adsi_context.h"

namespace {

namespace adsi = winapi::adsi;
namespace objects = bench::objects;

constexpr int seededContacts = objects::contactCount;

AdsiContext boundContext() {
  return AdsiContext(adsi::toUtf16(objects::env("ORVISTAL_TEST_BIND_USER")),
                     adsi::toUtf16(objects::env("ORVISTAL_TEST_BIND_PASSWORD")),
                     adsi::toUtf16(objects::env("ORVISTAL_TEST_SERVER")), false);
}

long peakResidentKilobytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

bool seedContacts() {
  std::shared_ptr<adsi::Connection> admin = objects::openAdmin();
  return admin && objects::seedContacts(admin.get());
}

// Args: 0 = the 1,000 contacts bench-00*, 1 = all 10,000.
std::string contactFilter(int64_t all) { return all ? "(objectClass=contact)" : "(&(objectClass=contact)(cn=bench-00*))"; }

void searchNodes(benchmark::State& state) {
  if (!seedContacts()) {
    state.SkipWithError("cannot seed the contacts: is the directory up?");
    return;
  }
  AdsiContext context = boundContext();
  std::u16string base = adsi::toUtf16(objects::contactsContainer());
  std::u16string filter = adsi::toUtf16(contactFilter(state.range(0)));
  size_t expected = state.range(0) ? seededContacts : seededContacts / 10;
  for (auto _ : state) {
    StringList found;
    if (context.searchNodes(base, filter, &found) != S_OK || found.count() != expected)
      state.SkipWithError("search failed or incomplete");
  }
  state.counters["peak_rss_kb"] = static_cast<double>(peakResidentKilobytes());
  state.SetLabel("native: bind, paged subtree search at 100, every row's distinguishedName");
}
BENCHMARK(searchNodes)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void pagedLdapSearch(benchmark::State& state) {
  if (!seedContacts()) {
    state.SkipWithError("cannot seed the contacts: is the directory up?");
    return;
  }
  std::shared_ptr<adsi::Connection> connection =
      objects::openConnection("ORVISTAL_TEST_BIND_USER", "ORVISTAL_TEST_BIND_PASSWORD");
  std::string filter = contactFilter(state.range(0));
  for (auto _ : state) {
    std::vector<std::string> names;
    if (!connection ||
        !objects::pagedDistinguishedNames(connection.get(), objects::contactsContainer(), filter, &names))
      state.SkipWithError("search failed");
  }
  state.counters["peak_rss_kb"] = static_cast<double>(peakResidentKilobytes());
  state.SetLabel("LDAP: the same paged search at 100 on one connection");
}
BENCHMARK(pagedLdapSearch)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
