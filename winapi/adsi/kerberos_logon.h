// A named account proves its password to the KDC, never to a directory server: a ticket got with
// the password into a private in-memory credentials cache, then a SASL GSSAPI bind that uses that
// cache and nothing else (as the Windows build's secure authentication never shows a directory
// the password). How the bind is made: bind.h.
//
// Pooled connections of one credential set share one cache, holding an initial ticket for the
// account's realm: it is kept while one of those connections lives, and stands for the password
// at most the pool's lifetime limit (pool.h), after which the next bind gets a new one with the
// password. A bind whose outcome is the question (a password check, a logon) gets its own ticket
// in one exchange with the KDC, for the controller's own LDAP service, and drops it after the bind.
//
// Account names: user@suffix is user@REALM when the suffix is the realm's domain or another
// domain the Kerberos configuration maps, else an enterprise name (user@suffix in the controller's
// realm, canonicalised by the KDC); DOMAIN\user is user in the realm of the domain with that
// NetBIOS name (dc_locator.h); a bare name is of the controller's realm. A distinguished name
// names no principal: it binds only where simple binds are allowed, and is refused with the
// logon failure otherwise.
#pragma once
#include <gssapi/gssapi.h>
#include <krb5.h>

#include <memory>
#include <string>

#include "adsi/bind.h"
#include "adsi/endpoint.h"
#include "winerror.h"

namespace winapi::adsi {

// Whether the operator asked for simple binds of named accounts over verified TLS instead of
// Kerberos: ORVISTAL_SIMPLE_BIND=1 in the process's environment, read once. A Kerberos failure
// never falls back to a simple bind on its own.
bool simpleBindsAllowed();
// Whether these credentials bind with Kerberos: the process's identity, or a named account
// unless simple binds are allowed.
bool bindsWithKerberos(const Credentials& credentials);

// A named account's tickets in a private in-memory cache, and the GSSAPI credentials over it;
// destroyed, keys and tickets wiped, with its last holder.
class AccountTickets;
gss_cred_id_t gssCredentialOf(const AccountTickets& tickets);

// For a connection that may be shared: the credential set's kept tickets (its connections hold
// them through credentials->tickets), got with the password when none are kept or they are older
// than the pool's lifetime limit. Nothing to do for credentials that do not bind with Kerberos.
// The controller is reached at controllerAddress (its connection's address, so that the KDC
// exchange asks DNS nothing; empty: its name).
HRESULT attachKeptTickets(const Endpoint& controller, const std::string& controllerAddress, Credentials* credentials);
// For a bind whose outcome is the question: a ticket got now with the password, in one exchange
// with the KDC, held only by credentials->tickets.
HRESULT attachFreshTicket(const Endpoint& controller, const std::string& controllerAddress, Credentials* credentials);

// After a password was set or changed: no kept ticket is used again, so the old password stops
// working at once (connections that hold tickets keep them, as they keep their binds).
void forgetKeptTickets();

// The realm of a DNS domain as the Kerberos configuration maps it, else the domain in capitals;
// empty: the default realm.
krb5_error_code realmOfDomain(krb5_context context, std::string domain, std::string* realm);

namespace testing {
// How many initial-ticket exchanges this process has made with a password.
size_t ticketRequests();
}  // namespace testing

}  // namespace winapi::adsi
