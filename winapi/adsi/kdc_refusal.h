// What a KDC's refusal of an initial ticket says of the account, as the Win32 reason that a
// refused bind reports (bind_refusal.h). Pure functions over the KDC's bytes.
#pragma once
#include <cstdint>
#include <string_view>

#include "minwindef.h"

namespace winapi::adsi {

// The NTSTATUS that Active Directory and Samba put in a KRB-ERROR's e-data: a METHOD-DATA whose
// PA-PW-SALT entry holds 12 bytes (the status, little-endian, then two words), or a
// KERB-ERROR-DATA of the extended-error type holding the same 12 bytes. 0 when the bytes hold
// none, or are not DER as the KDC writes it.
uint32_t ntstatusOfKdcErrorData(std::string_view eData);

// Whether a KDC's error number refuses the account itself (unknown, locked, disabled, expired,
// outside its hours, a wrong or expired password), not the request or the KDC.
bool refusesTheAccount(int kdcError);

// The reason for a refused initial-ticket request: from the NTSTATUS when the KDC sent one,
// else from the KDC's error number (the protocol's, e.g. 24 for a failed pre-authentication).
// A refusal that names no state of the account is the logon failure.
DWORD reasonOfKdcRefusal(int kdcError, uint32_t ntstatus);

}  // namespace winapi::adsi
