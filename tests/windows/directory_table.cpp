// Every exported native against the test directory through Wine's own services, binds handed on
// to the system. Each row shows the result and either that the call worked end to end (status 0
// and the value the seeded directory holds) or the first platform service that failed under
// it. Each row runs in a process of its own, so that a crash inside Wine ends that row only.
// The rows that Wine cannot carry are listed, with the reason, in wine_gaps.txt: any other row
// that does not work end to end fails the test. Writes touch only objects named after this run.
#include <windows.h>
#include <winldap.h>

#include <cstdio>
#include <cstring>
#include <map>

#include "checks.h"
#include "directory_answers.h"

namespace {

struct Row {
  const char* native;
  std::vector<Argument> arguments;
  std::string shown;     // the arguments as the table shows them
  std::string expected;  // text the result must hold to count as end to end (empty: status 0 suffices)
  bool asCaller = false;  // bind with no account: the process's own (Kerberos) identity

  // How the list of Wine's gaps names the row.
  std::string key() const { return std::string(native) + (asCaller ? "(no-account)" : ""); }
};

struct DirectoryNames : DirectoryEnvironment {
  std::u16string org, people, alice, groupDevs, workstation, ownUser, ownUserDn, ownGroup;
};

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

// The names the rows use; runId names this run's own objects, the same in every row's process.
bool readNames(const std::string& runId, DirectoryNames* n) {
  if (!readDirectoryEnvironment(n)) return false;
  n->org = u"OU=Orvistal," + n->baseDn;
  n->people = u"OU=People," + n->org;
  n->alice = u"CN=Alice Liddell," + n->people;
  n->groupDevs = u"CN=g-devs,OU=Groups," + n->org;
  n->workstation = u"CN=WS01,OU=Machines," + n->org;
  n->ownUser = u"wine" + wide(runId);
  n->ownUserDn = u"CN=" + n->ownUser + u"," + n->people;
  n->ownGroup = n->ownUser + u"-group";
  return true;
}

// How a row's process ends.
enum RowEnd : DWORD { endToEnd = 0, stopped = 1, wrongValue = 2, unsound = 3, crashed = 4, directoryDown = 5 };

// The status of a server that does not answer: the row proves nothing about Wine.
constexpr int32_t serverDown = static_cast<int32_t>(0x8007203A);

std::string rowPrefix;  // the row's first two columns, for the crash report

LONG WINAPI reportCrash(EXCEPTION_POINTERS* exception) {
  const EXCEPTION_RECORD* record = exception->ExceptionRecord;
  HMODULE module = nullptr;
  char moduleName[MAX_PATH] = "?";
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     static_cast<const char*>(record->ExceptionAddress), &module);
  if (module != nullptr) GetModuleFileNameA(module, moduleName, MAX_PATH);
  const char* base = std::strrchr(moduleName, '\\');
  std::printf("%s | %-58s | crashes in %s: exception %s\n", rowPrefix.c_str(), "-", base != nullptr ? base + 1 : moduleName,
              hex(static_cast<uint32_t>(record->ExceptionCode)).c_str());
  std::fflush(stdout);
  ExitProcess(crashed);
  return EXCEPTION_EXECUTE_HANDLER;
}

// The [natives] section of Wine's gaps: a row's key, "|", then why Wine cannot carry it.
bool readGaps(const char* path, std::map<std::string, std::string>* gaps) {
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return false;
  char line[1024];
  bool inNatives = false;
  auto trimmed = [](std::string text) {
    size_t first = text.find_first_not_of(" \t\r\n");
    size_t last = text.find_last_not_of(" \t\r\n");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
  };
  while (std::fgets(line, sizeof line, file) != nullptr) {
    std::string text = trimmed(line);
    if (text.empty() || text[0] == '#') continue;
    if (text[0] == '[') {
      inNatives = text == "[natives]";
      continue;
    }
    size_t bar = text.find('|');
    if (inNatives) (*gaps)[trimmed(text.substr(0, bar))] = bar == std::string::npos ? "" : trimmed(text.substr(bar + 1));
  }
  std::fclose(file);
  return true;
}

// Runs one row in a process of its own (this program with --row) and waits for its end.
DWORD runRowProcess(size_t index, const std::vector<std::string>& childArguments) {
  char program[MAX_PATH];
  GetModuleFileNameA(nullptr, program, MAX_PATH);
  std::string commandLine = std::string("\"") + program + "\"";
  for (const std::string& argument : childArguments) commandLine += " \"" + argument + "\"";
  commandLine += " --row " + std::to_string(index);
  std::fflush(stdout);
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  SetHandleInformation(output, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = output;
  startup.hStdError = output;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process))
    return unsound;
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = unsound;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return code;
}

}  // namespace

int runDirectoryRow(Checks* checks, TestJvm* jvm, const std::vector<ExportedNative>& natives, size_t index,
                    const std::string& runId) {
  DirectoryNames n;
  if (!readNames(runId, &n)) return unsound;
  std::vector<Row> rows = rowsFor(n);
  if (index >= rows.size()) return unsound;
  const Row& row = rows[index];
  const ExportedNative* native = findNative(natives, row.native);
  if (native == nullptr) {
    std::printf("%-30s | not exported\n", row.native);
    return stopped;
  }
  refuseBinds(false);
  Settings settings;
  settings.server = n.server;
  if (!row.asCaller) {
    settings.user = n.adminUser;
    settings.password = n.adminPassword;
  }
  jobject self = newSettings(jvm, settings);
  char prefix[128];
  std::snprintf(prefix, sizeof prefix, "%-30s | %-44s", row.native, cut(row.shown, 44).c_str());
  rowPrefix = prefix;
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  SetUnhandledExceptionFilter(reportCrash);

  int failedBefore = checks->failed();
  CallOutcome outcome = callNative(jvm, *native, self, row.arguments);
  expectSoundCall(checks, std::string(row.native) + " against the directory", outcome);
  std::string result = describeResult(jvm, *native->signature, outcome.value);
  std::optional<int32_t> status = statusOf(jvm, *native->signature, outcome.value);
  bool succeeded = status && *status == 0;
  bool rightValue = result.find(row.expected) != std::string::npos;
  // A success with a value other than the directory's is the library's fault, never Wine's.
  checks->expect(!succeeded || rightValue,
                 std::string(row.native) + " succeeded with " + result + ", the directory holds " + row.expected);
  std::string verdict = succeeded ? (rightValue ? "end to end" : "WRONG VALUE") : whereItStopped(outcome);
  std::printf("%s | %-58s | %s\n", prefix, cut(result, 58).c_str(), verdict.c_str());
  std::fflush(stdout);
  if (checks->failed() > failedBefore) return succeeded && !rightValue ? wrongValue : unsound;
  if (status && *status == serverDown) return directoryDown;
  return succeeded ? endToEnd : stopped;
}

void runDirectoryTable(Checks* checks, const std::vector<ExportedNative>& natives, const char* gapsPath,
                       const std::vector<std::string>& childArguments) {
  std::map<std::string, std::string> gaps;
  checks->expect(readGaps(gapsPath, &gaps), std::string("cannot read the list of Wine's gaps ") + gapsPath);
  DirectoryNames n;
  // Wine numbers processes from a small start in every prefix: the time keeps two runs apart.
  std::string runId = std::to_string(GetCurrentProcessId()) + std::to_string(GetTickCount() % 100000);
  if (!readNames(runId, &n)) {
    checks->expect(false, "the directory's names are not in the environment");
    return;
  }
  std::vector<Row> rows = rowsFor(n);
  std::vector<std::string> arguments = childArguments;
  arguments.push_back("--run");
  arguments.push_back(runId);

  std::printf("\nThe natives against %s through Wine's own services (bound as the administrator):\n",
              printable(n.server).c_str());
  std::printf("%-30s | %-44s | %-58s | %s\n", "native", "arguments", "result", "end to end?");
  std::map<std::string, bool> called;
  std::vector<std::string> reached, newlyReached;
  for (size_t index = 0; index < rows.size(); ++index) {
    const Row& row = rows[index];
    called[row.native] = true;
    DWORD end = runRowProcess(index, arguments);
    bool listed = gaps.count(row.key()) == 1;
    if (end == endToEnd) reached.push_back(row.key());
    if (end == endToEnd && listed) newlyReached.push_back(row.key());
    checks->expect(end != directoryDown,
                   row.key() + ": the directory did not answer (0x8007203A); is a DC being restarted? Run again");
    checks->expect(end == endToEnd || end == stopped || end == crashed || end == directoryDown,
                   row.key() + ": the call was unsound or gave a wrong value (see above)");
    checks->expect(end == endToEnd || end == directoryDown || listed,
                   row.key() + " no longer works end to end under Wine, and wine_gaps.txt names no gap for it");
  }
  for (const ExportedNative& native : natives)
    checks->expect(called.count(native.name) == 1, native.name + " has no row in the directory table");
  for (const auto& gap : gaps) {
    bool known = false;
    for (const Row& row : rows) known = known || row.key() == gap.first;
    checks->expect(known, "wine_gaps.txt names " + gap.first + ", which is no row of the table");
  }
  std::printf("%-30s | %-44s | %s\n", "(Wine's LDAP client, LDAPS)", "ldap_sslinitW port 636, bind account",
              ldapsThroughWine(n).c_str());
  std::string list;
  for (const std::string& key : reached) list += (list.empty() ? "" : ", ") + key;
  std::printf("\n%u of %u rows work end to end under Wine: %s\n", static_cast<unsigned>(reached.size()),
              static_cast<unsigned>(rows.size()), list.c_str());
  for (const std::string& key : newlyReached)
    std::printf("NEWLY WORKING: %s works end to end now; take it off wine_gaps.txt\n", key.c_str());
}
