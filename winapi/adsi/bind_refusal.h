// Why the directory refused an account's bind.
//
// Every path that binds with a password — the settings' account, a password check, a logon, a
// password change — reports a refusal through failBind with the Win32 reason behind it (the sub-code
// of an AD simple bind's "data 775", or what the KDC said of the account), so that every native
// gives the same status for the same account state, as the Windows build's secure bind does.
#pragma once
#include <string_view>

#include "minwindef.h"
#include "winerror.h"

namespace winapi::adsi {

// Records the refusal for ADsGetLastError (reason and the server's text) and returns the status the
// natives report: HRESULT_FROM_WIN32 of the reason when it names the account's state (locked,
// disabled, expired, password expired, must change), else the logon failure.
HRESULT failBind(DWORD reason, std::string_view diagnostic);

// Whether hr is a status failBind gives: the directory refused the account, not the request.
bool isBindRefusal(HRESULT hr);

}  // namespace winapi::adsi
