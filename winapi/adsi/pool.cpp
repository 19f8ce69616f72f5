#include "adsi/pool.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>

#include "adsi/bind_backoff.h"
#include "adsi/failover.h"
#include "adsi/kerberos_logon.h"
#include "adsi/path.h"
#include "adsi/trace_lines.h"
#include "adsi/transport.h"
#include "com/apartment.h"

namespace winapi::adsi {

namespace {

// Kerberos on a plain port seals its own traffic, as a Windows client's bind does; every other
// identity gets TLS first.
bool wantsTlsFirst(const Endpoint& endpoint, BindMode mode) {
  return !(mode == BindMode::Kerberos && !usesLdaps(endpoint.port));
}

struct Pool {
  std::mutex mutex;
  std::multimap<std::string, std::shared_ptr<Connection>> connections;  // guarded by mutex
  std::map<std::string, int> opening;  // guarded by mutex: connections being opened, by key
  std::condition_variable changed;     // a connection was pooled, or an opening ended
};

Pool& pool() {
  static Pool* instance = new Pool();  // outlives every object that may still hold a connection
  return *instance;
}

std::atomic<int> idleLimitOverride{-1};  // atomic: tests set it while others read it

bool expired(const Connection& connection, std::chrono::steady_clock::time_point now) {
  return now - connection.lastUsed() >= std::chrono::seconds(idleLimitSeconds()) ||
         now - connection.boundAt() >= std::chrono::seconds(poolLifetimeLimitSeconds);
}

// Drops broken connections and expired ones that nobody else holds.
void pruneLocked(Pool* p, std::chrono::steady_clock::time_point now) {
  for (auto it = p->connections.begin(); it != p->connections.end();) {
    bool idle = it->second.use_count() == 1 && expired(*it->second, now);
    if (it->second->retired() || idle)
      it = p->connections.erase(it);
    else
      ++it;
  }
}

// The connection each thread used last for each identity (thread-local: no lock): a call's binds
// stay on one connection (its root entry and the server's facts are then read once), while calls
// on other threads take connections nobody holds.
thread_local std::map<std::string, std::weak_ptr<Connection>> lastUsedByThread;

bool usable(const Connection& connection, const Credentials& credentials, std::chrono::steady_clock::time_point now) {
  // The password is compared as a whole in constant time: a wrong password never rides on a
  // connection that a right one opened.
  return !connection.retired() && !expired(connection, now) && connection.credentials().password.equals(credentials.password);
}

// A pooled connection for this identity, or none when the caller is to open one (*reserved: it
// holds one of the identity's places until it is done): the calling thread's own, else one that
// nobody holds, else a new one while the identity has places left, else the one the fewest hold.
// While every place is taken by connections still being opened, it waits for the first of them,
// within the call's bounds; the pool's limit holds however many callers start at once.
std::shared_ptr<Connection> findPooled(const std::string& key, const Credentials& credentials, bool* reserved) {
  Pool& p = pool();
  std::unique_lock<std::mutex> lock(p.mutex);
  WaitLimits limits = waitLimits();
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(limits.networkSeconds + limits.operationSeconds);
  for (;;) {
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
    int& opening = p.opening[key];
    if (count + opening < poolConnectionsPerIdentity) {
      ++opening;
      *reserved = true;
      return nullptr;
    }
    if (leastHeld) return leastHeld;
    if (p.changed.wait_until(lock, deadline) == std::cv_status::timeout) {
      // The connections being opened took the whole bound: this caller opens its own.
      ++opening;
      *reserved = true;
      return nullptr;
    }
  }
}

// Gives back a place findPooled reserved (the connection opened in it, if any, is pooled first).
void endOpening(const std::string& key) {
  Pool& p = pool();
  {
    std::lock_guard<std::mutex> lock(p.mutex);
    auto it = p.opening.find(key);
    if (it != p.opening.end() && --it->second <= 0) p.opening.erase(it);
  }
  p.changed.notify_all();
}

// A pooled connection to this one server, or a new one pooled once its bind worked.
HRESULT acquireFrom(const Endpoint& given, const Credentials& credentials, std::shared_ptr<Connection>* out) {
  // A Kerberos bind is made to the controller's own name: the pool keeps it under that name, so
  // it is looked up under that name too.
  Endpoint endpoint = given;
  if (credentials.mode == BindMode::Kerberos && !endpoint.namesController) nameTheController(&endpoint);
  std::string key = poolKey(endpoint, credentials);
  bool reserved = false;
  std::shared_ptr<Connection> pooled = findPooled(key, credentials, &reserved);
  if (pooled) {
    lastUsedByThread[key] = pooled;
    *out = std::move(pooled);
    return S_OK;
  }
  std::shared_ptr<Connection> fresh;
  HRESULT hr = bindHeldBack(given, credentials);
  if (SUCCEEDED(hr)) hr = noteBindOutcome(given, credentials, connectAndBind(endpoint, credentials, &fresh));
  if (SUCCEEDED(hr)) addPooled(fresh);
  endOpening(key);
  if (FAILED(hr)) return hr;
  lastUsedByThread[key] = fresh;
  *out = std::move(fresh);
  return S_OK;
}

}  // namespace

std::string poolKey(const Endpoint& endpoint, const Credentials& credentials) {
  std::string key = endpointKey(endpoint);
  key += '\n';
  key += std::to_string(static_cast<int>(credentials.mode));
  key += '\n';
  // Exact: another spelling of the account is another identity.
  key += credentials.mode == BindMode::Kerberos ? kerberosPrincipal() : credentials.user;
  return key;
}

HRESULT connectAndBind(const Endpoint& given, const Credentials& credentials, std::shared_ptr<Connection>* out) {
  Endpoint endpoint = given;
  if (bindsWithKerberos(credentials) && !endpoint.namesController) nameTheController(&endpoint);
  HRESULT hr = refuseUnsendableCredentials(credentials);
  if (FAILED(hr)) return hr;
  LdapHandle handle;
  bool encrypted = false;
  hr = openTransport(endpoint, wantsTlsFirst(endpoint, credentials.mode), &handle, &encrypted);
  if (FAILED(hr)) return hr;
  // The KDC's refusal of the account is the bind's refusal: traced, and backed off, as one.
  Credentials bound = credentials;
  hr = attachKeptTickets(endpoint, peerAddressOf(handle.get()), &bound);
  if (SUCCEEDED(hr)) hr = bindWith(handle.get(), bound, encrypted);
  traceBind(endpoint, credentials, hr);
  if (FAILED(hr)) return hr;
  // A sealed SASL session protects what follows as TLS would (password writes included).
  bool sealedBySasl = credentials.mode == BindMode::Kerberos && !usesLdaps(endpoint.port);
  *out = std::make_shared<Connection>(std::move(handle), endpoint, bound, encrypted || sealedBySasl);
  return S_OK;
}

void nameTheController(Endpoint* endpoint) {
  Credentials anonymous;
  anonymous.mode = BindMode::Anonymous;
  std::shared_ptr<Connection> probe;
  if (FAILED(acquireConnection(*endpoint, anonymous, &probe))) return;
  // Only an answer over verified TLS names the Kerberos service: anyone on the path could write a
  // plain one.
  if (!probe->encrypted()) return;
  std::shared_ptr<const RootEntry> root;
  if (!probe->rootEntry(&root).ok()) return;
  for (const auto& [name, values] : *root) {
    if (!equalsIgnoreCase(name, "dnsHostName") || values.empty()) continue;
    const std::string& host = values.front();
    if (host.empty() || host.find_first_of(" /\\:@[]") != std::string::npos) return;
    endpoint->host = host;
    endpoint->namesController = true;
    return;
  }
}

void addPooled(const std::shared_ptr<Connection>& connection) {
  connection->pooled_ = true;
  std::string key = poolKey(connection->endpoint(), connection->credentials());
  Pool& p = pool();
  {
    std::lock_guard<std::mutex> lock(p.mutex);
    p.connections.emplace(key, connection);
  }
  p.changed.notify_all();
}

int idleLimitSeconds() {
  int overridden = idleLimitOverride.load();
  return overridden >= 0 ? overridden : poolIdleLimitSeconds;
}

HRESULT acquireConnection(const std::vector<Endpoint>& candidates, const Credentials& credentials,
                          std::shared_ptr<Connection>* out) {
  return firstAnswering(candidates,
                        [&](const Endpoint& endpoint) { return acquireFrom(endpoint, credentials, out); });
}

HRESULT acquireConnection(const Endpoint& endpoint, const Credentials& credentials, std::shared_ptr<Connection>* out) {
  return acquireConnection(std::vector<Endpoint>{endpoint}, credentials, out);
}

HRESULT openFreshConnection(const std::vector<Endpoint>& candidates, const Credentials& credentials,
                            std::shared_ptr<Connection>* out) {
  return firstAnswering(candidates,
                        [&](const Endpoint& endpoint) { return connectAndBind(endpoint, credentials, out); });
}

HRESULT openFreshConnection(const Endpoint& endpoint, const Credentials& credentials,
                            std::shared_ptr<Connection>* out) {
  return openFreshConnection(std::vector<Endpoint>{endpoint}, credentials, out);
}

std::shared_ptr<Connection> pooledConnectionFor(const std::vector<Endpoint>& servers, const Credentials& credentials) {
  Pool& p = pool();
  std::lock_guard<std::mutex> lock(p.mutex);
  auto now = std::chrono::steady_clock::now();
  for (const Endpoint& server : servers) {
    std::shared_ptr<Connection> leastHeld;
    for (const auto& [key, connection] : p.connections) {
      const Endpoint& bound = connection->endpoint();
      bool globalCatalog = bound.port == 3268 || bound.port == 3269;
      if (globalCatalog || !equalsIgnoreCase(bound.host, server.host)) continue;
      if (connection->credentials().mode != credentials.mode || connection->credentials().user != credentials.user)
        continue;
      if (!usable(*connection, credentials, now)) continue;
      // The calling thread's own, as for an object bind: a directory serves one connection's
      // requests in turn, so logons on many threads must not all queue on the first one.
      auto own = lastUsedByThread.find(key);
      if (own != lastUsedByThread.end() && own->second.lock() == connection) return connection;
      if (!leastHeld || connection.use_count() < leastHeld.use_count()) leastHeld = connection;
    }
    if (leastHeld) return leastHeld;
  }
  return nullptr;
}

namespace {

struct ObjectBindOfThisCall {
  std::weak_ptr<Connection> connection;
  unsigned long apartmentEntry = 0;
};
thread_local ObjectBindOfThisCall lastObjectBind;  // thread-local: no lock

}  // namespace

void noteObjectBind(const std::shared_ptr<Connection>& connection) {
  if (!connection->pooled() || !winapi::com::isInitialised()) return;
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

namespace {

// Retires and drops the pooled connections picked by their pool key; marked as well as dropped,
// so that a thread's memory of its last connection does not revive one.
void retireWhere(const std::function<bool(const std::string& key, const Connection& connection)>& picked) {
  Pool& p = pool();
  std::lock_guard<std::mutex> lock(p.mutex);
  for (auto it = p.connections.begin(); it != p.connections.end();) {
    if (picked(it->first, *it->second)) {
      it->second->markRetired();
      it = p.connections.erase(it);
    } else {
      ++it;
    }
  }
}

bool containsIgnoringCase(const std::string& text, const std::string& part) {
  return !part.empty() && toLowerAscii(text).find(toLowerAscii(part)) != std::string::npos;
}

bool mayBeBoundAs(const std::string& user, const AccountNames& account) {
  std::string rdn, parent, type, value;
  if (splitFirstRdn(account.dn, &rdn, &parent)) splitRdn(rdn, &type, &value);
  return equalsIgnoreCase(user, account.dn) || equalsIgnoreCase(user, account.userPrincipalName) ||
         containsIgnoringCase(user, account.samAccountName) || containsIgnoringCase(user, value);
}

}  // namespace

void retirePooledConnections() {
  retireWhere([](const std::string&, const Connection&) { return true; });
  dropIdleLeases(std::string());
  forgetKeptTickets();
}

void retireConnectionsOfAccount(const AccountNames& account) {
  if (account.samAccountName.empty() && account.dn.empty()) {
    retirePooledConnections();
    return;
  }
  // The key ends with the account the connection is bound as (a Kerberos principal too).
  retireWhere([&](const std::string& key, const Connection&) {
    return mayBeBoundAs(key.substr(key.rfind('\n') + 1), account);
  });
  dropIdleLeases(std::string());
  forgetKeptTickets();
}

void retireConnectionsTo(const Endpoint& server) {
  std::string key = endpointKey(server);
  retireWhere(
      [&](const std::string&, const Connection& connection) { return endpointKey(connection.endpoint()) == key; });
  dropIdleLeases(key);
}

std::vector<std::shared_ptr<Connection>> pooledConnections() {
  Pool& p = pool();
  std::lock_guard<std::mutex> lock(p.mutex);
  std::vector<std::shared_ptr<Connection>> all;
  for (auto& [key, connection] : p.connections) all.push_back(connection);
  return all;
}

void closePooledConnections() {
  Pool& p = pool();
  std::lock_guard<std::mutex> lock(p.mutex);
  p.connections.clear();
  lastUsedByThread.clear();
}

void setIdleLimitOverride(int seconds) { idleLimitOverride = seconds; }

}  // namespace winapi::adsi
