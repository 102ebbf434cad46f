#include "notestore/foundation/File.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "notestore/foundation/Exception.h"
#include "notestore/foundation/MemAPI.h"
#include "notestore/foundation/Messages.h"
#include "platform/Faults.h"
#include "platform/Files.h"
#include "platform/Memory.h"
#include "platform/Strings.h"
#include "platform/Time.h"
#include "support/LogTail.h"
#include "support/TempDir.h"

namespace {

using platform::FaultInjector;
using platform::FaultOp;
using platform::ScopedFaultInjector;
using zr_gen::_String;
using zr_gen::CException;
using zr_gen::CFile;
using zr_gen::CFileException;
using zr_gen::CFileStatus;
using zr_gen::CTime;
using zr_gen::MemFile;
using zr_gen::SharedFile;

constexpr uint32_t kReadWrite = 0x0002;
constexpr uint32_t kCreate = 0x1000;
constexpr uint32_t kNoTruncate = 0x2000;

// What a call raised, read off the exception before it is freed.
struct Raised {
    bool raised = false;
    bool fileException = false;
    uint32_t number = 0;
    std::u16string description;
    int32_t cause = -1;
    int32_t osError = -1;
    std::optional<std::u16string> fileName;
};

Raised Capture(const std::function<void()>& action) {
    Raised r;
    try {
        action();
    } catch (CFileException* e) {
        r.raised = true;
        r.fileException = true;
        if (e != nullptr) {
            r.description = e->GetDescription();
            r.cause = e->GetCause();
            r.osError = e->GetOsError();
            if (e->GetFileName() != nullptr) r.fileName = e->GetFileName();
        }
        zr_gen::DeleteException(e);
    } catch (CException* e) {
        r.raised = true;
        if (e != nullptr) {
            r.number = e->GetErrNumber();
            r.description = e->GetDescription();
        }
        zr_gen::DeleteException(e);
    }
    return r;
}

const char16_t* MessageText(zr_gen::MessageId id) {
    switch (id) {
        case zr_gen::kMsgFileReadError: return u"File IO read error";
        case zr_gen::kMsgFileWriteError: return u"File IO write error";
        case zr_gen::kMsgFileIO: return u"File IO";
        case zr_gen::kMsgOutOfMemory: return u"Out of memory";
        default: return u"?";
    }
}

// A plain CException (not a file exception) of message `id`.
void ExpectMessage(const Raised& r, zr_gen::MessageId id) {
    ASSERT_TRUE(r.raised);
    EXPECT_FALSE(r.fileException);
    EXPECT_EQ(r.number, zr_gen::DefaultErrorNumber(id));
    EXPECT_EQ(r.description, MessageText(id));
}

void ExpectFileException(const Raised& r, int32_t cause, int32_t osError, std::optional<std::u16string> fileName) {
    ASSERT_TRUE(r.raised);
    ASSERT_TRUE(r.fileException);
    EXPECT_EQ(r.cause, cause);
    EXPECT_EQ(r.osError, osError);
    EXPECT_EQ(r.fileName, fileName);
}

bool HasLine(const std::vector<std::string>& lines, const std::string& part) {
    for (const std::string& line : lines) {
        if (line.find(part) != std::string::npos) return true;
    }
    return false;
}

// Files in a fresh folder, created and inspected behind the library's back.
class FileTest : public ::testing::Test {
protected:
    std::u16string Path(const std::string& name) const { return dir.File(name); }
    std::string Native(const std::string& name) const { return (dir.path() / name).string(); }
    void Make(const std::string& name, const std::string& content) const {
        std::ofstream(Native(name), std::ios::binary) << content;
    }
    std::string Content(const std::string& name) const {
        std::ifstream in(Native(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    bool Exists(const std::string& name) const { return std::filesystem::exists(dir.path() / name); }
    void Open(CFile& file, const std::string& name, uint32_t flags) const {
        ASSERT_EQ(file.Open(Path(name).c_str(), flags), 1);
    }
    std::string ReadAll(CFile& file) const {
        std::string bytes(file.GetLength(), '\0');
        file.SeekToBegin();
        file.Read(bytes.data(), static_cast<uint32_t>(bytes.size()));
        return bytes;
    }

    testsupport::TempDir dir;
};

// ---- Opening ----

struct OpenCase {
    const char* name;
    uint32_t flags;
    bool exists;
    bool opens;
    uint32_t length;  // after the open, when it opens
};

class OpenFlags : public FileTest, public ::testing::WithParamInterface<OpenCase> {};

TEST_P(OpenFlags, CreateAndTruncateAsTheFlagsSay) {
    const OpenCase& c = GetParam();
    if (c.exists) Make("f", "hello");
    CFile file;
    const Raised r = Capture([&] { file.Open(Path("f").c_str(), c.flags); });
    if (c.opens) {
        EXPECT_FALSE(r.raised);
        ASSERT_TRUE(file.IsOpen());
        EXPECT_EQ(file.GetLength(), c.length);
        EXPECT_EQ(file.GetFilePath(), Path("f").c_str());
    } else {
        ExpectFileException(r, CFileException::fileNotFound, ERROR_FILE_NOT_FOUND, Path("f"));
        EXPECT_FALSE(file.IsOpen());
        EXPECT_EQ(file.GetFileHandle(), CFile::kNoHandle);
        EXPECT_FALSE(Exists("f"));
    }
}

const OpenCase kOpenCases[] = {
    {"CreateTruncatesExisting", 0x1000 | kReadWrite, true, true, 0},
    {"CreateMakesMissing", 0x1000 | kReadWrite, false, true, 0},
    {"CreateNoTruncateKeepsContent", 0x3000 | kReadWrite, true, true, 5},
    {"CreateNoTruncateMakesMissing", 0x3000 | kReadWrite, false, true, 0},
    {"PlainOpenKeepsContent", 0x0000, true, true, 5},
    {"PlainOpenNeedsTheFile", 0x0000, false, false, 0},
    {"NoTruncateAloneNeedsTheFile", 0x2000, false, false, 0},
    {"BinaryBitIsIgnored", 0x8000, true, true, 5},
    {"BinaryBitWithCreate", 0x8000 | 0x1000 | kReadWrite, true, true, 0},
};

INSTANTIATE_TEST_SUITE_P(Flags, OpenFlags, ::testing::ValuesIn(kOpenCases),
                         [](const ::testing::TestParamInfo<OpenCase>& info) { return std::string(info.param.name); });

TEST_F(FileTest, CreateNoTruncateReadsTheOldBytes) {
    Make("f", "hello");
    CFile file;
    Open(file, "f", kCreate | kNoTruncate | kReadWrite);
    EXPECT_EQ(ReadAll(file), "hello");
}

TEST_F(FileTest, ReadOnlyOpenRefusesWritesWithThePath) {
    Make("f", "hello");
    CFile file;
    Open(file, "f", 0x0000);
    const Raised r = Capture([&] { file.Write("x", 1); });
    ASSERT_TRUE(r.fileException);
    EXPECT_EQ(r.fileName, Path("f"));
    file.Close();
    EXPECT_EQ(Content("f"), "hello");
}

TEST_F(FileTest, WriteOnlyOpenRefusesReads) {
    Make("f", "hello");
    CFile file;
    Open(file, "f", 0x0001);
    char byte = 0;
    ExpectMessage(Capture([&] { file.Read(&byte, 1); }), zr_gen::kMsgFileReadError);
}

struct ShareCase {
    const char* name;
    uint32_t first;
    uint32_t second;
    bool violation;
};

class ShareFlags : public FileTest, public ::testing::WithParamInterface<ShareCase> {};

TEST_P(ShareFlags, SecondOpenMeetsTheFirstOnesSharing) {
    const ShareCase& c = GetParam();
    Make("f", "hello");
    CFile first;
    Open(first, "f", c.first);
    CFile second;
    const Raised r = Capture([&] { second.Open(Path("f").c_str(), c.second); });
    if (c.violation) {
        ExpectFileException(r, CFileException::sharingViolation, ERROR_SHARING_VIOLATION, Path("f"));
        EXPECT_FALSE(second.IsOpen());
    } else {
        EXPECT_FALSE(r.raised);
        EXPECT_TRUE(second.IsOpen());
    }
}

const ShareCase kShareCases[] = {
    {"ExclusiveTwice", 0x0010, 0x0010, true},
    {"CompatibilityIsExclusive", 0x0000, 0x0000, true},
    {"ReadersShareWithReaders", 0x0020, 0x0020, false},
    {"ReadSharingRefusesAWriter", 0x0020, 0x0021, true},
    {"WriteSharingRefusesAReader", 0x0031, 0x0030, true},
    {"WriteSharingAdmitsAWriter", 0x0031, 0x0031, false},
    {"FullSharingAdmitsAll", 0x0042, 0x0042, false},
    {"InvalidSharingIsExclusive", 0x0050, 0x0040, true},
};

INSTANTIATE_TEST_SUITE_P(Sharing, ShareFlags, ::testing::ValuesIn(kShareCases),
                         [](const ::testing::TestParamInfo<ShareCase>& info) { return std::string(info.param.name); });

TEST_F(FileTest, InvalidAccessAndSharingAreAssertions) {
    Make("f", "hello");
    for (const uint32_t flags : {0x0003u, 0x0060u, 0x0070u}) {
        testsupport::LogTail tail;
        CFile file;
        Capture([&] { file.Open(Path("f").c_str(), flags); });
        EXPECT_TRUE(HasLine(tail.Lines(), "Assertion Failed! File File.cpp")) << flags;
    }
}

TEST_F(FileTest, FailedOpenTracesAndLeavesTheFileClosed) {
    testsupport::LogTail tail;
    CFile file;
    ExpectFileException(Capture([&] { file.Open(Path("missing").c_str(), 0); }), CFileException::fileNotFound,
                        ERROR_FILE_NOT_FOUND, Path("missing"));
    EXPECT_FALSE(file.IsOpen());
    EXPECT_TRUE(file.GetFilePath().empty());
    EXPECT_TRUE(HasLine(tail.Lines(), "Throw an exception FILE - File.cpp, LINE - "));
}

TEST_F(FileTest, ReopenClosesTheFirstHandle) {
    Make("a", "");
    Make("b", "");
    CFile file;
    Open(file, "a", 0x0010);
    Open(file, "b", 0x0010);
    CFile other;
    EXPECT_FALSE(Capture([&] { other.Open(Path("a").c_str(), 0x0010); }).raised);
}

// ---- Reading, writing, seeking ----

TEST_F(FileTest, WrittenBytesReadBack) {
    CFile file;
    Open(file, "f", kCreate | kReadWrite);
    EXPECT_EQ(file.Write("0123456789", 10), 10u);
    EXPECT_EQ(file.GetPosition(), 10u);
    EXPECT_EQ(file.GetLength(), 10u);
    EXPECT_TRUE(file.IsEOF());
    EXPECT_EQ(file.Seek(4, CFile::kBegin), 4);
    EXPECT_FALSE(file.IsEOF());
    EXPECT_EQ(file.GetPosition(), 4u);  // IsEOF and GetLength keep the position
    char bytes[3] = {};
    EXPECT_EQ(file.Read(bytes, 3), 3u);
    EXPECT_EQ(std::string(bytes, 3), "456");
    EXPECT_EQ(file.Seek(-2, CFile::kCurrent), 5);
    EXPECT_EQ(file.Seek(-1, CFile::kEnd), 9);
    EXPECT_EQ(file.SeekToEnd(), 10);
    file.Flush();
    file.Close();
    EXPECT_EQ(Content("f"), "0123456789");
}

TEST_F(FileTest, ShortReadIsAnError) {
    Make("f", "0123456789");
    CFile file;
    Open(file, "f", 0);
    file.Seek(6, CFile::kBegin);
    char bytes[10];
    ExpectMessage(Capture([&] { file.Read(bytes, 10); }), zr_gen::kMsgFileReadError);
}

TEST_F(FileTest, ReadOfNothingMakesNoSystemCall) {
    Make("f", "0123456789");
    CFile file;
    Open(file, "f", 0);
    FaultInjector injector;
    ScopedFaultInjector scope(injector);
    injector.FailNth(FaultOp::Read, 1, ERROR_READ_FAULT);
    EXPECT_EQ(file.Read(nullptr, 0), 0u);
    EXPECT_EQ(injector.Seen(FaultOp::Read), 0u);
}

TEST_F(FileTest, SeekBeforeTheStartIsFileIoError) {
    Make("f", "0123456789");
    CFile file;
    Open(file, "f", 0);
    file.Seek(3, CFile::kBegin);
    ExpectMessage(Capture([&] { file.Seek(-1, CFile::kBegin); }), zr_gen::kMsgFileIO);
}

TEST_F(FileTest, SetLengthCutsAndExtends) {
    Make("f", "0123456789");
    CFile file;
    Open(file, "f", kReadWrite);
    file.SetLength(4);
    EXPECT_EQ(file.GetLength(), 4u);
    file.SetLength(6);
    EXPECT_EQ(file.GetLength(), 6u);
    file.Close();
    EXPECT_EQ(Content("f"), std::string("0123\0\0", 6));
}

TEST_F(FileTest, OperationsOnAClosedFileAreAssertedAndRaised) {
    testsupport::LogTail tail;
    CFile file;
    file.Flush();  // nothing to flush
    file.Close();  // closing twice is harmless
    ExpectMessage(Capture([&] { file.Seek(0, CFile::kBegin); }), zr_gen::kMsgFileIO);
    EXPECT_TRUE(HasLine(tail.Lines(), "Assertion Failed! File File.cpp"));
}

TEST_F(FileTest, DetachedHandleCanBeAttachedElsewhere) {
    Make("f", "0123456789");
    CFile first;
    Open(first, "f", 0);
    first.Seek(5, CFile::kBegin);
    const uint32_t handle = first.GetFileHandle();
    first.Detach();
    EXPECT_FALSE(first.IsOpen());

    CFile second;
    second.Attach(handle);
    EXPECT_EQ(second.GetFileHandle(), handle);
    EXPECT_EQ(second.GetPosition(), 0u);
    char bytes[10];
    EXPECT_EQ(second.Read(bytes, 10), 10u);
}

TEST_F(FileTest, CopyOwnsAHandleOfItsOwnOnTheSameOpenFile) {
    Make("f", "0123456789");
    CFile file;
    Open(file, "f", 0);
    {
        CFile copy(file);
        EXPECT_NE(copy.GetFileHandle(), file.GetFileHandle());
        EXPECT_EQ(copy.GetFilePath(), file.GetFilePath());
        copy.Seek(7, CFile::kBegin);
        EXPECT_EQ(file.GetPosition(), 7u) << "the position is the open file's";
        CFile assigned;
        assigned = file;
        EXPECT_NE(assigned.GetFileHandle(), file.GetFileHandle());
        CFile closed;
        assigned = closed;
        EXPECT_FALSE(assigned.IsOpen());
    }
    // Destroying the copies closed only their own handles.
    char bytes[3];
    EXPECT_EQ(file.Read(bytes, 3), 3u);
    EXPECT_EQ(std::string(bytes, 3), "789");
}

// ---- Injected platform failures ----

struct FaultCase {
    const char* name;
    FaultOp op;
    DWORD error;
    std::function<void(CFile&)> action;
    std::optional<zr_gen::MessageId> message;  // else a CFileException
    int32_t cause;
    bool carriesPath;
};

class PlatformFaults : public FileTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(PlatformFaults, BecomeTheLibrarysExceptionAfterATraceLine) {
    const FaultCase& c = GetParam();
    Make("f", "0123456789");
    CFile file;
    Open(file, "f", kReadWrite);
    file.Seek(2, CFile::kBegin);
    testsupport::LogTail tail;
    Raised r;
    {
        FaultInjector injector;
        ScopedFaultInjector scope(injector);
        injector.FailNth(c.op, 1, c.error);
        r = Capture([&] { c.action(file); });
        EXPECT_TRUE(injector.Fired(c.op));
    }
    if (c.message) {
        ExpectMessage(r, *c.message);
    } else {
        ExpectFileException(r, c.cause, static_cast<int32_t>(c.error),
                            c.carriesPath ? std::optional<std::u16string>(Path("f")) : std::nullopt);
    }
    EXPECT_TRUE(HasLine(tail.Lines(), "Throw an exception FILE - File.cpp, LINE - "));
    EXPECT_TRUE(file.IsOpen());
    EXPECT_EQ(file.GetLength(), 10u);
    file.Close();
    EXPECT_EQ(Content("f"), "0123456789");
}

char scratch[16];

const FaultCase kFaultCases[] = {
    {"ReadFile", FaultOp::Read, ERROR_READ_FAULT, [](CFile& f) { f.Read(scratch, 4); }, zr_gen::kMsgFileReadError, 0,
     false},
    {"WriteFileDiskFull", FaultOp::Write, ERROR_DISK_FULL, [](CFile& f) { f.Write("abcd", 4); }, std::nullopt,
     CFileException::diskFull, true},
    {"SetFilePointerInSeek", FaultOp::Seek, ERROR_SEEK, [](CFile& f) { f.Seek(1, CFile::kBegin); },
     zr_gen::kMsgFileIO, 0, false},
    {"SetFilePointerInGetPosition", FaultOp::Seek, ERROR_SEEK, [](CFile& f) { f.GetPosition(); },
     zr_gen::kMsgFileIO, 0, false},
    {"SetFilePointerInGetLength", FaultOp::Seek, ERROR_SEEK, [](CFile& f) { f.GetLength(); }, zr_gen::kMsgFileIO, 0,
     false},
    {"SetEndOfFile", FaultOp::Truncate, ERROR_ACCESS_DENIED, [](CFile& f) { f.SetLength(3); }, std::nullopt,
     CFileException::accessDenied, false},
    {"FlushFileBuffers", FaultOp::Flush, ERROR_WRITE_FAULT, [](CFile& f) { f.Flush(); }, zr_gen::kMsgFileWriteError,
     0, false},
};

INSTANTIATE_TEST_SUITE_P(Injected, PlatformFaults, ::testing::ValuesIn(kFaultCases),
                         [](const ::testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

TEST_F(FileTest, FailureWithoutAnErrorCodeRaisesNothing) {
    Make("f", "0123456789");
    CFile file;
    Open(file, "f", kReadWrite);
    FaultInjector injector;
    ScopedFaultInjector scope(injector);
    injector.FailNth(FaultOp::Write, 1, NO_ERROR);
    injector.FailNth(FaultOp::Truncate, 1, NO_ERROR);
    EXPECT_FALSE(Capture([&] { EXPECT_EQ(file.Write("abcd", 4), 0u); }).raised);
    EXPECT_FALSE(Capture([&] { file.SetLength(3); }).raised);
    EXPECT_TRUE(injector.Fired(FaultOp::Write));
    EXPECT_TRUE(injector.Fired(FaultOp::Truncate));
}

// ---- Status ----

FILETIME UnixFileTime(int64_t seconds) { return platform::FileTimeFromUnix(seconds, 0); }

void SetTimes(const std::string& native, int64_t access, int64_t modification) {
    const timespec times[2] = {{static_cast<time_t>(access), 0}, {static_cast<time_t>(modification), 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, native.c_str(), times, 0), 0);
}

constexpr int64_t kAccessed = 999'990'000;
constexpr int64_t kModified = 1'000'000'000;

TEST_F(FileTest, StatusOfAnOpenFile) {
    Make("status.txt", "hello");
    SetTimes(Native("status.txt"), kAccessed, kModified);
    CFile file;
    Open(file, "status.txt", 0);
    CFileStatus status;
    status.size = 77;
    ASSERT_EQ(file.GetStatus(status), 1);
    EXPECT_EQ(status.size, 5u);
    EXPECT_EQ(std::u16string(status.fullName), Path("status.txt"));
    EXPECT_EQ(status.attribute, FILE_ATTRIBUTE_ARCHIVE);
    EXPECT_EQ(status.modificationTime, CTime(UnixFileTime(kModified), 0));
    EXPECT_EQ(status.accessTime, CTime(UnixFileTime(kAccessed), 0));
}

TEST_F(FileTest, StatusOfANamedFile) {
    Make("status.txt", "hello");
    SetTimes(Native("status.txt"), kAccessed, kModified);
    CFileStatus status;
    ASSERT_EQ(CFile::GetStatus(Path("status.txt").c_str(), status), 1);
    EXPECT_EQ(status.size, 5u);
    EXPECT_EQ(std::u16string(status.fullName), Path("status.txt"));
    EXPECT_EQ(status.attribute, FILE_ATTRIBUTE_ARCHIVE);
    EXPECT_EQ(status.modificationTime, CTime(UnixFileTime(kModified), 0));
    EXPECT_EQ(status.accessTime, CTime(UnixFileTime(kAccessed), 0));

    ASSERT_EQ(CFile::GetStatus(platform::Utf8ToUtf16(dir.path().string()).c_str(), status), 1);
    EXPECT_EQ(status.attribute & FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(FileTest, ZeroTimesAreReportedAsTheModificationTime) {
    Make("f", "hello");
    SetTimes(Native("f"), 0, kModified);
    const CTime epoch(UnixFileTime(0), 0);
    const CTime expectedAccess = epoch.GetTime() == 0 ? CTime(UnixFileTime(kModified), 0) : epoch;
    CFile file;
    Open(file, "f", 0);
    FaultInjector injector;
    injector.zeroCreationTime = true;
    ScopedFaultInjector scope(injector);

    CFileStatus member;
    ASSERT_EQ(file.GetStatus(member), 1);
    EXPECT_EQ(member.modificationTime, CTime(UnixFileTime(kModified), 0));
    EXPECT_EQ(member.creationTime, member.modificationTime);
    EXPECT_EQ(member.accessTime, expectedAccess);

    CFileStatus named;
    ASSERT_EQ(CFile::GetStatus(Path("f").c_str(), named), 1);
    EXPECT_EQ(named.creationTime, named.modificationTime);
    EXPECT_EQ(named.accessTime, expectedAccess);
}

TEST_F(FileTest, StatusOfAClosedFileHoldsOnlyTheName) {
    CFile file;
    file.SetFilePath(u"never/opened.zro");
    CFileStatus status;
    status.size = 5;
    status.modificationTime = 12345;
    ASSERT_EQ(file.GetStatus(status), 1);
    EXPECT_EQ(std::u16string(status.fullName), u"never/opened.zro");
    EXPECT_EQ(status.size, 0u);
    EXPECT_EQ(status.modificationTime.GetTime(), 0u);
}

TEST_F(FileTest, StatusNameIsCutToTheRecord) {
    const std::u16string longName(300, u'n');
    CFile file;
    file.SetFilePath(longName.c_str());
    CFileStatus status;
    ASSERT_EQ(file.GetStatus(status), 1);
    EXPECT_EQ(std::u16string(status.fullName), longName.substr(0, CFileStatus::kFullNameChars - 1));
}

TEST_F(FileTest, StatusOfAMissingFileIsZero) {
    CFileStatus status;
    EXPECT_EQ(CFile::GetStatus(Path("missing").c_str(), status), 0);
    EXPECT_EQ(std::u16string(status.fullName), Path("missing"));
}

// ---- Named-file operations ----

TEST_F(FileTest, RenameMovesTheContent) {
    Make("a", "abc");
    CFile::Rename(Path("a").c_str(), Path("b").c_str());
    EXPECT_FALSE(Exists("a"));
    EXPECT_EQ(Content("b"), "abc");
    CFile::Move(Path("b").c_str(), Path("c").c_str());
    EXPECT_EQ(Content("c"), "abc");
}

TEST_F(FileTest, CopyKeepsTheSourceAndRefusesAnExistingTarget) {
    Make("a", "abc");
    CFile::Copy(Path("a").c_str(), Path("b").c_str());
    EXPECT_EQ(Content("a"), "abc");
    EXPECT_EQ(Content("b"), "abc");
    Make("c", "old");
    ExpectFileException(Capture([&] { CFile::Copy(Path("a").c_str(), Path("c").c_str()); }),
                        CFileException::accessDenied, ERROR_FILE_EXISTS, std::nullopt);
    EXPECT_EQ(Content("c"), "old");
}

TEST_F(FileTest, NamedOperationsRaiseWithoutAFileName) {
    Make("a", "abc");
    Make("b", "xyz");
    ExpectFileException(Capture([&] { CFile::Rename(Path("a").c_str(), Path("b").c_str()); }),
                        CFileException::accessDenied, ERROR_ALREADY_EXISTS, std::nullopt);
    ExpectFileException(Capture([&] { CFile::Remove(Path("missing").c_str()); }), CFileException::fileNotFound,
                        ERROR_FILE_NOT_FOUND, std::nullopt);
    CFile::Remove(Path("a").c_str());
    EXPECT_FALSE(Exists("a"));
}

// ---- Path parts ----

struct PartsCase {
    const char16_t* path;
    const char16_t* dir;
    const char16_t* title;
    const char16_t* ext;
    const char16_t* name;
};

class PathParts : public ::testing::TestWithParam<PartsCase> {};

TEST_P(PathParts, GettersSplitTheStoredPath) {
    const PartsCase& c = GetParam();
    CFile file;
    file.SetFilePath(c.path);
    EXPECT_EQ(file.GetFilePath(), c.path);
    EXPECT_EQ(file.GetFileDrive(), u"");
    EXPECT_EQ(file.GetFileDir(), c.dir);
    EXPECT_EQ(file.GetFileRoot(), c.dir);
    EXPECT_EQ(file.GetFileTitle(), c.title);
    EXPECT_EQ(file.GetFileExt(), c.ext);
    EXPECT_EQ(file.GetFileName(), c.name);
}

const PartsCase kPartsCases[] = {
    {u"\\My Documents\\Work\\plan.zro", u"\\My Documents\\Work\\", u"plan", u".zro", u"plan.zro"},
    {u"/data/notes.v2.zro", u"/data/", u"notes.v2", u".zro", u"notes.v2.zro"},
    {u"plain", u"", u"plain", u"", u"plain"},
    {u"folder.x/", u"folder.x/", u"", u"", u""},
    {u"", u"", u"", u"", u""},
};

INSTANTIATE_TEST_SUITE_P(Paths, PathParts, ::testing::ValuesIn(kPartsCases));

TEST(FilePath, NullPathIsAnAssertionAndLeavesItEmpty) {
    testsupport::LogTail tail;
    CFile file;
    file.SetFilePath(u"x");
    file.SetFilePath(nullptr);
    EXPECT_TRUE(file.GetFilePath().empty());
    EXPECT_EQ(tail.Lines().size(), 1u);
}

// ---- Memory files ----

// A memory file that shows its room and records what growth asks for.
class SpyMemFile : public MemFile {
public:
    using MemFile::MemFile;
    uint32_t Room() const { return bufferSize_; }
    uint8_t* Data() const { return buffer_; }
    std::vector<uint32_t> allocs;
    std::vector<uint32_t> reallocs;
    bool refuse = false;

protected:
    uint8_t* Alloc(uint32_t size) override {
        allocs.push_back(size);
        return refuse ? nullptr : MemFile::Alloc(size);
    }
    uint8_t* Realloc(uint8_t* buffer, uint32_t size) override {
        reallocs.push_back(size);
        return refuse ? nullptr : MemFile::Realloc(buffer, size);
    }
};

std::string ReadAll(MemFile& file) {
    std::string bytes(file.GetLength(), '\0');
    file.SeekToBegin();
    EXPECT_EQ(file.Read(bytes.data(), static_cast<uint32_t>(bytes.size())), bytes.size());
    return bytes;
}

// Seeks to a position beyond 2^31 in steps a 32-bit offset can make.
void SeekFar(MemFile& file, uint32_t position) {
    file.SeekToBegin();
    for (uint32_t left = position; left > 0;) {
        const uint32_t step = std::min<uint32_t>(left, 0x7FFFFFFF);
        file.Seek(static_cast<int32_t>(step), CFile::kCurrent);
        left -= step;
    }
    ASSERT_EQ(file.GetPosition(), position);
}

TEST(MemFileGrowth, GrowsInWholeSteps) {
    SpyMemFile file(1024);
    file.Write("x", 1);
    EXPECT_EQ(file.Room(), 1024u);
    const std::string rest(1023, 'y');
    file.Write(rest.data(), 1023);
    EXPECT_EQ(file.allocs, std::vector<uint32_t>{1024});
    EXPECT_TRUE(file.reallocs.empty());
    file.Write("z", 1);
    EXPECT_EQ(file.reallocs, std::vector<uint32_t>{2048});
    EXPECT_EQ(ReadAll(file), "x" + rest + "z");
}

TEST(MemFileGrowth, OneLargeWriteGrowsOnce) {
    SpyMemFile file(1024);
    const std::string bytes(3000, 'b');
    EXPECT_EQ(file.Write(bytes.data(), 3000), 3000u);
    EXPECT_EQ(file.allocs, std::vector<uint32_t>{3072});
    EXPECT_EQ(file.Room(), 3072u);
    EXPECT_EQ(file.GetLength(), 3000u);
}

TEST(MemFileGrowth, StepsNeverOverflowThirtyTwoBits) {
    SpyMemFile file(0x80000000u);
    file.refuse = true;
    ExpectMessage(Capture([&] { file.SetLength(0xFFFFFFFFu); }), zr_gen::kMsgOutOfMemory);
    EXPECT_EQ(file.allocs, std::vector<uint32_t>{0xFFFFFFFFu});
    EXPECT_EQ(file.GetLength(), 0u);
}

TEST(MemFileGrowth, WriteBeyondThirtyTwoBitsIsOutOfMemory) {
    SpyMemFile file(1024);
    SeekFar(file, 0xFFFFFFF0u);
    char bytes[0x20] = {};
    ExpectMessage(Capture([&] { file.Write(bytes, sizeof bytes); }), zr_gen::kMsgOutOfMemory);
    void* start = nullptr;
    void* end = nullptr;
    ExpectMessage(Capture([&] { file.GetBufferPtr(MemFile::kBufferWrite, 0x20, &start, &end); }),
                  zr_gen::kMsgOutOfMemory);
    EXPECT_TRUE(file.allocs.empty());
    EXPECT_EQ(file.GetLength(), 0u);
}

TEST(MemFileGrowth, AllocationFailureIsOutOfMemoryAndKeepsTheContent) {
    MemFile file(1024);
    const std::string first(1024, 'a');
    {
        FaultInjector injector;
        ScopedFaultInjector scope(injector);
        injector.FailNth(FaultOp::Alloc, 1, ERROR_NOT_ENOUGH_MEMORY);
        ExpectMessage(Capture([&] { file.Write("a", 1); }), zr_gen::kMsgOutOfMemory);
        EXPECT_EQ(file.GetLength(), 0u);
        file.Write(first.data(), 1024);
        injector.FailNth(FaultOp::Alloc, 1, ERROR_NOT_ENOUGH_MEMORY);
        ExpectMessage(Capture([&] { file.Write("b", 1); }), zr_gen::kMsgOutOfMemory);
        EXPECT_EQ(file.GetPosition(), 1024u);
    }
    EXPECT_EQ(ReadAll(file), first);
}

TEST(MemFileGrowth, PersistentAllocationFailureStillRaises) {
    MemFile file(1024);
    FaultInjector injector;
    ScopedFaultInjector scope(injector);
    injector.FailNth(FaultOp::Alloc, 1, ERROR_NOT_ENOUGH_MEMORY, true);
    // Not even the exception object can be had: a null pointer is thrown.
    EXPECT_TRUE(Capture([&] { file.Write("a", 1); }).raised);
    EXPECT_EQ(file.GetLength(), 0u);
}

TEST(MemFileGrowth, SetLengthGrowsThroughGrowFileAndZeroesTheNewBytes) {
    SpyMemFile file(16);
    file.Write("abc", 3);
    file.SetLength(40);
    EXPECT_EQ(file.Room(), 48u);
    EXPECT_EQ(file.GetLength(), 40u);
    EXPECT_EQ(file.GetPosition(), 3u);
    EXPECT_EQ(ReadAll(file), "abc" + std::string(37, '\0'));
    file.SetLength(2);
    EXPECT_EQ(file.GetPosition(), 2u);  // pulled back
    file.SetLength(5);                  // the old bytes behind the cut do not come back
    EXPECT_EQ(ReadAll(file), std::string("ab\0\0\0", 5));
}

TEST(MemFileGrowth, GrowByZeroForbidsGrowth) {
    testsupport::LogTail tail;
    MemFile file(0);
    ExpectMessage(Capture([&] { file.Write("a", 1); }), zr_gen::kMsgOutOfMemory);
    ExpectMessage(Capture([&] { file.SetLength(1); }), zr_gen::kMsgOutOfMemory);
    EXPECT_TRUE(HasLine(tail.Lines(), "Assertion Failed! File File.cpp"));
}

TEST(MemFileGrowth, CloseEmptiesAndForbidsGrowth) {
    MemFile file;
    file.Write("abc", 3);
    file.Close();
    EXPECT_EQ(file.GetLength(), 0u);
    EXPECT_EQ(file.GetPosition(), 0u);
    EXPECT_TRUE(file.IsOpen());
    ExpectMessage(Capture([&] { file.Write("a", 1); }), zr_gen::kMsgOutOfMemory);
    MemFile aborted;
    aborted.Write("abc", 3);
    aborted.Abort();
    EXPECT_EQ(aborted.GetLength(), 0u);
}

TEST(MemFileCallerBuffer, WithoutGrowByTheBufferIsTheContent) {
    uint8_t buffer[100];
    for (int i = 0; i < 100; ++i) buffer[i] = static_cast<uint8_t>(i);
    MemFile file(buffer, 100, 0);
    EXPECT_EQ(file.GetLength(), 100u);
    uint8_t read[100] = {};
    EXPECT_EQ(file.Read(read, 100), 100u);
    EXPECT_EQ(std::memcmp(read, buffer, 100), 0);
    file.SeekToBegin();
    file.Write("AB", 2);
    EXPECT_EQ(buffer[0], 'A');  // written in place
    file.SeekToEnd();
    ExpectMessage(Capture([&] { file.Write("x", 1); }), zr_gen::kMsgOutOfMemory);
    EXPECT_EQ(file.Detach(), buffer);
    EXPECT_EQ(file.GetLength(), 0u);
}

TEST(MemFileCallerBuffer, WithGrowByTheBufferIsRoom) {
    uint8_t buffer[100];
    std::memset(buffer, 0xEE, sizeof buffer);
    SpyMemFile file(buffer, 100, 16);
    EXPECT_EQ(file.GetLength(), 0u);
    EXPECT_EQ(file.Room(), 100u);
    void* start = nullptr;
    void* end = nullptr;
    EXPECT_EQ(file.GetBufferPtr(MemFile::kBufferWrite, 100, &start, &end), 100u);
    EXPECT_EQ(start, buffer);
    EXPECT_TRUE(file.allocs.empty() && file.reallocs.empty());
}

TEST(MemFileCallerBuffer, GrowingMovesTheContentAndLeavesTheCallersBufferAlone) {
    uint8_t buffer[100];
    std::memset(buffer, 0xEE, sizeof buffer);
    SpyMemFile file(buffer, 100, 16);
    file.Write("head", 4);
    const std::string more(97, 'm');
    file.Write(more.data(), 97);  // 101 bytes: beyond the caller's room
    EXPECT_TRUE(file.reallocs.empty());
    EXPECT_EQ(file.allocs, std::vector<uint32_t>{116});
    EXPECT_EQ(std::memcmp(buffer, "head", 4), 0);
    EXPECT_EQ(buffer[4], 0xEE);
    EXPECT_EQ(ReadAll(file), "head" + more);
    uint8_t* own = file.Detach();
    EXPECT_NE(own, buffer);
    platform::FreeBytes(own);
}

TEST(MemFileCallerBuffer, AttachIsRefusedWhileABufferIsSet) {
    testsupport::LogTail tail;
    uint8_t first[8] = {1};
    uint8_t second[8] = {2};
    MemFile file(first, 8, 0);
    file.Attach(second, 8, 0);
    EXPECT_EQ(tail.Lines().size(), 1u);
    uint8_t byte = 0;
    file.Read(&byte, 1);
    EXPECT_EQ(byte, 1);
}

TEST(MemFileSeek, BeforeTheStartIsBadSeek) {
    MemFile file;
    file.Write("abcde", 5);
    file.Seek(2, CFile::kBegin);
    ExpectFileException(Capture([&] { file.Seek(-1, CFile::kBegin); }), CFileException::badSeek, 0, std::nullopt);
    ExpectFileException(Capture([&] { file.Seek(-3, CFile::kCurrent); }), CFileException::badSeek, 0, std::nullopt);
    EXPECT_EQ(file.GetPosition(), 2u);
}

TEST(MemFileSeek, BeyondThirtyTwoBitsIsBadSeek) {
    MemFile file;
    SeekFar(file, 0xFFFFFFFFu);
    ExpectFileException(Capture([&] { file.Seek(1, CFile::kCurrent); }), CFileException::badSeek, 0, std::nullopt);
    EXPECT_EQ(file.GetPosition(), 0xFFFFFFFFu);
}

TEST(MemFileSeek, PastTheEndReadsNothingAndWritingFillsTheGapWithZeros) {
    MemFile file;
    file.Write("abcde", 5);
    EXPECT_EQ(file.Seek(10, CFile::kEnd), 15);
    char bytes[4];
    EXPECT_EQ(file.Read(bytes, 4), 0u);
    EXPECT_EQ(file.GetPosition(), 15u);
    file.Write("z", 1);
    EXPECT_EQ(file.GetLength(), 16u);
    EXPECT_EQ(ReadAll(file), std::string("abcde") + std::string(10, '\0') + "z");
}

TEST(MemFileSeek, InvalidOriginReturnsMinusOneAndStays) {
    testsupport::LogTail tail;
    MemFile file;
    file.Write("abc", 3);
    EXPECT_EQ(file.Seek(0, 3), -1);
    EXPECT_EQ(file.GetPosition(), 3u);
    EXPECT_EQ(tail.Lines().size(), 1u);
}

TEST(MemFileRead, ShortReadReturnsWhatIsThere) {
    MemFile file;
    file.Write("0123456789", 10);
    file.Seek(6, CFile::kBegin);
    char bytes[10];
    EXPECT_EQ(file.Read(bytes, 10), 4u);
    EXPECT_EQ(std::string(bytes, 4), "6789");
    EXPECT_EQ(file.GetPosition(), 10u);
    EXPECT_TRUE(file.IsEOF());
}

TEST(MemFileRead, UnwritableTargetIsAssertedAndReadsNothing) {
    testsupport::LogTail tail;
    MemFile file;
    file.Write("abc", 3);
    file.SeekToBegin();
    static const char kReadOnly[] = "xyz";
    EXPECT_EQ(file.Read(const_cast<char*>(kReadOnly), 3), 0u);
    EXPECT_EQ(file.Read(nullptr, 3), 0u);
    EXPECT_EQ(file.GetPosition(), 0u);
    EXPECT_EQ(tail.Lines().size(), 2u);
}

TEST(MemFileBufferPtr, CheckSaysDirectAccessIsSupported) {
    MemFile file;
    EXPECT_EQ(file.GetBufferPtr(MemFile::kBufferCheck, 0, nullptr, nullptr), 1u);
}

TEST(MemFileBufferPtr, ReadHandsOutContentAndMoves) {
    SpyMemFile file(16);
    file.Write("abcdef", 6);
    file.Seek(2, CFile::kBegin);
    void* start = nullptr;
    void* end = nullptr;
    EXPECT_EQ(file.GetBufferPtr(MemFile::kBufferRead, 3, &start, &end), 3u);
    EXPECT_EQ(start, file.Data() + 2);
    EXPECT_EQ(end, file.Data() + 5);
    EXPECT_EQ(file.GetPosition(), 5u);
    EXPECT_EQ(file.GetBufferPtr(MemFile::kBufferRead, MemFile::kAllRoom, &start, &end), 1u);
    EXPECT_EQ(end, file.Data() + 6);
    EXPECT_EQ(file.GetPosition(), 6u);
}

TEST(MemFileBufferPtr, ReadPastTheEndIsEmptyAndStays) {
    SpyMemFile file(16);
    file.Write("abc", 3);
    file.Seek(100, CFile::kBegin);
    void* start = nullptr;
    void* end = nullptr;
    EXPECT_EQ(file.GetBufferPtr(MemFile::kBufferRead, 5, &start, &end), 0u);
    EXPECT_EQ(start, end);
    EXPECT_EQ(file.GetPosition(), 100u);
}

TEST(MemFileBufferPtr, WriteThenCommit) {
    SpyMemFile file(16);
    file.Write("ab", 2);
    void* start = nullptr;
    void* end = nullptr;
    EXPECT_EQ(file.GetBufferPtr(MemFile::kBufferWrite, 20, &start, &end), 20u);
    EXPECT_EQ(file.Room(), 32u);
    EXPECT_EQ(start, file.Data() + 2);
    EXPECT_EQ(end, file.Data() + 22);
    EXPECT_EQ(file.GetPosition(), 2u);
    std::memcpy(start, "cd", 2);
    EXPECT_EQ(file.GetBufferPtr(MemFile::kBufferCommit, 2, nullptr, nullptr), 0u);
    EXPECT_EQ(file.GetPosition(), 4u);
    EXPECT_EQ(ReadAll(file), "abcd");
}

TEST(MemFileBufferPtr, CommitStopsAtTheBuffersEnd) {
    testsupport::LogTail tail;
    SpyMemFile file(16);
    file.Write("ab", 2);
    EXPECT_EQ(file.GetBufferPtr(MemFile::kBufferCommit, 0xFFFFFFF0u, nullptr, nullptr), 0u);
    EXPECT_EQ(file.GetPosition(), 16u);
    EXPECT_EQ(file.GetLength(), 16u);
    EXPECT_EQ(tail.Lines().size(), 1u);
}

TEST(MemFileBufferPtr, MissingOutputsAreAssertedAndChangeNothing) {
    testsupport::LogTail tail;
    MemFile file;
    file.Write("abc", 3);
    file.SeekToBegin();
    EXPECT_EQ(file.GetBufferPtr(MemFile::kBufferRead, 2, nullptr, nullptr), 0u);
    EXPECT_EQ(file.GetPosition(), 0u);
    EXPECT_EQ(tail.Lines().size(), 1u);
}

class MemFileOpen : public FileTest {};

TEST_F(MemFileOpen, OpensAnOsFileBesideTheUntouchedContent) {
    {
        MemFile file;
        file.Write("abc", 3);
        ASSERT_EQ(file.Open(Path("f").c_str(), kCreate | kReadWrite | 0x0010), 1);
        EXPECT_EQ(file.GetLength(), 3u);
        EXPECT_EQ(ReadAll(file), "abc");
        EXPECT_TRUE(Exists("f"));
        EXPECT_EQ(Content("f"), "");
    }
    CFile again;  // the memory file's destruction released the OS handle
    EXPECT_FALSE(Capture([&] { again.Open(Path("f").c_str(), 0x0010); }).raised);
}

// ---- Shared files ----

TEST(SharedFile, GrowsInAMemoryBlockThatDetachHandsOver) {
    SharedFile file;
    file.Write("0123456789", 10);
    EXPECT_EQ(file.GetLength(), 10u);
    void* handle = file.Detach();
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(MemGetSize(handle), 4096u);
    EXPECT_EQ(std::memcmp(MemGetPtr(handle), "0123456789", 10), 0);
    EXPECT_EQ(file.GetLength(), 0u);
    uint8_t byte;
    EXPECT_EQ(file.Read(&byte, 1), 0u);
    MemFree(handle);
}

TEST(SharedFile, AdoptedHandleIsTheContentAndGrows) {
    void* handle = MemAlloc(10);
    std::memcpy(MemGetPtr(handle), "0123456789", 10);
    SharedFile file(2, 64);
    file.SetHandle(handle, 1);
    EXPECT_EQ(file.GetLength(), 10u);
    file.SeekToEnd();
    file.Write("ab", 2);
    EXPECT_EQ(ReadAll(file), "0123456789ab");
    void* grown = file.Detach();
    EXPECT_EQ(MemGetSize(grown), 74u);
    EXPECT_EQ(std::memcmp(MemGetPtr(grown), "0123456789ab", 12), 0);
    MemFree(grown);
}

TEST(SharedFile, WithoutAllowGrowGrowingIsOutOfMemory) {
    void* handle = MemAlloc(10);
    std::memcpy(MemGetPtr(handle), "0123456789", 10);
    SharedFile file;
    file.SetHandle(handle, 0);
    file.SeekToEnd();
    ExpectMessage(Capture([&] { file.Write("x", 1); }), zr_gen::kMsgOutOfMemory);
    EXPECT_EQ(ReadAll(file), "0123456789");
    // Destruction frees the adopted handle.
}

TEST(SharedFile, AllocationFailureIsOutOfMemory) {
    SharedFile file;
    FaultInjector injector;
    ScopedFaultInjector scope(injector);
    injector.FailNth(FaultOp::Alloc, 1, ERROR_NOT_ENOUGH_MEMORY);
    ExpectMessage(Capture([&] { file.Write("x", 1); }), zr_gen::kMsgOutOfMemory);
    EXPECT_EQ(file.GetLength(), 0u);
    file.Write("y", 1);
    EXPECT_EQ(file.GetLength(), 1u);
}

TEST(SharedFile, SecondHandleIsRefused) {
    testsupport::LogTail tail;
    void* first = MemAlloc(4);
    void* second = MemAlloc(8);
    SharedFile file;
    file.SetHandle(first, 1);
    file.SetHandle(second, 1);
    EXPECT_EQ(file.GetLength(), 4u);
    EXPECT_EQ(tail.Lines().size(), 1u);
    EXPECT_EQ(file.Detach(), first);
    MemFree(first);
    MemFree(second);
}

TEST(SharedFile, DetachWithoutAHandleIsNull) {
    testsupport::LogTail tail;
    SharedFile file;
    EXPECT_EQ(file.Detach(), nullptr);
    EXPECT_EQ(tail.Lines().size(), 1u);
}

TEST(SharedFile, CloseFreesTheBlockAndForbidsGrowth) {
    SharedFile file;
    file.Write("abc", 3);
    file.Close();
    EXPECT_EQ(file.GetLength(), 0u);
    ExpectMessage(Capture([&] { file.Write("a", 1); }), zr_gen::kMsgOutOfMemory);
}

}  // namespace
