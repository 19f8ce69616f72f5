#include "directory/server_setting.h"

namespace {

const WideString urlMark = WIDE("://");

WCHAR lowerAscii(WCHAR c) { return c >= WIDE('A') && c <= WIDE('Z') ? static_cast<WCHAR>(c - WIDE('A') + WIDE('a')) : c; }

bool sameIgnoringCase(const WideString& text, const WCHAR* lowerWord) {
  size_t i = 0;
  for (; lowerWord[i] != 0; ++i) {
    if (i == text.size() || lowerAscii(text[i]) != lowerWord[i]) return false;
  }
  return i == text.size();
}

// Decimal 1..65535, nothing else (no sign, no spaces).
bool isPort(const WideString& text) {
  if (text.empty() || text.size() > 5) return false;
  unsigned long value = 0;
  for (WCHAR c : text) {
    if (c < WIDE('0') || c > WIDE('9')) return false;
    value = value * 10 + static_cast<unsigned long>(c - WIDE('0'));
  }
  return value >= 1 && value <= 65535;
}

// A name or an address: none of the characters that would start another part of a URL, or a
// percent escape, which a path's host part would not undo.
bool isHostName(const WideString& text) {
  if (text.empty()) return false;
  for (WCHAR c : text) {
    if (c == WIDE(':') || c == WIDE('/') || c == WIDE('?') || c == WIDE('#') || c == WIDE('@') ||
        c == WIDE('%') || c == WIDE('[') || c == WIDE(']') || c == WIDE(' ') || c == 0)
      return false;
  }
  return true;
}

// Splits "host[:port]" or "[v6 address][:port]"; false when neither shape fits.
bool splitAuthority(const WideString& authority, WideString* host, WideString* port) {
  size_t hostEnd;
  if (!authority.empty() && authority[0] == WIDE('[')) {
    size_t close = authority.find(WIDE(']'));
    if (close == WideString::npos || close == 1) return false;
    *host = authority.substr(0, close + 1);
    if (authority.substr(1, close - 1).find_first_not_of(WIDE("0123456789abcdefABCDEF:.")) != WideString::npos)
      return false;
    hostEnd = close + 1;
  } else {
    hostEnd = authority.find(WIDE(':'));
    if (hostEnd == WideString::npos) hostEnd = authority.size();
    *host = authority.substr(0, hostEnd);
    if (!isHostName(*host)) return false;
  }
  if (hostEnd == authority.size()) return true;
  if (authority[hostEnd] != WIDE(':')) return false;
  *port = authority.substr(hostEnd + 1);
  return isPort(*port);
}

}  // namespace

HRESULT serverPathHost(const WideString& setting, WideString* host) {
  size_t mark = setting.find(urlMark);
  if (mark == WideString::npos) {
    *host = setting;
    return S_OK;
  }
  WideString scheme = setting.substr(0, mark);
  bool ldaps = sameIgnoringCase(scheme, WIDE("ldaps"));
  if (!ldaps && !sameIgnoringCase(scheme, WIDE("ldap"))) return E_ADS_BAD_PATHNAME;

  WideString rest = setting.substr(mark + urlMark.size());
  // A lone "/" after the host names no entry and is dropped; a path, query or fragment is refused.
  size_t authorityEnd = rest.find_first_of(WIDE("/?#"));
  if (authorityEnd != WideString::npos && rest.substr(authorityEnd) != WIDE("/")) return E_ADS_BAD_PATHNAME;
  WideString authority = rest.substr(0, authorityEnd);
  if (authority.find(WIDE('@')) != WideString::npos) return E_ADS_BAD_PATHNAME;

  WideString name, port;
  if (!splitAuthority(authority, &name, &port)) return E_ADS_BAD_PATHNAME;
  // The library speaks LDAPS on 636 and 3269 and StartTLS elsewhere: any other port would not
  // be what ldaps:// asks for.
  if (ldaps && port.empty()) port = WIDE("636");
  if (ldaps && port != WIDE("636") && port != WIDE("3269")) return E_ADS_BAD_PATHNAME;
  *host = port.empty() ? name : name + WIDE(':') + port;
  return S_OK;
}

WideString pathHostOrSetting(const WideString& setting) {
  WideString host;
  return SUCCEEDED(serverPathHost(setting, &host)) ? host : setting;
}

DWORD transportFlags(const WideString& pathHost) {
  size_t colon = pathHost.rfind(WIDE(':'));
  size_t bracket = pathHost.rfind(WIDE(']'));
  bool hasPort = colon != WideString::npos && (bracket == WideString::npos || colon > bracket) &&
                 (pathHost.empty() || pathHost[0] == WIDE('[') || pathHost.find(WIDE(':')) == colon);
  WideString port = hasPort ? pathHost.substr(colon + 1) : WideString();
  return port == WIDE("636") || port == WIDE("3269") ? ADS_USE_SSL : ADS_USE_SEALING;
}
