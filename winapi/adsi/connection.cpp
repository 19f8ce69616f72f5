#include "adsi/connection.h"

#include <algorithm>
#include <cstring>

#include "adsi/errors.h"
#include "adsi/failover.h"
#include "adsi/pool.h"
#include "adsi/referral.h"
#include "adsi/test_switches.h"
#include "adsi/trace_lines.h"
#include "adsi/transport.h"

namespace winapi::adsi {

namespace {

// A search with a time limit of its own is cut off a little after the server should have
// stopped: some servers ignore the limit a client asks for.
constexpr int searchGraceSeconds = 5;

bool isTransportFailure(int code) {
  return code == LDAP_SERVER_DOWN || code == LDAP_CONNECT_ERROR || code == LDAP_TIMEOUT;
}

// The transport dropped, or the stream broke off mid-answer (as opposed to a wait that ran
// out): worth one more try elsewhere.
bool isDroppedTransport(int code) {
  return code == LDAP_SERVER_DOWN || code == LDAP_CONNECT_ERROR || code == LDAP_DECODING_ERROR;
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

// A connection given up after a failure carries no further request: its server may not be reading,
// and each request would wait out the whole bound again.
LdapOutcome givenUp() {
  LdapOutcome outcome;
  outcome.code = LDAP_SERVER_DOWN;
  outcome.diagnostic = "the connection was given up after an earlier failure";
  return outcome;
}

// Callers that share a connection wait for their answers in turns: libldap lets one thread at a
// time wait on a handle, for as long as that thread's wait lasts. Each waits in short slices, so
// that a slow answer to one caller holds the others no longer than a slice, and each caller's own
// bound holds however many share the connection.
constexpr auto waitSlice = std::chrono::milliseconds(25);

LdapOutcome refusalOfNames(const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    LdapOutcome outcome = refusalOf({&name});
    if (!outcome.ok()) return outcome;
  }
  return LdapOutcome();
}

// A request's outcome, after its line in the trace.
LdapOutcome traced(const Endpoint& server, const char* operation, const std::string& dn, LdapOutcome outcome) {
  traceRequest(server, operation, dn, -1, std::string(), outcome);
  return outcome;
}

}  // namespace

LdapOutcome outcomeOf(LDAP* ld, int code) {
  LdapOutcome outcome;
  outcome.code = code;
  LdapString diagnostic;
  ldap_get_option(ld, LDAP_OPT_DIAGNOSTIC_MESSAGE, diagnostic.put());
  if (diagnostic) outcome.diagnostic = diagnostic.get();
  return outcome;
}

HRESULT failWith(const LdapOutcome& outcome) { return failLdap(outcome.code, outcome.diagnostic); }

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
  // A server that now refuses is remembered as down, which retires its other pooled connections.
  std::shared_ptr<Connection> fresh;
  auto reconnect = [&](const Endpoint& endpoint) { return connectAndBind(endpoint, credentials_, &fresh); };
  if (FAILED(firstAnswering({endpoint_}, reconnect))) return nullptr;
  addPooled(fresh);
  std::lock_guard<std::mutex> lock(stateMutex_);
  if (!successor_) successor_ = std::move(fresh);
  return successor_;
}

// A server that let an operation run out of the operation bound is not answering: calls go
// elsewhere for a while (failover.h). A search that ran out of its own time limit says nothing
// of the server.
LdapOutcome Connection::timedOut(int timeLimitSeconds) {
  LdapOutcome outcome;
  outcome.code = timeLimitSeconds > 0 ? LDAP_TIMELIMIT_EXCEEDED : LDAP_TIMEOUT;
  if (outcome.code == LDAP_TIMEOUT) noteServerDown(endpoint_);
  return outcome;
}

int Connection::waitInSlices(int msgid, std::chrono::steady_clock::time_point deadline, LdapMessage* chain) {
  for (;;) {
    auto left = deadline - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) return 0;
    auto slice = std::chrono::duration_cast<std::chrono::microseconds>(std::min<std::chrono::steady_clock::duration>(
        left, std::chrono::duration_cast<std::chrono::steady_clock::duration>(waitSlice)));
    timeval timeout{static_cast<time_t>(slice.count() / 1000000), static_cast<suseconds_t>(slice.count() % 1000000)};
    int type = ldap_result(handle_.get(), msgid, LDAP_MSG_ALL, &timeout, chain->put());
    if (type != 0) return type;
    if (broken()) return -1;  // another holder found the transport gone meanwhile
  }
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
    if (isTransportFailure(outcome.code) || msgid <= 0) markBroken();
    if (outcome.ok()) outcome.code = LDAP_SERVER_DOWN;
    return outcome;
  }
  int wait = timeLimitSeconds > 0 ? timeLimitSeconds + searchGraceSeconds : waitLimits().operationSeconds;
  LdapMessage local;
  LdapMessage* chain = all != nullptr ? all : &local;
  int type = waitInSlices(msgid, std::chrono::steady_clock::now() + std::chrono::seconds(wait), chain);
  if (type <= 0) {
    // No answer in time, or the transport failed: whether the server acted is unknown, so the
    // connection is not trusted again. It is closed when its last holder lets go, which also
    // tells the server to drop the request; nothing more is written to a server that may not
    // be reading.
    markBroken();
    if (type == 0) return timedOut(timeLimitSeconds);
    outcome.code = LDAP_SERVER_DOWN;
    int code = 0;
    if (ldap_get_option(handle_.get(), LDAP_OPT_RESULT_CODE, &code) == LDAP_OPT_SUCCESS && isTransportFailure(code))
      outcome.code = code;
    outcome.code = timeoutOr(outcome.code);
    if (outcome.code == LDAP_TIMEOUT) return timedOut(0);
    return outcome;
  }
  int code = LDAP_SUCCESS;
  char* diagnostic = nullptr;
  LDAPControl** controls = nullptr;
  char** referrals = nullptr;
  int parsed = ldap_parse_result(handle_.get(), chain->get(), &code, nullptr, &diagnostic, &referrals,
                                 responseControls != nullptr ? &controls : nullptr, 0);
  LdapString diagnosticOwner(diagnostic);
  if (referrals != nullptr) {
    // Kept for the caller that may follow one (referral.h).
    std::vector<std::string> urls;
    for (char** url = referrals; *url != nullptr; ++url) urls.emplace_back(*url);
    ldap_memvfree(reinterpret_cast<void**>(referrals));
    if (code == LDAP_REFERRAL) noteReferrals(std::move(urls));
  }
  if (responseControls != nullptr) *responseControls->put() = controls;
  if (parsed != LDAP_SUCCESS) {
    // An answer that cannot be read: the stream may be out of step from here on.
    markBroken();
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
  if (broken()) return givenUp();
  LdapOutcome refused = refusalOf({&base, &filter});
  if (refused.ok()) refused = refusalOfNames(attributes);
  if (!refused.ok()) return refused;
  std::vector<char*> names;
  for (const std::string& name : attributes) names.push_back(const_cast<char*>(name.c_str()));
  names.push_back(nullptr);
  timeval limit{timeLimitSeconds, 0};
  InFlight counted(&inFlight_);
  noteRequestSent();
  int msgid = -1;
  int sent =
      ldap_search_ext(handle_.get(), base.c_str(), scope, filter.c_str(), attributes.empty() ? nullptr : names.data(),
                      0, serverControls, nullptr, timeLimitSeconds > 0 ? &limit : nullptr, sizeLimit, &msgid);
  LdapOutcome outcome = waitFor(msgid, sent, entries, responseControls, timeLimitSeconds);
  traceRequest(endpoint_, "search", base, scope, filter, outcome);
  return outcome;
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
  if (broken()) return givenUp();
  LdapOutcome refused = refusalOf({&dn});
  for (LDAPMod** mod = mods; refused.ok() && mod != nullptr && *mod != nullptr; ++mod) {
    std::string type = (*mod)->mod_type != nullptr ? (*mod)->mod_type : "";
    refused = refusalOf({&type});
  }
  if (!refused.ok()) return refused;
  InFlight counted(&inFlight_);
  noteRequestSent();
  int msgid = -1;
  int sent = ldap_modify_ext(handle_.get(), dn.c_str(), mods, serverControls, nullptr, &msgid);
  return traced(endpoint_, "modify", dn, waitFor(msgid, sent, nullptr, nullptr, 0));
}

LdapOutcome Connection::add(const std::string& dn, LDAPMod** mods, LDAPControl** serverControls) {
  if (std::shared_ptr<Connection> next = successor()) return next->add(dn, mods, serverControls);
  if (broken()) return givenUp();
  LdapOutcome refused = refusalOf({&dn});
  if (!refused.ok()) return refused;
  InFlight counted(&inFlight_);
  noteRequestSent();
  int msgid = -1;
  int sent = ldap_add_ext(handle_.get(), dn.c_str(), mods, serverControls, nullptr, &msgid);
  return traced(endpoint_, "add", dn, waitFor(msgid, sent, nullptr, nullptr, 0));
}

LdapOutcome Connection::remove(const std::string& dn, LDAPControl** serverControls) {
  if (std::shared_ptr<Connection> next = successor()) return next->remove(dn, serverControls);
  if (broken()) return givenUp();
  LdapOutcome refused = refusalOf({&dn});
  if (!refused.ok()) return refused;
  InFlight counted(&inFlight_);
  noteRequestSent();
  int msgid = -1;
  int sent = ldap_delete_ext(handle_.get(), dn.c_str(), serverControls, nullptr, &msgid);
  return traced(endpoint_, "delete", dn, waitFor(msgid, sent, nullptr, nullptr, 0));
}

LdapOutcome Connection::compare(const std::string& dn, const std::string& attribute, const std::string& value,
                                LDAPControl** serverControls) {
  if (std::shared_ptr<Connection> next = successor()) return next->compare(dn, attribute, value, serverControls);
  if (broken()) return givenUp();
  LdapOutcome refused = refusalOf({&dn, &attribute});
  if (!refused.ok()) return refused;
  berval assertion{static_cast<ber_len_t>(value.size()), const_cast<char*>(value.data())};
  InFlight counted(&inFlight_);
  noteRequestSent();
  int msgid = -1;
  int sent = ldap_compare_ext(handle_.get(), dn.c_str(), attribute.c_str(), &assertion, serverControls, nullptr, &msgid);
  return traced(endpoint_, "compare", dn, waitFor(msgid, sent, nullptr, nullptr, 0));
}

std::vector<std::string> entryValues(LDAP* ld, LDAPMessage* entry, const char* attribute) {
  std::vector<std::string> values;
  if (seam().replaceValues(ld, entry, attribute, &values)) return values;
  LdapValues raw(ldap_get_values_len(ld, entry, attribute));
  if (!raw) return values;
  for (berval** v = raw.get(); *v != nullptr; ++v) values.emplace_back((*v)->bv_val, (*v)->bv_len);
  return values;
}

bool entryAttributes(LDAP* ld, LDAPMessage* entry, std::vector<EntryAttribute>* out, std::string* dn) {
  BerWalk walk;
  berval name{0, nullptr};
  if (ldap_get_dn_ber(ld, entry, walk.put(), &name) != LDAP_SUCCESS) return false;
  if (dn != nullptr) dn->assign(name.bv_val != nullptr ? name.bv_val : "", name.bv_len);
  for (;;) {
    berval name{0, nullptr};
    berval* values = nullptr;
    int code = ldap_get_attribute_ber(ld, entry, walk.get(), &name, &values);
    BerValueArray owned(values);
    if (code != LDAP_SUCCESS) return false;
    if (name.bv_val == nullptr) return true;
    EntryAttribute& attribute = out->emplace_back();
    attribute.name.assign(name.bv_val, name.bv_len);
    if (seam().replaceValues(ld, entry, attribute.name.c_str(), &attribute.values)) continue;
    for (berval* value = values; value != nullptr && value->bv_val != nullptr; ++value)
      attribute.values.emplace_back(value->bv_val, value->bv_len);
  }
}

std::string firstEntryValue(LDAP* ld, LDAPMessage* entry, const char* attribute) {
  LdapValues values(ldap_get_values_len(ld, entry, attribute));
  if (!values || values.get()[0] == nullptr) return std::string();
  return std::string(values.get()[0]->bv_val, values.get()[0]->bv_len);
}

}  // namespace winapi::adsi
