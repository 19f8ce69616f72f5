// Which referral is followed, and where following stops: only to a domain of the forest, with the
// name that lies in it, whatever host the referral names.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "adsi/path.h"
#include "adsi/referral.h"

namespace adsi = winapi::adsi;

namespace {

const std::set<std::string> forest = {"corp.example.com", "child.corp.example.com"};
bool inForest(const std::string& name) { return forest.count(name) > 0; }

adsi::Referral followed(const std::vector<std::string>& urls) {
  adsi::Referral referral;
  if (!adsi::chooseReferral(urls, inForest, &referral)) return adsi::Referral{"(none)", ""};
  return referral;
}

TEST(Referrals, OnlyToADomainOfTheForestWithANameThatLiesInIt) {
  const std::string child = "DC=child,DC=corp,DC=example,DC=com";
  // The domain's own name, or a host inside it: the domain is located, never the host.
  EXPECT_EQ(followed({"ldap://child.corp.example.com/CN=A," + child}).domain, "child.corp.example.com");
  EXPECT_EQ(followed({"ldaps://dc9.child.corp.example.com:636/CN=A," + child}).domain, "child.corp.example.com");
  EXPECT_EQ(followed({"ldap://child.corp.example.com/CN=A," + child}).dn, "CN=A," + child);
  // The first that may be followed, past those that may not.
  EXPECT_EQ(followed({"ldap://evil.example.net/CN=A,DC=evil,DC=example,DC=net", "ldap://child.corp.example.com/" + child})
                .dn,
            child);
  // Outside the forest, a name of another domain than the host's, other schemes, no name, an address.
  for (const std::string& url : std::vector<std::string>{
           "ldap://other.example.com/CN=A,DC=other,DC=example,DC=com",
        "ldap://child.corp.example.com/CN=A,DC=other,DC=example,DC=com",
        "ldap://corp.example.com.evil.net/CN=A,DC=corp,DC=example,DC=com", "http://child.corp.example.com/" + child,
        "ldap://child.corp.example.com/", "ldap://192.0.2.1/" + child, "not a url"})
    EXPECT_EQ(followed({url}).domain, "(none)") << url;
}

TEST(Referrals, TheDomainOfANameIsItsTrailingDomainComponents) {
  EXPECT_EQ(adsi::dnsDomainOfDn("CN=A,OU=B,DC=Corp,DC=Example,DC=com"), "corp.example.com");
  EXPECT_EQ(adsi::dnsDomainOfDn("DC=x,CN=A,DC=example,DC=com"), "example.com");
  EXPECT_EQ(adsi::dnsDomainOfDn("CN=A,OU=B"), "");
  EXPECT_EQ(adsi::dnsDomainOfDn("CN=A\\,DC=evil,DC=com"), "com");
}

}  // namespace
