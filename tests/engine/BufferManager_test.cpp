#include "notestore/engine/BufferManager.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/Errors.h"
#include "platform/Faults.h"
#include "platform/Memory.h"
#include "support/LogTail.h"

namespace {

using zr_gen::CBufferManager;

// The owner's side of a buffer: the pointer the manager reallocates through,
// freed at the end as a record or header frees its data.
class Buffer : public ::testing::Test {
protected:
    void TearDown() override { platform::FreeBytes(data); }

    // A manager over a block of `capacity` bytes whose first bytes are `text`.
    CBufferManager Adopt(const std::string& text, uint32_t capacity, uint32_t step) {
        platform::FreeBytes(data);
        data = capacity == 0 ? nullptr : static_cast<char*>(platform::AllocateBytes(capacity));
        if (!text.empty()) std::memcpy(data, text.data(), text.size());
        return CBufferManager(&data, static_cast<uint32_t>(text.size()), capacity, step);
    }

    std::string Contents(const CBufferManager& manager) const {
        return manager.size() == 0 ? std::string() : std::string(data, manager.size());
    }

    static size_t AssertionsFrom(const char* file, const testsupport::LogTail& tail) {
        size_t count = 0;
        for (const std::string& line : tail.Lines()) {
            if (line.find(std::string("Assertion Failed! File ") + file) != std::string::npos) ++count;
        }
        return count;
    }

    char* data = nullptr;
};

TEST_F(Buffer, GrowsToTheNextStepStrictlyAboveTheNewSize) {
    struct Case {
        const char* name;
        uint32_t size, capacity, step, added;
        uint32_t capacityAfter;
        uint32_t allocations;
    } cases[] = {
        {"row read from a file grows by one", 511, 511, 512, 1, 1024, 1},
        {"new size equal to the capacity", 511, 512, 512, 1, 512, 0},
        {"full block grows by one", 512, 512, 512, 1, 1024, 1},
        {"empty header block", 0, 0, 255, 1, 255, 1},
        {"empty header block filled to one step", 0, 0, 255, 255, 510, 1},
        {"jump over several steps", 10, 255, 255, 600, 765, 1},
    };
    for (const Case& c : cases) {
        const std::string before(c.size, 'a');
        CBufferManager manager = Adopt(before, c.capacity, c.step);
        const std::string added(c.added, 'b');
        platform::FaultInjector injector;
        {
            platform::ScopedFaultInjector scope(injector);
            ASSERT_EQ(manager.insert(c.size, added.data(), c.added), 0) << c.name;
        }
        EXPECT_EQ(manager.capacity(), c.capacityAfter) << c.name;
        EXPECT_EQ(injector.Seen(platform::FaultOp::Alloc), c.allocations) << c.name;
        EXPECT_EQ(Contents(manager), before + added) << c.name;
    }
}

TEST_F(Buffer, EditsMoveTheTail) {
    struct Case {
        const char* name;
        uint32_t position, oldLength;
        const char* source;
        const char* expected;
    } cases[] = {
        {"insert in the middle", 3, 0, "XY", "abcXYdefgh"},
        {"insert at the front", 0, 0, "XY", "XYabcdefgh"},
        {"append", 8, 0, "!", "abcdefgh!"},
        {"erase in the middle", 2, 3, "", "abfgh"},
        {"erase everything", 0, 8, "", ""},
        {"longer replacement", 1, 2, "1234", "a1234defgh"},
        {"shorter replacement", 1, 4, "Z", "aZfgh"},
        {"overwrite at the end", 6, 2, "ZZ", "abcdefZZ"},
    };
    for (const Case& c : cases) {
        CBufferManager manager = Adopt("abcdefgh", 8, 4);
        const auto length = static_cast<uint32_t>(std::strlen(c.source));
        ASSERT_EQ(manager.replace(c.position, c.oldLength, c.source, length), 0) << c.name;
        EXPECT_EQ(Contents(manager), c.expected) << c.name;
    }
}

TEST_F(Buffer, InsertEraseAndWriteAreReplacements) {
    CBufferManager manager = Adopt("abcdef", 16, 16);
    ASSERT_EQ(manager.insert(2, "12", 2), 0);
    EXPECT_EQ(Contents(manager), "ab12cdef");
    ASSERT_EQ(manager.write(0, "XYZ", 3), 0);
    EXPECT_EQ(Contents(manager), "XYZ2cdef");
    ASSERT_EQ(manager.erase(1, 4), 0);
    EXPECT_EQ(Contents(manager), "Xdef");
}

TEST_F(Buffer, ReplaceNeverShrinks) {
    CBufferManager manager = Adopt(std::string(600, 'x'), 1024, 512);
    ASSERT_EQ(manager.erase(0, 600), 0);
    EXPECT_EQ(manager.size(), 0u);
    EXPECT_EQ(manager.capacity(), 1024u);
}

TEST_F(Buffer, ResizeSettlesOnTheStepAboveTheSize) {
    struct Case {
        const char* name;
        uint32_t size, capacity, step;
        uint32_t capacityAfter;
        uint32_t allocations;
    } cases[] = {
        {"trims a grown row", 10, 1024, 512, 512, 1},
        {"grows a full block", 512, 512, 512, 1024, 1},
        {"leaves a settled block", 511, 512, 512, 512, 0},
        {"gives an empty block one step", 0, 0, 255, 255, 1},
    };
    for (const Case& c : cases) {
        const std::string text(c.size, 'r');
        CBufferManager manager = Adopt(text, c.capacity, c.step);
        platform::FaultInjector injector;
        {
            platform::ScopedFaultInjector scope(injector);
            manager.resize();
        }
        EXPECT_EQ(manager.capacity(), c.capacityAfter) << c.name;
        EXPECT_EQ(injector.Seen(platform::FaultOp::Alloc), c.allocations) << c.name;
        EXPECT_EQ(Contents(manager), text) << c.name;
    }
}

TEST_F(Buffer, FailedGrowthChangesNothing) {
    CBufferManager manager = Adopt("abcd", 4, 512);
    char* const before = data;
    platform::FaultInjector injector;
    platform::ScopedFaultInjector scope(injector);
    injector.FailNth(platform::FaultOp::Alloc, 1, ERROR_NOT_ENOUGH_MEMORY, true);

    EXPECT_EQ(manager.insert(2, "XY", 2), -1);
    EXPECT_EQ(manager.replace(0, 1, "12345", 5), -1);
    manager.resize();
    EXPECT_TRUE(injector.Fired(platform::FaultOp::Alloc));
    EXPECT_EQ(data, before);
    EXPECT_EQ(manager.size(), 4u);
    EXPECT_EQ(manager.capacity(), 4u);
    EXPECT_EQ(Contents(manager), "abcd");
}

TEST_F(Buffer, RangesOutsideTheBytesInUseAreAssertedAndRefused) {
    CBufferManager manager = Adopt("abcdef", 8, 8);
    testsupport::LogTail tail;

    EXPECT_EQ(manager.replace(4, 3, "X", 1), -1);
    EXPECT_EQ(manager.erase(7, 0), -1);
    EXPECT_EQ(manager.insert(0xFFFFFFFFu, "X", 1), -1);
    EXPECT_EQ(manager.insert(0, nullptr, 1), -1);
    EXPECT_EQ(Contents(manager), "abcdef");

    char out[4] = {'-', '-', '-', '-'};
    manager.read(4, out, 3);
    manager.read(0xFFFFFFFFu, out, 2);
    EXPECT_EQ(std::string(out, 4), "----");
    EXPECT_EQ(manager.get(6), nullptr);
    EXPECT_EQ(manager.get(5), data + 5);
    manager.read(2, out, 4);
    EXPECT_EQ(std::string(out, 4), "cdef");

    EXPECT_EQ(AssertionsFrom("BufferManager.cpp", tail), 7u);
}

TEST_F(Buffer, AdoptionViolationsAreAssertedAndLeaveAUsableManager) {
    testsupport::LogTail tail;
    CBufferManager withoutBytes(&data, 10, 100, 512);
    EXPECT_EQ(AssertionsFrom("BufferManager.cpp", tail), 1u);
    EXPECT_EQ(withoutBytes.size(), 0u);
    EXPECT_EQ(withoutBytes.capacity(), 0u);
    ASSERT_EQ(withoutBytes.insert(0, "ab", 2), 0);
    EXPECT_EQ(withoutBytes.capacity(), 512u);

    CBufferManager zeroStep = Adopt("abc", 3, 0);
    EXPECT_EQ(AssertionsFrom("BufferManager.cpp", tail), 2u);
    EXPECT_EQ(zeroStep.growthStep(), 1u);
    ASSERT_EQ(zeroStep.insert(3, "d", 1), 0);
    EXPECT_EQ(zeroStep.capacity(), 5u);
    EXPECT_EQ(Contents(zeroStep), "abcd");

    CBufferManager oversized = Adopt("abc", 3, 16);
    oversized.assignBuffer(&data, 9, 3, 16);
    EXPECT_EQ(AssertionsFrom("BufferManager.cpp", tail), 3u);
    EXPECT_EQ(oversized.size(), 3u);
}

TEST_F(Buffer, DeleteBuffFreesAndClearsTheOwnersPointer) {
    CBufferManager manager = Adopt("abc", 8, 8);
    manager.deleteBuff();
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(manager.size(), 3u);
    EXPECT_EQ(manager.capacity(), 8u);
}

}  // namespace

namespace {

// A buffer inside a span: the manager holds the span; growing copies the
// bytes in use out and leaves the span's bytes alone; a failed growth
// changes nothing; deleteBuff gives up the hold (the sanitizers see a span
// freed twice or never).
TEST(SpanBuffer, GrowthMovesTheBytesOutAndLeavesTheSpan) {
    char* spanBytes = nullptr;
    zr_gen::RowArena::Chunk* span = zr_gen::RowArena::NewSpan(16, &spanBytes);
    ASSERT_NE(span, nullptr);
    std::memcpy(spanBytes, "abcdefghABCDEFGH", 16);
    char* data = spanBytes + 8;  // the second half, as a row's block lies in its span
    CBufferManager manager(&data, 0, 0, 512);
    manager.assignSpanBuffer(&data, 8, 8, 512, span);
    zr_gen::RowArena::Drop(span);  // the manager's hold alone keeps it now

    {
        platform::FaultInjector injector;
        platform::ScopedFaultInjector scope(injector);
        injector.FailNth(platform::FaultOp::Alloc, 1, ERROR_NOT_ENOUGH_MEMORY);
        EXPECT_EQ(manager.insert(8, "!", 1), -1);
    }
    EXPECT_EQ(data, spanBytes + 8);
    EXPECT_EQ(manager.size(), 8u);

    ASSERT_EQ(manager.insert(8, "!", 1), 0);
    EXPECT_NE(data, spanBytes + 8);
    EXPECT_EQ(manager.capacity(), 512u);
    EXPECT_EQ(std::string(data, manager.size()), "ABCDEFGH!");
    manager.deleteBuff();  // a C-heap block now
    EXPECT_EQ(data, nullptr);
}

TEST(SpanBuffer, DeleteBuffAndAdoptionGiveUpTheHold) {
    char* spanBytes = nullptr;
    zr_gen::RowArena::Chunk* span = zr_gen::RowArena::NewSpan(8, &spanBytes);
    ASSERT_NE(span, nullptr);
    char* data = spanBytes;
    CBufferManager manager(&data, 0, 0, 512);
    manager.assignSpanBuffer(&data, 8, 8, 512, span);
    manager.assignSpanBuffer(&data, 4, 8, 512, span);  // again: the old hold goes
    zr_gen::RowArena::Drop(span);
    manager.deleteBuff();
    EXPECT_EQ(data, nullptr);
}

}  // namespace
