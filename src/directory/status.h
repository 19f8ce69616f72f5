// Status conventions: HRESULTs flow through early returns and only a negative status stops
// an operation; positive statuses such as S_ADS_NOMORE_ROWS pass on as successes.
#pragma once
#include "platform.h"

// An attribute exists but its value has a type the operation does not accept.
constexpr HRESULT VALUE_TYPE_MISMATCH = 8255;

// A name that names no object (ERROR_DS_NO_SUCH_OBJECT); also the answer for a name that could
// not be sent whole.
inline const HRESULT DS_NO_SUCH_OBJECT = HRESULT_FROM_WIN32(ERROR_DS_NO_SUCH_OBJECT);

// An account or password the directory does not accept (ERROR_LOGON_FAILURE).
inline const HRESULT LOGON_FAILURE = HRESULT_FROM_WIN32(ERROR_LOGON_FAILURE);

// Raised when a string, BSTR or VARIANT cannot be built, or an array copy fails; the native
// entry points turn it into their failure value, so it never reaches the JVM.
struct StatusError {
  HRESULT status;
};

[[noreturn]] inline void raiseStatus(HRESULT status) { throw StatusError{status}; }

#define RETURN_IF_FAILED(expression)          \
  do {                                        \
    const HRESULT status_ = (expression);     \
    if (FAILED(status_)) return status_;      \
  } while (false)
