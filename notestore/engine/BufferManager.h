// The growable byte buffer under a tagged data block.
//
// The buffer belongs to the enclosing record or header, which holds the
// pointer; the manager reallocates through a pointer to that pointer and never
// frees the buffer on destruction. Buffers are C-heap blocks obtained with
// platform::AllocateBytes and released with platform::FreeBytes, by the
// manager when it grows them and by the owner when it frees its data
// (deleteBuff); or, for rows read by CDatabase::ReadRows, bytes inside a
// RowArena span that the manager holds (see RowArena.h): deleteBuff gives up
// the hold and the first growth moves the bytes to a C-heap block.
#pragma once

#include <cstdint>
#include <cstring>

#include "notestore/engine/RowArena.h"
#include "notestore/foundation/Export.h"

namespace zr_gen {

class ZR_EXPORT CBufferManager {
public:
    // Adopts a buffer the owner already allocated (or none).
    CBufferManager(char** buffer, uint32_t size, uint32_t capacity, uint32_t growthStep);
    // Both then point at one owner pointer; only one of them may edit or
    // free the buffer.
    CBufferManager(const CBufferManager&) = default;
    CBufferManager& operator=(const CBufferManager&) = default;
    ~CBufferManager() = default;

    // Adopts the owner's buffer; asserts that a capacity has a buffer and the
    // growth step is not 0. A span held for the old buffer is given up.
    void assignBuffer(char** buffer, uint32_t size, uint32_t capacity, uint32_t growthStep);
    // The same for a buffer inside `span`, on which the manager takes a hold.
    void assignSpanBuffer(char** buffer, uint32_t size, uint32_t capacity, uint32_t growthStep, RowArena::Chunk* span);

    uint32_t size() const { return size_; }
    uint32_t capacity() const { return capacity_; }
    uint32_t growthStep() const { return growthStep_; }

    // A pointer into the buffer (asserts the buffer exists and offset < size).
    // Writable: it counts as an edit (see noteEdit).
    char* get(uint32_t offset) const;
    // Copies count bytes out (asserts offset + count <= size, destination set).
    void read(uint32_t offset, void* destination, uint32_t count) const;
    // Whether the bytes in use are exactly `count` bytes of `bytes`.
    bool holds(const void* bytes, uint32_t count) const {
        return count == size_ && (count == 0 || std::memcmp(*buffer_, bytes, count) == 0);
    }

    // The one editing primitive: the old-length bytes at position become the
    // new-length bytes of source. Grows to the smallest multiple of the
    // growth step strictly above the new size when the new size exceeds the
    // capacity; never shrinks. 0, or -1 (nothing changed) when the buffer
    // cannot be grown or the range lies outside the bytes in use (asserted).
    // The source must not point into this buffer: growing may move it.
    int32_t replace(uint32_t position, uint32_t oldLength, const void* source, uint32_t newLength);
    int32_t insert(uint32_t position, const void* source, uint32_t count);
    int32_t erase(uint32_t position, uint32_t count);
    int32_t write(uint32_t position, const void* source, uint32_t count);  // overwrite in place

    // Trims or grows the allocation to the smallest multiple of the growth
    // step above the size; nothing changes when that allocation fails.
    void resize();
    // Frees (or releases) the buffer and nulls the owner's pointer (size and
    // capacity stay).
    void deleteBuff();

    // Marks an owner sets on the bytes as they now are: the record's "the
    // file holds these bytes" (CDBRecord::MarkStored), the tag manager's
    // "walked and found consistent" and "the last tag found lies there". Anything that may change the bytes
    // (every edit, every buffer adopted or freed, every writable pointer
    // handed out) clears them all, so a mark still set means equal bytes;
    // this lets a save pass over a row still as it lies in the file.
    static constexpr uint32_t kStoredMark = 1;
    static constexpr uint32_t kConsistentMark = 2;
    static constexpr uint32_t kLookupMark = 4;  // CTaggedDataManager's last lookup
    bool hasMark(uint32_t mark) const { return (marks_ & mark) != 0; }
    void setMark(uint32_t mark) const { marks_ |= mark; }
    // For an owner handing out a writable pointer of its own.
    void noteEdit() const { marks_ = 0; }

protected:
    char* data() const { return *buffer_; }

private:
    // Moves the bytes in use into a block of `bytes`; false (nothing changed)
    // when it cannot be had or would pass 32 bits.
    bool reallocate(uint64_t bytes);

    char** buffer_;
    uint32_t capacity_ = 0;
    uint32_t size_ = 0;
    uint32_t growthStep_ = 1;
    mutable uint32_t marks_ = 0;       // fills what would be padding
    RowArena::Chunk* span_ = nullptr;  // holds the buffer's bytes, or null: a C-heap block
};

}  // namespace zr_gen
