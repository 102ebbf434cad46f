#include "notestore/foundation/MemAPI.h"

#include <cstring>

#include "notestore/foundation/ByteOrder.h"
#include "notestore/foundation/zr_assert.h"
#include "platform/Memory.h"

namespace {

constexpr uint32_t kSizeField = 4;

uint8_t* Block(MemHandle handle) { return static_cast<uint8_t*>(handle); }

}  // namespace

MemHandle MemAlloc(uint32_t size) {
    ZR_ASSERT(size != 0);
    auto* block = static_cast<uint8_t*>(platform::AllocateBytes(static_cast<size_t>(size) + kSizeField));
    if (block == nullptr) return nullptr;
    zr_gen::StoreLE32(block, size);
    return block;
}

void MemFree(MemHandle handle) { platform::FreeBytes(handle); }

void* MemGetPtr(MemHandle handle) {
    ZR_ASSERT(handle != nullptr);
    return handle != nullptr ? Block(handle) + kSizeField : nullptr;
}

void MemReleasePtr(MemHandle handle) { ZR_ASSERT(handle != nullptr); }

MemHandle MemRealloc(MemHandle handle, uint32_t size) {
    auto* block = static_cast<uint8_t*>(platform::ReallocateBytes(handle, static_cast<size_t>(size) + kSizeField));
    if (block == nullptr) return nullptr;
    zr_gen::StoreLE32(block, size);
    return block;
}

MemHandle MemDuplicate(MemHandle handle) {
    const uint32_t size = MemGetSize(handle);
    MemHandle copy = platform::AllocateBytes(static_cast<size_t>(size) + kSizeField);
    if (copy == nullptr) return nullptr;
    std::memcpy(copy, handle, static_cast<size_t>(size) + kSizeField);
    return copy;
}

uint32_t MemGetSize(MemHandle handle) { return handle != nullptr ? zr_gen::LoadLE32(Block(handle)) : 0; }
