// A new LDAP connection up to the point where it can bind: TCP, then TLS.
//
// Transport: ports 389 and 3268 (and any other) use StartTLS, 636 and 3269 LDAPS; the server
// certificate is verified through OpenLDAP's own settings and verification is never turned
// off. A password is never sent over a connection without TLS.
//
// Waits: every wait on the network is bounded. Opening the TCP connection and the TLS
// handshake take OpenLDAP's NETWORK_TIMEOUT (ldap.conf, or LDAPNETWORK_TIMEOUT), 5 seconds when
// it is not set; every answer (StartTLS, binds, each operation) OpenLDAP's TIMEOUT (ldap.conf,
// or LDAPTIMEOUT), 10 seconds when it is not set; a search with a time limit of its own waits
// that limit and a few seconds more instead. A wait that runs out fails with the timeout status
// and the connection is never handed out again.
#pragma once
#include <ldap.h>

#include <string>

#include "adsi/endpoint.h"
#include "adsi/ldap_owners.h"
#include "winerror.h"

namespace winapi::adsi {

// Has libldap finish its process-wide set-up before the caller touches it (see transport.cpp).
void readyLdapLibrary();

// A new connection to the server, not yet bound: with TLS set up when tlsFirst (or the port is
// LDAPS); *encrypted tells whether TLS protects it. A server that refuses StartTLS fails the set-up
// as a server that answered (lastSetUpReachedServer) but cannot be used.
HRESULT openTransport(const Endpoint& endpoint, bool tlsFirst, LdapHandle* handle, bool* encrypted);

// The code to report for a client-side failure on the calling thread: the timeout when one of its
// socket waits ran out since its last request.
int timeoutOr(int code);
// Whether the calling thread's last connection set-up got as far as a standing TCP connection
// (a failure after that is the server's answer, such as a certificate not trusted here, not
// silence), and forgetting it before an attempt.
bool lastSetUpReachedServer();
void forgetLastSetUp();
// A bind carrying a password left on the calling thread since forgetLastSetUp: whatever became of
// it, it is never sent to another server (each try may count as a bad password).
void notePasswordSent();
bool passwordSentSinceSetUp();
// Counts a request about to be sent (for the test hooks) and starts a fresh socket-timeout record.
void noteRequestSent();

// The address the connection reached, as text ("192.0.2.1", "[2001:db8::1]"); empty when unknown.
std::string peerAddressOf(LDAP* ld);

// The bounds on waiting, in seconds (see the top of this file).
struct WaitLimits {
  int networkSeconds;
  int operationSeconds;
};
WaitLimits waitLimits();

}  // namespace winapi::adsi
