// The name syntax of each format the name-translation service reads and writes: parsing and
// rendering only, apart from the directory work, so that they can be checked without a server.
#include "adsi/name_syntax.h"

#include "adsi/errors.h"
#include "adsi/path.h"
#include "adsi/text.h"
#include "authz/sid.h"
#include "iads.h"

namespace winapi::adsi {

namespace names {

namespace {

bool parseHexBytes(std::string_view hex, uint8_t* out) {
  for (size_t i = 0; i < hex.size(); i += 2) {
    int high = hexDigitValue(hex[i]);
    int low = hexDigitValue(hex[i + 1]);
    if (high < 0 || low < 0) return false;
    out[i / 2] = static_cast<uint8_t>(high << 4 | low);
  }
  return true;
}

// Pieces of a canonical name split at every '/' that is not written "\/".
std::vector<std::string> splitCanonical(std::string_view text) {
  std::vector<std::string> pieces(1);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '/') {
      pieces.back() += '/';
      ++i;
    } else if (text[i] == '/') {
      pieces.emplace_back();
    } else {
      pieces.back() += text[i];
    }
  }
  return pieces;
}

std::string escapeCanonicalComponent(std::string_view value) {
  std::string out;
  for (char c : value) {
    if (c == '/') out += '\\';
    out += c;
  }
  return out;
}

struct Rdn {
  std::string type;
  std::string value;
};

bool splitDn(std::string_view dn, std::vector<Rdn>* out) {
  std::string rest(dn);
  while (!rest.empty()) {
    std::string rdn, parent, type, value;
    if (!splitFirstRdn(rest, &rdn, &parent) || !splitRdn(rdn, &type, &value)) return false;
    out->push_back({type, value});
    rest = parent;
  }
  return !out->empty();
}

bool hasOnlyHostCharacters(std::string_view host) {
  if (host.empty()) return false;
  return std::none_of(host.begin(), host.end(), [](char c) {
    return c == '/' || c == '@' || c == '\\' || c == ' ' || c == '[' || c == ']' ||
           static_cast<unsigned char>(c) < 0x20;
  });
}

bool parsePort(std::string_view text, int* port) {
  if (text.empty() || text.size() > 5) return false;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  if (value < 1 || value > 65535) return false;
  *port = value;
  return true;
}

bool startsWithSidPrefix(std::string_view name) { return startsWithIgnoreCase(name, "S-1-"); }

}  // namespace

bool parseCanonicalName(std::string_view text, CanonicalName* out) {
  std::vector<std::string> pieces = splitCanonical(text);
  if (pieces.size() < 2 || pieces.front().empty()) return false;
  out->domain = pieces.front();
  out->components.clear();
  // "domain/" is the domain itself; otherwise every component must name something.
  if (pieces.size() == 2 && pieces.back().empty()) return true;
  for (size_t i = 1; i < pieces.size(); ++i) {
    if (pieces[i].empty()) return false;
    out->components.push_back(pieces[i]);
  }
  return true;
}

bool parseCanonicalNameEx(std::string_view text, CanonicalName* out) {
  size_t lineFeed = text.rfind('\n');
  if (lineFeed == std::string_view::npos) return false;
  std::string canonical(text);
  canonical[lineFeed] = '/';
  return parseCanonicalName(canonical, out);
}

bool canonicalNameOfDn(std::string_view dn, std::string* out) {
  std::vector<Rdn> rdns;
  if (!splitDn(dn, &rdns)) return false;
  size_t firstDc = rdns.size();
  while (firstDc > 0 && equalsIgnoreCase(rdns[firstDc - 1].type, "DC")) --firstDc;
  if (firstDc == rdns.size()) return false;
  std::string result;
  for (size_t i = firstDc; i < rdns.size(); ++i) {
    if (i > firstDc) result += '.';
    result += rdns[i].value;
  }
  result += '/';
  for (size_t i = firstDc; i-- > 0;) {
    result += escapeCanonicalComponent(rdns[i].value);
    if (i > 0) result += '/';
  }
  *out = std::move(result);
  return true;
}

std::string canonicalToExtended(std::string_view canonical) {
  std::string out(canonical);
  for (size_t i = out.size(); i-- > 0;) {
    if (out[i] == '/' && (i == 0 || out[i - 1] != '\\')) {
      out[i] = '\n';
      break;
    }
  }
  return out;
}

std::string dnOfDnsName(std::string_view dnsName) {
  std::string dn;
  size_t start = 0;
  while (start <= dnsName.size()) {
    size_t dot = dnsName.find('.', start);
    std::string_view label =
        dnsName.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
    if (!label.empty()) {
      if (!dn.empty()) dn += ',';
      dn += "DC=";
      dn += escapeDnValue(label);
    }
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  return dn;
}

bool parseGuidText(std::string_view text, GuidBytes* out) {
  if (text.size() == 38 && text.front() == '{' && text.back() == '}') text = text.substr(1, 36);
  if (text.size() != 36 || text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-') return false;
  uint8_t data1[4], data2[2], data3[2];
  GuidBytes guid{};
  if (!parseHexBytes(text.substr(0, 8), data1) || !parseHexBytes(text.substr(9, 4), data2) ||
      !parseHexBytes(text.substr(14, 4), data3) || !parseHexBytes(text.substr(19, 4), &guid[8]) ||
      !parseHexBytes(text.substr(24, 12), &guid[10])) {
    return false;
  }
  // The first three fields are numbers written big-endian in text and stored little-endian.
  for (int i = 0; i < 4; ++i) guid[i] = data1[3 - i];
  guid[4] = data2[1];
  guid[5] = data2[0];
  guid[6] = data3[1];
  guid[7] = data3[0];
  *out = guid;
  return true;
}

std::string formatGuid(const GuidBytes& guid) {
  static const char hex[] = "0123456789abcdef";
  static const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  std::string out = "{";
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) out += '-';
    out += hex[guid[order[i]] >> 4];
    out += hex[guid[order[i]] & 0xF];
  }
  out += '}';
  return out;
}

bool parseNt4Name(std::string_view text, std::string* domain, std::string* account) {
  size_t slash = text.find('\\');
  if (slash == std::string_view::npos || slash == 0) return false;
  *domain = std::string(text.substr(0, slash));
  *account = std::string(text.substr(slash + 1));
  return true;
}

bool parsePrincipalName(std::string_view text, std::string* account, std::string* suffix) {
  size_t at = text.rfind('@');
  if (at == std::string_view::npos || at == 0 || at + 1 == text.size()) return false;
  *account = std::string(text.substr(0, at));
  *suffix = std::string(text.substr(at + 1));
  return true;
}

std::string binaryFilterValue(const uint8_t* bytes, size_t size) {
  static const char hex[] = "0123456789abcdef";
  std::string out;
  out.reserve(size * 3);
  for (size_t i = 0; i < size; ++i) {
    out += '\\';
    out += hex[bytes[i] >> 4];
    out += hex[bytes[i] & 0xF];
  }
  return out;
}

std::vector<int> candidateFormats(std::string_view name) {
  std::vector<int> formats;
  GuidBytes guid;
  std::string first, second;
  CanonicalName canonical;
  // Exact identifiers first: they cannot be mistaken for anyone else's name.
  if (name.size() == 38 && name.front() == '{' && parseGuidText(name, &guid)) formats.push_back(ADS_NAME_TYPE_GUID);
  if (startsWithSidPrefix(name)) formats.push_back(ADS_NAME_TYPE_SID_OR_SID_HISTORY_NAME);
  if (name.find('=') != std::string_view::npos && isValidDn(name)) formats.push_back(ADS_NAME_TYPE_1779);
  if (parseNt4Name(name, &first, &second)) formats.push_back(ADS_NAME_TYPE_NT4);
  if (parsePrincipalName(name, &first, &second)) formats.push_back(ADS_NAME_TYPE_USER_PRINCIPAL_NAME);
  if (name.find('\n') != std::string_view::npos && parseCanonicalNameEx(name, &canonical)) {
    formats.push_back(ADS_NAME_TYPE_CANONICAL_EX);
  } else if (parseCanonicalName(name, &canonical)) {
    formats.push_back(ADS_NAME_TYPE_CANONICAL);
  }
  formats.push_back(ADS_NAME_TYPE_DISPLAY);
  return formats;
}

bool parseServerAddress(std::string_view text, Endpoint* out) {
  Endpoint endpoint;
  std::string_view portText;
  if (!text.empty() && text.front() == '[') {
    size_t close = text.find(']');
    if (close == std::string_view::npos) return false;
    endpoint.host = std::string(text.substr(1, close - 1));
    std::string_view rest = text.substr(close + 1);
    if (!rest.empty() && rest.front() != ':') return false;
    if (!rest.empty()) portText = rest.substr(1);
    if (!rest.empty() && portText.empty()) return false;
    if (endpoint.host.empty() || endpoint.host.find_first_not_of("0123456789abcdefABCDEF:.") != std::string::npos)
      return false;
  } else {
    size_t colon = text.find(':');
    if (colon != std::string_view::npos && text.find(':', colon + 1) != std::string_view::npos) return false;
    endpoint.host = std::string(text.substr(0, colon));
    if (colon != std::string_view::npos) {
      portText = text.substr(colon + 1);
      if (portText.empty()) return false;
    }
    if (!hasOnlyHostCharacters(endpoint.host)) return false;
  }
  if (!portText.empty() && !parsePort(portText, &endpoint.port)) return false;
  *out = std::move(endpoint);
  return true;
}

Identity identityFor(std::string_view user, std::string_view domain, bool hasPassword) {
  Identity identity;
  if (user.empty()) {
    // No account: the caller's own identity, unless a password says someone was meant.
    identity.kind = hasPassword ? IdentityKind::Refused : IdentityKind::OwnIdentity;
    return identity;
  }
  // A name with no password would be an LDAP unauthenticated bind, i.e. anonymous success.
  // A NUL would cut the name short on the wire: the server would judge another name.
  bool truncated = user.find('\0') != std::string_view::npos || domain.find('\0') != std::string_view::npos;
  if (!hasPassword || truncated) {
    identity.kind = IdentityKind::Refused;
    return identity;
  }
  identity.kind = IdentityKind::NamedAccount;
  bool complete = user.find('@') != std::string_view::npos || user.find('\\') != std::string_view::npos ||
                  (user.find('=') != std::string_view::npos && isValidDn(user));
  if (complete || domain.empty()) {
    identity.bindName = std::string(user);
  } else if (domain.find('.') != std::string_view::npos) {
    // Windows takes a DNS domain in the domain field; the directory refuses "dns.name\user"
    // but takes the equivalent implicit principal name user@dns.name.
    identity.bindName = std::string(user) + "@" + std::string(domain);
  } else {
    identity.bindName = std::string(domain) + "\\" + std::string(user);
  }
  return identity;
}

HRESULT logonFailureFor(HRESULT bindResult, DWORD serverDataCode) {
  if (bindResult != HRESULT_FROM_WIN32(ERROR_LOGON_FAILURE)) return bindResult;
  switch (serverDataCode) {
    case ERROR_ACCOUNT_RESTRICTION:
    case ERROR_INVALID_LOGON_HOURS:
    case ERROR_INVALID_WORKSTATION:
    case ERROR_PASSWORD_EXPIRED:
    case ERROR_ACCOUNT_DISABLED:
    case ERROR_ACCOUNT_EXPIRED:
    case ERROR_PASSWORD_MUST_CHANGE:
    case ERROR_ACCOUNT_LOCKED_OUT:
      return HRESULT_FROM_WIN32(serverDataCode);
    default:
      // Unknown user (525) and everything else stay the plain logon failure, as on Windows.
      return bindResult;
  }
}

}  // namespace names

}  // namespace winapi::adsi
