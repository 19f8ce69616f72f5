// User container discovery and the access check beside the plain LDAP work they stand for,
// on one open connection. Needs the test directory's environment (and LDAPURI for logons).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "adsi/connection.h"
#include "adsi/pool.h"
#include "adsi/controls.h"
#include "adsi/text.h"
#include "directory/adsi_context.h"

namespace {

namespace adsi = winapi::adsi;

std::string env(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

AdsiContext boundContext() {
  return AdsiContext(adsi::toUtf16(env("ORVISTAL_TEST_BIND_USER")), adsi::toUtf16(env("ORVISTAL_TEST_BIND_PASSWORD")),
                     adsi::toUtf16(env("ORVISTAL_TEST_SERVER")), false);
}

std::shared_ptr<adsi::Connection> openConnection() {
  adsi::Credentials credentials;
  credentials.mode = adsi::BindMode::Simple;
  credentials.user = env("ORVISTAL_TEST_BIND_USER");
  credentials.password = adsi::Secret(env("ORVISTAL_TEST_BIND_PASSWORD"));
  std::shared_ptr<adsi::Connection> connection;
  if (FAILED(adsi::openFreshConnection({env("ORVISTAL_TEST_SERVER"), 636}, credentials, &connection))) return nullptr;
  return connection;
}

std::string orvistal() { return "OU=Orvistal," + env("ORVISTAL_TEST_BASE_DN"); }

void isUserContainerCached(benchmark::State& state) {
  AdsiContext context = boundContext();
  std::u16string people = adsi::toUtf16("OU=People," + orvistal());
  for (auto _ : state)
    if (context.isUserContainer(people) != S_OK) state.SkipWithError("not a user container: is the directory up?");
  state.SetLabel("native: one object bind, class from the cache");
}
BENCHMARK(isUserContainerCached)->Unit(benchmark::kMillisecond);

void baseReadOfObjectClass(benchmark::State& state) {
  std::shared_ptr<adsi::Connection> connection = openConnection();
  std::string people = "OU=People," + orvistal();
  for (auto _ : state) {
    adsi::LdapMessage result;
    if (!connection || !connection->search(people, LDAP_SCOPE_BASE, "(objectClass=*)", {"objectClass"}, nullptr, 0,
                                           0, &result).ok())
      state.SkipWithError("search failed");
  }
  state.SetLabel("LDAP: the base read of objectClass");
}
BENCHMARK(baseReadOfObjectClass)->Unit(benchmark::kMillisecond);

void childUserContainers(benchmark::State& state) {
  AdsiContext context = boundContext();
  std::u16string base = adsi::toUtf16(orvistal());
  for (auto _ : state) {
    StringList children;
    if (context.getChildUserContainers(base, &children) != S_OK || children.count() == 0)
      state.SkipWithError("no children: is the directory up?");
  }
  state.SetLabel("native: bind, paged one-level enumeration, classes from the cache");
}
BENCHMARK(childUserContainers)->Unit(benchmark::kMillisecond);

void oneLevelListing(benchmark::State& state) {
  std::shared_ptr<adsi::Connection> connection = openConnection();
  std::string base = orvistal();
  for (auto _ : state) {
    adsi::LdapMessage self, children;
    if (!connection ||
        !connection->search(base, LDAP_SCOPE_BASE, "(objectClass=*)", {"objectClass"}, nullptr, 0, 0, &self).ok() ||
        !connection->search(base, LDAP_SCOPE_ONELEVEL, "(objectClass=*)", {"objectClass", "distinguishedName"},
                            nullptr, 0, 0, &children).ok())
      state.SkipWithError("search failed");
  }
  state.SetLabel("LDAP: base read and one-level listing");
}
BENCHMARK(oneLevelListing)->Unit(benchmark::kMillisecond);

void checkNodeAccess(benchmark::State& state) {
  AdsiContext context = boundContext();
  std::u16string wanda = adsi::toUtf16("CN=Wanda Writable,OU=Delegated," + orvistal());
  for (auto _ : state) {
    DWORD granted = 0, status = 0;
    if (context.checkNodeAccess(wanda, 0x10, &granted, &status) != S_OK || status != 0)
      state.SkipWithError("check failed: is LDAPURI set to the test directory?");
  }
  state.SetLabel("native: object, class GUID, descriptor, fresh logon bind and token, check");
}
BENCHMARK(checkNodeAccess)->Unit(benchmark::kMillisecond);

void accessCheckReads(benchmark::State& state) {
  std::shared_ptr<adsi::Connection> connection = openConnection();
  std::string wanda = "CN=Wanda Writable,OU=Delegated," + orvistal();
  std::string schema = "CN=Schema,CN=Configuration," + env("ORVISTAL_TEST_BASE_DN");
  adsi::Credentials logon;
  logon.mode = adsi::BindMode::Simple;
  logon.user = env("ORVISTAL_TEST_BIND_USER");
  logon.password = adsi::Secret(env("ORVISTAL_TEST_BIND_PASSWORD"));
  for (auto _ : state) {
    LDAPControl* controls[] = {adsi::securityDescriptorFlagsControl(), nullptr};
    adsi::LdapMessage object, classEntry, security, token;
    std::shared_ptr<adsi::Connection> fresh;
    bool ok = connection &&
              connection->search(wanda, LDAP_SCOPE_BASE, "(objectClass=*)", {"objectClass"}, nullptr, 0, 0, &object)
                  .ok() &&
              connection->search(schema, LDAP_SCOPE_ONELEVEL, "(&(objectClass=classSchema)(lDAPDisplayName=user))",
                                 {"schemaIDGUID"}, nullptr, 0, 0, &classEntry)
                  .ok() &&
              connection->search(wanda, LDAP_SCOPE_BASE, "(objectClass=*)", {"nTSecurityDescriptor", "objectSid"},
                                 controls, 0, 0, &security)
                  .ok() &&
              SUCCEEDED(adsi::openFreshConnection({env("ORVISTAL_TEST_SERVER"), 636}, logon, &fresh)) &&
              fresh->search(env("ORVISTAL_TEST_BIND_DN"), LDAP_SCOPE_BASE, "(objectClass=*)",
                            {"objectSid", "tokenGroups"}, nullptr, 0, 0, &token)
                  .ok();
    if (!ok) state.SkipWithError("LDAP work failed");
  }
  state.SetLabel("LDAP: the same reads and one fresh TLS bind");
}
BENCHMARK(accessCheckReads)->Unit(benchmark::kMillisecond);

}  // namespace
