// One authenticated LDAP connection, and the process-wide pool that shares connections among
// directory objects with the same server and the exact same credentials.
//
// Transport: ports 389 and 3268 (and any other) use StartTLS, 636 and 3269 LDAPS; the server
// certificate is verified through OpenLDAP's own settings and verification is never turned
// off. A password is never sent over a connection without TLS.
// Identity: a named account binds simply with the name as given; an empty account is the
// process's Kerberos identity (SASL GSSAPI); ADS_NO_AUTHENTICATION binds anonymously.
//
// Waits: every wait on the network is bounded. Opening the TCP connection and the TLS
// handshake take OpenLDAP's NETWORK_TIMEOUT (ldap.conf, or LDAPNETWORK_TIMEOUT), 5 seconds when
// it is not set; every answer (StartTLS, binds, each operation) OpenLDAP's TIMEOUT (ldap.conf,
// or LDAPTIMEOUT), 10 seconds when it is not set; a search with a time limit of its own waits
// that limit and a few seconds more instead. A wait that runs out fails with the timeout status
// and the connection is never handed out again.
//
// Requests: a distinguished name, filter or attribute name longer than maxRequestTextBytes is
// refused before anything is sent (E_INVALIDARG), and one that holds a NUL names nothing (no
// object by that name): libldap takes C strings and would send a shorter, different name.
#pragma once
#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "adsi/ldap_owners.h"
#include "adsi/text.h"
#include "winerror.h"

namespace winapi::adsi {

enum class BindMode { Simple, Kerberos, Anonymous };

struct Credentials {
  BindMode mode = BindMode::Kerberos;
  std::string user;
  Secret password;
};

struct Endpoint {
  std::string host;  // resolved: never empty once a connection is asked for
  int port = 389;
};

// Port rule of the provider: LDAPS on 636 and 3269, StartTLS elsewhere.
bool usesLdaps(int port);

// Where a serverless path goes: OpenLDAP's default URI (ldap.conf URI, LDAPURI), else a
// domain controller of the Kerberos default realm found through DNS service records.
HRESULT defaultEndpoint(Endpoint* out);

// The result of one LDAP operation: its code and the server's diagnostic text.
struct LdapOutcome {
  int code = LDAP_SUCCESS;
  std::string diagnostic;
  bool ok() const { return code == LDAP_SUCCESS; }
};
// Records the outcome for ADsGetLastError and returns its HRESULT.
HRESULT failWith(const LdapOutcome& outcome);

// The attributes of a server's root entry that stay the same for long, read once per server
// (the ones that change by the second, such as currentTime, are left out).
using RootEntry = std::vector<std::pair<std::string, std::vector<std::string>>>;

class Connection {
 public:
  Connection(LdapHandle handle, Endpoint endpoint, Credentials credentials, bool encrypted);
  ~Connection() = default;
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  const Endpoint& endpoint() const { return endpoint_; }
  const Credentials& credentials() const { return credentials_; }
  bool encrypted() const { return encrypted_; }
  bool broken() const { return broken_.load(); }
  std::chrono::steady_clock::time_point lastUsed() const;
  std::chrono::steady_clock::time_point boundAt() const { return boundAt_; }
  // Operations sent on this connection and not yet answered.
  int inFlight() const { return inFlight_.load(); }

  // Each operation waits for its own result message, so concurrent callers sharing the
  // handle never read each other's answers. A transport failure or a wait that runs out marks
  // the connection broken. A read that fails because the transport of a pooled connection broke
  // (the server dropped it while it sat idle, say) is sent once more, on a new connection of the
  // pool, which then also takes this connection's later operations. A write is never sent
  // twice: its effect on the server is unknown.
  LdapOutcome search(const std::string& base, int scope, const std::string& filter,
                     const std::vector<std::string>& attributes, LDAPControl** serverControls, int sizeLimit,
                     int timeLimitSeconds, LdapMessage* entries, LdapControls* responseControls = nullptr);
  LdapOutcome modify(const std::string& dn, LDAPMod** mods, LDAPControl** serverControls);
  LdapOutcome add(const std::string& dn, LDAPMod** mods, LDAPControl** serverControls);
  LdapOutcome remove(const std::string& dn, LDAPControl** serverControls);
  LdapOutcome compare(const std::string& dn, const std::string& attribute, const std::string& value,
                      LDAPControl** serverControls);

  // The server's root entry (see RootEntry), read once per server for as long as a pooled
  // connection may stand for its credentials.
  LdapOutcome rootEntry(std::shared_ptr<const RootEntry>* out);
  // A fact about the server that this connection keeps once it is known (the forest's
  // partitions, say), so that later calls need not ask again; made by load on first use.
  std::shared_ptr<const void> remembered(const std::string& key,
                                         const std::function<std::shared_ptr<const void>()>& load);

  // The handle that answered this connection's operations; only for reading their results.
  LDAP* handle() const { return handle_.get(); }
  // Marks the connection broken: it is never handed out again.
  void markBroken() { broken_ = true; }

 private:
  friend HRESULT acquireConnection(const Endpoint&, const Credentials&, std::shared_ptr<Connection>*, bool*);
  friend HRESULT authenticateAfresh(const Endpoint&, const Credentials&, std::shared_ptr<Connection>*);
  friend void noteObjectBind(const std::shared_ptr<Connection>&);
  LdapHandle releaseHandle() { return std::move(handle_); }
  LdapOutcome waitFor(int msgid, int sent, LdapMessage* all, LdapControls* responseControls, int timeLimitSeconds);
  LdapOutcome searchHere(const std::string& base, int scope, const std::string& filter,
                         const std::vector<std::string>& attributes, LDAPControl** serverControls, int sizeLimit,
                         int timeLimitSeconds, LdapMessage* entries, LdapControls* responseControls);
  std::shared_ptr<Connection> successor();
  std::shared_ptr<Connection> replaceForRead();
  void touch();

  LdapHandle handle_;
  Endpoint endpoint_;
  Credentials credentials_;
  bool encrypted_;
  bool pooled_ = false;
  std::chrono::steady_clock::time_point boundAt_;
  std::atomic<bool> broken_{false};
  std::atomic<int> inFlight_{0};
  mutable std::mutex stateMutex_;
  std::chrono::steady_clock::time_point lastUsed_;
  std::shared_ptr<Connection> successor_;
  std::map<std::string, std::shared_ptr<const void>> remembered_;
};

// A connection bound with these credentials: a pooled one when a live, unexpired one exists
// for the same endpoint and exact credentials, else a new one (pooled once its bind worked).
// *reused tells which, so a caller may retry a read once on a new connection when a reused
// one turns out dead.
HRESULT acquireConnection(const Endpoint& endpoint, const Credentials& credentials, std::shared_ptr<Connection>* out,
                          bool* reused);
// Always a new connection and bind, never pooled: for checks where the bind is the question.
HRESULT openFreshConnection(const Endpoint& endpoint, const Credentials& credentials, std::shared_ptr<Connection>* out);
// Records that an object was bound on the calling thread over this pooled connection.
void noteObjectBind(const std::shared_ptr<Connection>& connection);
// The pooled connection that an object bind used on the calling thread within its current entry
// into its COM apartment (that is, within the same native call), when it was bound with exactly
// these credentials and may still stand for them; else none. Name translation runs on it: the
// call has just shown these credentials work. A password check, which binds no object first,
// never finds one, so it always asks the directory anew.
std::shared_ptr<Connection> connectionOfThisCall(const Endpoint& endpoint, const Credentials& credentials);
// A connection authenticated with these credentials by a bind made now, for checks where the
// bind is the question (password verification, a logon). It is not pooled for other work: it
// comes from a small per-server set of open TLS connections kept only for such binds, so a
// verification pays for the bind but not for a new TCP connection and TLS handshake. The holder
// has it to itself; when the last reference goes it returns to that set (a connection whose bind
// failed, or whose transport broke, is closed instead). Kerberos and anonymous credentials, and
// servers without TLS, get a new connection of their own.
HRESULT authenticateAfresh(const Endpoint& endpoint, const Credentials& credentials,
                           std::shared_ptr<Connection>* out);
// Forget a connection that failed so it is not handed out again.
void discardConnection(const std::shared_ptr<Connection>& connection);
// After a password was set or changed: no pooled connection is handed out again, so an old
// password cannot go on working through a connection it opened. Objects keep theirs.
void retirePooledConnections();

// The values of one attribute of a search result entry (none when it has no such attribute).
std::vector<std::string> entryValues(LDAP* ld, LDAPMessage* entry, const char* attribute);
// Its first value, or empty text.
std::string firstEntryValue(LDAP* ld, LDAPMessage* entry, const char* attribute);

// Seconds a pooled connection may sit unused before it is closed.
constexpr int poolIdleLimitSeconds = 300;
// Seconds a pooled connection stands for the credentials it was bound with: after that it is
// not handed out again and the next caller binds anew, so a password changed or an account
// disabled elsewhere stops working through this process's connections within this time.
constexpr int poolLifetimeLimitSeconds = 600;
// The most connections the pool opens for one server and identity; callers beyond that share.
constexpr int poolConnectionsPerIdentity = 8;
// The longest name the provider takes from a caller (UTF-16 code units), and the longest
// distinguished name, filter or attribute name it sends (bytes of UTF-8, the same bound).
constexpr size_t maxNameUnits = 65536;
constexpr size_t maxRequestTextBytes = 3 * maxNameUnits;

// The bounds on waiting, in seconds (see the top of this file).
struct WaitLimits {
  int networkSeconds;
  int operationSeconds;
};
WaitLimits waitLimits();

namespace testing {
// Count of LDAP connections opened by this process, for tests of reuse.
size_t connectionsOpened();
// LDAP requests sent by this process, and by the calling thread (binds, StartTLS, searches,
// compares, writes; not abandons), for tests and benchmarks that count round trips.
size_t operationsSent();
size_t operationsSentByThisThread();
// Replaces the wait limits; values <= 0 restore the configured ones.
void setWaitLimitsForTesting(int networkSeconds, int operationSeconds);
// Connections kept for verification binds, idle now.
size_t idleVerificationConnections();
// Close every pooled connection.
void clearPool();
// Make the next connections skip TLS, to check that a password is then refused before it is
// sent. Only tests call this.
void setPlainTransportForTesting(bool plain);
// Cuts the network under every pooled connection, as a server restart would.
void severPooledConnections();
// Replaces the idle limit (seconds); a negative value restores the normal one.
void setIdleLimitForTesting(int seconds);
}  // namespace testing

}  // namespace winapi::adsi
