#include <cstdarg>
#include <cstdio>
#include <string>

#include "winbase.h"
#include "winuser.h"

int lstrlenW(LPCWSTR text) {
  if (text == nullptr) return 0;
  int n = 0;
  while (text[n] != 0) ++n;
  return n;
}

// Ordinal comparison; the system's comparison is locale-aware, which agrees with this for
// the directory names the library compares (ASCII attribute and class names).
int lstrcmpW(LPCWSTR first, LPCWSTR second) {
  if (first == nullptr) first = u"";
  if (second == nullptr) second = u"";
  while (*first != 0 && *first == *second) {
    ++first;
    ++second;
  }
  if (*first == *second) return 0;
  return *first < *second ? -1 : 1;
}

namespace {

constexpr size_t wsprintfLimit = 1024;

struct FieldFormat {
  bool leftAlign = false;
  bool zeroPad = false;
  size_t width = 0;
  bool hasPrecision = false;
  size_t precision = 0;
};

void pad(std::u16string* out, const std::u16string& body, const FieldFormat& field, bool numeric) {
  if (body.size() >= field.width) {
    *out += body;
    return;
  }
  size_t fill = field.width - body.size();
  if (field.leftAlign) {
    *out += body;
    out->append(fill, u' ');
  } else if (field.zeroPad && numeric) {
    size_t sign = (!body.empty() && body[0] == u'-') ? 1 : 0;
    *out += body.substr(0, sign);
    out->append(fill, u'0');
    *out += body.substr(sign);
  } else {
    out->append(fill, u' ');
    *out += body;
  }
}

std::u16string widen(const char* ascii) {
  std::u16string text;
  while (*ascii != 0) text += static_cast<char16_t>(*ascii++);
  return text;
}

}  // namespace

int wsprintfW(LPWSTR buffer, LPCWSTR format, ...) {
  if (buffer == nullptr || format == nullptr) return 0;
  std::u16string out;
  va_list args;
  va_start(args, format);
  for (const char16_t* p = format; *p != 0; ++p) {
    if (*p != u'%') {
      out += *p;
      continue;
    }
    ++p;
    if (*p == u'%') {
      out += u'%';
      continue;
    }
    FieldFormat field;
    for (;; ++p) {
      if (*p == u'-')
        field.leftAlign = true;
      else if (*p == u'0')
        field.zeroPad = true;
      else
        break;
    }
    while (*p >= u'0' && *p <= u'9') field.width = field.width * 10 + (*p++ - u'0');
    if (*p == u'.') {
      field.hasPrecision = true;
      ++p;
      while (*p >= u'0' && *p <= u'9') field.precision = field.precision * 10 + (*p++ - u'0');
    }
    bool longArg = false;
    while (*p == u'l' || *p == u'h' || *p == u'w') longArg |= (*p++ == u'l');
    (void)longArg;
    char number[32];
    switch (*p) {
      case u'd':
      case u'i':
        std::snprintf(number, sizeof number, "%d", va_arg(args, int));
        pad(&out, widen(number), field, true);
        break;
      case u'u':
        std::snprintf(number, sizeof number, "%u", va_arg(args, unsigned));
        pad(&out, widen(number), field, true);
        break;
      case u'x':
        std::snprintf(number, sizeof number, "%x", va_arg(args, unsigned));
        pad(&out, widen(number), field, true);
        break;
      case u'X':
        std::snprintf(number, sizeof number, "%X", va_arg(args, unsigned));
        pad(&out, widen(number), field, true);
        break;
      case u'c':
        pad(&out, std::u16string(1, static_cast<char16_t>(va_arg(args, int))), field, false);
        break;
      case u's': {
        const char16_t* text = va_arg(args, const char16_t*);
        std::u16string body = text == nullptr ? std::u16string(u"(null)") : std::u16string(text);
        if (field.hasPrecision && body.size() > field.precision) body.resize(field.precision);
        pad(&out, body, field, false);
        break;
      }
      case 0:
        --p;
        break;
      default:
        out += *p;
        break;
    }
    if (out.size() >= wsprintfLimit) break;
  }
  va_end(args);
  if (out.size() > wsprintfLimit - 1) out.resize(wsprintfLimit - 1);
  out.copy(buffer, out.size());
  buffer[out.size()] = 0;
  return static_cast<int>(out.size());
}
