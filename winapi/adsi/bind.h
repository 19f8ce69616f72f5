// Who a connection authenticates as, and how it binds.
//
// A named account proves its password to the KDC and binds with SASL GSSAPI over verified TLS,
// with the TLS channel bound into the Kerberos exchange (kerberos_logon.h); only where the
// operator allows simple binds does it send its password, as given, in a simple bind over TLS.
// An empty account is the process's Kerberos identity (SASL GSSAPI: over TLS without a security
// layer, on a plain port signed and sealed by SASL); ADS_NO_AUTHENTICATION binds anonymously.
#pragma once
#include <ldap.h>

#include <memory>
#include <string>

#include "adsi/text.h"
#include "winerror.h"

namespace winapi::adsi {

// Simple: a named account with its password (bound with Kerberos unless simple binds are allowed).
enum class BindMode { Simple, Kerberos, Anonymous };

class AccountTickets;

struct Credentials {
  BindMode mode = BindMode::Kerberos;
  std::string user;
  Secret password;
  // The named account's Kerberos tickets a bind uses; a connection keeps those it was bound with.
  std::shared_ptr<AccountTickets> tickets;
};

// A password the directory would cut short, an empty one for a named account, or one too long to
// be real is refused before anything is sent.
HRESULT refuseUnsendableCredentials(const Credentials& credentials);
// Binds the handle; encrypted says whether TLS protects it. A named account's Kerberos bind uses
// credentials.tickets and fails without them.
HRESULT bindWith(LDAP* ld, const Credentials& credentials, bool encrypted);
// The principal of the process's default Kerberos credentials cache: the identity an empty
// account stands for.
std::string kerberosPrincipal();

}  // namespace winapi::adsi
