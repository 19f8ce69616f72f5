// The server setting's URL forms: what becomes the path's host part, and what is refused.
#include <gtest/gtest.h>

#include "directory/adsi_context.h"
#include "directory/server_setting.h"

TEST(ServerSetting, HostsAndLdapUrlsBecomeTheHostPartAndTheLdapsPortsBindOverSsl) {
  struct Case {
    const char16_t* setting;
    const char16_t* host;
    DWORD transport;
  } cases[] = {
      {u"", u"", ADS_USE_SEALING},
      {u"dc1.example.com", u"dc1.example.com", ADS_USE_SEALING},
      {u"dc1.example.com:3268", u"dc1.example.com:3268", ADS_USE_SEALING},
      {u"dc1.example.com:636", u"dc1.example.com:636", ADS_USE_SSL},
      {u"ldap://dc1.example.com", u"dc1.example.com", ADS_USE_SEALING},
      {u"LDAP://dc1.example.com:389/", u"dc1.example.com:389", ADS_USE_SEALING},
      {u"ldaps://dc1.example.com", u"dc1.example.com:636", ADS_USE_SSL},
      {u"LdapS://dc1.example.com:3269", u"dc1.example.com:3269", ADS_USE_SSL},
      {u"ldap://127.0.0.2:636", u"127.0.0.2:636", ADS_USE_SSL},
      {u"ldaps://[::1]", u"[::1]:636", ADS_USE_SSL},
      {u"[::636]", u"[::636]", ADS_USE_SEALING},
      {u"::636", u"::636", ADS_USE_SEALING},
  };
  for (const Case& c : cases) {
    WideString host = u"unchanged";
    EXPECT_EQ(serverPathHost(c.setting, &host), S_OK);
    EXPECT_EQ(host, c.host);
    EXPECT_EQ(settingsRefusal(u"", u"", c.setting), S_OK);
    EXPECT_EQ(transportFlags(host), c.transport);
  }
}

TEST(ServerSetting, UrlsThatSayMoreThanHostAndPortAreRefusedBeforeAnyBind) {
  const char16_t* refused[] = {
      u"ldap://dc1/DC=example,DC=com",  // path
      u"ldap://dc1/?sub",               // query
      u"ldap://dc1#x",                  // fragment
      u"ldap://admin:pw@dc1",           // credentials
      u"ldap://admin@dc1",
      u"http://dc1",                    // another scheme
      u"ldapi://%2Fvar%2Frun",
      u"://dc1",
      u"ldap://",                       // no host
      u"ldaps://:636",
      u"ldap://dc1:",                   // bad ports
      u"ldap://dc1:0",
      u"ldap://dc1:65536",
      u"ldap://dc1:+389",
      u"ldap://dc1:389:1",
      u"ldaps://dc1:389",               // no LDAPS spoken there
      u"ldap://dc%31",
      u"ldap://[host]",
  };
  for (const char16_t* setting : refused) {
    WideString host = u"unchanged";
    EXPECT_EQ(serverPathHost(setting, &host), E_ADS_BAD_PATHNAME);
    EXPECT_EQ(host, u"unchanged");
    // The context keeps a refused setting as given, so the check before every bind refuses it.
    EXPECT_EQ(pathHostOrSetting(setting), setting);
    EXPECT_EQ(settingsRefusal(u"", u"", pathHostOrSetting(setting)), E_ADS_BAD_PATHNAME);
  }
}
