#include <cstdlib>
#include <cstring>
#include <new>

#include "oleaut/elements.h"

namespace winapi::oleaut {

ULONG elementSize(VARTYPE type) {
  switch (type) {
    case VT_I1:
    case VT_UI1:
      return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
      return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR:
      return 4;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_DATE:
    case VT_CY:
      return 8;
    case VT_BSTR:
    case VT_UNKNOWN:
    case VT_DISPATCH:
      return sizeof(void*);
    case VT_VARIANT:
      return sizeof(VARIANT);
    default:
      return 0;
  }
}

void releaseElements(VARTYPE type, void* data, ULONG count) {
  if (data == nullptr) return;
  for (ULONG i = 0; i < count; ++i) {
    switch (type) {
      case VT_BSTR: {
        BSTR* slot = static_cast<BSTR*>(data) + i;
        SysFreeString(*slot);
        *slot = nullptr;
        break;
      }
      case VT_UNKNOWN:
      case VT_DISPATCH: {
        IUnknown** slot = static_cast<IUnknown**>(data) + i;
        if (*slot != nullptr) (*slot)->Release();
        *slot = nullptr;
        break;
      }
      case VT_VARIANT:
        VariantClear(static_cast<VARIANT*>(data) + i);
        break;
      default:
        return;
    }
  }
}

HRESULT copyElements(VARTYPE type, const void* source, void* destination, ULONG count) {
  switch (type) {
    case VT_BSTR:
      for (ULONG i = 0; i < count; ++i) {
        BSTR from = static_cast<const BSTR*>(source)[i];
        BSTR copy = nullptr;
        if (from != nullptr) {
          copy = SysAllocStringByteLen(reinterpret_cast<const char*>(from), SysStringByteLen(from));
          if (copy == nullptr) return E_OUTOFMEMORY;
        }
        static_cast<BSTR*>(destination)[i] = copy;
      }
      return S_OK;
    case VT_UNKNOWN:
    case VT_DISPATCH:
      for (ULONG i = 0; i < count; ++i) {
        IUnknown* from = static_cast<IUnknown* const*>(source)[i];
        if (from != nullptr) from->AddRef();
        static_cast<IUnknown**>(destination)[i] = from;
      }
      return S_OK;
    case VT_VARIANT:
      for (ULONG i = 0; i < count; ++i) {
        VARIANT* to = static_cast<VARIANT*>(destination) + i;
        VariantInit(to);
        HRESULT hr = VariantCopy(to, const_cast<VARIANT*>(static_cast<const VARIANT*>(source)) + i);
        if (FAILED(hr)) return hr;
      }
      return S_OK;
    default:
      std::memcpy(destination, source, static_cast<size_t>(count) * elementSize(type));
      return S_OK;
  }
}

}  // namespace winapi::oleaut

using winapi::oleaut::copyElements;
using winapi::oleaut::elementSize;
using winapi::oleaut::releaseElements;

namespace {

// The element type is kept in front of the descriptor, where Windows keeps it too.
struct ArrayBlock {
  VARTYPE type;
  alignas(alignof(std::max_align_t)) SAFEARRAY array;
};

ArrayBlock* blockOf(SAFEARRAY* array) {
  return reinterpret_cast<ArrayBlock*>(reinterpret_cast<char*>(array) - offsetof(ArrayBlock, array));
}

VARTYPE typeOf(SAFEARRAY* array) { return blockOf(array)->type; }

// Bounds are stored right to left: rgsabound[0] is the last dimension.
SAFEARRAYBOUND& boundOf(SAFEARRAY* array, UINT dimension) { return array->rgsabound[array->cDims - dimension]; }

ULONG totalElements(const SAFEARRAY* array) {
  uint64_t total = 1;
  for (USHORT i = 0; i < array->cDims; ++i) total *= array->rgsabound[i].cElements;
  return total > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<ULONG>(total);
}

USHORT featuresFor(VARTYPE type) {
  USHORT features = FADF_HAVEVARTYPE;
  if (type == VT_BSTR) features |= FADF_BSTR;
  if (type == VT_VARIANT) features |= FADF_VARIANT;
  if (type == VT_UNKNOWN) features |= FADF_UNKNOWN;
  if (type == VT_DISPATCH) features |= FADF_DISPATCH;
  return features;
}

SAFEARRAY* allocateDescriptor(VARTYPE type, UINT dimensions) {
  size_t size = sizeof(ArrayBlock) + (dimensions - 1) * sizeof(SAFEARRAYBOUND);
  ArrayBlock* block = static_cast<ArrayBlock*>(std::calloc(1, size));
  if (block == nullptr) return nullptr;
  block->type = type;
  block->array.cDims = static_cast<USHORT>(dimensions);
  block->array.fFeatures = featuresFor(type);
  block->array.cbElements = elementSize(type);
  return &block->array;
}

void freeDescriptor(SAFEARRAY* array) { std::free(blockOf(array)); }

HRESULT allocateData(SAFEARRAY* array) {
  uint64_t bytes = static_cast<uint64_t>(totalElements(array)) * array->cbElements;
  if (bytes > 0x7FFFFFFFu) return E_OUTOFMEMORY;
  array->pvData = std::calloc(bytes == 0 ? 1 : static_cast<size_t>(bytes), 1);
  return array->pvData == nullptr ? E_OUTOFMEMORY : S_OK;
}

HRESULT elementOffset(SAFEARRAY* array, const LONG* indices, size_t* offset) {
  size_t index = 0;
  for (UINT dimension = 1; dimension <= array->cDims; ++dimension) {
    const SAFEARRAYBOUND& bound = boundOf(array, dimension);
    int64_t position = static_cast<int64_t>(indices[dimension - 1]) - bound.lLbound;
    if (position < 0 || position >= static_cast<int64_t>(bound.cElements)) return DISP_E_BADINDEX;
    index = index * bound.cElements + static_cast<size_t>(position);
  }
  *offset = index * array->cbElements;
  return S_OK;
}

}  // namespace

SAFEARRAY* SafeArrayCreate(VARTYPE type, UINT dimensions, SAFEARRAYBOUND* bounds) {
  if (dimensions == 0 || dimensions > 0xFFFF || bounds == nullptr || elementSize(type) == 0) return nullptr;
  SAFEARRAY* array = allocateDescriptor(type, dimensions);
  if (array == nullptr) return nullptr;
  for (UINT i = 0; i < dimensions; ++i) array->rgsabound[dimensions - 1 - i] = bounds[i];
  if (FAILED(allocateData(array))) {
    freeDescriptor(array);
    return nullptr;
  }
  return array;
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE type, LONG lowerBound, ULONG elements) {
  SAFEARRAYBOUND bound{elements, lowerBound};
  return SafeArrayCreate(type, 1, &bound);
}

HRESULT SafeArrayDestroy(SAFEARRAY* array) {
  if (array == nullptr) return S_OK;
  if (array->cLocks > 0) return DISP_E_ARRAYISLOCKED;
  releaseElements(typeOf(array), array->pvData, totalElements(array));
  std::free(array->pvData);
  freeDescriptor(array);
  return S_OK;
}

HRESULT SafeArrayRedim(SAFEARRAY* array, SAFEARRAYBOUND* newBound) {
  if (array == nullptr || newBound == nullptr) return E_INVALIDARG;
  if (array->cLocks > 0) return DISP_E_ARRAYISLOCKED;
  if (array->fFeatures & FADF_FIXEDSIZE) return E_INVALIDARG;
  ULONG oldCount = totalElements(array);
  ULONG rowElements = array->rgsabound[0].cElements == 0 ? 0 : oldCount / array->rgsabound[0].cElements;
  if (array->cDims == 1) rowElements = 1;
  uint64_t newCount64 = static_cast<uint64_t>(rowElements) * newBound->cElements;
  uint64_t newBytes = newCount64 * array->cbElements;
  if (newBytes > 0x7FFFFFFFu) return E_OUTOFMEMORY;
  ULONG newCount = static_cast<ULONG>(newCount64);
  VARTYPE type = typeOf(array);
  if (newCount < oldCount)
    releaseElements(type, static_cast<char*>(array->pvData) + static_cast<size_t>(newCount) * array->cbElements,
                    oldCount - newCount);
  void* data = std::realloc(array->pvData, newBytes == 0 ? 1 : static_cast<size_t>(newBytes));
  if (data == nullptr) return E_OUTOFMEMORY;
  if (newCount > oldCount)
    std::memset(static_cast<char*>(data) + static_cast<size_t>(oldCount) * array->cbElements, 0,
                static_cast<size_t>(newCount - oldCount) * array->cbElements);
  array->pvData = data;
  array->rgsabound[0] = *newBound;
  return S_OK;
}

HRESULT SafeArrayLock(SAFEARRAY* array) {
  if (array == nullptr) return E_INVALIDARG;
  if (array->cLocks >= 0xFFFF) return E_UNEXPECTED;
  ++array->cLocks;
  return S_OK;
}

HRESULT SafeArrayUnlock(SAFEARRAY* array) {
  if (array == nullptr) return E_INVALIDARG;
  if (array->cLocks == 0) return E_UNEXPECTED;
  --array->cLocks;
  return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* array, void** data) {
  if (array == nullptr || data == nullptr) return E_INVALIDARG;
  HRESULT hr = SafeArrayLock(array);
  if (FAILED(hr)) return hr;
  *data = array->pvData;
  return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* array) { return SafeArrayUnlock(array); }

HRESULT SafeArrayCopy(SAFEARRAY* source, SAFEARRAY** copy) {
  if (copy == nullptr) return E_INVALIDARG;
  *copy = nullptr;
  if (source == nullptr) return S_OK;
  VARTYPE type = typeOf(source);
  SAFEARRAY* array = allocateDescriptor(type, source->cDims);
  if (array == nullptr) return E_OUTOFMEMORY;
  array->fFeatures = source->fFeatures & ~(FADF_AUTO | FADF_STATIC | FADF_EMBEDDED);
  for (USHORT i = 0; i < source->cDims; ++i) array->rgsabound[i] = source->rgsabound[i];
  HRESULT hr = allocateData(array);
  if (SUCCEEDED(hr)) hr = copyElements(type, source->pvData, array->pvData, totalElements(source));
  if (FAILED(hr)) {
    array->cLocks = 0;
    SafeArrayDestroy(array);
    return hr;
  }
  *copy = array;
  return S_OK;
}

HRESULT SafeArrayGetLBound(SAFEARRAY* array, UINT dimension, LONG* bound) {
  if (array == nullptr || bound == nullptr) return E_INVALIDARG;
  if (dimension < 1 || dimension > array->cDims) return DISP_E_BADINDEX;
  *bound = boundOf(array, dimension).lLbound;
  return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* array, UINT dimension, LONG* bound) {
  if (array == nullptr || bound == nullptr) return E_INVALIDARG;
  if (dimension < 1 || dimension > array->cDims) return DISP_E_BADINDEX;
  const SAFEARRAYBOUND& b = boundOf(array, dimension);
  *bound = static_cast<LONG>(static_cast<int64_t>(b.lLbound) + b.cElements - 1);
  return S_OK;
}

UINT SafeArrayGetDim(SAFEARRAY* array) { return array == nullptr ? 0 : array->cDims; }

UINT SafeArrayGetElemsize(SAFEARRAY* array) { return array == nullptr ? 0 : array->cbElements; }

HRESULT SafeArrayGetVartype(SAFEARRAY* array, VARTYPE* type) {
  if (array == nullptr || type == nullptr) return E_INVALIDARG;
  *type = typeOf(array);
  return S_OK;
}

HRESULT SafeArrayPtrOfIndex(SAFEARRAY* array, LONG* indices, void** element) {
  if (array == nullptr || indices == nullptr || element == nullptr) return E_INVALIDARG;
  size_t offset = 0;
  HRESULT hr = elementOffset(array, indices, &offset);
  if (FAILED(hr)) return hr;
  *element = static_cast<char*>(array->pvData) + offset;
  return S_OK;
}

HRESULT SafeArrayGetElement(SAFEARRAY* array, LONG* indices, void* value) {
  if (value == nullptr) return E_INVALIDARG;
  void* element = nullptr;
  HRESULT hr = SafeArrayPtrOfIndex(array, indices, &element);
  if (FAILED(hr)) return hr;
  return copyElements(typeOf(array), element, value, 1);
}

HRESULT SafeArrayPutElement(SAFEARRAY* array, LONG* indices, void* value) {
  void* element = nullptr;
  HRESULT hr = SafeArrayPtrOfIndex(array, indices, &element);
  if (FAILED(hr)) return hr;
  VARTYPE type = typeOf(array);
  // Interfaces and BSTRs are passed by value, everything else by address.
  const void* source = value;
  if (type == VT_BSTR || type == VT_UNKNOWN || type == VT_DISPATCH) source = &value;
  alignas(std::max_align_t) unsigned char staged[sizeof(VARIANT)];
  hr = copyElements(type, source, staged, 1);
  if (FAILED(hr)) return hr;
  releaseElements(type, element, 1);
  std::memcpy(element, staged, array->cbElements);
  return S_OK;
}
