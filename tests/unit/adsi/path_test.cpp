// ADsPath parsing and the escapes the provider applies to names and filters it builds.
#include "adsi/path.h"

#include <gtest/gtest.h>

#include "adserr.h"

namespace adsi = winapi::adsi;

namespace {

struct PathCase {
  const char* path;
  adsi::PathKind kind;
  const char* host;
  int port;
  const char* dn;
  const char* schemaClass;
};

TEST(AdsPath, EveryFormTheLibraryBuildsParses) {
  const PathCase cases[] = {
      {"LDAP://RootDSE", adsi::PathKind::RootDse, "", 0, "", ""},
      {"LDAP://rootdse", adsi::PathKind::RootDse, "", 0, "", ""},
      {"LDAP://dc1.alpha.test/RootDSE", adsi::PathKind::RootDse, "dc1.alpha.test", 0, "", ""},
      {"LDAP://CN=Jo,DC=alpha,DC=test", adsi::PathKind::Object, "", 0, "CN=Jo,DC=alpha,DC=test", ""},
      {"LDAP://dc1/CN=Jo,DC=alpha", adsi::PathKind::Object, "dc1", 0, "CN=Jo,DC=alpha", ""},
      {"LDAP://dc1:636/CN=Jo,DC=alpha", adsi::PathKind::Object, "dc1", 636, "CN=Jo,DC=alpha", ""},
      {"LDAP://alpha.test:3269/DC=alpha", adsi::PathKind::Object, "alpha.test", 3269, "DC=alpha", ""},
      {"LDAP://127.0.0.2/DC=alpha", adsi::PathKind::Object, "127.0.0.2", 0, "DC=alpha", ""},
      {"LDAP://[::1]:389/DC=alpha", adsi::PathKind::Object, "[::1]", 389, "DC=alpha", ""},
      {"LDAP://dc1/CN=Smith\\, Jo,OU=Staff,DC=alpha", adsi::PathKind::Object, "dc1", 0,
       "CN=Smith\\, Jo,OU=Staff,DC=alpha", ""},
      {"LDAP://dc1/CN=a\\/b,DC=alpha", adsi::PathKind::Object, "dc1", 0, "CN=a/b,DC=alpha", ""},
      {"LDAP://dc1/CN=x\\2Cy,DC=alpha", adsi::PathKind::Object, "dc1", 0, "CN=x\\2Cy,DC=alpha", ""},
      {"LDAP://dc1/<GUID=0c5a1668066546668a6972c1692f7f5e>", adsi::PathKind::Object, "dc1", 0,
       "<GUID=0c5a1668066546668a6972c1692f7f5e>", ""},
      {"LDAP://<GUID=0c5a1668-0665-4666-8a69-72c1692f7f5e>", adsi::PathKind::Object, "", 0,
       "<GUID=0c5a1668-0665-4666-8a69-72c1692f7f5e>", ""},
      {"LDAP://dc1/<SID=S-1-5-21-1-2-3-1105>", adsi::PathKind::Object, "dc1", 0, "<SID=S-1-5-21-1-2-3-1105>", ""},
      {"LDAP://dc1/<SID=010500000000000515000000a065cf7e784b9b5ffe92d0a751040000>", adsi::PathKind::Object, "dc1", 0,
       "<SID=010500000000000515000000a065cf7e784b9b5ffe92d0a751040000>", ""},
      {"LDAP://dc1/<WKGUID=18e2ea80684f11d2b9aa00c04f79f805,DC=alpha,DC=test>", adsi::PathKind::Object, "dc1", 0,
       "<WKGUID=18e2ea80684f11d2b9aa00c04f79f805,DC=alpha,DC=test>", ""},
      {"LDAP://dc1/schema/user", adsi::PathKind::SchemaClass, "dc1", 0, "", "user"},
      {"LDAP://schema/organizationalUnit", adsi::PathKind::SchemaClass, "", 0, "", "organizationalUnit"},
      {"LDAP://dc1.alpha.test", adsi::PathKind::DomainRoot, "dc1.alpha.test", 0, "", ""},
      {"LDAP://dc1/1.2.840.113556.1.4.221=x,DC=alpha", adsi::PathKind::Object, "dc1", 0,
       "1.2.840.113556.1.4.221=x,DC=alpha", ""},
  };
  for (const PathCase& c : cases) {
    adsi::AdsPath parsed;
    ASSERT_EQ(adsi::parseAdsPath(c.path, &parsed), S_OK) << c.path;
    EXPECT_EQ(parsed.kind, c.kind) << c.path;
    EXPECT_EQ(parsed.host, c.host) << c.path;
    EXPECT_EQ(parsed.port, c.port) << c.path;
    EXPECT_EQ(parsed.dn, c.dn) << c.path;
    EXPECT_EQ(parsed.schemaClass, c.schemaClass) << c.path;
  }
}

TEST(AdsPath, MalformedPathsAreBadPathnames) {
  for (const char* path : {"",
                           "LDAP:",
                           "LDAP://",
                           "ldap://dc1/DC=alpha",
                           "WinNT://dc1",
                           "GC://dc1/DC=alpha",
                           "LDAP://dc1/",
                           "LDAP://dc1/jsmith",
                           "LDAP://dc1/CN=Jo,jsmith",
                           "LDAP://dc1/=x",
                           "LDAP://dc1/CN=x\\",
                           "LDAP://dc1/CN=x\\4",
                           "LDAP://dc1:/DC=a",
                           "LDAP://dc1:0/DC=a",
                           "LDAP://dc1:65536/DC=a",
                           "LDAP://dc1:12a/DC=a",
                           "LDAP://d c1/DC=a",
                           "LDAP://dc1/<GUID=abc>",
                           "LDAP://dc1/<GUID={0c5a1668-0665-4666-8a69-72c1692f7f5e}>",
                           "LDAP://dc1/<SID=S-1->",
                           "LDAP://dc1/<WKGUID=18e2ea80684f11d2b9aa00c04f79f805>",
                           "LDAP://dc1/<FOO=1>",
                           "LDAP://dc1/schema/",
                           "LDAP://dc1/schema/1x",
                           "LDAP://dc1/1..2=x"}) {
    adsi::AdsPath parsed;
    EXPECT_EQ(adsi::parseAdsPath(path, &parsed), E_ADS_BAD_PATHNAME) << path;
  }
}

TEST(AdsPath, BuiltPathsRoundTrip) {
  EXPECT_EQ(adsi::buildAdsPath("dc1:636", "CN=a/b,DC=x"), "LDAP://dc1:636/CN=a\\/b,DC=x");
  EXPECT_EQ(adsi::buildAdsPath("", "CN=a,DC=x"), "LDAP://CN=a,DC=x");
  EXPECT_EQ(adsi::buildSchemaPath("dc1", "user"), "LDAP://dc1/schema/user");
  EXPECT_EQ(adsi::buildSchemaPath("", "user"), "LDAP://schema/user");
  adsi::AdsPath parsed;
  ASSERT_EQ(adsi::parseAdsPath(adsi::buildAdsPath("dc1", "CN=a/b\\,c,DC=x"), &parsed), S_OK);
  EXPECT_EQ(parsed.dn, "CN=a/b\\,c,DC=x");
  // Only "\/" is undone: an escaped backslash before a slash stays in the name.
  ASSERT_EQ(adsi::parseAdsPath("LDAP://CN=a\\\\\\/b,DC=x", &parsed), S_OK);
  EXPECT_EQ(parsed.host, "");
  EXPECT_EQ(parsed.dn, "CN=a\\\\/b,DC=x");
  // A host written into a name with its slash escaped is part of the name.
  ASSERT_EQ(adsi::parseAdsPath("LDAP://dc1/CN=evil.example:389\\/CN=x,DC=a", &parsed), S_OK);
  EXPECT_EQ(parsed.host, "dc1");
  EXPECT_EQ(parsed.dn, "CN=evil.example:389/CN=x,DC=a");
  EXPECT_EQ(adsi::parseAdsPath("LDAP://127.0.0.3:13391\\/CN=x,DC=a", &parsed), E_ADS_BAD_PATHNAME);
}

TEST(DistinguishedName, SplitsRespectEscapes) {
  std::string rdn, parent, type, value;
  ASSERT_TRUE(adsi::splitFirstRdn("CN=Smith\\, Jo,OU=People,DC=x", &rdn, &parent));
  EXPECT_EQ(rdn, "CN=Smith\\, Jo");
  EXPECT_EQ(parent, "OU=People,DC=x");
  ASSERT_TRUE(adsi::splitRdn(rdn, &type, &value));
  EXPECT_EQ(type, "CN");
  EXPECT_EQ(value, "Smith, Jo");
  ASSERT_TRUE(adsi::splitRdn("CN=deleted\\0ADEL:1", &type, &value));
  EXPECT_EQ(value, "deleted\nDEL:1");
  ASSERT_TRUE(adsi::splitFirstRdn("DC=test", &rdn, &parent));
  EXPECT_EQ(parent, "");
  EXPECT_FALSE(adsi::splitFirstRdn("", &rdn, &parent));
  EXPECT_FALSE(adsi::splitFirstRdn("<GUID=0c5a1668066546668a6972c1692f7f5e>", &rdn, &parent));
}

TEST(Escapes, FilterAndDnValuesAreEscaped) {
  EXPECT_EQ(adsi::escapeFilterValue("a*(b)\\c"), "a\\2a\\28b\\29\\5cc");
  EXPECT_EQ(adsi::escapeFilterValue(std::string("x\0y", 3)), "x\\00y");
  EXPECT_EQ(adsi::escapeFilterValue("CN=Smith\\, Jo"), "CN=Smith\\5c, Jo");
  EXPECT_EQ(adsi::escapeDnValue("Smith, Jo"), "Smith\\, Jo");
  EXPECT_EQ(adsi::escapeDnValue(" #lead+trail "), "\\ #lead\\+trail\\ ");
  EXPECT_EQ(adsi::escapeDnValue("#x"), "\\#x");
  EXPECT_EQ(adsi::escapeDnValue("a=b;c<d>\"e\\"), "a\\=b\\;c\\<d\\>\\\"e\\\\");
  // What escapeDnValue makes is a valid RDN value.
  EXPECT_TRUE(adsi::isValidDn("CN=" + adsi::escapeDnValue(" ,+\"\\<>;=#") + ",DC=x"));
}

}  // namespace
