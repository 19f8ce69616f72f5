#include <gtest/gtest.h>

#include "platform.h"

namespace {

TEST(SafeArray, BoundsFollowTheLowerBound) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_I4, 3, 4);
  ASSERT_NE(array, nullptr);
  LONG lower = 0, upper = 0;
  EXPECT_EQ(SafeArrayGetLBound(array, 1, &lower), S_OK);
  EXPECT_EQ(SafeArrayGetUBound(array, 1, &upper), S_OK);
  EXPECT_EQ(lower, 3);
  EXPECT_EQ(upper, 6);
  EXPECT_EQ(SafeArrayGetDim(array), 1u);
  EXPECT_EQ(SafeArrayGetLBound(array, 2, &lower), DISP_E_BADINDEX);
  LONG outside = 7;
  LONG value = 1;
  EXPECT_EQ(SafeArrayPutElement(array, &outside, &value), DISP_E_BADINDEX);
  VARTYPE type = 0;
  EXPECT_EQ(SafeArrayGetVartype(array, &type), S_OK);
  EXPECT_EQ(type, VT_I4);
  EXPECT_EQ(SafeArrayDestroy(array), S_OK);
}

TEST(SafeArray, EmptyArrayHasUpperBoundBelowLower) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, 0);
  ASSERT_NE(array, nullptr);
  LONG upper = 0;
  SafeArrayGetUBound(array, 1, &upper);
  EXPECT_EQ(upper, -1);
  SafeArrayDestroy(array);
}

TEST(SafeArray, LockedArrayRefusesRedimAndDestroy) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 0, 1);
  ASSERT_EQ(SafeArrayLock(array), S_OK);
  SAFEARRAYBOUND bound{2, 0};
  EXPECT_EQ(SafeArrayRedim(array, &bound), DISP_E_ARRAYISLOCKED);
  EXPECT_EQ(SafeArrayDestroy(array), DISP_E_ARRAYISLOCKED);
  EXPECT_EQ(SafeArrayUnlock(array), S_OK);
  EXPECT_EQ(SafeArrayUnlock(array), E_UNEXPECTED) << "unlocks must balance locks";
  EXPECT_EQ(SafeArrayDestroy(array), S_OK);
}

TEST(SafeArray, FixedSizeArrayCannotGrow) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_I4, 0, 1);
  array->fFeatures |= FADF_FIXEDSIZE;
  SAFEARRAYBOUND bound{2, 0};
  EXPECT_EQ(SafeArrayRedim(array, &bound), E_INVALIDARG);
  EXPECT_EQ(array->rgsabound[0].cElements, 1u);
  SafeArrayDestroy(array);
}

TEST(SafeArray, RedimKeepsElementsAndReleasesDroppedOnes) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 0, 2);
  LONG i0 = 0, i1 = 1;
  BSTR a = SysAllocString(u"a");
  BSTR b = SysAllocString(u"b");
  ASSERT_EQ(SafeArrayPutElement(array, &i0, a), S_OK);
  ASSERT_EQ(SafeArrayPutElement(array, &i1, b), S_OK);
  SysFreeString(a);
  SysFreeString(b);
  SAFEARRAYBOUND grow{5, 0};
  ASSERT_EQ(SafeArrayRedim(array, &grow), S_OK);
  BSTR* data = static_cast<BSTR*>(array->pvData);
  EXPECT_EQ(std::u16string(data[1]), u"b");
  EXPECT_EQ(data[4], nullptr) << "new elements start empty";
  SAFEARRAYBOUND shrink{1, 0};
  ASSERT_EQ(SafeArrayRedim(array, &shrink), S_OK);
  LONG upper = 0;
  SafeArrayGetUBound(array, 1, &upper);
  EXPECT_EQ(upper, 0);
  BSTR out = nullptr;
  ASSERT_EQ(SafeArrayGetElement(array, &i0, &out), S_OK);
  EXPECT_EQ(std::u16string(out), u"a");
  SysFreeString(out);
  SafeArrayDestroy(array);
}

TEST(SafeArray, CopyIsDeepAndUnlocked) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, 1);
  LONG index = 0;
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_BSTR;
  value.bstrVal = SysAllocString(u"x");
  ASSERT_EQ(SafeArrayPutElement(array, &index, &value), S_OK);
  VariantClear(&value);
  SafeArrayLock(array);
  SAFEARRAY* copy = nullptr;
  ASSERT_EQ(SafeArrayCopy(array, &copy), S_OK);
  EXPECT_EQ(copy->cLocks, 0u);
  VARIANT* original = static_cast<VARIANT*>(array->pvData);
  VARIANT* copied = static_cast<VARIANT*>(copy->pvData);
  EXPECT_NE(original->bstrVal, copied->bstrVal);
  EXPECT_EQ(std::u16string(copied->bstrVal), u"x");
  SafeArrayUnlock(array);
  SafeArrayDestroy(array);
  SafeArrayDestroy(copy);
}

}  // namespace
