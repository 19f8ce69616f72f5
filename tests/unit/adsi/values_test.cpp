// Directory values between LDAP text, VARIANT and ADSVALUE, pinned type by type.
#include "adsi/values.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "adserr.h"
#include "adshlp.h"
#include "adsi/large_integer.h"
#include "adsi/text.h"

namespace adsi = winapi::adsi;

namespace {

struct Var {
  VARIANT v;
  Var() { VariantInit(&v); }
  ~Var() { VariantClear(&v); }
};

TEST(ValueText, IntegersAndBooleans) {
  int64_t large = 0;
  EXPECT_TRUE(adsi::parseLargeInteger("9223372036854775807", &large));
  EXPECT_EQ(large, std::numeric_limits<int64_t>::max());
  EXPECT_TRUE(adsi::parseLargeInteger("-9223372036854775808", &large));
  EXPECT_EQ(large, std::numeric_limits<int64_t>::min());
  EXPECT_TRUE(adsi::parseLargeInteger("9007199254740993", &large));
  EXPECT_EQ(large, 9007199254740993LL);
  for (const char* bad : {"", "-", "9223372036854775808", "-9223372036854775809", "1.5", " 1", "1e3", "0x10",
                          "99999999999999999999", "+1"})
    EXPECT_FALSE(adsi::parseLargeInteger(bad, &large)) << bad;

  int32_t small = 0;
  EXPECT_TRUE(adsi::parseInteger("-2147483646", &small));
  EXPECT_EQ(small, -2147483646);
  EXPECT_TRUE(adsi::parseInteger("4294967295", &small));  // an unsigned value in AD's signed view
  EXPECT_EQ(small, -1);
  EXPECT_FALSE(adsi::parseInteger("4294967296", &small));
  EXPECT_FALSE(adsi::parseInteger("-2147483649", &small));

  bool flag = false;
  EXPECT_TRUE(adsi::parseBoolean("TRUE", &flag));
  EXPECT_TRUE(flag);
  EXPECT_TRUE(adsi::parseBoolean("FALSE", &flag));
  EXPECT_FALSE(flag);
  for (const char* bad : {"true", "1", "", "TRUEX"}) EXPECT_FALSE(adsi::parseBoolean(bad, &flag)) << bad;
}

TEST(ValueText, DirectoryTimes) {
  SYSTEMTIME t{};
  ASSERT_TRUE(adsi::parseDirectoryTime("20240229123456.0Z", &t));
  EXPECT_EQ(t.wYear, 2024);
  EXPECT_EQ(t.wMonth, 2);
  EXPECT_EQ(t.wDay, 29);
  EXPECT_EQ(t.wHour, 12);
  EXPECT_EQ(t.wMinute, 34);
  EXPECT_EQ(t.wSecond, 56);
  EXPECT_EQ(t.wDayOfWeek, 4);  // a Thursday
  ASSERT_TRUE(adsi::parseDirectoryTime("20240229123456.789Z", &t));
  EXPECT_EQ(t.wMilliseconds, 789);
  ASSERT_TRUE(adsi::parseDirectoryTime("240229123456Z", &t));  // UTCTime
  EXPECT_EQ(t.wYear, 2024);
  ASSERT_TRUE(adsi::parseDirectoryTime("990101000000Z", &t));
  EXPECT_EQ(t.wYear, 1999);
  ASSERT_TRUE(adsi::parseDirectoryTime("20240101003000+0100", &t));  // offsets become UTC
  EXPECT_EQ(t.wYear, 2023);
  EXPECT_EQ(t.wMonth, 12);
  EXPECT_EQ(t.wDay, 31);
  EXPECT_EQ(t.wHour, 23);
  EXPECT_EQ(t.wMinute, 30);
  for (const char* bad : {"", "2024", "20230229000000Z", "20241301000000Z", "20240101250000Z", "20240101000000",
                          "20240101000000.Z", "20240101000000+01", "20240101000000Zjunk", "2024010100000Z"})
    EXPECT_FALSE(adsi::parseDirectoryTime(bad, &t)) << bad;

  SYSTEMTIME time{2024, 2, 0, 29, 12, 0, 0, 0};
  EXPECT_EQ(adsi::formatGeneralizedTime(time), "20240229120000.0Z");
  EXPECT_EQ(adsi::formatUtcTime(time), "240229120000Z");
  DATE date = 0;
  ASSERT_TRUE(adsi::systemTimeToDate(time, &date));
  EXPECT_DOUBLE_EQ(date, 45351.5);
  SYSTEMTIME back{};
  ASSERT_TRUE(adsi::dateToSystemTime(45351.5, &back));
  EXPECT_EQ(adsi::formatGeneralizedTime(back), "20240229120000.0Z");
  ASSERT_TRUE(adsi::dateToSystemTime(2.0, &back));  // 1900-01-01
  EXPECT_EQ(adsi::formatGeneralizedTime(back), "19000101000000.0Z");
  EXPECT_FALSE(adsi::dateToSystemTime(std::numeric_limits<double>::quiet_NaN(), &back));
  EXPECT_FALSE(adsi::dateToSystemTime(1e12, &back));
}

TEST(ValueText, RangedAttributeNames) {
  adsi::RangedName range;
  ASSERT_TRUE(adsi::parseRangedName("member;range=0-1499", &range));
  EXPECT_EQ(range.base, "member");
  EXPECT_EQ(range.low, 0u);
  EXPECT_EQ(range.high, 1499u);
  EXPECT_FALSE(range.toEnd);
  ASSERT_TRUE(adsi::parseRangedName("member;Range=1500-*", &range));
  EXPECT_EQ(range.low, 1500u);
  EXPECT_TRUE(range.toEnd);
  for (const char* bad : {"member", ";range=0-1", "member;range=", "member;range=-5", "member;range=5-",
                          "member;range=5-4", "member;range=a-b", "member;range=0-99999999999"})
    EXPECT_FALSE(adsi::parseRangedName(bad, &range)) << bad;
}

TEST(VariantShapes, GetGivesTheTypeOfTheSyntax) {
  Var text;
  ASSERT_EQ(adsi::ldapToVariant(ADSTYPE_CASE_IGNORE_STRING, "Zo\xC3\xAB", &text.v), S_OK);
  ASSERT_EQ(text.v.vt, VT_BSTR);
  EXPECT_EQ(std::u16string(text.v.bstrVal), u"Zo\u00eb");
  Var number;
  ASSERT_EQ(adsi::ldapToVariant(ADSTYPE_INTEGER, "-42", &number.v), S_OK);
  EXPECT_EQ(number.v.vt, VT_I4);
  EXPECT_EQ(number.v.lVal, -42);
  Var flag;
  ASSERT_EQ(adsi::ldapToVariant(ADSTYPE_BOOLEAN, "TRUE", &flag.v), S_OK);
  EXPECT_EQ(flag.v.vt, VT_BOOL);
  EXPECT_EQ(flag.v.boolVal, VARIANT_TRUE);
  Var large;
  ASSERT_EQ(adsi::ldapToVariant(ADSTYPE_LARGE_INTEGER, "-9007199254740993", &large.v), S_OK);
  ASSERT_EQ(large.v.vt, VT_DISPATCH);
  IADsLargeInteger* li = nullptr;
  ASSERT_EQ(large.v.pdispVal->QueryInterface(IID_IADsLargeInteger, reinterpret_cast<void**>(&li)), S_OK);
  LONG high = 0, low = 0;
  li->get_HighPart(&high);
  li->get_LowPart(&low);
  li->Release();
  EXPECT_EQ(high, static_cast<LONG>(0xFFDFFFFF));
  EXPECT_EQ(low, static_cast<LONG>(0xFFFFFFFF));
  Var bytes;
  ASSERT_EQ(adsi::ldapToVariant(ADSTYPE_OCTET_STRING, std::string("\x01\x00\xff", 3), &bytes.v), S_OK);
  ASSERT_EQ(bytes.v.vt, VT_ARRAY | VT_UI1);
  EXPECT_EQ(bytes.v.parray->rgsabound[0].cElements, 3u);
  EXPECT_EQ(std::memcmp(bytes.v.parray->pvData, "\x01\x00\xff", 3), 0);
  Var when;
  ASSERT_EQ(adsi::ldapToVariant(ADSTYPE_UTC_TIME, "20240229120000.0Z", &when.v), S_OK);
  EXPECT_EQ(when.v.vt, VT_DATE);
  EXPECT_DOUBLE_EQ(when.v.date, 45351.5);
  Var bad;
  EXPECT_EQ(adsi::ldapToVariant(ADSTYPE_INTEGER, "x", &bad.v), E_ADS_CANT_CONVERT_DATATYPE);
  EXPECT_EQ(adsi::ldapToVariant(ADSTYPE_BOOLEAN, "yes", &bad.v), E_ADS_CANT_CONVERT_DATATYPE);
  EXPECT_EQ(bad.v.vt, VT_EMPTY);
}

TEST(VariantShapes, OneValueIsAScalarSeveralAnArrayGetExAlwaysAnArray) {
  Var one;
  ASSERT_EQ(adsi::ldapValuesToVariant(ADSTYPE_CASE_IGNORE_STRING, {"a"}, false, &one.v), S_OK);
  EXPECT_EQ(one.v.vt, VT_BSTR);
  Var oneAsArray;
  ASSERT_EQ(adsi::ldapValuesToVariant(ADSTYPE_CASE_IGNORE_STRING, {"a"}, true, &oneAsArray.v), S_OK);
  EXPECT_EQ(oneAsArray.v.vt, VT_ARRAY | VT_VARIANT);
  Var several;
  ASSERT_EQ(adsi::ldapValuesToVariant(ADSTYPE_OCTET_STRING, {"ab", "c"}, false, &several.v), S_OK);
  ASSERT_EQ(several.v.vt, VT_ARRAY | VT_VARIANT);
  LONG lower = -1;
  SafeArrayGetLBound(several.v.parray, 1, &lower);
  EXPECT_EQ(lower, 0);
  auto* elements = static_cast<VARIANT*>(several.v.parray->pvData);
  EXPECT_EQ(elements[0].vt, VT_ARRAY | VT_UI1);
  EXPECT_EQ(elements[1].parray->rgsabound[0].cElements, 1u);
}

TEST(VariantShapes, WritesConvertBackOrRefuse) {
  std::string out;
  Var text;
  text.v.vt = VT_BSTR;
  text.v.bstrVal = SysAllocString(u"\u00e9t\u00e9");
  ASSERT_EQ(adsi::variantToLdap(ADSTYPE_CASE_IGNORE_STRING, text.v, false, &out), S_OK);
  EXPECT_EQ(out, "\xC3\xA9t\xC3\xA9");
  EXPECT_EQ(adsi::variantToLdap(ADSTYPE_INTEGER, text.v, false, &out), E_ADS_CANT_CONVERT_DATATYPE);

  Var number;
  number.v.vt = VT_I4;
  number.v.lVal = -2147483646;
  ASSERT_EQ(adsi::variantToLdap(ADSTYPE_INTEGER, number.v, false, &out), S_OK);
  EXPECT_EQ(out, "-2147483646");
  ASSERT_EQ(adsi::variantToLdap(ADSTYPE_LARGE_INTEGER, number.v, false, &out), S_OK);
  EXPECT_EQ(out, "-2147483646");
  EXPECT_EQ(adsi::variantToLdap(ADSTYPE_CASE_IGNORE_STRING, number.v, false, &out), E_ADS_CANT_CONVERT_DATATYPE);

  Var large;
  large.v.vt = VT_DISPATCH;
  ASSERT_EQ(adsi::newLargeInteger(9223372036854775807LL, &large.v.pdispVal), S_OK);
  ASSERT_EQ(adsi::variantToLdap(ADSTYPE_LARGE_INTEGER, large.v, false, &out), S_OK);
  EXPECT_EQ(out, "9223372036854775807");

  Var flag;
  flag.v.vt = VT_BOOL;
  flag.v.boolVal = VARIANT_TRUE;
  ASSERT_EQ(adsi::variantToLdap(ADSTYPE_BOOLEAN, flag.v, false, &out), S_OK);
  EXPECT_EQ(out, "TRUE");

  Var date;
  date.v.vt = VT_DATE;
  date.v.date = 45351.5;
  ASSERT_EQ(adsi::variantToLdap(ADSTYPE_UTC_TIME, date.v, false, &out), S_OK);
  EXPECT_EQ(out, "20240229120000.0Z");
  ASSERT_EQ(adsi::variantToLdap(ADSTYPE_UTC_TIME, date.v, true, &out), S_OK);
  EXPECT_EQ(out, "240229120000Z");

  Var bytes;
  bytes.v.vt = VT_ARRAY | VT_UI1;
  bytes.v.parray = SafeArrayCreateVector(VT_UI1, 0, 2);
  std::memcpy(bytes.v.parray->pvData, "\x00\x01", 2);
  ASSERT_EQ(adsi::variantToLdap(ADSTYPE_OCTET_STRING, bytes.v, false, &out), S_OK);
  EXPECT_EQ(out, std::string("\x00\x01", 2));

  // An array of values is several values; a byte array stays one.
  LPWSTR names[] = {const_cast<LPWSTR>(u"x"), const_cast<LPWSTR>(u"y")};
  Var list;
  ASSERT_EQ(ADsBuildVarArrayStr(names, 2, &list.v), S_OK);
  std::vector<std::string> values;
  ASSERT_EQ(adsi::variantToLdapValues(ADSTYPE_CASE_IGNORE_STRING, list.v, false, &values), S_OK);
  EXPECT_EQ(values, (std::vector<std::string>{"x", "y"}));
  ASSERT_EQ(adsi::variantToLdapValues(ADSTYPE_OCTET_STRING, bytes.v, false, &values), S_OK);
  EXPECT_EQ(values.size(), 1u);
  EXPECT_EQ(adsi::variantToLdapValues(ADSTYPE_INTEGER, list.v, false, &values), E_ADS_CANT_CONVERT_DATATYPE);
  Var empty;
  EXPECT_EQ(adsi::variantToLdap(ADSTYPE_CASE_IGNORE_STRING, empty.v, false, &out), E_ADS_CANT_CONVERT_DATATYPE);
}

TEST(AdsValues, LaidOutInOneBlockAndBack) {
  struct Case {
    ADSTYPE type;
    std::string text;
  };
  const Case cases[] = {
      {ADSTYPE_CASE_IGNORE_STRING, "Zo\xC3\xAB"},
      {ADSTYPE_DN_STRING, "CN=x,DC=y"},
      {ADSTYPE_BOOLEAN, "FALSE"},
      {ADSTYPE_INTEGER, "-5"},
      {ADSTYPE_LARGE_INTEGER, "-9007199254740993"},
      {ADSTYPE_UTC_TIME, "20240229123456.0Z"},
      {ADSTYPE_OCTET_STRING, std::string("\x00\x01\x02", 3)},
      {ADSTYPE_NT_SECURITY_DESCRIPTOR, "\x01\x00\x04\x80"},
      {ADSTYPE_DN_WITH_BINARY, "B:4:0AFF:CN=x,DC=y"},
      {ADSTYPE_DN_WITH_STRING, "S:5:hello:CN=x,DC=y"},
  };
  for (const Case& c : cases) {
    ADSVALUE measured;
    adsi::BlockCursor measure(nullptr);
    ASSERT_EQ(adsi::ldapToAdsValue(c.type, c.text, &measured, &measure), S_OK) << c.text;
    char* memory = static_cast<char*>(AllocADsMem(static_cast<DWORD>(measure.used() + 1)));
    adsi::BlockCursor block(memory);
    ADSVALUE value;
    ASSERT_EQ(adsi::ldapToAdsValue(c.type, c.text, &value, &block), S_OK);
    EXPECT_EQ(block.used(), measure.used());
    EXPECT_EQ(value.dwType, c.type);
    std::string back;
    ASSERT_EQ(adsi::adsValueToLdap(value, false, &back), S_OK) << c.text;
    EXPECT_EQ(back, c.text);
    FreeADsMem(memory);
  }
  ADSVALUE value;
  adsi::BlockCursor measure(nullptr);
  EXPECT_EQ(adsi::ldapToAdsValue(ADSTYPE_DN_WITH_BINARY, "B:9:0A:CN=x", &value, &measure), E_ADS_CANT_CONVERT_DATATYPE);
  EXPECT_EQ(adsi::ldapToAdsValue(ADSTYPE_DN_WITH_STRING, "S:99:x:CN=x", &value, &measure), E_ADS_CANT_CONVERT_DATATYPE);
  EXPECT_EQ(adsi::ldapToAdsValue(ADSTYPE_INTEGER, "1x", &value, &measure), E_ADS_CANT_CONVERT_DATATYPE);
}

TEST(Text, Utf16AndSecrets) {
  EXPECT_EQ(adsi::toUtf16("a\xF0\x9F\x98\x80"), u"a\U0001F600");
  EXPECT_EQ(adsi::toUtf8(u"a\U0001F600"), "a\xF0\x9F\x98\x80");
  EXPECT_EQ(adsi::toUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");  // overlong form
  EXPECT_EQ(adsi::toUtf8(std::u16string(1, static_cast<char16_t>(0xD800))), "\xEF\xBF\xBD");
  // A block is measured and filled without a temporary: both agree with the conversion.
  for (std::string_view text : {"plain", "a\xF0\x9F\x98\x80\xC3\xA9", "\xC0\xAF\xE2\x82"}) {
    std::u16string expected = adsi::toUtf16(text);
    ASSERT_EQ(adsi::utf16Length(text), expected.size()) << text;
    std::u16string copied(expected.size(), u'#');
    adsi::copyUtf16(text, copied.data());
    EXPECT_EQ(copied, expected);
  }
  EXPECT_TRUE(adsi::Secret("pw").equals(adsi::Secret("pw")));
  EXPECT_FALSE(adsi::Secret("pw").equals(adsi::Secret("pw2")));
  EXPECT_FALSE(adsi::Secret("pw").equals(adsi::Secret("")));
  EXPECT_FALSE(adsi::Secret("pW").equals(adsi::Secret("pw")));
  EXPECT_TRUE(adsi::Secret("").equals(adsi::Secret("")));
}

}  // namespace
