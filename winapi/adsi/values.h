// Directory values in their three shapes: the bytes LDAP carries, the VARIANT of IADs::Get/Put
// and the ADSVALUE of IDirectoryObject and IDirectorySearch. The ADSTYPE (from the schema's
// syntax) decides the conversion. The parsers are pure and take any bytes.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "iads.h"

namespace winapi::adsi {

// --- parsers and formatters of LDAP value text ---
bool parseLargeInteger(std::string_view text, int64_t* value);
// Integer syntax: 32 bits, where values up to 2^32-1 wrap to negative as AD's signed view.
bool parseInteger(std::string_view text, int32_t* value);
bool parseBoolean(std::string_view text, bool* value);
// GeneralizedTime (YYYYMMDDHHMMSS[.fff](Z|+hhmm)) or UTCTime (YYMMDDHHMMSS(Z|+hhmm)), as UTC.
bool parseDirectoryTime(std::string_view text, SYSTEMTIME* value);
std::string formatGeneralizedTime(const SYSTEMTIME& time);
std::string formatUtcTime(const SYSTEMTIME& time);
bool systemTimeToDate(const SYSTEMTIME& time, DATE* date);
bool dateToSystemTime(DATE date, SYSTEMTIME* time);

// "member;range=1500-*" → base "member", low 1500, toEnd. False when no range option.
struct RangedName {
  std::string base;
  uint32_t low = 0;
  uint32_t high = 0;
  bool toEnd = false;
};
bool parseRangedName(std::string_view name, RangedName* out);
// Whether names (a caller's request) ask for a range of the attribute itself ("member;range=0-9"):
// then the values the server sent are what was asked, not a cut to complete.
bool asksForRangeOf(const std::vector<std::string>& names, std::string_view base);

// --- LDAP ↔ VARIANT ---
// One value as the scalar VARIANT IADs::Get gives for the type.
HRESULT ldapToVariant(ADSTYPE type, std::string_view bytes, VARIANT* out);
// Get's shape: one value a scalar, several VT_ARRAY|VT_VARIANT; GetEx's: always the array.
HRESULT ldapValuesToVariant(ADSTYPE type, const std::vector<std::string>& values, bool alwaysArray, VARIANT* out);
// For writes: a scalar VARIANT, or an array of them (VT_ARRAY|VT_VARIANT; bytes stay one
// value as VT_ARRAY|VT_UI1). utcTimeSyntax picks the two-digit-year form for times.
HRESULT variantToLdapValues(ADSTYPE type, const VARIANT& value, bool utcTimeSyntax, std::vector<std::string>* out);
HRESULT variantToLdap(ADSTYPE type, const VARIANT& value, bool utcTimeSyntax, std::string* out);

// --- LDAP ↔ ADSVALUE ---
// Lays values out in caller-provided memory: measure with a null base first, then write.
class BlockCursor {
 public:
  explicit BlockCursor(char* base) : base_(base) {}
  // Eight-byte aligned room; nullptr while measuring.
  void* take(size_t size);
  size_t used() const { return used_; }
  bool measuring() const { return base_ == nullptr; }
  // A copy of UTF-8 text as a NUL-terminated UTF-16 string in the block.
  LPWSTR copyText(std::string_view utf8);
  LPBYTE copyBytes(std::string_view bytes);

 private:
  char* base_;
  size_t used_ = 0;
};

HRESULT ldapToAdsValue(ADSTYPE type, std::string_view bytes, ADSVALUE* out, BlockCursor* block);
// The type under which values can be handed out: their syntax's, or raw bytes
// (ADSTYPE_PROV_SPECIFIC) when one of them does not parse as that syntax says.
ADSTYPE usableAdsType(ADSTYPE type, const std::vector<std::string>& values);
HRESULT adsValueToLdap(const ADSVALUE& value, bool utcTimeSyntax, std::string* out);

}  // namespace winapi::adsi
