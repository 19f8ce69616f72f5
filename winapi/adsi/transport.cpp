#include "adsi/transport.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>

#include <atomic>
#include <cerrno>
#include <mutex>
#include <string>
#include <utility>

#include "adsi/connection.h"
#include "adsi/errors.h"
#include "adsi/test_switches.h"

namespace winapi::adsi {

namespace {

constexpr int defaultNetworkTimeoutSeconds = 5;
constexpr int defaultOperationTimeoutSeconds = 10;

// What the calling thread's connection set-up and requests met, for the failures libldap
// reports without saying why (thread-local: each set-up and request runs on its caller's thread).
// socketTimedOut: a read or write ran out of time, so a lost server or a failed TLS set-up can be
// told as the timeout it was; cleared as each request is sent. reachedServer: the TCP connection
// of the last set-up stood, so a failure after it was the server's answer, not its silence.
thread_local bool socketTimedOut = false;
thread_local bool reachedServer = false;
thread_local bool passwordSent = false;

HRESULT failWithCode(int code, std::string_view text) { return failLdap(code, text); }

// OpenLDAP's own setting (ldap.conf, or its environment form), in whole seconds.
int configuredSeconds(int option, int fallback) {
  timeval* value = nullptr;
  if (ldap_get_option(nullptr, option, &value) != LDAP_OPT_SUCCESS || value == nullptr) return fallback;
  int seconds = static_cast<int>(value->tv_sec) + (value->tv_usec > 0 ? 1 : 0);
  ldap_memfree(value);
  return seconds > 0 ? seconds : fallback;
}

const WaitLimits& configuredWaitLimits() {
  readyLdapLibrary();
  static const WaitLimits limits{configuredSeconds(LDAP_OPT_NETWORK_TIMEOUT, defaultNetworkTimeoutSeconds),
                                 configuredSeconds(LDAP_OPT_TIMEOUT, defaultOperationTimeoutSeconds)};
  return limits;
}

std::string uriOf(const Endpoint& endpoint) {
  std::string uri = usesLdaps(endpoint.port) && !seam().plainTransport() ? "ldaps://" : "ldap://";
  // An IPv6 address is bracketed, or its colons would read as the port's.
  bool ipv6 = endpoint.host.find(':') != std::string::npos;
  if (ipv6) uri += '[';
  uri += endpoint.host;
  if (ipv6) uri += ']';
  uri += ':';
  uri += std::to_string(endpoint.port);
  return uri;
}

// A handle's own TLS context starts with none of OpenLDAP's configured TLS settings: copy every
// one that shapes trust or the protocol (ldap.conf TLS_CACERT, TLS_PROTOCOL_MIN, TLS_CIPHER_SUITE,
// TLS_CRLFILE..., or their LDAPTLS_ forms), so that a setting never silently stops applying.
// Verification itself is never weaker than demand, whatever the configuration says.
constexpr int inheritedTlsTexts[] = {LDAP_OPT_X_TLS_CACERTFILE, LDAP_OPT_X_TLS_CACERTDIR,  LDAP_OPT_X_TLS_CERTFILE,
                                     LDAP_OPT_X_TLS_KEYFILE,    LDAP_OPT_X_TLS_CIPHER_SUITE, LDAP_OPT_X_TLS_RANDOM_FILE,
                                     LDAP_OPT_X_TLS_DHFILE,     LDAP_OPT_X_TLS_CRLFILE,      LDAP_OPT_X_TLS_ECNAME};
constexpr int inheritedTlsNumbers[] = {LDAP_OPT_X_TLS_PROTOCOL_MIN, LDAP_OPT_X_TLS_PROTOCOL_MAX,
                                       LDAP_OPT_X_TLS_CRLCHECK, LDAP_OPT_X_TLS_REQUIRE_SAN};

bool inheritTlsSettings(LDAP* ld) {
  for (int option : inheritedTlsTexts) {
    LdapString value;
    if (ldap_get_option(nullptr, option, value.put()) != LDAP_OPT_SUCCESS) continue;
    if (value && ldap_set_option(ld, option, value.get()) != LDAP_OPT_SUCCESS) return false;
  }
  for (int option : inheritedTlsNumbers) {
    int value = 0;
    if (ldap_get_option(nullptr, option, &value) != LDAP_OPT_SUCCESS || value == 0) continue;
    if (ldap_set_option(ld, option, &value) != LDAP_OPT_SUCCESS) return false;
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

int passControl(Sockbuf_IO_Desc* layer, int option, void* argument) {
  return LBER_SBIOD_CTRL_NEXT(layer, option, argument);
}

Sockbuf_IO timeoutLayer = {nullptr, nullptr, passControl, readOrTimeOut, writeOrTimeOut, nullptr};

int boundTheSocket(LDAP* ld, Sockbuf* socketBuffer, LDAPURLDesc*, struct sockaddr*, struct ldap_conncb*) {
  reachedServer = true;
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
  if (!inheritTlsSettings(ld)) return failWithCode(LDAP_LOCAL_ERROR, "cannot configure the LDAP connection");
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

// StartTLS where the port is not LDAPS. A failed handshake or verification is the same as an
// unreachable server, as it is for LDAPS.
HRESULT secureTransport(LDAP* ld, const Endpoint& endpoint, bool* encrypted) {
  if (seam().plainTransport()) {
    *encrypted = false;
    return S_OK;
  }
  if (usesLdaps(endpoint.port)) {
    *encrypted = true;
    return S_OK;
  }
  noteRequestSent();
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
  // A server that refuses StartTLS (a new DC before its certificate arrives, say) answered, but
  // cannot carry anything that needs TLS: the next server is tried, and this one asked again on
  // the next call. Nothing is ever sent over the plain connection instead.
  LdapOutcome outcome = outcomeOf(ld, LDAP_CONNECT_ERROR);
  outcome.diagnostic = "the server refused StartTLS (" + std::string(ldap_err2string(code)) +
                       (outcome.diagnostic.empty() ? ")" : "): " + outcome.diagnostic);
  return failWith(outcome);
}

}  // namespace

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

HRESULT openTransport(const Endpoint& endpoint, bool tlsFirst, LdapHandle* handle, bool* encrypted) {
  readyLdapLibrary();
  reachedServer = false;
  std::string uri = uriOf(endpoint);
  int code = ldap_initialize(handle->put(), uri.c_str());
  if (code != LDAP_SUCCESS) return failWithCode(code, "cannot initialise the LDAP connection");
  noteConnectionOpened();
  HRESULT hr = configureHandle(handle->get());
  if (FAILED(hr)) return hr;
  *encrypted = false;
  if (!tlsFirst && !usesLdaps(endpoint.port)) return S_OK;
  return secureTransport(handle->get(), endpoint, encrypted);
}

int timeoutOr(int code) {
  bool timedOut = std::exchange(socketTimedOut, false);
  return timedOut && code < 0 ? LDAP_TIMEOUT : code;
}

bool lastSetUpReachedServer() { return reachedServer; }

void forgetLastSetUp() {
  reachedServer = false;
  passwordSent = false;
}

void notePasswordSent() { passwordSent = true; }

bool passwordSentSinceSetUp() { return passwordSent; }

void noteRequestSent() {
  countRequestSent();
  socketTimedOut = false;
}

WaitLimits waitLimits() {
  WaitLimits limits = configuredWaitLimits();
  WaitLimits overridden = seam().waitLimits();
  if (overridden.networkSeconds > 0) limits.networkSeconds = overridden.networkSeconds;
  if (overridden.operationSeconds > 0) limits.operationSeconds = overridden.operationSeconds;
  return limits;
}

std::string peerAddressOf(LDAP* ld) {
  ber_socket_t descriptor = -1;
  sockaddr_storage peer{};
  socklen_t length = sizeof peer;
  if (ldap_get_option(ld, LDAP_OPT_DESC, &descriptor) != LDAP_OPT_SUCCESS || descriptor < 0 ||
      getpeername(descriptor, reinterpret_cast<sockaddr*>(&peer), &length) != 0)
    return std::string();
  char text[INET6_ADDRSTRLEN] = {};
  if (peer.ss_family == AF_INET &&
      inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(&peer)->sin_addr, text, sizeof text) != nullptr)
    return text;
  if (peer.ss_family == AF_INET6 &&
      inet_ntop(AF_INET6, &reinterpret_cast<sockaddr_in6*>(&peer)->sin6_addr, text, sizeof text) != nullptr)
    return std::string("[") + text + "]";
  return std::string();
}

bool usesLdaps(int port) { return port == 636 || port == 3269; }

std::string endpointKey(const Endpoint& endpoint) {
  std::string key;
  key.reserve(endpoint.host.size() + 8);
  appendLowerAscii(&key, endpoint.host);
  key += '\n';
  key += std::to_string(endpoint.port);
  return key;
}

}  // namespace winapi::adsi
