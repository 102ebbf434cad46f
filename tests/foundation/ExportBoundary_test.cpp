#include "notestore/foundation/ExportBoundary.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <stdexcept>
#include <string>
#include <thread>

#include "notestore.h"
#include "notestore/foundation/Messages.h"
#include "support/LogTail.h"

namespace {

using zr_gen::CDBException;
using zr_gen::CException;
using zr_gen::CFileException;
using zr_gen::ExceptionKind;

std::u16string LastText() {
    const int32_t length = OL_GetLastExceptionText(nullptr);
    std::u16string text(static_cast<size_t>(length) + 1, u'#');
    EXPECT_EQ(OL_GetLastExceptionText(text.data()), length);
    EXPECT_EQ(text.back(), u'\0');
    text.pop_back();
    return text;
}

// A body that throws what `raise` throws, through the guard, as an export
// returning int would.
template <class Raise>
int32_t GuardedThrow(Raise raise) {
    return ZR_GUARDED([&]() -> int32_t {
        raise();
        return 7;
    });
}

struct CaughtCase {
    const char* name;
    void (*raise)();
    ExceptionKind kind;
    uint32_t number;
    std::u16string text;
};

const CaughtCase kCaughtCases[] = {
    {"CException", [] { throw new CException(u"plain", 41); }, ExceptionKind::Exception, 41, u"plain"},
    {"CExceptionWithoutText", [] { throw new CException(); }, ExceptionKind::Exception, zr_gen::kNoErrorNumber,
     u"Unknown exception"},
    {"CDBException", [] { throw new CDBException(zr_gen::kMsgDbStructureDifferent, 2); }, ExceptionKind::DBException, 2,
     u"The db structure is different"},
    {"CFileException", [] { throw new CFileException(CFileException::diskFull, 112, u"x.zro"); },
     ExceptionKind::FileException, zr_gen::kNoErrorNumber, u"diskFull"},
    {"DerivedThrownAsBase", [] { throw static_cast<CException*>(new CFileException(u"as base")); },
     ExceptionKind::FileException, zr_gen::kNoErrorNumber, u"as base"},
    {"NullPointer", [] { throw static_cast<CDBException*>(nullptr); }, ExceptionKind::Exception, 10, u"Out of memory"},
    {"StandardException", [] { throw std::runtime_error("not ours"); }, ExceptionKind::Unknown, 0xFFFFFFFFu, u""},
    {"Integer", [] { throw 5; }, ExceptionKind::Unknown, 0xFFFFFFFFu, u""},
};

class CaughtKinds : public testing::TestWithParam<CaughtCase> {};

TEST_P(CaughtKinds, ReturnZeroAndRecordKindNumberAndText) {
    const CaughtCase& c = GetParam();
    EXPECT_EQ(GuardedThrow(c.raise), 0);
    EXPECT_EQ(OL_GetLastExceptionKind(), static_cast<int32_t>(c.kind));
    EXPECT_EQ(OL_GetLastExceptionNumber(), c.number);
    EXPECT_EQ(LastText(), c.text);
}

INSTANTIATE_TEST_SUITE_P(ExportBoundary, CaughtKinds, testing::ValuesIn(kCaughtCases),
                         [](const testing::TestParamInfo<CaughtCase>& info) { return std::string(info.param.name); });

TEST(ExportBoundary, TraceLinesNameTheExportsFileAndLine) {
    testsupport::LogTail tail;
    const int32_t libraryLine = __LINE__ + 1;
    (void)ZR_GUARDED([]() -> int32_t { throw new CDBException(u"broken row", 5); });
    const int32_t otherLine = __LINE__ + 1;
    (void)ZR_GUARDED([]() -> int32_t { throw std::logic_error("x"); });
    (void)ZR_GUARDED([]() -> int32_t { throw static_cast<CException*>(nullptr); });
    const std::string file = ZR_FILE;
    EXPECT_EQ(tail.Lines(),
              (std::vector<std::string>{
                  "Exception broken row in file " + file + " line " + std::to_string(libraryLine),
                  "Unknown exception in file " + file + " line " + std::to_string(otherLine),
                  "Exception Out of memory in file " + file + " line " + std::to_string(otherLine + 1),
              }));
}

TEST(ExportBoundary, ZeroValuesOfEachResultType) {
    EXPECT_EQ(ZR_GUARDED([]() -> void* { throw new CException(u"x", 1); }), nullptr);
    EXPECT_FALSE(ZR_GUARDED([]() -> bool { throw new CException(u"x", 1); }));
    EXPECT_EQ(ZR_GUARDED([]() -> uint8_t { throw new CException(u"x", 1); }), 0u);
    struct Pair {
        int32_t a;
        void* b;
    };
    const Pair pair = ZR_GUARDED([]() -> Pair { throw new CException(u"x", 1); });
    EXPECT_EQ(pair.a, 0);
    EXPECT_EQ(pair.b, nullptr);
    bool reached = false;
    ZR_GUARDED([&] {
        reached = true;
        throw 1;
    });
    EXPECT_TRUE(reached);
    EXPECT_EQ(OL_GetLastExceptionKind(), static_cast<int32_t>(ExceptionKind::Unknown));
}

TEST(ExportBoundary, CompletedBodyGivesItsResultAndClearsTheRecord) {
    (void)GuardedThrow([] { throw new CDBException(u"old", 3); });
    ASSERT_EQ(OL_GetLastExceptionKind(), static_cast<int32_t>(ExceptionKind::DBException));
    EXPECT_EQ(ZR_GUARDED([] { return 42; }), 42);
    EXPECT_EQ(OL_GetLastExceptionKind(), 0);
    EXPECT_EQ(OL_GetLastExceptionNumber(), 0xFFFFFFFFu);
    EXPECT_EQ(LastText(), u"");
}

TEST(ExportBoundary, ReadingTheRecordDoesNotClearIt) {
    (void)GuardedThrow([] { throw new CException(u"kept", 9); });
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(OL_GetLastExceptionKind(), 1);
        EXPECT_EQ(OL_GetLastExceptionNumber(), 9u);
        EXPECT_EQ(LastText(), u"kept");
    }
}

TEST(ExportBoundary, TextIsCopiedWithItsTerminatorAndNothingBeyond) {
    (void)GuardedThrow([] { throw new CException(u"abc", 1); });
    char16_t buffer[6] = {u'#', u'#', u'#', u'#', u'#', u'#'};
    EXPECT_EQ(OL_GetLastExceptionText(buffer), 3);
    EXPECT_EQ(std::u16string(buffer, 6), std::u16string(u"abc\0##", 6));
}

TEST(ExportBoundary, EachThreadHasItsOwnRecord) {
    (void)GuardedThrow([] { throw new CException(u"main", 1); });
    int32_t otherKindBefore = -1;
    int32_t otherKindAfter = -1;
    std::thread other([&] {
        otherKindBefore = OL_GetLastExceptionKind();
        (void)GuardedThrow([] { throw 1; });
        otherKindAfter = OL_GetLastExceptionKind();
    });
    other.join();
    EXPECT_EQ(otherKindBefore, 0);
    EXPECT_EQ(otherKindAfter, 4);
    EXPECT_EQ(OL_GetLastExceptionKind(), 1);
    EXPECT_EQ(LastText(), u"main");
}

TEST(ExportBoundary, ANullArgumentIsAnAssertionAndARecordedFailure) {
    const testsupport::LogTail tail;
    int* missing = nullptr;
    EXPECT_EQ(ZR_GUARDED([&] { return ZR_REQUIRED(missing) + 1; }), 0);
    EXPECT_EQ(OL_GetLastExceptionKind(), OL_EXCEPTION_LIBRARY);
    EXPECT_EQ(OL_GetLastExceptionNumber(), 0xFFFFFFFFu);
    EXPECT_EQ(LastText(), u"A required handle or buffer is null");
    const auto lines = tail.Lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front().rfind("Assertion Failed! File ExportBoundary_test.cpp Line ", 0), 0u);
}

TEST(ExportBoundary, OnlyTheOutermostGuardedCallKeepsARecord) {
    // An export the library calls itself fails inside one that completes.
    int* missing = nullptr;
    EXPECT_EQ(ZR_GUARDED([&] { return ZR_GUARDED([&] { return ZR_REQUIRED(missing); }) + 5; }), 5);
    EXPECT_EQ(OL_GetLastExceptionKind(), OL_EXCEPTION_NONE);
    // And one failing after an inner call completed keeps its own record.
    (void)ZR_GUARDED([&] {
        (void)ZR_GUARDED([] { return 1; });
        return ZR_REQUIRED(missing);
    });
    EXPECT_EQ(OL_GetLastExceptionKind(), OL_EXCEPTION_LIBRARY);
}

TEST(ExportBoundary, BoundedCopiesNeverCutASurrogatePair) {
    const std::u16string pair = u"\U0001F600";
    const struct {
        const char* name;
        std::u16string text;
        size_t limit;
        std::u16string copied;
    } cases[] = {
        {"shorter than the limit", u"abc", 5, u"abc"},
        {"exactly the limit", u"abcde", 5, u"abcde"},
        {"cut", u"abcdefgh", 5, u"abcde"},
        {"pair across the limit", u"abcd" + pair, 5, u"abcd"},
        {"pair just inside the limit", u"abc" + pair + u"x", 5, u"abc" + pair},
        {"pair at the end, whole", u"abc" + pair, 5, u"abc" + pair},
        {"lone high surrogate cut", std::u16string(u"abcd\xD83D" u"e"), 5, u"abcd"},
        {"empty", u"", 5, u""},
    };
    for (const auto& c : cases) {
        char16_t buffer[8];
        std::fill(std::begin(buffer), std::end(buffer), u'#');
        EXPECT_EQ(zr_gen::CopyBoundedText(c.text, c.limit, nullptr), static_cast<int32_t>(c.copied.size())) << c.name;
        ASSERT_EQ(zr_gen::CopyBoundedText(c.text, c.limit, buffer), static_cast<int32_t>(c.copied.size())) << c.name;
        EXPECT_EQ(std::u16string(buffer), c.copied) << c.name;
        EXPECT_TRUE(std::all_of(buffer + c.copied.size() + 1, std::end(buffer), [](char16_t u) { return u == u'#'; }))
            << c.name;
    }
}

}  // namespace
