#include "adsi/connection.h"

#include <arpa/nameser.h>
#include <krb5.h>
#include <netinet/in.h>
#include <resolv.h>
#include <sasl/sasl.h>
#include <signal.h>
#include <sys/socket.h>

#include <map>

#include "adsi/errors.h"

namespace winapi::adsi {

namespace {

constexpr int connectTimeoutSeconds = 10;
// A bound on waiting for any one answer: a server that never answers must not hang a caller.
constexpr int operationTimeoutSeconds = 300;
constexpr int searchGraceSeconds = 5;

std::atomic<size_t> openedCount{0};
std::atomic<bool> plainTransport{false};

bool isTransportFailure(int code) {
  return code == LDAP_SERVER_DOWN || code == LDAP_CONNECT_ERROR || code == LDAP_TIMEOUT;
}

HRESULT failWithCode(int code, std::string_view text) {
  LdapOutcome outcome;
  outcome.code = code;
  outcome.diagnostic = std::string(text);
  return failWith(outcome);
}

// Cyrus SASL asks for the authorisation identity and similar; the process's Kerberos
// credentials answer everything, so each prompt takes its default.
int takeSaslDefaults(LDAP*, unsigned, void*, void* prompts) {
  for (auto* prompt = static_cast<sasl_interact_t*>(prompts); prompt->id != SASL_CB_LIST_END; ++prompt) {
    const char* answer = prompt->defresult != nullptr ? prompt->defresult : "";
    prompt->result = answer;
    prompt->len = static_cast<unsigned>(strlen(answer));
  }
  return LDAP_SUCCESS;
}

std::string uriOf(const Endpoint& endpoint) {
  std::string uri = usesLdaps(endpoint.port) && !plainTransport.load() ? "ldaps://" : "ldap://";
  uri += endpoint.host;
  uri += ':';
  uri += std::to_string(endpoint.port);
  return uri;
}

LdapOutcome outcomeOf(LDAP* ld, int code) {
  LdapOutcome outcome;
  outcome.code = code;
  LdapString diagnostic;
  ldap_get_option(ld, LDAP_OPT_DIAGNOSTIC_MESSAGE, diagnostic.put());
  if (diagnostic) outcome.diagnostic = diagnostic.get();
  return outcome;
}

// A handle's own TLS context starts without the configured trust anchors: copy them from
// OpenLDAP's global settings (ldap.conf TLS_CACERT/TLS_CACERTDIR, LDAPTLS_CACERT...).
bool inheritTrustAnchors(LDAP* ld) {
  for (int option : {LDAP_OPT_X_TLS_CACERTFILE, LDAP_OPT_X_TLS_CACERTDIR}) {
    LdapString value;
    if (ldap_get_option(nullptr, option, value.put()) != LDAP_OPT_SUCCESS) continue;
    if (value && ldap_set_option(ld, option, value.get()) != LDAP_OPT_SUCCESS) return false;
  }
  return true;
}

HRESULT configureHandle(LDAP* ld) {
  int version = LDAP_VERSION3;
  timeval connectTimeout{connectTimeoutSeconds, 0};
  // Verification stays on whatever the configuration says; the CA comes from OpenLDAP's
  // settings (TLS_CACERT, LDAPTLS_CACERT). NEWCTX makes the per-handle settings take effect.
  int demand = LDAP_OPT_X_TLS_DEMAND;
  int newContext = 0;
  if (!inheritTrustAnchors(ld)) return failWithCode(LDAP_LOCAL_ERROR, "cannot configure the LDAP connection");
  if (ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version) != LDAP_OPT_SUCCESS ||
      ldap_set_option(ld, LDAP_OPT_REFERRALS, LDAP_OPT_OFF) != LDAP_OPT_SUCCESS ||
      ldap_set_option(ld, LDAP_OPT_RESTART, LDAP_OPT_ON) != LDAP_OPT_SUCCESS ||
      ldap_set_option(ld, LDAP_OPT_NETWORK_TIMEOUT, &connectTimeout) != LDAP_OPT_SUCCESS ||
      ldap_set_option(ld, LDAP_OPT_X_TLS_REQUIRE_CERT, &demand) != LDAP_OPT_SUCCESS ||
      ldap_set_option(ld, LDAP_OPT_X_TLS_NEWCTX, &newContext) != LDAP_OPT_SUCCESS) {
    return failWithCode(LDAP_LOCAL_ERROR, "cannot configure the LDAP connection");
  }
  return S_OK;
}

// StartTLS where the port is not LDAPS. A server that refuses it leaves the connection plain
// (only a sealed Kerberos bind may then go on); a failed handshake or verification is the
// same as an unreachable server, as it is for LDAPS.
HRESULT secureTransport(LDAP* ld, const Endpoint& endpoint, bool* encrypted) {
  if (plainTransport.load()) {
    *encrypted = false;
    return S_OK;
  }
  if (usesLdaps(endpoint.port)) {
    *encrypted = true;
    return S_OK;
  }
  int code = ldap_start_tls_s(ld, nullptr, nullptr);
  if (code == LDAP_SUCCESS) {
    *encrypted = true;
    return S_OK;
  }
  if (code < 0) {
    LdapOutcome outcome = outcomeOf(ld, LDAP_SERVER_DOWN);
    if (outcome.diagnostic.empty()) outcome.diagnostic = "cannot establish a verified TLS session";
    return failWith(outcome);
  }
  *encrypted = false;
  return S_OK;
}

HRESULT bindSimple(LDAP* ld, const Credentials& credentials, bool encrypted) {
  if (!encrypted) {
    return failWithCode(LDAP_STRONG_AUTH_REQUIRED, "a password is never sent over a connection without TLS");
  }
  std::string password = credentials.password.text();
  berval secret{static_cast<ber_len_t>(password.size()), &password[0]};
  int code = ldap_sasl_bind_s(ld, credentials.user.c_str(), LDAP_SASL_SIMPLE, &secret, nullptr, nullptr, nullptr);
  wipe(&password);
  if (code == LDAP_SUCCESS) return S_OK;
  return failWith(outcomeOf(ld, code));
}

HRESULT bindKerberos(LDAP* ld, bool encrypted) {
  // Over TLS the server refuses a second security layer; on a plain connection SASL signs and
  // seals. The service name is built from the host as written, never from reverse DNS.
  if (encrypted && ldap_set_option(ld, LDAP_OPT_X_SASL_SECPROPS, "maxssf=0") != LDAP_OPT_SUCCESS) {
    return failWithCode(LDAP_LOCAL_ERROR, "cannot configure SASL");
  }
  // Without TLS the SASL layer must encrypt: a bind that would leave traffic in the clear fails.
  if (!encrypted && ldap_set_option(ld, LDAP_OPT_X_SASL_SECPROPS, "minssf=56") != LDAP_OPT_SUCCESS) {
    return failWithCode(LDAP_LOCAL_ERROR, "cannot configure SASL");
  }
  ldap_set_option(ld, LDAP_OPT_X_SASL_NOCANON, LDAP_OPT_ON);
  int code =
      ldap_sasl_interactive_bind_s(ld, nullptr, "GSSAPI", nullptr, nullptr, LDAP_SASL_QUIET, takeSaslDefaults, nullptr);
  if (code == LDAP_SUCCESS) return S_OK;
  return failWith(outcomeOf(ld, code));
}

HRESULT bindAnonymous(LDAP* ld) {
  berval empty{0, nullptr};
  int code = ldap_sasl_bind_s(ld, nullptr, LDAP_SASL_SIMPLE, &empty, nullptr, nullptr, nullptr);
  if (code == LDAP_SUCCESS) return S_OK;
  return failWith(outcomeOf(ld, code));
}

// libldap writes to its sockets without MSG_NOSIGNAL: a server that closed a pooled
// connection would otherwise kill the whole process with SIGPIPE on the next write. A process
// that chose its own handling (the JVM has a handler) keeps it; only the default is replaced.
void ignoreBrokenPipesOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction current {};
    if (sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL &&
        !(current.sa_flags & SA_SIGINFO)) {
      struct sigaction ignore {};
      ignore.sa_handler = SIG_IGN;
      sigemptyset(&ignore.sa_mask);
      sigaction(SIGPIPE, &ignore, nullptr);
    }
  });
}

HRESULT connectAndBind(const Endpoint& endpoint, const Credentials& credentials, std::shared_ptr<Connection>* out) {
  ignoreBrokenPipesOnce();
  // An LDAP bind with a name and no password is an "unauthenticated bind" that many servers
  // accept as anonymous: refuse it as the logon failure it is, before touching the network.
  if (credentials.mode == BindMode::Simple && credentials.password.empty()) {
    return failWithCode(LDAP_INVALID_CREDENTIALS, "an empty password is not accepted for a named account");
  }
  LdapHandle handle;
  std::string uri = uriOf(endpoint);
  int code = ldap_initialize(handle.put(), uri.c_str());
  if (code != LDAP_SUCCESS) return failWithCode(code, "cannot initialise the LDAP connection");
  ++openedCount;
  HRESULT hr = configureHandle(handle.get());
  if (FAILED(hr)) return hr;
  bool encrypted = false;
  // Kerberos on a plain port seals its own traffic, as a Windows client's bind does; every
  // other identity gets TLS first.
  bool sealedBySasl = credentials.mode == BindMode::Kerberos && !usesLdaps(endpoint.port);
  if (!sealedBySasl) {
    hr = secureTransport(handle.get(), endpoint, &encrypted);
    if (FAILED(hr)) return hr;
  }
  switch (credentials.mode) {
    case BindMode::Simple:
      hr = bindSimple(handle.get(), credentials, encrypted);
      break;
    case BindMode::Kerberos:
      hr = bindKerberos(handle.get(), encrypted);
      break;
    case BindMode::Anonymous:
      hr = bindAnonymous(handle.get());
      break;
  }
  if (FAILED(hr)) return hr;
  // A sealed SASL session protects what follows as TLS would (password writes included).
  encrypted = encrypted || sealedBySasl;
  *out = std::make_shared<Connection>(std::move(handle), endpoint, credentials, encrypted);
  return S_OK;
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

std::string poolKey(const Endpoint& endpoint, const Credentials& credentials) {
  std::string key = toLowerAscii(endpoint.host);
  key += '\n';
  key += std::to_string(endpoint.port);
  key += '\n';
  key += std::to_string(static_cast<int>(credentials.mode));
  key += '\n';
  // Exact: another spelling of the account is another identity.
  key += credentials.mode == BindMode::Kerberos ? kerberosPrincipal() : credentials.user;
  return key;
}

struct Pool {
  std::mutex mutex;
  std::multimap<std::string, std::shared_ptr<Connection>> connections;
};

Pool& pool() {
  static Pool* instance = new Pool();  // outlives every object that may still hold a connection
  return *instance;
}

std::atomic<int> idleLimitSeconds{poolIdleLimitSeconds};

bool expired(const Connection& connection, std::chrono::steady_clock::time_point now) {
  return now - connection.lastUsed() >= std::chrono::seconds(idleLimitSeconds.load());
}

// Drops broken connections and those idle too long that nobody else holds.
void pruneLocked(Pool* p, std::chrono::steady_clock::time_point now) {
  for (auto it = p->connections.begin(); it != p->connections.end();) {
    bool idle = it->second.use_count() == 1 && expired(*it->second, now);
    if (it->second->broken() || idle)
      it = p->connections.erase(it);
    else
      ++it;
  }
}

std::shared_ptr<Connection> findPooled(const std::string& key, const Credentials& credentials) {
  Pool& p = pool();
  std::lock_guard<std::mutex> lock(p.mutex);
  auto now = std::chrono::steady_clock::now();
  pruneLocked(&p, now);
  auto range = p.connections.equal_range(key);
  for (auto it = range.first; it != range.second; ++it) {
    // The password is compared as a whole in constant time: a wrong password never rides
    // on a connection that a right one opened.
    if (it->second->credentials().password.equals(credentials.password) && !expired(*it->second, now))
      return it->second;
  }
  return nullptr;
}

void addPooled(const std::string& key, const std::shared_ptr<Connection>& connection) {
  Pool& p = pool();
  std::lock_guard<std::mutex> lock(p.mutex);
  p.connections.emplace(key, connection);
}

HRESULT endpointFromUri(const char* uris, Endpoint* out) {
  std::string first(uris);
  size_t space = first.find_first_of(" ,");
  if (space != std::string::npos) first.resize(space);
  LDAPURLDesc* parsed = nullptr;
  if (ldap_url_parse(first.c_str(), &parsed) != LDAP_URL_SUCCESS) return E_FAIL;
  bool ldaps = parsed->lud_scheme != nullptr && std::string(parsed->lud_scheme) == "ldaps";
  if (parsed->lud_host != nullptr) out->host = parsed->lud_host;
  out->port = parsed->lud_port != 0 ? parsed->lud_port : (ldaps ? 636 : 389);
  ldap_free_urldesc(parsed);
  return out->host.empty() ? E_FAIL : S_OK;
}

}  // namespace

bool usesLdaps(int port) { return port == 636 || port == 3269; }

HRESULT failWith(const LdapOutcome& outcome) { return failLdap(outcome.code, outcome.diagnostic); }

Connection::Connection(LdapHandle handle, Endpoint endpoint, Credentials credentials, bool encrypted)
    : handle_(std::move(handle)),
      endpoint_(std::move(endpoint)),
      credentials_(std::move(credentials)),
      encrypted_(encrypted),
      lastUsed_(std::chrono::steady_clock::now()) {}

std::chrono::steady_clock::time_point Connection::lastUsed() const {
  std::lock_guard<std::mutex> lock(timeMutex_);
  return lastUsed_;
}

void Connection::touch() {
  std::lock_guard<std::mutex> lock(timeMutex_);
  lastUsed_ = std::chrono::steady_clock::now();
}

LdapOutcome Connection::waitFor(int msgid, int sent, LdapMessage* all, LdapControls* responseControls,
                                int timeLimitSeconds) {
  touch();
  LdapOutcome outcome;
  if (sent != LDAP_SUCCESS) {
    outcome = outcomeOf(handle_.get(), sent);
    if (isTransportFailure(sent)) broken_ = true;
    return outcome;
  }
  // A search with a time limit is also cut off here, a little after the server should have
  // stopped: some servers ignore the limit a client asks for.
  int wait = timeLimitSeconds > 0 ? timeLimitSeconds + searchGraceSeconds : operationTimeoutSeconds;
  timeval timeout{wait, 0};
  LdapMessage local;
  LdapMessage* chain = all != nullptr ? all : &local;
  int type = ldap_result(handle_.get(), msgid, LDAP_MSG_ALL, &timeout, chain->put());
  if (type == 0 && timeLimitSeconds > 0) {
    // A read that ran out of its own time: abandoning it leaves the connection sound.
    ldap_abandon_ext(handle_.get(), msgid, nullptr, nullptr);
    outcome.code = LDAP_TIMELIMIT_EXCEEDED;
    return outcome;
  }
  if (type <= 0) {
    // No answer: whether the server acted is unknown, so the connection is not trusted again
    // and the operation is not repeated.
    ldap_abandon_ext(handle_.get(), msgid, nullptr, nullptr);
    broken_ = true;
    outcome.code = type == 0 ? LDAP_TIMEOUT : LDAP_SERVER_DOWN;
    int code = 0;
    if (type < 0 && ldap_get_option(handle_.get(), LDAP_OPT_RESULT_CODE, &code) == LDAP_OPT_SUCCESS && code != 0)
      outcome.code = code;
    if (isTransportFailure(outcome.code)) broken_ = true;
    return outcome;
  }
  int code = LDAP_SUCCESS;
  char* diagnostic = nullptr;
  LDAPControl** controls = nullptr;
  int parsed = ldap_parse_result(handle_.get(), chain->get(), &code, nullptr, &diagnostic, nullptr,
                                 responseControls != nullptr ? &controls : nullptr, 0);
  LdapString diagnosticOwner(diagnostic);
  if (responseControls != nullptr) *responseControls->put() = controls;
  if (parsed != LDAP_SUCCESS) {
    outcome.code = parsed;
    return outcome;
  }
  outcome.code = code;
  if (diagnostic != nullptr) outcome.diagnostic = diagnostic;
  touch();
  return outcome;
}

LdapOutcome Connection::search(const std::string& base, int scope, const std::string& filter,
                               const std::vector<std::string>& attributes, LDAPControl** serverControls, int sizeLimit,
                               int timeLimitSeconds, LdapMessage* entries, LdapControls* responseControls) {
  std::vector<char*> names;
  for (const std::string& name : attributes) names.push_back(const_cast<char*>(name.c_str()));
  names.push_back(nullptr);
  timeval limit{timeLimitSeconds, 0};
  int msgid = 0;
  int sent =
      ldap_search_ext(handle_.get(), base.c_str(), scope, filter.c_str(), attributes.empty() ? nullptr : names.data(),
                      0, serverControls, nullptr, timeLimitSeconds > 0 ? &limit : nullptr, sizeLimit, &msgid);
  return waitFor(msgid, sent, entries, responseControls, timeLimitSeconds);
}

LdapOutcome Connection::modify(const std::string& dn, LDAPMod** mods, LDAPControl** serverControls) {
  int msgid = 0;
  int sent = ldap_modify_ext(handle_.get(), dn.c_str(), mods, serverControls, nullptr, &msgid);
  return waitFor(msgid, sent, nullptr, nullptr, 0);
}

LdapOutcome Connection::add(const std::string& dn, LDAPMod** mods, LDAPControl** serverControls) {
  int msgid = 0;
  int sent = ldap_add_ext(handle_.get(), dn.c_str(), mods, serverControls, nullptr, &msgid);
  return waitFor(msgid, sent, nullptr, nullptr, 0);
}

LdapOutcome Connection::remove(const std::string& dn, LDAPControl** serverControls) {
  int msgid = 0;
  int sent = ldap_delete_ext(handle_.get(), dn.c_str(), serverControls, nullptr, &msgid);
  return waitFor(msgid, sent, nullptr, nullptr, 0);
}

HRESULT acquireConnection(const Endpoint& endpoint, const Credentials& credentials, std::shared_ptr<Connection>* out,
                          bool* reused) {
  std::string key = poolKey(endpoint, credentials);
  std::shared_ptr<Connection> pooled = findPooled(key, credentials);
  if (pooled) {
    *out = std::move(pooled);
    *reused = true;
    return S_OK;
  }
  *reused = false;
  std::shared_ptr<Connection> fresh;
  HRESULT hr = connectAndBind(endpoint, credentials, &fresh);
  if (FAILED(hr)) return hr;
  addPooled(key, fresh);
  *out = std::move(fresh);
  return S_OK;
}

HRESULT openFreshConnection(const Endpoint& endpoint, const Credentials& credentials,
                            std::shared_ptr<Connection>* out) {
  return connectAndBind(endpoint, credentials, out);
}

void discardConnection(const std::shared_ptr<Connection>& connection) {
  Pool& p = pool();
  std::lock_guard<std::mutex> lock(p.mutex);
  for (auto it = p.connections.begin(); it != p.connections.end(); ++it) {
    if (it->second == connection) {
      p.connections.erase(it);
      return;
    }
  }
}

void retirePooledConnections() {
  Pool& p = pool();
  std::lock_guard<std::mutex> lock(p.mutex);
  p.connections.clear();
}

namespace {

// The domain controller with the best priority among the realm's _ldap._tcp service records.
HRESULT endpointFromServiceRecords(const std::string& domain, Endpoint* out) {
  std::string name = "_ldap._tcp." + domain;
  unsigned char answer[4096];
  struct __res_state state {};
  if (res_ninit(&state) != 0) return HRESULT_FROM_WIN32(ERROR_NO_SUCH_DOMAIN);
  int length = res_nquery(&state, name.c_str(), ns_c_in, ns_t_srv, answer, sizeof answer);
  res_nclose(&state);
  if (length <= 0) return HRESULT_FROM_WIN32(ERROR_NO_SUCH_DOMAIN);
  ns_msg message;
  if (ns_initparse(answer, length, &message) != 0) return HRESULT_FROM_WIN32(ERROR_NO_SUCH_DOMAIN);
  int best = -1;
  for (int i = 0; i < ns_msg_count(message, ns_s_an); ++i) {
    ns_rr record;
    if (ns_parserr(&message, ns_s_an, i, &record) != 0 || ns_rr_type(record) != ns_t_srv) continue;
    if (ns_rr_rdlen(record) < 7) continue;
    const unsigned char* data = ns_rr_rdata(record);
    int priority = (data[0] << 8) | data[1];
    int port = (data[4] << 8) | data[5];
    char target[NS_MAXDNAME];
    if (dn_expand(ns_msg_base(message), ns_msg_end(message), data + 6, target, sizeof target) < 0) continue;
    if (best >= 0 && priority >= best) continue;
    best = priority;
    out->host = target;
    out->port = port;
  }
  return best >= 0 ? S_OK : HRESULT_FROM_WIN32(ERROR_NO_SUCH_DOMAIN);
}

std::string kerberosDefaultRealm() {
  krb5_context context = nullptr;
  if (krb5_init_context(&context) != 0) return std::string();
  char* realm = nullptr;
  std::string result;
  if (krb5_get_default_realm(context, &realm) == 0 && realm != nullptr) {
    result = realm;
    krb5_free_default_realm(context, realm);
  }
  krb5_free_context(context);
  return result;
}

}  // namespace

HRESULT defaultEndpoint(Endpoint* out) {
  LdapString uris;
  if (ldap_get_option(nullptr, LDAP_OPT_URI, uris.put()) == LDAP_OPT_SUCCESS && uris && uris.get()[0] != 0) {
    if (SUCCEEDED(endpointFromUri(uris.get(), out))) return S_OK;
  }
  std::string realm = kerberosDefaultRealm();
  if (realm.empty()) return failWithCode(LDAP_SERVER_DOWN, "no default directory server is configured");
  HRESULT hr = endpointFromServiceRecords(toLowerAscii(realm), out);
  if (FAILED(hr)) return failWithCode(LDAP_SERVER_DOWN, "no domain controller found for the default realm");
  return S_OK;
}

namespace testing {

size_t connectionsOpened() { return openedCount.load(); }

void clearPool() {
  Pool& p = pool();
  std::lock_guard<std::mutex> lock(p.mutex);
  p.connections.clear();
}

void setPlainTransportForTesting(bool plain) { plainTransport = plain; }

void setIdleLimitForTesting(int seconds) { idleLimitSeconds = seconds < 0 ? poolIdleLimitSeconds : seconds; }

void severPooledConnections() {
  Pool& p = pool();
  std::lock_guard<std::mutex> lock(p.mutex);
  for (auto& [key, connection] : p.connections) {
    int descriptor = -1;
    if (ldap_get_option(connection->handle(), LDAP_OPT_DESC, &descriptor) == LDAP_OPT_SUCCESS && descriptor >= 0)
      shutdown(descriptor, SHUT_RDWR);
  }
}

}  // namespace testing

std::vector<std::string> entryValues(LDAP* ld, LDAPMessage* entry, const char* attribute) {
  std::vector<std::string> values;
  LdapValues raw(ldap_get_values_len(ld, entry, attribute));
  if (!raw) return values;
  for (berval** v = raw.get(); *v != nullptr; ++v) values.emplace_back((*v)->bv_val, (*v)->bv_len);
  return values;
}

std::string firstEntryValue(LDAP* ld, LDAPMessage* entry, const char* attribute) {
  LdapValues values(ldap_get_values_len(ld, entry, attribute));
  if (!values || values.get()[0] == nullptr) return std::string();
  return std::string(values.get()[0]->bv_val, values.get()[0]->bv_len);
}

}  // namespace winapi::adsi
