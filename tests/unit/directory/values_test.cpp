#include <gtest/gtest.h>

#include "directory/values.h"

namespace {

std::u16string elementText(const VariantArray& array, LONG index) {
  void* element = nullptr;
  EXPECT_EQ(SafeArrayPtrOfIndex(array.array(), &index, &element), S_OK);
  const VARIANT* value = static_cast<const VARIANT*>(element);
  return value->vt == VT_BSTR ? std::u16string(value->bstrVal) : std::u16string(u"<not text>");
}

TEST(OctetsToHex, TwoLowerCaseDigitsPerByte) {
  const BYTE bytes[] = {0x00, 0xAB, 0x0F};
  EXPECT_EQ(octetsToHex(bytes, 3), u"00ab0f");
  EXPECT_EQ(octetsToHex(bytes, 0), u"");
}

TEST(VariantToText, StringsBytesAndSystemConversion) {
  WideString text = u"unchanged";
  VARIANT number = intVariant(42);
  EXPECT_EQ(variantToText(number, &text), S_OK);
  EXPECT_EQ(text, u"42");

  VARIANT bytes;
  VariantInit(&bytes);
  bytes.vt = VT_ARRAY | VT_UI1;
  bytes.parray = SafeArrayCreateVector(VT_UI1, 0, 2);
  static_cast<BYTE*>(bytes.parray->pvData)[0] = 0xde;
  static_cast<BYTE*>(bytes.parray->pvData)[1] = 0x01;
  EXPECT_EQ(variantToText(bytes, &text), S_OK);
  EXPECT_EQ(text, u"de01");
  VariantClear(&bytes);

  VARIANT array;
  VariantInit(&array);
  array.vt = VT_ARRAY | VT_VARIANT;
  array.parray = SafeArrayCreateVector(VT_VARIANT, 0, 0);
  text = u"kept";
  EXPECT_EQ(variantToText(array, &text), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(text, u"kept");
  VariantClear(&array);
}

TEST(VariantToString, StrictAboutType) {
  WideString text = u"kept";
  EXPECT_EQ(variantToString(intVariant(1), &text), VALUE_TYPE_MISMATCH);
  EXPECT_EQ(text, u"kept");
  VARIANT empty;
  VariantInit(&empty);
  EXPECT_EQ(variantToString(empty, &text), VALUE_TYPE_MISMATCH);
  const WCHAR withNul[] = {u'a', 0, u'b'};
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_BSTR;
  value.bstrVal = SysAllocStringLen(withNul, 3);
  EXPECT_EQ(variantToString(value, &text), S_OK);
  EXPECT_EQ(text, u"a") << "directory text ends at its first NUL";
  VariantClear(&value);
}

TEST(VariantToInt, AcceptsI4AndIntOnly) {
  LONG number = 7;
  EXPECT_EQ(variantToInt(intVariant(-3), &number), S_OK);
  EXPECT_EQ(number, -3);
  VARIANT asInt;
  VariantInit(&asInt);
  asInt.vt = VT_INT;
  asInt.intVal = 9;
  EXPECT_EQ(variantToInt(asInt, &number), S_OK);
  EXPECT_EQ(number, 9);
  VARIANT shortValue;
  VariantInit(&shortValue);
  shortValue.vt = VT_I2;
  shortValue.iVal = 5;
  EXPECT_EQ(variantToInt(shortValue, &number), VALUE_TYPE_MISMATCH);
  EXPECT_EQ(number, 9);
}

TEST(LargeIntegerValue, LowPartThenHighPart) {
  ADSVALUE value = largeIntegerValue(2, 1);
  EXPECT_EQ(value.dwType, ADSTYPE_LARGE_INTEGER);
  EXPECT_EQ(value.LargeInteger.QuadPart, 0x0000000100000002LL);
  ADSVALUE negative = largeIntegerValue(-1, -1);
  EXPECT_EQ(negative.LargeInteger.QuadPart, -1LL);
}

TEST(VariantToLargeInteger, RefusesNonObjects) {
  LONG low = 0, high = 0;
  EXPECT_EQ(variantToLargeInteger(intVariant(1), &low, &high), VALUE_TYPE_MISMATCH);
}

TEST(VariantArray, AppendCopiesAndKeepsOrder) {
  VariantArray array;
  EXPECT_EQ(array.count(), 0);
  VARIANT first = bstrVariant(u"a");
  VARIANT second = bstrVariant(u"b");
  EXPECT_EQ(array.append(first), S_OK);
  EXPECT_EQ(array.append(second), S_OK);
  VariantClear(&first);
  VariantClear(&second);
  ASSERT_EQ(array.count(), 2);
  LONG lower = -1;
  SafeArrayGetLBound(array.array(), 1, &lower);
  EXPECT_EQ(lower, 0);
  EXPECT_EQ(elementText(array, 0), u"a");
  EXPECT_EQ(elementText(array, 1), u"b");
}

TEST(VariantArray, FixedSizeArrayRefusesAppend) {
  VariantArray array;
  VARIANT value = intVariant(1);
  ASSERT_EQ(array.append(value), S_OK);
  array.array()->fFeatures |= FADF_FIXEDSIZE;
  EXPECT_EQ(array.append(value), E_FAIL);
  EXPECT_EQ(array.count(), 1);
  array.array()->fFeatures &= ~FADF_FIXEDSIZE;
}

TEST(VariantArray, AppendAllAndToVariantAreCopies) {
  SAFEARRAY* source = SafeArrayCreateVector(VT_VARIANT, 0, 2);
  LONG i0 = 0, i1 = 1;
  VARIANT a = bstrVariant(u"x");
  VARIANT b = intVariant(5);
  SafeArrayPutElement(source, &i0, &a);
  SafeArrayPutElement(source, &i1, &b);
  VariantClear(&a);
  VariantArray array;
  VARIANT first = bstrVariant(u"first");
  array.append(first);
  VariantClear(&first);
  EXPECT_EQ(array.appendAll(source), S_OK);
  SafeArrayDestroy(source);
  ASSERT_EQ(array.count(), 3);
  EXPECT_EQ(elementText(array, 0), u"first");
  EXPECT_EQ(elementText(array, 1), u"x");

  VARIANT whole = array.toVariant();
  ASSERT_EQ(whole.vt, VT_ARRAY | VT_VARIANT);
  EXPECT_NE(whole.parray, array.array());
  EXPECT_EQ(VariantClear(&whole), S_OK) << "the handed-out copy is not locked";
}

TEST(VariantArray, EmptyArrayGivesAnEmptyArrayVariant) {
  VariantArray array;
  VARIANT whole = array.toVariant();
  ASSERT_EQ(whole.vt, VT_ARRAY | VT_VARIANT);
  LONG upper = 0;
  SafeArrayGetUBound(whole.parray, 1, &upper);
  EXPECT_EQ(upper, -1);
  VariantClear(&whole);
}

TEST(VariantToVariantArray, ShapesOfGet) {
  VariantArray single;
  VARIANT text = bstrVariant(u"one");
  EXPECT_EQ(variantToVariantArray(text, &single), S_OK);
  EXPECT_EQ(single.count(), 1);
  VariantClear(&text);

  VariantArray none;
  VARIANT empty;
  VariantInit(&empty);
  EXPECT_EQ(variantToVariantArray(empty, &none), VALUE_TYPE_MISMATCH);
  EXPECT_EQ(none.array(), nullptr);

  VariantArray many;
  VARIANT multi;
  VariantInit(&multi);
  multi.vt = VT_ARRAY | VT_VARIANT;
  multi.parray = SafeArrayCreateVector(VT_VARIANT, 0, 3);
  EXPECT_EQ(variantToVariantArray(multi, &many), S_OK);
  EXPECT_EQ(many.count(), 3);
  EXPECT_NE(many.array(), multi.parray);
  VariantClear(&multi);
}

}  // namespace
