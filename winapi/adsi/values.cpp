#include "adsi/values.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "adserr.h"
#include "adsi/large_integer.h"
#include "adsi/text.h"

namespace winapi::adsi {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool readDigits(std::string_view text, size_t at, size_t count, int* value) {
  if (at + count > text.size()) return false;
  int v = 0;
  for (size_t i = at; i < at + count; ++i) {
    if (!isDigit(text[i])) return false;
    v = v * 10 + (text[i] - '0');
  }
  *value = v;
  return true;
}

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void civilFromDays(int64_t z, int64_t* y, unsigned* m, unsigned* d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *d = doy - (153 * mp + 2) / 5 + 1;
  *m = mp < 10 ? mp + 3 : mp - 9;
  *y = static_cast<int64_t>(yoe) + era * 400 + (*m <= 2);
}

unsigned daysInMonth(int year, unsigned month) {
  static const unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : days[month - 1];
}

constexpr int64_t oleEpochDays = -25569;  // 1899-12-30 relative to 1970-01-01

bool validTime(const SYSTEMTIME& t) {
  return t.wYear >= 1601 && t.wYear <= 9999 && t.wMonth >= 1 && t.wMonth <= 12 && t.wDay >= 1 &&
         t.wDay <= daysInMonth(t.wYear, t.wMonth) && t.wHour < 24 && t.wMinute < 60 && t.wSecond < 60 &&
         t.wMilliseconds < 1000;
}

void setDayOfWeek(SYSTEMTIME* t) {
  int64_t days = daysFromCivil(t->wYear, t->wMonth, t->wDay);
  t->wDayOfWeek = static_cast<WORD>(((days % 7) + 7 + 4) % 7);  // 1970-01-01 was a Thursday
}

// Moves a time by a number of minutes, carrying into the date.
void shiftMinutes(SYSTEMTIME* t, int minutes) {
  int64_t total = (daysFromCivil(t->wYear, t->wMonth, t->wDay) * 24 + t->wHour) * 60 + t->wMinute + minutes;
  int64_t days = total >= 0 ? total / 1440 : -((-total + 1439) / 1440);
  int64_t rest = total - days * 1440;
  int64_t y;
  unsigned m, d;
  civilFromDays(days, &y, &m, &d);
  t->wYear = static_cast<WORD>(y);
  t->wMonth = static_cast<WORD>(m);
  t->wDay = static_cast<WORD>(d);
  t->wHour = static_cast<WORD>(rest / 60);
  t->wMinute = static_cast<WORD>(rest % 60);
}

HRESULT newByteArray(std::string_view bytes, SAFEARRAY** out) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
  if (array == nullptr) return E_OUTOFMEMORY;
  if (!bytes.empty()) std::memcpy(array->pvData, bytes.data(), bytes.size());
  *out = array;
  return S_OK;
}

HRESULT bytesOfArray(SAFEARRAY* array, std::string* out) {
  VARTYPE element = 0;
  if (array == nullptr || SafeArrayGetDim(array) != 1 || FAILED(SafeArrayGetVartype(array, &element)) ||
      element != VT_UI1)
    return E_ADS_CANT_CONVERT_DATATYPE;
  out->assign(static_cast<const char*>(array->pvData), array->rgsabound[0].cElements);
  return S_OK;
}

bool isStringType(ADSTYPE type) {
  return type == ADSTYPE_DN_STRING || type == ADSTYPE_CASE_EXACT_STRING || type == ADSTYPE_CASE_IGNORE_STRING ||
         type == ADSTYPE_PRINTABLE_STRING || type == ADSTYPE_NUMERIC_STRING || type == ADSTYPE_OBJECT_CLASS ||
         type == ADSTYPE_DN_WITH_BINARY || type == ADSTYPE_DN_WITH_STRING;
}

bool isBytesType(ADSTYPE type) {
  return type == ADSTYPE_OCTET_STRING || type == ADSTYPE_NT_SECURITY_DESCRIPTOR || type == ADSTYPE_PROV_SPECIFIC;
}

const VARIANT& dereference(const VARIANT& value) {
  if (value.vt == (VT_BYREF | VT_VARIANT) && value.pvarVal != nullptr) return *value.pvarVal;
  return value;
}

HRESULT integerOfVariant(const VARIANT& v, int64_t* out) {
  switch (v.vt) {
    case VT_I4:
    case VT_INT:
      *out = v.lVal;
      return S_OK;
    case VT_I2:
      *out = v.iVal;
      return S_OK;
    case VT_UI1:
      *out = v.bVal;
      return S_OK;
    case VT_UI4:
    case VT_UINT:
      *out = v.ulVal;
      return S_OK;
    case VT_I8:
      *out = v.llVal;
      return S_OK;
    default:
      return E_ADS_CANT_CONVERT_DATATYPE;
  }
}

bool parseDnWithPrefix(std::string_view text, char tag, std::string_view* payload, std::string_view* dn) {
  // tag:<count>:<payload>:<dn>, count in hex digits (binary) or characters (string).
  if (text.size() < 4 || text[0] != tag || text[1] != ':') return false;
  size_t colon = text.find(':', 2);
  if (colon == std::string_view::npos || colon == 2) return false;
  uint64_t count = 0;
  for (size_t i = 2; i < colon; ++i) {
    if (!isDigit(text[i]) || count > 1000000000) return false;
    count = count * 10 + static_cast<uint64_t>(text[i] - '0');
  }
  size_t start = colon + 1;
  if (start + count >= text.size() || text[start + count] != ':') return false;
  *payload = text.substr(start, count);
  *dn = text.substr(start + count + 1);
  return true;
}

}  // namespace

bool parseLargeInteger(std::string_view text, int64_t* value) {
  if (text.empty() || text.size() > 20) return false;
  bool negative = text[0] == '-';
  size_t start = negative ? 1 : 0;
  if (start == text.size()) return false;
  uint64_t magnitude = 0;
  for (size_t i = start; i < text.size(); ++i) {
    if (!isDigit(text[i])) return false;
    uint64_t digit = static_cast<uint64_t>(text[i] - '0');
    if (magnitude > (std::numeric_limits<uint64_t>::max() - digit) / 10) return false;
    magnitude = magnitude * 10 + digit;
  }
  if (negative) {
    if (magnitude > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) + 1) return false;
    *value = magnitude == static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) + 1
                 ? std::numeric_limits<int64_t>::min()
                 : -static_cast<int64_t>(magnitude);
  } else {
    if (magnitude > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return false;
    *value = static_cast<int64_t>(magnitude);
  }
  return true;
}

bool parseInteger(std::string_view text, int32_t* value) {
  int64_t wide = 0;
  if (!parseLargeInteger(text, &wide)) return false;
  if (wide < std::numeric_limits<int32_t>::min() || wide > static_cast<int64_t>(std::numeric_limits<uint32_t>::max()))
    return false;
  *value = static_cast<int32_t>(static_cast<uint32_t>(wide));
  return true;
}

bool parseBoolean(std::string_view text, bool* value) {
  if (text == "TRUE") {
    *value = true;
    return true;
  }
  if (text == "FALSE") {
    *value = false;
    return true;
  }
  return false;
}

bool parseDirectoryTime(std::string_view text, SYSTEMTIME* value) {
  size_t digits = 0;
  while (digits < text.size() && isDigit(text[digits])) ++digits;
  SYSTEMTIME t{};
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  size_t at = 0;
  if (digits == 14) {
    readDigits(text, 0, 4, &year);
    at = 4;
  } else if (digits == 12) {
    readDigits(text, 0, 2, &year);
    year += year < 50 ? 2000 : 1900;  // RFC 5280's window for two-digit years
    at = 2;
  } else {
    return false;
  }
  readDigits(text, at, 2, &month);
  readDigits(text, at + 2, 2, &day);
  readDigits(text, at + 4, 2, &hour);
  readDigits(text, at + 6, 2, &minute);
  readDigits(text, at + 8, 2, &second);
  size_t i = digits;
  int milliseconds = 0;
  if (digits == 14 && i < text.size() && (text[i] == '.' || text[i] == ',')) {
    ++i;
    size_t fractionDigits = 0;
    while (i < text.size() && isDigit(text[i])) {
      if (fractionDigits < 3) milliseconds = milliseconds * 10 + (text[i] - '0');
      ++fractionDigits;
      ++i;
    }
    if (fractionDigits == 0) return false;
    for (size_t k = fractionDigits; k < 3; ++k) milliseconds *= 10;
  }
  t.wYear = static_cast<WORD>(year);
  t.wMonth = static_cast<WORD>(month);
  t.wDay = static_cast<WORD>(day);
  t.wHour = static_cast<WORD>(hour);
  t.wMinute = static_cast<WORD>(minute);
  t.wSecond = static_cast<WORD>(second);
  t.wMilliseconds = static_cast<WORD>(milliseconds);
  if (!validTime(t)) return false;
  if (i + 1 == text.size() && text[i] == 'Z') {
    // UTC as it is
  } else if (i + 5 == text.size() && (text[i] == '+' || text[i] == '-')) {
    int offsetHours = 0, offsetMinutes = 0;
    if (!readDigits(text, i + 1, 2, &offsetHours) || !readDigits(text, i + 3, 2, &offsetMinutes) || offsetHours > 23 ||
        offsetMinutes > 59)
      return false;
    int offset = offsetHours * 60 + offsetMinutes;
    shiftMinutes(&t, text[i] == '+' ? -offset : offset);
    if (!validTime(t)) return false;
  } else {
    return false;
  }
  setDayOfWeek(&t);
  *value = t;
  return true;
}

std::string formatGeneralizedTime(const SYSTEMTIME& t) {
  char text[32];
  std::snprintf(text, sizeof text, "%04u%02u%02u%02u%02u%02u.0Z", t.wYear % 10000u, t.wMonth % 100u, t.wDay % 100u,
                t.wHour % 100u, t.wMinute % 100u, t.wSecond % 100u);
  return text;
}

std::string formatUtcTime(const SYSTEMTIME& t) {
  char text[32];
  std::snprintf(text, sizeof text, "%02u%02u%02u%02u%02u%02uZ", t.wYear % 100u, t.wMonth % 100u, t.wDay % 100u,
                t.wHour % 100u, t.wMinute % 100u, t.wSecond % 100u);
  return text;
}

bool systemTimeToDate(const SYSTEMTIME& t, DATE* date) {
  if (!validTime(t)) return false;
  double days = static_cast<double>(daysFromCivil(t.wYear, t.wMonth, t.wDay) - oleEpochDays);
  double fraction = (t.wHour * 3600.0 + t.wMinute * 60.0 + t.wSecond + t.wMilliseconds / 1000.0) / 86400.0;
  // Before the epoch the fraction still counts forward from midnight (OLE's own convention).
  *date = days >= 0 ? days + fraction : days - fraction;
  return true;
}

bool dateToSystemTime(DATE date, SYSTEMTIME* t) {
  if (!std::isfinite(date) || date < -657434.0 || date >= 2958466.0) return false;
  double whole = std::trunc(date);
  double fraction = std::fabs(date - whole);
  // Windows keeps whole seconds only.
  int64_t seconds = static_cast<int64_t>(std::llround(fraction * 86400.0));
  int64_t days = static_cast<int64_t>(whole) + oleEpochDays;
  if (seconds >= 86400) {
    seconds -= 86400;
    days += date >= 0 ? 1 : -1;
  }
  int64_t y;
  unsigned m, d;
  civilFromDays(days, &y, &m, &d);
  SYSTEMTIME out{};
  out.wYear = static_cast<WORD>(y);
  out.wMonth = static_cast<WORD>(m);
  out.wDay = static_cast<WORD>(d);
  out.wHour = static_cast<WORD>(seconds / 3600);
  out.wMinute = static_cast<WORD>((seconds / 60) % 60);
  out.wSecond = static_cast<WORD>(seconds % 60);
  if (!validTime(out)) return false;
  setDayOfWeek(&out);
  *t = out;
  return true;
}

bool asksForRangeOf(const std::vector<std::string>& names, std::string_view base) {
  return std::any_of(names.begin(), names.end(), [&](const std::string& name) {
    size_t options = name.find(';');
    return options != std::string::npos && equalsIgnoreCase(std::string_view(name).substr(0, options), base);
  });
}

bool parseRangedName(std::string_view name, RangedName* out) {
  size_t at = findIgnoreCase(name, ";range=");
  if (at == std::string_view::npos || at == 0) return false;
  std::string_view range = name.substr(at + 7);
  size_t dash = range.find('-');
  if (dash == std::string_view::npos || dash == 0 || dash > 10) return false;
  uint64_t low = 0;
  for (char c : range.substr(0, dash)) {
    if (!isDigit(c)) return false;
    low = low * 10 + static_cast<uint64_t>(c - '0');
  }
  std::string_view upper = range.substr(dash + 1);
  size_t end = upper.find(';');  // further options may follow
  upper = upper.substr(0, end);
  if (low > 0xFFFFFFFFu || upper.empty() || upper.size() > 10) return false;
  RangedName parsed;
  parsed.base = std::string(name.substr(0, at));
  parsed.low = static_cast<uint32_t>(low);
  if (upper == "*") {
    parsed.toEnd = true;
  } else {
    uint64_t high = 0;
    for (char c : upper) {
      if (!isDigit(c)) return false;
      high = high * 10 + static_cast<uint64_t>(c - '0');
    }
    if (high > 0xFFFFFFFFu || high < low) return false;
    parsed.high = static_cast<uint32_t>(high);
  }
  *out = std::move(parsed);
  return true;
}

HRESULT ldapToVariant(ADSTYPE type, std::string_view bytes, VARIANT* out) {
  VariantInit(out);
  if (isStringType(type)) {
    BSTR text = newBstr(bytes);
    if (text == nullptr) return E_OUTOFMEMORY;
    out->vt = VT_BSTR;
    out->bstrVal = text;
    return S_OK;
  }
  if (isBytesType(type)) {
    SAFEARRAY* array = nullptr;
    HRESULT hr = newByteArray(bytes, &array);
    if (FAILED(hr)) return hr;
    out->vt = VT_ARRAY | VT_UI1;
    out->parray = array;
    return S_OK;
  }
  switch (type) {
    case ADSTYPE_BOOLEAN: {
      bool flag = false;
      if (!parseBoolean(bytes, &flag)) return E_ADS_CANT_CONVERT_DATATYPE;
      out->vt = VT_BOOL;
      out->boolVal = flag ? VARIANT_TRUE : VARIANT_FALSE;
      return S_OK;
    }
    case ADSTYPE_INTEGER: {
      int32_t number = 0;
      if (!parseInteger(bytes, &number)) return E_ADS_CANT_CONVERT_DATATYPE;
      out->vt = VT_I4;
      out->lVal = number;
      return S_OK;
    }
    case ADSTYPE_LARGE_INTEGER: {
      int64_t number = 0;
      if (!parseLargeInteger(bytes, &number)) return E_ADS_CANT_CONVERT_DATATYPE;
      IDispatch* object = nullptr;
      HRESULT hr = newLargeInteger(number, &object);
      if (FAILED(hr)) return hr;
      out->vt = VT_DISPATCH;
      out->pdispVal = object;
      return S_OK;
    }
    case ADSTYPE_UTC_TIME: {
      SYSTEMTIME time;
      DATE date = 0;
      if (!parseDirectoryTime(bytes, &time) || !systemTimeToDate(time, &date)) return E_ADS_CANT_CONVERT_DATATYPE;
      out->vt = VT_DATE;
      out->date = date;
      return S_OK;
    }
    default:
      return E_ADS_CANT_CONVERT_DATATYPE;
  }
}

HRESULT ldapValuesToVariant(ADSTYPE type, const std::vector<std::string>& values, bool alwaysArray, VARIANT* out) {
  VariantInit(out);
  if (values.size() == 1 && !alwaysArray) return ldapToVariant(type, values.front(), out);
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(values.size()));
  if (array == nullptr) return E_OUTOFMEMORY;
  VARIANT* elements = static_cast<VARIANT*>(array->pvData);
  for (size_t i = 0; i < values.size(); ++i) {
    HRESULT hr = ldapToVariant(type, values[i], &elements[i]);
    if (FAILED(hr)) {
      SafeArrayDestroy(array);
      return hr;
    }
  }
  out->vt = VT_ARRAY | VT_VARIANT;
  out->parray = array;
  return S_OK;
}

HRESULT variantToLdap(ADSTYPE type, const VARIANT& given, bool utcTimeSyntax, std::string* out) {
  const VARIANT& value = dereference(given);
  if (isStringType(type)) {
    if (value.vt != VT_BSTR) return E_ADS_CANT_CONVERT_DATATYPE;
    *out = toUtf8(std::u16string_view(value.bstrVal == nullptr ? u"" : value.bstrVal, SysStringLen(value.bstrVal)));
    return S_OK;
  }
  if (isBytesType(type)) {
    if (value.vt != (VT_ARRAY | VT_UI1)) return E_ADS_CANT_CONVERT_DATATYPE;
    return bytesOfArray(value.parray, out);
  }
  switch (type) {
    case ADSTYPE_BOOLEAN:
      if (value.vt != VT_BOOL) return E_ADS_CANT_CONVERT_DATATYPE;
      *out = value.boolVal != VARIANT_FALSE ? "TRUE" : "FALSE";
      return S_OK;
    case ADSTYPE_INTEGER: {
      int64_t number = 0;
      HRESULT hr = integerOfVariant(value, &number);
      if (FAILED(hr)) return hr;
      if (number < std::numeric_limits<int32_t>::min() || number > std::numeric_limits<uint32_t>::max())
        return E_ADS_CANT_CONVERT_DATATYPE;
      *out = std::to_string(static_cast<int32_t>(static_cast<uint32_t>(number)));
      return S_OK;
    }
    case ADSTYPE_LARGE_INTEGER: {
      int64_t number = 0;
      if (value.vt == VT_DISPATCH || value.vt == VT_UNKNOWN) {
        if (FAILED(largeIntegerValue(value.punkVal, &number))) return E_ADS_CANT_CONVERT_DATATYPE;
      } else if (value.vt == VT_BSTR) {
        if (!parseLargeInteger(toUtf8(value.bstrVal), &number)) return E_ADS_CANT_CONVERT_DATATYPE;
      } else if (FAILED(integerOfVariant(value, &number))) {
        return E_ADS_CANT_CONVERT_DATATYPE;
      }
      *out = std::to_string(number);
      return S_OK;
    }
    case ADSTYPE_UTC_TIME: {
      SYSTEMTIME time;
      if (value.vt != VT_DATE || !dateToSystemTime(value.date, &time)) return E_ADS_CANT_CONVERT_DATATYPE;
      *out = utcTimeSyntax ? formatUtcTime(time) : formatGeneralizedTime(time);
      return S_OK;
    }
    default:
      return E_ADS_CANT_CONVERT_DATATYPE;
  }
}

HRESULT variantToLdapValues(ADSTYPE type, const VARIANT& given, bool utcTimeSyntax, std::vector<std::string>* out) {
  const VARIANT& value = dereference(given);
  out->clear();
  if (value.vt == (VT_ARRAY | VT_VARIANT)) {
    SAFEARRAY* array = value.parray;
    if (array == nullptr || SafeArrayGetDim(array) != 1) return E_ADS_CANT_CONVERT_DATATYPE;
    const VARIANT* elements = static_cast<const VARIANT*>(array->pvData);
    for (ULONG i = 0; i < array->rgsabound[0].cElements; ++i) {
      std::string one;
      HRESULT hr = variantToLdap(type, elements[i], utcTimeSyntax, &one);
      if (FAILED(hr)) return hr;
      out->push_back(std::move(one));
    }
    return S_OK;
  }
  std::string one;
  HRESULT hr = variantToLdap(type, value, utcTimeSyntax, &one);
  if (FAILED(hr)) return hr;
  out->push_back(std::move(one));
  return S_OK;
}

void* BlockCursor::take(size_t size) {
  size_t at = (used_ + 7) & ~static_cast<size_t>(7);
  used_ = at + size;
  return base_ == nullptr ? nullptr : base_ + at;
}

LPWSTR BlockCursor::copyText(std::string_view utf8) {
  size_t units = utf16Length(utf8);
  auto* target = static_cast<LPWSTR>(take((units + 1) * sizeof(WCHAR)));
  if (target != nullptr) {
    copyUtf16(utf8, target);
    target[units] = 0;
  }
  return target;
}

LPBYTE BlockCursor::copyBytes(std::string_view bytes) {
  auto* target = static_cast<LPBYTE>(take(bytes.size()));
  if (target != nullptr && !bytes.empty()) std::memcpy(target, bytes.data(), bytes.size());
  return target;
}

ADSTYPE usableAdsType(ADSTYPE type, const std::vector<std::string>& values) {
  for (const std::string& value : values) {
    ADSVALUE scratch;
    BlockCursor measure(nullptr);
    if (FAILED(ldapToAdsValue(type, value, &scratch, &measure))) return ADSTYPE_PROV_SPECIFIC;
  }
  return type;
}

HRESULT ldapToAdsValue(ADSTYPE type, std::string_view bytes, ADSVALUE* out, BlockCursor* block) {
  std::memset(out, 0, sizeof *out);
  out->dwType = type;
  switch (type) {
    case ADSTYPE_DN_STRING:
    case ADSTYPE_CASE_EXACT_STRING:
    case ADSTYPE_CASE_IGNORE_STRING:
    case ADSTYPE_PRINTABLE_STRING:
    case ADSTYPE_NUMERIC_STRING:
    case ADSTYPE_OBJECT_CLASS:
      out->CaseIgnoreString = block->copyText(bytes);
      return S_OK;
    case ADSTYPE_BOOLEAN: {
      bool flag = false;
      if (!parseBoolean(bytes, &flag)) return E_ADS_CANT_CONVERT_DATATYPE;
      out->Boolean = flag ? 1 : 0;
      return S_OK;
    }
    case ADSTYPE_INTEGER: {
      int32_t number = 0;
      if (!parseInteger(bytes, &number)) return E_ADS_CANT_CONVERT_DATATYPE;
      out->Integer = static_cast<DWORD>(number);
      return S_OK;
    }
    case ADSTYPE_LARGE_INTEGER: {
      int64_t number = 0;
      if (!parseLargeInteger(bytes, &number)) return E_ADS_CANT_CONVERT_DATATYPE;
      out->LargeInteger.QuadPart = number;
      return S_OK;
    }
    case ADSTYPE_UTC_TIME:
      if (!parseDirectoryTime(bytes, &out->UTCTime)) return E_ADS_CANT_CONVERT_DATATYPE;
      return S_OK;
    case ADSTYPE_OCTET_STRING:
    case ADSTYPE_NT_SECURITY_DESCRIPTOR:
    case ADSTYPE_PROV_SPECIFIC:
      out->OctetString.dwLength = static_cast<DWORD>(bytes.size());
      out->OctetString.lpValue = block->copyBytes(bytes);
      return S_OK;
    case ADSTYPE_DN_WITH_BINARY: {
      std::string_view hex, dn;
      if (!parseDnWithPrefix(bytes, 'B', &hex, &dn) || hex.size() % 2 != 0) return E_ADS_CANT_CONVERT_DATATYPE;
      std::string binary;
      for (size_t i = 0; i < hex.size(); i += 2) {
        int high = hexDigitValue(hex[i]), low = hexDigitValue(hex[i + 1]);
        if (high < 0 || low < 0) return E_ADS_CANT_CONVERT_DATATYPE;
        binary += static_cast<char>((high << 4) | low);
      }
      auto* target = static_cast<ADS_DN_WITH_BINARY*>(block->take(sizeof(ADS_DN_WITH_BINARY)));
      ADS_DN_WITH_BINARY scratch{};
      ADS_DN_WITH_BINARY* fill = target != nullptr ? target : &scratch;
      fill->dwLength = static_cast<DWORD>(binary.size());
      fill->lpBinaryValue = block->copyBytes(binary);
      fill->pszDNString = block->copyText(dn);
      out->pDNWithBinary = target;
      return S_OK;
    }
    case ADSTYPE_DN_WITH_STRING: {
      std::string_view text, dn;
      if (!parseDnWithPrefix(bytes, 'S', &text, &dn)) return E_ADS_CANT_CONVERT_DATATYPE;
      auto* target = static_cast<ADS_DN_WITH_STRING*>(block->take(sizeof(ADS_DN_WITH_STRING)));
      ADS_DN_WITH_STRING scratch{};
      ADS_DN_WITH_STRING* fill = target != nullptr ? target : &scratch;
      fill->pszStringValue = block->copyText(text);
      fill->pszDNString = block->copyText(dn);
      out->pDNWithString = target;
      return S_OK;
    }
    default:
      return E_ADS_CANT_CONVERT_DATATYPE;
  }
}

HRESULT adsValueToLdap(const ADSVALUE& value, bool utcTimeSyntax, std::string* out) {
  switch (value.dwType) {
    case ADSTYPE_DN_STRING:
    case ADSTYPE_CASE_EXACT_STRING:
    case ADSTYPE_CASE_IGNORE_STRING:
    case ADSTYPE_PRINTABLE_STRING:
    case ADSTYPE_NUMERIC_STRING:
    case ADSTYPE_OBJECT_CLASS:
      if (value.CaseIgnoreString == nullptr) return E_ADS_BAD_PARAMETER;
      *out = toUtf8(value.CaseIgnoreString);
      return S_OK;
    case ADSTYPE_BOOLEAN:
      *out = value.Boolean != 0 ? "TRUE" : "FALSE";
      return S_OK;
    case ADSTYPE_INTEGER:
      *out = std::to_string(static_cast<int32_t>(value.Integer));
      return S_OK;
    case ADSTYPE_LARGE_INTEGER:
      *out = std::to_string(value.LargeInteger.QuadPart);
      return S_OK;
    case ADSTYPE_UTC_TIME:
      if (!validTime(value.UTCTime)) return E_ADS_CANT_CONVERT_DATATYPE;
      *out = utcTimeSyntax ? formatUtcTime(value.UTCTime) : formatGeneralizedTime(value.UTCTime);
      return S_OK;
    case ADSTYPE_OCTET_STRING:
    case ADSTYPE_NT_SECURITY_DESCRIPTOR:
    case ADSTYPE_PROV_SPECIFIC:
      if (value.OctetString.lpValue == nullptr && value.OctetString.dwLength != 0) return E_ADS_BAD_PARAMETER;
      out->assign(reinterpret_cast<const char*>(value.OctetString.lpValue), value.OctetString.dwLength);
      return S_OK;
    case ADSTYPE_DN_WITH_BINARY: {
      if (value.pDNWithBinary == nullptr || value.pDNWithBinary->pszDNString == nullptr) return E_ADS_BAD_PARAMETER;
      static const char hex[] = "0123456789ABCDEF";
      std::string digits;
      for (DWORD i = 0; i < value.pDNWithBinary->dwLength; ++i) {
        digits += hex[value.pDNWithBinary->lpBinaryValue[i] >> 4];
        digits += hex[value.pDNWithBinary->lpBinaryValue[i] & 0xF];
      }
      *out = "B:" + std::to_string(digits.size()) + ":" + digits + ":" + toUtf8(value.pDNWithBinary->pszDNString);
      return S_OK;
    }
    case ADSTYPE_DN_WITH_STRING: {
      if (value.pDNWithString == nullptr || value.pDNWithString->pszDNString == nullptr ||
          value.pDNWithString->pszStringValue == nullptr)
        return E_ADS_BAD_PARAMETER;
      std::string text = toUtf8(value.pDNWithString->pszStringValue);
      *out = "S:" + std::to_string(text.size()) + ":" + text + ":" + toUtf8(value.pDNWithString->pszDNString);
      return S_OK;
    }
    default:
      return E_ADS_CANT_CONVERT_DATATYPE;
  }
}

}  // namespace winapi::adsi
