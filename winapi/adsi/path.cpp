#include "adsi/path.h"

#include "adserr.h"
#include "adsi/text.h"

namespace winapi::adsi {

namespace {

bool isHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Positions of the '/' separators that are not escaped by a backslash.
std::vector<size_t> unescapedSlashes(std::string_view text) {
  std::vector<size_t> at;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\') {
      ++i;
      continue;
    }
    if (text[i] == '/') at.push_back(i);
  }
  return at;
}

bool parseHostPart(std::string_view text, AdsPath* out) {
  std::string_view host = text;
  size_t colon = text.rfind(':');
  bool bracketed = !text.empty() && text.front() == '[';
  if (colon != std::string_view::npos && (!bracketed || colon > text.find(']'))) {
    std::string_view port = text.substr(colon + 1);
    if (port.empty() || port.size() > 5) return false;
    int value = 0;
    for (char c : port) {
      if (!isDigit(c)) return false;
      value = value * 10 + (c - '0');
    }
    if (value < 1 || value > 65535) return false;
    out->port = value;
    host = text.substr(0, colon);
  }
  if (!isValidHostName(host)) return false;
  out->host = std::string(host);
  out->hostPart = std::string(text);
  return true;
}

// ADSI escapes '/' inside names as "\/"; LDAP needs no escape for it. Every other escape pair
// stays as written: the "/" after an escaped backslash ("\\/") is not escaped by it.
std::string unescapeSlashes(std::string_view name) {
  std::string dn;
  for (size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '\\' && i + 1 < name.size()) {
      if (name[i + 1] != '/') dn += name[i];
      dn += name[++i];
      continue;
    }
    dn += name[i];
  }
  return dn;
}

bool isValidAttributeType(std::string_view type) {
  if (type.empty()) return false;
  if (isDigit(type[0])) {  // numeric OID
    bool lastDot = true;
    for (char c : type) {
      if (c == '.') {
        if (lastDot) return false;
        lastDot = true;
      } else if (isDigit(c)) {
        lastDot = false;
      } else {
        return false;
      }
    }
    return !lastDot;
  }
  if (!isAlpha(type[0])) return false;
  for (char c : type)
    if (!isAlpha(c) && !isDigit(c) && c != '-') return false;
  return true;
}

std::string_view trimSpaces(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ' && !(text.size() >= 2 && text[text.size() - 2] == '\\'))
    text.remove_suffix(1);
  return text;
}

// One attribute-value assertion "type=value" with complete escapes.
bool isValidAva(std::string_view ava) {
  size_t equals = ava.find('=');
  if (equals == std::string_view::npos) return false;
  if (!isValidAttributeType(trimSpaces(ava.substr(0, equals)))) return false;
  std::string_view value = ava.substr(equals + 1);
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\') continue;
    if (i + 1 >= value.size()) return false;
    if (isHexDigit(value[i + 1])) {
      if (i + 2 >= value.size() || !isHexDigit(value[i + 2])) return false;
      i += 2;
    } else {
      ++i;
    }
  }
  return true;
}

// Hands each part between unescaped occurrences of either separator to visit, in order, until
// one is refused (false). Names are checked on every bind: nothing is copied.
template <typename Visit>
bool everyUnescapedPart(std::string_view text, char first, char second, Visit visit) {
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\') {
      ++i;
      continue;
    }
    if (text[i] == first || text[i] == second) {
      if (!visit(text.substr(start, i - start))) return false;
      start = i + 1;
    }
  }
  return visit(text.substr(start));
}

bool isHexOfLength(std::string_view text, size_t length) {
  if (text.size() != length) return false;
  for (char c : text)
    if (!isHexDigit(c)) return false;
  return true;
}

bool isDashedGuid(std::string_view text) {
  if (text.size() != 36) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    if (dash ? text[i] != '-' : !isHexDigit(text[i])) return false;
  }
  return true;
}

bool isSidText(std::string_view text) {
  if (!startsWithIgnoreCase(text, "S-1-") || text.size() < 5) return false;
  bool lastDash = false;
  for (char c : text.substr(4)) {
    if (c == '-') {
      if (lastDash) return false;
      lastDash = true;
    } else if (isDigit(c)) {
      lastDash = false;
    } else {
      return false;
    }
  }
  return !lastDash;
}

}  // namespace

bool isValidHostName(std::string_view host) {
  if (host.empty() || host.size() > 255) return false;
  if (host.front() == '[') {  // an IPv6 literal
    if (host.back() != ']' || host.size() < 3) return false;
    for (char c : host.substr(1, host.size() - 2))
      if (!isHexDigit(c) && c != ':' && c != '.') return false;
    return true;
  }
  for (char c : host)
    if (!isAlpha(c) && !isDigit(c) && c != '.' && c != '-' && c != '_') return false;
  return true;
}

bool isValidDn(std::string_view dn) {
  if (dn.empty()) return false;
  return everyUnescapedPart(dn, ',', ';', [](std::string_view rdn) {
    return everyUnescapedPart(rdn, '+', '+', [](std::string_view ava) { return isValidAva(trimSpaces(ava)); });
  });
}

bool isValidExtendedName(std::string_view name) {
  if (name.size() < 3 || name.front() != '<' || name.back() != '>') return false;
  std::string_view inner = name.substr(1, name.size() - 2);
  if (startsWithIgnoreCase(inner, "GUID=")) {
    std::string_view guid = inner.substr(5);
    return isHexOfLength(guid, 32) || isDashedGuid(guid);
  }
  if (startsWithIgnoreCase(inner, "SID=")) {
    std::string_view sid = inner.substr(4);
    return isSidText(sid) ||
           (sid.size() >= 16 && sid.size() <= 136 && sid.size() % 2 == 0 && isHexOfLength(sid, sid.size()));
  }
  if (startsWithIgnoreCase(inner, "WKGUID=")) {
    std::string_view rest = inner.substr(7);
    size_t comma = rest.find(',');
    return comma == 32 && isHexOfLength(rest.substr(0, 32), 32) && isValidDn(rest.substr(33));
  }
  return false;
}

HRESULT parseAdsPath(std::string_view path, AdsPath* out) {
  *out = AdsPath();
  // The provider's name is case-sensitive, as ADSI's namespace look-up is.
  constexpr std::string_view scheme = "LDAP://";
  if (path.substr(0, scheme.size()) != scheme) return E_ADS_BAD_PATHNAME;
  std::string_view rest = path.substr(scheme.size());
  if (rest.empty()) return E_ADS_BAD_PATHNAME;

  std::vector<size_t> slashes = unescapedSlashes(rest);
  std::string_view first = slashes.empty() ? rest : rest.substr(0, slashes[0]);
  bool firstIsName = first.find('=') != std::string_view::npos || first.front() == '<' ||
                     equalsIgnoreCase(first, "RootDSE") || equalsIgnoreCase(first, "schema");
  std::string_view name = rest;
  if (!firstIsName) {
    if (!parseHostPart(first, out)) return E_ADS_BAD_PATHNAME;
    if (slashes.empty()) {
      out->kind = PathKind::DomainRoot;
      return S_OK;
    }
    name = rest.substr(slashes[0] + 1);
  }
  if (name.empty()) return E_ADS_BAD_PATHNAME;

  if (equalsIgnoreCase(name, "RootDSE")) {
    out->kind = PathKind::RootDse;
    return S_OK;
  }
  if (startsWithIgnoreCase(name, "schema/")) {
    std::string_view className = name.substr(7);
    if (!isValidAttributeType(className) || isDigit(className[0])) return E_ADS_BAD_PATHNAME;
    out->kind = PathKind::SchemaClass;
    out->schemaClass = std::string(className);
    return S_OK;
  }
  if (name.front() == '<') {
    if (!isValidExtendedName(name)) return E_ADS_BAD_PATHNAME;
    out->kind = PathKind::Object;
    out->dn = std::string(name);
    return S_OK;
  }
  std::string dn = unescapeSlashes(name);
  if (!isValidDn(dn)) return E_ADS_BAD_PATHNAME;
  out->kind = PathKind::Object;
  out->dn = std::move(dn);
  return S_OK;
}

std::string buildAdsPath(std::string_view hostPart, std::string_view dn) {
  std::string path = "LDAP://";
  if (!hostPart.empty()) {
    path += hostPart;
    if (!dn.empty()) path += '/';
  }
  for (char c : dn) {
    if (c == '/') path += '\\';
    path += c;
  }
  return path;
}

std::string buildSchemaPath(std::string_view hostPart, std::string_view className) {
  std::string path = "LDAP://";
  if (!hostPart.empty()) {
    path += hostPart;
    path += '/';
  }
  path += "schema/";
  path += className;
  return path;
}

bool splitFirstRdn(std::string_view dn, std::string* rdn, std::string* parent) {
  if (dn.empty() || dn.front() == '<') return false;
  for (size_t i = 0; i < dn.size(); ++i) {
    if (dn[i] == '\\') {
      ++i;
      continue;
    }
    if (dn[i] == ',' || dn[i] == ';') {
      *rdn = std::string(trimSpaces(dn.substr(0, i)));
      *parent = std::string(trimSpaces(dn.substr(i + 1)));
      return !rdn->empty();
    }
  }
  *rdn = std::string(trimSpaces(dn));
  parent->clear();
  return !rdn->empty();
}

bool splitRdn(std::string_view rdn, std::string* type, std::string* value) {
  size_t equals = rdn.find('=');
  if (equals == std::string_view::npos) return false;
  *type = std::string(trimSpaces(rdn.substr(0, equals)));
  std::string_view raw = trimSpaces(rdn.substr(equals + 1));
  value->clear();
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] != '\\' || i + 1 >= raw.size()) {
      *value += raw[i];
      continue;
    }
    if (i + 2 < raw.size() && isHexDigit(raw[i + 1]) && isHexDigit(raw[i + 2])) {
      *value += static_cast<char>(std::stoi(std::string(raw.substr(i + 1, 2)), nullptr, 16));
      i += 2;
    } else {
      *value += raw[++i];
    }
  }
  return !type->empty();
}

std::string escapeFilterValue(std::string_view value) {
  static const char hex[] = "0123456789abcdef";
  std::string out;
  for (char c : value) {
    unsigned char u = static_cast<unsigned char>(c);
    if (c == '*' || c == '(' || c == ')' || c == '\\' || u == 0) {
      out += '\\';
      out += hex[u >> 4];
      out += hex[u & 0xF];
    } else {
      out += c;
    }
  }
  return out;
}

std::string escapeDnValue(std::string_view value) {
  std::string out;
  for (size_t i = 0; i < value.size(); ++i) {
    char c = value[i];
    unsigned char u = static_cast<unsigned char>(c);
    bool special = c == ',' || c == '+' || c == '"' || c == '\\' || c == '<' || c == '>' || c == ';' || c == '=';
    bool edgeSpace = c == ' ' && (i == 0 || i + 1 == value.size());
    bool leadingHash = c == '#' && i == 0;
    if (u == 0) {
      out += "\\00";
    } else if (special || edgeSpace || leadingHash) {
      out += '\\';
      out += c;
    } else {
      out += c;
    }
  }
  return out;
}

std::string dnsDomainOfDn(std::string_view dn) {
  std::string rest(dn), rdn, parent, type, value, domain;
  while (!rest.empty() && splitFirstRdn(rest, &rdn, &parent)) {
    if (splitRdn(rdn, &type, &value) && equalsIgnoreCase(type, "DC") && !value.empty()) {
      if (!domain.empty()) domain += '.';
      domain += toLowerAscii(value);
    } else {
      domain.clear();  // only the trailing run of DC= components counts
    }
    rest = parent;
  }
  return domain;
}

}  // namespace winapi::adsi
