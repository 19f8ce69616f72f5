// Network account management.
#pragma once
#include "minwindef.h"

typedef DWORD NET_API_STATUS;

#define NERR_Success 0
#define NERR_BASE 2100
#define NERR_UserNotFound (NERR_BASE + 121)
#define NERR_NotPrimary (NERR_BASE + 126)
#define NERR_PasswordExpired (NERR_BASE + 142)
#define NERR_PasswordHistConflict (NERR_BASE + 144)
#define NERR_PasswordTooShort (NERR_BASE + 145)
#define NERR_PasswordTooRecent (NERR_BASE + 146)
#define NERR_InvalidComputer (NERR_BASE + 251)

NET_API_STATUS NetUserChangePassword(LPCWSTR domainname, LPCWSTR username, LPCWSTR oldpassword, LPCWSTR newpassword);
