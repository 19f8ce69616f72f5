// Binds of a named account that the directory refused for its password or the account's state
// (wrong password, locked, disabled, expired, password expired, must change) are not repeated at
// once: the settings' account binds on every call that finds no pooled connection, so a wrong
// password in the settings would otherwise lock the account out within a few calls.
//
// A refusal is remembered for the exact credential set (mode, account name and password: the
// password kept as a copy that is compared in constant time and wiped when the entry goes) and the
// domain whose controller refused it (or the server, when one was named as such); it is forgotten
// once nobody has asked again for the longest wait.
// Until the wait is over, binds with that set get the remembered status at once, without asking
// the directory; then one caller tries again while the others still get the status. Each further
// refusal doubles the wait: 5 s, 10 s, 20 s ... up to 15 min by default, set by the environment
// variable ORVISTAL_BIND_BACKOFF="first,longest" in seconds ("0" turns it off). A bind that works
// forgets the set; another password for the same account is another set and is never held back.
// Only binds for the pool (pool.h acquireConnection) are held back, and only when no pooled
// connection of the set serves: a password check or a logon binds because the bind itself is the
// question.
#pragma once
#include "adsi/bind.h"
#include "adsi/endpoint.h"
#include "winerror.h"

namespace winapi::adsi {

struct BackoffLimits {
  int firstSeconds;    // 0: nothing is held back
  int longestSeconds;
};
// From ORVISTAL_BIND_BACKOFF, read once; 5 and 900 when it is not set or not understood.
BackoffLimits backoffLimits();

// S_OK when a bind with these credentials may be tried now; otherwise the status of the refusal
// remembered for them, with its reason and text recorded again for ADsGetLastError.
HRESULT bindHeldBack(const Endpoint& where, const Credentials& credentials);
// Remembers a refusal for the account's password or state; a success forgets the credential set.
// Any other failure (the server did not answer, say) changes nothing. Returns hr.
HRESULT noteBindOutcome(const Endpoint& where, const Credentials& credentials, HRESULT hr);

// After this process wrote an account's password or state (unlocked, enabled, ...): every
// remembered refusal is forgotten, as any of them may now have another answer.
void forgetBindRefusals();

namespace testing {
// Forgets every remembered refusal and uses these limits instead (negative: the configured ones).
void resetBindBackoff(int firstSeconds, int longestSeconds);
}  // namespace testing

}  // namespace winapi::adsi
