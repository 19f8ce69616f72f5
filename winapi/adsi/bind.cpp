#include "adsi/bind.h"

#include <krb5.h>
#include <sasl/sasl.h>

#include <cstring>

#include "adsi/bind_refusal.h"
#include "adsi/connection.h"
#include "adsi/errors.h"
#include "adsi/kerberos_logon.h"
#include "adsi/transport.h"

namespace winapi::adsi {

namespace {

HRESULT failWithCode(int code, std::string_view text) { return failLdap(code, text); }

// Cyrus SASL asks for the authorisation identity and similar; the Kerberos credentials answer
// everything, so each prompt takes its default.
void takeDefaults(void* prompts) {
  for (auto* prompt = static_cast<sasl_interact_t*>(prompts); prompt->id != SASL_CB_LIST_END; ++prompt) {
    const char* answer = prompt->defresult != nullptr ? prompt->defresult : "";
    prompt->result = answer;
    prompt->len = static_cast<unsigned>(strlen(answer));
  }
}

int takeSaslDefaults(LDAP*, unsigned, void*, void* prompts) {
  takeDefaults(prompts);
  return LDAP_SUCCESS;
}

// A named account's bind: the GSSAPI mechanism asks for the authorisation identity before it
// starts its security context, and that prompt is the one moment when the bind's SASL session
// exists and has not yet chosen credentials. The account's credentials are handed to it there, for
// this handle alone (no process- or thread-wide cache name changes); a bind in which that did not
// happen is failed, never left to the process's own identity.
struct AccountCredential {
  gss_cred_id_t credential;
  bool handedOver = false;
};

int handOverAccountCredential(LDAP* ld, unsigned, void* defaults, void* prompts) {
  auto* account = static_cast<AccountCredential*>(defaults);
  if (ldap_set_option(ld, LDAP_OPT_X_SASL_GSS_CREDS, account->credential) != LDAP_OPT_SUCCESS) return LDAP_LOCAL_ERROR;
  account->handedOver = true;
  takeDefaults(prompts);
  return LDAP_SUCCESS;
}

HRESULT bindSimple(LDAP* ld, const Credentials& credentials, bool encrypted) {
  if (!encrypted) {
    return failWithCode(LDAP_STRONG_AUTH_REQUIRED, "a password is never sent over a connection without TLS");
  }
  std::string password = credentials.password.text();
  berval secret{static_cast<ber_len_t>(password.size()), &password[0]};
  noteRequestSent();
  notePasswordSent();
  int code =
      timeoutOr(ldap_sasl_bind_s(ld, credentials.user.c_str(), LDAP_SASL_SIMPLE, &secret, nullptr, nullptr, nullptr));
  wipe(&password);
  if (code == LDAP_SUCCESS) return S_OK;
  LdapOutcome refused = outcomeOf(ld, code);
  if (code == LDAP_INVALID_CREDENTIALS) return failBind(bindDataCode(refused.diagnostic), refused.diagnostic);
  return failWith(refused);
}

HRESULT configureKerberos(LDAP* ld, bool encrypted) {
  // Over TLS the server refuses a second security layer, and the TLS channel (the server
  // certificate's hash, tls-server-end-point) is bound into the Kerberos exchange, as domain
  // controllers may require; on a plain connection SASL signs and seals. The service name is
  // built from the host as written, never from reverse DNS.
  int channel = LDAP_OPT_X_SASL_CBINDING_TLS_ENDPOINT;
  if (encrypted && (ldap_set_option(ld, LDAP_OPT_X_SASL_SECPROPS, "maxssf=0") != LDAP_OPT_SUCCESS ||
                    ldap_set_option(ld, LDAP_OPT_X_SASL_CBINDING, &channel) != LDAP_OPT_SUCCESS)) {
    return failWithCode(LDAP_LOCAL_ERROR, "cannot configure SASL");
  }
  // Without TLS the SASL layer must encrypt: a bind that would leave traffic in the clear fails.
  if (!encrypted && ldap_set_option(ld, LDAP_OPT_X_SASL_SECPROPS, "minssf=56") != LDAP_OPT_SUCCESS) {
    return failWithCode(LDAP_LOCAL_ERROR, "cannot configure SASL");
  }
  ldap_set_option(ld, LDAP_OPT_X_SASL_NOCANON, LDAP_OPT_ON);
  return S_OK;
}

HRESULT bindKerberos(LDAP* ld, bool encrypted) {
  HRESULT hr = configureKerberos(ld, encrypted);
  if (FAILED(hr)) return hr;
  noteRequestSent();
  int code = timeoutOr(
      ldap_sasl_interactive_bind_s(ld, nullptr, "GSSAPI", nullptr, nullptr, LDAP_SASL_QUIET, takeSaslDefaults, nullptr));
  if (code == LDAP_SUCCESS) return S_OK;
  return failWith(outcomeOf(ld, code));
}

// A named account's Kerberos bind with its own tickets (kerberos_logon.h).
HRESULT bindAccount(LDAP* ld, const Credentials& credentials, bool encrypted) {
  if (!credentials.tickets) return failWithCode(LDAP_LOCAL_ERROR, "no Kerberos ticket for the account");
  HRESULT hr = configureKerberos(ld, encrypted);
  if (FAILED(hr)) return hr;
  AccountCredential account{gssCredentialOf(*credentials.tickets)};
  noteRequestSent();
  int code = timeoutOr(ldap_sasl_interactive_bind_s(ld, nullptr, "GSSAPI", nullptr, nullptr, LDAP_SASL_QUIET,
                                                    handOverAccountCredential, &account));
  if (code == LDAP_SUCCESS && !account.handedOver)
    return failWithCode(LDAP_LOCAL_ERROR, "the bind did not take the account's Kerberos ticket");
  if (code == LDAP_SUCCESS) return S_OK;
  return failWith(outcomeOf(ld, code));
}

HRESULT bindAnonymous(LDAP* ld) {
  berval empty{0, nullptr};
  noteRequestSent();
  int code = timeoutOr(ldap_sasl_bind_s(ld, nullptr, LDAP_SASL_SIMPLE, &empty, nullptr, nullptr, nullptr));
  if (code == LDAP_SUCCESS) return S_OK;
  return failWith(outcomeOf(ld, code));
}

}  // namespace

// A password the directory would cut short, or one too long to be real, is refused here: the
// server compares a simple bind's password only up to a NUL, so "right password + NUL + junk"
// would otherwise log on.
HRESULT refuseUnsendableCredentials(const Credentials& credentials) {
  if (credentials.mode != BindMode::Simple) return S_OK;
  const std::string& password = credentials.password.text();
  if (credentials.user.size() > maxRequestTextBytes || password.size() > maxRequestTextBytes)
    return failWithCode(kRequestTooLarge, "the account name or password is too long");
  // An LDAP bind with a name and no password is an "unauthenticated bind" that many servers
  // accept as anonymous: refuse it as the logon failure it is, before touching the network.
  if (password.empty())
    return failWithCode(LDAP_INVALID_CREDENTIALS, "an empty password is not accepted for a named account");
  if (password.find('\0') != std::string::npos || credentials.user.find('\0') != std::string::npos)
    return failWithCode(LDAP_INVALID_CREDENTIALS, "no account name or password holds a NUL");
  return S_OK;
}

HRESULT bindWith(LDAP* ld, const Credentials& credentials, bool encrypted) {
  switch (credentials.mode) {
    case BindMode::Simple:
      if (simpleBindsAllowed()) return bindSimple(ld, credentials, encrypted);
      return bindAccount(ld, credentials, encrypted);
    case BindMode::Kerberos:
      return bindKerberos(ld, encrypted);
    case BindMode::Anonymous:
      return bindAnonymous(ld);
  }
  return E_UNEXPECTED;
}

// The principal of the process's default Kerberos credentials cache: the identity an empty
// account stands for, so that a changed ticket owner does not reuse another's connection.
std::string kerberosPrincipal() {
  krb5_context context = nullptr;
  if (krb5_init_context(&context) != 0) return std::string();
  std::string name;
  krb5_ccache cache = nullptr;
  krb5_principal principal = nullptr;
  char* text = nullptr;
  if (krb5_cc_default(context, &cache) == 0) {
    if (krb5_cc_get_principal(context, cache, &principal) == 0) {
      if (krb5_unparse_name(context, principal, &text) == 0) {
        name = text;
        krb5_free_unparsed_name(context, text);
      }
      krb5_free_principal(context, principal);
    }
    krb5_cc_close(context, cache);
  }
  krb5_free_context(context);
  return name;
}

}  // namespace winapi::adsi
