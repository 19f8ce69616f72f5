// One authenticated LDAP connection, and the process-wide pool that shares connections among
// directory objects with the same server and the exact same credentials.
//
// Transport: ports 389 and 3268 (and any other) use StartTLS, 636 and 3269 LDAPS; the server
// certificate is verified through OpenLDAP's own settings and verification is never turned
// off. A password is never sent over a connection without TLS.
// Identity: a named account binds simply with the name as given; an empty account is the
// process's Kerberos identity (SASL GSSAPI); ADS_NO_AUTHENTICATION binds anonymously.
#pragma once
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
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

  // Each operation waits for its own result message, so concurrent callers sharing the
  // handle never read each other's diagnostics. A transport failure marks the connection
  // broken; the operation is not sent again (its effect on the server is unknown).
  LdapOutcome search(const std::string& base, int scope, const std::string& filter,
                     const std::vector<std::string>& attributes, LDAPControl** serverControls, int sizeLimit,
                     int timeLimitSeconds, LdapMessage* entries, LdapControls* responseControls = nullptr);
  LdapOutcome modify(const std::string& dn, LDAPMod** mods, LDAPControl** serverControls);
  LdapOutcome add(const std::string& dn, LDAPMod** mods, LDAPControl** serverControls);
  LdapOutcome remove(const std::string& dn, LDAPControl** serverControls);

  LDAP* handle() const { return handle_.get(); }

 private:
  LdapOutcome waitFor(int msgid, int sent, LdapMessage* all, LdapControls* responseControls, int timeLimitSeconds);
  void touch();

  LdapHandle handle_;
  Endpoint endpoint_;
  Credentials credentials_;
  bool encrypted_;
  std::atomic<bool> broken_{false};
  mutable std::mutex timeMutex_;
  std::chrono::steady_clock::time_point lastUsed_;
};

// A connection bound with these credentials: a pooled one when a live, unexpired one exists
// for the same endpoint and exact credentials, else a new one (pooled once its bind worked).
// *reused tells which, so a caller may retry a read once on a new connection when a reused
// one turns out dead.
HRESULT acquireConnection(const Endpoint& endpoint, const Credentials& credentials, std::shared_ptr<Connection>* out,
                          bool* reused);
// Always a new connection and bind, never pooled: for checks where the bind is the question.
HRESULT openFreshConnection(const Endpoint& endpoint, const Credentials& credentials, std::shared_ptr<Connection>* out);
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

namespace testing {
// Count of LDAP connections opened by this process, for tests of reuse.
size_t connectionsOpened();
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
