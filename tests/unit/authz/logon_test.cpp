// The pure parts of logons against the directory: which name a logon binds with, and which
// logon error a failed bind becomes.
#include <gtest/gtest.h>

#include "authz/logon.h"
#include "winerror.h"

namespace {

TEST(LogonBindName, PrincipalNamesAloneAndAccountsWithTheirDomain) {
  std::string name;
  EXPECT_TRUE(authz::logonBindName("alice@orvistal.test", "", &name));
  EXPECT_EQ(name, "alice@orvistal.test");
  EXPECT_TRUE(authz::logonBindName("alice", "ORVISTAL", &name));
  EXPECT_EQ(name, "ORVISTAL\\alice");
  EXPECT_FALSE(authz::logonBindName("alice", "", &name)) << "a bare account needs its domain";
  EXPECT_FALSE(authz::logonBindName("ORVISTAL\\alice", "", &name)) << "the domain goes in its own argument";
  EXPECT_FALSE(authz::logonBindName("alice@orvistal.test", "ORVISTAL", &name));
  EXPECT_FALSE(authz::logonBindName("", "ORVISTAL", &name));
  EXPECT_FALSE(authz::logonBindName("@orvistal.test", "", &name));
  EXPECT_FALSE(authz::logonBindName("alice@", "", &name));
}

TEST(LogonError, TheDirectorysReasonWhereItGivesOne) {
  const HRESULT invalidCredentials = HRESULT_FROM_WIN32(ERROR_LOGON_FAILURE);
  EXPECT_EQ(authz::logonErrorOf(invalidCredentials, ERROR_ACCOUNT_DISABLED), static_cast<DWORD>(ERROR_ACCOUNT_DISABLED));
  EXPECT_EQ(authz::logonErrorOf(invalidCredentials, ERROR_ACCOUNT_LOCKED_OUT),
            static_cast<DWORD>(ERROR_ACCOUNT_LOCKED_OUT));
  EXPECT_EQ(authz::logonErrorOf(invalidCredentials, ERROR_PASSWORD_MUST_CHANGE),
            static_cast<DWORD>(ERROR_PASSWORD_MUST_CHANGE));
  // An unknown account reads as a wrong password; an unrelated code gives no reason.
  EXPECT_EQ(authz::logonErrorOf(invalidCredentials, ERROR_NO_SUCH_USER), static_cast<DWORD>(ERROR_LOGON_FAILURE));
  EXPECT_EQ(authz::logonErrorOf(invalidCredentials, 0x80090308u), static_cast<DWORD>(ERROR_LOGON_FAILURE));
  EXPECT_EQ(authz::logonErrorOf(invalidCredentials, 0), static_cast<DWORD>(ERROR_LOGON_FAILURE));
  EXPECT_EQ(authz::logonErrorOf(HRESULT_FROM_WIN32(ERROR_DS_SERVER_DOWN), 0), static_cast<DWORD>(ERROR_NO_LOGON_SERVERS));
  EXPECT_EQ(authz::logonErrorOf(HRESULT_FROM_WIN32(ERROR_TIMEOUT), 0), static_cast<DWORD>(ERROR_NO_LOGON_SERVERS));
  EXPECT_NE(authz::logonErrorOf(E_OUTOFMEMORY, 0), 0u) << "a failed logon never reads as success";
  EXPECT_NE(authz::logonErrorOf(static_cast<HRESULT>(0x80070000), 0), 0u);
}

}  // namespace
