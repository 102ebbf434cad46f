// Pooled memory for records and row blocks: reading a file of many rows
// costs one allocation per chunk instead of two per row.
//
// A chunk is one C-heap block (platform::AllocateBytes, so the fault
// injector sees every chunk) that counts its holds: one per piece of it
// still in use, plus one while its arena or a span reader still uses it. The
// chunk is freed when the last hold goes. Whatever lives in a chunk
// therefore stays valid until it is itself released, however long that is:
// after its arena died, after its record moved to another recordset.
// Releasing a piece frees nothing until the rest of its chunk is released.
//
// Two kinds of use:
// - records: pieces carved one after the other from 64 KiB chunks, each
//   preceded by a pointer to its chunk, so that `delete` needs nothing but
//   the record's address. Pieces of their own, outside any chunk, carry a
//   null chunk pointer; they are what `new CDBRecord` makes, so one Release
//   serves both kinds.
// - row blocks: spans, chunks that hold file bytes as they were read; a
//   record whose block lies in a span holds the span (see CBufferManager).
//
// An arena is not thread-safe, like the records it serves; the counts of
// holds are, so that the pieces of one chunk may end in different threads
// (the blocks of new records share chunks across recordsets).
#pragma once

#include <cstddef>
#include <cstdint>

namespace zr_gen {

class RowArena {
public:
    struct Chunk;

    // Alignment of every piece; records must not need more.
    static constexpr size_t kAlignment = 8;

    RowArena() = default;
    RowArena(const RowArena&) = delete;
    RowArena& operator=(const RowArena&) = delete;
    // Gives up the hold on the current chunk; live pieces keep it.
    ~RowArena();

    // `bytes` bytes aligned to kAlignment, or null when no memory can be had.
    // A piece too large to share a chunk gets a chunk of its own.
    void* Allocate(size_t bytes);
    // A piece of its own from the global operator new (no fault seam, as for
    // any `new`), aligned for any type; null when no memory can be had.
    static void* AllocateAlone(size_t bytes) noexcept;
    // Ends a piece of either kind; null is ignored.
    static void Release(void* piece) noexcept;

    // A chunk of `bytes` bytes of its own, with one hold for the caller; its
    // bytes at *bytesOut. Null when no memory can be had.
    static Chunk* NewSpan(size_t bytes, char** bytesOut);
    static void Hold(Chunk* chunk) noexcept;
    // Gives up one hold; the last one frees the chunk.
    static void Drop(Chunk* chunk) noexcept;

private:
    static constexpr size_t kChunkBytes = 64 * 1024;

    // Carves from now on from a new chunk; false when no memory: the
    // current chunk stays.
    bool StartChunk();
    static void* Carve(Chunk* chunk, char* at);

    Chunk* chunk_ = nullptr;
    char* next_ = nullptr;  // the free room of the current chunk
    char* end_ = nullptr;
};

}  // namespace zr_gen
