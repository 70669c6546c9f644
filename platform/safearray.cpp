#include "platform/oleauto.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

// The element type sits before the descriptor; bounds beyond the first
// follow it.
struct array_block {
  VARTYPE vt;
  SAFEARRAY array;
};

array_block* block_of(const SAFEARRAY* array) {
  return reinterpret_cast<array_block*>(reinterpret_cast<std::uintptr_t>(array) - offsetof(array_block, array));
}

SAFEARRAYBOUND* bounds_of(SAFEARRAY* array) { return array->rgsabound; }
const SAFEARRAYBOUND* bounds_of(const SAFEARRAY* array) { return array->rgsabound; }

ULONG element_size(VARTYPE vt) {
  switch (vt) {
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
    case VT_CY:
    case VT_DATE:
      return 8;
    case VT_DECIMAL:
      return 16;
    default:
      return 0;
  }
}

// Bytes of the elements, or false when they cannot be counted.
bool data_size(const SAFEARRAYBOUND* bounds, UINT dims, ULONG element, std::size_t& size) {
  std::size_t n = element;
  for (UINT i = 0; i < dims; ++i) {
    if (bounds[i].cElements && n > SIZE_MAX / bounds[i].cElements) return false;
    n *= bounds[i].cElements;
  }
  size = n;
  return true;
}

SAFEARRAY* allocate(VARTYPE vt, UINT dims, const SAFEARRAYBOUND* bounds) {
  ULONG element = element_size(vt);
  std::size_t size;
  if (!element || dims == 0 || dims > 0xFFFF || !bounds || !data_size(bounds, dims, element, size)) return nullptr;
  std::size_t header = offsetof(array_block, array) + sizeof(SAFEARRAY) + (dims - 1) * sizeof(SAFEARRAYBOUND);
  void* memory = std::malloc(header);
  if (!memory) return nullptr;
  // Never a null data pointer, even without elements.
  void* data = std::calloc(size ? size : 1, 1);
  if (!data) {
    std::free(memory);
    return nullptr;
  }
  auto* block = new (memory) array_block{};
  block->vt = vt;
  SAFEARRAY* array = &block->array;
  array->cDims = static_cast<USHORT>(dims);
  array->cbElements = element;
  array->pvData = data;
  std::memcpy(bounds_of(array), bounds, dims * sizeof(SAFEARRAYBOUND));
  return array;
}

}  // namespace

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT dims, const SAFEARRAYBOUND* bounds) {
  return allocate(vt, dims, bounds);
}

HRESULT SafeArrayDestroy(SAFEARRAY* array) {
  if (!array) return S_OK;
  if (array->cLocks) return DISP_E_ARRAYISLOCKED;
  std::free(array->pvData);
  std::free(block_of(array));
  return S_OK;
}

HRESULT SafeArrayRedim(SAFEARRAY* array, const SAFEARRAYBOUND* bound) {
  if (!array || !bound) return E_INVALIDARG;
  if (array->cLocks) return DISP_E_ARRAYISLOCKED;
  SAFEARRAYBOUND* bounds = bounds_of(array);
  SAFEARRAYBOUND* last = &bounds[array->cDims - 1];
  std::size_t old_size = 0, new_size = 0;
  data_size(bounds, array->cDims, array->cbElements, old_size);
  SAFEARRAYBOUND saved = *last;
  *last = *bound;
  if (!data_size(bounds, array->cDims, array->cbElements, new_size)) {
    *last = saved;
    return E_OUTOFMEMORY;
  }
  void* data = std::realloc(array->pvData, new_size ? new_size : 1);
  if (!data) {
    *last = saved;
    return E_OUTOFMEMORY;
  }
  if (new_size > old_size) std::memset(static_cast<char*>(data) + old_size, 0, new_size - old_size);
  array->pvData = data;
  return S_OK;
}

HRESULT SafeArrayCopy(const SAFEARRAY* array, SAFEARRAY** copy) {
  if (!copy) return E_INVALIDARG;
  *copy = nullptr;
  if (!array) return S_OK;
  SAFEARRAY* out = allocate(block_of(array)->vt, array->cDims, bounds_of(array));
  if (!out) return E_OUTOFMEMORY;
  std::size_t size = 0;
  data_size(bounds_of(array), array->cDims, array->cbElements, size);
  if (size) std::memcpy(out->pvData, array->pvData, size);
  *copy = out;
  return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* array, void** data) {
  if (!array || !data) return E_INVALIDARG;
  ++array->cLocks;
  *data = array->pvData;
  return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* array) {
  if (!array) return E_INVALIDARG;
  if (!array->cLocks) return E_UNEXPECTED;
  --array->cLocks;
  return S_OK;
}

UINT SafeArrayGetDim(const SAFEARRAY* array) { return array ? array->cDims : 0; }

HRESULT SafeArrayGetLBound(const SAFEARRAY* array, UINT dim, LONG* bound) {
  if (!array || !bound) return E_INVALIDARG;
  if (dim < 1 || dim > array->cDims) return DISP_E_BADINDEX;
  *bound = bounds_of(array)[dim - 1].lLbound;
  return S_OK;
}

HRESULT SafeArrayGetUBound(const SAFEARRAY* array, UINT dim, LONG* bound) {
  if (!array || !bound) return E_INVALIDARG;
  if (dim < 1 || dim > array->cDims) return DISP_E_BADINDEX;
  const SAFEARRAYBOUND& b = bounds_of(array)[dim - 1];
  *bound = static_cast<LONG>(static_cast<long long>(b.lLbound) + b.cElements - 1);
  return S_OK;
}
