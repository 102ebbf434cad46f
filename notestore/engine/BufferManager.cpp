#include "notestore/engine/BufferManager.h"

#include <cstring>

#include "notestore/foundation/zr_assert.h"
#include "platform/Memory.h"

namespace zr_gen {

namespace {

// The smallest multiple of the step strictly above the size; 64 bits so that
// a size near 4 GiB cannot wrap to a small capacity.
uint64_t CapacityFor(uint64_t size, uint32_t step) { return (size / step + 1) * step; }

}  // namespace

CBufferManager::CBufferManager(char** buffer, uint32_t size, uint32_t capacity, uint32_t growthStep)
    : buffer_(buffer) {
    assignBuffer(buffer, size, capacity, growthStep);
}

void CBufferManager::assignBuffer(char** buffer, uint32_t size, uint32_t capacity, uint32_t growthStep) {
    ZR_ASSERT(buffer != nullptr);
    buffer_ = buffer;
    noteEdit();
    const bool hasBytes = capacity == 0 || *buffer != nullptr;
    ZR_ASSERT(hasBytes);
    ZR_ASSERT(size <= capacity);
    ZR_ASSERT(growthStep > 0);
    // After a reported violation the manager still has to be safe to use: a
    // missing buffer holds nothing, the size cannot pass what is allocated,
    // and a zero step would divide by zero on the first growth.
    capacity_ = hasBytes ? capacity : 0;
    size_ = size <= capacity_ ? size : capacity_;
    growthStep_ = growthStep > 0 ? growthStep : 1;
    // The hold is the manager's own: adopting other bytes gives it up.
    if (span_ != nullptr) RowArena::Drop(span_);
    span_ = nullptr;
}

void CBufferManager::assignSpanBuffer(char** buffer, uint32_t size, uint32_t capacity, uint32_t growthStep,
                                      RowArena::Chunk* span) {
    assignBuffer(buffer, size, capacity, growthStep);
    if (*buffer_ == nullptr || span == nullptr) return;
    RowArena::Hold(span);
    span_ = span;
}

char* CBufferManager::get(uint32_t offset) const {
    const bool inRange = data() != nullptr && offset < size_;
    ZR_ASSERT(inRange);
    noteEdit();
    return inRange ? data() + offset : nullptr;
}

void CBufferManager::read(uint32_t offset, void* destination, uint32_t count) const {
    const bool inRange = uint64_t{offset} + count <= size_;
    ZR_ASSERT(inRange);
    ZR_ASSERT(destination != nullptr);
    if (!inRange || destination == nullptr || count == 0) return;
    std::memcpy(destination, data() + offset, count);
}

int32_t CBufferManager::replace(uint32_t position, uint32_t oldLength, const void* source, uint32_t newLength) {
    const uint64_t oldEnd = uint64_t{position} + oldLength;
    const bool inRange = oldEnd <= size_;
    const bool hasSource = newLength == 0 || source != nullptr;
    ZR_ASSERT(inRange);
    ZR_ASSERT(hasSource);
    if (!inRange || !hasSource) return -1;

    const uint64_t newSize = uint64_t{size_} - oldLength + newLength;
    if (newSize > capacity_ && !reallocate(CapacityFor(newSize, growthStep_))) return -1;

    char* bytes = data();
    const uint64_t tail = size_ - oldEnd;
    if (tail > 0 && newLength != oldLength) std::memmove(bytes + position + newLength, bytes + oldEnd, tail);
    if (newLength > 0) std::memcpy(bytes + position, source, newLength);
    size_ = static_cast<uint32_t>(newSize);
    noteEdit();
    return 0;
}

int32_t CBufferManager::insert(uint32_t position, const void* source, uint32_t count) {
    return replace(position, 0, source, count);
}

int32_t CBufferManager::erase(uint32_t position, uint32_t count) { return replace(position, count, nullptr, 0); }

int32_t CBufferManager::write(uint32_t position, const void* source, uint32_t count) {
    return replace(position, count, source, count);
}

void CBufferManager::resize() {
    const uint64_t target = CapacityFor(size_, growthStep_);
    if (target != capacity_) (void)reallocate(target);
}

void CBufferManager::deleteBuff() {
    noteEdit();
    if (span_ != nullptr) {
        RowArena::Drop(span_);
        span_ = nullptr;
    } else {
        platform::FreeBytes(*buffer_);
    }
    *buffer_ = nullptr;
}

bool CBufferManager::reallocate(uint64_t bytes) {
    if (bytes > UINT32_MAX) return false;
    void* block = nullptr;
    if (span_ != nullptr) {
        // Bytes in a span cannot be reallocated: they move to a block of their own.
        block = platform::AllocateBytes(static_cast<size_t>(bytes));
        if (block == nullptr) return false;
        std::memcpy(block, *buffer_, size_);
        RowArena::Drop(span_);
        span_ = nullptr;
    } else {
        // The bytes beyond the size are never read, so moving the whole block
        // is the same as copying the bytes in use.
        block = platform::ReallocateBytes(*buffer_, static_cast<size_t>(bytes));
        if (block == nullptr) return false;
    }
    *buffer_ = static_cast<char*>(block);
    capacity_ = static_cast<uint32_t>(bytes);
    return true;
}

}  // namespace zr_gen
