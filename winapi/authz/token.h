// Access tokens behind HANDLEs. A token is immutable once made, so a reference taken from
// the handle table stays valid while another thread closes the handle.
//
// createToken is how the logon and process-token code fill a token from the directory.
#pragma once
#include <functional>
#include <memory>
#include <vector>

#include "authz/sid.h"
#include "winnt.h"

namespace authz {

struct TokenGroup {
  SidBytes sid;
  DWORD attributes = SE_GROUP_MANDATORY | SE_GROUP_ENABLED_BY_DEFAULT | SE_GROUP_ENABLED;
};

struct TokenContents {
  SidBytes user;
  DWORD userAttributes = 0;  // SE_GROUP_USE_FOR_DENY_ONLY makes the user SID deny-only
  std::vector<TokenGroup> groups;
  std::vector<LUID_AND_ATTRIBUTES> privileges;
  TOKEN_TYPE type = TokenPrimary;
  SECURITY_IMPERSONATION_LEVEL impersonationLevel = SecurityAnonymous;
};

class Token {
 public:
  explicit Token(TokenContents contents) : contents_(std::move(contents)) {}
  const TokenContents& contents() const { return contents_; }

  // Whether an allow entry for `sid` applies: the user SID, or an enabled group, not deny-only.
  bool matchesForAllow(const BYTE* sid) const;
  // Whether a deny entry for `sid` applies: as for allow, plus deny-only SIDs.
  bool matchesForDeny(const BYTE* sid) const;
  bool privilegeEnabled(DWORD privilegeLuid) const;

 private:
  TokenContents contents_;
};

struct TokenReference {
  std::shared_ptr<const Token> token;
  ACCESS_MASK handleAccess = 0;
};

// Makes a token and a handle to it with the given access. ERROR_INVALID_SID for a malformed
// SID, ERROR_INVALID_PARAMETER for a type or level out of range.
DWORD createToken(TokenContents contents, ACCESS_MASK handleAccess, HANDLE* handle);
// ERROR_INVALID_HANDLE when `handle` is not an open token handle.
DWORD referenceToken(HANDLE handle, TokenReference& reference);
bool closeTokenHandle(HANDLE handle);

// Where OpenProcessToken takes the process's identity from: the account of the process's
// Kerberos credentials unless replaced; a null source leaves the process without one
// (OpenProcessToken then reports ERROR_NO_TOKEN).
using ProcessTokenSource = std::function<DWORD(TokenContents& contents)>;
void setProcessTokenSource(ProcessTokenSource source);

// The calling thread's impersonation token, which OpenThreadToken opens. `handle` must be an
// impersonation token; a null handle stops impersonating.
DWORD setThreadImpersonation(HANDLE handle);

}  // namespace authz
