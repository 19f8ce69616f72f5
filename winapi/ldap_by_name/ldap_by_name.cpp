// Finds OpenLDAP's libldap at load time by the names distributions give it, instead of the one
// name a link would record: Debian 12 and Ubuntu 22.04 ship libldap-2.5.so.0, OpenLDAP 2.6 and
// later (Debian 13, Ubuntu 24.04, Fedora, Arch) libldap.so.2, and each versions its symbols
// differently. The addresses are looked up unversioned, so either serves; liblber's functions
// come from libldap's own dependency.
#include <dlfcn.h>

#include <cstddef>

namespace {

const char* const libraryNames[] = {"libldap-2.5.so.0", "libldap.so.2"};

// What a call gets when no libldap was found: the connection is never made (LDAP_LOCAL_ERROR,
// 0x8007203B to the caller), and the error text says why.
enum class Answer { localError, tagError, none, text };
long localErrorAnswer() { return -2; }
long tagErrorAnswer() { return -1; }
void* noneAnswer() { return nullptr; }
const char* textAnswer() { return "OpenLDAP's libldap was not found (libldap-2.5.so.0 or libldap.so.2)"; }

void* missing(Answer answer) {
  switch (answer) {
    case Answer::localError:
      return reinterpret_cast<void*>(&localErrorAnswer);
    case Answer::tagError:
      return reinterpret_cast<void*>(&tagErrorAnswer);
    case Answer::text:
      return reinterpret_cast<void*>(&textAnswer);
    case Answer::none:
      break;
  }
  return reinterpret_cast<void*>(&noneAnswer);
}

}  // namespace

extern "C" {

// LDAP_OPT_ON is the address of this lber variable; any non-null address means on.
__attribute__((visibility("hidden"))) char ber_pvt_opt_on;

#define LDAP_FUNCTION(name, answer) __attribute__((visibility("hidden"))) void* orvistalLdapEntry_##name;
#include "ldap_functions.h"
#undef LDAP_FUNCTION
}

namespace {

// Constant data, ready before any code of the library runs.
struct Entry {
  const char* name;
  void** address;
  Answer answer;
};

constexpr Entry entries[] = {
#define LDAP_FUNCTION(name, answer) {#name, &orvistalLdapEntry_##name, Answer::answer},
#include "ldap_functions.h"
#undef LDAP_FUNCTION
};
constexpr size_t entryCount = sizeof(entries) / sizeof(entries[0]);

// All of a library's functions or none: a library that lacks one is not used.
bool takeFrom(void* library) {
  void* found[entryCount];
  for (size_t i = 0; i < entryCount; ++i) {
    found[i] = dlsym(library, entries[i].name);
    if (found[i] == nullptr) return false;
  }
  for (size_t i = 0; i < entryCount; ++i) *entries[i].address = found[i];
  return true;
}

// Runs when the shared library is loaded, before any native method can be called and before the
// library's own static initialisers (which run at the default priority).
__attribute__((constructor(101))) void findLdap() {
  for (const Entry& entry : entries) *entry.address = missing(entry.answer);
  for (const char* name : libraryNames) {
    // Kept loaded for the life of the process, as a linked library would be.
    void* library = dlopen(name, RTLD_NOW | RTLD_LOCAL);
    if (library != nullptr && takeFrom(library)) return;
    if (library != nullptr) dlclose(library);
  }
}

}  // namespace
