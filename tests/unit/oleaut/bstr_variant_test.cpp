#include <gtest/gtest.h>

#include <cstring>

#include "platform.h"

namespace {

TEST(Bstr, KeepsLengthAndEmbeddedNul) {
  const WCHAR text[] = {u'a', 0, u'b'};
  BSTR value = SysAllocStringLen(text, 3);
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(SysStringLen(value), 3u);
  EXPECT_EQ(SysStringByteLen(value), 6u);
  EXPECT_EQ(value[1], 0);
  EXPECT_EQ(value[2], u'b');
  EXPECT_EQ(value[3], 0) << "a BSTR is NUL-terminated behind its length";
  EXPECT_EQ(lstrlenW(value), 1);
  SysFreeString(value);
}

TEST(Bstr, NullInputsAreHarmless) {
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  SysFreeString(nullptr);
  BSTR empty = SysAllocString(u"");
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(SysStringLen(empty), 0u);
  SysFreeString(empty);
}

TEST(Variant, ClearFreesAndResetsToEmpty) {
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_BSTR;
  value.bstrVal = SysAllocString(u"text");
  EXPECT_EQ(VariantClear(&value), S_OK);
  EXPECT_EQ(value.vt, VT_EMPTY);
  value.vt = 0x0FFF;
  EXPECT_EQ(VariantClear(&value), DISP_E_BADVARTYPE);
}

TEST(Variant, CopyIsDeepForStringsAndArrays) {
  VARIANT source;
  VariantInit(&source);
  source.vt = VT_BSTR;
  source.bstrVal = SysAllocString(u"abc");
  VARIANT copy;
  VariantInit(&copy);
  ASSERT_EQ(VariantCopy(&copy, &source), S_OK);
  EXPECT_NE(copy.bstrVal, source.bstrVal);
  EXPECT_EQ(std::u16string(copy.bstrVal), u"abc");
  VariantClear(&source);
  EXPECT_EQ(std::u16string(copy.bstrVal), u"abc") << "the copy outlives its source";
  VariantClear(&copy);

  SAFEARRAY* bytes = SafeArrayCreateVector(VT_UI1, 0, 3);
  static_cast<BYTE*>(bytes->pvData)[2] = 7;
  source.vt = VT_ARRAY | VT_UI1;
  source.parray = bytes;
  ASSERT_EQ(VariantCopy(&copy, &source), S_OK);
  EXPECT_NE(copy.parray, bytes);
  EXPECT_EQ(static_cast<BYTE*>(copy.parray->pvData)[2], 7);
  VariantClear(&source);
  VariantClear(&copy);
}

TEST(Variant, CopyIndFollowsReferences) {
  LONG number = 42;
  VARIANT reference;
  VariantInit(&reference);
  reference.vt = VT_I4 | VT_BYREF;
  reference.plVal = &number;
  VARIANT copy;
  VariantInit(&copy);
  ASSERT_EQ(VariantCopyInd(&copy, &reference), S_OK);
  EXPECT_EQ(copy.vt, VT_I4);
  EXPECT_EQ(copy.lVal, 42);

  BSTR text = SysAllocString(u"ref");
  reference.vt = VT_BSTR | VT_BYREF;
  reference.pbstrVal = &text;
  ASSERT_EQ(VariantCopyInd(&copy, &reference), S_OK);
  EXPECT_EQ(copy.vt, VT_BSTR);
  EXPECT_NE(copy.bstrVal, text);
  EXPECT_EQ(std::u16string(copy.bstrVal), u"ref");
  VariantClear(&copy);
  SysFreeString(text);
}

struct ChangeTypeCase {
  VARIANT value;
  USHORT flags;
  const char16_t* expected;
};

VARIANT scalar(VARTYPE type, double number) {
  VARIANT v;
  VariantInit(&v);
  v.vt = type;
  switch (type) {
    case VT_I4: v.lVal = static_cast<LONG>(number); break;
    case VT_INT: v.intVal = static_cast<INT>(number); break;
    case VT_I2: v.iVal = static_cast<SHORT>(number); break;
    case VT_UI1: v.bVal = static_cast<BYTE>(number); break;
    case VT_I8: v.llVal = static_cast<LONGLONG>(number); break;
    case VT_BOOL: v.boolVal = number != 0 ? VARIANT_TRUE : VARIANT_FALSE; break;
    case VT_R8: v.dblVal = number; break;
    case VT_DATE: v.date = number; break;
    default: break;
  }
  return v;
}

TEST(VariantChangeType, RendersDirectoryScalarsAsText) {
  ChangeTypeCase cases[] = {
      {scalar(VT_I4, 42), 0, u"42"},
      {scalar(VT_I4, -7), 0, u"-7"},
      {scalar(VT_INT, 5), 0, u"5"},
      {scalar(VT_UI1, 255), 0, u"255"},
      {scalar(VT_I8, -9007199254740991.0), 0, u"-9007199254740991"},
      {scalar(VT_BOOL, 1), 0, u"-1"},
      {scalar(VT_BOOL, 0), 0, u"0"},
      {scalar(VT_BOOL, 1), VARIANT_ALPHABOOL, u"True"},
      {scalar(VT_R8, 2.5), 0, u"2.5"},
      {scalar(VT_DATE, 45000.5), 0, u"3/15/2023 12:00:00 PM"},
      {scalar(VT_DATE, 45000.0), 0, u"3/15/2023"},
      {scalar(VT_DATE, 0.25), 0, u"6:00:00 AM"},
      {scalar(VT_DATE, 2.0), 0, u"1/1/1900"},
      {scalar(VT_EMPTY, 0), 0, u""},
  };
  for (ChangeTypeCase c : cases) {
    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(VariantChangeType(&result, &c.value, c.flags, VT_BSTR), S_OK) << "type " << c.value.vt;
    ASSERT_EQ(result.vt, VT_BSTR);
    EXPECT_EQ(std::u16string(result.bstrVal), std::u16string(c.expected)) << "type " << c.value.vt;
    VariantClear(&result);
  }
}

TEST(VariantChangeType, RefusesArraysAndObjects) {
  VARIANT array;
  VariantInit(&array);
  array.vt = VT_ARRAY | VT_VARIANT;
  array.parray = SafeArrayCreateVector(VT_VARIANT, 0, 1);
  VARIANT result;
  VariantInit(&result);
  EXPECT_EQ(VariantChangeType(&result, &array, 0, VT_BSTR), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(result.vt, VT_EMPTY) << "a failed conversion leaves the destination alone";
  VariantClear(&array);

  VARIANT object;
  VariantInit(&object);
  object.vt = VT_DISPATCH;
  EXPECT_EQ(VariantChangeType(&result, &object, 0, VT_BSTR), DISP_E_TYPEMISMATCH);
  VARIANT null = scalar(VT_NULL, 0);
  EXPECT_EQ(VariantChangeType(&result, &null, 0, VT_BSTR), DISP_E_TYPEMISMATCH);
}

TEST(VariantChangeType, ConvertsInPlace) {
  VARIANT value = scalar(VT_I4, 12);
  ASSERT_EQ(VariantChangeType(&value, &value, 0, VT_BSTR), S_OK);
  EXPECT_EQ(value.vt, VT_BSTR);
  EXPECT_EQ(std::u16string(value.bstrVal), u"12");
  VariantClear(&value);
}

}  // namespace
