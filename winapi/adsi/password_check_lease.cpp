// The password-check leases: a small per-server set of idle TLS connections kept only for binds
// whose outcome is the question (see pool.h).
#include <chrono>
#include <map>
#include <mutex>

#include "adsi/errors.h"
#include "adsi/kerberos_logon.h"
#include "adsi/pool.h"
#include "adsi/trace_lines.h"
#include "adsi/test_switches.h"
#include "adsi/transport.h"

namespace winapi::adsi {

namespace {

// Idle TLS connections kept for verification binds, per server.
constexpr size_t verificationConnectionsKept = 4;

// Idle TLS connections kept for verification binds, per server.
struct VerificationSet {
  struct Idle {
    LdapHandle handle;
    std::chrono::steady_clock::time_point since;
  };
  std::mutex mutex;
  std::multimap<std::string, Idle> idle;  // guarded by mutex; keyed by endpointKey
};

VerificationSet& verificationSet() {
  static VerificationSet* instance = new VerificationSet();
  return *instance;
}

// An idle verification connection to this server, if one is kept and not too old.
LdapHandle takeIdleVerificationHandle(const std::string& key) {
  VerificationSet& set = verificationSet();
  std::lock_guard<std::mutex> lock(set.mutex);
  auto now = std::chrono::steady_clock::now();
  auto range = set.idle.equal_range(key);
  for (auto it = range.first; it != range.second;) {
    if (now - it->second.since >= std::chrono::seconds(idleLimitSeconds())) {
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

// One verification bind on a kept connection, or on a new one when none is kept or the kept
// one turns out dead. A named account's password goes to the KDC once the server is there, and
// once: a bind repeated on a new connection uses the same ticket.
HRESULT bindForVerification(const Endpoint& endpoint, Credentials* credentials, LdapHandle* bound, bool* encrypted) {
  std::string key = endpointKey(endpoint);
  LdapHandle handle = seam().plainTransport() ? LdapHandle() : takeIdleVerificationHandle(key);
  bool reused = static_cast<bool>(handle);
  *encrypted = reused;
  if (!reused) {
    HRESULT hr = openTransport(endpoint, true, &handle, encrypted);
    if (FAILED(hr)) return hr;
  }
  HRESULT hr = attachFreshTicket(endpoint, peerAddressOf(handle.get()), credentials);
  if (FAILED(hr)) {
    traceBind(endpoint, *credentials, hr);
    if (reused) keepVerificationHandle(key, std::move(handle));  // never used: it waits on
    return hr;
  }
  hr = bindWith(handle.get(), *credentials, *encrypted);
  traceBind(endpoint, *credentials, hr);
  if (FAILED(hr) && reused && (hr == hresultFromLdapResult(LDAP_SERVER_DOWN))) {
    // The server dropped the kept connection while it sat idle; the bind never reached it.
    handle.reset();
    hr = openTransport(endpoint, true, &handle, encrypted);
    if (SUCCEEDED(hr)) {
      hr = bindWith(handle.get(), *credentials, *encrypted);
      traceBind(endpoint, *credentials, hr);
    }
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
  Endpoint controller = endpoint;
  if (bindsWithKerberos(credentials) && !controller.namesController) nameTheController(&controller);
  Credentials proven = credentials;
  LdapHandle handle;
  bool encrypted = false;
  hr = bindForVerification(controller, &proven, &handle, &encrypted);
  if (FAILED(hr)) return hr;
  std::string key = endpointKey(controller);
  // The holder has it to itself; afterwards it waits, still authenticated as this account, for
  // the next verification bind, which replaces that identity before anything else is sent. The
  // check's ticket has served: it goes now, with its cache.
  proven.tickets.reset();
  auto* connection = new Connection(std::move(handle), controller, proven, encrypted);
  *out = std::shared_ptr<Connection>(connection, [key](Connection* done) {
    if (!done->broken() && !seam().plainTransport()) keepVerificationHandle(key, done->releaseHandle());
    delete done;
  });
  return S_OK;
}

void dropIdleLeases(const std::string& server) {
  VerificationSet& set = verificationSet();
  std::lock_guard<std::mutex> lock(set.mutex);
  if (server.empty())
    set.idle.clear();
  else
    set.idle.erase(server);
}

size_t idleLeaseCount() {
  VerificationSet& set = verificationSet();
  std::lock_guard<std::mutex> lock(set.mutex);
  return set.idle.size();
}

}  // namespace winapi::adsi
