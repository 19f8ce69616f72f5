// Following a referral to another domain of the forest, as ADSI does inside a forest.
//
// A server answers a name in another domain of its forest with a referral: ldap URLs naming that
// domain (or a host of it) and the name there. One is followed, once, with the same credentials,
// to a controller of that domain as the locator finds it (never to the host the URL names: the
// locator's own rules decide which hosts stand for a domain), and only when the domain is one of
// the forest. A referral anywhere else (another forest, a host outside every forest domain, a
// scheme other than ldap/ldaps) is not followed: the call fails with the referral status.
#pragma once
#include <functional>
#include <string>
#include <vector>

namespace winapi::adsi {

struct Referral {
  std::string domain;  // the forest's domain it goes to, lower case
  std::string dn;      // the name there
};

// The first of the URLs that may be followed, given which names are domains of the forest.
bool chooseReferral(const std::vector<std::string>& urls, const std::function<bool(const std::string&)>& inForest,
                    Referral* out);
// The referral URLs of the calling thread's last answer that was a referral (Connection records
// them), and forgetting them.
std::vector<std::string> lastReferrals();
void noteReferrals(std::vector<std::string> urls);

}  // namespace winapi::adsi
