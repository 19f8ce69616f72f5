// One authenticated LDAP connection and the requests sent on it.
//
// Requests: a distinguished name, filter or attribute name longer than maxRequestTextBytes is
// refused before anything is sent (E_INVALIDARG), and one that holds a NUL names nothing (no
// object by that name): libldap takes C strings and would send a shorter, different name.
// How a connection is made, shared and retired: pool.h.
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

#include "adsi/bind.h"
#include "adsi/endpoint.h"
#include "adsi/ldap_owners.h"
#include "adsi/test_hooks.h"
#include "adsi/text.h"
#include "winerror.h"

namespace winapi::adsi {

// The result of one LDAP operation: its code and the server's diagnostic text.
struct LdapOutcome {
  int code = LDAP_SUCCESS;
  std::string diagnostic;
  bool ok() const { return code == LDAP_SUCCESS; }
};
// Records the outcome for ADsGetLastError and returns its HRESULT.
HRESULT failWith(const LdapOutcome& outcome);
// The outcome of a failed libldap call on the handle: the code and libldap's diagnostic.
LdapOutcome outcomeOf(LDAP* ld, int code);

// The attributes of a server's root entry that stay the same for long, read once per server
// (the ones that change by the second, such as currentTime, are left out).
using RootEntry = std::vector<std::pair<std::string, std::vector<std::string>>>;

// Where a connection stands in its life (pool.h tells the whole of it). A connection exists only
// once its transport and bind are done: while it is being set up, the pool holds a reservation in
// its place (opening). Bound: handed out to callers. Retired: handed out no more (expired, its
// server noted down, a password set), but still serving those that hold it, until the last lets
// go and it closes. Broken: its transport failed, a wait ran out or an answer could not be read;
// it sends nothing more, and a read on it goes to a new connection (Connection::search).
enum class ConnectionState { Bound, Retired, Broken };

class Connection {
 public:
  Connection(LdapHandle handle, Endpoint endpoint, Credentials credentials, bool encrypted);
  ~Connection() = default;
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  const Endpoint& endpoint() const { return endpoint_; }
  const Credentials& credentials() const { return credentials_; }
  bool encrypted() const { return encrypted_; }
  ConnectionState state() const { return state_.load(); }
  bool broken() const { return state() == ConnectionState::Broken; }
  // Not handed out again: retired or broken (see ConnectionState).
  bool retired() const { return state() != ConnectionState::Bound; }
  std::chrono::steady_clock::time_point lastUsed() const;
  std::chrono::steady_clock::time_point boundAt() const { return boundAt_; }
  // Operations sent on this connection and not yet answered.
  int inFlight() const { return inFlight_.load(); }

  // Each operation waits for its own result message, so concurrent callers sharing the
  // handle never read each other's answers, each within its own bound. A transport failure or a
  // wait that runs out marks the connection broken, and a broken connection sends nothing more. A read that fails because the transport of a pooled connection broke
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
  void markBroken() { state_ = ConnectionState::Broken; }
  // A broken connection stays broken.
  void markRetired() {
    ConnectionState bound = ConnectionState::Bound;
    state_.compare_exchange_strong(bound, ConnectionState::Retired);
  }
  // Whether the pool hands it out (see pool.h).
  bool pooled() const { return pooled_; }

 private:
  friend void addPooled(const std::shared_ptr<Connection>& connection);
  friend HRESULT authenticateAfresh(const Endpoint&, const Credentials&, std::shared_ptr<Connection>*);
  LdapHandle releaseHandle() { return std::move(handle_); }
  LdapOutcome waitFor(int msgid, int sent, LdapMessage* all, LdapControls* responseControls, int timeLimitSeconds);
  // ldap_result's answer for the message by the deadline: 0 when it ran out.
  int waitInSlices(int msgid, std::chrono::steady_clock::time_point deadline, LdapMessage* chain);
  LdapOutcome searchHere(const std::string& base, int scope, const std::string& filter,
                         const std::vector<std::string>& attributes, LDAPControl** serverControls, int sizeLimit,
                         int timeLimitSeconds, LdapMessage* entries, LdapControls* responseControls);
  std::shared_ptr<Connection> successor();
  std::shared_ptr<Connection> replaceForRead();
  LdapOutcome timedOut(int timeLimitSeconds);
  void touch();

  // Set when the connection is made and not changed after, except as noted.
  LdapHandle handle_;  // libldap serialises the threads that share it; moved out only by its last holder
  Endpoint endpoint_;
  Credentials credentials_;
  bool encrypted_;
  bool pooled_ = false;  // set once, before the pool hands the connection to anyone
  std::chrono::steady_clock::time_point boundAt_;
  std::atomic<ConnectionState> state_{ConnectionState::Bound};  // atomic: the pool and any holder mark it
  std::atomic<int> inFlight_{0};     // atomic: counted by every holder
  mutable std::mutex stateMutex_;
  std::chrono::steady_clock::time_point lastUsed_;                 // guarded by stateMutex_
  std::shared_ptr<Connection> successor_;                          // guarded by stateMutex_
  std::map<std::string, std::shared_ptr<const void>> remembered_;  // guarded by stateMutex_
};

// The values of one attribute of a search result entry (none when it has no such attribute).
std::vector<std::string> entryValues(LDAP* ld, LDAPMessage* entry, const char* attribute);

struct EntryAttribute {
  std::string name;  // as the server wrote it, options (";range=…") included
  std::vector<std::string> values;
};
// Every attribute of a search result entry with its values, in one pass over the entry: looked
// up name by name, each lookup walks the entry from its start. With dn, the entry's name too.
// False when the entry is garbled.
bool entryAttributes(LDAP* ld, LDAPMessage* entry, std::vector<EntryAttribute>* out, std::string* dn = nullptr);
// Its first value, or empty text.
std::string firstEntryValue(LDAP* ld, LDAPMessage* entry, const char* attribute);

// The longest name the provider takes from a caller (UTF-16 code units), and the longest
// distinguished name, filter or attribute name it sends (bytes of UTF-8, the same bound).
constexpr size_t maxNameUnits = 65536;
constexpr size_t maxRequestTextBytes = 3 * maxNameUnits;

}  // namespace winapi::adsi
