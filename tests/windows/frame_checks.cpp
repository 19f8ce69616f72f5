// The common frame of a native call, seen from outside: which settings it reads, the path and
// account it binds with, null strings, and text outside the Basic Multilingual Plane. Binds are
// refused by the recorder, so no directory is needed.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <activeds.h>

#include "checks.h"

namespace {

const char* const withoutDomain = "orvistal/testing/SettingsWithoutDomain";
// U+1D11E MUSICAL SYMBOL G CLEF and U+1F600 as their surrogate pairs.
const std::u16string clefServer = u"dc\U0001D11E.orvistal.test";
// No domain components: the name is bound with no look at the forest's domains first.
const std::u16string smileGroup = u"CN=Smile \U0001F600,OU=Groups,OU=Orvistal";

struct WinitCase {
  const char* what;
  Settings settings;
  std::u16string path;
  bool bindsWithAccount;
};

std::vector<WinitCase> winitCases() {
  Settings full;
  full.user = u"orvbind@orvistal.test";
  full.password = u"not-a-real-password";
  full.server = u"dc1.orvistal.test";
  full.domain = u"ignored.test";
  Settings byDomain = full;
  byDomain.useServerName = false;
  byDomain.domain = u"orvistal.test";
  Settings nullDomain = byDomain;
  nullDomain.domain.reset();
  Settings nothing;
  Settings emptyUser = full;
  emptyUser.user = u"";
  Settings clef = full;
  clef.server = clefServer;
  clef.user = u"\U0001D11E@orvistal.test";
  return {
      {"server, account and password set", full, u"LDAP://dc1.orvistal.test/RootDSE", true},
      {"useServerName false takes the domain", byDomain, u"LDAP://orvistal.test/RootDSE", true},
      {"useServerName false with a null domain keeps the server", nullDomain, u"LDAP://dc1.orvistal.test/RootDSE", true},
      {"every field null", nothing, u"LDAP://RootDSE", false},
      {"an empty account binds as the caller whatever the password", emptyUser, u"LDAP://dc1.orvistal.test/RootDSE",
       false},
      {"a server and account outside the BMP", clef, u"LDAP://" + clefServer + u"/RootDSE", true},
  };
}

// wInit binds RootDSE and returns the bind's status unchanged: the bind shows what the frame read.
void checkSettingsThroughInit(Checks* checks, TestJvm* jvm, const ExportedNative& init) {
  for (const WinitCase& test : winitCases()) {
    std::string label = std::string("wInit, ") + test.what;
    CallOutcome outcome = callNative(jvm, init, newSettings(jvm, test.settings), {});
    expectSoundCall(checks, label, outcome);
    checks->expect(outcome.value == static_cast<uint32_t>(refusedBind),
                   label + ": returned " + hex(outcome.value) + ", not the bind's status");
    checks->expect(outcome.binds.size() == 1, label + ": " + std::to_string(outcome.binds.size()) + " binds, not 1");
    if (outcome.binds.empty()) continue;
    const RecordedBind& bind = outcome.binds[0];
    checks->expect(bind.path == test.path, label + ": bound " + printable(bind.path) + ", not " + printable(test.path));
    checks->expect((bind.flags & ADS_SECURE_AUTHENTICATION) != 0, label + ": bound without secure authentication");
    checks->expect((bind.flags & ADS_USE_SEALING) != 0, label + ": bound without sealing");
    if (test.bindsWithAccount) {
      checks->expect(bind.hasUser && bind.user == *test.settings.user,
                     label + ": bound as '" + printable(bind.user) + "', not the settings' account");
      checks->expect(bind.hasPassword && bind.password == *test.settings.password,
                     label + ": the password given to the bind is not the settings' password");
    } else {
      checks->expect(!bind.hasUser && !bind.hasPassword, label + ": an account or password was passed to the bind");
    }
  }

  // Without a domain field the settings are readable while useServerName is true.
  Settings settings;
  settings.server = u"dc1.orvistal.test";
  jobject self = newSettingsWithFields(jvm, withoutDomain,
                                       {"lookupUserName", "lookupUserPassword", "server", "useServerName"}, settings);
  CallOutcome outcome = callNative(jvm, init, self, {});
  expectSoundCall(checks, "wInit without a domain field", outcome);
  checks->expect(outcome.value == static_cast<uint32_t>(refusedBind) && outcome.exception.empty(),
                 "wInit without a domain field but useServerName true: " + hex(outcome.value) + " '" +
                     outcome.exception + "'");
}

// Without a domain field and with useServerName false, no native can read its settings.
void checkMissingDomain(Checks* checks, TestJvm* jvm, const std::vector<ExportedNative>& natives) {
  Settings settings;
  settings.server = u"dc1.orvistal.test";
  settings.useServerName = false;
  jobject self = newSettingsWithFields(jvm, withoutDomain,
                                       {"lookupUserName", "lookupUserPassword", "server", "useServerName"}, settings);
  for (const ExportedNative& native : natives) {
    if (readsNoSettings(*native.signature)) continue;
    std::string label = native.name + " without a domain field, useServerName false";
    CallOutcome outcome = callNative(jvm, native, self, emptyArguments(*native.signature));
    expectSoundCall(checks, label, outcome);
    checks->expect(outcome.value == unreadableSettingsValue(*native.signature),
                   label + ": returned " + hex(outcome.value));
    checks->expect(outcome.exception == "java/lang/NoSuchFieldError", label + ": left '" + outcome.exception + "'");
    checks->expect(outcome.binds.empty(), label + ": bound the directory");
  }
}

std::string bindPaths(const CallOutcome& outcome) {
  std::string paths;
  for (const RecordedBind& bind : outcome.binds) paths += printable(bind.path) + " ";
  return paths;
}

// A null String (or String[]) parameter behaves exactly as an empty one: same result, same binds.
void checkNullParameters(Checks* checks, TestJvm* jvm, const std::vector<ExportedNative>& natives) {
  Settings settings;
  settings.user = u"orvbind@orvistal.test";
  settings.password = u"not-a-real-password";
  settings.server = u"127.0.0.1:9";
  jobject self = newSettings(jvm, settings);
  for (const ExportedNative& native : natives) {
    if (native.signature->parameters[0] == 0) continue;
    CallOutcome withNulls = callNative(jvm, native, self, nullArguments(*native.signature));
    std::string nullResult = describeResult(jvm, *native.signature, withNulls.value);
    CallOutcome withEmpties = callNative(jvm, native, self, emptyArguments(*native.signature));
    std::string emptyResult = describeResult(jvm, *native.signature, withEmpties.value);
    expectSoundCall(checks, native.name + " with null parameters", withNulls);
    expectSoundCall(checks, native.name + " with empty parameters", withEmpties);
    checks->expect(nullResult == emptyResult,
                   native.name + ": null parameters gave " + nullResult + ", empty ones " + emptyResult);
    checks->expect(bindPaths(withNulls) == bindPaths(withEmpties),
                   native.name + ": null parameters bound " + bindPaths(withNulls) + ", empty ones " +
                       bindPaths(withEmpties));
    checks->expect(withNulls.exception.empty() && withEmpties.exception.empty(),
                   native.name + ": left '" + withNulls.exception + withEmpties.exception + "' pending");
  }
}

// A parameter outside the BMP reaches the directory as the same surrogate pairs.
void checkSupplementaryParameter(Checks* checks, TestJvm* jvm, const ExportedNative& groupDsn) {
  Settings settings;
  settings.user = u"orvbind@orvistal.test";
  settings.password = u"not-a-real-password";
  settings.server = u"dc1.orvistal.test";
  CallOutcome outcome = callNative(jvm, groupDsn, newSettings(jvm, settings), {textArgument(smileGroup)});
  expectSoundCall(checks, "wGetGroupDsn of a name outside the BMP", outcome);
  std::u16string expected = u"LDAP://dc1.orvistal.test/" + smileGroup;
  checks->expect(outcome.binds.size() == 1 && outcome.binds[0].path == expected,
                 "wGetGroupDsn of a name outside the BMP bound " + bindPaths(outcome) + ", not " + printable(expected));
}

// No account is no login: the name-translation service, given none, would run as the process
// and accept any password, so it is never asked.
void checkVerifyWithoutAccount(Checks* checks, TestJvm* jvm, const ExportedNative& verify) {
  Settings settings;
  settings.server = u"dc1.orvistal.test";
  for (const std::u16string& account : {std::u16string(), std::u16string(u"ORVISTAL\\")}) {
    CallOutcome outcome = callNative(jvm, verify, newSettings(jvm, settings),
                                     {textArgument(account), textArgument(u"Any.Pw.123"), textArgument(u"")});
    std::string label = "wVerifyPassword of '" + printable(account) + "'";
    expectSoundCall(checks, label, outcome);
    checks->expect(outcome.value == 0x8007052Eu, label + " returned " + hex(outcome.value) + ", not a logon failure");
    for (const ServiceCall& call : outcome.services)
      checks->expect(call.service != "CoCreateInstance", label + " created " + call.detail);
  }
}

}  // namespace

void checkFrame(Checks* checks, TestJvm* jvm, const std::vector<ExportedNative>& natives) {
  refuseBinds(true);
  checkMissingDomain(checks, jvm, natives);
  if (const ExportedNative* init = findNative(natives, "wInit")) checkSettingsThroughInit(checks, jvm, *init);
  checkNullParameters(checks, jvm, natives);
  if (const ExportedNative* groupDsn = findNative(natives, "wGetGroupDsn"))
    checkSupplementaryParameter(checks, jvm, *groupDsn);
  if (const ExportedNative* verify = findNative(natives, "wVerifyPassword")) checkVerifyWithoutAccount(checks, jvm, *verify);
}
