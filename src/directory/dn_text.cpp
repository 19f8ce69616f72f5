#include "directory/dn_text.h"

#include <string>
#include <vector>

namespace {

bool isRdnSpecial(WCHAR c) {
  return c == WIDE(',') || c == WIDE('+') || c == WIDE('"') || c == WIDE('\\') || c == WIDE('<') ||
         c == WIDE('>') || c == WIDE(';') || c == WIDE('=');
}

int hexValue(WCHAR c) {
  if (c >= WIDE('0') && c <= WIDE('9')) return c - WIDE('0');
  if (c >= WIDE('a') && c <= WIDE('f')) return c - WIDE('a') + 10;
  if (c >= WIDE('A') && c <= WIDE('F')) return c - WIDE('A') + 10;
  return -1;
}

// Parts of text between unescaped separators; a backslash escapes the next character.
std::vector<WideString> splitUnescaped(const WideString& text, WCHAR first, WCHAR second) {
  std::vector<WideString> parts(1);
  for (size_t i = 0; i < text.size(); ++i) {
    WCHAR c = text[i];
    if (c == WIDE('\\') && i + 1 < text.size()) {
      parts.back() += c;
      parts.back() += text[++i];
    } else if (c == first || c == second) {
      parts.emplace_back();
    } else {
      parts.back() += c;
    }
  }
  return parts;
}

// Leading spaces, and trailing ones that are not escaped.
WideString trimmed(const WideString& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && text[begin] == WIDE(' ')) ++begin;
  while (end > begin && text[end - 1] == WIDE(' ') && !(end - begin >= 2 && text[end - 2] == WIDE('\\'))) --end;
  return text.substr(begin, end - begin);
}

bool appendUtf16(char32_t c, WideString* out) {
  if (c >= 0xD800 && c <= 0xDFFF) return false;
  if (c < 0x10000) {
    *out += static_cast<WCHAR>(c);
  } else if (c <= 0x10FFFF) {
    c -= 0x10000;
    *out += static_cast<WCHAR>(0xD800 + (c >> 10));
    *out += static_cast<WCHAR>(0xDC00 + (c & 0x3FF));
  } else {
    return false;
  }
  return true;
}

// UTF-8 bytes from \xx escapes, as UTF-16; false for bytes that are not UTF-8.
bool decodeUtf8(const std::string& bytes, WideString* out) {
  for (size_t i = 0; i < bytes.size();) {
    unsigned char lead = static_cast<unsigned char>(bytes[i]);
    int extra = lead < 0x80 ? 0 : (lead & 0xE0) == 0xC0 ? 1 : (lead & 0xF0) == 0xE0 ? 2 : (lead & 0xF8) == 0xF0 ? 3 : -1;
    if (extra < 0 || bytes.size() - i <= static_cast<size_t>(extra)) return false;
    char32_t c = extra == 0 ? lead : lead & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
      unsigned char next = static_cast<unsigned char>(bytes[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      c = (c << 6) | (next & 0x3F);
    }
    static const char32_t smallest[] = {0, 0x80, 0x800, 0x10000};
    if (c < smallest[extra] || !appendUtf16(c, out)) return false;
    i += extra + 1;
  }
  return true;
}

// An attribute value as written in a DN, with its escapes undone.
bool unescapedValue(const WideString& value, WideString* out) {
  std::string pendingBytes;
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] == WIDE('\\')) {
      if (i + 1 >= value.size()) return false;
      int high = hexValue(value[i + 1]);
      if (high >= 0) {
        int low = i + 2 < value.size() ? hexValue(value[i + 2]) : -1;
        if (low < 0) return false;
        pendingBytes += static_cast<char>(high * 16 + low);
        i += 2;
        continue;
      }
      ++i;
    }
    if (!pendingBytes.empty() && !decodeUtf8(pendingBytes, out)) return false;
    pendingBytes.clear();
    *out += value[i];
  }
  return pendingBytes.empty() || decodeUtf8(pendingBytes, out);
}

bool isDomainComponentType(const WideString& type) {
  return type.size() == 2 && (type[0] == WIDE('D') || type[0] == WIDE('d')) &&
         (type[1] == WIDE('C') || type[1] == WIDE('c'));
}

}  // namespace

WideString escapeRdnValue(const WideString& value) {
  WideString out;
  out.reserve(value.size() + 8);
  for (size_t i = 0; i < value.size(); ++i) {
    WCHAR c = value[i];
    bool edgeSpace = c == WIDE(' ') && (i == 0 || i + 1 == value.size());
    bool leadingHash = c == WIDE('#') && i == 0;
    if (c == 0) {
      out += WIDE("\\00");
      continue;
    }
    if (isRdnSpecial(c) || edgeSpace || leadingHash) out += WIDE('\\');
    out += c;
  }
  return out;
}

HRESULT dnsDomainOfDn(const WideString& dn, WideString* domain) {
  domain->clear();
  WideString joined;
  for (const WideString& rdn : splitUnescaped(dn, WIDE(','), WIDE(';'))) {
    for (const WideString& ava : splitUnescaped(rdn, WIDE('+'), WIDE('+'))) {
      WideString assertion = trimmed(ava);
      size_t equals = assertion.find(WIDE('='));
      if (equals == WideString::npos || !isDomainComponentType(trimmed(assertion.substr(0, equals)))) continue;
      WideString label;
      if (!unescapedValue(trimmed(assertion.substr(equals + 1)), &label) || label.empty()) return E_INVALIDARG;
      if (!joined.empty()) joined += WIDE('.');
      joined += label;
    }
  }
  if (joined.empty()) return E_INVALIDARG;
  *domain = joined;
  return S_OK;
}

WideString lowerCaseAscii(WideString text) {
  for (WCHAR& c : text)
    if (c >= WIDE('A') && c <= WIDE('Z')) c = static_cast<WCHAR>(c - WIDE('A') + WIDE('a'));
  return text;
}

WideString pathEscapedName(const WideString& name) {
  WideString out;
  out.reserve(name.size() + 4);
  for (size_t i = 0; i < name.size(); ++i) {
    if (name[i] == WIDE('\\')) {
      out += name[i];
      if (i + 1 < name.size()) out += name[++i];
      continue;
    }
    if (name[i] == WIDE('/')) out += WIDE('\\');
    out += name[i];
  }
  return out;
}

namespace {

bool isAsciiLetter(WCHAR c) { return (c >= WIDE('a') && c <= WIDE('z')) || (c >= WIDE('A') && c <= WIDE('Z')); }
bool isAsciiDigit(WCHAR c) { return c >= WIDE('0') && c <= WIDE('9'); }

// A keyword (letter, then letters, digits and hyphens) or a numeric OID (digits in dotted parts).
bool isAttributeType(const WideString& type) {
  if (type.empty()) return false;
  if (isAsciiLetter(type[0])) {
    for (WCHAR c : type)
      if (!isAsciiLetter(c) && !isAsciiDigit(c) && c != WIDE('-')) return false;
    return true;
  }
  bool partStart = true;
  for (WCHAR c : type) {
    if (c == WIDE('.')) {
      if (partStart) return false;
      partStart = true;
    } else if (isAsciiDigit(c)) {
      partStart = false;
    } else {
      return false;
    }
  }
  return !partStart;
}

// The distinguished name an extended name carries (<WKGUID=guid,dn>), else the name itself.
WideString carriedName(const WideString& name) {
  WideString text = trimmed(name);
  if (text.size() < 2 || text.front() != WIDE('<') || text.back() != WIDE('>')) return text;
  size_t comma = text.find(WIDE(','));
  return comma == WideString::npos ? WideString() : text.substr(comma + 1, text.size() - comma - 2);
}

}  // namespace

bool isWrittenAsDirectoryName(const WideString& name) {
  WideString text = trimmed(name);
  size_t start = !text.empty() && text.front() == WIDE('<') ? 1 : 0;  // <GUID=...>, <SID=...>, <WKGUID=...>
  size_t equals = text.find(WIDE('='));
  return equals != WideString::npos && isAttributeType(trimmed(text.substr(start, equals - start)));
}

bool trailingDnsDomainOfDn(const WideString& dn, WideString* domain) {
  WideString name = carriedName(dn);
  // Only the trailing components are read: the others are passed over where they stand.
  std::vector<size_t> separators;
  for (size_t i = 0; i < name.size(); ++i) {
    if (name[i] == WIDE('\\')) ++i;
    else if (name[i] == WIDE(',') || name[i] == WIDE(';')) separators.push_back(i);
  }
  std::vector<WideString> labels;
  size_t end = name.size();
  for (size_t i = separators.size() + 1; i-- > 0;) {
    size_t begin = i == 0 ? 0 : separators[i - 1] + 1;
    WideString rdn = trimmed(name.substr(begin, end - begin));
    end = begin == 0 ? 0 : begin - 1;
    size_t equals = rdn.find(WIDE('='));
    if (equals == WideString::npos || splitUnescaped(rdn, WIDE('+'), WIDE('+')).size() != 1 ||
        !isDomainComponentType(trimmed(rdn.substr(0, equals))))
      break;
    WideString label;
    // A component that cannot be read names no domain there is: the empty one, which no
    // naming context has.
    if (!unescapedValue(trimmed(rdn.substr(equals + 1)), &label) || label.empty()) {
      domain->clear();
      return true;
    }
    labels.push_back(label);
  }
  if (labels.empty()) return false;
  domain->clear();
  for (size_t i = labels.size(); i-- > 0;) {
    *domain += lowerCaseAscii(labels[i]);
    if (i > 0) *domain += WIDE('.');
  }
  return true;
}
