#include "notestore/foundation/MemAPI.h"

#include <cstring>

#include "notestore/foundation/ByteOrder.h"
#include "notestore/foundation/ExportBoundary.h"
#include "notestore/foundation/zr_assert.h"
#include "platform/Memory.h"

namespace {

constexpr uint32_t kSizeField = 4;

uint8_t* Block(MemHandle handle) { return static_cast<uint8_t*>(ZR_REQUIRED(handle)); }

uint32_t SizeOf(MemHandle handle) { return zr_gen::LoadLE32(Block(handle)); }

}  // namespace

MemHandle MemAlloc(uint32_t size) {
    return ZR_GUARDED([&]() -> MemHandle {
        ZR_ASSERT(size != 0);
        auto* block = static_cast<uint8_t*>(platform::AllocateBytes(static_cast<size_t>(size) + kSizeField));
        if (block == nullptr) return nullptr;
        zr_gen::StoreLE32(block, size);
        return block;
    });
}

void MemFree(MemHandle handle) {
    ZR_GUARDED([&] { platform::FreeBytes(handle); });
}

void* MemGetPtr(MemHandle handle) {
    return ZR_GUARDED([&]() -> void* { return Block(handle) + kSizeField; });
}

void MemReleasePtr(MemHandle handle) {
    ZR_GUARDED([&] { (void)Block(handle); });
}

MemHandle MemRealloc(MemHandle handle, uint32_t size) {
    return ZR_GUARDED([&]() -> MemHandle {
        auto* block = static_cast<uint8_t*>(
            platform::ReallocateBytes(Block(handle), static_cast<size_t>(size) + kSizeField));
        if (block == nullptr) return nullptr;
        zr_gen::StoreLE32(block, size);
        return block;
    });
}

MemHandle MemDuplicate(MemHandle handle) {
    return ZR_GUARDED([&]() -> MemHandle {
        const size_t bytes = static_cast<size_t>(SizeOf(handle)) + kSizeField;
        MemHandle copy = platform::AllocateBytes(bytes);
        if (copy == nullptr) return nullptr;
        std::memcpy(copy, handle, bytes);
        return copy;
    });
}

uint32_t MemGetSize(MemHandle handle) {
    return ZR_GUARDED([&] { return SizeOf(handle); });
}
