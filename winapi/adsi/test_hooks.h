// What tests and benchmarks may ask of the connection layer, or change in it. Nothing else calls
// these.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

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

}  // namespace winapi::adsi::testing
