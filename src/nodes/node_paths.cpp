#include "nodes/node_paths.h"

#include "directory/ldap_scheme.h"

namespace {

size_t firstUnescapedSlash(const WideString& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == WIDE('\\')) {
      ++i;
    } else if (text[i] == WIDE('/')) {
      return i;
    }
  }
  return WideString::npos;
}

}  // namespace

WideString distinguishedNameOfPath(const WideString& path) {
  if (!startsWithLdapScheme(path)) return path;
  WideString rest = path.substr(7);
  size_t slash = firstUnescapedSlash(rest);
  if (slash == WideString::npos) return rest;
  if (rest.find(WIDE('='), 0) < slash) return rest;
  return rest.substr(slash + 1);
}
