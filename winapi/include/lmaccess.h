// Network account management.
#pragma once
#include "lmcons.h"

#ifdef __cplusplus
extern "C" {
#endif

// Changes an account's password with the old one. domainname names a DNS domain or one of its
// domain controllers (empty or null: the default realm of the Kerberos configuration). 0 on
// success, otherwise a positive Win32 or NERR_ code.
NET_API_STATUS NET_API_FUNCTION NetUserChangePassword(LPCWSTR domainname, LPCWSTR username, LPCWSTR oldpassword,
                                                      LPCWSTR newpassword);

#ifdef __cplusplus
}
#endif
