#include "adsi/referral.h"

#include <ldap.h>

#include <utility>

#include "adsi/ldap_owners.h"
#include "adsi/path.h"
#include "adsi/text.h"

namespace winapi::adsi {

namespace {

thread_local std::vector<std::string> referralsOfLastAnswer;  // thread-local: each answer's own caller

// The forest domain a host stands in: the host itself when it is one, else the nearest enclosing.
std::string forestDomainOfHost(std::string host, const std::function<bool(const std::string&)>& inForest) {
  host = toLowerAscii(host);
  for (;;) {
    if (inForest(host)) return host;
    size_t dot = host.find('.');
    if (dot == std::string::npos) return std::string();
    host.erase(0, dot + 1);
  }
}

}  // namespace

bool chooseReferral(const std::vector<std::string>& urls, const std::function<bool(const std::string&)>& inForest,
                    Referral* out) {
  for (const std::string& text : urls) {
    LdapUrl url;
    if (ldap_url_parse(text.c_str(), url.put()) != LDAP_URL_SUCCESS) continue;
    std::string scheme = url.get()->lud_scheme != nullptr ? toLowerAscii(url.get()->lud_scheme) : "";
    if (scheme != "ldap" && scheme != "ldaps") continue;
    std::string host = url.get()->lud_host != nullptr ? url.get()->lud_host : "";
    std::string dn = url.get()->lud_dn != nullptr ? url.get()->lud_dn : "";
    if (host.empty() || !isValidHostName(host) || host.front() == '[' || dn.empty() || !isValidDn(dn)) continue;
    std::string domain = forestDomainOfHost(host, inForest);
    // The name must lie in the domain the referral goes to: nothing else is that domain's to answer.
    if (domain.empty() || !equalsIgnoreCase(dnsDomainOfDn(dn), domain)) continue;
    out->domain = domain;
    out->dn = dn;
    return true;
  }
  return false;
}

std::vector<std::string> lastReferrals() { return std::exchange(referralsOfLastAnswer, {}); }

void noteReferrals(std::vector<std::string> urls) { referralsOfLastAnswer = std::move(urls); }

}  // namespace winapi::adsi
