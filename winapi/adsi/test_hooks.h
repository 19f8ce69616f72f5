// What tests and benchmarks may ask of the provider (its connections, searches, schema and
// locator), or change in it. Nothing else calls these.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "minwindef.h"

namespace winapi::adsi::testing {

// Count of LDAP connections opened by this process, for tests of reuse.
size_t connectionsOpened();
// LDAP requests sent by this process, and by the calling thread (binds, StartTLS, searches,
// compares, writes; not abandons), for tests and benchmarks that count round trips.
size_t operationsSent();
size_t operationsSentByThisThread();
// Replaces the wait limits; values <= 0 restore the configured ones.
void setWaitLimitsForTesting(int networkSeconds, int operationSeconds);
// Connections kept for verification binds, idle now.
size_t idleVerificationConnections();
// Close every pooled and kept connection, and forget every root entry, located domain and server
// remembered as down.
void clearPool();
// Make the next connections skip TLS, to check that a password is then refused before it is
// sent.
void setPlainTransportForTesting(bool plain);
// Cuts the network under every pooled connection, as a server restart would.
void severPooledConnections();
// Replaces the idle limit (seconds); a negative value restores the normal one.
void setIdleLimitForTesting(int seconds);
// Every read of the attribute of the entry (both named in any case) yields these values in
// place of the directory's, for faults the directory will not hold (a malformed descriptor or
// SID, a class GUID of another length); an empty DN ends it. Values kept with a connection
// (a class's GUID) keep what was read while it was in force.
void replaceValuesForTesting(const std::string& dn, const std::string& attribute, std::vector<std::string> values);
// Makes LogonUserW fail without a last error (it reads 0), as no real logon should.
void setLogonFailsWithoutErrorForTesting(bool fails);
// Forget every answer the domain controller locator keeps, every server remembered as down, and
// the schema read from each server.
void forgetLocatedDomains();
// Makes every answer the locator keeps due for a refresh, keeping the answers themselves.
void expireLocatedDomains();
// The client's site in the domain, as the locator learned it (empty: none).
std::string clientSiteForTesting(const std::string& domain);
// Replaces the period a domain's controller is kept for (seconds); negative restores the setting.
void setAffinitySecondsForTesting(int seconds);
// Replaces the period a server is remembered as down for (seconds); negative restores the setting.
void setDownSecondsForTesting(int seconds);
void forgetDownServers();
void clearSchemaCache();

// Paged searches this process ended on the server before their last page.
size_t pagedSearchesReleased();
// Every page of a container's children read from now on fails with the status (S_OK: pages
// are read again), as a page cut off by a dropped connection or a time-out would.
void failChildPagesWith(HRESULT status);
// From now on an answer without paging of more rows than this counts as one the server cut at
// its limit, as Active Directory cuts one at its page limit (0: as the server answers).
void limitRowsWithoutPaging(int rows);
// Every bind of the named schema class (LDAP://[host/]schema/<class>) from now on fails with the
// status, as one cut off by a dropped connection would; an empty name or S_OK binds it again.
void failSchemaClassBindsWith(const std::string& className, HRESULT status);

}  // namespace winapi::adsi::testing
