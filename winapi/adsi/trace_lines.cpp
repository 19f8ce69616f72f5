#include "adsi/trace_lines.h"

#include <netdb.h>
#include <sys/socket.h>

#include <cstdio>

#include "adsi/connection.h"
#include "adsi/errors.h"
#include "adsi/failover.h"
#include "adsi/kerberos_logon.h"
#include "adsi/ldap_owners.h"
#include "adsi/text.h"
#include "adsi/transport.h"
#include "trace/trace.h"

namespace winapi::adsi {

namespace {

namespace trace = orvistal::trace;

void appendServer(std::string* line, const Endpoint& server) {
  *line += " dc=";
  trace::appendServer(line, server.host, server.port);
}

const char* scopeName(int scope) {
  switch (scope) {
    case LDAP_SCOPE_BASE: return "base";
    case LDAP_SCOPE_ONELEVEL: return "one";
    case LDAP_SCOPE_SUBTREE: return "sub";
    default: return "?";
  }
}

// The text the failing step left for ADsGetLastError: the server's or libldap's diagnostic.
void appendLastErrorText(std::string* line) {
  *line += " text=";
  trace::appendQuoted(line, toUtf8(lastError().text));
}

bool nameResolves(const std::string& host) {
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  int failed = getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (found != nullptr) freeaddrinfo(found);
  return failed == 0;
}

// The CA file that TLS verification uses (OpenLDAP's TLS_CACERT, LDAPTLS_CACERT), and whether
// it is there.
void appendCaFile(std::string* line) {
  LdapString file;
  ldap_get_option(nullptr, LDAP_OPT_X_TLS_CACERTFILE, file.put());
  *line += " ca_file=";
  if (!file) {
    *line += "(none: the system's store)";
    return;
  }
  trace::appendQuoted(line, file.get());
  if (std::FILE* opened = std::fopen(file.get(), "rb")) {
    std::fclose(opened);
  } else {
    *line += " (cannot be read: no such file?)";
  }
}

// Why a server did not answer. Only looked into while tracing: the name is looked up once more.
// A failed TLS handshake: libldap gives GnuTLS's reason as the text, except for a certificate that
// fails verification (not signed by the CA file's CA, or not issued to the name asked for), which
// it reports as "(unknown error code)".
// False when the layer's text would add nothing (it knows only that no TLS session came about).
bool appendUnansweredReason(std::string* line, const Endpoint& server, HRESULT hr) {
  if (hr == hresultFromLdapResult(LDAP_TIMEOUT)) {
    *line += " did not answer in time";
  } else if (lastSetUpReachedServer()) {
    *line += " answered, but no verified TLS session came about (certificate not trusted, not issued to this "
             "name, or the handshake failed: see text)";
    appendCaFile(line);
  } else if (!nameResolves(server.host)) {
    *line += " was not found: the name does not resolve (DNS)";
    return false;
  } else {
    *line += " did not answer: connection refused or unreachable (nothing listens there?)";
    return false;
  }
  return true;
}

}  // namespace

void traceRequest(const Endpoint& server, const char* operation, const std::string& dn, int scope,
                  const std::string& filter, const LdapOutcome& outcome) {
  if (!trace::on(trace::kCalls)) return;
  trace::noteServer(server.host, server.port);
  if (!trace::on(trace::kRequests)) return;
  std::string line = "ldap ";
  line += operation;
  appendServer(&line, server);
  line += " dn=";
  trace::appendQuoted(&line, dn);
  if (scope >= 0) {
    line += " scope=";
    line += scopeName(scope);
    line += " filter=";
    trace::appendQuoted(&line, filter);
  }
  line += " -> ";
  line += std::to_string(outcome.code);
  line += " (";
  line += ldap_err2string(outcome.code);
  line += ")";
  if (!outcome.diagnostic.empty()) {
    line += " text=";
    trace::appendQuoted(&line, outcome.diagnostic);
  }
  trace::writeLine(line);
}

void traceBind(const Endpoint& server, const Credentials& credentials, HRESULT hr) {
  if (!trace::on(trace::kCalls)) return;
  trace::noteServer(server.host, server.port);
  if (!trace::on(trace::kRequests)) return;
  std::string line = "ldap bind";
  appendServer(&line, server);
  switch (credentials.mode) {
    case BindMode::Simple:
      line += simpleBindsAllowed() ? " simple as=" : " kerberos as=";
      trace::appendQuoted(&line, credentials.user);
      break;
    case BindMode::Kerberos:
      line += " kerberos (the process's ticket)";
      break;
    case BindMode::Anonymous:
      line += " anonymous";
      break;
  }
  line += " -> ";
  trace::appendStatus(&line, hr);
  if (FAILED(hr)) appendLastErrorText(&line);
  trace::writeLine(line);
}

void traceSkippedServer(const Endpoint& server) {
  if (!trace::on(trace::kRequests)) return;
  std::string line = "failover";
  appendServer(&line, server);
  line += " passed over: remembered as down (for up to ";
  line += std::to_string(downPeriodSeconds());
  line += " s after it last did not answer; one call at a time asks it again)";
  trace::writeLine(line);
}

void traceAttempt(const Endpoint& server, HRESULT hr) {
  if (!trace::on(trace::kCalls)) return;
  trace::noteServer(server.host, server.port);
  if (!trace::on(trace::kRequests) || SUCCEEDED(hr)) return;
  bool unanswered = isUnansweredServer(hr);
  std::string line = unanswered ? "failover" : "connect";
  appendServer(&line, server);
  bool textHelps = true;
  if (unanswered) {
    textHelps = appendUnansweredReason(&line, server, hr);
  } else {
    line += " failed";
    if (hr == hresultFromLdapResult(LDAP_LOCAL_ERROR)) appendCaFile(&line);
  }
  line += " -> ";
  trace::appendStatus(&line, hr);
  if (textHelps) appendLastErrorText(&line);
  trace::writeLine(line);
}

void traceHeldBack(const Credentials& credentials, HRESULT remembered, long long secondsLeft) {
  if (!trace::on(trace::kRequests)) return;
  std::string line = "bind held back as=";
  trace::appendQuoted(&line, credentials.user);
  line += ": the same account and password failed just before; asked again in ";
  line += std::to_string(secondsLeft);
  line += " s -> ";
  trace::appendStatus(&line, remembered);
  trace::writeLine(line);
}

}  // namespace winapi::adsi
