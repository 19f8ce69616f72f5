// Text helpers of the LDAP provider: the directory speaks UTF-8, the interfaces UTF-16.
#pragma once
#include <string>
#include <string_view>

#include "oleauto.h"

namespace winapi::adsi {

// Ill-formed input (lone surrogates, bad UTF-8) becomes U+FFFD rather than failing: a value
// the server sent must still be readable.
std::string toUtf8(std::u16string_view text);
std::string toUtf8(const WCHAR* text);
std::u16string toUtf16(std::string_view text);
// The length of toUtf16(text), and the same text written to out, which has room for it.
size_t utf16Length(std::string_view text);
void copyUtf16(std::string_view text, char16_t* out);

std::string toLowerAscii(std::string_view text);
void appendLowerAscii(std::string* out, std::string_view text);
bool equalsIgnoreCase(std::string_view a, std::string_view b);
bool startsWithIgnoreCase(std::string_view text, std::string_view prefix);
// Where needle first occurs in text, ASCII case ignored; npos when nowhere.
size_t findIgnoreCase(std::string_view text, std::string_view needle);
// The value of a hexadecimal digit of either case; -1 for any other character.
int hexDigitValue(char c);

// A BSTR copy of UTF-8 text; nullptr only when out of memory.
BSTR newBstr(std::string_view utf8);
BSTR newBstr(std::u16string_view text);

// Overwrites a buffer that held a secret so that it does not linger in freed memory.
void wipe(void* data, size_t size);
void wipe(std::string* text);

// A password kept only as long as needed, wiped when it goes.
class Secret {
 public:
  Secret() = default;
  explicit Secret(std::string text) : text_(std::move(text)) {}
  ~Secret() { wipe(&text_); }
  Secret(const Secret& other) : text_(other.text_) {}
  Secret& operator=(const Secret& other) {
    if (this != &other) {
      wipe(&text_);
      text_ = other.text_;
    }
    return *this;
  }
  const std::string& text() const { return text_; }
  bool empty() const { return text_.empty(); }
  // Compares without an early exit, so the time taken does not reveal how much matched.
  bool equals(const Secret& other) const;

 private:
  std::string text_;
};

}  // namespace winapi::adsi
