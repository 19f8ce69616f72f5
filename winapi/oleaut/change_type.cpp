// VariantChangeType for the conversions the directory's values need: every scalar to text.
// Text follows the United States English conventions of the system's default locale.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "oleauto.h"

namespace {

BSTR bstrFromAscii(const std::string& text) {
  BSTR result = SysAllocStringLen(nullptr, static_cast<UINT>(text.size()));
  if (result == nullptr) return nullptr;
  for (size_t i = 0; i < text.size(); ++i) result[i] = static_cast<OLECHAR>(static_cast<unsigned char>(text[i]));
  return result;
}

// Days since 1899-12-30 to a civil date (proleptic Gregorian).
void civilFromDays(int64_t days, int* year, unsigned* month, unsigned* day) {
  int64_t z = days - 25569 + 719468;  // shift to days since 1970-01-01, then to 0000-03-01
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  unsigned doe = static_cast<unsigned>(z - era * 146097);
  unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t y = static_cast<int64_t>(yoe) + era * 400;
  unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  unsigned mp = (5 * doy + 2) / 153;
  *day = doy - (153 * mp + 2) / 5 + 1;
  *month = mp < 10 ? mp + 3 : mp - 9;
  *year = static_cast<int>(y + (*month <= 2));
}

std::string dateText(DATE value) {
  // An OLE date's fraction is the time of day whatever the sign of the day count.
  double wholeDays = value < 0 ? std::ceil(value) : std::floor(value);
  double fraction = std::fabs(value - wholeDays);
  int64_t seconds = static_cast<int64_t>(std::llround(fraction * 86400.0));
  int64_t days = static_cast<int64_t>(wholeDays);
  if (seconds >= 86400) {
    seconds -= 86400;
    days += value < 0 ? -1 : 1;
  }
  char buffer[64];
  std::string text;
  if (days != 0) {
    int year;
    unsigned month, day;
    civilFromDays(days, &year, &month, &day);
    std::snprintf(buffer, sizeof buffer, "%u/%u/%d", month, day, year);
    text = buffer;
  }
  if (seconds != 0 || days == 0) {
    int hour = static_cast<int>(seconds / 3600);
    int minute = static_cast<int>(seconds / 60 % 60);
    int second = static_cast<int>(seconds % 60);
    int hour12 = hour % 12 == 0 ? 12 : hour % 12;
    std::snprintf(buffer, sizeof buffer, "%d:%02d:%02d %s", hour12, minute, second, hour < 12 ? "AM" : "PM");
    if (!text.empty()) text += ' ';
    text += buffer;
  }
  return text;
}

std::string doubleText(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.15G", value);
  return buffer;
}

// The text of a scalar value; false when the type has no text form.
bool scalarText(const VARIANT& value, USHORT flags, std::string* text) {
  char buffer[32];
  switch (value.vt) {
    case VT_EMPTY: text->clear(); return true;
    case VT_I1: std::snprintf(buffer, sizeof buffer, "%d", static_cast<int>(value.cVal)); break;
    case VT_UI1: std::snprintf(buffer, sizeof buffer, "%u", static_cast<unsigned>(value.bVal)); break;
    case VT_I2: std::snprintf(buffer, sizeof buffer, "%d", static_cast<int>(value.iVal)); break;
    case VT_UI2: std::snprintf(buffer, sizeof buffer, "%u", static_cast<unsigned>(value.uiVal)); break;
    case VT_I4: std::snprintf(buffer, sizeof buffer, "%d", static_cast<int>(value.lVal)); break;
    case VT_INT: std::snprintf(buffer, sizeof buffer, "%d", static_cast<int>(value.intVal)); break;
    case VT_UI4: std::snprintf(buffer, sizeof buffer, "%u", static_cast<unsigned>(value.ulVal)); break;
    case VT_UINT: std::snprintf(buffer, sizeof buffer, "%u", static_cast<unsigned>(value.uintVal)); break;
    case VT_I8: std::snprintf(buffer, sizeof buffer, "%lld", static_cast<long long>(value.llVal)); break;
    case VT_UI8: std::snprintf(buffer, sizeof buffer, "%llu", static_cast<unsigned long long>(value.ullVal)); break;
    case VT_R4: *text = doubleText(value.fltVal); return true;
    case VT_R8: *text = doubleText(value.dblVal); return true;
    case VT_DATE: *text = dateText(value.date); return true;
    case VT_BOOL:
      if (flags & VARIANT_ALPHABOOL)
        *text = value.boolVal ? "True" : "False";
      else
        *text = value.boolVal ? "-1" : "0";
      return true;
    default: return false;
  }
  *text = buffer;
  return true;
}

HRESULT toBstr(const VARIANT& source, USHORT flags, VARIANT* result) {
  VariantInit(result);
  result->vt = VT_BSTR;
  if (source.vt == VT_BSTR) {
    if (source.bstrVal == nullptr) return S_OK;
    result->bstrVal = SysAllocStringByteLen(reinterpret_cast<const char*>(source.bstrVal), SysStringByteLen(source.bstrVal));
    return result->bstrVal == nullptr ? E_OUTOFMEMORY : S_OK;
  }
  std::string text;
  if (!scalarText(source, flags, &text)) {
    result->vt = VT_EMPTY;
    return DISP_E_TYPEMISMATCH;
  }
  result->bstrVal = bstrFromAscii(text);
  return result->bstrVal == nullptr ? E_OUTOFMEMORY : S_OK;
}

}  // namespace

HRESULT VariantChangeType(VARIANTARG* destination, VARIANTARG* source, USHORT flags, VARTYPE type) {
  if (destination == nullptr || source == nullptr) return E_INVALIDARG;
  VARIANT value;
  VariantInit(&value);
  HRESULT hr = VariantCopyInd(&value, source);
  if (FAILED(hr)) return hr;
  VARIANT converted;
  VariantInit(&converted);
  if (value.vt == type) {
    hr = VariantCopy(&converted, &value);
  } else if (type == VT_BSTR && !(value.vt & VT_ARRAY)) {
    hr = toBstr(value, flags, &converted);
  } else {
    hr = DISP_E_TYPEMISMATCH;
  }
  VariantClear(&value);
  if (FAILED(hr)) return hr;
  hr = VariantClear(destination);
  if (FAILED(hr)) {
    VariantClear(&converted);
    return hr;
  }
  std::memcpy(destination, &converted, sizeof(VARIANT));
  return S_OK;
}
