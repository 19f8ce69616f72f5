#include "directory/ldap_filter.h"

WideString escapeFilterValue(const WideString& value) {
  WideString escaped;
  escaped.reserve(value.size());
  for (WCHAR c : value) {
    switch (c) {
      case WIDE('*'): escaped += WIDE("\\2a"); break;
      case WIDE('('): escaped += WIDE("\\28"); break;
      case WIDE(')'): escaped += WIDE("\\29"); break;
      case WIDE('\\'): escaped += WIDE("\\5c"); break;
      case 0: escaped += WIDE("\\00"); break;
      default: escaped += c; break;
    }
  }
  return escaped;
}
