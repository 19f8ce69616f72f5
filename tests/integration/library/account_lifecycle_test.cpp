// The library's account operations and the network password change against the test
// directory. Every account is made by the test with a name unique to the run and deleted.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <string>

#include "adsi/connection.h"
#include "adsi/errors.h"
#include "adsi/kerberos_logon.h"
#include "adsi/test_hooks.h"
#include "adsi/directory_env.h"
#include "directory/adsi_context.h"

using namespace adsitest;

namespace {

constexpr HRESULT noSuchObject = static_cast<HRESULT>(0x80072030);
constexpr HRESULT alreadyExists = static_cast<HRESULT>(0x80071392);
constexpr HRESULT constraintViolation = static_cast<HRESULT>(0x8007202F);
constexpr DWORD wrongPassword = 0x52E;
constexpr DWORD accountDisabled = 0x533;
constexpr DWORD mustChange = 0x773;
constexpr DWORD lockedOut = 0x775;
constexpr HRESULT passwordPolicy = static_cast<HRESULT>(0x800708C5);

std::string uniqueName(const char* prefix) {
  static std::atomic<int> counter{0};
  // sAMAccountName holds at most 20 characters.
  return std::string(prefix) + std::to_string(getpid() % 100000) + "-" + std::to_string(++counter) + "-" +
         std::to_string(std::chrono::steady_clock::now().time_since_epoch().count() % 1000);
}

class AccountLifecycle : public DirectoryTest {
 protected:
  AdsiContext admin() const { return AdsiContext(wide(s.adminUser), wide(s.adminPassword), wide(s.server), false); }
  AdsiContext bind() const { return AdsiContext(wide(s.bindUser), wide(s.bindPassword), wide(s.server), false); }

  // A fresh account: created by the library, deleted when the test ends.
  std::string newAccount(const char* prefix, const std::string& container = "") {
    std::string name = uniqueName(prefix);
    std::string where = container.empty() ? s.people() : container;
    EXPECT_EQ(admin().addUser(wide(name), wide(where)), S_OK) << name;
    made_.push_back("CN=" + name + "," + where);
    return name;
  }
  std::string dnOf(const std::string& name) const { return "CN=" + name + "," + s.people(); }

  void TearDown() override {
    for (const std::string& dn : made_) admin().deleteUser(wide(dn));
    DirectoryTest::TearDown();
  }

  // Reads one attribute as the administrator: its values as text, empty when absent.
  std::vector<std::string> valuesOf(const std::string& dn, const char* attribute) {
    Ptr<IDirectoryObject> object;
    std::vector<std::string> values;
    if (openAsAdmin(dn, IID_IDirectoryObject, object.put()) != S_OK) return values;
    std::u16string name = wide(attribute);
    LPWSTR names[] = {&name[0]};
    PADS_ATTR_INFO info = nullptr;
    DWORD count = 0;
    if (object->GetObjectAttributes(names, 1, &info, &count) != S_OK) return values;
    for (DWORD i = 0; i < count; ++i) {
      for (DWORD v = 0; v < info[i].dwNumValues; ++v) {
        const ADSVALUE& value = info[i].pADsValues[v];
        if (value.dwType == ADSTYPE_INTEGER)
          values.push_back(std::to_string(value.Integer));
        else if (value.dwType == ADSTYPE_LARGE_INTEGER)
          values.push_back(std::to_string(value.LargeInteger.QuadPart));
        else if (value.dwType == ADSTYPE_CASE_IGNORE_STRING || value.dwType == ADSTYPE_DN_STRING ||
                 value.dwType == ADSTYPE_CASE_EXACT_STRING || value.dwType == ADSTYPE_PRINTABLE_STRING)
          values.push_back(narrow(value.CaseIgnoreString));
      }
    }
    FreeADsMem(info);
    return values;
  }

  // Binds as the account afresh: 0, or the directory's sub-code of the refusal (0x52e wrong
  // password, 0x533 disabled, 0x773 must change, 0x775 locked out).
  DWORD logon(const std::string& name, const std::string& password) {
    winapi::adsi::testing::clearPool();
    Ptr<IADs> object;
    HRESULT hr = open(s.path(s.people()), name + "@" + s.domain, password, ADS_SECURE_AUTHENTICATION, IID_IADs,
                      object.put());
    if (SUCCEEDED(hr)) return 0;
    DWORD code = 0;
    WCHAR text[512] = {};
    ADsGetLastError(&code, text, 512, nullptr, 0);
    // A simple bind's refusal names the reason in the directory's text ("data 52e"); the KDC's
    // refusal of a Kerberos bind is the last error's code.
    DWORD named = winapi::adsi::bindDataCode(narrow(text));
    return named != 0 ? named : code;
  }

  void setInteger(const std::string& dn, const char* attribute, LONG value) {
    Ptr<IADs> object;
    ASSERT_EQ(openAsAdmin(dn, IID_IADs, object.put()), S_OK);
    Var number;
    number.v.vt = VT_I4;
    number.v.lVal = value;
    ASSERT_EQ(object->Put(Bstr(attribute).b, number.v), S_OK);
    ASSERT_EQ(object->SetInfo(), S_OK);
  }

  // An enabled account with a known password.
  std::string enabledAccount(const char* prefix, const std::string& password) {
    std::string name = newAccount(prefix);
    EXPECT_EQ(admin().resetPassword(wide(dnOf(name)), wide(password)), S_OK);
    setInteger(dnOf(name), "userAccountControl", 512);
    return name;
  }

  std::vector<std::string> made_;
};

TEST_F(AccountLifecycle, CreatedAccountHoldsExactlyTheGivenValues) {
  std::string name = newAccount("ac");
  std::string dn = dnOf(name);
  EXPECT_EQ(valuesOf(dn, "sAMAccountName"), std::vector<std::string>{name});
  EXPECT_EQ(valuesOf(dn, "userPrincipalName"), std::vector<std::string>{name + "@" + s.domain});
  EXPECT_EQ(valuesOf(dn, "userAccountControl"), std::vector<std::string>{"514"});
  EXPECT_EQ(valuesOf(dn, "cn"), std::vector<std::string>{name});
  EXPECT_EQ(valuesOf(dn, "objectClass"), (std::vector<std::string>{"top", "person", "organizationalPerson", "user"}));
  EXPECT_TRUE(valuesOf(dn, "description").empty());
  EXPECT_TRUE(valuesOf(dn, "displayName").empty());
  EXPECT_EQ(admin().isUserNode(wide(dn)), S_OK);
  EXPECT_EQ(logon(name, "Any.Password.1"), wrongPassword) << "no password was set";
}

TEST_F(AccountLifecycle, PrincipalSuffixComesFromTheDomainComponents) {
  // Lower-case components with spaces after the commas name the same container and domain.
  std::string spaced = "ou=People, OU=Orvistal, dc=orvistal, dc=test";
  std::string name = newAccount("sp", spaced);
  made_.back() = dnOf(name);
  EXPECT_EQ(valuesOf(dnOf(name), "userPrincipalName"), std::vector<std::string>{name + "@" + s.domain});

  EXPECT_EQ(admin().addUser(u"nodomain", u"OU=People,OU=Orvistal"), E_INVALIDARG);
  EXPECT_EQ(admin().addUser(u"nodomain", u""), static_cast<HRESULT>(0x80072030)) << "an empty name is no object";
}

TEST_F(AccountLifecycle, HostileNamesStayInTheGivenContainer) {
  for (const std::string& tail : {std::string(",OU=Groups,OU=Orvistal,") + s.baseDn, std::string("+sn=other"),
                                  std::string("=x"), std::string("\\"), std::string(" ")}) {
    std::string name = uniqueName("h") + tail;
    HRESULT created = admin().addUser(wide(name), wide(s.people()));
    std::string escaped;
    for (char c : name) {
      if (c == ',' || c == '+' || c == '=' || c == '\\') escaped += '\\';
      escaped += c;
    }
    if (escaped.back() == ' ') escaped.insert(escaped.size() - 1, "\\");
    std::string dn = "CN=" + escaped + "," + s.people();
    if (created == S_OK) {
      made_.push_back(dn);
      EXPECT_EQ(valuesOf(dn, "cn"), std::vector<std::string>{name}) << dn;
    } else {
      EXPECT_TRUE(FAILED(created));
      EXPECT_EQ(admin().isUserNode(wide(dn)), noSuchObject);
    }
  }
  // A name with a leading "#" is a value, not a hex-encoded one.
  std::string hashed = "#" + uniqueName("x");
  ASSERT_EQ(admin().addUser(wide(hashed), wide(s.people())), S_OK);
  made_.push_back("CN=\\" + hashed + "," + s.people());
  EXPECT_EQ(valuesOf(made_.back(), "sAMAccountName"), std::vector<std::string>{hashed});
  // Nothing landed in the container a comma pointed at.
  EXPECT_EQ(admin().isUserNode(wide("CN=h" + std::to_string(getpid() % 100000) + ",OU=Groups,OU=Orvistal," + s.baseDn)),
            noSuchObject);
}

TEST_F(AccountLifecycle, TakenNamesAndMissingRightsCreateNothing) {
  std::string name = newAccount("tk");
  EXPECT_EQ(admin().addUser(wide(name), wide(s.people())), alreadyExists);
  // jsmith's principal name is jo.smith@: a new account "jo.smith" would take it over.
  EXPECT_EQ(admin().addUser(u"jo.smith", wide(s.people())), constraintViolation);
  EXPECT_EQ(admin().isUserNode(wide(dnOf("jo.smith"))), noSuchObject);
  EXPECT_EQ(valuesOf("CN=Smith\\, Jo," + s.people(), "userPrincipalName"),
            std::vector<std::string>{"jo.smith@" + s.domain});

  EXPECT_EQ(admin().addUser(u"nowhere1", wide("OU=Nowhere," + s.people())), noSuchObject);
  std::string refused = uniqueName("nr");
  EXPECT_EQ(bind().addUser(wide(refused), wide(s.people())), E_ACCESSDENIED);
  EXPECT_EQ(admin().isUserNode(wide(dnOf(refused))), noSuchObject);
}

TEST_F(AccountLifecycle, DeleteRemovesTheObjectAndEverythingBelowIt) {
  std::string name = newAccount("dl");
  EXPECT_EQ(bind().deleteUser(wide(dnOf(name))), E_ACCESSDENIED);
  EXPECT_EQ(admin().isUserNode(wide(dnOf(name))), S_OK);
  EXPECT_EQ(admin().deleteUser(wide(dnOf(name))), S_OK);
  EXPECT_EQ(admin().isUserNode(wide(dnOf(name))), noSuchObject);
  EXPECT_EQ(admin().deleteUser(wide(dnOf(name))), noSuchObject);

  // A container with a user inside goes as a whole.
  std::string unit = "OU=" + uniqueName("ou") + "," + s.people();
  Ptr<IADsContainer> people;
  ASSERT_EQ(openAsAdmin(s.people(), IID_IADsContainer, people.put()), S_OK);
  Ptr<IDispatch> created;
  ASSERT_EQ(people->Create(Bstr("organizationalUnit").b, Bstr(unit.substr(0, unit.find(','))).b,
                           reinterpret_cast<IDispatch**>(created.put())),
            S_OK);
  Ptr<IADs> ou;
  ASSERT_EQ(created->QueryInterface(IID_IADs, ou.put()), S_OK);
  ASSERT_EQ(ou->SetInfo(), S_OK);
  std::string inner = newAccount("in", unit);
  made_.push_back(unit);
  EXPECT_EQ(admin().deleteUser(wide(unit)), S_OK);
  EXPECT_EQ(admin().isUserNode(wide("CN=" + inner + "," + unit)), noSuchObject);
}

TEST_F(AccountLifecycle, ResetSetsThePasswordOnlyWhenThePolicyAllows) {
  std::string name = newAccount("rs");
  std::string dn = dnOf(name);
  ASSERT_EQ(admin().resetPassword(wide(dn), u"First.Reset.135"), S_OK);
  // Disabled: the right password is told apart from a wrong one by the disabled code.
  EXPECT_EQ(logon(name, "First.Reset.135"), accountDisabled);
  EXPECT_EQ(admin().resetPassword(wide(dn), u"short"), passwordPolicy);
  EXPECT_EQ(logon(name, "First.Reset.135"), accountDisabled) << "a refused reset changes nothing";
  ASSERT_EQ(admin().resetPassword(wide(dn), u"Second.Reset.246"), S_OK);
  EXPECT_EQ(logon(name, "First.Reset.135"), wrongPassword);
  EXPECT_EQ(logon(name, "Second.Reset.246"), accountDisabled);
  EXPECT_EQ(bind().resetPassword(wide(dn), u"Third.Reset.357"), E_ACCESSDENIED);
  EXPECT_EQ(logon(name, "Second.Reset.246"), accountDisabled);
  // A group is no user: the user bind refuses it before any password is sent.
  EXPECT_EQ(admin().resetPassword(wide("CN=g-empty,OU=Groups,OU=Orvistal," + s.baseDn), u"Fourth.Reset.468"),
            E_NOINTERFACE);
}

// The pooled connections an account opened with its old password go when a password is written
// through the library, in every name they were opened with; other accounts keep theirs.
TEST_F(AccountLifecycle, AWrittenPasswordRetiresTheConnectionsOfItsAccountOnly) {
  std::string name = enabledAccount("rp", "Before.Reset.135");
  std::string dn = dnOf(name);
  auto as = [&](const std::string& user, const char* password) {
    return AdsiContext(wide(user), wide(password), wide(s.server), false);
  };
  // A distinguished name logs on only with simple binds (it names no Kerberos principal).
  std::vector<std::string> forms = {name + "@" + s.domain, s.netbios + "\\" + name};
  if (winapi::adsi::simpleBindsAllowed()) forms.push_back(dn);
  for (const std::string& form : forms) ASSERT_EQ(as(form, "Before.Reset.135").isUserNode(wide(dn)), S_OK) << form;
  ASSERT_EQ(bind().isUserNode(wide(dn)), S_OK);

  ASSERT_EQ(admin().resetPassword(wide(dn), u"After.Reset.246"), S_OK);
  size_t opened = winapi::adsi::testing::connectionsOpened();
  EXPECT_EQ(bind().isUserNode(wide(dn)), S_OK);
  EXPECT_EQ(winapi::adsi::testing::connectionsOpened(), opened) << "the bind account's connection stays";
  for (const std::string& form : forms)
    EXPECT_EQ(as(form, "Before.Reset.135").isUserNode(wide(dn)), HRESULT_FROM_WIN32(ERROR_LOGON_FAILURE)) << form;
  EXPECT_EQ(as(forms[1], "After.Reset.246").isUserNode(wide(dn)), S_OK);
}

TEST_F(AccountLifecycle, UnlockLiftsALockoutAndReportsAFailedFlag) {
  std::string name = enabledAccount("lk", "Lock.Me.Pw.123");
  std::string dn = dnOf(name);
  // The lockout policy of the test directory applies to the accounts its settings object names.
  std::string policy = "CN=orvistal-lockout,CN=Password Settings Container,CN=System," + s.baseDn;
  Ptr<IADs> settings;
  ASSERT_EQ(openAsAdmin(policy, IID_IADs, settings.put()), S_OK);
  std::u16string member = wide(dn);
  LPWSTR members[] = {&member[0]};
  Var list;
  ASSERT_EQ(ADsBuildVarArrayStr(members, 1, &list.v), S_OK);
  ASSERT_EQ(settings->PutEx(ADS_PROPERTY_APPEND, Bstr("msDS-PSOAppliesTo").b, list.v), S_OK);
  ASSERT_EQ(settings->SetInfo(), S_OK);

  for (int i = 0; i < 3; ++i) logon(name, "Wrong.Pw." + std::to_string(i));
  EXPECT_EQ(logon(name, "Lock.Me.Pw.123"), lockedOut);
  std::u16string user = wide(name), realm = wide(s.domain);
  EXPECT_EQ(NetUserChangePassword(realm.c_str(), user.c_str(), u"Lock.Me.Pw.123", u"Unlocked.Pw.246"),
            static_cast<NET_API_STATUS>(ERROR_ACCOUNT_LOCKED_OUT));

  EXPECT_EQ(bind().unlockAccount(wide(dn)), E_ACCESSDENIED);
  EXPECT_EQ(admin().unlockAccount(wide(dn)), S_OK);
  EXPECT_EQ(logon(name, "Lock.Me.Pw.123"), 0u);
  EXPECT_EQ(admin().unlockAccount(wide(dn)), S_OK) << "an account that is not locked unlocks too";

  ASSERT_EQ(settings->PutEx(ADS_PROPERTY_DELETE, Bstr("msDS-PSOAppliesTo").b, list.v), S_OK);
  EXPECT_EQ(settings->SetInfo(), S_OK);
}

class NetworkPasswordChange : public AccountLifecycle {
 protected:
  NET_API_STATUS change(const std::string& domain, const std::string& user, const std::string& oldPassword,
                        const std::string& newPassword) {
    std::u16string d = wide(domain), u = wide(user), o = wide(oldPassword), n = wide(newPassword);
    return NetUserChangePassword(d.c_str(), u.c_str(), o.c_str(), n.c_str());
  }
};

TEST_F(NetworkPasswordChange, ChangesWithTheOldPasswordAndReportsEachRefusal) {
  std::string name = enabledAccount("cp", "Change.Old.Pw1");
  EXPECT_EQ(change(s.domain, name, "Not.The.Old.Pw1", "Change.New.Pw2"), static_cast<NET_API_STATUS>(86));
  EXPECT_EQ(change(s.domain, name, "Change.Old.Pw1", "short"), static_cast<NET_API_STATUS>(NERR_PasswordTooShort));
  EXPECT_EQ(logon(name, "Change.Old.Pw1"), 0u) << "refusals change nothing";
  ASSERT_EQ(change(s.domain, name, "Change.Old.Pw1", "Change.New.Pw2"), NERR_Success);
  EXPECT_EQ(logon(name, "Change.Old.Pw1"), wrongPassword);
  EXPECT_EQ(logon(name, "Change.New.Pw2"), 0u);
  // History: the old one cannot come back.
  EXPECT_EQ(change(s.domain, name, "Change.New.Pw2", "Change.Old.Pw1"),
            static_cast<NET_API_STATUS>(NERR_PasswordTooShort));
  // Every way of naming the account and the domain reaches the same account.
  EXPECT_EQ(change("", s.netbios + "\\" + name, "Change.New.Pw2", "Change.Third.Pw3"), NERR_Success);
  EXPECT_EQ(change(s.server, name + "@" + s.domain, "Change.Third.Pw3", "Change.Fourth.Pw4"), NERR_Success);
  EXPECT_EQ(logon(name, "Change.Fourth.Pw4"), 0u);
}

TEST_F(NetworkPasswordChange, AnAccountThatMustChangeItsPasswordCanChangeIt) {
  std::string name = enabledAccount("mc", "Must.Old.Pw1");
  setInteger(dnOf(name), "pwdLastSet", 0);
  EXPECT_EQ(logon(name, "Must.Old.Pw1"), mustChange);
  ASSERT_EQ(change(s.domain, name, "Must.Old.Pw1", "Must.New.Pw2"), NERR_Success);
  EXPECT_EQ(logon(name, "Must.New.Pw2"), 0u);
}

TEST_F(NetworkPasswordChange, UnknownAccountsAndDomainsAreNamed) {
  EXPECT_EQ(change(s.domain, uniqueName("nobody"), "Some.Old.Pw1", "Some.New.Pw2"),
            static_cast<NET_API_STATUS>(NERR_UserNotFound));
  EXPECT_EQ(change("no-such-domain.invalid", "alice", "Alice.Pw.123", "Some.New.Pw2"),
            static_cast<NET_API_STATUS>(NERR_InvalidComputer));
  // A name that would parse as another principal ("alice/admin", "alice@REALM") is one name.
  EXPECT_EQ(change(s.domain, "alice/admin", "Alice.Pw.123", "Some.New.Pw2"),
            static_cast<NET_API_STATUS>(NERR_UserNotFound));
  EXPECT_EQ(change(s.domain, "", "Alice.Pw.123", "Some.New.Pw2"), static_cast<NET_API_STATUS>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(logon("alice", "Alice.Pw.123"), 0u);
}

TEST_F(NetworkPasswordChange, AnUnreachablePasswordServiceIsReported) {
  std::string config = "/tmp/orvistal-krb5-" + std::to_string(getpid()) + ".conf";
  FILE* file = std::fopen(config.c_str(), "w");
  ASSERT_NE(file, nullptr);
  std::fprintf(file,
               "[libdefaults]\n default_realm = DEAD.TEST\n dns_lookup_kdc = false\n dns_lookup_realm = false\n"
               "[realms]\n DEAD.TEST = {\n  kdc = 127.0.0.2:9\n  kpasswd_server = 127.0.0.2:9\n }\n");
  std::fclose(file);
  std::string previous = setting("KRB5_CONFIG");
  setenv("KRB5_CONFIG", config.c_str(), 1);
  NET_API_STATUS status = change("", "alice", "Alice.Pw.123", "Some.New.Pw2");
  setenv("KRB5_CONFIG", previous.c_str(), 1);
  std::remove(config.c_str());
  EXPECT_EQ(status, static_cast<NET_API_STATUS>(RPC_S_SERVER_UNAVAILABLE));
}

}  // namespace
