#include "authz/token.h"

#include <mutex>
#include <unordered_map>

#include "authz/fail_with.h"
#include "authz/logon.h"
#include "errhandlingapi.h"
#include "handleapi.h"
#include "processthreadsapi.h"
#include "securitybaseapi.h"

namespace authz {

namespace {

bool groupMatches(const TokenGroup& group, const BYTE* sid, DWORD acceptedAttributes) {
  return (group.attributes & acceptedAttributes) != 0 && sameSid(group.sid.data(), sid);
}

class HandleTable {
 public:
  HANDLE add(std::shared_ptr<const Token> token, ACCESS_MASK access) {
    std::lock_guard<std::mutex> lock(mutex_);
    // Handle values are multiples of four and never reused, as on Windows they are never null.
    nextValue_ += 4;
    entries_[nextValue_] = TokenReference{std::move(token), access};
    return reinterpret_cast<HANDLE>(nextValue_);
  }

  bool find(HANDLE handle, TokenReference& reference) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = entries_.find(reinterpret_cast<uintptr_t>(handle));
    if (found == entries_.end()) return false;
    reference = found->second;
    return true;
  }

  bool remove(HANDLE handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_.erase(reinterpret_cast<uintptr_t>(handle)) == 1;
  }

 private:
  std::mutex mutex_;
  uintptr_t nextValue_ = 0x1000;
  std::unordered_map<uintptr_t, TokenReference> entries_;
};

HandleTable& handleTable() {
  static HandleTable table;
  return table;
}

std::mutex processSourceMutex;
ProcessTokenSource processSource = kerberosProcessIdentity;

thread_local std::shared_ptr<const Token> threadImpersonation;

bool validContents(const TokenContents& contents) {
  if (validSidLength(contents.user.data(), contents.user.size()) != contents.user.size()) return false;
  for (const TokenGroup& group : contents.groups)
    if (validSidLength(group.sid.data(), group.sid.size()) != group.sid.size()) return false;
  return true;
}

}  // namespace

bool Token::matchesForAllow(const BYTE* sid) const {
  if ((contents_.userAttributes & SE_GROUP_USE_FOR_DENY_ONLY) == 0 && sameSid(contents_.user.data(), sid)) return true;
  for (const TokenGroup& group : contents_.groups)
    if ((group.attributes & SE_GROUP_USE_FOR_DENY_ONLY) == 0 && groupMatches(group, sid, SE_GROUP_ENABLED)) return true;
  return false;
}

bool Token::matchesForDeny(const BYTE* sid) const {
  if (sameSid(contents_.user.data(), sid)) return true;
  for (const TokenGroup& group : contents_.groups)
    if (groupMatches(group, sid, SE_GROUP_ENABLED | SE_GROUP_USE_FOR_DENY_ONLY)) return true;
  return false;
}

bool Token::privilegeEnabled(DWORD privilegeLuid) const {
  for (const LUID_AND_ATTRIBUTES& privilege : contents_.privileges)
    if (privilege.Luid.LowPart == privilegeLuid && privilege.Luid.HighPart == 0 &&
        (privilege.Attributes & SE_PRIVILEGE_ENABLED) != 0)
      return true;
  return false;
}

DWORD createToken(TokenContents contents, ACCESS_MASK handleAccess, HANDLE* handle) {
  if (handle == nullptr) return ERROR_INVALID_PARAMETER;
  if (!validContents(contents)) return ERROR_INVALID_SID;
  if (contents.type != TokenPrimary && contents.type != TokenImpersonation) return ERROR_INVALID_PARAMETER;
  if (contents.impersonationLevel < SecurityAnonymous || contents.impersonationLevel > SecurityDelegation)
    return ERROR_INVALID_PARAMETER;
  *handle = handleTable().add(std::make_shared<const Token>(std::move(contents)), handleAccess);
  return ERROR_SUCCESS;
}

DWORD referenceToken(HANDLE handle, TokenReference& reference) {
  return handleTable().find(handle, reference) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

bool closeTokenHandle(HANDLE handle) { return handleTable().remove(handle); }

void setProcessTokenSource(ProcessTokenSource source) {
  std::lock_guard<std::mutex> lock(processSourceMutex);
  processSource = std::move(source);
}

DWORD setThreadImpersonation(HANDLE handle) {
  if (handle == nullptr) {
    threadImpersonation.reset();
    return ERROR_SUCCESS;
  }
  TokenReference reference;
  if (referenceToken(handle, reference) != ERROR_SUCCESS) return ERROR_INVALID_HANDLE;
  if (reference.token->contents().type != TokenImpersonation) return ERROR_BAD_TOKEN_TYPE;
  threadImpersonation = reference.token;
  return ERROR_SUCCESS;
}

}  // namespace authz

namespace {

using authz::failWith;

// The pseudo-handles the system returns for "the current process / thread".
HANDLE const currentProcessPseudoHandle = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));
HANDLE const currentThreadPseudoHandle = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-2));

}  // namespace

BOOL CloseHandle(HANDLE object) {
  if (!authz::closeTokenHandle(object)) return failWith(ERROR_INVALID_HANDLE);
  return TRUE;
}

HANDLE GetCurrentProcess() { return currentProcessPseudoHandle; }

HANDLE GetCurrentThread() { return currentThreadPseudoHandle; }

BOOL OpenProcessToken(HANDLE process, DWORD desiredAccess, PHANDLE token) {
  if (token == nullptr) return failWith(ERROR_INVALID_PARAMETER);
  if (process != currentProcessPseudoHandle) return failWith(ERROR_INVALID_HANDLE);
  authz::ProcessTokenSource source;
  {
    std::lock_guard<std::mutex> lock(authz::processSourceMutex);
    source = authz::processSource;
  }
  if (!source) return failWith(ERROR_NO_TOKEN);
  authz::TokenContents contents;
  DWORD status = source(contents);
  if (status != ERROR_SUCCESS) return failWith(status);
  contents.type = TokenPrimary;
  status = authz::createToken(std::move(contents), desiredAccess, token);
  if (status != ERROR_SUCCESS) return failWith(status);
  return TRUE;
}

// openAsSelf only changes whose rights open the token on Windows; the stand-in has no token
// object security, so both ways open the thread's own token.
BOOL OpenThreadToken(HANDLE thread, DWORD desiredAccess, BOOL openAsSelf, PHANDLE token) {
  if (token == nullptr) return failWith(ERROR_INVALID_PARAMETER);
  if (thread != currentThreadPseudoHandle) return failWith(ERROR_INVALID_HANDLE);
  if (!authz::threadImpersonation) return failWith(ERROR_NO_TOKEN);
  *token = authz::handleTable().add(authz::threadImpersonation, desiredAccess);
  return TRUE;
}

BOOL DuplicateToken(HANDLE existingToken, SECURITY_IMPERSONATION_LEVEL level, PHANDLE duplicate) {
  if (duplicate == nullptr) return failWith(ERROR_INVALID_PARAMETER);
  authz::TokenReference reference;
  if (authz::referenceToken(existingToken, reference) != ERROR_SUCCESS) return failWith(ERROR_INVALID_HANDLE);
  if ((reference.handleAccess & TOKEN_DUPLICATE) == 0) return failWith(ERROR_ACCESS_DENIED);
  if (level < SecurityAnonymous || level > SecurityDelegation) return failWith(ERROR_BAD_IMPERSONATION_LEVEL);
  const authz::TokenContents& source = reference.token->contents();
  // An impersonation token cannot be copied to a higher level than its own.
  if (source.type == TokenImpersonation && level > source.impersonationLevel)
    return failWith(ERROR_BAD_IMPERSONATION_LEVEL);
  authz::TokenContents copy = source;
  copy.type = TokenImpersonation;
  copy.impersonationLevel = level;
  DWORD status = authz::createToken(std::move(copy), TOKEN_IMPERSONATE | TOKEN_QUERY, duplicate);
  if (status != ERROR_SUCCESS) return failWith(status);
  return TRUE;
}
