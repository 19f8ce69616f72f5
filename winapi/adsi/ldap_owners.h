// Scope-bound owners of libldap resources: each releases its resource on every path.
// An owner used as an output argument empties itself before lending its address (put()).
#pragma once
#include <ldap.h>

#include <utility>

namespace winapi::adsi {

template <typename Resource, void (*release)(Resource*)>
class LdapOwner {
 public:
  LdapOwner() = default;
  explicit LdapOwner(Resource* resource) : resource_(resource) {}
  ~LdapOwner() { reset(); }
  LdapOwner(const LdapOwner&) = delete;
  LdapOwner& operator=(const LdapOwner&) = delete;
  LdapOwner(LdapOwner&& other) noexcept : resource_(std::exchange(other.resource_, nullptr)) {}
  LdapOwner& operator=(LdapOwner&& other) noexcept {
    if (this != &other) {
      reset();
      resource_ = std::exchange(other.resource_, nullptr);
    }
    return *this;
  }

  Resource* get() const { return resource_; }
  explicit operator bool() const { return resource_ != nullptr; }
  Resource** put() {
    reset();
    return &resource_;
  }
  void reset() {
    if (resource_ != nullptr) release(std::exchange(resource_, nullptr));
  }

 private:
  Resource* resource_ = nullptr;
};

namespace release {
inline void handle(LDAP* ld) { ldap_unbind_ext(ld, nullptr, nullptr); }
inline void message(LDAPMessage* message) { ldap_msgfree(message); }
inline void values(berval** values) { ldap_value_free_len(values); }
inline void string(char* text) { ldap_memfree(text); }
inline void berWalk(BerElement* ber) { ber_free(ber, 0); }
inline void control(LDAPControl* control) { ldap_control_free(control); }
inline void controls(LDAPControl** controls) { ldap_controls_free(controls); }
inline void bervalue(berval* value) { ber_bvfree(value); }
inline void bervalues(berval* values) { ber_memfree(values); }
inline void url(LDAPURLDesc* url) { ldap_free_urldesc(url); }
inline void berElement(BerElement* ber) { ber_free(ber, 1); }
inline void berValues(BerVarray values) { ber_bvarray_free(values); }
}  // namespace release

using LdapHandle = LdapOwner<LDAP, release::handle>;
using LdapMessage = LdapOwner<LDAPMessage, release::message>;
using LdapValues = LdapOwner<berval*, release::values>;
using LdapString = LdapOwner<char, release::string>;
using BerWalk = LdapOwner<BerElement, release::berWalk>;
using LdapControl = LdapOwner<LDAPControl, release::control>;
using LdapControls = LdapOwner<LDAPControl*, release::controls>;
using BerValue = LdapOwner<berval, release::bervalue>;
// The value array ldap_get_attribute_ber gives (its values point into the entry).
using BerValueArray = LdapOwner<berval, release::bervalues>;
using LdapUrl = LdapOwner<LDAPURLDesc, release::url>;
// A BER element with its own buffer (built, or copied from bytes read), freed with it.
using BerElementOwner = LdapOwner<BerElement, release::berElement>;
// Values ber_scanf's "W" allocates.
using BerVarrayOwner = LdapOwner<berval, release::berValues>;

}  // namespace winapi::adsi
