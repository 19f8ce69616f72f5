// Who a connection authenticates as, and the three ways it binds.
//
// A named account binds simply with the name as given, and only over TLS; an empty account is the
// process's Kerberos identity (SASL GSSAPI: over TLS without a security layer, on a plain port
// signed and sealed by SASL); ADS_NO_AUTHENTICATION binds anonymously.
#pragma once
#include <ldap.h>

#include <string>

#include "adsi/text.h"
#include "winerror.h"

namespace winapi::adsi {

enum class BindMode { Simple, Kerberos, Anonymous };

struct Credentials {
  BindMode mode = BindMode::Kerberos;
  std::string user;
  Secret password;
};

// A password the directory would cut short, an empty one for a named account, or one too long to
// be real is refused before anything is sent.
HRESULT refuseUnsendableCredentials(const Credentials& credentials);
// Binds the handle; encrypted says whether TLS protects it.
HRESULT bindWith(LDAP* ld, const Credentials& credentials, bool encrypted);
// The principal of the process's default Kerberos credentials cache: the identity an empty
// account stands for.
std::string kerberosPrincipal();

}  // namespace winapi::adsi
