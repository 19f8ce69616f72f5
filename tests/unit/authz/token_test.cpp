// Tokens as handles: duplication, closing, the thread and process tokens, and the handle
// table under concurrent use.
#include <atomic>
#include <thread>

#include "authz_test_support.h"
#include "processthreadsapi.h"

using namespace authz_test;

TEST(TokenHandles, DuplicateTokenMakesAnImpersonationTokenAtTheGivenLevel) {
  TokenShape shape;
  shape.type = TokenPrimary;
  UniqueHandle primary = makeToken(shape);
  UniqueHandle copy;
  ASSERT_TRUE(DuplicateToken(primary.get(), SecurityImpersonation, copy.put()));
  EXPECT_NE(copy.get(), primary.get());
  authz::TokenReference reference;
  ASSERT_EQ(authz::referenceToken(copy.get(), reference), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(reference.token->contents().type, TokenImpersonation);
  EXPECT_EQ(reference.token->contents().impersonationLevel, SecurityImpersonation);
  EXPECT_EQ(reference.handleAccess, static_cast<ACCESS_MASK>(TOKEN_IMPERSONATE | TOKEN_QUERY));
  EXPECT_EQ(authz::sidToText(reference.token->contents().user.data()), kUser);
}

TEST(TokenHandles, DuplicatingNeedsTokenDuplicateAccess) {
  TokenShape shape;
  shape.handleAccess = TOKEN_QUERY;
  UniqueHandle token = makeToken(shape);
  UniqueHandle copy;
  EXPECT_FALSE(DuplicateToken(token.get(), SecurityImpersonation, copy.put()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST(TokenHandles, AnImpersonationTokenCannotBeRaisedAboveItsLevel) {
  TokenShape shape;
  shape.level = SecurityIdentification;
  UniqueHandle token = makeToken(shape);
  UniqueHandle copy;
  EXPECT_FALSE(DuplicateToken(token.get(), SecurityImpersonation, copy.put()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_IMPERSONATION_LEVEL));
  EXPECT_TRUE(DuplicateToken(token.get(), SecurityIdentification, copy.put()));
}

TEST(TokenHandles, TheCopyOutlivesTheOriginalHandle) {
  UniqueHandle copy;
  {
    UniqueHandle original = makeToken(TokenShape{});
    ASSERT_TRUE(DuplicateToken(original.get(), SecurityImpersonation, copy.put()));
  }
  LocalBlock descriptor = descriptorFrom("O:BAG:BAD:(A;;RP;;;WD)");
  CheckResult result = checkAccess(descriptor.get(), copy.get(), ACTRL_DS_READ_PROP);
  EXPECT_TRUE(result.succeeded);
  EXPECT_EQ(result.status, 0u);
}

TEST(TokenHandles, CloseHandleRefusesUnknownAndClosedHandles) {
  HANDLE handle = nullptr;
  {
    UniqueHandle token = makeToken(TokenShape{});
    handle = token.get();
  }
  EXPECT_FALSE(CloseHandle(handle));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(CloseHandle(nullptr));
  EXPECT_FALSE(DuplicateToken(handle, SecurityImpersonation, &handle));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(TokenHandles, MalformedContentsAreRefused) {
  authz::TokenContents contents;
  contents.user = {1, 2, 0, 0, 0, 0, 0, 5, 21, 0, 0, 0};  // claims two sub-authorities, holds one
  HANDLE handle = nullptr;
  EXPECT_EQ(authz::createToken(contents, TOKEN_QUERY, &handle), static_cast<DWORD>(ERROR_INVALID_SID));
  contents.user = sidFrom(kUser);
  contents.groups.push_back({authz::SidBytes{1, 0, 0, 0, 0, 0, 0}});
  EXPECT_EQ(authz::createToken(contents, TOKEN_QUERY, &handle), static_cast<DWORD>(ERROR_INVALID_SID));
}

TEST(ThreadToken, NoImpersonationMeansNoThreadToken) {
  HANDLE token = nullptr;
  EXPECT_FALSE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY | TOKEN_DUPLICATE, TRUE, &token));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_TOKEN));
}

TEST(ThreadToken, AnImpersonatingThreadOpensItsOwnTokenOnly) {
  UniqueHandle impersonation = makeToken(TokenShape{});
  ASSERT_EQ(authz::setThreadImpersonation(impersonation.get()), static_cast<DWORD>(ERROR_SUCCESS));
  UniqueHandle opened;
  EXPECT_TRUE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY | TOKEN_DUPLICATE, TRUE, opened.put()));
  DWORD otherThreadError = 0;
  std::thread([&] {
    HANDLE token = nullptr;
    OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token);
    otherThreadError = GetLastError();
  }).join();
  EXPECT_EQ(otherThreadError, static_cast<DWORD>(ERROR_NO_TOKEN));
  UniqueHandle copy;
  EXPECT_TRUE(DuplicateToken(opened.get(), SecurityImpersonation, copy.put()));
  authz::setThreadImpersonation(nullptr);
}

TEST(ThreadToken, APrimaryTokenCannotBeImpersonated) {
  TokenShape shape;
  shape.type = TokenPrimary;
  UniqueHandle primary = makeToken(shape);
  EXPECT_EQ(authz::setThreadImpersonation(primary.get()), static_cast<DWORD>(ERROR_BAD_TOKEN_TYPE));
}

TEST(ProcessToken, WithoutAnIdentitySourceThereIsNoProcessToken) {
  authz::setProcessTokenSource(nullptr);
  HANDLE token = nullptr;
  EXPECT_FALSE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_TOKEN));
}

TEST(ProcessToken, TheSourceFillsAPrimaryToken) {
  authz::setProcessTokenSource([](authz::TokenContents& contents) {
    contents.user = authz::makeSid(5, {21, 1000, 2000, 3000, 1105});
    contents.groups.push_back({authz::wellknown::everyone()});
    contents.type = TokenImpersonation;  // overridden: a process token is always primary
    return static_cast<DWORD>(ERROR_SUCCESS);
  });
  UniqueHandle token;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE, token.put()));
  authz::TokenReference reference;
  ASSERT_EQ(authz::referenceToken(token.get(), reference), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(reference.token->contents().type, TokenPrimary);
  EXPECT_FALSE(OpenProcessToken(reinterpret_cast<HANDLE>(0x1234), TOKEN_QUERY, token.put()));
  authz::setProcessTokenSource(nullptr);
}

TEST(LastError, EachThreadKeepsItsOwn) {
  SetLastError(ERROR_INVALID_SID);
  DWORD seenByOtherThread = 1;
  std::thread([&] {
    seenByOtherThread = GetLastError();
    SetLastError(ERROR_INVALID_ACL);
  }).join();
  EXPECT_EQ(seenByOtherThread, 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_SID));
}

// Threads create, check, duplicate and close tokens at once; every handle stays usable until
// its own thread closes it.
TEST(TokenHandles, TheHandleTableIsSafeUnderConcurrentUse) {
  LocalBlock descriptor = descriptorFrom("O:BAG:BAD:(A;;RP;;;WD)");
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 200; ++i) {
        UniqueHandle token = makeToken(TokenShape{});
        UniqueHandle copy;
        if (!DuplicateToken(token.get(), SecurityImpersonation, copy.put())) ++failures;
        CheckResult result = checkAccess(descriptor.get(), copy.get(), ACTRL_DS_READ_PROP);
        if (!result.succeeded || result.status != 0) ++failures;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
}
