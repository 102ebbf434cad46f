#include "notestore/engine/RowArena.h"

#include <atomic>
#include <new>

#include "platform/Memory.h"

namespace zr_gen {

// The count is atomic: new records' blocks of one thread share chunks
// across recordsets (see CDBRecord), which may go on to other threads.
struct RowArena::Chunk {
    std::atomic<uint64_t> holds;
};

namespace {

// The word before every piece names its chunk (null: a piece of its own).
constexpr size_t kPrefix = sizeof(void*);
// A piece of its own keeps the global allocator's alignment for its bytes.
constexpr size_t kAlonePrefix = alignof(std::max_align_t);
static_assert(kPrefix % RowArena::kAlignment == 0 && kAlonePrefix >= kPrefix);
static_assert(sizeof(RowArena::Chunk) % RowArena::kAlignment == 0);

size_t Rounded(size_t bytes) { return (bytes + RowArena::kAlignment - 1) / RowArena::kAlignment * RowArena::kAlignment; }

void*& ChunkWordOf(void* piece) { return *reinterpret_cast<void**>(static_cast<char*>(piece) - kPrefix); }

}  // namespace

RowArena::~RowArena() {
    if (chunk_ != nullptr) Drop(chunk_);
}

void* RowArena::Carve(Chunk* chunk, char* at) {
    Hold(chunk);
    void* piece = at + kPrefix;
    ChunkWordOf(piece) = chunk;
    return piece;
}

void* RowArena::Allocate(size_t bytes) {
    const size_t need = kPrefix + Rounded(bytes);
    // A quarter of a chunk at most, so that little room is left unused.
    if (need > kChunkBytes / 4) {
        char* at = nullptr;
        Chunk* own = NewSpan(need, &at);
        if (own == nullptr) return nullptr;
        void* piece = Carve(own, at);
        Drop(own);  // the piece's hold alone keeps it
        return piece;
    }
    if (static_cast<size_t>(end_ - next_) < need && !StartChunk()) return nullptr;
    void* piece = Carve(chunk_, next_);
    next_ += need;
    return piece;
}

bool RowArena::StartChunk() {
    char* at = nullptr;
    Chunk* chunk = NewSpan(kChunkBytes - sizeof(Chunk), &at);
    if (chunk == nullptr) return false;
    if (chunk_ != nullptr) Drop(chunk_);
    chunk_ = chunk;
    next_ = at;
    end_ = at + (kChunkBytes - sizeof(Chunk));
    return true;
}

void* RowArena::AllocateAlone(size_t bytes) noexcept {
    auto* base = static_cast<char*>(::operator new(kAlonePrefix + bytes, std::nothrow));
    if (base == nullptr) return nullptr;
    void* piece = base + kAlonePrefix;
    ChunkWordOf(piece) = nullptr;
    return piece;
}

void RowArena::Release(void* piece) noexcept {
    if (piece == nullptr) return;
    auto* chunk = static_cast<Chunk*>(ChunkWordOf(piece));
    if (chunk == nullptr) {
        ::operator delete(static_cast<char*>(piece) - kAlonePrefix);
    } else {
        Drop(chunk);
    }
}

RowArena::Chunk* RowArena::NewSpan(size_t bytes, char** bytesOut) {
    auto* chunk = static_cast<Chunk*>(platform::AllocateSweepBytes(sizeof(Chunk) + bytes));
    if (chunk == nullptr) return nullptr;
    new (&chunk->holds) std::atomic<uint64_t>(1);
    *bytesOut = reinterpret_cast<char*>(chunk + 1);
    return chunk;
}

void RowArena::Hold(Chunk* chunk) noexcept { chunk->holds.fetch_add(1, std::memory_order_relaxed); }

void RowArena::Drop(Chunk* chunk) noexcept {
    if (chunk->holds.fetch_sub(1, std::memory_order_acq_rel) == 1) platform::FreeBytes(chunk);
}

}  // namespace zr_gen
