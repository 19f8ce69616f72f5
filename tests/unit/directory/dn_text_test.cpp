// Relative-name escaping and the DNS domain of a distinguished name.
#include <gtest/gtest.h>

#include "directory/dn_text.h"

TEST(DnText, EscapedNamesAreOneValueOfOneRelativeName) {
  struct Case {
    const char16_t* name;
    const char16_t* escaped;
  } cases[] = {
      {u"jdoe", u"jdoe"},
      {u"x,OU=Admins", u"x\\,OU\\=Admins"},
      {u"x+sn=y", u"x\\+sn\\=y"},
      {u"say \"hi\"", u"say \\\"hi\\\""},
      {u"a\\b", u"a\\\\b"},
      {u"<a>;b", u"\\<a\\>\\;b"},
      {u"#tag", u"\\#tag"},
      {u"in#side", u"in#side"},
      {u" lead", u"\\ lead"},
      {u"trail ", u"trail\\ "},
      {u"mid dle", u"mid dle"},
      {u" ", u"\\ "},
      {u"Zo\u00eb", u"Zo\u00eb"},
      {u"", u""},
  };
  for (const Case& c : cases) EXPECT_EQ(escapeRdnValue(c.name), c.escaped);
  EXPECT_EQ(escapeRdnValue(std::u16string(u"a\0b", 3)), u"a\\00b");
}

TEST(DnText, DomainComesFromTheDomainComponentsInAnyCase) {
  struct Case {
    const char16_t* dn;
    const char16_t* domain;
  } cases[] = {
      {u"OU=Staff,DC=alpha,DC=beta", u"alpha.beta"},
      {u"ou=staff,dc=alpha,dc=beta", u"alpha.beta"},
      {u"OU=Staff, DC=alpha, DC=beta", u"alpha.beta"},
      {u"OU=Staff , Dc = alpha ;dC=beta ", u"alpha.beta"},
      {u"CN=Users,DC=alpha,DC=beta,DC=gamma", u"alpha.beta.gamma"},
      {u"DC=alpha", u"alpha"},
      {u"OU=DC=fake\\,DC=x,DC=real,DC=test", u"real.test"},
      {u"CN=a\\,DC=fake,DC=real", u"real"},
      {u"DC=al\\70ha,DC=b\\c3\\a9ta", u"alpha.b\u00e9ta"},
      {u"DC=\\20padded\\20,DC=x", u" padded .x"},
  };
  for (const Case& c : cases) {
    std::u16string domain;
    ASSERT_EQ(dnsDomainOfDn(c.dn, &domain), S_OK);
    EXPECT_EQ(domain, c.domain);
  }
}

TEST(DnText, NamesWithoutAUsableDomainAreRefused) {
  for (const char16_t* dn : {u"", u"OU=Staff", u"OU=Staff,O=Acme", u"CN=DC\\=x,OU=y", u"OU=x,DC=,DC=y", u"DC=a\\",
                             u"DC=a\\4", u"DC=a\\ff", u"OU=x,DCX=y"}) {
    std::u16string domain = u"unchanged";
    EXPECT_EQ(dnsDomainOfDn(dn, &domain), E_INVALIDARG);
    EXPECT_TRUE(domain.empty());
  }
}

TEST(DnText, ANameInAPathIsNeverReadAsAHost) {
  EXPECT_EQ(pathEscapedName(u"CN=a/b,DC=x"), u"CN=a\\/b,DC=x");
  EXPECT_EQ(pathEscapedName(u"CN=a\\/b,DC=x"), u"CN=a\\/b,DC=x") << "an escape already there stays";
  EXPECT_EQ(pathEscapedName(u"CN=a\\\\/b"), u"CN=a\\\\\\/b") << "a slash after an escaped backslash is escaped";
  EXPECT_EQ(pathEscapedName(u"h:1//CN=x\\"), u"h:1\\/\\/CN=x\\");
  for (const char16_t* name : {u"CN=x,DC=y", u" cn = x", u"1.2.840.113556.1.4.221=x", u"<GUID=0c5a>", u"OU=a/b"})
    EXPECT_TRUE(isWrittenAsDirectoryName(name)) << std::string(name, name + std::char_traits<char16_t>::length(name));
  for (const char16_t* name : {u"", u"evil.example", u"127.0.0.3:13391/CN=x,DC=y", u"//h/CN=x", u"h/CN=x",
                               u"=x", u"RootDSE", u"1..2=x", u"a b=x", u"<evil.example>", u"<h/x=y>"})
    EXPECT_FALSE(isWrittenAsDirectoryName(name)) << std::string(name, name + std::char_traits<char16_t>::length(name));
}

TEST(DnText, TrailingDomainComponentsNameTheDomain) {
  struct Case {
    const char16_t* dn;
    const char16_t* domain;
  } cases[] = {
      {u"CN=x,DC=Orvistal,DC=TEST", u"orvistal.test"},
      {u"DC=@,DC=zone,CN=MicrosoftDNS,DC=DomainDnsZones,DC=a,DC=b", u"domaindnszones.a.b"},
      {u"<WKGUID=18e2ea80684f11d2b9aa00c04f79f805,DC=a,DC=b>", u"a.b"},
      {u"CN=x,DC=evil\\,DC=a,DC=b", u"evil,dc=a.b"},
      {u"CN=x,DC=a\\", u""},
  };
  for (const Case& c : cases) {
    std::u16string domain = u"unchanged";
    ASSERT_TRUE(trailingDnsDomainOfDn(c.dn, &domain));
    EXPECT_EQ(domain, c.domain);
  }
  std::u16string domain;
  for (const char16_t* dn : {u"OU=People,OU=Orvistal", u"CN=x,DC=a,OU=b", u"<GUID=0c5a>", u""})
    EXPECT_FALSE(trailingDnsDomainOfDn(dn, &domain));
}
