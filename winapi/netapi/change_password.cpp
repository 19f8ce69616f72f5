// NetUserChangePassword over the Kerberos password change (RFC 3244): a change-password
// ticket got with the old password, then the new one sent to the realm's kpasswd service.
// Unlike an LDAP bind this works for an account that must change its password at next logon.
#include <krb5.h>

#include <new>
#include <string>

#include "adsi/bind_backoff.h"
#include "adsi/call_entries.h"
#include "adsi/connection.h"
#include "adsi/kerberos_logon.h"
#include "adsi/kerberos_owners.h"
#include "adsi/pool.h"
#include "adsi/text.h"
#include "lm.h"
#include "netapi/kpasswd_status.h"
#include "winerror.h"

namespace winapi::netapi {

namespace {

using adsi::InitOptions;
using adsi::KerberosContext;
using adsi::KerberosData;
using adsi::Principal;
using adsi::Ticket;

constexpr char passwordService[] = "kadmin/changepw";
constexpr krb5_deltat ticketLifetimeSeconds = 300;  // the ticket serves this one change only

// A password as UTF-8 for the Kerberos library. The buffer is sized once (three bytes per
// UTF-16 unit at most), so growing it never leaves a copy behind; it is wiped when it goes.
class SecretUtf8 {
 public:
  explicit SecretUtf8(LPCWSTR text) {
    size_t length = 0;
    while (text != nullptr && text[length] != 0) ++length;
    text_.reserve(length * 3 + 1);
    for (size_t i = 0; i < length; ++i) {
      char32_t c = text[i];
      if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
      } else if (c >= 0xD800 && c <= 0xDFFF) {
        c = 0xFFFD;  // a lone surrogate, as the rest of the provider reads it
      }
      append(c);
    }
  }
  ~SecretUtf8() { adsi::wipe(&text_); }
  SecretUtf8(const SecretUtf8&) = delete;
  SecretUtf8& operator=(const SecretUtf8&) = delete;
  const char* c_str() const { return text_.c_str(); }

 private:
  void append(char32_t c) {
    if (c < 0x80) {
      text_ += static_cast<char>(c);
    } else if (c < 0x800) {
      text_ += static_cast<char>(0xC0 | (c >> 6));
      text_ += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      text_ += static_cast<char>(0xE0 | (c >> 12));
      text_ += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      text_ += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      // Four bytes for two UTF-16 units: still within the reserved size.
      text_ += static_cast<char>(0xF0 | (c >> 18));
      text_ += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      text_ += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      text_ += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  std::string text_;
};

std::string textOf(LPCWSTR text) { return text == nullptr ? std::string() : adsi::toUtf8(text); }

// The account as a principal of the realm, built from its parts and never parsed from text,
// so that no character of the name ("/", "@", "\") can make it name another principal. A
// DOMAIN\ prefix is dropped; a principal name (account@domain) is an enterprise name.
krb5_error_code principalOf(krb5_context context, const std::string& realm, std::string account, bool* enterprise,
                            Principal* out) {
  size_t backslash = account.rfind('\\');
  if (backslash != std::string::npos) account.erase(0, backslash + 1);
  *enterprise = account.find('@') != std::string::npos;
  krb5_error_code code = krb5_build_principal_ext(context, out->put(), static_cast<unsigned>(realm.size()),
                                                  realm.data(), static_cast<unsigned>(account.size()), account.data(), 0);
  if (code != 0) return code;
  out->get()->type = *enterprise ? KRB5_NT_ENTERPRISE_PRINCIPAL : KRB5_NT_PRINCIPAL;
  return 0;
}

NET_API_STATUS changePassword(LPCWSTR domainname, LPCWSTR username, LPCWSTR oldpassword, LPCWSTR newpassword) {
  std::string account = textOf(username);
  if (account.empty() || account.back() == '\\' || oldpassword == nullptr || newpassword == nullptr)
    return ERROR_INVALID_PARAMETER;
  KerberosContext context;
  krb5_error_code code = krb5_init_context(context.put());
  if (code != 0) return statusOfKerberosError(code);
  std::string realm;
  code = adsi::realmOfDomain(context.get(), textOf(domainname), &realm);
  if (code != 0) return statusOfKerberosError(code);
  Principal client(context.get());
  bool enterprise = false;
  code = principalOf(context.get(), realm, account, &enterprise, &client);
  if (code != 0) return statusOfKerberosError(code);

  InitOptions options(context.get());
  code = krb5_get_init_creds_opt_alloc(context.get(), options.put());
  if (code != 0) return statusOfKerberosError(code);
  krb5_get_init_creds_opt_set_tkt_life(options.get(), ticketLifetimeSeconds);
  krb5_get_init_creds_opt_set_forwardable(options.get(), 0);
  krb5_get_init_creds_opt_set_proxiable(options.get(), 0);
  krb5_get_init_creds_opt_set_change_password_prompt(options.get(), 0);
  if (enterprise) krb5_get_init_creds_opt_set_canonicalize(options.get(), 1);

  Ticket ticket(context.get());
  {
    SecretUtf8 old(oldpassword);
    code = krb5_get_init_creds_password(context.get(), ticket.fill(), client.get(), old.c_str(), nullptr, nullptr, 0,
                                        passwordService, options.get());
  }
  if (code != 0) return statusOfKerberosError(code);

  int resultCode = 0;
  KerberosData resultCodeText(context.get());
  KerberosData resultText(context.get());
  {
    SecretUtf8 fresh(newpassword);
    code = krb5_change_password(context.get(), ticket.get(), fresh.c_str(), &resultCode, resultCodeText.put(),
                                resultText.put());
  }
  if (code != 0) return statusOfKerberosError(code);
  NET_API_STATUS status = statusOfKpasswdResult(resultCode, resultText.view());
  // As after any password write: no pooled connection opened with the old password is reused.
  if (status == NERR_Success) {
    adsi::retirePooledConnections();
    adsi::forgetBindRefusals();
  }
  adsi::forgetEntriesOfThisCall();
  return status;
}

}  // namespace

}  // namespace winapi::netapi

NET_API_STATUS NetUserChangePassword(LPCWSTR domainname, LPCWSTR username, LPCWSTR oldpassword,
                                     LPCWSTR newpassword) {
  try {
    return winapi::netapi::changePassword(domainname, username, oldpassword, newpassword);
  } catch (const std::bad_alloc&) {
    return ERROR_NOT_ENOUGH_MEMORY;
  } catch (...) {
    return NERR_InternalError;
  }
}
