// A Kerberos library context whose one KDC of a realm is the controller the locator chose: the
// usual configuration otherwise. An AD controller is its domain's KDC, and a Windows client's
// Kerberos goes to the DC its locator keeps; the locator's rules (dc_locator.h) have already
// decided that the controller stands for the domain. kdc is the controller's address as its
// connection reached it, or its name.
#pragma once
#include <krb5.h>

#include <string>

#include "adsi/kerberos_owners.h"

namespace winapi::adsi {

krb5_error_code contextWithControllerAsKdc(const std::string& realm, const std::string& kdc,
                                           KerberosContext* out);

}  // namespace winapi::adsi
