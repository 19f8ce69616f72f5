// What the library asks of the platform for safety, seen at its calls: every bind asks for a
// sealed connection, every search sets a client time-out and chases referrals only as far as
// the directory interface does by default, and input the library refuses reaches no platform
// service at all. Binds are refused, except that a search object of the test's own answers binds
// for searching and records the preferences it is given.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <activeds.h>

#include <map>

#include "checks.h"

namespace {

// The preferences a search was given, the last value of each.
std::map<DWORD, DWORD> searchPreferences;

class RecordingSearch : public IDirectorySearch {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE SetSearchPreference(PADS_SEARCHPREF_INFO preferences, DWORD count) override {
    for (DWORD i = 0; i < count; ++i) {
      searchPreferences[preferences[i].dwSearchPref] = preferences[i].vValue.Integer;
      preferences[i].dwStatus = ADS_STATUS_S_OK;
    }
    return S_OK;
  }
  // The search itself is refused: what the preferences were is all this object is for.
  HRESULT STDMETHODCALLTYPE ExecuteSearch(LPWSTR, LPWSTR*, DWORD, PADS_SEARCH_HANDLE) override { return refusedBind; }
  HRESULT STDMETHODCALLTYPE AbandonSearch(ADS_SEARCH_HANDLE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetFirstRow(ADS_SEARCH_HANDLE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetNextRow(ADS_SEARCH_HANDLE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetPreviousRow(ADS_SEARCH_HANDLE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetNextColumnName(ADS_SEARCH_HANDLE, LPWSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetColumn(ADS_SEARCH_HANDLE, LPWSTR, PADS_SEARCH_COLUMN) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE FreeColumn(PADS_SEARCH_COLUMN) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CloseSearchHandle(ADS_SEARCH_HANDLE) override { return S_OK; }
};

void* recordingSearch() {
  static RecordingSearch search;
  return static_cast<IDirectorySearch*>(&search);
}

jobject directorySettings(TestJvm* jvm) {
  Settings settings;
  settings.user = u"orvbind@orvistal.test";
  settings.password = u"not-a-real-password";
  settings.server = u"dc1.orvistal.test";
  return newSettings(jvm, settings);
}

struct SearchCase {
  const char* native;
  std::vector<Argument> arguments;
  DWORD timeout;
};

// Names without domain components: the search's base is bound with no look at the forest first.
void checkSearchBounds(Checks* checks, TestJvm* jvm, const std::vector<ExportedNative>& natives) {
  const Argument base = textArgument(u"OU=People,OU=Orvistal");
  const Argument filter = textArgument(u"(cn=*)");
  const SearchCase cases[] = {
      {"wSearchNodes", {base, filter}, 10},
      {"wGetNodeAttributes", {base, filter, stringsArgument({u"cn"})}, 10},
      {"wFindNodeValues", {base, textArgument(u"cn"), filter, intArgument(0), intArgument(0)}, 10},
      {"wFindNodeValues", {base, textArgument(u"cn"), filter, intArgument(5), intArgument(30)}, 35},
  };
  jobject self = directorySettings(jvm);
  serveSearchesWith(&recordingSearch);
  for (const SearchCase& test : cases) {
    const ExportedNative* native = findNative(natives, test.native);
    if (native == nullptr) continue;
    searchPreferences.clear();
    CallOutcome outcome = callNative(jvm, *native, self, test.arguments);
    std::string label = std::string(test.native) + "'s search";
    expectSoundCall(checks, label, outcome);
    checks->expect(searchPreferences.count(ADS_SEARCHPREF_TIMEOUT) == 1 &&
                       searchPreferences[ADS_SEARCHPREF_TIMEOUT] == test.timeout,
                   label + " waits " + std::to_string(searchPreferences[ADS_SEARCHPREF_TIMEOUT]) + " s, not " +
                       std::to_string(test.timeout));
    checks->expect(searchPreferences.count(ADS_SEARCHPREF_CHASE_REFERRALS) == 1 &&
                       searchPreferences[ADS_SEARCHPREF_CHASE_REFERRALS] == ADS_CHASE_REFERRALS_EXTERNAL,
                   label + " chases referrals other than the directory interface's default");
  }
  serveSearchesWith(nullptr);
}

// Every bind of every native, named objects and the root entry alike.
void checkSealedBinds(Checks* checks, TestJvm* jvm, const std::vector<ExportedNative>& natives) {
  jobject self = directorySettings(jvm);
  for (const ExportedNative& native : natives) {
    std::vector<Argument> arguments = emptyArguments(*native.signature);
    for (Argument& argument : arguments)
      if (argument.type == 'S') argument.text = u"CN=x,OU=y";
    CallOutcome outcome = callNative(jvm, native, self, arguments);
    for (const RecordedBind& bind : outcome.binds)
      checks->expect((bind.flags & ADS_USE_SEALING) != 0 && (bind.flags & ADS_SECURE_AUTHENTICATION) != 0,
                     native.name + " bound " + printable(bind.path) + " without a sealed, authenticated connection");
  }
}

struct RefusedCase {
  const char* native;
  std::vector<Argument> arguments;
  uint32_t status;
};

// Input cut short at a NUL, missing, or naming a host: refused with its status before any
// platform service is called.
void checkRefusedInput(Checks* checks, TestJvm* jvm, const std::vector<ExportedNative>& natives) {
  const uint32_t noSuchObject = 0x80072030, badPath = 0x80005000, invalid = 0x80070057;
  const std::u16string nul(1, u'\0');
  const Argument dn = textArgument(u"CN=x,OU=y");
  const Argument none = nullArgument('S');
  const RefusedCase cases[] = {
      {"wGetNodeAttributeString", {none, textArgument(u"cn")}, noSuchObject},
      {"wSearchNodes", {none, textArgument(u"(cn=*)")}, noSuchObject},
      {"wCheckNodeAccess", {none, intArgument(1)}, noSuchObject},
      {"wIsMemberOf", {dn, none}, noSuchObject},
      {"wGetNodeAttributeString", {textArgument(u"127.0.0.1:9/CN=x,DC=y"), textArgument(u"cn")}, badPath},
      {"wGetNodeAttributeString", {dn, textArgument(u"cn" + nul + u"x")}, noSuchObject},
      {"wSetNodeAttributeString", {dn, textArgument(u"description"), textArgument(u"a" + nul + u"b")}, invalid},
      {"wSetNodeAttributeStringArray",
       {dn, textArgument(u"otherTelephone"), stringsArgument({u"1", u"2" + nul}), intArgument(ADS_PROPERTY_UPDATE)},
       invalid},
      {"wSearchNodes", {dn, textArgument(u"(cn=a" + nul + u")")}, noSuchObject},
      {"wFindNodeValues", {dn, textArgument(u"cn"), textArgument(u"(cn=*)"), intArgument(-1), intArgument(0)},
       0x80005011},
      {"wGetNodeAttributes", {dn, textArgument(u"(cn=*)"), stringsArgument({u"cn" + nul})}, noSuchObject},
      {"wTranslateName", {textArgument(u"ORVISTAL\\alice" + nul + u"x"), intArgument(2), intArgument(1)}, 0x80072116},
      {"wResetPassword", {textArgument(u"alice"), textArgument(u"New.Pw.1" + nul), none}, invalid},
      {"wAddUser", {textArgument(u"bob" + nul), dn}, invalid},
      {"wChangePassword", {textArgument(u""), textArgument(u"a"), textArgument(u"b"), none}, 87},
      {"wChangePassword", {textArgument(u"alice"), textArgument(u"a" + nul), textArgument(u"b"), none}, 86},
      {"wChangePassword", {textArgument(u"alice"), textArgument(u"a"), textArgument(u"b" + nul), none}, 87},
  };
  jobject self = directorySettings(jvm);
  for (const RefusedCase& test : cases) {
    const ExportedNative* native = findNative(natives, test.native);
    if (native == nullptr) continue;
    CallOutcome outcome = callNative(jvm, *native, self, test.arguments);
    std::string label = std::string(test.native) + " with refused input";
    expectSoundCall(checks, label, outcome);
    std::optional<int32_t> status = statusOf(jvm, *native->signature, outcome.value);
    checks->expect(status && static_cast<uint32_t>(*status) == test.status,
                   label + " returned " + describeResult(jvm, *native->signature, outcome.value) + ", not " +
                       hex(test.status));
    checks->expect(outcome.services.empty(), label + " called " + std::to_string(outcome.services.size()) +
                                                 " platform services, the first " +
                                                 (outcome.services.empty() ? "" : outcome.services[0].service));
  }
}

}  // namespace

void checkGuards(Checks* checks, TestJvm* jvm, const std::vector<ExportedNative>& natives) {
  refuseBinds(true);
  checkSearchBounds(checks, jvm, natives);
  checkSealedBinds(checks, jvm, natives);
  checkRefusedInput(checks, jvm, natives);
}
