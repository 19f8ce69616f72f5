// Whether a text is a whole LDAP path rather than a distinguished name.
#pragma once
#include "platform.h"

// "LDAP://" in any letter case at the start.
inline bool startsWithLdapScheme(const WideString& text) {
  static const WCHAR scheme[] = WIDE("LDAP://");
  if (text.size() < 7) return false;
  for (size_t i = 0; i < 7; ++i) {
    WCHAR c = text[i];
    if (c >= WIDE('a') && c <= WIDE('z')) c = static_cast<WCHAR>(c - WIDE('a') + WIDE('A'));
    if (c != scheme[i]) return false;
  }
  return true;
}
