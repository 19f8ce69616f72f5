// Where a call goes when it names a domain rather than a server: the domain's controllers, found
// in one place and tried best first.
//
// Candidates for a domain, in this order, each once:
//  1. OpenLDAP's default URI (ldap.conf URI, LDAPURI) when it serves the domain: its host is in
//     the domain, or ldap.conf's BASE is the domain's naming context. For the default domain (a
//     serverless path) the URI always serves.
//  2. DNS service records: those of the client's site, _ldap._tcp.<site>._sites.dc._msdcs.<domain>,
//     then _ldap._tcp.dc._msdcs.<domain> and _ldap._tcp.<domain>, each in the order RFC 2782 gives
//     them (priority, then a weighted draw). The site is the operator's ORVISTAL_SITE, else what a
//     controller of the domain answers to the netlogon ping (netlogon_ping.h), learned with the
//     domain's records and kept as long.
//  3. The Kerberos configuration's KDCs for the domain's realm (an AD domain's KDCs are its
//     controllers), ports dropped.
//  4. The domain name itself: an AD domain name resolves to its controllers' addresses.
// The default domain is the Kerberos default realm, in lower case. A name is taken as a domain
// when it is the default domain, a realm the Kerberos configuration names, or has the domain
// controllers' service records; anything else names a host, which is used exactly as given.
// Answers are kept for a few minutes (locatorMemorySeconds); a DNS question that failed (a server
// failure, a time-out) keeps the last good answer and is asked again soon (dnsRetrySeconds).
//
// Trust: a service record's target is taken only inside the domain being located, or a zone the
// operator lists in ORVISTAL_DC_SUFFIXES; the Kerberos configuration and OpenLDAP's URI are the
// operator's own. A name that resolves as a host is that host, unless the operator's configuration
// vouches for it as a domain (the default domain, a configured realm, a listed zone).
//
// Affinity: one controller per domain (and one Global Catalog) is kept for every call of the
// process, as the Windows locator keeps one: the first candidate that answered. It stays first
// until it fails (failover.h passes over it, and the next that answers is kept in its place, for
// every caller at once: all draw the same order) or its period ends (ORVISTAL_DC_AFFINITY_SECONDS,
// 15 minutes when not set), when the domain's preferred order is tried afresh.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "adsi/dns_records.h"
#include "adsi/endpoint.h"
#include "winerror.h"

namespace winapi::adsi {

constexpr int locatorMemorySeconds = 300;
constexpr int defaultAffinitySeconds = 900;

// RFC 2782: lower priorities first; within one priority, records are drawn one by one, each with
// a chance proportional to its weight (records of weight 0 only rarely first). draw(n) returns a
// number in [0, n].
std::vector<ServiceRecord> orderServiceRecords(std::vector<ServiceRecord> records,
                                               const std::function<uint32_t(uint32_t)>& draw);

// The host of a Kerberos kdc entry: "kdc.example.com", "kdc.example.com:88", "192.0.2.1:88",
// "[2001:db8::1]:88" or "2001:db8::1".
std::string hostOfKdcEntry(const std::string& entry);

// The servers to try for a path's host: a domain's controllers (port 0 keeps each candidate's own
// port), or the host itself. An empty name is the default domain.
HRESULT locateServers(const std::string& hostOrDomain, int port, std::vector<Endpoint>* out);
// The controllers of a DNS domain (empty: the default domain), best first; fails with the
// server-down status when none is known.
HRESULT locateDomainControllers(const std::string& domain, int port, std::vector<Endpoint>* out);
// The forest's Global Catalogs, from the _gc._tcp records of the forest root (the default domain
// or its nearest parent zone that has them), each on the given port (0: the record's, else 3268);
// fails with the server-down status when DNS names none.
HRESULT locateGlobalCatalogs(int port, std::vector<Endpoint>* out);
// The default domain: the Kerberos default realm in lower case (empty when none is configured).
std::string defaultDomainName();

// The DNS name of the domain an account logs on to: the suffix of a principal name, the DNS name
// of an NT4 domain name, else the default domain.
std::string logonDomainOf(const std::string& user, const std::string& ntDomain);
// Whether the name is a domain of the forest as far as this process knows: the default domain, a
// domain the forest's partitions named, a realm of the Kerberos configuration, or a listed zone.
bool isForestDomain(const std::string& name);
// The candidate answered a call: its domain's calls go to it from now on (see Affinity above).
void keepController(const Endpoint& answered);
// What the forest's partitions say: the NetBIOS name of a domain and its DNS name.
void rememberDomainName(const std::string& netbiosName, const std::string& dnsName);

}  // namespace winapi::adsi
