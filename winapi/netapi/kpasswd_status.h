// What the Kerberos password change (RFC 3244, kpasswd) answers, as the network statuses that
// NetUserChangePassword reports. Pure functions: the texts come from the server.
#pragma once
#include <krb5.h>

#include <string_view>

#include "lm.h"

namespace winapi::netapi {

// A failed Kerberos exchange: getting the change-password ticket with the old password, or
// reaching the password service.
NET_API_STATUS statusOfKerberosError(krb5_error_code code);

// The password service's result code and its result string (text, or a binary policy
// description some servers send with a policy refusal).
NET_API_STATUS statusOfKpasswdResult(int resultCode, std::string_view resultString);

}  // namespace winapi::netapi
