// Scope-bound owners of the Kerberos library's objects: each frees (and, for keys and tickets,
// wipes) what it holds when it goes. Shared by the password change and the Kerberos logon.
#pragma once
#include <gssapi/gssapi.h>
#include <krb5.h>

#include <string_view>

namespace winapi::adsi {

class KerberosContext {
 public:
  KerberosContext() = default;
  ~KerberosContext() {
    if (context_ != nullptr) krb5_free_context(context_);
  }
  KerberosContext(const KerberosContext&) = delete;
  KerberosContext& operator=(const KerberosContext&) = delete;
  krb5_context get() const { return context_; }
  krb5_context* put() { return &context_; }

 private:
  krb5_context context_ = nullptr;
};

class Principal {
 public:
  explicit Principal(krb5_context context) : context_(context) {}
  ~Principal() {
    if (principal_ != nullptr) krb5_free_principal(context_, principal_);
  }
  Principal(const Principal&) = delete;
  Principal& operator=(const Principal&) = delete;
  krb5_principal get() const { return principal_; }
  krb5_principal* put() { return &principal_; }

 private:
  krb5_context context_;
  krb5_principal principal_ = nullptr;
};

class InitOptions {
 public:
  explicit InitOptions(krb5_context context) : context_(context) {}
  ~InitOptions() {
    if (options_ != nullptr) krb5_get_init_creds_opt_free(context_, options_);
  }
  InitOptions(const InitOptions&) = delete;
  InitOptions& operator=(const InitOptions&) = delete;
  krb5_get_init_creds_opt* get() const { return options_; }
  krb5_get_init_creds_opt** put() { return &options_; }

 private:
  krb5_context context_;
  krb5_get_init_creds_opt* options_ = nullptr;
};

// One initial-ticket exchange in progress (it holds the password's key once derived).
class InitCredsExchange {
 public:
  explicit InitCredsExchange(krb5_context context) : context_(context) {}
  ~InitCredsExchange() {
    if (exchange_ != nullptr) krb5_init_creds_free(context_, exchange_);
  }
  InitCredsExchange(const InitCredsExchange&) = delete;
  InitCredsExchange& operator=(const InitCredsExchange&) = delete;
  krb5_init_creds_context get() const { return exchange_; }
  krb5_init_creds_context* put() { return &exchange_; }

 private:
  krb5_context context_;
  krb5_init_creds_context exchange_ = nullptr;
};

// A ticket and its session key; freeing the contents wipes the key.
class Ticket {
 public:
  explicit Ticket(krb5_context context) : context_(context) {}
  ~Ticket() {
    if (filled_) krb5_free_cred_contents(context_, &creds_);
  }
  Ticket(const Ticket&) = delete;
  Ticket& operator=(const Ticket&) = delete;
  krb5_creds* get() { return &creds_; }
  krb5_creds* fill() {
    filled_ = true;
    return &creds_;
  }

 private:
  krb5_context context_;
  krb5_creds creds_{};
  bool filled_ = false;
};

class KerberosData {
 public:
  explicit KerberosData(krb5_context context) : context_(context) {}
  ~KerberosData() { krb5_free_data_contents(context_, &data_); }
  KerberosData(const KerberosData&) = delete;
  KerberosData& operator=(const KerberosData&) = delete;
  krb5_data* put() { return &data_; }
  std::string_view view() const { return std::string_view(data_.data, data_.length); }

 private:
  krb5_context context_;
  krb5_data data_{};
};

// The KDC's error message of a failed exchange.
class KdcError {
 public:
  explicit KdcError(krb5_context context) : context_(context) {}
  ~KdcError() {
    if (error_ != nullptr) krb5_free_error(context_, error_);
  }
  KdcError(const KdcError&) = delete;
  KdcError& operator=(const KdcError&) = delete;
  const krb5_error* get() const { return error_; }
  krb5_error** put() { return &error_; }

 private:
  krb5_context context_;
  krb5_error* error_ = nullptr;
};

// A credentials cache that is destroyed, not merely closed, when it goes: a private in-memory
// cache leaves no ticket or key behind.
class PrivateCache {
 public:
  explicit PrivateCache(krb5_context context) : context_(context) {}
  ~PrivateCache() {
    if (cache_ != nullptr) krb5_cc_destroy(context_, cache_);
  }
  PrivateCache(const PrivateCache&) = delete;
  PrivateCache& operator=(const PrivateCache&) = delete;
  krb5_ccache get() const { return cache_; }
  krb5_ccache* put() { return &cache_; }

 private:
  krb5_context context_;
  krb5_ccache cache_ = nullptr;
};

// GSSAPI credentials (they refer to a credentials cache, which must outlive them).
class GssCredential {
 public:
  GssCredential() = default;
  ~GssCredential() {
    OM_uint32 minor = 0;
    if (credential_ != GSS_C_NO_CREDENTIAL) gss_release_cred(&minor, &credential_);
  }
  GssCredential(const GssCredential&) = delete;
  GssCredential& operator=(const GssCredential&) = delete;
  gss_cred_id_t get() const { return credential_; }
  gss_cred_id_t* put() { return &credential_; }

 private:
  gss_cred_id_t credential_ = GSS_C_NO_CREDENTIAL;
};

}  // namespace winapi::adsi
