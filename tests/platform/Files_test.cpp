#include "platform/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "Scratch.h"
#include "platform/Errors.h"
#include "platform/Faults.h"

namespace {

constexpr DWORD kRead = GENERIC_READ;
constexpr DWORD kWrite = GENERIC_WRITE;
constexpr DWORD kReadWrite = GENERIC_READ | GENERIC_WRITE;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr DWORD kUntouched = 0xdeadbeef;

HANDLE Open(const std::u16string& path, DWORD access, DWORD share, DWORD disposition, DWORD attributes = 0,
            SECURITY_ATTRIBUTES* security = nullptr) {
    return CreateFileW(path.c_str(), access, share, security, disposition, attributes, nullptr);
}

// The 64-bit position, read without moving.
int64_t Position(HANDLE file) {
    LONG high = 0;
    const DWORD low = SetFilePointer(file, 0, &high, FILE_CURRENT);
    return static_cast<int64_t>(static_cast<uint64_t>(static_cast<uint32_t>(high)) << 32 | low);
}

void MoveTo(HANDLE file, int64_t position) {
    LONG high = static_cast<LONG>(position >> 32);
    SetFilePointer(file, static_cast<LONG>(position), &high, FILE_BEGIN);
    ASSERT_EQ(Position(file), position);
}

uint64_t Ticks(const FILETIME& t) { return uint64_t{t.dwHighDateTime} << 32 | t.dwLowDateTime; }

// Runs `probe` as an unprivileged user, since root passes every permission
// check, and hands back the values it produced.
std::vector<DWORD> RunUnprivileged(const std::function<std::vector<DWORD>()>& probe) {
    if (geteuid() != 0) return probe();
    int channel[2];
    if (pipe(channel) != 0) return {};
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
        const std::vector<DWORD> values = probe();
        const auto bytes = static_cast<ssize_t>(values.size() * sizeof(DWORD));
        _exit(write(channel[1], values.data(), static_cast<size_t>(bytes)) == bytes ? 0 : 3);
    }
    close(channel[1]);
    std::vector<DWORD> values;
    DWORD value = 0;
    while (read(channel[0], &value, sizeof value) == sizeof value) values.push_back(value);
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    return values;
}

class FilesTest : public ::testing::Test {
protected:
    Scratch temp;
};

// --- CreateFileW -------------------------------------------------------------

struct CreateCase {
    const char* name;
    const char* path;
    DWORD access;
    DWORD disposition;
    bool opens;
    DWORD error;          // the last error afterwards, on success too
    const char* content;  // of the file afterwards; null: no such file
    const char* checked = nullptr;  // the file to look at when not `path`
};

const CreateCase kCreateCases[] = {
    {"missing file", "missing", kRead, OPEN_EXISTING, false, ERROR_FILE_NOT_FOUND, nullptr},
    {"missing folder", "nofolder/file", kRead, OPEN_EXISTING, false, ERROR_PATH_NOT_FOUND, nullptr},
    {"missing folder on create", "nofolder/file", kWrite, CREATE_NEW, false, ERROR_PATH_NOT_FOUND, nullptr},
    {"file used as folder", "existing/file", kRead, OPEN_EXISTING, false, ERROR_PATH_NOT_FOUND, nullptr},
    {"folder for reading", "folder", kRead, OPEN_EXISTING, false, ERROR_ACCESS_DENIED, nullptr},
    {"folder for writing", "folder", kWrite, OPEN_EXISTING, false, ERROR_ACCESS_DENIED, nullptr},
    {"folder with OPEN_ALWAYS", "folder", kReadWrite, OPEN_ALWAYS, false, ERROR_ACCESS_DENIED, nullptr},
    {"CREATE_NEW on existing", "existing", kWrite, CREATE_NEW, false, ERROR_FILE_EXISTS, "abc"},
    {"CREATE_NEW on missing", "new", kWrite, CREATE_NEW, true, ERROR_SUCCESS, ""},
    {"CREATE_ALWAYS on existing", "existing", kWrite, CREATE_ALWAYS, true, ERROR_ALREADY_EXISTS, ""},
    {"CREATE_ALWAYS reading only", "existing", kRead, CREATE_ALWAYS, true, ERROR_ALREADY_EXISTS, ""},
    {"CREATE_ALWAYS on missing", "new", kWrite, CREATE_ALWAYS, true, ERROR_SUCCESS, ""},
    {"OPEN_ALWAYS on existing", "existing", kReadWrite, OPEN_ALWAYS, true, ERROR_ALREADY_EXISTS, "abc"},
    {"OPEN_ALWAYS on missing", "new", kRead, OPEN_ALWAYS, true, ERROR_SUCCESS, ""},
    {"OPEN_EXISTING", "existing", kRead, OPEN_EXISTING, true, ERROR_SUCCESS, "abc"},
    {"OPEN_EXISTING without access", "existing", 0, OPEN_EXISTING, true, ERROR_SUCCESS, "abc"},
    {"TRUNCATE_EXISTING", "existing", kWrite, TRUNCATE_EXISTING, true, ERROR_SUCCESS, ""},
    {"TRUNCATE_EXISTING on missing", "missing", kWrite, TRUNCATE_EXISTING, false, ERROR_FILE_NOT_FOUND, nullptr},
    {"TRUNCATE_EXISTING reading only", "existing", kRead, TRUNCATE_EXISTING, false, ERROR_INVALID_PARAMETER, "abc"},
    {"unknown disposition", "existing", kRead, 0, false, ERROR_INVALID_PARAMETER, "abc"},
    {"unknown disposition on missing", "new", kWrite, 6, false, ERROR_INVALID_PARAMETER, nullptr},
    {"backslash separators", "sub\\inner", kRead, OPEN_EXISTING, true, ERROR_SUCCESS, "xyz", "sub/inner"},
};

TEST(CreateFileTest, DispositionsAndErrors) {
    for (const CreateCase& row : kCreateCases) {
        SCOPED_TRACE(row.name);
        Scratch temp;
        temp.Write("existing", "abc");
        temp.MakeFolder("folder");
        temp.MakeFolder("sub");
        temp.Write("sub/inner", "xyz");

        SetLastError(kUntouched);
        const HANDLE file = Open(temp.Path(row.path), row.access, kShareAll, row.disposition);
        EXPECT_EQ(GetLastError(), row.error);
        EXPECT_EQ(file != INVALID_HANDLE_VALUE, row.opens);
        if (file != INVALID_HANDLE_VALUE) {
            EXPECT_NE(file, nullptr);
            EXPECT_LE(reinterpret_cast<uintptr_t>(file), uintptr_t{0xFFFFFFFF});
            EXPECT_TRUE(CloseHandle(file));
        }
        const auto content = temp.Read(row.checked != nullptr ? row.checked : row.path);
        if (row.content == nullptr) {
            EXPECT_FALSE(content.has_value());
        } else {
            EXPECT_EQ(content, std::string(row.content));
        }
    }
}

TEST_F(FilesTest, PermissionsAreEnforced) {
    temp.Write("readonly", "abc");
    temp.Write("writable", "def");
    chmod(temp.root().c_str(), 0755);
    chmod(temp.Native("readonly").c_str(), 0444);
    chmod(temp.Native("writable").c_str(), 0666);
    const std::vector<DWORD> seen = RunUnprivileged([&] {
        std::vector<DWORD> values;
        for (const DWORD disposition : {OPEN_EXISTING, CREATE_ALWAYS}) {
            SetLastError(kUntouched);
            const HANDLE file = Open(temp.Path("readonly"), kWrite, kShareAll, disposition);
            values.push_back(file == INVALID_HANDLE_VALUE ? GetLastError() : 0);
        }
        values.push_back(GetFileAttributesW(temp.Path("readonly").c_str()));
        values.push_back(GetFileAttributesW(temp.Path("writable").c_str()));
        return values;
    });
    const std::vector<DWORD> expected = {ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED,
                                         FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_ARCHIVE};
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(temp.Read("readonly"), "abc");
}

TEST_F(FilesTest, ReadOnlyAttributeMakesNewFileReadOnly) {
    const HANDLE file = Open(temp.Path("new"), kReadWrite, 0, CREATE_NEW, FILE_ATTRIBUTE_READONLY);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, "abc", 3, &written, nullptr));  // the creator's handle still writes
    EXPECT_TRUE(CloseHandle(file));
    struct stat st {};
    ASSERT_EQ(stat(temp.Native("new").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0222, 0u);
    EXPECT_EQ(temp.Read("new"), "abc");
}

// Whether the descriptor behind the only open of `native` survives exec.
std::optional<bool> InheritedOverExec(const std::string& native) {
    std::optional<bool> inherited;
    DIR* fds = opendir("/proc/self/fd");
    while (const dirent* entry = readdir(fds)) {
        char target[4096] = {};
        const std::string link = std::string("/proc/self/fd/") + entry->d_name;
        if (readlink(link.c_str(), target, sizeof target - 1) <= 0 || native != target) continue;
        const int flags = fcntl(std::atoi(entry->d_name), F_GETFD);
        inherited = (flags & FD_CLOEXEC) == 0;
    }
    closedir(fds);
    return inherited;
}

TEST_F(FilesTest, HandlesAreInheritedOnlyWhenAsked) {
    temp.Write("file", "abc");
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    SECURITY_ATTRIBUTES keep{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
    const struct {
        SECURITY_ATTRIBUTES* security;
        bool inherited;
    } rows[] = {{nullptr, false}, {&keep, false}, {&inherit, true}};
    for (const auto& row : rows) {
        const HANDLE file = Open(temp.Path("file"), kRead, kShareAll, OPEN_EXISTING, 0, row.security);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        EXPECT_EQ(InheritedOverExec(temp.Native("file")), row.inherited);
        CloseHandle(file);
    }
}

TEST_F(FilesTest, RunningOutOfDescriptorsIsTooManyOpenFiles) {
    temp.Write("file", "abc");
    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &old), 0);
    struct rlimit low = old;
    low.rlim_cur = 64;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
    std::vector<HANDLE> handles;
    DWORD error = 0;
    for (int i = 0; i < 128 && error == 0; ++i) {
        SetLastError(kUntouched);
        const HANDLE file = Open(temp.Path("file"), kRead, kShareAll, OPEN_EXISTING);
        if (file == INVALID_HANDLE_VALUE) {
            error = GetLastError();
        } else {
            handles.push_back(file);
        }
    }
    setrlimit(RLIMIT_NOFILE, &old);
    for (const HANDLE file : handles) CloseHandle(file);
    EXPECT_EQ(error, ERROR_TOO_MANY_OPEN_FILES);
}

TEST_F(FilesTest, HandleValuesSurviveA32BitRoundTrip) {
    temp.Write("file", "abc");
    std::set<uint32_t> values;
    std::vector<HANDLE> handles;
    for (int i = 0; i < 20; ++i) {
        const HANDLE file = Open(temp.Path("file"), kRead, kShareAll, OPEN_EXISTING);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        const auto value = reinterpret_cast<uintptr_t>(file);
        ASSERT_LE(value, uintptr_t{0xFFFFFFFF});
        ASSERT_NE(value, 0u);
        values.insert(static_cast<uint32_t>(value));
        handles.push_back(file);
    }
    EXPECT_EQ(values.size(), handles.size());
    for (const uint32_t value : values) {
        const auto file = reinterpret_cast<HANDLE>(uintptr_t{value});
        char buffer[4] = {};
        DWORD read = 0;
        SetFilePointer(file, 0, nullptr, FILE_BEGIN);
        EXPECT_TRUE(ReadFile(file, buffer, 3, &read, nullptr));
        EXPECT_STREQ(buffer, "abc");
        EXPECT_TRUE(CloseHandle(file));
    }
}

// --- Data --------------------------------------------------------------------

TEST_F(FilesTest, ReadStopsOnlyAtTheEnd) {
    temp.Write("file", "hello world");
    const HANDLE file = Open(temp.Path("file"), kRead, kShareAll, OPEN_EXISTING);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    char buffer[100] = {};
    DWORD read = 99;
    EXPECT_TRUE(ReadFile(file, buffer, 5, &read, nullptr));
    EXPECT_EQ(std::string(buffer, read), "hello");
    EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &read, nullptr));
    EXPECT_EQ(std::string(buffer, read), " world");
    read = 99;
    EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &read, nullptr));
    EXPECT_EQ(read, 0u);
    CloseHandle(file);
}

TEST_F(FilesTest, AccessRightsLimitTheHandle) {
    const struct {
        DWORD access;
        bool reads;
        bool writes;
    } rows[] = {{kRead, true, false}, {kWrite, false, true}, {kReadWrite, true, true}, {0, false, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.access);
        temp.Write("file", "abc");
        const HANDLE file = Open(temp.Path("file"), row.access, kShareAll, OPEN_EXISTING);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        char buffer[3] = {};
        DWORD moved = 99;
        SetLastError(kUntouched);
        EXPECT_EQ(ReadFile(file, buffer, 3, &moved, nullptr), row.reads ? TRUE : FALSE);
        EXPECT_EQ(moved, row.reads ? 3u : 0u);
        EXPECT_EQ(GetLastError(), row.reads ? kUntouched : ERROR_ACCESS_DENIED);

        SetFilePointer(file, 0, nullptr, FILE_BEGIN);
        moved = 99;
        SetLastError(kUntouched);
        EXPECT_EQ(WriteFile(file, "xy", 2, &moved, nullptr), row.writes ? TRUE : FALSE);
        EXPECT_EQ(moved, row.writes ? 2u : 0u);
        EXPECT_EQ(GetLastError(), row.writes ? kUntouched : ERROR_ACCESS_DENIED);

        SetFilePointer(file, 1, nullptr, FILE_BEGIN);
        SetLastError(kUntouched);
        EXPECT_EQ(SetEndOfFile(file), row.writes ? TRUE : FALSE);
        EXPECT_EQ(GetLastError(), row.writes ? kUntouched : ERROR_ACCESS_DENIED);
        CloseHandle(file);
        EXPECT_EQ(temp.Read("file"), row.writes ? "x" : "abc");
    }
}

struct SeekCase {
    const char* name;
    int64_t start;
    LONG distance;
    bool withHigh;
    LONG high;
    DWORD method;
    DWORD result;
    LONG highAfter;
    DWORD error;
    int64_t positionAfter;
};

const SeekCase kSeekCases[] = {
    {"from the start", 4, 3, false, 0, FILE_BEGIN, 3, 0, ERROR_SUCCESS, 3},
    {"forward from here", 4, 3, false, 0, FILE_CURRENT, 7, 0, ERROR_SUCCESS, 7},
    {"back from here", 4, -2, false, 0, FILE_CURRENT, 2, 0, ERROR_SUCCESS, 2},
    {"back from the end", 4, -3, false, 0, FILE_END, 7, 0, ERROR_SUCCESS, 7},
    {"past the end", 4, 5, false, 0, FILE_END, 15, 0, ERROR_SUCCESS, 15},
    {"before the start", 4, -1, false, 0, FILE_BEGIN, INVALID_SET_FILE_POINTER, 0, ERROR_NEGATIVE_SEEK, 4},
    {"before the start from here", 4, -5, false, 0, FILE_CURRENT, INVALID_SET_FILE_POINTER, 0,
     ERROR_NEGATIVE_SEEK, 4},
    {"before the start from the end", 4, -11, false, 0, FILE_END, INVALID_SET_FILE_POINTER, 0,
     ERROR_NEGATIVE_SEEK, 4},
    {"unknown method", 4, 0, false, 0, 3, INVALID_SET_FILE_POINTER, 0, ERROR_INVALID_PARAMETER, 4},
    {"high part", 4, 5, true, 1, FILE_BEGIN, 5, 1, ERROR_SUCCESS, 0x100000005},
    {"0xFFFFFFFF is a position", 4, -1, true, 0, FILE_BEGIN, 0xFFFFFFFF, 0, ERROR_SUCCESS, 0xFFFFFFFF},
    {"64-bit back from here", 0x100000005, -6, true, -1, FILE_CURRENT, 0xFFFFFFFF, 0, ERROR_SUCCESS, 0xFFFFFFFF},
    {"64-bit before the start", 4, -1, true, -1, FILE_BEGIN, INVALID_SET_FILE_POINTER, -1, ERROR_NEGATIVE_SEEK, 4},
    {"beyond 32 bits without a high part", 0xFFFFFFF0, 0x20, false, 0, FILE_CURRENT, INVALID_SET_FILE_POINTER, 0,
     ERROR_INVALID_PARAMETER, 0xFFFFFFF0},
};

TEST_F(FilesTest, SetFilePointerMovesOrRefuses) {
    temp.Write("file", "0123456789");
    const HANDLE file = Open(temp.Path("file"), kReadWrite, kShareAll, OPEN_EXISTING);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    for (const SeekCase& row : kSeekCases) {
        SCOPED_TRACE(row.name);
        MoveTo(file, row.start);
        LONG high = row.high;
        SetLastError(kUntouched);
        EXPECT_EQ(SetFilePointer(file, row.distance, row.withHigh ? &high : nullptr, row.method), row.result);
        EXPECT_EQ(GetLastError(), row.error);
        if (row.withHigh) {
            EXPECT_EQ(high, row.highAfter);
        }
        EXPECT_EQ(Position(file), row.positionAfter);
    }
    CloseHandle(file);
}

TEST_F(FilesTest, SetEndOfFileShrinksAndGrows) {
    temp.Write("file", "0123456789");
    const HANDLE file = Open(temp.Path("file"), kReadWrite, kShareAll, OPEN_EXISTING);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    SetFilePointer(file, 4, nullptr, FILE_BEGIN);
    EXPECT_TRUE(SetEndOfFile(file));
    EXPECT_EQ(GetFileSize(file, nullptr), 4u);
    EXPECT_EQ(temp.Read("file"), "0123");
    SetFilePointer(file, 8, nullptr, FILE_BEGIN);
    EXPECT_TRUE(SetEndOfFile(file));
    EXPECT_EQ(temp.Read("file"), std::string("0123\0\0\0\0", 8));
    EXPECT_EQ(Position(file), 8);
    CloseHandle(file);
}

TEST_F(FilesTest, GetFileSizeSplitsLargeSizes) {
    const struct {
        int64_t size;
        DWORD low;
        DWORD high;
    } rows[] = {{0, 0, 0}, {10, 10, 0}, {0xFFFFFFFF, 0xFFFFFFFF, 0}, {0x100000005, 5, 1}};
    const HANDLE file = Open(temp.Path("file"), kReadWrite, kShareAll, CREATE_NEW);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.size);
        MoveTo(file, row.size);
        ASSERT_TRUE(SetEndOfFile(file));
        DWORD high = 99;
        SetLastError(kUntouched);
        EXPECT_EQ(GetFileSize(file, &high), row.low);
        EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
        EXPECT_EQ(high, row.high);
    }
    CloseHandle(file);
}

TEST_F(FilesTest, FileTimesCountFrom1601) {
    const time_t before = time(nullptr);
    temp.Write("file", "abc");
    const struct timespec times[2] = {{1500000000, 0}, {1000000000, 123456700}};
    ASSERT_EQ(utimensat(AT_FDCWD, temp.Native("file").c_str(), times, 0), 0);
    const HANDLE file = Open(temp.Path("file"), kRead, kShareAll, OPEN_EXISTING);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);

    FILETIME creation{1, 1};
    FILETIME access{};
    FILETIME write{};
    ASSERT_TRUE(GetFileTime(file, &creation, &access, &write));
    EXPECT_EQ(Ticks(access), 131444736000000000u);  // 2017-07-14 02:40:00 UTC
    EXPECT_EQ(Ticks(write), 126444736001234567u);   // 2001-09-09 01:46:40.1234567 UTC
    // Birth times exist only where the file system keeps them.
    if (Ticks(creation) != 0) {
        const auto fromUnix = [](time_t t) { return (static_cast<uint64_t>(t) + 11644473600u) * 10000000u; };
        // time() reads a clock that may not yet have reached the second the
        // file system stamped (it stamps from a finer clock): a second more
        // on either side.
        EXPECT_GE(Ticks(creation), fromUnix(before - 1));
        EXPECT_LE(Ticks(creation), fromUnix(time(nullptr) + 2));
    }

    platform::FaultInjector injector;
    injector.zeroCreationTime = true;
    {
        platform::ScopedFaultInjector installed(injector);
        FILETIME lastWrite{};
        ASSERT_TRUE(GetFileTime(file, &creation, nullptr, &lastWrite));
        EXPECT_EQ(Ticks(creation), 0u);
        EXPECT_EQ(Ticks(lastWrite), Ticks(write));
    }
    CloseHandle(file);
}

// --- Bad handles ---------------------------------------------------------------

TEST_F(FilesTest, BogusHandlesAreRefused) {
    temp.Write("file", "abc");
    const HANDLE closed = Open(temp.Path("file"), kReadWrite, kShareAll, OPEN_EXISTING);
    ASSERT_NE(closed, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(CloseHandle(closed));
    const HANDLE bogus[] = {nullptr, INVALID_HANDLE_VALUE, reinterpret_cast<HANDLE>(uintptr_t{0x12340}), closed};
    char buffer[4];
    DWORD count = 0;
    FILETIME t{};
    const struct {
        const char* name;
        std::function<bool(HANDLE)> fails;
    } calls[] = {
        {"ReadFile", [&](HANDLE h) { return !ReadFile(h, buffer, 1, &count, nullptr); }},
        {"WriteFile", [&](HANDLE h) { return !WriteFile(h, "x", 1, &count, nullptr); }},
        {"SetFilePointer", [](HANDLE h) { return SetFilePointer(h, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER; }},
        {"SetEndOfFile", [](HANDLE h) { return !SetEndOfFile(h); }},
        {"FlushFileBuffers", [](HANDLE h) { return !FlushFileBuffers(h); }},
        {"GetFileTime", [&](HANDLE h) { return !GetFileTime(h, &t, &t, &t); }},
        {"GetFileSize", [](HANDLE h) { return GetFileSize(h, nullptr) == INVALID_FILE_SIZE; }},
        {"CloseHandle", [](HANDLE h) { return !CloseHandle(h); }},
    };
    for (const auto& call : calls) {
        for (const HANDLE handle : bogus) {
            SCOPED_TRACE(std::string(call.name) + " " + std::to_string(reinterpret_cast<uintptr_t>(handle)));
            SetLastError(kUntouched);
            EXPECT_TRUE(call.fails(handle));
            EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
        }
    }
    EXPECT_EQ(temp.Read("file"), "abc");
}

// --- Injected faults -------------------------------------------------------------

TEST_F(FilesTest, InjectedFaultsFailOnceWithoutTouchingTheFile) {
    char buffer[3] = {};
    DWORD count = 0;
    const struct {
        const char* name;
        platform::FaultOp op;
        DWORD error;
        std::function<bool(HANDLE)> call;
        const char* contentAfter;  // once the retry worked
        int64_t positionAfter;
    } rows[] = {
        {"read", platform::FaultOp::Read, ERROR_READ_FAULT,
         [&](HANDLE h) { return ReadFile(h, buffer, 2, &count, nullptr) && std::string(buffer) == "34"; },
         "0123456789", 5},
        {"write", platform::FaultOp::Write, ERROR_DISK_FULL,
         [&](HANDLE h) { return WriteFile(h, "XY", 2, &count, nullptr) && count == 2; }, "012XY56789", 5},
        {"seek", platform::FaultOp::Seek, ERROR_SEEK,
         [](HANDLE h) { return SetFilePointer(h, 7, nullptr, FILE_BEGIN) == 7; }, "0123456789", 7},
        {"truncate", platform::FaultOp::Truncate, ERROR_WRITE_FAULT, [](HANDLE h) { return SetEndOfFile(h) != FALSE; },
         "012", 3},
        {"flush", platform::FaultOp::Flush, ERROR_IO_DEVICE, [](HANDLE h) { return FlushFileBuffers(h) != FALSE; },
         "0123456789", 3},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        temp.Write("file", "0123456789");
        const HANDLE file = Open(temp.Path("file"), kReadWrite, kShareAll, OPEN_EXISTING);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        SetFilePointer(file, 3, nullptr, FILE_BEGIN);
        std::memset(buffer, 0, sizeof buffer);
        platform::FaultInjector injector;
        platform::ScopedFaultInjector installed(injector);
        injector.FailNth(row.op, 1, row.error);

        SetLastError(kUntouched);
        EXPECT_FALSE(row.call(file));
        EXPECT_EQ(GetLastError(), row.error);
        EXPECT_TRUE(injector.Fired(row.op));
        EXPECT_EQ(temp.Read("file"), "0123456789");
        EXPECT_EQ(Position(file), 3);

        EXPECT_TRUE(row.call(file));
        EXPECT_EQ(temp.Read("file"), row.contentAfter);
        EXPECT_EQ(Position(file), row.positionAfter);
        CloseHandle(file);
    }
}

TEST_F(FilesTest, AllocationFailureLeavesNothingBehind) {
    temp.Write("existing", "abc");
    const struct {
        const char* path;
        DWORD disposition;
        const char* contentAfter;  // null: no such file
    } rows[] = {{"new", CREATE_NEW, nullptr}, {"new", OPEN_ALWAYS, nullptr}, {"existing", OPEN_ALWAYS, "abc"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.path << " " << row.disposition);
        platform::FaultInjector injector;
        platform::ScopedFaultInjector installed(injector);
        injector.FailNth(platform::FaultOp::Alloc, 1, ERROR_NOT_ENOUGH_MEMORY);
        SetLastError(kUntouched);
        EXPECT_EQ(Open(temp.Path(row.path), kReadWrite, 0, row.disposition), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
        const auto content = temp.Read(row.path);
        if (row.contentAfter == nullptr) {
            EXPECT_FALSE(content.has_value());
        } else {
            EXPECT_EQ(content, std::string(row.contentAfter));
        }
        // The refused open holds no share locks.
        const HANDLE file = Open(temp.Path("existing"), kReadWrite, 0, OPEN_EXISTING);
        EXPECT_NE(file, INVALID_HANDLE_VALUE);
        CloseHandle(file);
    }
}

// --- Sharing -------------------------------------------------------------------------

struct ShareCase {
    DWORD firstAccess;
    DWORD firstShare;
    DWORD secondAccess;
    DWORD secondShare;
    bool allowed;
};

const ShareCase kShareCases[] = {
    {kRead, FILE_SHARE_READ, kRead, FILE_SHARE_READ, true},
    {kRead, FILE_SHARE_READ, kWrite, kShareAll, false},  // the first does not share writing
    {kRead, kShareAll, kWrite, kShareAll, true},
    {kRead, kShareAll, kWrite, FILE_SHARE_READ, true},  // the second denies writing, nobody writes
    {kWrite, FILE_SHARE_READ, kRead, FILE_SHARE_READ, false},  // the second denies the first's writing
    {kWrite, kShareAll, kRead, kShareAll, true},
    {kWrite, kShareAll, kWrite, kShareAll, true},
    {kWrite, FILE_SHARE_WRITE, kWrite, FILE_SHARE_WRITE, true},
    {kWrite, FILE_SHARE_WRITE, kRead, kShareAll, false},
    {kRead, 0, kRead, kShareAll, false},
    {0, 0, kRead, kShareAll, false},  // a share mode binds even without access
    {0, 0, 0, kShareAll, true},
    {0, kShareAll, kReadWrite, 0, true},
    {kRead, kShareAll, 0, 0, false},  // the second denies what the first does
    {kReadWrite, kShareAll, kReadWrite, kShareAll, true},
    {kReadWrite, FILE_SHARE_READ, kRead, FILE_SHARE_READ, false},
    {kReadWrite, kShareAll, kRead, FILE_SHARE_READ, false},
};

TEST_F(FilesTest, ShareModesFollowTheDeviceRules) {
    temp.Write("file", "abc");
    for (const ShareCase& row : kShareCases) {
        SCOPED_TRACE(testing::Message() << std::hex << row.firstAccess << "/" << row.firstShare << " then "
                                        << row.secondAccess << "/" << row.secondShare);
        const HANDLE first = Open(temp.Path("file"), row.firstAccess, row.firstShare, OPEN_EXISTING);
        ASSERT_NE(first, INVALID_HANDLE_VALUE);
        SetLastError(kUntouched);
        const HANDLE second = Open(temp.Path("file"), row.secondAccess, row.secondShare, OPEN_EXISTING);
        EXPECT_EQ(second != INVALID_HANDLE_VALUE, row.allowed);
        EXPECT_EQ(GetLastError(), row.allowed ? ERROR_SUCCESS : ERROR_SHARING_VIOLATION);
        if (second != INVALID_HANDLE_VALUE) CloseHandle(second);
        CloseHandle(first);
    }
}

TEST_F(FilesTest, ClosingOneHandleKeepsTheOthersShareModes) {
    temp.Write("file", "abc");
    const HANDLE first = Open(temp.Path("file"), kRead, FILE_SHARE_READ, OPEN_EXISTING);
    const HANDLE second = Open(temp.Path("file"), kRead, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    ASSERT_NE(second, INVALID_HANDLE_VALUE);
    CloseHandle(first);
    SetLastError(kUntouched);
    EXPECT_EQ(Open(temp.Path("file"), kWrite, kShareAll, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    CloseHandle(second);
    const HANDLE writer = Open(temp.Path("file"), kWrite, kShareAll, OPEN_EXISTING);
    EXPECT_NE(writer, INVALID_HANDLE_VALUE);
    CloseHandle(writer);
}

TEST_F(FilesTest, RefusedOpensCreateAndTruncateNothing) {
    temp.Write("file", "abc");
    const HANDLE holder = Open(temp.Path("file"), kRead, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    for (const DWORD disposition : {CREATE_ALWAYS, TRUNCATE_EXISTING, OPEN_ALWAYS}) {
        SCOPED_TRACE(disposition);
        SetLastError(kUntouched);
        EXPECT_EQ(Open(temp.Path("file"), kWrite, kShareAll, disposition), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
        EXPECT_EQ(temp.Read("file"), "abc");
    }
    CloseHandle(holder);
}

// Emptying a file writes to it, whatever access the opener asked for.
TEST_F(FilesTest, TruncatingCreateWithReadAccessRespectsADenyWriteHolder) {
    temp.Write("file", "abc");
    const HANDLE holder = Open(temp.Path("file"), kRead, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    SetLastError(kUntouched);
    EXPECT_EQ(Open(temp.Path("file"), kRead, kShareAll, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    EXPECT_EQ(temp.Read("file"), "abc");
    CloseHandle(holder);
}

TEST_F(FilesTest, DuplicateHandlesShareThePositionAndCloseAlone) {
    temp.Write("file", "abcdef");
    const HANDLE file = Open(temp.Path("file"), kRead, kShareAll, OPEN_EXISTING);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    const HANDLE duplicate = platform::DuplicateFileHandle(file);
    ASSERT_NE(duplicate, INVALID_HANDLE_VALUE);
    EXPECT_NE(duplicate, file);
    EXPECT_EQ(SetFilePointer(duplicate, 4, nullptr, FILE_BEGIN), 4u);
    EXPECT_TRUE(CloseHandle(duplicate));
    char bytes[2] = {};
    DWORD read = 0;
    EXPECT_TRUE(ReadFile(file, bytes, 2, &read, nullptr));
    EXPECT_EQ(std::string(bytes, 2), "ef");
    CloseHandle(file);
    SetLastError(kUntouched);
    EXPECT_EQ(platform::DuplicateFileHandle(file), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(FilesTest, FolderFlushSucceedsOrReportsTheFolder) {
    temp.Write("file", "x");
    EXPECT_TRUE(platform::FlushFolderOf(temp.Path("file").c_str()));
    SetLastError(kUntouched);
    EXPECT_FALSE(platform::FlushFolderOf(temp.Path("missing/file").c_str()));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    platform::FaultInjector injector;
    platform::ScopedFaultInjector scope(injector);
    injector.FailNth(platform::FaultOp::Flush, 1, ERROR_WRITE_FAULT);
    EXPECT_FALSE(platform::FlushFolderOf(temp.Path("file").c_str()));
    EXPECT_EQ(GetLastError(), ERROR_WRITE_FAULT);
}

// The power-loss simulation keeps exactly what was flushed: file data by a
// file flush, a new file's existence by a folder flush.
TEST_F(FilesTest, PowerLossKeepsOnlyWhatWasFlushed) {
    temp.Write("old", "before");
    platform::FaultInjector injector;
    platform::DurableState durable;
    injector.durability = &durable;
    {
        platform::ScopedFaultInjector scope(injector);
        const HANDLE old = Open(temp.Path("old"), kWrite, kShareAll, OPEN_EXISTING);
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(old, "AFTER!", 6, &written, nullptr));
        CloseHandle(old);
        const HANDLE synced = Open(temp.Path("synced"), kWrite, kShareAll, CREATE_NEW);
        ASSERT_TRUE(WriteFile(synced, "kept", 4, &written, nullptr));
        ASSERT_TRUE(FlushFileBuffers(synced));
        ASSERT_TRUE(WriteFile(synced, "lost", 4, &written, nullptr));
        CloseHandle(synced);
        ASSERT_TRUE(platform::FlushFolderOf(temp.Path("synced").c_str()));
        const HANDLE unnamed = Open(temp.Path("unnamed"), kWrite, kShareAll, CREATE_NEW);
        ASSERT_TRUE(FlushFileBuffers(unnamed));
        CloseHandle(unnamed);
        injector.CutPowerAtNth(platform::FaultOp::Write, 1);
        const HANDLE again = Open(temp.Path("old"), kWrite, kShareAll, OPEN_EXISTING);
        EXPECT_FALSE(WriteFile(again, "x", 1, &written, nullptr)) << "the cut";
        CloseHandle(again);
        EXPECT_EQ(Open(temp.Path("late"), kWrite, kShareAll, CREATE_NEW), INVALID_HANDLE_VALUE)
            << "nothing changes once the power is off";
    }
    durable.DropUnsynced();
    EXPECT_EQ(temp.Read("old"), "before");
    EXPECT_EQ(temp.Read("synced"), "kept");
    EXPECT_FALSE(std::filesystem::exists(temp.root() + "/unnamed"));
}

TEST_F(FilesTest, ShareModesHoldAcrossProcesses) {
    temp.Write("file", "abc");
    const std::u16string path = temp.Path("file");
    int ready[2];
    int done[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(done), 0);
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        const HANDLE file = Open(path, kRead, 0, OPEN_EXISTING);
        char signal = file != INVALID_HANDLE_VALUE ? 'y' : 'n';
        if (write(ready[1], &signal, 1) != 1) _exit(2);
        if (read(done[0], &signal, 1) != 1) _exit(3);  // holds the file until the parent is done
        _exit(0);
    }
    char signal = 0;
    ASSERT_EQ(read(ready[0], &signal, 1), 1);
    EXPECT_EQ(signal, 'y');

    SetLastError(kUntouched);
    EXPECT_EQ(Open(path, kRead, kShareAll, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    SetLastError(kUntouched);
    EXPECT_EQ(Open(path, kWrite, kShareAll, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    SetLastError(kUntouched);
    EXPECT_FALSE(DeleteFileW(path.c_str()));
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    EXPECT_EQ(temp.Read("file"), "abc");

    ASSERT_EQ(write(done[1], "x", 1), 1);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    for (const int fd : {ready[0], ready[1], done[0], done[1]}) close(fd);

    const HANDLE file = Open(path, kRead, kShareAll, OPEN_EXISTING);
    EXPECT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
}

TEST_F(FilesTest, OpenFilesCannotBeDeletedOrMoved) {
    const struct {
        DWORD access;
        DWORD share;
    } holders[] = {{kRead, kShareAll}, {0, kShareAll}, {kWrite, 0}};
    temp.Write("file", "abc");
    for (const auto& holder : holders) {
        SCOPED_TRACE(testing::Message() << std::hex << holder.access << "/" << holder.share);
        const HANDLE file = Open(temp.Path("file"), holder.access, holder.share, OPEN_EXISTING);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        SetLastError(kUntouched);
        EXPECT_FALSE(DeleteFileW(temp.Path("file").c_str()));
        EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
        SetLastError(kUntouched);
        EXPECT_FALSE(MoveFileW(temp.Path("file").c_str(), temp.Path("moved").c_str()));
        EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
        EXPECT_EQ(temp.Read("file"), "abc");
        EXPECT_FALSE(temp.Exists("moved"));
        CloseHandle(file);
    }
    EXPECT_TRUE(DeleteFileW(temp.Path("file").c_str()));
    EXPECT_FALSE(temp.Exists("file"));
}

// --- Names -------------------------------------------------------------------------------

TEST_F(FilesTest, GetFileAttributesDescribesTheEntry) {
    temp.Write("file", "abc");
    temp.Write(".hidden", "abc");
    temp.MakeFolder("folder");
    temp.MakeFolder(".hiddenfolder");
    temp.Write(".hiddenfolder/inner", "abc");
    const struct {
        const char* path;
        DWORD attributes;
        DWORD error;
    } rows[] = {
        {"file", FILE_ATTRIBUTE_ARCHIVE, kUntouched},
        {"folder", FILE_ATTRIBUTE_DIRECTORY, kUntouched},
        {"folder/", FILE_ATTRIBUTE_DIRECTORY, kUntouched},
        {"folder/.", FILE_ATTRIBUTE_DIRECTORY, kUntouched},
        {".hidden", FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN, kUntouched},
        {".hiddenfolder", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN, kUntouched},
        {".hiddenfolder\\inner", FILE_ATTRIBUTE_ARCHIVE, kUntouched},
        {"missing", INVALID_FILE_ATTRIBUTES, ERROR_FILE_NOT_FOUND},
        {"nofolder/file", INVALID_FILE_ATTRIBUTES, ERROR_PATH_NOT_FOUND},
        {"file/file", INVALID_FILE_ATTRIBUTES, ERROR_PATH_NOT_FOUND},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        SetLastError(kUntouched);
        EXPECT_EQ(GetFileAttributesW(temp.Path(row.path).c_str()), row.attributes);
        EXPECT_EQ(GetLastError(), row.error);
    }
}

TEST(DeleteFileTest, RemovesFilesOnly) {
    const struct {
        const char* path;
        bool deletes;
        DWORD error;
    } rows[] = {
        {"file", true, kUntouched},
        {"missing", false, ERROR_FILE_NOT_FOUND},
        {"nofolder/file", false, ERROR_PATH_NOT_FOUND},
        {"folder", false, ERROR_ACCESS_DENIED},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        Scratch temp;
        temp.Write("file", "abc");
        temp.MakeFolder("folder");
        SetLastError(kUntouched);
        EXPECT_EQ(DeleteFileW(temp.Path(row.path).c_str()), row.deletes ? TRUE : FALSE);
        EXPECT_EQ(GetLastError(), row.error);
        EXPECT_EQ(temp.Exists("file"), std::string(row.path) != "file");
        EXPECT_TRUE(temp.Exists("folder"));
    }
}

TEST(MoveFileTest, RenamesWithoutReplacing) {
    const struct {
        const char* name;
        const char* from;
        const char* to;
        DWORD error;  // kUntouched: the move works
    } rows[] = {
        {"rename", "a", "c", kUntouched},
        {"into a folder", "a", "folder/a", kUntouched},
        {"a folder", "folder", "folder2", kUntouched},
        {"existing target", "a", "b", ERROR_ALREADY_EXISTS},
        {"onto a folder", "a", "folder", ERROR_ALREADY_EXISTS},
        {"missing source", "missing", "c", ERROR_FILE_NOT_FOUND},
        {"missing source folder", "nofolder/a", "c", ERROR_PATH_NOT_FOUND},
        {"missing target folder", "a", "nofolder/a", ERROR_PATH_NOT_FOUND},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Scratch temp;
        temp.Write("a", "aaa");
        temp.Write("b", "bbb");
        temp.MakeFolder("folder");
        const auto before = temp.Read(row.from);
        SetLastError(kUntouched);
        const bool moved = MoveFileW(temp.Path(row.from).c_str(), temp.Path(row.to).c_str());
        EXPECT_EQ(moved, row.error == kUntouched);
        EXPECT_EQ(GetLastError(), row.error);
        if (moved) {
            EXPECT_FALSE(temp.Exists(row.from));
            EXPECT_TRUE(temp.Exists(row.to));
            EXPECT_EQ(temp.Read(row.to), before);
        } else {
            EXPECT_EQ(temp.Read("a"), "aaa");
            EXPECT_EQ(temp.Read("b"), "bbb");
            EXPECT_TRUE(temp.Exists("folder"));
        }
    }
}

TEST_F(FilesTest, MovesAcrossDevicesByCopying) {
    struct stat here {};
    struct stat there {};
    if (stat(temp.root().c_str(), &here) != 0 || stat("/dev/shm", &there) != 0 || here.st_dev == there.st_dev) {
        GTEST_SKIP() << "no second file system at /dev/shm";
    }
    // TempDir makes its folder where TMPDIR points.
    const char* tmpdir = std::getenv("TMPDIR");
    const std::optional<std::string> saved = tmpdir != nullptr ? std::optional<std::string>(tmpdir) : std::nullopt;
    setenv("TMPDIR", "/dev/shm", 1);
    Scratch other;
    if (saved) {
        setenv("TMPDIR", saved->c_str(), 1);
    } else {
        unsetenv("TMPDIR");
    }
    temp.Write("file", "content");
    chmod(temp.Native("file").c_str(), 0640);
    temp.MakeFolder("folder");
    other.Write("taken", "old");

    EXPECT_TRUE(MoveFileW(temp.Path("file").c_str(), other.Path("file").c_str()));
    EXPECT_FALSE(temp.Exists("file"));
    EXPECT_EQ(other.Read("file"), "content");
    struct stat moved {};
    ASSERT_EQ(stat(other.Native("file").c_str(), &moved), 0);
    EXPECT_EQ(moved.st_mode & 07777, 0640u);

    temp.Write("file", "again");
    SetLastError(kUntouched);
    EXPECT_FALSE(MoveFileW(temp.Path("file").c_str(), other.Path("taken").c_str()));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(temp.Read("file"), "again");
    EXPECT_EQ(other.Read("taken"), "old");

    SetLastError(kUntouched);
    EXPECT_FALSE(MoveFileW(temp.Path("folder").c_str(), other.Path("folder").c_str()));
    EXPECT_EQ(GetLastError(), ERROR_NOT_SAME_DEVICE);
    EXPECT_TRUE(temp.Exists("folder"));
}

TEST(CopyFileTest, CopiesOrRefuses) {
    const struct {
        const char* name;
        const char* from;
        const char* to;
        BOOL failIfExists;
        DWORD error;            // kUntouched: the copy works
        const char* targetAfter;  // null: no target
    } rows[] = {
        {"new target", "src", "dst", TRUE, kUntouched, "new"},
        {"overwrite", "src", "old", FALSE, kUntouched, "new"},
        {"refuse existing", "src", "old", TRUE, ERROR_FILE_EXISTS, "longer old content"},
        {"missing source", "missing", "dst", FALSE, ERROR_FILE_NOT_FOUND, nullptr},
        {"missing source folder", "nofolder/src", "dst", FALSE, ERROR_PATH_NOT_FOUND, nullptr},
        {"missing target folder", "src", "nofolder/dst", FALSE, ERROR_PATH_NOT_FOUND, nullptr},
        {"folder source", "folder", "dst", FALSE, ERROR_ACCESS_DENIED, nullptr},
        {"onto itself", "src", "src", FALSE, ERROR_SHARING_VIOLATION, "new"},
        {"onto itself, refusing", "src", "src", TRUE, ERROR_FILE_EXISTS, "new"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Scratch temp;
        temp.Write("src", "new");
        temp.Write("old", "longer old content");
        temp.MakeFolder("folder");
        SetLastError(kUntouched);
        EXPECT_EQ(CopyFileW(temp.Path(row.from).c_str(), temp.Path(row.to).c_str(), row.failIfExists),
                  row.error == kUntouched ? TRUE : FALSE);
        EXPECT_EQ(GetLastError(), row.error);
        const auto target = temp.Read(row.to);
        if (row.targetAfter == nullptr) {
            EXPECT_FALSE(target.has_value());
        } else {
            EXPECT_EQ(target, std::string(row.targetAfter));
        }
        EXPECT_EQ(temp.Read("src"), "new");
    }
}

TEST_F(FilesTest, CopyKeepsContentPermissionsAndWriteTime) {
    std::string content(100000, '\0');
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 + i / 251);
    temp.Write("src", content);
    chmod(temp.Native("src").c_str(), 0640);
    const struct timespec times[2] = {{1500000000, 0}, {1000000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, temp.Native("src").c_str(), times, 0), 0);

    ASSERT_TRUE(CopyFileW(temp.Path("src").c_str(), temp.Path("dst").c_str(), TRUE));
    EXPECT_EQ(temp.Read("dst"), content);
    struct stat copied {};
    ASSERT_EQ(stat(temp.Native("dst").c_str(), &copied), 0);
    EXPECT_EQ(copied.st_mode & 07777, 0640u);
    EXPECT_EQ(copied.st_mtim.tv_sec, 1000000000);
}

TEST_F(FilesTest, CopyHonoursShareModes) {
    temp.Write("src", "new");
    temp.Write("dst", "old");
    const struct {
        const char* held;
        DWORD access;
        DWORD share;
        bool copies;
    } rows[] = {
        {"src", kRead, FILE_SHARE_READ, true},
        {"src", kRead, 0, false},
        {"src", kWrite, kShareAll, false},  // the copy does not share writing of its source
        {"dst", kRead, kShareAll, false},   // nor anything of its target
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.held << " " << std::hex << row.access << "/" << row.share);
        const HANDLE file = Open(temp.Path(row.held), row.access, row.share, OPEN_EXISTING);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        SetLastError(kUntouched);
        EXPECT_EQ(CopyFileW(temp.Path("src").c_str(), temp.Path("dst").c_str(), FALSE), row.copies ? TRUE : FALSE);
        EXPECT_EQ(GetLastError(), row.copies ? kUntouched : ERROR_SHARING_VIOLATION);
        EXPECT_EQ(temp.Read("dst"), row.copies ? "new" : "old");
        CloseHandle(file);
        temp.Write("dst", "old");
    }
}

TEST(NativePathTest, ConvertsSeparatorsAndText) {
    EXPECT_EQ(platform::NativePath(u"a\\b/c"), "a/b/c");
    EXPECT_EQ(platform::NativePath(u"\\\\x"), "//x");
    EXPECT_EQ(platform::NativePath(u"\u00dcber\\\u20ac"), "\xc3\x9c" "ber/\xe2\x82\xac");
    EXPECT_EQ(platform::NativePath(u""), "");
}

}  // namespace

namespace {

// What would make a file's replacement by a new one visible: each refuses
// the sibling before anything is created.
TEST_F(FilesTest, ReplacementIsRefusedWhereANewFileWouldShow) {
    struct Case {
        const char* name;
        const char* openAs;  // "alias" is a symbolic link to "doc"
        // Run with the document open; false when the file system cannot.
        std::function<bool(Scratch&, HANDLE, std::vector<HANDLE>&)> arrange;
    };
    const Case cases[] = {
        {"another opener", "doc",
         [](Scratch& s, HANDLE, std::vector<HANDLE>& opened) {
             opened.push_back(Open(s.Path("doc"), kRead, kShareAll, OPEN_EXISTING));
             return opened.back() != INVALID_HANDLE_VALUE;
         }},
        {"a duplicate handle", "doc",
         [](Scratch&, HANDLE doc, std::vector<HANDLE>& opened) {
             opened.push_back(platform::DuplicateFileHandle(doc));
             return opened.back() != INVALID_HANDLE_VALUE;
         }},
        {"a second name", "doc",
         [](Scratch& s, HANDLE, std::vector<HANDLE>&) { return link(s.Native("doc").c_str(), s.Native("link").c_str()) == 0; }},
        {"opened through a symbolic link", "alias", [](Scratch&, HANDLE, std::vector<HANDLE>&) { return true; }},
        {"the name leads elsewhere now", "doc",
         [](Scratch& s, HANDLE, std::vector<HANDLE>&) {
             if (rename(s.Native("doc").c_str(), s.Native("moved").c_str()) != 0) return false;
             s.Write("doc", "someone else's");
             return true;
         }},
        {"extended attributes", "doc",
         [](Scratch& s, HANDLE, std::vector<HANDLE>&) {
             return setxattr(s.Native("doc").c_str(), "user.note", "x", 1, 0) == 0;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Scratch scratch;
        scratch.Write("doc", "old");
        ASSERT_EQ(symlink(scratch.Native("doc").c_str(), scratch.Native("alias").c_str()), 0);
        const HANDLE doc = Open(scratch.Path(c.openAs), kReadWrite, FILE_SHARE_READ, OPEN_EXISTING);
        ASSERT_NE(doc, INVALID_HANDLE_VALUE);
        std::vector<HANDLE> opened;
        if (c.arrange(scratch, doc, opened)) {
            SetLastError(0);
            EXPECT_EQ(platform::CreateReplacementFor(doc, scratch.Path("doc-new").c_str(), kReadWrite, FILE_SHARE_READ),
                      INVALID_HANDLE_VALUE);
            EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
            EXPECT_FALSE(std::filesystem::exists(scratch.Native("doc-new")));
        }
        for (const HANDLE handle : opened) CloseHandle(handle);
        CloseHandle(doc);
    }
}

// The sibling takes the permission bits, the exchange swaps the names in
// one step with each handle following its file, and removing the old file
// by its handle leaves the new one alone.
TEST_F(FilesTest, ASiblingReplacesTheFileByAnExchangeOfNames) {
    temp.Write("doc", "old");
    ASSERT_EQ(chmod(temp.Native("doc").c_str(), 0640), 0);
    const HANDLE doc = Open(temp.Path("doc"), kReadWrite, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(doc, INVALID_HANDLE_VALUE);
    temp.Write("doc-new", "someone's file");
    EXPECT_EQ(platform::CreateReplacementFor(doc, temp.Path("doc-new").c_str(), kReadWrite, FILE_SHARE_READ),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
    EXPECT_EQ(temp.Read("doc-new"), "someone's file");
    std::filesystem::remove(temp.Native("doc-new"));
    const HANDLE sibling = platform::CreateReplacementFor(doc, temp.Path("doc-new").c_str(), kReadWrite, FILE_SHARE_READ);
    ASSERT_NE(sibling, INVALID_HANDLE_VALUE);
    struct stat st {};
    ASSERT_EQ(stat(temp.Native("doc-new").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(Open(temp.Path("doc-new"), kWrite, kShareAll, OPEN_EXISTING), INVALID_HANDLE_VALUE)
        << "the sibling has the document's share mode";
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(sibling, "new", 3, &written, nullptr));

    platform::FaultInjector injector;
    {
        platform::ScopedFaultInjector scope(injector);
        injector.FailNth(platform::FaultOp::Rename, 1, ERROR_ACCESS_DENIED);
        EXPECT_FALSE(platform::ExchangeFileNames(sibling, doc));
    }
    EXPECT_EQ(temp.Read("doc"), "old") << "a failed exchange changes nothing";
    ASSERT_TRUE(platform::ExchangeFileNames(sibling, doc));
    EXPECT_EQ(temp.Read("doc"), "new");
    EXPECT_EQ(temp.Read("doc-new"), "old");
    // Each handle now goes by the other name: removing the old file takes
    // the sibling's name, and the document stays.
    ASSERT_TRUE(platform::RemoveOpenFile(doc));
    EXPECT_FALSE(std::filesystem::exists(temp.Native("doc-new")));
    EXPECT_EQ(temp.Read("doc"), "new");
    EXPECT_FALSE(CloseHandle(doc)) << "removing closed the handle";
    CloseHandle(sibling);
}

TEST_F(FilesTest, RenameOpenFileOverReplacesTheTargetAndRemovalSparesAnotherFile) {
    temp.Write("doc", "old");
    temp.Write("sibling", "new");
    const HANDLE doc = Open(temp.Path("doc"), kRead, kShareAll, OPEN_EXISTING);
    const HANDLE sibling = Open(temp.Path("sibling"), kReadWrite, kShareAll, OPEN_EXISTING);
    ASSERT_TRUE(platform::RenameOpenFileOver(sibling, temp.Path("doc").c_str()));
    EXPECT_EQ(temp.Read("doc"), "new");
    EXPECT_FALSE(std::filesystem::exists(temp.Native("sibling")));
    // The old file's name now leads to the new one, which stays.
    ASSERT_TRUE(platform::RemoveOpenFile(doc));
    EXPECT_EQ(temp.Read("doc"), "new");
    CloseHandle(sibling);
}

TEST_F(FilesTest, PowerLossUndoesAnExchangeUntilTheFolderIsFlushed) {
    for (const bool folderFlushed : {false, true}) {
        SCOPED_TRACE(folderFlushed ? "folder flushed" : "folder not flushed");
        temp.Write("doc", "old");
        std::filesystem::remove(temp.Native("doc-new"));
        platform::FaultInjector injector;
        platform::DurableState durable;
        injector.durability = &durable;
        {
            platform::ScopedFaultInjector scope(injector);
            const HANDLE doc = Open(temp.Path("doc"), kReadWrite, FILE_SHARE_READ, OPEN_EXISTING);
            const HANDLE sibling =
                platform::CreateReplacementFor(doc, temp.Path("doc-new").c_str(), kReadWrite, FILE_SHARE_READ);
            ASSERT_NE(sibling, INVALID_HANDLE_VALUE);
            DWORD written = 0;
            ASSERT_TRUE(WriteFile(sibling, "new", 3, &written, nullptr));
            ASSERT_TRUE(FlushFileBuffers(sibling));
            ASSERT_TRUE(platform::ExchangeFileNames(sibling, doc));
            if (folderFlushed) {
                ASSERT_TRUE(platform::FlushFolderOf(temp.Path("doc").c_str()));
            }
            CloseHandle(sibling);
            CloseHandle(doc);
        }
        durable.DropUnsynced();
        EXPECT_EQ(temp.Read("doc"), folderFlushed ? "new" : "old");
        EXPECT_EQ(temp.Read("doc-new"), folderFlushed ? std::optional<std::string>("old") : std::nullopt);
    }
}

}  // namespace
