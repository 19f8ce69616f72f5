// How the Kerberos password change's answers become network statuses.
#include <gtest/gtest.h>

#include <cerrno>

#include "netapi/kpasswd_status.h"
#include "winerror.h"

using winapi::netapi::statusOfKerberosError;
using winapi::netapi::statusOfKpasswdResult;

TEST(KpasswdStatus, KerberosRefusalsOfTheOldPasswordAndTheAccount) {
  EXPECT_EQ(statusOfKerberosError(0), static_cast<NET_API_STATUS>(NERR_Success));
  EXPECT_EQ(statusOfKerberosError(KRB5KDC_ERR_PREAUTH_FAILED), static_cast<NET_API_STATUS>(ERROR_INVALID_PASSWORD));
  EXPECT_EQ(statusOfKerberosError(KRB5KRB_AP_ERR_BAD_INTEGRITY), static_cast<NET_API_STATUS>(ERROR_INVALID_PASSWORD));
  EXPECT_EQ(statusOfKerberosError(KRB5KDC_ERR_C_PRINCIPAL_UNKNOWN), static_cast<NET_API_STATUS>(NERR_UserNotFound));
  EXPECT_EQ(statusOfKerberosError(KRB5KDC_ERR_CLIENT_REVOKED), static_cast<NET_API_STATUS>(ERROR_ACCOUNT_LOCKED_OUT));
  EXPECT_EQ(statusOfKerberosError(KRB5KDC_ERR_KEY_EXP), static_cast<NET_API_STATUS>(NERR_PasswordExpired));
  EXPECT_EQ(statusOfKerberosError(KRB5KDC_ERR_POLICY), static_cast<NET_API_STATUS>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(statusOfKerberosError(KRB5KRB_AP_ERR_SKEW), static_cast<NET_API_STATUS>(ERROR_TIME_SKEW));
}

TEST(KpasswdStatus, UnknownDomainsAndUnreachableServices) {
  for (krb5_error_code code : {KRB5_REALM_UNKNOWN, KRB5_REALM_CANT_RESOLVE, KRB5_CONFIG_NODEFREALM})
    EXPECT_EQ(statusOfKerberosError(code), static_cast<NET_API_STATUS>(NERR_InvalidComputer)) << code;
  for (krb5_error_code code : {static_cast<krb5_error_code>(KRB5_KDC_UNREACH), static_cast<krb5_error_code>(ECONNREFUSED),
                               static_cast<krb5_error_code>(ETIMEDOUT)})
    EXPECT_EQ(statusOfKerberosError(code), static_cast<NET_API_STATUS>(RPC_S_SERVER_UNAVAILABLE)) << code;
  EXPECT_EQ(statusOfKerberosError(KRB5KDC_ERR_S_PRINCIPAL_UNKNOWN), static_cast<NET_API_STATUS>(ERROR_NOT_SUPPORTED));
  EXPECT_EQ(statusOfKerberosError(KRB5_BAD_ENCTYPE), static_cast<NET_API_STATUS>(NERR_InternalError))
      << "an error without a meaning of its own is a failure, never success";
}

TEST(KpasswdStatus, ResultCodesAndTheServersTexts) {
  EXPECT_EQ(statusOfKpasswdResult(0, "Password changed"), static_cast<NET_API_STATUS>(NERR_Success));
  // Every policy refusal, worded or sent as a binary policy description.
  EXPECT_EQ(statusOfKpasswdResult(4, "Password too short, password must be at least 7 characters long."),
            static_cast<NET_API_STATUS>(NERR_PasswordTooShort));
  EXPECT_EQ(statusOfKpasswdResult(4, std::string_view("\0\0\0\0\0\x07\0\0\0\x18", 10)),
            static_cast<NET_API_STATUS>(NERR_PasswordTooShort));
  EXPECT_EQ(statusOfKpasswdResult(4, ""), static_cast<NET_API_STATUS>(NERR_PasswordTooShort));
  EXPECT_EQ(statusOfKpasswdResult(5, "No such user when changing password"),
            static_cast<NET_API_STATUS>(NERR_UserNotFound));
  EXPECT_EQ(statusOfKpasswdResult(5, "Not permitted to change password"),
            static_cast<NET_API_STATUS>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(statusOfKpasswdResult(2, "Failed to set password: NT_STATUS_ACCOUNT_LOCKED_OUT"),
            static_cast<NET_API_STATUS>(ERROR_ACCOUNT_LOCKED_OUT));
  EXPECT_EQ(statusOfKpasswdResult(2, "Failed to set password: NT_STATUS_PASSWORD_RESTRICTION"),
            static_cast<NET_API_STATUS>(NERR_PasswordTooShort));
  EXPECT_EQ(statusOfKpasswdResult(2, "Failed to set password: NT_STATUS_INTERNAL_DB_CORRUPTION"),
            static_cast<NET_API_STATUS>(NERR_InternalError));
  EXPECT_EQ(statusOfKpasswdResult(3, ""), static_cast<NET_API_STATUS>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(statusOfKpasswdResult(7, ""), static_cast<NET_API_STATUS>(ERROR_ACCESS_DENIED));
  for (int code : {1, 6, 99, -1})
    EXPECT_EQ(statusOfKpasswdResult(code, "Password changed"), static_cast<NET_API_STATUS>(NERR_InternalError)) << code;
}
