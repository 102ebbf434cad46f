#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Scratch.h"
#include "platform/Errors.h"
#include "platform/Faults.h"
#include "platform/Files.h"

namespace {

constexpr DWORD kUntouched = 0xdeadbeef;

class FindTest : public ::testing::Test {
protected:
    void SetUp() override {
        temp.Write("Alpha.txt", "hello");
        temp.Write("beta.TXT", "");
        temp.Write("gamma.dat", "");
        temp.Write("a.b.c", "");
        temp.Write(".hidden", "");
        temp.Write("noext", "");
        temp.Write("\xc3\x9cn\xc3\xafgo.txt", "");  // "Ünïgo.txt"
        temp.MakeFolder("sub");
        temp.Write("sub/inner.txt", "");
    }

    // Every name the search reports, sorted; the search must end with
    // ERROR_NO_MORE_FILES.
    std::vector<std::u16string> Names(const std::u16string& pattern) {
        std::vector<std::u16string> names;
        WIN32_FIND_DATAW data;
        const HANDLE search = FindFirstFileW(pattern.c_str(), &data);
        if (search == INVALID_HANDLE_VALUE) return names;
        do {
            names.emplace_back(data.cFileName);
        } while (FindNextFileW(search, &data));
        EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
        EXPECT_TRUE(FindClose(search));
        std::sort(names.begin(), names.end());
        return names;
    }

    Scratch temp;
};

TEST_F(FindTest, WildcardsMatchWithoutRegardToCase) {
    const std::vector<std::u16string> all = {u".hidden", u"Alpha.txt", u"a.b.c", u"beta.TXT", u"gamma.dat",
                                             u"noext", u"sub", u"\u00dcn\u00efgo.txt"};
    const struct {
        const char* pattern;
        std::vector<std::u16string> names;
    } rows[] = {
        {"*", all},
        {"*.*", all},
        {"*.txt", {u"Alpha.txt", u"beta.TXT", u"\u00dcn\u00efgo.txt"}},
        {"*.TXT", {u"Alpha.txt", u"beta.TXT", u"\u00dcn\u00efgo.txt"}},
        {"?ETA.*", {u"beta.TXT"}},
        {"a*", {u"Alpha.txt", u"a.b.c"}},
        {"*a*a*", {u"Alpha.txt", u"gamma.dat"}},  // a star must give back what it took
        {"g?mma.dat", {u"gamma.dat"}},
        {"???", {u"sub"}},
        {"?n*", {u"\u00dcn\u00efgo.txt"}},  // "?" is one character, not one byte
        {"*c", {u"a.b.c"}},
        {".*", {u".hidden"}},
        {"ALPHA.TXT", {u"Alpha.txt"}},
        {"sub", {u"sub"}},
        {"sub/*", {u"inner.txt"}},
        {"sub\\*.TXT", {u"inner.txt"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.pattern);
        EXPECT_EQ(Names(temp.Path(row.pattern)), row.names);
    }
}

TEST_F(FindTest, NoMatchIsAnError) {
    const struct {
        const char* pattern;
        DWORD error;
    } rows[] = {
        {"nothing.txt", ERROR_FILE_NOT_FOUND},
        {"*.zip", ERROR_FILE_NOT_FOUND},
        {"alpha.tx", ERROR_FILE_NOT_FOUND},
        {"nofolder/*", ERROR_PATH_NOT_FOUND},
        {"Alpha.txt/*", ERROR_PATH_NOT_FOUND},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.pattern);
        WIN32_FIND_DATAW data;
        SetLastError(kUntouched);
        EXPECT_EQ(FindFirstFileW(temp.Path(row.pattern).c_str(), &data), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), row.error);
    }
}

TEST_F(FindTest, FindDataDescribesEachEntry) {
    for (const std::string name : {"Alpha.txt", ".hidden", "sub"}) {
        SCOPED_TRACE(name);
        WIN32_FIND_DATAW data;
        std::fill_n(reinterpret_cast<char*>(&data), sizeof data, '\x55');
        const HANDLE search = FindFirstFileW(temp.Path(name).c_str(), &data);
        ASSERT_NE(search, INVALID_HANDLE_VALUE);
        EXPECT_EQ(std::u16string(data.cFileName), platform::Utf8ToUtf16(name));
        EXPECT_EQ(data.dwFileAttributes, GetFileAttributesW(temp.Path(name).c_str()));
        FindClose(search);
    }

    WIN32_FIND_DATAW data;
    const HANDLE search = FindFirstFileW(temp.Path("alpha.TXT").c_str(), &data);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    FindClose(search);
    EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_ARCHIVE);
    EXPECT_EQ(data.nFileSizeLow, 5u);
    EXPECT_EQ(data.nFileSizeHigh, 0u);
    const HANDLE file = CreateFileW(temp.Path("Alpha.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    FILETIME creation{};
    FILETIME access{};
    FILETIME write{};
    ASSERT_TRUE(GetFileTime(file, &creation, &access, &write));
    CloseHandle(file);
    EXPECT_EQ(data.ftCreationTime.dwLowDateTime, creation.dwLowDateTime);
    EXPECT_EQ(data.ftCreationTime.dwHighDateTime, creation.dwHighDateTime);
    EXPECT_EQ(data.ftLastAccessTime.dwLowDateTime, access.dwLowDateTime);
    EXPECT_EQ(data.ftLastWriteTime.dwLowDateTime, write.dwLowDateTime);
    EXPECT_EQ(data.ftLastWriteTime.dwHighDateTime, write.dwHighDateTime);
    EXPECT_NE(write.dwHighDateTime, 0u);
}

TEST_F(FindTest, LargeSizesAreSplit) {
    ASSERT_EQ(truncate(temp.Native("gamma.dat").c_str(), 0x100000005), 0);
    WIN32_FIND_DATAW data;
    const HANDLE search = FindFirstFileW(temp.Path("gamma.dat").c_str(), &data);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    FindClose(search);
    EXPECT_EQ(data.nFileSizeHigh, 1u);
    EXPECT_EQ(data.nFileSizeLow, 5u);
}

TEST_F(FindTest, TheEndIsNoMoreFilesEveryTime) {
    WIN32_FIND_DATAW data;
    const HANDLE search = FindFirstFileW(temp.Path("*.dat").c_str(), &data);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    EXPECT_EQ(std::u16string(data.cFileName), u"gamma.dat");
    for (int i = 0; i < 2; ++i) {
        SetLastError(kUntouched);
        EXPECT_FALSE(FindNextFileW(search, &data));
        EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
    }
    EXPECT_TRUE(FindClose(search));
    SetLastError(kUntouched);
    EXPECT_FALSE(FindNextFileW(search, &data));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    SetLastError(kUntouched);
    EXPECT_FALSE(FindClose(search));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(FindTest, AllocationFailureIsReported) {
    platform::FaultInjector injector;
    platform::ScopedFaultInjector installed(injector);
    injector.FailNth(platform::FaultOp::Alloc, 1, ERROR_NOT_ENOUGH_MEMORY);
    WIN32_FIND_DATAW data;
    SetLastError(kUntouched);
    EXPECT_EQ(FindFirstFileW(temp.Path("*").c_str(), &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
    const HANDLE search = FindFirstFileW(temp.Path("*").c_str(), &data);
    EXPECT_NE(search, INVALID_HANDLE_VALUE);
    FindClose(search);
}

TEST_F(FindTest, APatternWithoutFolderSearchesTheCurrentOne) {
    const int previous = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_NE(previous, -1);
    ASSERT_EQ(chdir(temp.root().c_str()), 0);
    const std::vector<std::u16string> names = Names(u"*.DAT");
    EXPECT_EQ(fchdir(previous), 0);
    close(previous);
    EXPECT_EQ(names, std::vector<std::u16string>{u"gamma.dat"});
}

TEST_F(FindTest, SearchAndFileHandlesDoNotMix) {
    WIN32_FIND_DATAW data;
    const HANDLE search = FindFirstFileW(temp.Path("*").c_str(), &data);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    const HANDLE file = CreateFileW(temp.Path("Alpha.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);

    SetLastError(kUntouched);
    EXPECT_FALSE(CloseHandle(search));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    SetLastError(kUntouched);
    EXPECT_FALSE(FindClose(file));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    SetLastError(kUntouched);
    EXPECT_FALSE(FindNextFileW(file, &data));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    SetLastError(kUntouched);
    EXPECT_EQ(GetFileSize(search, nullptr), INVALID_FILE_SIZE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);

    // Both still work.
    EXPECT_TRUE(FindNextFileW(search, &data));
    EXPECT_EQ(GetFileSize(file, nullptr), 5u);
    EXPECT_TRUE(FindClose(search));
    EXPECT_TRUE(CloseHandle(file));
}

}  // namespace
