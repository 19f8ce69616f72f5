#include "adsi/connection.h"

#include <arpa/nameser.h>
#include <krb5.h>
#include <netinet/in.h>
#include <resolv.h>
#include <sasl/sasl.h>
#include <signal.h>
#include <sys/socket.h>

#include <cerrno>
#include <map>

#include "adsi/errors.h"
#include "com/apartment.h"

namespace winapi::adsi {

namespace {

constexpr int defaultNetworkTimeoutSeconds = 5;
constexpr int defaultOperationTimeoutSeconds = 10;
// A search with a time limit of its own is cut off a little after the server should have
// stopped: some servers ignore the limit a client asks for.
constexpr int searchGraceSeconds = 5;
// Idle TLS connections kept per server for verification binds.
constexpr size_t verificationConnectionsKept = 4;

std::atomic<size_t> openedCount{0};
std::atomic<size_t> sentCount{0};
thread_local size_t sentByThisThread = 0;
// Set on the thread whose read or write ran out of time, so that the failure libldap reports
// (a lost server, or a TLS set-up that failed) can be told as the timeout it was; cleared as
// each request is sent.
thread_local bool socketTimedOut = false;
std::atomic<bool> plainTransport{false};
std::atomic<int> networkSecondsOverride{0};
std::atomic<int> operationSecondsOverride{0};

void countSent() {
  ++sentCount;
  ++sentByThisThread;
  socketTimedOut = false;
}



bool isTransportFailure(int code) {
  return code == LDAP_SERVER_DOWN || code == LDAP_CONNECT_ERROR || code == LDAP_TIMEOUT;
}

// The transport dropped, or the stream broke off mid-answer (as opposed to a wait that ran
// out): worth one more try elsewhere.
bool isDroppedTransport(int code) {
  return code == LDAP_SERVER_DOWN || code == LDAP_CONNECT_ERROR || code == LDAP_DECODING_ERROR;
}

HRESULT failWithCode(int code, std::string_view text) {
  LdapOutcome outcome;
  outcome.code = code;
  outcome.diagnostic = std::string(text);
  return failWith(outcome);
}

// OpenLDAP's own setting (ldap.conf, or its environment form), in whole seconds.
int configuredSeconds(int option, int fallback) {
  timeval* value = nullptr;
  if (ldap_get_option(nullptr, option, &value) != LDAP_OPT_SUCCESS || value == nullptr) return fallback;
  int seconds = static_cast<int>(value->tv_sec) + (value->tv_usec > 0 ? 1 : 0);
  ldap_memfree(value);
  return seconds > 0 ? seconds : fallback;
}

void readyLdapLibrary();

const WaitLimits& configuredWaitLimits() {
  readyLdapLibrary();
  static const WaitLimits limits{configuredSeconds(LDAP_OPT_NETWORK_TIMEOUT, defaultNetworkTimeoutSeconds),
                                 configuredSeconds(LDAP_OPT_TIMEOUT, defaultOperationTimeoutSeconds)};
  return limits;
}

// Why a request may not be sent as it stands: too long to be a real name, or a NUL that
// libldap's C strings would cut the name short at.
LdapOutcome refusalOf(std::initializer_list<const std::string*> texts) {
  LdapOutcome outcome;
  for (const std::string* text : texts) {
    if (text->size() > maxRequestTextBytes) {
      outcome.code = kRequestTooLarge;
      outcome.diagnostic = "the request names a text longer than any name the directory holds";
      return outcome;
    }
  }
  for (const std::string* text : texts) {
    if (text->find('\0') != std::string::npos) {
      outcome.code = LDAP_NO_SUCH_OBJECT;
      outcome.diagnostic = "no object has a name that holds a NUL";
      return outcome;
    }
  }
  return outcome;
}

LdapOutcome refusalOfNames(const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    LdapOutcome outcome = refusalOf({&name});
    if (!outcome.ok()) return outcome;
  }
  return LdapOutcome();
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

// Once the TCP connection stands, every later read and write on it is bounded by the network
// limit: the socket gets receive and send timeouts, and a layer below TLS turns a timeout into
// a failure (libldap and the TLS library would otherwise take it for "try again" and wait on
// for ever). The handle's own network limit is then cleared: with it set, this libldap runs the
// TLS handshake on a non-blocking socket in a loop that never looks at the clock.

ber_slen_t failOnTimeout(ber_slen_t count) {
  if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
    errno = ETIMEDOUT;
    socketTimedOut = true;
  }
  return count;
}

ber_slen_t readOrTimeOut(Sockbuf_IO_Desc* layer, void* buffer, ber_len_t length) {
  return failOnTimeout(LBER_SBIOD_READ_NEXT(layer, buffer, length));
}

ber_slen_t writeOrTimeOut(Sockbuf_IO_Desc* layer, void* buffer, ber_len_t length) {
  return failOnTimeout(LBER_SBIOD_WRITE_NEXT(layer, buffer, length));
}

// The code to report for a client-side failure: the timeout when a socket wait ran out.
int timeoutOr(int code) {
  bool timedOut = std::exchange(socketTimedOut, false);
  return timedOut && code < 0 ? LDAP_TIMEOUT : code;
}

int passControl(Sockbuf_IO_Desc* layer, int option, void* argument) {
  return LBER_SBIOD_CTRL_NEXT(layer, option, argument);
}

Sockbuf_IO timeoutLayer = {nullptr, nullptr, passControl, readOrTimeOut, writeOrTimeOut, nullptr};

int boundTheSocket(LDAP* ld, Sockbuf* socketBuffer, LDAPURLDesc*, struct sockaddr*, struct ldap_conncb*) {
  timeval unset{-1, 0};
  ldap_set_option(ld, LDAP_OPT_NETWORK_TIMEOUT, &unset);
  ber_socket_t descriptor = -1;
  ber_sockbuf_ctrl(socketBuffer, LBER_SB_OPT_GET_FD, &descriptor);
  timeval limit{waitLimits().networkSeconds, 0};
  if (descriptor < 0 || setsockopt(descriptor, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) != 0 ||
      setsockopt(descriptor, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit) != 0)
    return -1;
  // Between the TCP layer (added below it after this call) and TLS (added above it later).
  return ber_sockbuf_add_io(socketBuffer, &timeoutLayer, LBER_SBIOD_LEVEL_PROVIDER + 1, nullptr);
}

void forgetTheSocket(LDAP*, Sockbuf*, struct ldap_conncb*) {}

ldap_conncb socketBounds = {boundTheSocket, forgetTheSocket, nullptr};

HRESULT configureHandle(LDAP* ld) {
  int version = LDAP_VERSION3;
  WaitLimits limits = waitLimits();
  // The network limit bounds opening the connection and the TLS handshake; the operation
  // limit every synchronous exchange (StartTLS, binds). Operations wait with their own bound.
  timeval networkTimeout{limits.networkSeconds, 0};
  timeval operationTimeout{limits.operationSeconds, 0};
  // Verification stays on whatever the configuration says; the CA comes from OpenLDAP's
  // settings (TLS_CACERT, LDAPTLS_CACERT). NEWCTX makes the per-handle settings take effect.
  int demand = LDAP_OPT_X_TLS_DEMAND;
  int newContext = 0;
  if (!inheritTrustAnchors(ld)) return failWithCode(LDAP_LOCAL_ERROR, "cannot configure the LDAP connection");
  if (ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version) != LDAP_OPT_SUCCESS ||
      ldap_set_option(ld, LDAP_OPT_REFERRALS, LDAP_OPT_OFF) != LDAP_OPT_SUCCESS ||
      ldap_set_option(ld, LDAP_OPT_RESTART, LDAP_OPT_ON) != LDAP_OPT_SUCCESS ||
      ldap_set_option(ld, LDAP_OPT_NETWORK_TIMEOUT, &networkTimeout) != LDAP_OPT_SUCCESS ||
      ldap_set_option(ld, LDAP_OPT_TIMEOUT, &operationTimeout) != LDAP_OPT_SUCCESS ||
      ldap_set_option(ld, LDAP_OPT_CONNECT_CB, &socketBounds) != LDAP_OPT_SUCCESS ||
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
  countSent();
  int code = timeoutOr(ldap_start_tls_s(ld, nullptr, nullptr));
  if (code == LDAP_SUCCESS) {
    *encrypted = true;
    return S_OK;
  }
  if (code == LDAP_TIMEOUT) return failWithCode(LDAP_TIMEOUT, "the server did not complete the TLS set-up in time");
  if (code < 0) {
    LdapOutcome outcome = outcomeOf(ld, LDAP_SERVER_DOWN);
    if (outcome.diagnostic.empty()) outcome.diagnostic = "cannot establish a verified TLS session";
    return failWith(outcome);
  }
  *encrypted = false;
  return S_OK;
}

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

HRESULT bindSimple(LDAP* ld, const Credentials& credentials, bool encrypted) {
  if (!encrypted) {
    return failWithCode(LDAP_STRONG_AUTH_REQUIRED, "a password is never sent over a connection without TLS");
  }
  std::string password = credentials.password.text();
  berval secret{static_cast<ber_len_t>(password.size()), &password[0]};
  countSent();
  int code =
      timeoutOr(ldap_sasl_bind_s(ld, credentials.user.c_str(), LDAP_SASL_SIMPLE, &secret, nullptr, nullptr, nullptr));
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
  countSent();
  int code = timeoutOr(
      ldap_sasl_interactive_bind_s(ld, nullptr, "GSSAPI", nullptr, nullptr, LDAP_SASL_QUIET, takeSaslDefaults, nullptr));
  if (code == LDAP_SUCCESS) return S_OK;
  return failWith(outcomeOf(ld, code));
}

HRESULT bindAnonymous(LDAP* ld) {
  berval empty{0, nullptr};
  countSent();
  int code = timeoutOr(ldap_sasl_bind_s(ld, nullptr, LDAP_SASL_SIMPLE, &empty, nullptr, nullptr, nullptr));
  if (code == LDAP_SUCCESS) return S_OK;
  return failWith(outcomeOf(ld, code));
}

// Once per process, before any thread uses libldap:
// - libldap marks its process-wide settings ready before it has read ldap.conf, ldaprc and the
//   environment into them. A thread that looks at them meanwhile (a new handle copies them; the
//   trust anchors are read from them) gets half of them: the system's CA file instead of the one
//   LDAPTLS_CACERT names, say, and its TLS verification fails. So one thread has libldap finish
//   that set-up while every other caller waits here.
// - libldap writes to its sockets without MSG_NOSIGNAL: a server that closed a pooled connection
//   would otherwise kill the whole process with SIGPIPE on the next write. A process that chose
//   its own handling (the JVM has a handler) keeps it; only the default is replaced.
void readyLdapLibrary() {
  static std::once_flag once;
  std::call_once(once, [] {
    int version = 0;
    ldap_get_option(nullptr, LDAP_OPT_PROTOCOL_VERSION, &version);
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

// A new connection to the server, with TLS where the identity needs it, not yet bound.
HRESULT openTransport(const Endpoint& endpoint, BindMode mode, LdapHandle* handle, bool* encrypted) {
  readyLdapLibrary();
  std::string uri = uriOf(endpoint);
  int code = ldap_initialize(handle->put(), uri.c_str());
  if (code != LDAP_SUCCESS) return failWithCode(code, "cannot initialise the LDAP connection");
  ++openedCount;
  HRESULT hr = configureHandle(handle->get());
  if (FAILED(hr)) return hr;
  *encrypted = false;
  // Kerberos on a plain port seals its own traffic, as a Windows client's bind does; every
  // other identity gets TLS first.
  if (mode == BindMode::Kerberos && !usesLdaps(endpoint.port)) return S_OK;
  return secureTransport(handle->get(), endpoint, encrypted);
}

HRESULT bindWith(LDAP* ld, const Credentials& credentials, bool encrypted) {
  switch (credentials.mode) {
    case BindMode::Simple:
      return bindSimple(ld, credentials, encrypted);
    case BindMode::Kerberos:
      return bindKerberos(ld, encrypted);
    case BindMode::Anonymous:
      return bindAnonymous(ld);
  }
  return E_UNEXPECTED;
}

HRESULT connectAndBind(const Endpoint& endpoint, const Credentials& credentials, std::shared_ptr<Connection>* out) {
  HRESULT hr = refuseUnsendableCredentials(credentials);
  if (FAILED(hr)) return hr;
  LdapHandle handle;
  bool encrypted = false;
  hr = openTransport(endpoint, credentials.mode, &handle, &encrypted);
  if (FAILED(hr)) return hr;
  hr = bindWith(handle.get(), credentials, encrypted);
  if (FAILED(hr)) return hr;
  // A sealed SASL session protects what follows as TLS would (password writes included).
  bool sealedBySasl = credentials.mode == BindMode::Kerberos && !usesLdaps(endpoint.port);
  *out = std::make_shared<Connection>(std::move(handle), endpoint, credentials, encrypted || sealedBySasl);
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
  return now - connection.lastUsed() >= std::chrono::seconds(idleLimitSeconds.load()) ||
         now - connection.boundAt() >= std::chrono::seconds(poolLifetimeLimitSeconds);
}

// Drops broken connections and expired ones that nobody else holds.
void pruneLocked(Pool* p, std::chrono::steady_clock::time_point now) {
  for (auto it = p->connections.begin(); it != p->connections.end();) {
    bool idle = it->second.use_count() == 1 && expired(*it->second, now);
    if (it->second->broken() || idle)
      it = p->connections.erase(it);
    else
      ++it;
  }
}

// The connection each thread used last for each identity: a call's binds stay on one
// connection (its root entry and the server's facts are then read once), while calls on other
// threads take connections nobody holds.
thread_local std::map<std::string, std::weak_ptr<Connection>> lastUsedByThread;

bool usable(const Connection& connection, const Credentials& credentials, std::chrono::steady_clock::time_point now) {
  // The password is compared as a whole in constant time: a wrong password never rides on a
  // connection that a right one opened.
  return !connection.broken() && !expired(connection, now) && connection.credentials().password.equals(credentials.password);
}

// A pooled connection for this identity, or none when a new one should be opened: the calling
// thread's own, else one that nobody holds, else (when the pool has all it may open for the
// identity) the one the fewest hold.
std::shared_ptr<Connection> findPooled(const std::string& key, const Credentials& credentials, bool mayOpen) {
  Pool& p = pool();
  std::lock_guard<std::mutex> lock(p.mutex);
  auto now = std::chrono::steady_clock::now();
  pruneLocked(&p, now);
  auto own = lastUsedByThread.find(key);
  if (own != lastUsedByThread.end()) {
    std::shared_ptr<Connection> mine = own->second.lock();
    if (mine && usable(*mine, credentials, now)) return mine;
  }
  std::shared_ptr<Connection> leastHeld;
  int count = 0;
  auto range = p.connections.equal_range(key);
  for (auto it = range.first; it != range.second; ++it) {
    if (!usable(*it->second, credentials, now)) continue;
    ++count;
    if (!leastHeld || it->second.use_count() < leastHeld.use_count()) leastHeld = it->second;
  }
  if (leastHeld && leastHeld.use_count() <= 2) return leastHeld;  // the pool's reference and ours
  if (mayOpen && count < poolConnectionsPerIdentity) return nullptr;
  return leastHeld;
}

void addPooled(const std::string& key, const std::shared_ptr<Connection>& connection) {
  Pool& p = pool();
  std::lock_guard<std::mutex> lock(p.mutex);
  p.connections.emplace(key, connection);
}

// Idle TLS connections kept for verification binds, per server.
struct VerificationSet {
  struct Idle {
    LdapHandle handle;
    std::chrono::steady_clock::time_point since;
  };
  std::mutex mutex;
  std::multimap<std::string, Idle> idle;
};

VerificationSet& verificationSet() {
  static VerificationSet* instance = new VerificationSet();
  return *instance;
}

std::string endpointKey(const Endpoint& endpoint) {
  return toLowerAscii(endpoint.host) + '\n' + std::to_string(endpoint.port);
}

// An idle verification connection to this server, if one is kept and not too old.
LdapHandle takeIdleVerificationHandle(const std::string& key) {
  VerificationSet& set = verificationSet();
  std::lock_guard<std::mutex> lock(set.mutex);
  auto now = std::chrono::steady_clock::now();
  auto range = set.idle.equal_range(key);
  for (auto it = range.first; it != range.second;) {
    if (now - it->second.since >= std::chrono::seconds(idleLimitSeconds.load())) {
      it = set.idle.erase(it);
      continue;
    }
    LdapHandle handle = std::move(it->second.handle);
    set.idle.erase(it);
    return handle;
  }
  return LdapHandle();
}

void keepVerificationHandle(const std::string& key, LdapHandle handle) {
  VerificationSet& set = verificationSet();
  std::lock_guard<std::mutex> lock(set.mutex);
  if (set.idle.count(key) >= verificationConnectionsKept) return;  // closed as it goes
  set.idle.emplace(key, VerificationSet::Idle{std::move(handle), std::chrono::steady_clock::now()});
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

WaitLimits waitLimits() {
  WaitLimits limits = configuredWaitLimits();
  if (networkSecondsOverride.load() > 0) limits.networkSeconds = networkSecondsOverride.load();
  if (operationSecondsOverride.load() > 0) limits.operationSeconds = operationSecondsOverride.load();
  return limits;
}

Connection::Connection(LdapHandle handle, Endpoint endpoint, Credentials credentials, bool encrypted)
    : handle_(std::move(handle)),
      endpoint_(std::move(endpoint)),
      credentials_(std::move(credentials)),
      encrypted_(encrypted),
      boundAt_(std::chrono::steady_clock::now()),
      lastUsed_(boundAt_) {}

std::chrono::steady_clock::time_point Connection::lastUsed() const {
  std::lock_guard<std::mutex> lock(stateMutex_);
  return lastUsed_;
}

void Connection::touch() {
  std::lock_guard<std::mutex> lock(stateMutex_);
  lastUsed_ = std::chrono::steady_clock::now();
}

std::shared_ptr<Connection> Connection::successor() {
  std::lock_guard<std::mutex> lock(stateMutex_);
  return successor_;
}

std::shared_ptr<Connection> Connection::replaceForRead() {
  if (std::shared_ptr<Connection> existing = successor()) return existing;
  // A new connection, not another pooled one: those may have been dropped by the same restart
  // and not know it yet. Connected outside the lock: a slow server must not stall lastUsed().
  std::shared_ptr<Connection> fresh;
  if (FAILED(connectAndBind(endpoint_, credentials_, &fresh))) return nullptr;
  fresh->pooled_ = true;
  addPooled(poolKey(endpoint_, credentials_), fresh);
  std::lock_guard<std::mutex> lock(stateMutex_);
  if (!successor_) successor_ = std::move(fresh);
  return successor_;
}

LdapOutcome Connection::waitFor(int msgid, int sent, LdapMessage* all, LdapControls* responseControls,
                                int timeLimitSeconds) {
  touch();
  LdapOutcome outcome;
  if (sent != LDAP_SUCCESS || msgid <= 0) {
    // Nothing was sent, or libldap lost the request: the handle's error code is shared by every
    // thread on it, so a failed send can even come back as success with no message id. Never
    // wait for such an id: -1 would take any thread's answer.
    outcome = outcomeOf(handle_.get(), timeoutOr(sent != LDAP_SUCCESS ? sent : LDAP_SERVER_DOWN));
    if (isTransportFailure(outcome.code) || msgid <= 0) broken_ = true;
    if (outcome.ok()) outcome.code = LDAP_SERVER_DOWN;
    return outcome;
  }
  int wait = timeLimitSeconds > 0 ? timeLimitSeconds + searchGraceSeconds : waitLimits().operationSeconds;
  timeval timeout{wait, 0};
  LdapMessage local;
  LdapMessage* chain = all != nullptr ? all : &local;
  int type = ldap_result(handle_.get(), msgid, LDAP_MSG_ALL, &timeout, chain->put());
  if (type <= 0) {
    // No answer in time, or the transport failed: whether the server acted is unknown, so the
    // connection is not trusted again. It is closed when its last holder lets go, which also
    // tells the server to drop the request; nothing more is written to a server that may not
    // be reading.
    broken_ = true;
    if (type == 0) {
      outcome.code = timeLimitSeconds > 0 ? LDAP_TIMELIMIT_EXCEEDED : LDAP_TIMEOUT;
      return outcome;
    }
    outcome.code = LDAP_SERVER_DOWN;
    int code = 0;
    if (ldap_get_option(handle_.get(), LDAP_OPT_RESULT_CODE, &code) == LDAP_OPT_SUCCESS && isTransportFailure(code))
      outcome.code = code;
    outcome.code = timeoutOr(outcome.code);
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
    // An answer that cannot be read: the stream may be out of step from here on.
    broken_ = true;
    outcome.code = parsed;
    return outcome;
  }
  outcome.code = code;
  if (diagnostic != nullptr) outcome.diagnostic = diagnostic;
  touch();
  return outcome;
}

namespace {

// Counts an operation in flight on a connection for as long as it lives.
class InFlight {
 public:
  explicit InFlight(std::atomic<int>* count) : count_(count) { ++*count_; }
  ~InFlight() { --*count_; }
  InFlight(const InFlight&) = delete;
  InFlight& operator=(const InFlight&) = delete;

 private:
  std::atomic<int>* count_;
};

}  // namespace

LdapOutcome Connection::searchHere(const std::string& base, int scope, const std::string& filter,
                                   const std::vector<std::string>& attributes, LDAPControl** serverControls,
                                   int sizeLimit, int timeLimitSeconds, LdapMessage* entries,
                                   LdapControls* responseControls) {
  LdapOutcome refused = refusalOf({&base, &filter});
  if (refused.ok()) refused = refusalOfNames(attributes);
  if (!refused.ok()) return refused;
  std::vector<char*> names;
  for (const std::string& name : attributes) names.push_back(const_cast<char*>(name.c_str()));
  names.push_back(nullptr);
  timeval limit{timeLimitSeconds, 0};
  InFlight counted(&inFlight_);
  countSent();
  int msgid = -1;
  int sent =
      ldap_search_ext(handle_.get(), base.c_str(), scope, filter.c_str(), attributes.empty() ? nullptr : names.data(),
                      0, serverControls, nullptr, timeLimitSeconds > 0 ? &limit : nullptr, sizeLimit, &msgid);
  return waitFor(msgid, sent, entries, responseControls, timeLimitSeconds);
}

LdapOutcome Connection::search(const std::string& base, int scope, const std::string& filter,
                               const std::vector<std::string>& attributes, LDAPControl** serverControls, int sizeLimit,
                               int timeLimitSeconds, LdapMessage* entries, LdapControls* responseControls) {
  if (std::shared_ptr<Connection> next = successor())
    return next->search(base, scope, filter, attributes, serverControls, sizeLimit, timeLimitSeconds, entries,
                        responseControls);
  LdapOutcome outcome = searchHere(base, scope, filter, attributes, serverControls, sizeLimit, timeLimitSeconds,
                                   entries, responseControls);
  // A pooled connection may have been dropped by the server while it sat idle (or restarted
  // since it was opened). Connections opened for one check only are never replaced.
  if (!isDroppedTransport(outcome.code) || !pooled_) return outcome;
  std::shared_ptr<Connection> replacement = replaceForRead();
  if (!replacement) return outcome;
  return replacement->searchHere(base, scope, filter, attributes, serverControls, sizeLimit, timeLimitSeconds,
                                 entries, responseControls);
}

LdapOutcome Connection::modify(const std::string& dn, LDAPMod** mods, LDAPControl** serverControls) {
  if (std::shared_ptr<Connection> next = successor()) return next->modify(dn, mods, serverControls);
  LdapOutcome refused = refusalOf({&dn});
  for (LDAPMod** mod = mods; refused.ok() && mod != nullptr && *mod != nullptr; ++mod) {
    std::string type = (*mod)->mod_type != nullptr ? (*mod)->mod_type : "";
    refused = refusalOf({&type});
  }
  if (!refused.ok()) return refused;
  InFlight counted(&inFlight_);
  countSent();
  int msgid = -1;
  int sent = ldap_modify_ext(handle_.get(), dn.c_str(), mods, serverControls, nullptr, &msgid);
  return waitFor(msgid, sent, nullptr, nullptr, 0);
}

LdapOutcome Connection::add(const std::string& dn, LDAPMod** mods, LDAPControl** serverControls) {
  if (std::shared_ptr<Connection> next = successor()) return next->add(dn, mods, serverControls);
  LdapOutcome refused = refusalOf({&dn});
  if (!refused.ok()) return refused;
  InFlight counted(&inFlight_);
  countSent();
  int msgid = -1;
  int sent = ldap_add_ext(handle_.get(), dn.c_str(), mods, serverControls, nullptr, &msgid);
  return waitFor(msgid, sent, nullptr, nullptr, 0);
}

LdapOutcome Connection::remove(const std::string& dn, LDAPControl** serverControls) {
  if (std::shared_ptr<Connection> next = successor()) return next->remove(dn, serverControls);
  LdapOutcome refused = refusalOf({&dn});
  if (!refused.ok()) return refused;
  InFlight counted(&inFlight_);
  countSent();
  int msgid = -1;
  int sent = ldap_delete_ext(handle_.get(), dn.c_str(), serverControls, nullptr, &msgid);
  return waitFor(msgid, sent, nullptr, nullptr, 0);
}

LdapOutcome Connection::compare(const std::string& dn, const std::string& attribute, const std::string& value,
                                LDAPControl** serverControls) {
  if (std::shared_ptr<Connection> next = successor()) return next->compare(dn, attribute, value, serverControls);
  LdapOutcome refused = refusalOf({&dn, &attribute});
  if (!refused.ok()) return refused;
  berval assertion{static_cast<ber_len_t>(value.size()), const_cast<char*>(value.data())};
  InFlight counted(&inFlight_);
  countSent();
  int msgid = -1;
  int sent = ldap_compare_ext(handle_.get(), dn.c_str(), attribute.c_str(), &assertion, serverControls, nullptr, &msgid);
  return waitFor(msgid, sent, nullptr, nullptr, 0);
}

namespace {

// Root entries by server, shared by every connection to it for as long as a pooled connection
// may stand.
struct RootEntries {
  std::mutex mutex;
  std::map<std::string, std::pair<std::shared_ptr<const RootEntry>, std::chrono::steady_clock::time_point>> byServer;
};

RootEntries& rootEntries() {
  static RootEntries* instance = new RootEntries();
  return *instance;
}

}  // namespace

LdapOutcome Connection::rootEntry(std::shared_ptr<const RootEntry>* out) {
  std::string key = endpointKey(endpoint_);
  RootEntries& known = rootEntries();
  {
    std::lock_guard<std::mutex> lock(known.mutex);
    auto it = known.byServer.find(key);
    if (it != known.byServer.end() &&
        std::chrono::steady_clock::now() - it->second.second < std::chrono::seconds(poolLifetimeLimitSeconds)) {
      *out = it->second.first;
      return LdapOutcome();
    }
  }
  LdapMessage result;
  LdapOutcome outcome = search("", LDAP_SCOPE_BASE, "(objectClass=*)", {}, nullptr, 0, 0, &result);
  if (!outcome.ok()) return outcome;
  LDAP* ld = handle_.get();
  LDAPMessage* entry = ldap_first_entry(ld, result.get());
  if (entry == nullptr) {
    outcome.code = LDAP_NO_SUCH_OBJECT;
    outcome.diagnostic = "the server did not return its root entry";
    return outcome;
  }
  auto root = std::make_shared<RootEntry>();
  BerWalk walk;
  for (char* raw = ldap_first_attribute(ld, entry, walk.put()); raw != nullptr;
       raw = ldap_next_attribute(ld, entry, walk.get())) {
    LdapString name(raw);
    // These change by the second; a root entry read once must not hold them.
    if (equalsIgnoreCase(name.get(), "currentTime") || equalsIgnoreCase(name.get(), "highestCommittedUSN")) continue;
    root->emplace_back(name.get(), entryValues(ld, entry, name.get()));
  }
  std::lock_guard<std::mutex> lock(known.mutex);
  known.byServer[key] = {root, std::chrono::steady_clock::now()};
  *out = std::move(root);
  return LdapOutcome();
}

std::shared_ptr<const void> Connection::remembered(const std::string& key,
                                                   const std::function<std::shared_ptr<const void>()>& load) {
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    auto it = remembered_.find(key);
    if (it != remembered_.end()) return it->second;
  }
  std::shared_ptr<const void> value = load();
  if (!value) return nullptr;  // not known: asked again next time
  std::lock_guard<std::mutex> lock(stateMutex_);
  return remembered_.emplace(key, std::move(value)).first->second;
}

HRESULT acquireConnection(const Endpoint& endpoint, const Credentials& credentials, std::shared_ptr<Connection>* out,
                          bool* reused) {
  std::string key = poolKey(endpoint, credentials);
  std::shared_ptr<Connection> pooled = findPooled(key, credentials, true);
  if (pooled) {
    lastUsedByThread[key] = pooled;
    *out = std::move(pooled);
    *reused = true;
    return S_OK;
  }
  *reused = false;
  std::shared_ptr<Connection> fresh;
  HRESULT hr = connectAndBind(endpoint, credentials, &fresh);
  if (FAILED(hr)) return hr;
  fresh->pooled_ = true;
  addPooled(key, fresh);
  lastUsedByThread[key] = fresh;
  *out = std::move(fresh);
  return S_OK;
}

namespace {

struct ObjectBindOfThisCall {
  std::weak_ptr<Connection> connection;
  unsigned long apartmentEntry = 0;
};
thread_local ObjectBindOfThisCall lastObjectBind;

}  // namespace

void noteObjectBind(const std::shared_ptr<Connection>& connection) {
  if (!connection->pooled_ || !winapi::com::isInitialised()) return;
  lastObjectBind.connection = connection;
  lastObjectBind.apartmentEntry = winapi::com::apartmentEntry();
}

std::shared_ptr<Connection> connectionOfThisCall(const Endpoint& endpoint, const Credentials& credentials) {
  if (!winapi::com::isInitialised() || lastObjectBind.apartmentEntry != winapi::com::apartmentEntry()) return nullptr;
  std::shared_ptr<Connection> connection = lastObjectBind.connection.lock();
  if (!connection || poolKey(connection->endpoint(), connection->credentials()) != poolKey(endpoint, credentials))
    return nullptr;
  if (!usable(*connection, credentials, std::chrono::steady_clock::now())) return nullptr;
  return connection;
}

HRESULT openFreshConnection(const Endpoint& endpoint, const Credentials& credentials,
                            std::shared_ptr<Connection>* out) {
  return connectAndBind(endpoint, credentials, out);
}

namespace {

// One verification bind on a kept connection, or on a new one when none is kept or the kept
// one turns out dead.
HRESULT bindForVerification(const Endpoint& endpoint, const Credentials& credentials, LdapHandle* bound,
                            bool* encrypted) {
  std::string key = endpointKey(endpoint);
  LdapHandle handle = plainTransport.load() ? LdapHandle() : takeIdleVerificationHandle(key);
  bool reused = static_cast<bool>(handle);
  *encrypted = reused;
  if (!reused) {
    HRESULT hr = openTransport(endpoint, credentials.mode, &handle, encrypted);
    if (FAILED(hr)) return hr;
  }
  HRESULT hr = bindWith(handle.get(), credentials, *encrypted);
  if (FAILED(hr) && reused && (hr == hresultFromLdapResult(LDAP_SERVER_DOWN))) {
    // The server dropped the kept connection while it sat idle; the bind never reached it.
    handle.reset();
    hr = openTransport(endpoint, credentials.mode, &handle, encrypted);
    if (SUCCEEDED(hr)) hr = bindWith(handle.get(), credentials, *encrypted);
  }
  if (FAILED(hr)) return hr;  // a connection whose bind failed is closed, never kept
  *bound = std::move(handle);
  return S_OK;
}

}  // namespace

HRESULT authenticateAfresh(const Endpoint& endpoint, const Credentials& credentials,
                           std::shared_ptr<Connection>* out) {
  if (credentials.mode != BindMode::Simple) return connectAndBind(endpoint, credentials, out);
  HRESULT hr = refuseUnsendableCredentials(credentials);
  if (FAILED(hr)) return hr;
  LdapHandle handle;
  bool encrypted = false;
  hr = bindForVerification(endpoint, credentials, &handle, &encrypted);
  if (FAILED(hr)) return hr;
  std::string key = endpointKey(endpoint);
  // The holder has it to itself; afterwards it waits, still authenticated as this account, for
  // the next verification bind, which replaces that identity before anything else is sent.
  auto* connection = new Connection(std::move(handle), endpoint, credentials, encrypted);
  *out = std::shared_ptr<Connection>(connection, [key](Connection* done) {
    if (!done->broken() && !plainTransport.load()) keepVerificationHandle(key, done->releaseHandle());
    delete done;
  });
  return S_OK;
}

void discardConnection(const std::shared_ptr<Connection>& connection) {
  connection->markBroken();
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
  // Marked as well as dropped: a thread's memory of its last connection must not revive one.
  for (auto& [key, connection] : p.connections) connection->markBroken();
  p.connections.clear();
  VerificationSet& set = verificationSet();
  std::lock_guard<std::mutex> setLock(set.mutex);
  set.idle.clear();
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
  readyLdapLibrary();
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

size_t operationsSent() { return sentCount.load(); }

size_t operationsSentByThisThread() { return sentByThisThread; }

void setWaitLimitsForTesting(int networkSeconds, int operationSeconds) {
  networkSecondsOverride = networkSeconds;
  operationSecondsOverride = operationSeconds;
}

size_t idleVerificationConnections() {
  VerificationSet& set = verificationSet();
  std::lock_guard<std::mutex> lock(set.mutex);
  return set.idle.size();
}

void clearPool() {
  Pool& p = pool();
  std::lock_guard<std::mutex> lock(p.mutex);
  p.connections.clear();
  lastUsedByThread.clear();
  {
    std::lock_guard<std::mutex> rootLock(rootEntries().mutex);
    rootEntries().byServer.clear();
  }
  VerificationSet& set = verificationSet();
  std::lock_guard<std::mutex> setLock(set.mutex);
  set.idle.clear();
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
