#include "adsi/kerberos_logon.h"

#include <gssapi/gssapi_krb5.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include "adsi/bind_refusal.h"
#include "adsi/controller_kdc.h"
#include "adsi/dc_locator.h"
#include "adsi/errors.h"
#include "adsi/kdc_refusal.h"
#include "adsi/kerberos_owners.h"
#include "adsi/path.h"
#include "adsi/pool.h"
#include "adsi/transport.h"
#include "adsi/text.h"

namespace winapi::adsi {

class AccountTickets {
 public:
  AccountTickets(const Secret& password, std::chrono::steady_clock::time_point obtained)
      : password_(password), obtained_(obtained) {}
  AccountTickets(const AccountTickets&) = delete;
  AccountTickets& operator=(const AccountTickets&) = delete;

  // Declared in the order they are made; they go in reverse: the GSSAPI credentials before the
  // cache they refer to, the cache before its library context.
  KerberosContext context;
  std::optional<PrivateCache> cache;
  GssCredential credential;
  // A ticket for one controller's service alone (not the realm's), from that controller as its
  // realm's KDC: other controllers need tickets of their own.
  std::string onlyFor;

  bool standsFor(const Secret& password, std::chrono::steady_clock::time_point now) const {
    return now - obtained_ < std::chrono::seconds(poolLifetimeLimitSeconds) && password_.equals(password);
  }

 private:
  Secret password_;  // only compared, to tell one credential set from another
  std::chrono::steady_clock::time_point obtained_;
};

gss_cred_id_t gssCredentialOf(const AccountTickets& tickets) { return tickets.credential.get(); }

namespace {

std::atomic<size_t> ticketRequestCount{0};

// A ticket serves this long after it is got: the kept ones as long as the pool lets a bind stand
// for its password (and a little more, for a bind made at the end of that time), a check's for
// its one bind.
constexpr krb5_deltat keptTicketSeconds = poolLifetimeLimitSeconds + 60;
constexpr krb5_deltat checkTicketSeconds = 300;

std::string upperAscii(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

std::string messageOf(krb5_context context, krb5_error_code code) {
  const char* text = krb5_get_error_message(context, code);
  std::string message = text != nullptr ? text : "Kerberos error";
  krb5_free_error_message(context, text);
  return message;
}

// What a failed exchange reports: the account's state when the KDC refused it, no logon servers
// when no KDC answered, else the library's own failure.
HRESULT failedExchange(krb5_context context, krb5_init_creds_context exchange, krb5_error_code code) {
  std::string message = messageOf(context, code);
  KdcError error(context);
  if (krb5_init_creds_get_error(context, exchange, error.put()) == 0 && error.get() != nullptr &&
      refusesTheAccount(static_cast<int>(error.get()->error))) {
    const krb5_data& data = error.get()->e_data;
    uint32_t status = ntstatusOfKdcErrorData(std::string_view(data.data, data.length));
    return failBind(reasonOfKdcRefusal(static_cast<int>(error.get()->error), status), "KDC: " + message);
  }
  if (code == KRB5_KDC_UNREACH || code == KRB5_REALM_CANT_RESOLVE || code == KRB5_REALM_UNKNOWN) {
    setLastError(ERROR_NO_LOGON_SERVERS, toUtf16(message), u"LDAP Provider");
    return HRESULT_FROM_WIN32(ERROR_NO_LOGON_SERVERS);
  }
  return failLdap(LDAP_LOCAL_ERROR, message);
}

// The realm a controller serves: the Kerberos configuration's mapping of its host, else the
// realm its domain part suggests.
krb5_error_code realmOfHost(krb5_context context, const std::string& host, std::string* realm) {
  char** mapped = nullptr;
  if (krb5_get_host_realm(context, host.c_str(), &mapped) == 0 && mapped != nullptr) {
    if (mapped[0] != nullptr) *realm = mapped[0];
    krb5_free_host_realm(context, mapped);
  }
  if (!realm->empty()) return 0;
  mapped = nullptr;
  krb5_data name{KV5M_DATA, static_cast<unsigned>(host.size()), const_cast<char*>(host.data())};
  krb5_error_code code = krb5_get_fallback_host_realm(context, &name, &mapped);
  if (code != 0) return code;
  if (mapped != nullptr && mapped[0] != nullptr) *realm = mapped[0];
  krb5_free_host_realm(context, mapped);
  return realm->empty() ? KRB5_REALM_UNKNOWN : 0;
}

// Whether the Kerberos configuration maps this domain to a realm of its own.
bool mappedRealm(krb5_context context, const std::string& domain, std::string* realm) {
  char** mapped = nullptr;
  if (krb5_get_host_realm(context, domain.c_str(), &mapped) != 0 || mapped == nullptr) return false;
  if (mapped[0] != nullptr && mapped[0][0] != 0) *realm = mapped[0];
  krb5_free_host_realm(context, mapped);
  return !realm->empty();
}

struct AccountPrincipal {
  std::string name;   // one component: "/" and "@" in it are part of the name
  std::string realm;
  bool enterprise = false;
};

// The principal an account name stands for (see the top of kerberos_logon.h).
HRESULT principalOfAccount(krb5_context context, const std::string& user, const std::string& controllerRealm,
                           AccountPrincipal* out) {
  if (user.find('=') != std::string::npos && isValidDn(user))
    return failBind(ERROR_LOGON_FAILURE, "a distinguished name names no Kerberos principal");
  out->realm = controllerRealm;
  size_t backslash = user.find('\\');
  if (backslash != std::string::npos) {
    out->name = user.substr(backslash + 1);
    std::string domain = logonDomainOf(std::string(), user.substr(0, backslash));
    std::string realm;
    if (!domain.empty() && realmOfDomain(context, domain, &realm) == 0) out->realm = realm;
    out->enterprise = out->name.find('@') != std::string::npos;
    return out->name.empty() ? failBind(ERROR_LOGON_FAILURE, "no account name") : S_OK;
  }
  size_t at = user.rfind('@');
  if (at == std::string::npos) {
    out->name = user;
    return S_OK;
  }
  std::string suffix = user.substr(at + 1);
  std::string realm;
  if (equalsIgnoreCase(suffix, controllerRealm) || (mappedRealm(context, suffix, &realm))) {
    out->name = user.substr(0, at);
    if (!realm.empty()) out->realm = realm;
    return out->name.empty() ? failBind(ERROR_LOGON_FAILURE, "no account name") : S_OK;
  }
  // Another principal-name suffix: the KDC finds the account by its whole principal name.
  out->name = user;
  out->enterprise = true;
  return S_OK;
}

// ldap/<controller>@REALM, as the GSSAPI bind will ask for it.
krb5_error_code directoryService(krb5_context context, const std::string& host, const std::string& realm,
                                 std::string* out) {
  Principal service(context);
  krb5_error_code code = krb5_sname_to_principal(context, host.c_str(), "ldap", KRB5_NT_SRV_HST, service.put());
  if (code != 0) return code;
  if (service.get()->realm.length == 0) {
    code = krb5_set_principal_realm(context, service.get(), realm.c_str());
    if (code != 0) return code;
  }
  char* text = nullptr;
  code = krb5_unparse_name(context, service.get(), &text);
  if (code != 0) return code;
  *out = text;
  krb5_free_unparsed_name(context, text);
  return 0;
}

// One initial-ticket exchange: the account's password proven to the KDC, the ticket (for the
// service when one is named, else for the realm) stored in a new private in-memory cache. Never
// repeated here: a wrong password counts once at the KDC.
// A KDC that accepts and never answers would hold the call for the Kerberos library's own schedule
// of retries (a dozen seconds and more): the exchange runs on a worker, and the call waits for it
// no longer than its network and operation bounds. An exchange given up on finishes by itself,
// holding everything it uses (the context, the exchange and its options).
struct ExchangeWait {
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;            // guarded by mutex
  krb5_error_code code = 0;         // guarded by mutex
};

krb5_error_code exchangeWithinBound(std::shared_ptr<AccountTickets> tickets, std::shared_ptr<InitOptions> options,
                                    std::shared_ptr<InitCredsExchange> exchange, bool* timedOut) {
  auto wait = std::make_shared<ExchangeWait>();
  std::thread([tickets, options, exchange, wait]() mutable {
    krb5_error_code code = krb5_init_creds_get(tickets->context.get(), exchange->get());
    exchange.reset();  // before the options and the context it refers to
    options.reset();
    tickets.reset();
    std::lock_guard<std::mutex> lock(wait->mutex);
    wait->code = code;
    wait->finished = true;
    wait->done.notify_all();
  }).detach();
  WaitLimits limits = waitLimits();
  std::unique_lock<std::mutex> lock(wait->mutex);
  *timedOut = !wait->done.wait_for(lock, std::chrono::seconds(limits.networkSeconds + limits.operationSeconds),
                                   [&] { return wait->finished; });
  return *timedOut ? KRB5_KDC_UNREACH : wait->code;
}

HRESULT requestTicket(const std::shared_ptr<AccountTickets>& tickets, const AccountPrincipal& account,
                      const std::string& service, const Secret& password, krb5_deltat lifetime) {
  krb5_context context = tickets->context.get();
  Principal client(context);
  krb5_error_code code = krb5_build_principal_ext(context, client.put(), static_cast<unsigned>(account.realm.size()),
                                                  account.realm.data(), static_cast<unsigned>(account.name.size()),
                                                  account.name.data(), 0);
  if (code != 0) return failLdap(LDAP_LOCAL_ERROR, messageOf(context, code));
  client.get()->type = account.enterprise ? KRB5_NT_ENTERPRISE_PRINCIPAL : KRB5_NT_PRINCIPAL;
  auto options = std::make_shared<InitOptions>(context);
  code = krb5_get_init_creds_opt_alloc(context, options->put());
  if (code != 0) return failLdap(LDAP_LOCAL_ERROR, messageOf(context, code));
  krb5_get_init_creds_opt_set_tkt_life(options->get(), lifetime);
  krb5_get_init_creds_opt_set_forwardable(options->get(), 0);
  krb5_get_init_creds_opt_set_proxiable(options->get(), 0);
  krb5_get_init_creds_opt_set_change_password_prompt(options->get(), 0);
  if (account.enterprise) krb5_get_init_creds_opt_set_canonicalize(options->get(), 1);

  auto exchange = std::make_shared<InitCredsExchange>(context);
  code = krb5_init_creds_init(context, client.get(), nullptr, nullptr, 0, options->get(), exchange->put());
  if (code == 0) code = krb5_init_creds_set_password(context, exchange->get(), password.text().c_str());
  if (code == 0 && !service.empty()) code = krb5_init_creds_set_service(context, exchange->get(), service.c_str());
  if (code != 0) return failLdap(LDAP_LOCAL_ERROR, messageOf(context, code));
  ++ticketRequestCount;
  bool timedOut = false;
  code = exchangeWithinBound(tickets, options, exchange, &timedOut);
  if (timedOut) {
    // The request may have reached a KDC: it is never sent to another for this call.
    notePasswordSent();
    return failLdap(LDAP_TIMEOUT, "the KDC did not answer in time");
  }
  if (code != 0) return failedExchange(context, exchange->get(), code);

  Ticket ticket(context);
  tickets->cache.emplace(context);
  code = krb5_init_creds_get_creds(context, exchange->get(), ticket.fill());
  if (code == 0) code = krb5_cc_new_unique(context, "MEMORY", nullptr, tickets->cache->put());
  if (code == 0) code = krb5_cc_initialize(context, tickets->cache->get(), ticket.get()->client);
  if (code == 0) code = krb5_cc_store_cred(context, tickets->cache->get(), ticket.get());
  if (code != 0) return failLdap(LDAP_LOCAL_ERROR, messageOf(context, code));
  OM_uint32 minor = 0;
  if (gss_krb5_import_cred(&minor, tickets->cache->get(), nullptr, nullptr, tickets->credential.put()) !=
      GSS_S_COMPLETE)
    return failLdap(LDAP_LOCAL_ERROR, "cannot use the account's Kerberos ticket");
  return S_OK;
}

// New tickets for the account. An account of the controller's own realm proves its password to
// that controller, as the realm's KDC, for a ticket to its directory service alone: Kerberos then
// follows the locator's choice (its affinity and failover, a controller found only by address), as
// a Windows client's does, instead of a KDC list of its own. An account of another realm (or an
// enterprise name) gets a ticket for its realm from the KDCs the configuration finds.
HRESULT obtainTickets(const Endpoint& controller, const std::string& controllerAddress, const Credentials& credentials,
                      krb5_deltat lifetime, std::shared_ptr<AccountTickets>* out) {
  KerberosContext usual;
  if (krb5_init_context(usual.put()) != 0) return failLdap(LDAP_LOCAL_ERROR, "cannot start Kerberos");
  std::string controllerRealm;
  krb5_error_code code = realmOfHost(usual.get(), controller.host, &controllerRealm);
  if (code != 0) return failLdap(LDAP_LOCAL_ERROR, messageOf(usual.get(), code));
  AccountPrincipal account;
  HRESULT hr = principalOfAccount(usual.get(), credentials.user, controllerRealm, &account);
  if (FAILED(hr)) return hr;
  auto tickets = std::make_shared<AccountTickets>(credentials.password, std::chrono::steady_clock::now());
  std::string service;
  bool ownRealm = !account.enterprise && equalsIgnoreCase(account.realm, controllerRealm);
  if (ownRealm) {
    const std::string& kdc = controllerAddress.empty() ? controller.host : controllerAddress;
    if (contextWithControllerAsKdc(controllerRealm, kdc, &tickets->context) != 0)
      return failLdap(LDAP_LOCAL_ERROR, "cannot start Kerberos");
    code = directoryService(tickets->context.get(), controller.host, controllerRealm, &service);
    if (code != 0) return failLdap(LDAP_LOCAL_ERROR, messageOf(tickets->context.get(), code));
    tickets->onlyFor = toLowerAscii(controller.host);
  } else if (krb5_init_context(tickets->context.put()) != 0) {
    return failLdap(LDAP_LOCAL_ERROR, "cannot start Kerberos");
  }
  hr = requestTicket(tickets, account, service, credentials.password, lifetime);
  if (FAILED(hr)) return hr;
  *out = std::move(tickets);
  return S_OK;
}

// The kept tickets of one credential set. One exchange at a time per set (with a wrong password,
// each more would be one more bad-password count); no other set waits on it.
struct TicketSlot {
  bool exchanging = false;
  std::weak_ptr<AccountTickets> tickets;
};

// The slots by account name and controller realm; the tickets are held by the connections bound
// with them, so a slot serves as long as one of those lives.
struct KeptTickets {
  std::mutex mutex;
  std::condition_variable exchanged;
  std::map<std::string, std::shared_ptr<TicketSlot>> byAccount;  // guarded by mutex, as the slots are
};

KeptTickets& keptTickets() {
  static KeptTickets* instance = new KeptTickets();  // outlives every connection that holds tickets
  return *instance;
}

// The set's slot, made when missing; slots that serve nobody any more go. Called under the mutex.
std::shared_ptr<TicketSlot> slotOf(KeptTickets& kept, const std::string& key) {
  for (auto it = kept.byAccount.begin(); it != kept.byAccount.end();) {
    bool unused = !it->second->exchanging && it->second->tickets.expired() && it->first != key;
    it = unused ? kept.byAccount.erase(it) : std::next(it);
  }
  std::shared_ptr<TicketSlot>& slot = kept.byAccount[key];
  if (!slot) slot = std::make_shared<TicketSlot>();
  return slot;
}

// The caller's turn to ask the KDC for a set: given back, and the waiters told, however it ends.
class ExchangeTurn {
 public:
  ExchangeTurn(KeptTickets& kept, std::shared_ptr<TicketSlot> slot) : kept_(kept), slot_(std::move(slot)) {
    slot_->exchanging = true;
  }
  ~ExchangeTurn() {
    std::lock_guard<std::mutex> lock(kept_.mutex);
    slot_->exchanging = false;
    kept_.exchanged.notify_all();
  }
  ExchangeTurn(const ExchangeTurn&) = delete;
  ExchangeTurn& operator=(const ExchangeTurn&) = delete;

 private:
  KeptTickets& kept_;
  std::shared_ptr<TicketSlot> slot_;
};

std::string realmKeyOf(const Endpoint& controller) {
  KerberosContext context;
  std::string realm;
  if (krb5_init_context(context.put()) != 0 || realmOfHost(context.get(), controller.host, &realm) != 0)
    return toLowerAscii(controller.host);
  return realm;
}

}  // namespace

bool simpleBindsAllowed() {
  static const bool allowed = [] {
    const char* setting = std::getenv("ORVISTAL_SIMPLE_BIND");
    return setting != nullptr && std::strcmp(setting, "1") == 0;
  }();
  return allowed;
}

bool bindsWithKerberos(const Credentials& credentials) {
  return credentials.mode == BindMode::Kerberos || (credentials.mode == BindMode::Simple && !simpleBindsAllowed());
}

HRESULT attachKeptTickets(const Endpoint& controller, const std::string& controllerAddress, Credentials* credentials) {
  if (credentials->mode != BindMode::Simple || !bindsWithKerberos(*credentials)) return S_OK;
  std::string key = realmKeyOf(controller) + '\n' + credentials->user;
  KeptTickets& kept = keptTickets();
  std::unique_lock<std::mutex> lock(kept.mutex);
  std::shared_ptr<TicketSlot> slot = slotOf(kept, key);
  // Another caller's exchange for the same set is waited for within this call's bound.
  WaitLimits limits = waitLimits();
  if (!kept.exchanged.wait_for(lock, std::chrono::seconds(limits.networkSeconds + limits.operationSeconds),
                               [&] { return !slot->exchanging; }))
    return failLdap(LDAP_TIMEOUT, "the KDC did not answer in time");
  std::shared_ptr<AccountTickets> tickets = slot->tickets.lock();
  bool servesController = tickets && (tickets->onlyFor.empty() || tickets->onlyFor == toLowerAscii(controller.host));
  if (servesController && tickets->standsFor(credentials->password, std::chrono::steady_clock::now())) {
    credentials->tickets = std::move(tickets);
    return S_OK;
  }
  ExchangeTurn turn(kept, slot);
  lock.unlock();
  HRESULT hr = obtainTickets(controller, controllerAddress, *credentials, keptTicketSeconds, &tickets);
  if (FAILED(hr)) return hr;
  lock.lock();
  slot->tickets = tickets;
  lock.unlock();  // before the turn ends, which takes the lock itself
  credentials->tickets = std::move(tickets);
  return S_OK;
}

HRESULT attachFreshTicket(const Endpoint& controller, const std::string& controllerAddress, Credentials* credentials) {
  if (credentials->mode != BindMode::Simple || !bindsWithKerberos(*credentials)) return S_OK;
  return obtainTickets(controller, controllerAddress, *credentials, checkTicketSeconds, &credentials->tickets);
}

void forgetKeptTickets() {
  KeptTickets& kept = keptTickets();
  std::lock_guard<std::mutex> lock(kept.mutex);
  kept.byAccount.clear();
}

krb5_error_code realmOfDomain(krb5_context context, std::string domain, std::string* realm) {
  while (!domain.empty() && domain.front() == '\\') domain.erase(0, 1);  // "\\server"
  while (!domain.empty() && domain.back() == '.') domain.pop_back();
  if (domain.empty()) {
    char* configured = nullptr;
    krb5_error_code code = krb5_get_default_realm(context, &configured);
    if (code != 0) return code;
    *realm = configured;
    krb5_free_default_realm(context, configured);
    return 0;
  }
  if (!mappedRealm(context, domain, realm)) *realm = upperAscii(domain);
  return 0;
}

namespace testing {

size_t ticketRequests() { return ticketRequestCount.load(); }

}  // namespace testing

}  // namespace winapi::adsi
