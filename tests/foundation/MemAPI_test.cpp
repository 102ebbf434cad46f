#include "notestore/foundation/MemAPI.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "notestore.h"
#include "platform/Faults.h"

namespace {

TEST(MemAPI, BlockCarriesItsSizeInFrontOfTheData) {
    MemHandle h = MemAlloc(10);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(MemGetSize(h), 10u);
    EXPECT_EQ(static_cast<uint8_t*>(MemGetPtr(h)), static_cast<uint8_t*>(h) + 4);
    const uint8_t size[4] = {10, 0, 0, 0};
    EXPECT_EQ(std::memcmp(h, size, 4), 0);
    MemReleasePtr(h);
    MemFree(h);
}

TEST(MemAPI, DuplicateIsADifferentBlockWithTheSameBytes) {
    MemHandle h = MemAlloc(10);
    std::memcpy(MemGetPtr(h), "0123456789", 10);
    MemHandle copy = MemDuplicate(h);
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, h);
    EXPECT_EQ(MemGetSize(copy), 10u);
    EXPECT_EQ(std::memcmp(MemGetPtr(copy), "0123456789", 10), 0);
    MemFree(copy);
    MemFree(h);
}

TEST(MemAPI, ReallocKeepsTheCommonPrefix) {
    MemHandle h = MemAlloc(10);
    std::memcpy(MemGetPtr(h), "0123456789", 10);
    h = MemRealloc(h, 20);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(MemGetSize(h), 20u);
    EXPECT_EQ(std::memcmp(MemGetPtr(h), "0123456789", 10), 0);
    h = MemRealloc(h, 4);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(MemGetSize(h), 4u);
    EXPECT_EQ(std::memcmp(MemGetPtr(h), "0123", 4), 0);
    MemFree(h);
}

TEST(MemAPI, ExhaustedHeapGivesNullAndKeepsTheOldBlock) {
    MemHandle h = MemAlloc(8);
    std::memcpy(MemGetPtr(h), "abcdefgh", 8);
    platform::FaultInjector injector;
    platform::ScopedFaultInjector scope(injector);
    injector.FailNth(platform::FaultOp::Alloc, 1, ERROR_NOT_ENOUGH_MEMORY, true);
    EXPECT_EQ(MemAlloc(8), nullptr);
    EXPECT_EQ(MemRealloc(h, 100), nullptr);
    EXPECT_EQ(MemDuplicate(h), nullptr);
    EXPECT_EQ(MemGetSize(h), 8u);
    EXPECT_EQ(std::memcmp(MemGetPtr(h), "abcdefgh", 8), 0);
    MemFree(h);
}

TEST(MemAPI, NullHandlesGiveTheZeroValueAndARecordedFailure) {
    const struct {
        const char* name;
        std::function<bool()> call;  // the zero value came back
        bool fails;
    } cases[] = {
        {"MemDuplicate", [] { return MemDuplicate(nullptr) == nullptr; }, true},
        {"MemGetPtr", [] { return MemGetPtr(nullptr) == nullptr; }, true},
        {"MemGetSize", [] { return MemGetSize(nullptr) == 0; }, true},
        {"MemRealloc", [] { return MemRealloc(nullptr, 8) == nullptr; }, true},
        {"MemReleasePtr", [] { MemReleasePtr(nullptr); return true; }, true},
        {"MemFree", [] { MemFree(nullptr); return true; }, false},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(c.call()) << c.name;
        EXPECT_EQ(OL_GetLastExceptionKind(), c.fails ? OL_EXCEPTION_LIBRARY : OL_EXCEPTION_NONE) << c.name;
    }
}

}  // namespace
