// Node search, membership, primary groups and NetBIOS names beside the plain LDAP work they
// stand for, on one open connection. The large search runs over 10,000 contacts that the
// benchmark seeds itself, once per directory, in CN=orvistal-bench,CN=Program Data (a place
// no test lists). Needs the test directory's environment.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "adsi/connection.h"
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
std::string people() { return "OU=People,OU=Orvistal," + env("ORVISTAL_TEST_BASE_DN"); }
std::string groups() { return "OU=Groups,OU=Orvistal," + env("ORVISTAL_TEST_BASE_DN"); }

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

void isMemberOf(benchmark::State& state) {
  AdsiContext context = boundContext();
  std::u16string group = adsi::toUtf16("CN=g-staff," + groups());
  std::u16string member = adsi::toUtf16("CN=Bob Builder," + people());
  for (auto _ : state) {
    VARIANT_BOOL answer = VARIANT_FALSE;
    if (context.isMemberOf(group, member, &answer) != S_OK || answer != VARIANT_TRUE)
      state.SkipWithError("not a member: is the directory up?");
  }
  state.SetLabel("native: group and user binds, two reads, one compare");
}
BENCHMARK(isMemberOf)->Unit(benchmark::kMillisecond);

void membershipReads(benchmark::State& state) {
  std::shared_ptr<adsi::Connection> connection = openConnection("ORVISTAL_TEST_BIND_USER", "ORVISTAL_TEST_BIND_PASSWORD");
  std::string group = "CN=g-staff," + groups(), member = "CN=Bob Builder," + people();
  for (auto _ : state) {
    adsi::LdapMessage groupEntry, memberEntry;
    bool ok = connection &&
              connection->search(group, LDAP_SCOPE_BASE, "(objectClass=*)", {"primaryGroupToken", "objectSid"}, nullptr,
                                 0, 0, &groupEntry).ok() &&
              connection->search(member, LDAP_SCOPE_BASE, "(objectClass=*)", {"primaryGroupID", "objectSid"}, nullptr,
                                 0, 0, &memberEntry).ok();
    berval value{static_cast<ber_len_t>(member.size()), &member[0]};
    ok = ok && ldap_compare_ext_s(connection->handle(), group.c_str(), "member", &value, nullptr, nullptr) ==
                   LDAP_COMPARE_TRUE;
    if (!ok) state.SkipWithError("LDAP work failed");
  }
  state.SetLabel("LDAP: the two reads and the compare");
}
BENCHMARK(membershipReads)->Unit(benchmark::kMillisecond);

void userPrimaryGroup(benchmark::State& state) {
  AdsiContext context = boundContext();
  std::u16string alice = adsi::toUtf16("CN=Alice Liddell," + people());
  for (auto _ : state) {
    std::u16string group;
    if (context.getUserPrimaryGroup(alice, &group) != S_OK || group.empty())
      state.SkipWithError("no primary group: is the directory up?");
  }
  state.SetLabel("native: user bind and read, SID read, one search by SID");
}
BENCHMARK(userPrimaryGroup)->Unit(benchmark::kMillisecond);

void primaryGroupReads(benchmark::State& state) {
  std::shared_ptr<adsi::Connection> connection = openConnection("ORVISTAL_TEST_BIND_USER", "ORVISTAL_TEST_BIND_PASSWORD");
  std::string alice = "CN=Alice Liddell," + people();
  for (auto _ : state) {
    adsi::LdapMessage user, group;
    bool ok = connection && connection->search(alice, LDAP_SCOPE_BASE, "(objectClass=*)",
                                               {"primaryGroupID", "objectSid"}, nullptr, 0, 0, &user).ok();
    LDAPMessage* entry = ok ? ldap_first_entry(connection->handle(), user.get()) : nullptr;
    std::string sid = entry != nullptr ? adsi::firstEntryValue(connection->handle(), entry, "objectSid") : "";
    std::string filter = "(&(objectcategory=group)(objectClass=group)(objectSid=";
    static const char hex[] = "0123456789abcdef";
    for (size_t i = 0; i + 4 < sid.size(); ++i) {
      filter += '\\';
      filter += hex[static_cast<unsigned char>(sid[i]) >> 4];
      filter += hex[static_cast<unsigned char>(sid[i]) & 0xF];
    }
    filter += "\\01\\02\\00\\00))";  // 513
    ok = ok && connection->search(env("ORVISTAL_TEST_BASE_DN"), LDAP_SCOPE_SUBTREE, filter, {"distinguishedName"},
                                  nullptr, 0, 0, &group).ok();
    if (!ok) state.SkipWithError("LDAP work failed");
  }
  state.SetLabel("LDAP: the user read and the search by SID");
}
BENCHMARK(primaryGroupReads)->Unit(benchmark::kMillisecond);

void netbiosDomain(benchmark::State& state) {
  AdsiContext context = boundContext();
  std::u16string domain = adsi::toUtf16(env("ORVISTAL_TEST_DOMAIN"));
  for (auto _ : state) {
    std::u16string name;
    if (context.getNetbiosDomain(domain, &name) != S_OK || name.empty())
      state.SkipWithError("no NetBIOS name: is the directory up?");
  }
  state.SetLabel("native: root read, partitions bind, one search");
}
BENCHMARK(netbiosDomain)->Unit(benchmark::kMillisecond);

void netbiosReads(benchmark::State& state) {
  std::shared_ptr<adsi::Connection> connection = openConnection("ORVISTAL_TEST_BIND_USER", "ORVISTAL_TEST_BIND_PASSWORD");
  std::string partitions = "CN=Partitions,CN=Configuration," + env("ORVISTAL_TEST_BASE_DN");
  std::string filter = "(&(objectcategory=crossRef)(dnsRoot=" + env("ORVISTAL_TEST_DOMAIN") + ")(netbiosName=*))";
  for (auto _ : state) {
    adsi::LdapMessage root, crossRef;
    bool ok = connection &&
              connection->search("", LDAP_SCOPE_BASE, "(objectClass=*)", {"configurationNamingContext"}, nullptr, 0, 0,
                                 &root).ok() &&
              connection->search(partitions, LDAP_SCOPE_SUBTREE, filter, {"nETBIOSName"}, nullptr, 0, 0, &crossRef)
                  .ok();
    if (!ok) state.SkipWithError("LDAP work failed");
  }
  state.SetLabel("LDAP: the root read and the search");
}
BENCHMARK(netbiosReads)->Unit(benchmark::kMillisecond);

}  // namespace
