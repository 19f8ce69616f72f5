// ADsPaths of the LDAP provider: LDAP://[host[:port]/]name, where name is RootDSE, a
// distinguished name, an extended name (<GUID=..>, <SID=..>, <WKGUID=..,dn>) or schema/<class>.
// Pure functions: everything here can be fed untrusted bytes.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "winerror.h"

namespace winapi::adsi {

enum class PathKind {
  RootDse,      // LDAP://[host/]RootDSE
  Object,       // a distinguished or extended name
  DomainRoot,   // LDAP://host with no name: the server's default naming context
  SchemaClass,  // LDAP://[host/]schema/<class>
};

struct AdsPath {
  std::string host;      // empty: serverless
  int port = 0;          // 0: the default port
  std::string hostPart;  // host[:port] exactly as written, for building paths back
  PathKind kind = PathKind::Object;
  std::string dn;           // PathKind::Object: the name as LDAP takes it ("\/" already undone)
  std::string schemaClass;  // PathKind::SchemaClass
};

// S_OK, or E_ADS_BAD_PATHNAME for anything that is not an LDAP ADsPath of the forms above.
HRESULT parseAdsPath(std::string_view path, AdsPath* out);

// "LDAP://" [hostPart "/"] dn, with '/' in the name escaped as ADSI writes it.
std::string buildAdsPath(std::string_view hostPart, std::string_view dn);
std::string buildSchemaPath(std::string_view hostPart, std::string_view className);

// Syntax of RFC 4514 names: every RDN is type=value, escapes are complete. Extended names
// (<GUID=..> etc.) are checked separately by isValidExtendedName.
bool isValidDn(std::string_view dn);
// The DNS name its trailing DC= components spell, lower case ("" when it ends in none).
std::string dnsDomainOfDn(std::string_view dn);
// A host as a path may name it: letters, digits, '.', '-', '_', or an IPv6 address in brackets.
bool isValidHostName(std::string_view host);
bool isValidExtendedName(std::string_view name);

// Splits off the first RDN. False for an empty name or one that is not a DN.
bool splitFirstRdn(std::string_view dn, std::string* rdn, std::string* parent);
// The RDN's attribute type ("CN" of "CN=x") and its unescaped value.
bool splitRdn(std::string_view rdn, std::string* type, std::string* value);

// Escapes for text the provider builds itself: a filter assertion value (RFC 4515) and an
// attribute value inside a DN (RFC 4514).
std::string escapeFilterValue(std::string_view value);
std::string escapeDnValue(std::string_view value);

}  // namespace winapi::adsi
