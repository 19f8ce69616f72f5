// The name syntax of the translation formats, without a directory: canonical names and DNs,
// GUID text, NT4 and principal names, filter values, format guessing, Init's server address
// and InitEx's choice of identity.
#include <gtest/gtest.h>

#include "adsi/name_translate.h"
#include "adsi/path.h"

namespace {

namespace names = winapi::adsi::names;
using names::CanonicalName;

TEST(CanonicalName, ParsesDomainAndComponentsTopDown) {
  CanonicalName name;
  ASSERT_TRUE(names::parseCanonicalName("orvistal.test/Orvistal/People/Alice Liddell", &name));
  EXPECT_EQ(name.domain, "orvistal.test");
  EXPECT_EQ(name.components, (std::vector<std::string>{"Orvistal", "People", "Alice Liddell"}));

  ASSERT_TRUE(names::parseCanonicalName("orvistal.test/", &name)) << "the domain itself";
  EXPECT_EQ(name.domain, "orvistal.test");
  EXPECT_TRUE(name.components.empty());

  ASSERT_TRUE(names::parseCanonicalName("orvistal.test/Orvistal/A\\/B/Smith, Jo", &name));
  EXPECT_EQ(name.components, (std::vector<std::string>{"Orvistal", "A/B", "Smith, Jo"}));
}

TEST(CanonicalName, RefusesNamesWithoutDomainOrWithEmptyComponents) {
  CanonicalName name;
  for (const char* bad : {"orvistal.test", "/Orvistal", "orvistal.test//People", "orvistal.test/People/", "",
                          "orvistal.test\\/People"}) {
    EXPECT_FALSE(names::parseCanonicalName(bad, &name)) << bad;
  }
}

TEST(CanonicalName, ExtendedFormHasALineFeedForTheLastSlash) {
  CanonicalName name;
  ASSERT_TRUE(names::parseCanonicalNameEx("orvistal.test/Orvistal/People\nAlice Liddell", &name));
  EXPECT_EQ(name.components, (std::vector<std::string>{"Orvistal", "People", "Alice Liddell"}));
  ASSERT_TRUE(names::parseCanonicalNameEx("orvistal.test\n", &name));
  EXPECT_TRUE(name.components.empty());
  EXPECT_FALSE(names::parseCanonicalNameEx("orvistal.test/Orvistal/People/Alice Liddell", &name));

  EXPECT_EQ(names::canonicalToExtended("orvistal.test/Orvistal/People/Alice Liddell"),
            "orvistal.test/Orvistal/People\nAlice Liddell");
  EXPECT_EQ(names::canonicalToExtended("orvistal.test/"), "orvistal.test\n");
  EXPECT_EQ(names::canonicalToExtended("orvistal.test/People/A\\/B"), "orvistal.test/People\nA\\/B")
      << "an escaped slash inside the last name is not the separator";
}

TEST(CanonicalName, RenderedFromDn) {
  struct Case {
    const char* dn;
    const char* canonical;
  } cases[] = {
      {"CN=Alice Liddell,OU=People,OU=Orvistal,DC=orvistal,DC=test", "orvistal.test/Orvistal/People/Alice Liddell"},
      {"DC=orvistal,DC=test", "orvistal.test/"},
      {"CN=Smith\\, Jo,OU=People,OU=Orvistal,DC=orvistal,DC=test", "orvistal.test/Orvistal/People/Smith, Jo"},
      {"OU=A/B,DC=orvistal,DC=test", "orvistal.test/A\\/B"},
      {"CN=Sites,CN=Configuration,DC=orvistal,DC=test", "orvistal.test/Configuration/Sites"},
      {"cn=x,dc=Sub,dc=Orvistal,dc=test", "Sub.Orvistal.test/x"},
      {"CN=Z\\C3\\B6e,DC=orvistal,DC=test", "orvistal.test/Z\xC3\xB6" "e"},
      {"CN=DC Box,DC=orvistal,DC=test", "orvistal.test/DC Box"},
      {"DC=inner,OU=x,DC=orvistal,DC=test", "orvistal.test/x/inner"},
  };
  for (const Case& c : cases) {
    std::string canonical;
    ASSERT_TRUE(names::canonicalNameOfDn(c.dn, &canonical)) << c.dn;
    EXPECT_EQ(canonical, c.canonical) << c.dn;
  }
  std::string canonical;
  EXPECT_FALSE(names::canonicalNameOfDn("CN=Schema,O=Elsewhere", &canonical)) << "no DNS name to start from";
  EXPECT_FALSE(names::canonicalNameOfDn("not a dn", &canonical));
}

TEST(CanonicalName, RoundTripsThroughParsing) {
  const char* dns[] = {"CN=Alice Liddell,OU=People,OU=Orvistal,DC=orvistal,DC=test", "OU=A/B,OU=C,DC=orvistal,DC=test",
                       "DC=orvistal,DC=test"};
  for (const char* dn : dns) {
    std::string canonical;
    ASSERT_TRUE(names::canonicalNameOfDn(dn, &canonical));
    CanonicalName parsed;
    ASSERT_TRUE(names::parseCanonicalName(canonical, &parsed)) << canonical;
    std::string rebuilt;
    for (const std::string& component : parsed.components)
      rebuilt = "X=" + winapi::adsi::escapeDnValue(component) + "," + rebuilt;
    rebuilt += names::dnOfDnsName(parsed.domain);
    std::string again;
    ASSERT_TRUE(names::canonicalNameOfDn(rebuilt, &again));
    EXPECT_EQ(again, canonical);
  }
}

TEST(CanonicalName, DnsNameBecomesDomainComponents) {
  EXPECT_EQ(names::dnOfDnsName("orvistal.test"), "DC=orvistal,DC=test");
  EXPECT_EQ(names::dnOfDnsName("a.b.c."), "DC=a,DC=b,DC=c");
  EXPECT_EQ(names::dnOfDnsName("we,ird.test"), "DC=we\\,ird,DC=test") << "a value is escaped, never spliced";
  EXPECT_EQ(names::dnOfDnsName(""), "");
}

TEST(GuidText, StoredBytesRoundTripWithLittleEndianFields) {
  // objectGUID bytes as stored, and the text Windows shows for them.
  names::GuidBytes stored = {0x68, 0x16, 0x5a, 0x0c, 0x65, 0x06, 0x66, 0x46,
                             0x8a, 0x69, 0x72, 0xc1, 0x69, 0x2f, 0x7f, 0x5e};
  EXPECT_EQ(names::formatGuid(stored), "{0c5a1668-0665-4666-8a69-72c1692f7f5e}");

  names::GuidBytes parsed{};
  ASSERT_TRUE(names::parseGuidText("{0C5A1668-0665-4666-8A69-72C1692F7F5E}", &parsed));
  EXPECT_EQ(parsed, stored);
  ASSERT_TRUE(names::parseGuidText("0c5a1668-0665-4666-8a69-72c1692f7f5e", &parsed)) << "braces are optional";
  EXPECT_EQ(parsed, stored);
}

TEST(GuidText, RefusesMalformedText) {
  names::GuidBytes parsed{};
  for (const char* bad : {"{0c5a1668-0665-4666-8a69-72c1692f7f5}", "{0c5a1668-0665-4666-8a69-72c1692f7f5g}",
                          "{0c5a16680665-4666-8a69-72c1692f7f5e0}", "{0c5a1668-0665-4666-8a69-72c1692f7f5e",
                          "0c5a166806654666 8a6972c1692f7f5e", "", "{}"}) {
    EXPECT_FALSE(names::parseGuidText(bad, &parsed)) << bad;
  }
}

TEST(AccountNames, Nt4SplitsAtTheFirstBackslash) {
  std::string domain, account;
  ASSERT_TRUE(names::parseNt4Name("ORVISTAL\\alice", &domain, &account));
  EXPECT_EQ(domain, "ORVISTAL");
  EXPECT_EQ(account, "alice");
  ASSERT_TRUE(names::parseNt4Name("ORVISTAL\\", &domain, &account)) << "the domain alone";
  EXPECT_EQ(account, "");
  EXPECT_FALSE(names::parseNt4Name("\\alice", &domain, &account));
  EXPECT_FALSE(names::parseNt4Name("alice", &domain, &account));
}

TEST(AccountNames, PrincipalNameSplitsAtTheLastAt) {
  std::string account, suffix;
  ASSERT_TRUE(names::parsePrincipalName("jo.smith@orvistal.test", &account, &suffix));
  EXPECT_EQ(account, "jo.smith");
  EXPECT_EQ(suffix, "orvistal.test");
  ASSERT_TRUE(names::parsePrincipalName("odd@name@orvistal.test", &account, &suffix));
  EXPECT_EQ(account, "odd@name");
  for (const char* bad : {"@orvistal.test", "alice@", "alice"})
    EXPECT_FALSE(names::parsePrincipalName(bad, &account, &suffix)) << bad;
}

TEST(FilterValues, EveryFilterSpecialIsEscaped) {
  // The values Set places in filters: none may change the filter's structure.
  EXPECT_EQ(winapi::adsi::escapeFilterValue("*"), "\\2a");
  EXPECT_EQ(winapi::adsi::escapeFilterValue("a)(objectClass=*"), "a\\29\\28objectClass=\\2a");
  EXPECT_EQ(winapi::adsi::escapeFilterValue(std::string("a\0b\\", 4)), "a\\00b\\5c");
  const uint8_t bytes[] = {0x00, 0x2a, 0xff, 0x28};
  EXPECT_EQ(names::binaryFilterValue(bytes, sizeof bytes), "\\00\\2a\\ff\\28");
}

TEST(UnknownFormat, CandidatesFollowTheSyntax) {
  using V = std::vector<int>;
  EXPECT_EQ(names::candidateFormats("CN=Alice Liddell,OU=People,DC=orvistal,DC=test"),
            (V{ADS_NAME_TYPE_1779, ADS_NAME_TYPE_DISPLAY}));
  EXPECT_EQ(names::candidateFormats("CN=Smith\\, Jo,DC=orvistal,DC=test"),
            (V{ADS_NAME_TYPE_1779, ADS_NAME_TYPE_NT4, ADS_NAME_TYPE_DISPLAY}))
      << "DN first; its escape also looks like an NT4 name";
  EXPECT_EQ(names::candidateFormats("ORVISTAL\\alice"), (V{ADS_NAME_TYPE_NT4, ADS_NAME_TYPE_DISPLAY}));
  EXPECT_EQ(names::candidateFormats("alice@orvistal.test"),
            (V{ADS_NAME_TYPE_USER_PRINCIPAL_NAME, ADS_NAME_TYPE_DISPLAY}));
  EXPECT_EQ(names::candidateFormats("{0c5a1668-0665-4666-8a69-72c1692f7f5e}"),
            (V{ADS_NAME_TYPE_GUID, ADS_NAME_TYPE_DISPLAY}));
  EXPECT_EQ(names::candidateFormats("S-1-5-21-1-2-3-1105"),
            (V{ADS_NAME_TYPE_SID_OR_SID_HISTORY_NAME, ADS_NAME_TYPE_DISPLAY}));
  EXPECT_EQ(names::candidateFormats("orvistal.test/Orvistal/People/Alice Liddell"),
            (V{ADS_NAME_TYPE_CANONICAL, ADS_NAME_TYPE_DISPLAY}));
  EXPECT_EQ(names::candidateFormats("orvistal.test/Orvistal/People\nAlice Liddell"),
            (V{ADS_NAME_TYPE_CANONICAL_EX, ADS_NAME_TYPE_DISPLAY}));
  EXPECT_EQ(names::candidateFormats("Alice Liddell"), (V{ADS_NAME_TYPE_DISPLAY}));
  EXPECT_EQ(names::candidateFormats("1+1=2"), (V{ADS_NAME_TYPE_DISPLAY})) << "'=' alone does not make a DN";
}

TEST(ServerAddress, HostWithOptionalPort) {
  winapi::adsi::Endpoint endpoint;
  ASSERT_TRUE(names::parseServerAddress("dc1.orvistal.test", &endpoint));
  EXPECT_EQ(endpoint.host, "dc1.orvistal.test");
  EXPECT_EQ(endpoint.port, 389);
  ASSERT_TRUE(names::parseServerAddress("dc1.orvistal.test:636", &endpoint));
  EXPECT_EQ(endpoint.port, 636);
  ASSERT_TRUE(names::parseServerAddress("[::1]:3269", &endpoint));
  EXPECT_EQ(endpoint.host, "::1");
  EXPECT_EQ(endpoint.port, 3269);
  for (const char* bad : {"dc1:", "dc1:0", "dc1:65536", "dc1:12a", "a:1:2", "LDAP://dc1", "dc1/x", "[::1", "[]:389",
                          "[::1]x", "user@dc1", ":389"}) {
    EXPECT_FALSE(names::parseServerAddress(bad, &endpoint)) << bad;
  }
}

TEST(InitExIdentity, BindNameIsBuiltAsWindowsWould) {
  using names::IdentityKind;
  struct Case {
    const char* user;
    const char* domain;
    bool password;
    IdentityKind kind;
    const char* bindName;
  } cases[] = {
      {"alice@orvistal.test", "ORVISTAL", true, IdentityKind::NamedAccount, "alice@orvistal.test"},
      {"alice", "ORVISTAL", true, IdentityKind::NamedAccount, "ORVISTAL\\alice"},
      {"alice", "orvistal.test", true, IdentityKind::NamedAccount, "alice@orvistal.test"},
      {"alice", "", true, IdentityKind::NamedAccount, "alice"},
      {"ORVISTAL\\alice", "", true, IdentityKind::NamedAccount, "ORVISTAL\\alice"},
      {"CN=Alice Liddell,DC=orvistal,DC=test", "ORVISTAL", true, IdentityKind::NamedAccount,
       "CN=Alice Liddell,DC=orvistal,DC=test"},
      {"alice", "ORVISTAL", false, IdentityKind::Refused, ""},
      {"", "ORVISTAL", true, IdentityKind::Refused, ""},
      {"", "", false, IdentityKind::OwnIdentity, ""},
      {"", "ORVISTAL", false, IdentityKind::OwnIdentity, ""},
  };
  for (const Case& c : cases) {
    names::Identity identity = names::identityFor(c.user, c.domain, c.password);
    EXPECT_EQ(identity.kind, c.kind) << c.user << " / " << c.domain;
    EXPECT_EQ(identity.bindName, c.bindName) << c.user << " / " << c.domain;
  }
}

TEST(InitExIdentity, NamesCutShortByANulAreRefused) {
  using namespace std::string_view_literals;
  EXPECT_EQ(names::identityFor("alice@orvistal.test\0x"sv, "", true).kind, names::IdentityKind::Refused);
  EXPECT_EQ(names::identityFor("alice"sv, "ORVISTAL\0x"sv, true).kind, names::IdentityKind::Refused);
}

TEST(InitExIdentity, RefusedAccountStatesKeepTheirOwnCodes) {
  const HRESULT logonFailure = HRESULT_FROM_WIN32(ERROR_LOGON_FAILURE);
  EXPECT_EQ(names::logonFailureFor(logonFailure, 0x533), static_cast<HRESULT>(0x80070533));
  EXPECT_EQ(names::logonFailureFor(logonFailure, 0x701), static_cast<HRESULT>(0x80070701));
  EXPECT_EQ(names::logonFailureFor(logonFailure, 0x775), static_cast<HRESULT>(0x80070775));
  EXPECT_EQ(names::logonFailureFor(logonFailure, 0x773), static_cast<HRESULT>(0x80070773));
  EXPECT_EQ(names::logonFailureFor(logonFailure, 0x52e), logonFailure);
  EXPECT_EQ(names::logonFailureFor(logonFailure, 0x525), logonFailure) << "an unknown user is not revealed";
  EXPECT_EQ(names::logonFailureFor(logonFailure, 0), logonFailure);
  const HRESULT serverDown = static_cast<HRESULT>(0x8007203A);
  EXPECT_EQ(names::logonFailureFor(serverDown, 0x533), serverDown) << "only a refused bind is refined";
}

}  // namespace
