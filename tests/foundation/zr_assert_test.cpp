#include "notestore/foundation/zr_assert.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>

#include "platform/Faults.h"
#include "platform/Memory.h"
#include "platform/Messages.h"
#include "support/LogTail.h"
#include "support/TempDir.h"

using testsupport::LogTail;

namespace {

std::vector<std::string> RunProbe(const testsupport::TempDir& dir, const std::string& args) {
    const std::string command = "cd '" + dir.path().string() + "' && '" LOG_PROBE_PATH "' " + args;
    EXPECT_EQ(std::system(command.c_str()), 0);
    std::vector<std::string> lines;
    std::ifstream log(dir.path() / "FileIO.txt");
    for (std::string line; std::getline(log, line);) lines.push_back(line);
    return lines;
}

TEST(TraceLog, FirstLineOfEachProcessEmptiesTheLogLaterLinesAppend) {
    testsupport::TempDir dir;
    EXPECT_EQ(RunProbe(dir, "first second third"), (std::vector<std::string>{"first", "second", "third"}));
    EXPECT_EQ(RunProbe(dir, "again"), (std::vector<std::string>{"again"}));
}

TEST(TraceLog, LinesAreTheFormattedTextAlone) {
    LogTail tail;
    ZR_Log("Opening db of %s", "x.zro");
    ZR_Trace(u"Exception %s in file %s line %d", u"File IO", "File.cpp", 42);
    EXPECT_EQ(tail.Lines(), (std::vector<std::string>{"Opening db of x.zro", "Exception File IO in file File.cpp line 42"}));
}

TEST(TraceLog, WideTextOutsideTheCodePageBecomesQuestionMarks) {
    LogTail tail;
    ZR_Trace(u"%s", u"caf\u00e9 \u20ac \u4e2d");
    EXPECT_EQ(tail.Lines(), (std::vector<std::string>{"caf\xe9 \x80 ?"}));
}

TEST(TraceLog, CVariadicEntryReadsWideAndNarrowStrings) {
    LogTail tail;
    // The exported C entry: %s is UTF-16, %hs narrow.
    void (*exported)(const char16_t*, ...) = ZR_Trace;
    exported(u"%s and %hs, %d", u"wide", "narrow", 7);
    EXPECT_EQ(tail.Lines(), (std::vector<std::string>{"wide and narrow, 7"}));
}

TEST(TraceLog, OverlongTraceIsCutAfterAnAssertionLineForTheTraceFunction) {
    LogTail tail;
    ZR_Trace(u"%s", std::u16string(30000, u'x'));
    const auto lines = tail.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "Assertion Failed! File zr_assert.cpp Line 26 quiting application");
    EXPECT_EQ(lines[1], std::string(20479, 'x'));
}

TEST(TraceLog, TraceOfExactlyTheBufferMinusOneIsNotCut) {
    LogTail tail;
    ZR_Trace(u"%s", std::u16string(20479, u'y'));
    const auto lines = tail.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].size(), 20479u);
}

TEST(Assertion, WritesOneLineAndReturnsZero) {
    LogTail tail;
    EXPECT_EQ(zr_AssertFailedLine("Database.cpp", 120), 0);
    EXPECT_EQ(tail.Lines(), (std::vector<std::string>{"Assertion Failed! File Database.cpp Line 120 quiting application"}));
}

TEST(Assertion, MacroReportsThisFileAndContinues) {
    LogTail tail;
    int reached = 0;
    ZR_ASSERT(reached == 1);
    reached = 2;
    ASSERT_EQ(tail.Lines().size(), 1u);
    EXPECT_NE(tail.Lines()[0].find("File zr_assert_test.cpp Line"), std::string::npos);
    EXPECT_EQ(reached, 2);
}

TEST(Assertion, PendingQuitMessageStaysPending) {
    PostQuitMessage(3);
    zr_AssertFailedLine("x.cpp", 1);
    MSG message;
    ASSERT_TRUE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(message.message, WM_QUIT);
    EXPECT_EQ(message.wParam, 3u);
    EXPECT_FALSE(PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE));
}

TEST(ValidAddress, ChecksMappingAndWritability) {
    static const char kConstant[] = "read only text";
    int onStack = 0;
    std::vector<char> onHeap(100);
    const long page = sysconf(_SC_PAGESIZE);
    void* unmapped = mmap(nullptr, static_cast<size_t>(page), PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(unmapped, MAP_FAILED);
    munmap(unmapped, static_cast<size_t>(page));

    struct Case {
        const void* address;
        uint32_t size;
        int32_t forWrite;
        int32_t expected;
    } cases[] = {
        {nullptr, 0, 0, 0},
        {nullptr, 16, 1, 0},
        {&onStack, sizeof onStack, 1, 1},
        {onHeap.data(), 100, 1, 1},
        {kConstant, sizeof kConstant, 0, 1},
        {kConstant, sizeof kConstant, 1, 0},
        {unmapped, 8, 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(zr_CVIsValidAddress(c.address, c.size, c.forWrite), c.expected)
            << c.address << " size " << c.size << " write " << c.forWrite;
    }
}

TEST(ValidAddress, FollowsTheProtectionOfEachMapping) {
    const auto page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    // Three pages: writable, read-only, inaccessible.
    auto* pages = static_cast<uint8_t*>(mmap(nullptr, 3 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(pages, MAP_FAILED);
    ASSERT_EQ(mprotect(pages + page, page, PROT_READ), 0);
    ASSERT_EQ(mprotect(pages + 2 * page, page, PROT_NONE), 0);
    const auto size = static_cast<uint32_t>(page);
    struct Case {
        const char* name;
        const void* address;
        uint32_t size;
        int32_t readable;
        int32_t writable;
    } cases[] = {
        {"writable", pages, size, 1, 1},
        {"read-only", pages + page, size, 1, 0},
        {"inaccessible", pages + 2 * page, size, 0, 0},
        {"writable into read-only", pages + page - 8, 16, 1, 0},
        {"read-only into inaccessible", pages + 2 * page - 8, 16, 0, 0},
        {"one byte of the inaccessible page", pages + 2 * page, 1, 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(zr_CVIsValidAddress(c.address, c.size, 0), c.readable) << c.name;
        EXPECT_EQ(zr_CVIsValidAddress(c.address, c.size, 1), c.writable) << c.name;
    }
    munmap(pages, 3 * page);
}

TEST(WideToAnsi, ConvertsToTheCodePageAndTerminates) {
    EXPECT_EQ(WideToAnsi(nullptr), nullptr);
    char* converted = WideToAnsi(u"A\u00e9\u20ac\u4e2d");
    ASSERT_NE(converted, nullptr);
    EXPECT_STREQ(converted, "A\xe9\x80?");
    FreeAnsi(converted);
    char* empty = WideToAnsi(u"");
    ASSERT_NE(empty, nullptr);
    EXPECT_STREQ(empty, "");
    FreeAnsi(empty);
}

TEST(WideToAnsi, GivesNullWhenMemoryRunsOut) {
    platform::FaultInjector injector;
    platform::ScopedFaultInjector scope(injector);
    injector.FailNth(platform::FaultOp::Alloc, 1, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(WideToAnsi(u"abc"), nullptr);
}

TEST(FormatLastError, SystemTextIntoTheCallersBuffer) {
    char16_t buffer[512];
    EXPECT_EQ(FormatLastError(ERROR_FILE_NOT_FOUND, buffer, 512), buffer);
    EXPECT_EQ(std::u16string(buffer), u"The system cannot find the file specified.\r\n");
}

TEST(FormatLastError, AllocatesWhenNoBufferIsGiven) {
    char16_t* text = FormatLastError(ERROR_ACCESS_DENIED, nullptr, 0);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::u16string(text), u"Access is denied.\r\n");
    LocalFree(text);
}

TEST(FormatLastError, UnknownCodeExplainsWhyThereIsNoText) {
    char16_t* text = FormatLastError(0x1234567, nullptr, 0);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::u16string(text),
              u"FormatMessage failed on error 0x1234567 for the following reason: The system cannot find message text "
              u"for message number 0x%1 in the message file for %2.\r\n");
    LocalFree(text);
}

TEST(FormatLastError, TooSmallBufferFallsBackToTheReasonCutToFit) {
    char16_t buffer[20];
    EXPECT_EQ(FormatLastError(ERROR_FILE_NOT_FOUND, buffer, 20), buffer);
    EXPECT_EQ(std::u16string(buffer), u"FormatMessage faile");
}

TEST(FormatLastError, EachFailedAllocationGivesNullWithoutLeaks) {
    for (uint32_t n = 1;; ++n) {
        platform::FaultInjector injector;
        platform::ScopedFaultInjector scope(injector);
        injector.FailNth(platform::FaultOp::Alloc, n, ERROR_NOT_ENOUGH_MEMORY);
        char16_t* text = FormatLastError(0x1234567, nullptr, 0);
        if (!injector.Fired(platform::FaultOp::Alloc)) {
            ASSERT_NE(text, nullptr);
            LocalFree(text);
            break;
        }
        EXPECT_EQ(text, nullptr) << "allocation " << n;
    }
}

}  // namespace
