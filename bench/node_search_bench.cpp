// Node search over 10,000 entries beside the same paged search (100 a page) with libldap on one
// open connection; peak resident memory is reported beside each. The contacts are seeded by the
// benchmark itself, once per directory, in CN=orvistal-bench,CN=Program Data (a place no test
// lists). Needs the test directory's environment.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "adsi/connection.h"
#include "adsi/pool.h"
#include "adsi/ldap_owners.h"
#include "adsi/text.h"
#include "directory/adsi_context.h"

namespace {

namespace adsi = winapi::adsi;

constexpr int seededContacts = 10000;

std::string env(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

std::string benchContainer() { return "CN=orvistal-bench,CN=Program Data," + env("ORVISTAL_TEST_BASE_DN"); }

AdsiContext boundContext() {
  return AdsiContext(adsi::toUtf16(env("ORVISTAL_TEST_BIND_USER")), adsi::toUtf16(env("ORVISTAL_TEST_BIND_PASSWORD")),
                     adsi::toUtf16(env("ORVISTAL_TEST_SERVER")), false);
}

std::shared_ptr<adsi::Connection> openConnection(const char* user, const char* password) {
  adsi::Credentials credentials;
  credentials.mode = adsi::BindMode::Simple;
  credentials.user = env(user);
  credentials.password = adsi::Secret(env(password));
  std::shared_ptr<adsi::Connection> connection;
  if (FAILED(adsi::openFreshConnection({env("ORVISTAL_TEST_SERVER"), 636}, credentials, &connection))) return nullptr;
  return connection;
}

long peakResidentKilobytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// The DNs of a paged subtree search at 100 a page, as ldapsearch -E pr=100 reads them.
bool pagedDistinguishedNames(adsi::Connection* connection, const std::string& base, const std::string& filter,
                             std::vector<std::string>* names) {
  std::string cookie;
  do {
    berval cookieValue{static_cast<ber_len_t>(cookie.size()), cookie.empty() ? nullptr : &cookie[0]};
    adsi::LdapControl paged;
    if (ldap_create_page_control(connection->handle(), 100, &cookieValue, 0, paged.put()) != LDAP_SUCCESS) return false;
    LDAPControl* controls[] = {paged.get(), nullptr};
    adsi::LdapMessage page;
    adsi::LdapControls response;
    if (!connection->search(base, LDAP_SCOPE_SUBTREE, filter, {"distinguishedName"}, controls, 0, 0, &page, &response)
             .ok())
      return false;
    for (LDAPMessage* entry = ldap_first_entry(connection->handle(), page.get()); entry != nullptr;
         entry = ldap_next_entry(connection->handle(), entry))
      names->push_back(adsi::firstEntryValue(connection->handle(), entry, "distinguishedName"));
    cookie.clear();
    LDAPControl* control = response ? ldap_control_find(LDAP_CONTROL_PAGEDRESULTS, response.get(), nullptr) : nullptr;
    berval next{0, nullptr};
    ber_int_t estimate = 0;
    if (control != nullptr && ldap_parse_pageresponse_control(connection->handle(), control, &estimate, &next) == 0) {
      cookie.assign(next.bv_val != nullptr ? next.bv_val : "", next.bv_len);
      ber_memfree(next.bv_val);
    }
  } while (!cookie.empty());
  return true;
}

// Adds what is missing of the 10,000 contacts; a seeded directory is left as it is.
bool seedContacts() {
  std::shared_ptr<adsi::Connection> admin = openConnection("ORVISTAL_TEST_ADMIN_USER", "ORVISTAL_TEST_ADMIN_PASSWORD");
  if (!admin) return false;
  std::vector<std::string> present;
  if (!pagedDistinguishedNames(admin.get(), benchContainer(), "(objectClass=contact)", &present)) {
    char containerClass[] = "container";
    char* classValues[] = {containerClass, nullptr};
    LDAPMod objectClass{LDAP_MOD_ADD, const_cast<char*>("objectClass"), {classValues}};
    LDAPMod* mods[] = {&objectClass, nullptr};
    if (!admin->add(benchContainer(), mods, nullptr).ok()) return false;
  }
  if (present.size() >= seededContacts) return true;
  std::fprintf(stderr, "seeding %d contacts below %s...\n", seededContacts, benchContainer().c_str());
  for (int i = 0; i < seededContacts; ++i) {
    char cn[32];
    std::snprintf(cn, sizeof cn, "bench-%05d", i);
    char contactClass[] = "contact";
    char* classValues[] = {contactClass, nullptr};
    LDAPMod objectClass{LDAP_MOD_ADD, const_cast<char*>("objectClass"), {classValues}};
    LDAPMod* mods[] = {&objectClass, nullptr};
    adsi::LdapOutcome outcome = admin->add("CN=" + std::string(cn) + "," + benchContainer(), mods, nullptr);
    if (!outcome.ok() && outcome.code != LDAP_ALREADY_EXISTS) return false;
  }
  return true;
}

// Args: 0 = the 1,000 contacts bench-00*, 1 = all 10,000.
std::string contactFilter(int64_t all) { return all ? "(objectClass=contact)" : "(&(objectClass=contact)(cn=bench-00*))"; }

void searchNodes(benchmark::State& state) {
  if (!seedContacts()) {
    state.SkipWithError("cannot seed the contacts: is the directory up?");
    return;
  }
  AdsiContext context = boundContext();
  std::u16string base = adsi::toUtf16(benchContainer());
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
  std::shared_ptr<adsi::Connection> connection = openConnection("ORVISTAL_TEST_BIND_USER", "ORVISTAL_TEST_BIND_PASSWORD");
  std::string filter = contactFilter(state.range(0));
  for (auto _ : state) {
    std::vector<std::string> names;
    if (!connection || !pagedDistinguishedNames(connection.get(), benchContainer(), filter, &names))
      state.SkipWithError("search failed");
  }
  state.counters["peak_rss_kb"] = static_cast<double>(peakResidentKilobytes());
  state.SetLabel("LDAP: the same paged search at 100 on one connection");
}
BENCHMARK(pagedLdapSearch)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
