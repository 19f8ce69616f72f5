// The lifetime of a connection (its states: ConnectionState, connection.h).
//
// Opening: a caller of the pool first reserves one of its identity's places (at most
// poolConnectionsPerIdentity, whether bound or being opened), then connects, sets up TLS and binds;
// nobody else sees it before that is done. Other callers meanwhile share a bound one, or wait for
// the first of those being opened, within their bounds.
// Bound, one of three ways:
//  - pooled (acquireConnection): shared by every caller with the same server and the exact same
//    credentials; callers beyond the identity's places share the least-held one.
//  - private (openFreshConnection): a new connection and bind for one caller, never pooled (a
//    logon, whose bind is the question).
//  - a password-check lease (authenticateAfresh): a bind made now on a connection taken from a
//    small per-server set of idle TLS connections; the holder has it to itself, and when it lets
//    go the connection goes back to that set, still bound as that account until the next check
//    binds it anew. A lease whose bind failed or whose transport broke is closed instead.
// Who may hold it (shared_ptr): the pool; every object bound over it, for that object's life; a
// connection whose transport dropped, as its successor (see Connection::search). Weakly: each
// thread's last connection per identity, and the object bind of the current native call.
// Retired, never handed out again but still serving its holders, and closed when its last holder
// lets go: when expired (unused for poolIdleLimitSeconds, or bound poolLifetimeLimitSeconds ago),
// when its server is noted down (failover.h), and every pooled one after a password is set or
// changed. Broken (its transport failed, a wait ran out or an answer could not be read): it sends
// nothing more, whoever holds it.
// Retry: a read on a pooled connection whose transport dropped is sent once more, on its
// successor (Connection::search). Nothing else in the layer sends a request twice (a
// password-check bind on an idle connection found dead is made on a new one: it never reached
// the server).
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "adsi/connection.h"
#include "adsi/endpoint.h"
#include "winerror.h"

namespace winapi::adsi {

// Seconds a pooled connection may sit unused before it is closed.
constexpr int poolIdleLimitSeconds = 300;
// Seconds a pooled connection stands for the credentials it was bound with: after that it is
// not handed out again and the next caller binds anew, so a password changed or an account
// disabled elsewhere stops working through this process's connections within this time.
constexpr int poolLifetimeLimitSeconds = 600;
// The most connections the pool opens for one server and identity; callers beyond that share.
constexpr int poolConnectionsPerIdentity = 8;

// A pooled connection bound with these credentials to the first candidate that answers (see
// failover.h): a live, unexpired one when the pool has one, else a new one, pooled once its bind
// worked.
HRESULT acquireConnection(const std::vector<Endpoint>& candidates, const Credentials& credentials,
                          std::shared_ptr<Connection>* out);
HRESULT acquireConnection(const Endpoint& endpoint, const Credentials& credentials, std::shared_ptr<Connection>* out);
// Always a new connection and bind, never pooled: for checks where the bind is the question.
HRESULT openFreshConnection(const std::vector<Endpoint>& candidates, const Credentials& credentials,
                            std::shared_ptr<Connection>* out);
HRESULT openFreshConnection(const Endpoint& endpoint, const Credentials& credentials, std::shared_ptr<Connection>* out);
// A pooled connection to one of these servers (on a port of its domain, not the Global
// Catalog's) bound with exactly these credentials and still standing for them, else none: the
// calling thread's own when it has one, else the least held. Within the pool's lifetime limit the
// pool already trusts such a bind for object binds; a logon reads its token over it instead of
// binding again.
std::shared_ptr<Connection> pooledConnectionFor(const std::vector<Endpoint>& servers, const Credentials& credentials);
// A password-check lease (see the top of this file). Kerberos and anonymous credentials, and
// servers without TLS, get a private connection instead.
HRESULT authenticateAfresh(const Endpoint& endpoint, const Credentials& credentials,
                           std::shared_ptr<Connection>* out);

// A domain's controllers answer to the domain's name and addresses, but Kerberos needs the name of
// the controller itself (its service principal is ldap/<host>). Like the Windows locator, ask
// whoever answers who it is: the root entry's dnsHostName, readable without authentication (and
// read once per server). Without an answer the endpoint stays as it is.
void nameTheController(Endpoint* endpoint);

// Records that an object was bound on the calling thread over this pooled connection.
void noteObjectBind(const std::shared_ptr<Connection>& connection);
// The pooled connection that an object bind used on the calling thread within its current entry
// into its COM apartment (that is, within the same native call), when it was bound with exactly
// these credentials and may still stand for them; else none. Name translation runs on it: the
// call has just shown these credentials work. A password check, which binds no object first,
// never finds one, so it always asks the directory anew.
std::shared_ptr<Connection> connectionOfThisCall(const Endpoint& endpoint, const Credentials& credentials);

// Forget a connection that failed so it is not handed out again.
void discardConnection(const std::shared_ptr<Connection>& connection);
// After a password was set or changed: no pooled connection is handed out again, and no kept
// Kerberos ticket used again, so an old password cannot go on working through a connection or a
// ticket it got. Objects keep theirs.
void retirePooledConnections();
// Who an account is, as a connection's credentials may name it.
struct AccountNames {
  std::string dn;
  std::string samAccountName;
  std::string userPrincipalName;
};
// The same for the connections that may be bound as this account: those whose account is its
// distinguished or principal name, or any name that holds its account name or its relative
// name's value (DOMAIN\name, name@realm, another spelling of its DN). A connection retired
// needlessly costs a bind; an account known by no name retires every connection.
void retireConnectionsOfAccount(const AccountNames& account);
// Retires every pooled and idle connection to the server (it was noted down).
void retireConnectionsTo(const Endpoint& server);

// Within the connection layer:
// A new connection to the endpoint, bound with the credentials; not pooled.
HRESULT connectAndBind(const Endpoint& endpoint, const Credentials& credentials, std::shared_ptr<Connection>* out);
// Hands a new connection to the pool.
void addPooled(const std::shared_ptr<Connection>& connection);
// The key of the pool's connections for one server and identity.
std::string poolKey(const Endpoint& endpoint, const Credentials& credentials);
// The idle limit in force (tests may shorten it).
int idleLimitSeconds();
// Closes every idle password-check connection (to one server, by endpointKey, or all when empty).
void dropIdleLeases(const std::string& server);
// For the test hooks: the pooled connections now, closing them all, the idle limit, the idle
// password-check connections.
std::vector<std::shared_ptr<Connection>> pooledConnections();
void closePooledConnections();
void setIdleLimitOverride(int seconds);
size_t idleLeaseCount();

}  // namespace winapi::adsi
