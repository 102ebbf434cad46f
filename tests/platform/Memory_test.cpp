#include "platform/Memory.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/Errors.h"
#include "platform/Faults.h"

namespace {

TEST(LocalMemory, SizeZeroFillAndResize) {
    auto* block = static_cast<uint8_t*>(LocalAlloc(LPTR, 16));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(LocalSize(block), 16u);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(block[i], 0);
    std::memset(block, 0xAB, 16);
    block = static_cast<uint8_t*>(LocalReAlloc(block, 32, LMEM_MOVEABLE | LMEM_ZEROINIT));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(LocalSize(block), 32u);
    EXPECT_EQ(block[15], 0xAB);
    EXPECT_EQ(block[16], 0);
    EXPECT_EQ(LocalFree(block), nullptr);
    EXPECT_EQ(LocalSize(nullptr), 0u);
}

TEST(LocalMemory, FailedAllocationsReportNotEnoughMemory) {
    void* kept = LocalAlloc(LMEM_FIXED, 8);
    platform::FaultInjector injector;
    platform::ScopedFaultInjector scope(injector);
    injector.FailNth(platform::FaultOp::Alloc, 1, ERROR_NOT_ENOUGH_MEMORY, true);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(LocalAlloc(LPTR, 8), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(LocalReAlloc(kept, 64, LMEM_MOVEABLE), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(LocalSize(kept), 8u);
    LocalFree(kept);
}

// Blocks for one sweep: large ones lie on large-page boundaries, small
// ones are plain blocks; both go through the allocation seam.
TEST(SweepMemory, LargeBlocksAreAlignedAndEveryBlockCanFail) {
    struct Case {
        size_t bytes;
        bool largePages;
    };
    for (const Case c : {Case{100, false}, Case{size_t{1} << 20, false}, Case{(size_t{2} << 20) - 64, true},
                         Case{size_t{2} << 20, true}, Case{size_t{3} << 20, false}, Case{(size_t{4} << 20) - 8, true}}) {
        const size_t bytes = c.bytes;
        SCOPED_TRACE(bytes);
        auto* block = static_cast<uint8_t*>(platform::AllocateSweepBytes(bytes));
        ASSERT_NE(block, nullptr);
        if (c.largePages) {
            EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % (size_t{2} << 20), 0u);
        }
        std::memset(block, 0xAB, bytes);
        platform::FreeBytes(block);
        platform::FaultInjector injector;
        platform::ScopedFaultInjector scope(injector);
        injector.FailNth(platform::FaultOp::Alloc, 1, ERROR_NOT_ENOUGH_MEMORY);
        EXPECT_EQ(platform::AllocateSweepBytes(bytes), nullptr);
    }
}

TEST(FaultInjector, FailsTheNthOnceOrFromThenOn) {
    platform::FaultInjector injector;
    platform::ScopedFaultInjector scope(injector);
    DWORD error = 0;
    injector.FailNth(platform::FaultOp::Write, 2, ERROR_DISK_FULL);
    EXPECT_FALSE(platform::InjectFault(platform::FaultOp::Write, &error));
    EXPECT_FALSE(platform::InjectFault(platform::FaultOp::Read, &error));
    EXPECT_TRUE(platform::InjectFault(platform::FaultOp::Write, &error));
    EXPECT_EQ(error, ERROR_DISK_FULL);
    EXPECT_FALSE(platform::InjectFault(platform::FaultOp::Write, &error));
    EXPECT_EQ(injector.Seen(platform::FaultOp::Write), 3u);
    EXPECT_TRUE(injector.Fired(platform::FaultOp::Write));
    EXPECT_FALSE(injector.Fired(platform::FaultOp::Read));

    injector.FailNth(platform::FaultOp::Flush, 1, ERROR_WRITE_FAULT, true);
    EXPECT_TRUE(platform::InjectFault(platform::FaultOp::Flush, &error));
    EXPECT_TRUE(platform::InjectFault(platform::FaultOp::Flush, &error));
    injector.Heal(platform::FaultOp::Flush);
    EXPECT_FALSE(platform::InjectFault(platform::FaultOp::Flush, &error));
}

TEST(FaultInjector, NothingFailsWithoutAnInstalledInjector) {
    DWORD error = 0;
    EXPECT_EQ(platform::ActiveInjector(), nullptr);
    EXPECT_FALSE(platform::InjectFault(platform::FaultOp::Alloc, &error));
}

}  // namespace
