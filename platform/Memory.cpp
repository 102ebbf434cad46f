#include "platform/Memory.h"

#include <cstdlib>
#include <cstring>

#include <sys/mman.h>

#include "platform/Errors.h"
#include "platform/Faults.h"

namespace platform {

bool AllocationMustFail() {
    DWORD error = 0;
    return InjectFault(FaultOp::Alloc, &error);
}

void* AllocateBytes(size_t bytes) {
    if (AllocationMustFail()) return nullptr;
    return std::malloc(bytes == 0 ? 1 : bytes);
}

void* ReallocateBytes(void* block, size_t bytes) {
    if (AllocationMustFail()) return nullptr;
    return std::realloc(block, bytes == 0 ? 1 : bytes);
}

void FreeBytes(void* block) { std::free(block); }

void* AllocateSweepBytes(size_t bytes) {
    constexpr size_t kLargePage = size_t{2} << 20;
    // A block that would leave much of its last large page unused takes
    // ordinary pages: the whole large page would count as in use.
    if (bytes % kLargePage != 0 && bytes % kLargePage + 4096 < kLargePage) return AllocateBytes(bytes);
    if (AllocationMustFail()) return nullptr;
    const size_t rounded = (bytes + kLargePage - 1) & ~(kLargePage - 1);
    void* block = nullptr;
    if (posix_memalign(&block, kLargePage, rounded) != 0) return nullptr;
    // Only advice: without large pages the block works as any other.
    (void)madvise(block, rounded, MADV_HUGEPAGE);
    return block;
}

}  // namespace platform

namespace {

// A local block keeps its size in front of the caller's bytes; the header is
// as wide as the strictest alignment so the bytes stay aligned for any use.
struct alignas(std::max_align_t) LocalHeader {
    UINT size;
};

LocalHeader* HeaderOf(HLOCAL block) { return static_cast<LocalHeader*>(block) - 1; }

}  // namespace

HLOCAL LocalAlloc(UINT flags, UINT bytes) {
    auto* header = static_cast<LocalHeader*>(platform::AllocateBytes(sizeof(LocalHeader) + bytes));
    if (header == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    header->size = bytes;
    if (flags & LMEM_ZEROINIT) std::memset(header + 1, 0, bytes);
    return header + 1;
}

HLOCAL LocalReAlloc(HLOCAL block, UINT bytes, UINT flags) {
    if (block == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    const UINT oldSize = HeaderOf(block)->size;
    auto* header = static_cast<LocalHeader*>(platform::ReallocateBytes(HeaderOf(block), sizeof(LocalHeader) + bytes));
    if (header == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    header->size = bytes;
    if ((flags & LMEM_ZEROINIT) && bytes > oldSize) std::memset(reinterpret_cast<BYTE*>(header + 1) + oldSize, 0, bytes - oldSize);
    return header + 1;
}

UINT LocalSize(HLOCAL block) { return block == nullptr ? 0 : HeaderOf(block)->size; }

HLOCAL LocalFree(HLOCAL block) {
    if (block != nullptr) platform::FreeBytes(HeaderOf(block));
    return nullptr;
}
