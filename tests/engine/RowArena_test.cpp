#include "notestore/engine/RowArena.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/Faults.h"

namespace {

using platform::FaultInjector;
using platform::FaultOp;
using platform::ScopedFaultInjector;
using zr_gen::RowArena;

struct Piece {
    unsigned char* bytes;
    size_t size;
};

// Pieces of mixed sizes, each filled with its own byte: any overlap or
// misplaced prefix shows as a wrong byte; a chunk freed too early or never
// freed shows under the sanitizers.
TEST(RowArena, PiecesAreAlignedDistinctAndOutliveTheArena) {
    std::vector<Piece> pieces;
    {
        RowArena arena;
        for (size_t i = 0; i < 5000; ++i) {
            const size_t size = 1 + (i * 37) % 300;
            auto* bytes = static_cast<unsigned char*>(arena.Allocate(size));
            ASSERT_NE(bytes, nullptr);
            EXPECT_EQ(reinterpret_cast<uintptr_t>(bytes) % RowArena::kAlignment, 0u);
            std::memset(bytes, static_cast<int>(i & 0xFF), size);
            pieces.push_back({bytes, size});
        }
    }
    for (size_t i = 0; i < pieces.size(); ++i) {
        for (size_t k = 0; k < pieces[i].size; ++k) ASSERT_EQ(pieces[i].bytes[k], i & 0xFF) << i;
        RowArena::Release(pieces[i].bytes);
    }
}

TEST(RowArena, SmallPiecesShareChunksAndLargeOnesGetTheirOwn) {
    FaultInjector injector;
    ScopedFaultInjector installed(injector);
    RowArena arena;
    std::vector<void*> pieces;
    for (int i = 0; i < 1000; ++i) pieces.push_back(arena.Allocate(24));
    EXPECT_EQ(injector.Seen(FaultOp::Alloc), 1u) << "1000 pieces of 32 bytes fill half a chunk";
    void* large = arena.Allocate(200 * 1024);
    ASSERT_NE(large, nullptr);
    std::memset(large, 0xAB, 200 * 1024);
    EXPECT_EQ(injector.Seen(FaultOp::Alloc), 2u);
    pieces.push_back(arena.Allocate(24));
    EXPECT_EQ(injector.Seen(FaultOp::Alloc), 2u) << "the small pieces go on in their chunk";
    RowArena::Release(large);
    for (void* piece : pieces) RowArena::Release(piece);
}

TEST(RowArena, NoMemoryForAChunkGivesNullAndTheArenaGoesOn) {
    FaultInjector injector;
    ScopedFaultInjector installed(injector);
    RowArena arena;
    injector.FailNth(FaultOp::Alloc, 1, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(arena.Allocate(16), nullptr);
    void* piece = arena.Allocate(16);
    ASSERT_NE(piece, nullptr);
    // With every allocation failing, the current chunk still serves.
    injector.FailNth(FaultOp::Alloc, 1, ERROR_NOT_ENOUGH_MEMORY, true);
    void* second = arena.Allocate(16);
    EXPECT_NE(second, nullptr);
    EXPECT_EQ(arena.Allocate(100 * 1024), nullptr);
    RowArena::Release(piece);
    RowArena::Release(second);
}

TEST(RowArena, PiecesOfTheirOwnAndSpansAreReleasedByTheirHolds) {
    void* alone = RowArena::AllocateAlone(40);
    ASSERT_NE(alone, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(alone) % alignof(std::max_align_t), 0u);
    std::memset(alone, 1, 40);
    RowArena::Release(alone);
    RowArena::Release(nullptr);

    char* bytes = nullptr;
    RowArena::Chunk* span = RowArena::NewSpan(1000, &bytes);
    ASSERT_NE(span, nullptr);
    RowArena::Hold(span);
    RowArena::Drop(span);
    std::memset(bytes, 2, 1000);  // one hold left: still there
    RowArena::Drop(span);
}

TEST(RowArena, SpanAllocationIsSeenByTheFaultInjector) {
    FaultInjector injector;
    ScopedFaultInjector installed(injector);
    injector.FailNth(FaultOp::Alloc, 1, ERROR_NOT_ENOUGH_MEMORY);
    char* bytes = nullptr;
    EXPECT_EQ(RowArena::NewSpan(64, &bytes), nullptr);
    EXPECT_TRUE(injector.Fired(FaultOp::Alloc));
}

}  // namespace
