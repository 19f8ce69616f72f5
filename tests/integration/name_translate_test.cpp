// NameTranslate against the test directory: every input and output format, implicit
// principal names, the name-translation error codes, names that try to widen a filter, and
// InitEx as a password check (fresh binds, refused account states, Kerberos identity).
#include <ldap.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include <unistd.h>

#include "adsi/connection.h"
#include "adsi/directory_env.h"
#include "adsi/kerberos_logon.h"
#include "adsi/pool.h"
#include "adsi/name_translate.h"

using namespace adsitest;
namespace adsi = winapi::adsi;

namespace {

constexpr HRESULT notFound = static_cast<HRESULT>(0x80072116);
constexpr HRESULT notUnique = static_cast<HRESULT>(0x80072117);
constexpr HRESULT noMapping = static_cast<HRESULT>(0x80072118);
constexpr HRESULT logonFailure = static_cast<HRESULT>(0x8007052E);
constexpr HRESULT serverDown = static_cast<HRESULT>(0x8007203A);

std::string sourceDirectory() {
  std::string file = __FILE__;
  return file.substr(0, file.rfind('/'));
}

class NameTranslation : public DirectoryTest {
 protected:
  void SetUp() override {
    DirectoryTest::SetUp();
    ASSERT_EQ(create(translate), S_OK);
  }

  static HRESULT create(Ptr<IADsNameTranslate>& out) {
    return CoCreateInstance(CLSID_NameTranslate, nullptr, CLSCTX_ALL, IID_IADsNameTranslate, out.put());
  }

  HRESULT initEx(IADsNameTranslate* target, LONG type, const std::string& path, const std::string& user,
                 const std::string& domain, const std::string& password) {
    Bstr p(path), u(user), d(domain), w(password);
    return target->InitEx(type, p.b, u.b, d.b, w.b);
  }
  HRESULT initAsBind(IADsNameTranslate* target) {
    return initEx(target, ADS_NAME_INITTYPE_SERVER, s.server, s.bindUser, "", s.bindPassword);
  }
  HRESULT set(IADsNameTranslate* target, LONG format, const std::string& name) {
    Bstr text(name);
    return target->Set(format, text.b);
  }
  HRESULT get(IADsNameTranslate* target, LONG format, std::string* out) {
    BSTR text = nullptr;
    HRESULT hr = target->Get(format, &text);
    if (SUCCEEDED(hr)) *out = bstrText(text);
    SysFreeString(text);
    return hr;
  }
  // The DN a name in some format leads to, or the failure.
  HRESULT translateToDn(LONG format, const std::string& name, std::string* dn) {
    HRESULT hr = set(translate.get(), format, name);
    if (FAILED(hr)) return hr;
    return get(translate.get(), ADS_NAME_TYPE_1779, dn);
  }

  // Raw attribute values read over a connection of our own, not through the translator.
  std::string readRaw(const std::string& dn, const char* attribute) {
    adsi::Endpoint endpoint{s.server, 636};
    adsi::Credentials credentials;
    credentials.mode = adsi::BindMode::Simple;
    credentials.user = s.bindUser;
    credentials.password = adsi::Secret(s.bindPassword);
    std::shared_ptr<adsi::Connection> connection;
    if (FAILED(adsi::openFreshConnection(endpoint, credentials, &connection))) return std::string();
    adsi::LdapMessage result;
    if (!connection->search(dn, LDAP_SCOPE_BASE, "(objectClass=*)", {attribute}, nullptr, 0, 0, &result).ok())
      return std::string();
    LDAPMessage* entry = ldap_first_entry(connection->handle(), result.get());
    if (entry == nullptr) return std::string();
    adsi::LdapValues values(ldap_get_values_len(connection->handle(), entry, attribute));
    if (!values || values.get()[0] == nullptr) return std::string();
    return std::string(values.get()[0]->bv_val, values.get()[0]->bv_len);
  }

  std::string bobDn() const { return "CN=Bob Builder," + s.people(); }
  std::string jsmithDn() const { return "CN=Smith\\, Jo," + s.people(); }

  Ptr<IADsNameTranslate> translate;
};

std::string guidTextOf(const std::string& raw) {
  static const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  char buffer[3];
  std::string text = "{";
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
    std::snprintf(buffer, sizeof buffer, "%02x", static_cast<unsigned char>(raw[order[i]]));
    text += buffer;
  }
  return text + "}";
}

std::string sidTextOf(const std::string& raw) {
  uint64_t authority = 0;
  for (int i = 2; i < 8; ++i) authority = (authority << 8) | static_cast<unsigned char>(raw[i]);
  std::string text = "S-1-" + std::to_string(authority);
  for (size_t at = 8; at + 4 <= raw.size(); at += 4) {
    uint32_t sub = 0;
    for (int k = 3; k >= 0; --k) sub = (sub << 8) | static_cast<unsigned char>(raw[at + k]);
    text += "-" + std::to_string(sub);
  }
  return text;
}

TEST_F(NameTranslation, RendersOneUserInEveryOutputFormat) {
  ASSERT_EQ(initAsBind(translate.get()), S_OK);
  ASSERT_EQ(set(translate.get(), ADS_NAME_TYPE_NT4, s.netbios + "\\alice"), S_OK);
  std::string guid = guidTextOf(readRaw(s.alice(), "objectGUID"));
  std::map<LONG, std::string> expected = {
      {ADS_NAME_TYPE_1779, s.alice()},
      {ADS_NAME_TYPE_CANONICAL, s.domain + "/Orvistal/People/Alice Liddell"},
      {ADS_NAME_TYPE_NT4, s.netbios + "\\alice"},
      {ADS_NAME_TYPE_DISPLAY, "Alice Liddell"},
      {ADS_NAME_TYPE_DOMAIN_SIMPLE, "alice@" + s.domain},
      {ADS_NAME_TYPE_ENTERPRISE_SIMPLE, "alice@" + s.domain},
      {ADS_NAME_TYPE_GUID, guid},
      {ADS_NAME_TYPE_USER_PRINCIPAL_NAME, "alice@" + s.domain},
      {ADS_NAME_TYPE_CANONICAL_EX, s.domain + "/Orvistal/People\nAlice Liddell"},
  };
  for (const auto& [format, text] : expected) {
    std::string out;
    EXPECT_EQ(get(translate.get(), format, &out), S_OK) << format;
    EXPECT_EQ(out, text) << format;
  }
  std::string out;
  EXPECT_EQ(get(translate.get(), ADS_NAME_TYPE_UNKNOWN, &out), E_ADS_BAD_PARAMETER) << "input only";
  EXPECT_EQ(get(translate.get(), ADS_NAME_TYPE_SID_OR_SID_HISTORY_NAME, &out), E_ADS_BAD_PARAMETER) << "input only";
  EXPECT_EQ(get(translate.get(), 13, &out), E_ADS_BAD_PARAMETER);
}

TEST_F(NameTranslation, FindsOneUserFromEveryInputFormat) {
  ASSERT_EQ(initAsBind(translate.get()), S_OK);
  std::string guid = guidTextOf(readRaw(s.alice(), "objectGUID"));
  std::string sid = sidTextOf(readRaw(s.alice(), "objectSid"));
  ASSERT_EQ(guid.size(), 38u);
  std::string upper = guid;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const std::pair<LONG, std::string> inputs[] = {
      {ADS_NAME_TYPE_1779, s.alice()},
      {ADS_NAME_TYPE_1779, "cn=alice liddell,ou=people,ou=orvistal," + s.baseDn},
      {ADS_NAME_TYPE_CANONICAL, s.domain + "/Orvistal/People/Alice Liddell"},
      {ADS_NAME_TYPE_CANONICAL, "ORVISTAL.TEST/orvistal/people/alice liddell"},
      {ADS_NAME_TYPE_NT4, s.netbios + "\\alice"},
      {ADS_NAME_TYPE_NT4, "orvistal\\ALICE"},
      {ADS_NAME_TYPE_DISPLAY, "Alice Liddell"},
      {ADS_NAME_TYPE_DOMAIN_SIMPLE, "alice@" + s.domain},
      {ADS_NAME_TYPE_ENTERPRISE_SIMPLE, "alice@" + s.domain},
      {ADS_NAME_TYPE_GUID, guid},
      {ADS_NAME_TYPE_GUID, upper},
      {ADS_NAME_TYPE_USER_PRINCIPAL_NAME, "alice@" + s.domain},
      {ADS_NAME_TYPE_CANONICAL_EX, s.domain + "/Orvistal/People\nAlice Liddell"},
      {ADS_NAME_TYPE_SID_OR_SID_HISTORY_NAME, sid},
      {ADS_NAME_TYPE_UNKNOWN, s.alice()},
      {ADS_NAME_TYPE_UNKNOWN, s.domain + "/Orvistal/People/Alice Liddell"},
      {ADS_NAME_TYPE_UNKNOWN, s.netbios + "\\alice"},
      {ADS_NAME_TYPE_UNKNOWN, "Alice Liddell"},
      {ADS_NAME_TYPE_UNKNOWN, "alice@" + s.domain},
      {ADS_NAME_TYPE_UNKNOWN, guid},
      {ADS_NAME_TYPE_UNKNOWN, sid},
  };
  for (const auto& [format, name] : inputs) {
    std::string dn;
    EXPECT_EQ(translateToDn(format, name, &dn), S_OK) << format << " " << name;
    EXPECT_EQ(dn, s.alice()) << format << " " << name;
  }
}

TEST_F(NameTranslation, NamesWithSpecialCharactersTranslateBothWays) {
  ASSERT_EQ(initAsBind(translate.get()), S_OK);
  std::string dn, out;
  // A comma in the relative name: escaped in the DN, plain in the canonical name.
  ASSERT_EQ(translateToDn(ADS_NAME_TYPE_CANONICAL, s.domain + "/Orvistal/People/Smith, Jo", &dn), S_OK);
  EXPECT_EQ(dn, jsmithDn());
  EXPECT_EQ(get(translate.get(), ADS_NAME_TYPE_NT4, &out), S_OK);
  EXPECT_EQ(out, s.netbios + "\\jsmith");
  // Explicit principal name unlike the account name, and the implicit one beside it.
  ASSERT_EQ(translateToDn(ADS_NAME_TYPE_USER_PRINCIPAL_NAME, "jo.smith@" + s.domain, &dn), S_OK);
  EXPECT_EQ(dn, jsmithDn());
  ASSERT_EQ(translateToDn(ADS_NAME_TYPE_USER_PRINCIPAL_NAME, "jsmith@" + s.domain, &dn), S_OK);
  EXPECT_EQ(dn, jsmithDn());
  EXPECT_EQ(get(translate.get(), ADS_NAME_TYPE_USER_PRINCIPAL_NAME, &out), S_OK);
  EXPECT_EQ(out, "jo.smith@" + s.domain) << "the stored value, not the name used to find it";
  // Non-ASCII text in both directions.
  ASSERT_EQ(translateToDn(ADS_NAME_TYPE_NT4, s.netbios + "\\zoe", &dn), S_OK);
  EXPECT_EQ(get(translate.get(), ADS_NAME_TYPE_DISPLAY, &out), S_OK);
  EXPECT_EQ(out, "Zo\xC3\xAB \xC3\x87" "elik");
  EXPECT_EQ(get(translate.get(), ADS_NAME_TYPE_CANONICAL, &out), S_OK);
  EXPECT_EQ(out, s.domain + "/Orvistal/People/Zo\xC3\xAB \xC3\x87" "elik");
  ASSERT_EQ(translateToDn(ADS_NAME_TYPE_CANONICAL, out, &dn), S_OK);
  EXPECT_EQ(get(translate.get(), ADS_NAME_TYPE_NT4, &out), S_OK);
  EXPECT_EQ(out, s.netbios + "\\zoe");
  // Deeper nesting.
  ASSERT_EQ(translateToDn(ADS_NAME_TYPE_CANONICAL, s.domain + "/Orvistal/People/Staff/Engineering/Deep Diver", &dn),
            S_OK);
  EXPECT_EQ(dn, "CN=Deep Diver,OU=Engineering,OU=Staff," + s.people());
}

TEST_F(NameTranslation, CanonicalNamesAgreeWithTheServersOwn) {
  // Samba constructs canonicalName too; for names without '/' or escapes both must agree.
  ASSERT_EQ(initAsBind(translate.get()), S_OK);
  for (const std::string& dn : {s.alice(), bobDn(), "CN=Deep Diver,OU=Engineering,OU=Staff," + s.people(),
                                 "OU=Staff," + s.people(), "CN=WS01,OU=Machines,OU=Orvistal," + s.baseDn,
                                 "CN=Users," + s.baseDn, s.baseDn}) {
    std::string server = readRaw(dn, "canonicalName");
    ASSERT_FALSE(server.empty()) << dn;
    std::string ours;
    ASSERT_EQ(set(translate.get(), ADS_NAME_TYPE_1779, dn), S_OK) << dn;
    EXPECT_EQ(get(translate.get(), ADS_NAME_TYPE_CANONICAL, &ours), S_OK);
    EXPECT_EQ(ours, server) << dn;
  }
}

TEST_F(NameTranslation, ImplicitPrincipalNameAndMissingValues) {
  ASSERT_EQ(initAsBind(translate.get()), S_OK);
  std::string dn, out;
  // bob has no userPrincipalName: account@dnsdomain still finds him.
  ASSERT_EQ(translateToDn(ADS_NAME_TYPE_USER_PRINCIPAL_NAME, "bob@" + s.domain, &dn), S_OK);
  EXPECT_EQ(dn, bobDn());
  ASSERT_EQ(translateToDn(ADS_NAME_TYPE_UNKNOWN, "BOB@" + s.domain, &dn), S_OK);
  EXPECT_EQ(dn, bobDn());
  for (LONG format : {ADS_NAME_TYPE_USER_PRINCIPAL_NAME, ADS_NAME_TYPE_DOMAIN_SIMPLE, ADS_NAME_TYPE_ENTERPRISE_SIMPLE,
                      ADS_NAME_TYPE_DISPLAY}) {
    EXPECT_EQ(get(translate.get(), format, &out), noMapping) << format;
  }
  EXPECT_EQ(get(translate.get(), ADS_NAME_TYPE_NT4, &out), S_OK);
  EXPECT_EQ(out, s.netbios + "\\bob");
  EXPECT_EQ(translateToDn(ADS_NAME_TYPE_USER_PRINCIPAL_NAME, "bob@elsewhere.test", &dn), notFound);
}

TEST_F(NameTranslation, DomainsContainersAndContacts) {
  ASSERT_EQ(initAsBind(translate.get()), S_OK);
  std::string dn, out;
  ASSERT_EQ(translateToDn(ADS_NAME_TYPE_NT4, s.netbios + "\\", &dn), S_OK);
  EXPECT_EQ(dn, s.baseDn);
  EXPECT_EQ(get(translate.get(), ADS_NAME_TYPE_CANONICAL, &out), S_OK);
  EXPECT_EQ(out, s.domain + "/");
  EXPECT_EQ(get(translate.get(), ADS_NAME_TYPE_CANONICAL_EX, &out), S_OK);
  EXPECT_EQ(out, s.domain + "\n");
  ASSERT_EQ(translateToDn(ADS_NAME_TYPE_CANONICAL, s.domain + "/", &dn), S_OK);
  EXPECT_EQ(get(translate.get(), ADS_NAME_TYPE_NT4, &out), S_OK);
  EXPECT_EQ(out, s.netbios + "\\");

  // An OU and a contact have no account name.
  ASSERT_EQ(translateToDn(ADS_NAME_TYPE_CANONICAL, s.domain + "/Orvistal/People", &dn), S_OK);
  EXPECT_EQ(dn, s.people());
  EXPECT_EQ(get(translate.get(), ADS_NAME_TYPE_NT4, &out), noMapping);
  ASSERT_EQ(translateToDn(ADS_NAME_TYPE_DISPLAY, "External Contact", &dn), S_OK);
  EXPECT_EQ(dn, "CN=Ext Contact," + s.people());
  EXPECT_EQ(get(translate.get(), ADS_NAME_TYPE_NT4, &out), noMapping);

  // The configuration partition is reached although the domain only refers to it.
  ASSERT_EQ(translateToDn(ADS_NAME_TYPE_CANONICAL, s.domain + "/Configuration/Sites", &dn), S_OK);
  EXPECT_EQ(dn, "CN=Sites,CN=Configuration," + s.baseDn);
  ASSERT_EQ(translateToDn(ADS_NAME_TYPE_1779, "CN=WS01,OU=Machines,OU=Orvistal," + s.baseDn, &dn), S_OK);
  EXPECT_EQ(get(translate.get(), ADS_NAME_TYPE_NT4, &out), S_OK);
  EXPECT_EQ(out, s.netbios + "\\WS01$");
}

TEST_F(NameTranslation, NamesThatMatchNothingAreNotFound) {
  ASSERT_EQ(initAsBind(translate.get()), S_OK);
  const std::pair<LONG, std::string> missing[] = {
      {ADS_NAME_TYPE_1779, "CN=Nobody," + s.people()},
      {ADS_NAME_TYPE_1779, "not a distinguished name"},
      {ADS_NAME_TYPE_CANONICAL, s.domain + "/Orvistal/Nobody"},
      {ADS_NAME_TYPE_CANONICAL, "elsewhere.test/Orvistal"},
      {ADS_NAME_TYPE_CANONICAL, "no slash at all"},
      {ADS_NAME_TYPE_NT4, s.netbios + "\\nobody"},
      {ADS_NAME_TYPE_NT4, "NOSUCH\\alice"},
      {ADS_NAME_TYPE_DISPLAY, "Nobody Here"},
      {ADS_NAME_TYPE_USER_PRINCIPAL_NAME, "nobody@" + s.domain},
      {ADS_NAME_TYPE_GUID, "{00000000-1111-2222-3333-444444444444}"},
      {ADS_NAME_TYPE_GUID, "not a guid"},
      {ADS_NAME_TYPE_SID_OR_SID_HISTORY_NAME, "S-1-5-21-1-2-3-4"},
      {ADS_NAME_TYPE_UNKNOWN, "Nobody Here"},
  };
  for (const auto& [format, name] : missing) {
    std::string dn;
    EXPECT_EQ(translateToDn(format, name, &dn), notFound) << format << " " << name;
  }
  std::string out;
  EXPECT_EQ(get(translate.get(), ADS_NAME_TYPE_1779, &out), E_ADS_BAD_PARAMETER) << "a failed Set leaves nothing";
  EXPECT_EQ(set(translate.get(), 0, "alice"), E_ADS_BAD_PARAMETER);
  EXPECT_EQ(set(translate.get(), ADS_NAME_TYPE_NT4, ""), E_ADS_BAD_PARAMETER);
}

TEST_F(NameTranslation, WildcardsAndFilterSyntaxNeverSelectAnAccount) {
  ASSERT_EQ(initAsBind(translate.get()), S_OK);
  const std::pair<LONG, std::string> attempts[] = {
      {ADS_NAME_TYPE_NT4, s.netbios + "\\*"},
      {ADS_NAME_TYPE_NT4, s.netbios + "\\al*"},
      {ADS_NAME_TYPE_NT4, s.netbios + "\\alice)(sAMAccountName=*"},
      {ADS_NAME_TYPE_NT4, s.netbios + "\\*)(|(objectClass=*"},
      {ADS_NAME_TYPE_DISPLAY, "*"},
      {ADS_NAME_TYPE_DISPLAY, "Alice*"},
      {ADS_NAME_TYPE_DISPLAY, "a)(objectClass=*"},
      {ADS_NAME_TYPE_USER_PRINCIPAL_NAME, "*@" + s.domain},
      {ADS_NAME_TYPE_USER_PRINCIPAL_NAME, "alice*@" + s.domain},
      {ADS_NAME_TYPE_USER_PRINCIPAL_NAME, "*)(sAMAccountName=alice@" + s.domain},
      {ADS_NAME_TYPE_CANONICAL, s.domain + "/Orvistal/People/*"},
      {ADS_NAME_TYPE_CANONICAL, s.domain + "/Orvistal/*/Alice Liddell"},
      {ADS_NAME_TYPE_UNKNOWN, "*"},
      {ADS_NAME_TYPE_UNKNOWN, "*)(objectClass=*"},
      {ADS_NAME_TYPE_SID_OR_SID_HISTORY_NAME, "S-1-5-21-*"},
  };
  for (const auto& [format, name] : attempts) {
    std::string dn;
    EXPECT_EQ(translateToDn(format, name, &dn), notFound) << format << " " << name;
  }
  // A NUL must not cut "alice<NUL>x" down to alice.
  std::u16string withNul = wide(s.netbios + "\\alice");
  withNul += u'\0';
  withNul += u'x';
  BSTR name = SysAllocStringLen(withNul.data(), static_cast<UINT>(withNul.size()));
  EXPECT_EQ(translate->Set(ADS_NAME_TYPE_NT4, name), notFound);
  SysFreeString(name);
}

TEST_F(NameTranslation, TwoObjectsWithOneNameAreNotUnique) {
  // A contact sharing alice's display name, made for this test and removed afterwards.
  adsi::Credentials admin;
  admin.mode = adsi::BindMode::Simple;
  admin.user = s.adminUser;
  admin.password = adsi::Secret(s.adminPassword);
  std::shared_ptr<adsi::Connection> connection;
  ASSERT_EQ(adsi::openFreshConnection(adsi::Endpoint{s.server, 636}, admin, &connection), S_OK);
  std::string twin = "CN=nt-twin-" + std::to_string(::getpid()) + ",CN=Users," + s.baseDn;
  char objectClassName[] = "objectClass", contact[] = "contact", displayNameName[] = "displayName",
       display[] = "Alice Liddell";
  char* classValues[] = {contact, nullptr};
  char* displayValues[] = {display, nullptr};
  LDAPMod classMod{LDAP_MOD_ADD, objectClassName, {classValues}};
  LDAPMod displayMod{LDAP_MOD_ADD, displayNameName, {displayValues}};
  LDAPMod* mods[] = {&classMod, &displayMod, nullptr};
  ASSERT_TRUE(connection->add(twin, mods, nullptr).ok());
  struct Remove {
    std::shared_ptr<adsi::Connection> connection;
    std::string dn;
    ~Remove() { connection->remove(dn, nullptr); }
  } remove{connection, twin};

  ASSERT_EQ(initAsBind(translate.get()), S_OK);
  std::string dn;
  EXPECT_EQ(translateToDn(ADS_NAME_TYPE_DISPLAY, "Alice Liddell", &dn), notUnique);
  EXPECT_EQ(translateToDn(ADS_NAME_TYPE_UNKNOWN, "Alice Liddell", &dn), notUnique);
  EXPECT_EQ(translateToDn(ADS_NAME_TYPE_NT4, s.netbios + "\\alice", &dn), S_OK) << "other formats stay exact";
}

TEST_F(NameTranslation, InitExAcceptsTheAccountInEveryNameForm) {
  struct Form {
    LONG type;
    std::string path, user, domain;
  } forms[] = {
      {ADS_NAME_INITTYPE_SERVER, s.server, "alice@" + s.domain, "", },
      {ADS_NAME_INITTYPE_SERVER, s.server, "alice", s.netbios},
      {ADS_NAME_INITTYPE_SERVER, s.server, s.netbios + "\\alice", ""},
      {ADS_NAME_INITTYPE_SERVER, s.server, "alice", s.domain},
      {ADS_NAME_INITTYPE_SERVER, s.server + ":636", "alice", s.netbios},
      {ADS_NAME_INITTYPE_DOMAIN, s.domain, "alice", s.domain},
      {ADS_NAME_INITTYPE_SERVER, s.server, s.alice(), ""},
  };
  for (const Form& form : forms) {
    Ptr<IADsNameTranslate> each;
    ASSERT_EQ(create(each), S_OK);
    // A distinguished name names no Kerberos principal: it logs on only with simple binds.
    bool refused = form.user == s.alice() && !adsi::simpleBindsAllowed();
    EXPECT_EQ(initEx(each.get(), form.type, form.path, form.user, form.domain, "Alice.Pw.123"),
              refused ? logonFailure : S_OK)
        << form.path << " " << form.user << " / " << form.domain;
    if (refused) continue;
    std::string out;
    EXPECT_EQ(set(each.get(), ADS_NAME_TYPE_USER_PRINCIPAL_NAME, "erin@" + s.domain), S_OK) << form.user;
    EXPECT_EQ(get(each.get(), ADS_NAME_TYPE_NT4, &out), S_OK);
    EXPECT_EQ(out, s.netbios + "\\erin");
  }
}

TEST_F(NameTranslation, InitExRefusesWrongPasswordsAndUnusableAccounts) {
  const struct {
    std::string user, password;
    HRESULT expected;
  } cases[] = {
      {"alice@" + s.domain, "Wrong.Pw.123", logonFailure},
      {"alice@" + s.domain, "", logonFailure},
      {"nobody@" + s.domain, "Alice.Pw.123", logonFailure},
      {"carol@" + s.domain, "anything", logonFailure},
      {"dora@" + s.domain, "Dora.Pw.123", static_cast<HRESULT>(0x80070533)},
      {"dora@" + s.domain, "Wrong.Pw.123", logonFailure},
      {"expired@" + s.domain, "Expired.Pw.123", static_cast<HRESULT>(0x80070701)},
      {"mustchange@" + s.domain, "Must.Change.Pw1", static_cast<HRESULT>(0x80070773)},
  };
  for (const auto& c : cases) {
    Ptr<IADsNameTranslate> each;
    ASSERT_EQ(create(each), S_OK);
    EXPECT_EQ(initEx(each.get(), ADS_NAME_INITTYPE_SERVER, s.server, c.user, "", c.password), c.expected) << c.user;
    EXPECT_EQ(set(each.get(), ADS_NAME_TYPE_NT4, s.netbios + "\\alice"), E_ADS_BAD_PARAMETER) << "not initialised";
  }
}

TEST_F(NameTranslation, InitExAuthenticatesEveryTimeOnAKeptConnection) {
  // Every InitEx binds; the TCP connection and TLS session of the first are kept for the next
  // bind, and a right password first must not let a wrong one ride on that connection.
  adsi::testing::clearPool();
  size_t opened = adsi::testing::connectionsOpened();
  EXPECT_EQ(initEx(translate.get(), ADS_NAME_INITTYPE_SERVER, s.server, "alice@" + s.domain, "", "Alice.Pw.123"), S_OK);
  size_t sent = adsi::testing::operationsSentByThisThread();
  EXPECT_EQ(initEx(translate.get(), ADS_NAME_INITTYPE_SERVER, s.server, "alice@" + s.domain, "", "Alice.Pw.123"), S_OK);
  EXPECT_EQ(adsi::testing::operationsSentByThisThread() - sent, 1u) << "one bind, nothing else";
  EXPECT_EQ(initEx(translate.get(), ADS_NAME_INITTYPE_SERVER, s.server, "alice@" + s.domain, "", "Alice.Pw.1234"),
            logonFailure);
  EXPECT_EQ(adsi::testing::connectionsOpened() - opened, 1u) << "the TLS connection serves every bind";
  Ptr<IADsNameTranslate> other;
  ASSERT_EQ(create(other), S_OK);
  EXPECT_EQ(initEx(other.get(), ADS_NAME_INITTYPE_SERVER, s.server, "alice@" + s.domain, "", "alice.pw.123"),
            logonFailure);
  // A password the KDC refuses leaves the kept connection unbound and kept; a simple bind's
  // refusal closes it.
  EXPECT_EQ(adsi::testing::connectionsOpened() - opened, adsi::simpleBindsAllowed() ? 2u : 1u)
      << "a connection whose bind failed is closed";
  // A bare account name logs on in the directory's own domain, as an empty domain does on a
  // Windows domain member.
  EXPECT_EQ(initEx(other.get(), ADS_NAME_INITTYPE_SERVER, s.server, "alice", "", "Alice.Pw.123"), S_OK);
}

TEST_F(NameTranslation, OwnKerberosIdentity) {
  std::string kinit = "bash '" + sourceDirectory() + "/../directory/dc.sh' kinit >/dev/null 2>&1";
  ASSERT_EQ(std::system(kinit.c_str()), 0);
  std::string dn;
  Bstr server(s.server);
  ASSERT_EQ(translate->Init(ADS_NAME_INITTYPE_SERVER, server.b), S_OK);
  EXPECT_EQ(translateToDn(ADS_NAME_TYPE_NT4, s.netbios + "\\alice", &dn), S_OK);
  EXPECT_EQ(dn, s.alice());

  Bstr domain(s.domain);
  ASSERT_EQ(translate->Init(ADS_NAME_INITTYPE_DOMAIN, domain.b), S_OK);
  EXPECT_EQ(translateToDn(ADS_NAME_TYPE_USER_PRINCIPAL_NAME, "bob@" + s.domain, &dn), S_OK);
  EXPECT_EQ(dn, bobDn());

  // InitEx with neither account nor password is the same identity.
  ASSERT_EQ(initEx(translate.get(), ADS_NAME_INITTYPE_SERVER, s.server, "", "", ""), S_OK);
  EXPECT_EQ(translateToDn(ADS_NAME_TYPE_DISPLAY, "Alice Liddell", &dn), S_OK);
}

TEST_F(NameTranslation, GlobalCatalogAndDefaultServer) {
  // The default server comes from OpenLDAP's URI setting, set here for this test only.
  std::string uri = "ldap://" + s.server;
  ASSERT_EQ(ldap_set_option(nullptr, LDAP_OPT_URI, uri.c_str()), LDAP_OPT_SUCCESS);
  struct Restore {
    ~Restore() { ldap_set_option(nullptr, LDAP_OPT_URI, nullptr); }
  } restore;
  std::string dn, out;
  ASSERT_EQ(initEx(translate.get(), ADS_NAME_INITTYPE_GC, "", s.bindUser, "", s.bindPassword), S_OK);
  ASSERT_EQ(translateToDn(ADS_NAME_TYPE_NT4, s.netbios + "\\alice", &dn), S_OK);
  EXPECT_EQ(dn, s.alice());
  ASSERT_EQ(translateToDn(ADS_NAME_TYPE_USER_PRINCIPAL_NAME, "jo.smith@" + s.domain, &dn), S_OK);
  EXPECT_EQ(dn, jsmithDn());
  EXPECT_EQ(get(translate.get(), ADS_NAME_TYPE_CANONICAL, &out), S_OK);
  EXPECT_EQ(out, s.domain + "/Orvistal/People/Smith, Jo");

  ASSERT_EQ(initEx(translate.get(), ADS_NAME_INITTYPE_SERVER, "", s.bindUser, "", s.bindPassword), S_OK);
  EXPECT_EQ(translateToDn(ADS_NAME_TYPE_DISPLAY, "Deep Diver", &dn), S_OK);
}

TEST_F(NameTranslation, UnreachableServerGivesTheConnectionFailure) {
  EXPECT_EQ(initEx(translate.get(), ADS_NAME_INITTYPE_SERVER, s.server + ":1", s.bindUser, "", s.bindPassword),
            serverDown);
  std::string dn;
  EXPECT_EQ(translateToDn(ADS_NAME_TYPE_NT4, s.netbios + "\\alice", &dn), E_ADS_BAD_PARAMETER);
}

}  // namespace
