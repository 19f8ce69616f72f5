// One entry per libldap function (ldap_functions.h): a jump through the address that
// ldap_by_name.cpp found, so that every argument, the variadic ones of ber_printf too, reaches the
// real function untouched. The symbols stay inside the shared library (its version script).
#define LDAP_FUNCTION(name, answer)        \
  .globl name;                             \
  .type name, @function;                   \
  name:                                    \
  jmp *orvistalLdapEntry_##name(%rip);     \
  .size name, . - name;

  .text
#include "ldap_functions.h"

  .section .note.GNU-stack, "", @progbits
