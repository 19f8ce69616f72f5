// The connection layer's lines in the operator's trace (trace/trace.h): at level 2 each request
// with its result and the server's diagnostic text, each bind, each failover step with its reason;
// at level 1 only the server a call's requests went to. Each function costs an atomic load when
// the trace is off. Names and statuses only: a password never reaches these functions.
#pragma once
#include <string>

#include "adsi/bind.h"
#include "adsi/endpoint.h"
#include "winerror.h"

namespace winapi::adsi {

struct LdapOutcome;

// A request sent to the server and what came back.
void traceRequest(const Endpoint& server, const char* operation, const std::string& dn, int scope,
                  const std::string& filter, const LdapOutcome& outcome);
// A bind on a new connection: the mode, the account's name, and the refusal's text.
void traceBind(const Endpoint& server, const Credentials& credentials, HRESULT hr);
// A failover step: a candidate passed over as remembered down, or tried with this outcome; for
// one that did not answer, why (its name does not resolve, nothing listens, no answer in time,
// TLS set-up failed and the verifier's reason).
void traceSkippedServer(const Endpoint& server);
void traceAttempt(const Endpoint& server, HRESULT hr);
// A bind held back (bind_backoff.h): the status given without asking, and for how long more.
void traceHeldBack(const Credentials& credentials, HRESULT remembered, long long secondsLeft);

}  // namespace winapi::adsi
