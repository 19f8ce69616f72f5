// Network management status codes (beside the Win32 codes of winerror.h).
#pragma once

#define NERR_Success 0
#define NERR_BASE 2100
#define NERR_InternalError (NERR_BASE + 40)
#define NERR_UserNotFound (NERR_BASE + 121)
#define NERR_NotPrimary (NERR_BASE + 126)
#define NERR_PasswordExpired (NERR_BASE + 142)
#define NERR_PasswordHistConflict (NERR_BASE + 144)
#define NERR_PasswordTooShort (NERR_BASE + 145)
#define NERR_PasswordTooRecent (NERR_BASE + 146)
#define NERR_InvalidComputer (NERR_BASE + 251)
