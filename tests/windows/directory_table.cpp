// Every exported native against the test directory through Wine's own services, binds handed on
// to the system. Each row shows the result and either that the call worked end to end (status 0
// and the value the seeded directory holds) or the first platform service that failed under
// it. Writes touch only objects named after this run.
#include <windows.h>
#include <winldap.h>

#include <cstdio>
#include <cstring>
#include <map>

#include "checks.h"

namespace {

struct Row {
  const char* native;
  std::vector<Argument> arguments;
  std::string shown;     // the arguments as the table shows them
  std::string expected;  // text the result must hold to count as end to end (empty: status 0 suffices)
  bool asCaller = false;  // bind with no account: the process's own (Kerberos) identity
};

struct DirectoryNames {
  std::u16string server, domain, adminUser, adminPassword, bindUser, bindPassword;
  std::u16string org, people, alice, groupDevs, workstation, ownUser, ownUserDn, ownGroup;
};

std::u16string environment(const char* name, std::vector<std::string>* missing) {
  wchar_t value[512];
  std::wstring wide(name, name + std::strlen(name));
  DWORD length = GetEnvironmentVariableW(wide.c_str(), value, 512);
  if (length == 0 || length >= 512) {
    missing->push_back(name);
    return u"";
  }
  return std::u16string(reinterpret_cast<const char16_t*>(value), length);
}

std::u16string wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

Argument text(const std::u16string& value) { return textArgument(value); }

std::vector<Row> rowsFor(const DirectoryNames& n) {
  const std::u16string& alice = n.alice;
  std::string a = printable(alice), own = printable(n.ownUser), ownDn = printable(n.ownUserDn);
  return {
      {"wInit", {}, "", ""},
      {"wInit", {}, "no account: the process's Kerberos identity", "", true},
      {"wVerifyPassword", {text(n.bindUser), text(n.bindPassword), text(u"")}, "bind account, its password, \"\"", ""},
      {"wTranslateName", {text(alice), intArgument(1), intArgument(9)}, "Alice's DN, 1779 -> UPN", "alice@"},
      {"wGetUserDsn", {text(u"alice"), text(u"")}, "alice, \"\"", a},
      {"wGetGroupDsn", {text(u"g-devs")}, "g-devs", printable(n.groupDevs)},
      {"wIsUserNode", {text(alice)}, "Alice's DN", ""},
      {"wIsGroupNode", {text(n.groupDevs)}, "g-devs's DN", ""},
      {"wIsMemberOf", {text(n.groupDevs), text(alice)}, "g-devs's DN, Alice's DN", ", 1)"},
      {"wGetUserAttributeString", {text(u"alice"), text(u""), text(u"mail")}, "alice, mail", "alice@"},
      {"wGetUserAttributeInt", {text(u"alice"), text(u""), text(u"countryCode")}, "alice, countryCode", ", 276)"},
      {"wGetUserAttributeLargeInt", {text(u"alice"), text(u""), text(u"orvistalCounter")}, "alice, orvistalCounter",
       ", 1, 2097152)"},
      {"wGetUserAttributeStringArray", {text(u"alice"), text(u""), text(u"otherTelephone")}, "alice, otherTelephone",
       "+1 555 0102"},
      {"wGetGroupAttributeString", {text(u"g-devs"), text(u"description")}, "g-devs, description", "Global security"},
      {"wGetGroupAttributeInt", {text(u"g-devs"), text(u"groupType")}, "g-devs, groupType", ", -2147483646)"},
      {"wGetGroupAttributeStringArray", {text(u"g-devs"), text(u"member")}, "g-devs, member", "Alice Liddell"},
      {"wGetUserPrimaryGroup", {text(u"alice"), text(u"")}, "alice", "Domain Users"},
      {"wGetUserGroups", {text(u"alice"), text(u"")}, "alice", "g-devs"},
      {"wGetMachineGroups", {text(n.workstation)}, "WS01's DN", ""},
      {"wGetNodeAttributeString", {text(alice), text(u"title")}, "Alice's DN, title", "Engineer"},
      {"wGetNodeAttributeStringArray", {text(alice), text(u"url")}, "Alice's DN, url", "alice.orvistal.test/one"},
      {"wGetNodeGuid", {text(alice)}, "Alice's DN", ""},
      {"wGetParentNode", {text(alice)}, "Alice's DN", "OU=People"},
      {"wGetNetbiosDomain", {text(n.domain)}, printable(n.domain), "ORVISTAL"},
      {"wIsUserContainerNode", {text(n.people)}, "OU=People", ""},
      {"wGetChildUserContainers", {text(n.org)}, "OU=Orvistal", "OU=People"},
      {"wSearchNodes", {text(n.org), text(u"(sAMAccountName=alice)")}, "OU=Orvistal, (sAMAccountName=alice)", a},
      {"wSearchDeletedNodes", {text(u"(cn=deleted-user*)")}, "(cn=deleted-user*)", ""},
      {"wGetDeletedNodeAttributeString", {text(u"CN=deleted-user," + n.people), text(u"cn")},
       "the seeded deleted user's old DN, cn", ""},
      {"wFindNodeValues",
       {text(n.org), text(u"mail"), text(u"(sAMAccountName=alice)"), intArgument(10), intArgument(30)},
       "OU=Orvistal, mail, (sAMAccountName=alice), 10 rows, 30 s", "alice@"},
      {"wGetNodeAttributes", {text(alice), text(u"(objectClass=*)"), stringsArgument({u"mail", u"title"})},
       "Alice's DN, (objectClass=*), [mail, title]", "Engineer"},
      {"wCheckNodeAccess", {text(alice), intArgument(0x10)}, "Alice's DN, read property", ""},
      // Writes, on this run's own account only; the last row deletes it.
      {"wAddUser", {text(n.ownUser), text(n.people)}, own + ", OU=People", ""},
      {"wSetUserAttributeString", {text(n.ownUser), text(u""), text(u"description"), text(u"written under Wine")},
       own + ", description", ""},
      {"wSetUserAttributeInt", {text(n.ownUser), text(u""), text(u"countryCode"), intArgument(276)},
       own + ", countryCode 276", ""},
      {"wSetUserAttributeLargeInt", {text(n.ownUser), text(u""), text(u"accountExpires"), intArgument(0), intArgument(0)},
       own + ", accountExpires 0", ""},
      {"wSetUserAttributeStringArray",
       {text(n.ownUser), text(u""), text(u"otherTelephone"), stringsArgument({u"1", u"2"}), intArgument(2)},
       own + ", otherTelephone [1, 2], update", ""},
      {"wSetNodeAttributeString", {text(n.ownUserDn), text(u"title"), text(u"Tester")}, ownDn + ", title", ""},
      {"wSetNodeAttributeStringArray", {text(n.ownUserDn), text(u"url"), stringsArgument({u"https://wine.test/"}),
                                        intArgument(2)},
       ownDn + ", url, update", ""},
      {"wResetPassword", {text(n.ownUser), text(u"Wine.Pw.1234"), text(u"")}, own + ", a new password", ""},
      {"wUnlockAccount", {text(n.ownUser), text(u"")}, own, ""},
      {"wChangePassword", {text(n.ownUser), text(u"Wine.Pw.1234"), text(u"Wine.Pw.5678"), text(n.domain)},
       own + ", old, new, " + printable(n.domain), ""},
      {"wSetGroupAttributeString", {text(n.ownGroup), text(u"description"), text(u"x")},
       printable(n.ownGroup) + " (no such group), description", ""},
      {"wSetGroupAttributeInt", {text(n.ownGroup), text(u"groupType"), intArgument(-2147483646)},
       printable(n.ownGroup) + " (no such group), groupType", ""},
      {"wSetGroupAttributeStringArray", {text(n.ownGroup), text(u"member"), stringsArgument({}), intArgument(1)},
       printable(n.ownGroup) + " (no such group), member, clear", ""},
      {"wDeleteUser", {text(n.ownUser), text(u"")}, own, ""},
  };
}

// Where a failed call stopped: the platform services that failed under it, in order.
std::string whereItStopped(const CallOutcome& outcome) {
  std::string stops;
  for (const ServiceCall& call : outcome.services) {
    if (!call.failed) continue;
    stops += stops.empty() ? "stops at " : "; then ";
    stops += call.service + " (" + call.detail + "): " + hex(static_cast<uint32_t>(call.status));
  }
  return stops.empty() ? "fails, no platform call failed" : stops;
}

// Wine's own LDAP client over LDAPS to the DC: does it connect and bind, with its CA or without?
std::string ldapsThroughWine(const DirectoryNames& n) {
  std::wstring host(n.server.begin(), n.server.end());
  LDAP* connection = ldap_sslinitW(const_cast<PWSTR>(host.c_str()), LDAP_SSL_PORT, 1);
  if (connection == nullptr) return "ldap_sslinitW failed: " + hex(LdapGetLastError());
  ULONG version = LDAP_VERSION3;
  ldap_set_optionW(connection, LDAP_OPT_PROTOCOL_VERSION, &version);
  ULONG connected = ldap_connect(connection, nullptr);
  std::wstring user(n.bindUser.begin(), n.bindUser.end()), password(n.bindPassword.begin(), n.bindPassword.end());
  ULONG bound = connected != LDAP_SUCCESS ? connected
                                          : ldap_simple_bind_sW(connection, const_cast<PWSTR>(user.c_str()),
                                                                const_cast<PWSTR>(password.c_str()));
  ldap_unbind(connection);
  return "ldap_connect " + hex(connected) + ", simple bind " + hex(bound);
}

std::string cut(const std::string& text, size_t width) {
  return text.size() <= width ? text : text.substr(0, width - 3) + "...";
}

}  // namespace

void runDirectoryTable(Checks* checks, TestJvm* jvm, const std::vector<ExportedNative>& natives) {
  std::vector<std::string> missing;
  DirectoryNames n;
  n.server = environment("ORVISTAL_TEST_SERVER", &missing);
  n.domain = environment("ORVISTAL_TEST_DOMAIN", &missing);
  n.adminUser = environment("ORVISTAL_TEST_ADMIN_USER", &missing);
  n.adminPassword = environment("ORVISTAL_TEST_ADMIN_PASSWORD", &missing);
  n.bindUser = environment("ORVISTAL_TEST_BIND_USER", &missing);
  n.bindPassword = environment("ORVISTAL_TEST_BIND_PASSWORD", &missing);
  std::u16string base = environment("ORVISTAL_TEST_BASE_DN", &missing);
  for (const std::string& name : missing) checks->expect(false, "the directory's environment lacks " + name);
  if (!missing.empty()) return;
  n.org = u"OU=Orvistal," + base;
  n.people = u"OU=People," + n.org;
  n.alice = u"CN=Alice Liddell," + n.people;
  n.groupDevs = u"CN=g-devs,OU=Groups," + n.org;
  n.workstation = u"CN=WS01,OU=Machines," + n.org;
  n.ownUser = u"wine" + wide(std::to_string(GetCurrentProcessId()));
  n.ownUserDn = u"CN=" + n.ownUser + u"," + n.people;
  n.ownGroup = n.ownUser + u"-group";

  refuseBinds(false);
  Settings settings;
  settings.user = n.adminUser;
  settings.password = n.adminPassword;
  settings.server = n.server;
  jobject self = newSettings(jvm, settings);
  Settings callerSettings;
  callerSettings.server = n.server;
  jobject caller = newSettings(jvm, callerSettings);

  std::printf("\nThe natives against %s through Wine's own services (bound as the administrator):\n",
              printable(n.server).c_str());
  std::printf("%-30s | %-44s | %-58s | %s\n", "native", "arguments", "result", "end to end?");
  std::map<std::string, bool> called;
  for (const Row& row : rowsFor(n)) {
    const ExportedNative* native = findNative(natives, row.native);
    if (native == nullptr) continue;  // not exported by this build yet
    called[row.native] = true;
    CallOutcome outcome = callNative(jvm, *native, row.asCaller ? caller : self, row.arguments);
    expectSoundCall(checks, std::string(row.native) + " against the directory", outcome);
    std::string result = describeResult(jvm, *native->signature, outcome.value);
    std::optional<int32_t> status = statusOf(jvm, *native->signature, outcome.value);
    bool succeeded = status && *status == 0;
    bool rightValue = result.find(row.expected) != std::string::npos;
    // A success with a value other than the directory's is the library's fault, never Wine's.
    checks->expect(!succeeded || rightValue,
                   std::string(row.native) + " succeeded with " + result + ", the directory holds " + row.expected);
    std::string verdict = succeeded ? (rightValue ? "end to end" : "WRONG VALUE") : whereItStopped(outcome);
    std::printf("%-30s | %-44s | %-58s | %s\n", row.native, cut(row.shown, 44).c_str(), cut(result, 58).c_str(),
                verdict.c_str());
  }
  for (const ExportedNative& native : natives)
    checks->expect(called.count(native.name) == 1, native.name + " has no row in the directory table");
  std::printf("%-30s | %-44s | %s\n", "(Wine's LDAP client, LDAPS)", "ldap_sslinitW port 636, bind account",
              ldapsThroughWine(n).c_str());
  refuseBinds(true);
}
