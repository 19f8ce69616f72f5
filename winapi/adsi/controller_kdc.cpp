#include "adsi/controller_kdc.h"

#include <profile.h>

#include <cstdlib>
#include <cstring>

namespace winapi::adsi {

namespace {

// The usual configuration beneath, and the realm's KDC relations over it: [realms] <realm>
// kdc = <host>, and the same host as its primary KDC. Without a primary named here, MIT asks
// DNS for one (URI and _kerberos-master records) after every answer of the KDC, which waits out
// the resolver whenever the DNS server is a DC that stopped answering, and it sends a refused
// password proof again to that primary: one more bad-password count on another controller.
// And the exchange goes over TCP from the first request, as a Windows client's does: a
// controller's answer carries the account's PAC, too large for UDP, so a UDP try makes the KDC
// do the whole work once more (about 5 ms a logon against the test directory).
struct Overlay {
  profile_t base = nullptr;
  std::string realm;
  std::string host;
};

bool namesAKdcRelation(const char* relation) {
  return std::strcmp(relation, "kdc") == 0 || std::strcmp(relation, "primary_kdc") == 0 ||
         std::strcmp(relation, "master_kdc") == 0;
}

// The overlay's value for names, or nullptr where the usual configuration answers.
const char* overlaidValue(const Overlay& overlay, const char* const* names) {
  if (names[0] == nullptr || names[1] == nullptr) return nullptr;
  if (names[2] == nullptr)
    return std::strcmp(names[0], "libdefaults") == 0 && std::strcmp(names[1], "udp_preference_limit") == 0 ? "1"
                                                                                                            : nullptr;
  bool kdcOfTheRealm = names[3] == nullptr && std::strcmp(names[0], "realms") == 0 && overlay.realm == names[1] &&
                       namesAKdcRelation(names[2]);
  return kdcOfTheRealm ? overlay.host.c_str() : nullptr;
}

long overlayValues(void* data, const char* const* names, char*** values) {
  const Overlay& overlay = *static_cast<Overlay*>(data);
  const char* value = overlaidValue(overlay, names);
  if (value == nullptr) return profile_get_values(overlay.base, names, values);
  // Allocated as the profile library allocates, so that one free serves both.
  char** list = static_cast<char**>(std::calloc(2, sizeof(char*)));
  if (list == nullptr) return ENOMEM;
  list[0] = strdup(value);
  if (list[0] == nullptr) {
    std::free(list);
    return ENOMEM;
  }
  *values = list;
  return 0;
}

void freeOverlayValues(void*, char** values) { profile_free_list(values); }

void releaseOverlay(void* data) {
  auto* overlay = static_cast<Overlay*>(data);
  if (overlay->base != nullptr) profile_release(overlay->base);
  delete overlay;
}

// The usual configuration, as a context of the library's own reads it.
long usualProfile(profile_t* out) {
  KerberosContext usual;
  long code = krb5_init_context(usual.put());
  return code != 0 ? code : krb5_get_profile(usual.get(), out);
}

// Each copy of the profile (a context takes one) owns its own overlay.
long copyOverlay(void* data, void** copy) {
  const Overlay& overlay = *static_cast<Overlay*>(data);
  auto* fresh = new Overlay{nullptr, overlay.realm, overlay.host};
  long code = usualProfile(&fresh->base);
  if (code != 0) {
    delete fresh;
    return code;
  }
  *copy = fresh;
  return 0;
}

}  // namespace

krb5_error_code contextWithControllerAsKdc(const std::string& realm, const std::string& kdc,
                                           KerberosContext* out) {
  auto* overlay = new Overlay{nullptr, realm, kdc};
  krb5_error_code code = static_cast<krb5_error_code>(usualProfile(&overlay->base));
  if (code != 0) {
    delete overlay;
    return code;
  }
  profile_vtable vtable{};
  vtable.minor_ver = 1;
  vtable.get_values = overlayValues;
  vtable.free_values = freeOverlayValues;
  vtable.cleanup = releaseOverlay;
  vtable.copy = copyOverlay;
  profile_t profile = nullptr;
  code = profile_init_vtable(&vtable, overlay, &profile);
  if (code != 0) {
    releaseOverlay(overlay);
    return code;
  }
  code = krb5_init_context_profile(profile, 0, out->put());
  profile_release(profile);
  return code;
}

}  // namespace winapi::adsi
