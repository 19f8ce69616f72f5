#include "adsi/text.h"

#include <string.h>

#include <algorithm>

namespace winapi::adsi {

namespace {

constexpr char32_t replacement = 0xFFFD;

void appendUtf8(std::string* out, char32_t c) {
  if (c < 0x80) {
    *out += static_cast<char>(c);
  } else if (c < 0x800) {
    *out += static_cast<char>(0xC0 | (c >> 6));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    *out += static_cast<char>(0xE0 | (c >> 12));
    *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    *out += static_cast<char>(0xF0 | (c >> 18));
    *out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

void appendUtf16(std::u16string* out, char32_t c) {
  if (c < 0x10000) {
    *out += static_cast<char16_t>(c);
    return;
  }
  c -= 0x10000;
  *out += static_cast<char16_t>(0xD800 | (c >> 10));
  *out += static_cast<char16_t>(0xDC00 | (c & 0x3FF));
}

// Decodes one UTF-8 sequence at text[*i], advancing *i; overlong forms, surrogates and
// truncated sequences give U+FFFD and consume one byte.
char32_t decodeUtf8(std::string_view text, size_t* i) {
  unsigned char lead = static_cast<unsigned char>(text[*i]);
  size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
  if (length == 0 || *i + length > text.size()) {
    ++*i;
    return replacement;
  }
  char32_t c = length == 1 ? lead : length == 2 ? (lead & 0x1F) : length == 3 ? (lead & 0x0F) : (lead & 0x07);
  for (size_t k = 1; k < length; ++k) {
    unsigned char next = static_cast<unsigned char>(text[*i + k]);
    if ((next & 0xC0) != 0x80) {
      ++*i;
      return replacement;
    }
    c = (c << 6) | (next & 0x3F);
  }
  static const char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (c < smallest[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
    ++*i;
    return replacement;
  }
  *i += length;
  return c;
}

}  // namespace

std::string toUtf8(std::u16string_view text) {
  // Directory names are mostly ASCII, which narrows unit for unit.
  if (std::all_of(text.begin(), text.end(), [](char16_t c) { return c < 0x80; }))
    return std::string(text.begin(), text.end());
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = replacement;
    }
    appendUtf8(&out, c);
  }
  return out;
}

std::string toUtf8(const WCHAR* text) { return text == nullptr ? std::string() : toUtf8(std::u16string_view(text)); }

namespace {

// Directory text is mostly ASCII, which widens unit for unit.
bool isAscii(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

}  // namespace

std::u16string toUtf16(std::string_view text) {
  if (isAscii(text)) return std::u16string(text.begin(), text.end());
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) appendUtf16(&out, decodeUtf8(text, &i));
  return out;
}

size_t utf16Length(std::string_view text) {
  if (isAscii(text)) return text.size();
  size_t units = 0;
  size_t i = 0;
  while (i < text.size()) units += decodeUtf8(text, &i) < 0x10000 ? 1 : 2;
  return units;
}

void copyUtf16(std::string_view text, char16_t* out) {
  if (isAscii(text)) {
    for (char c : text) *out++ = static_cast<char16_t>(c);
    return;
  }
  std::u16string wide = toUtf16(text);
  memcpy(out, wide.data(), wide.size() * sizeof(char16_t));
}

std::string toLowerAscii(std::string_view text) {
  std::string out;
  appendLowerAscii(&out, text);
  return out;
}

void appendLowerAscii(std::string* out, std::string_view text) {
  size_t start = out->size();
  out->append(text);
  for (size_t i = start; i < out->size(); ++i) {
    char& c = (*out)[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

bool startsWithIgnoreCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && equalsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

size_t findIgnoreCase(std::string_view text, std::string_view needle) {
  for (size_t at = 0; at + needle.size() <= text.size(); ++at)
    if (equalsIgnoreCase(text.substr(at, needle.size()), needle)) return at;
  return std::string_view::npos;
}

BSTR newBstr(std::string_view utf8) { return newBstr(toUtf16(utf8)); }

BSTR newBstr(std::u16string_view text) { return SysAllocStringLen(text.data(), static_cast<UINT>(text.size())); }

void wipe(void* data, size_t size) {
  if (data != nullptr && size > 0) explicit_bzero(data, size);
}

void wipe(std::string* text) {
  // The whole capacity: a shorter value may have left an older, longer one behind it.
  if (text->capacity() > 0) wipe(&(*text)[0], text->capacity());
  text->clear();
}

bool Secret::equals(const Secret& other) const {
  const std::string& a = text_;
  const std::string& b = other.text_;
  size_t longest = a.size() > b.size() ? a.size() : b.size();
  volatile unsigned char difference = static_cast<unsigned char>(a.size() != b.size());
  for (size_t i = 0; i < longest; ++i) {
    unsigned char x = i < a.size() ? static_cast<unsigned char>(a[i]) : 0;
    unsigned char y = i < b.size() ? static_cast<unsigned char>(b[i]) : 0;
    difference = static_cast<unsigned char>(difference | (x ^ y));
  }
  return difference == 0;
}

int hexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace winapi::adsi
