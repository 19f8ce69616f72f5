// A Kerberos library context for a machine whose Kerberos configuration and DNS name no KDC of a
// realm: the usual configuration, with the controller the locator chose as the realm's one KDC.
// An AD controller is its domain's KDC, and the Windows locator takes it as one; the locator's
// rules (dc_locator.h) have already decided that the controller stands for the domain.
#pragma once
#include <krb5.h>

#include <string>

#include "adsi/kerberos_owners.h"

namespace winapi::adsi {

krb5_error_code contextWithControllerAsKdc(const std::string& realm, const std::string& controllerHost,
                                           KerberosContext* out);
// The exchange's failure says no KDC of the realm could be found (as opposed to one that was asked).
bool foundNoKdc(krb5_error_code code);

}  // namespace winapi::adsi
