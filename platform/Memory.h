// Local heap blocks and the C-heap wrappers every allocation of the library
// goes through, so that tests can make the Nth one fail.
#pragma once

#include <cstddef>
#include <memory>

#include "platform/Types.h"

constexpr UINT LMEM_FIXED = 0x0000;
constexpr UINT LMEM_MOVEABLE = 0x0002;
constexpr UINT LMEM_ZEROINIT = 0x0040;
constexpr UINT LPTR = LMEM_FIXED | LMEM_ZEROINIT;

// A block that knows its size. Null (ERROR_NOT_ENOUGH_MEMORY) on failure.
HLOCAL LocalAlloc(UINT flags, UINT bytes);
// Resizes; with LMEM_ZEROINIT the grown part is zeroed. Null on failure,
// the old block then stays valid.
HLOCAL LocalReAlloc(HLOCAL block, UINT bytes, UINT flags);
// The size asked for, 0 for a null block.
UINT LocalSize(HLOCAL block);
// Null on success.
HLOCAL LocalFree(HLOCAL block);

namespace platform {

// malloc/realloc/free with the allocation seam in front.
void* AllocateBytes(size_t bytes);
void* ReallocateBytes(void* block, size_t bytes);
void FreeBytes(void* block);
// AllocateBytes for a block filled in one sweep (file bytes read into it): a
// block that fills its large pages (to within a page) is aligned to them and
// asks the kernel for them, so that filling it costs one fault a large page
// rather than one a page. Freed with FreeBytes.
void* AllocateSweepBytes(size_t bytes);

// The seam alone, for allocations made with `new (std::nothrow)`: true when
// this allocation must fail.
bool AllocationMustFail();

// An owned array from AllocateBytes, freed with FreeBytes.
struct FreeBlock {
    void operator()(void* block) const { FreeBytes(block); }
};
template <class T>
using Block = std::unique_ptr<T[], FreeBlock>;

}  // namespace platform
