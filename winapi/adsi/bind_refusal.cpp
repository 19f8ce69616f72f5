#include "adsi/bind_refusal.h"

#include <string>

#include "adsi/errors.h"
#include "adsi/text.h"

namespace winapi::adsi {

namespace {

bool namesAccountState(DWORD reason) {
  switch (reason) {
    case ERROR_ACCOUNT_LOCKED_OUT:
    case ERROR_ACCOUNT_DISABLED:
    case ERROR_ACCOUNT_EXPIRED:
    case ERROR_PASSWORD_EXPIRED:
    case ERROR_PASSWORD_MUST_CHANGE:
      return true;
    default:
      return false;
  }
}

}  // namespace

HRESULT failBind(DWORD reason, std::string_view diagnostic) {
  DWORD reported = namesAccountState(reason) ? reason : ERROR_LOGON_FAILURE;
  setLastError(reason != 0 ? reason : reported, toUtf16(diagnostic), u"LDAP Provider");
  return HRESULT_FROM_WIN32(reported);
}

bool isBindRefusal(HRESULT hr) {
  DWORD code = static_cast<DWORD>(HRESULT_CODE(hr));
  return hr == HRESULT_FROM_WIN32(code) && (code == ERROR_LOGON_FAILURE || namesAccountState(code));
}

}  // namespace winapi::adsi
