// The CLDAP netlogon ping: how a client learns its site from a domain controller, as the Windows
// locator learns it. One UDP datagram to port 389 — an LDAP search of the root entry for the
// Netlogon attribute, filtered by the DNS domain and the answer version wanted — and one datagram
// back, whose NETLOGON_SAM_LOGON_RESPONSE_EX names the DC's site and the site of the subnet that
// holds the datagram's source address (the client's site; empty when no subnet holds it).
//
// The answer is not authenticated: it only orders candidates the locator already trusts.
#pragma once
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace winapi::adsi {

struct NetlogonAnswer {
  uint32_t flags = 0;
  std::string dnsDomainName;
  std::string dnsHostName;
  std::string dcSiteName;
  std::string clientSiteName;
};

// The request datagram for the DNS domain.
std::vector<unsigned char> netlogonPingRequest(const std::string& dnsDomain, int messageId);
// An answer datagram to that request: the search entry's Netlogon value, read as a
// NETLOGON_SAM_LOGON_RESPONSE_EX. False for anything else.
bool parseNetlogonPingAnswer(const unsigned char* data, size_t size, int messageId, NetlogonAnswer* out);
// The NETLOGON_SAM_LOGON_RESPONSE_EX structure alone (names compressed as in DNS, their offsets
// counted from the structure's start).
bool parseSamLogonResponseEx(const unsigned char* data, size_t size, NetlogonAnswer* out);
// Pings the host (each of its addresses in turn) and waits for an answer up to the timeout each.
bool pingDomainController(const std::string& host, const std::string& dnsDomain, std::chrono::milliseconds timeout,
                          NetlogonAnswer* out);
// A site name usable as a DNS label of the locator's site records.
bool isUsableSiteName(const std::string& site);

}  // namespace winapi::adsi
