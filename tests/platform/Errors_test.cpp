#include "platform/Errors.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

#include "platform/Faults.h"
#include "platform/Memory.h"

namespace {

TEST(LastError, IsPerThread) {
    SetLastError(7);
    DWORD seenByOther = 1;
    std::thread([&] { seenByOther = GetLastError(); }).join();
    EXPECT_EQ(seenByOther, 0u);
    EXPECT_EQ(GetLastError(), 7u);
}

TEST(ErrnoTable, TranslatesTheErrorsTheLibraryMeets) {
    struct Case {
        int err;
        platform::ErrnoContext context;
        DWORD expected;
    } cases[] = {
        {ENOENT, platform::ErrnoContext::Generic, ERROR_FILE_NOT_FOUND},
        {ENOENT, platform::ErrnoContext::MissingParent, ERROR_PATH_NOT_FOUND},
        {ENOTDIR, platform::ErrnoContext::Generic, ERROR_PATH_NOT_FOUND},
        {EACCES, platform::ErrnoContext::Generic, ERROR_ACCESS_DENIED},
        {EPERM, platform::ErrnoContext::Generic, ERROR_ACCESS_DENIED},
        {EISDIR, platform::ErrnoContext::Generic, ERROR_ACCESS_DENIED},
        {EEXIST, platform::ErrnoContext::Generic, ERROR_FILE_EXISTS},
        {ENOSPC, platform::ErrnoContext::Generic, ERROR_DISK_FULL},
        {EDQUOT, platform::ErrnoContext::Generic, ERROR_DISK_FULL},
        {EMFILE, platform::ErrnoContext::Generic, ERROR_TOO_MANY_OPEN_FILES},
        {ENOMEM, platform::ErrnoContext::Generic, ERROR_NOT_ENOUGH_MEMORY},
        {EROFS, platform::ErrnoContext::Generic, ERROR_WRITE_PROTECT},
        {ENAMETOOLONG, platform::ErrnoContext::Generic, ERROR_FILENAME_EXCED_RANGE},
        {EIO, platform::ErrnoContext::Generic, ERROR_IO_DEVICE},
        {EHOSTDOWN, platform::ErrnoContext::Generic, ERROR_IO_DEVICE},
    };
    for (const auto& c : cases) {
        SetLastError(0xdeadbeef);
        EXPECT_EQ(platform::SetLastErrorFromErrno(c.err, c.context), c.expected) << c.err;
        EXPECT_EQ(GetLastError(), c.expected) << c.err;
    }
}

TEST(FormatMessage, IntoABufferOrAnAllocatedOne) {
    char16_t buffer[64];
    EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_DISK_FULL, 0x409, buffer, 64, nullptr), 40u);
    EXPECT_EQ(std::u16string(buffer), u"There is not enough space on the disk.\r\n");

    char16_t* allocated = nullptr;
    ASSERT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, ERROR_ACCESS_DENIED,
                             0x409, reinterpret_cast<LPWSTR>(&allocated), 1, nullptr),
              19u);
    EXPECT_EQ(std::u16string(allocated), u"Access is denied.\r\n");
    EXPECT_GE(LocalSize(allocated), 20 * sizeof(char16_t));
    LocalFree(allocated);
}

TEST(FormatMessage, Failures) {
    char16_t small[8];
    struct Case {
        DWORD flags;
        DWORD id;
        LPWSTR buffer;
        DWORD size;
        DWORD error;
    } cases[] = {
        {FORMAT_MESSAGE_FROM_SYSTEM, 0x1234567, small, 8, ERROR_MR_MID_NOT_FOUND},
        {FORMAT_MESSAGE_FROM_SYSTEM, ERROR_FILE_NOT_FOUND, small, 8, ERROR_INSUFFICIENT_BUFFER},
        {0, ERROR_FILE_NOT_FOUND, small, 8, ERROR_INVALID_PARAMETER},
        {FORMAT_MESSAGE_FROM_SYSTEM, ERROR_FILE_NOT_FOUND, nullptr, 8, ERROR_INVALID_PARAMETER},
    };
    for (const auto& c : cases) {
        SetLastError(0xdeadbeef);
        EXPECT_EQ(FormatMessageW(c.flags, nullptr, c.id, 0x409, c.buffer, c.size, nullptr), 0u);
        EXPECT_EQ(GetLastError(), c.error);
    }
    platform::FaultInjector injector;
    platform::ScopedFaultInjector scope(injector);
    injector.FailNth(platform::FaultOp::Alloc, 1, ERROR_NOT_ENOUGH_MEMORY);
    char16_t* allocated = nullptr;
    SetLastError(0xdeadbeef);
    EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, 2, 0x409,
                             reinterpret_cast<LPWSTR>(&allocated), 0, nullptr),
              0u);
    EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(allocated, nullptr);
}

}  // namespace
