#include "platform/Strings.h"

#include <gtest/gtest.h>

#include "platform/Errors.h"

namespace {

TEST(CodePage1252, EveryByteSurvivesARoundTrip) {
    for (int b = 1; b < 256; ++b) {
        const char narrow[2] = {static_cast<char>(b), 0};
        char16_t wide[2] = {};
        ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, narrow, -1, wide, 2), 2);
        char back[2] = {};
        ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, wide, -1, back, 2, nullptr, nullptr), 2);
        EXPECT_EQ(static_cast<unsigned char>(back[0]), b);
    }
}

TEST(CodePage1252, HighRangeMapsToTheTypographicCharacters) {
    struct Case {
        unsigned char byte;
        char16_t unit;
    } cases[] = {{0x80, 0x20AC}, {0x85, 0x2026}, {0x92, 0x2019}, {0x9F, 0x0178}, {0xE9, 0x00E9}, {0x41, 0x41}};
    for (const Case& c : cases) {
        EXPECT_EQ(platform::UnicodeFromCp1252(c.byte), c.unit);
        EXPECT_EQ(platform::Cp1252FromUnicode(c.unit), c.byte);
    }
}

TEST(CodePage1252, UnmappableCharactersBecomeTheDefaultCharacter) {
    const char16_t text[] = u"a\u4e2d\U0001F600b";
    char out[8] = {};
    BOOL usedDefault = FALSE;
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, text, -1, out, 8, nullptr, &usedDefault), 5);
    EXPECT_STREQ(out, "a??b");
    EXPECT_TRUE(usedDefault);
}

TEST(CodePage1252, SizeQueriesAndShortTargets) {
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"abc", -1, nullptr, 0, nullptr, nullptr), 4);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"abc", 3, nullptr, 0, nullptr, nullptr), 3);
    char small[2];
    SetLastError(0xdeadbeef);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"abc", -1, small, 2, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(MultiByteToWideChar(932, 0, "a", -1, nullptr, 0), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(Utf8, ConvertsBothWaysIncludingSurrogatePairs) {
    const std::u16string wide = u"a\u00e9\u20ac\U0001F600";
    const std::string utf8 = "a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80";
    EXPECT_EQ(platform::Utf16ToUtf8(wide), utf8);
    EXPECT_EQ(platform::Utf8ToUtf16(utf8), wide);
}

TEST(Utf8, AppendingKeepsWhatIsThereAndConvertsAsAWhole) {
    std::string out = "x\xc3\xa9";
    platform::AppendUtf8(out, u"a\u00e9");
    platform::AppendUtf8(out, u"");
    platform::AppendUtf8(out, std::u16string(u"b\U0001F600") + char16_t(0xDC00));
    EXPECT_EQ(out, "x\xc3\xa9" "a\xc3\xa9" "b\xf0\x9f\x98\x80\xef\xbf\xbd");
}

// ASCII runs are widened eight bytes at a time: a character of more bytes
// at every offset of such a step, and damage right after one, must come
// out as one at a time would give them.
TEST(Utf8, CharactersAtEveryOffsetOfAnAsciiRun) {
    for (size_t at = 0; at <= 17; ++at) {
        SCOPED_TRACE(at);
        const std::string ascii(at, 'a');
        EXPECT_EQ(platform::Utf8ToUtf16(ascii + "\xe2\x82\xac" + ascii), std::u16string(at, u'a') + u"\u20ac" + std::u16string(at, u'a'));
        EXPECT_EQ(platform::Utf8ToUtf16(ascii + "\xff"), std::u16string(at, u'a') + u"\uFFFD");
    }
    // Converting into a string that held a longer text leaves the new one alone.
    std::u16string reused(40, u'z');
    platform::Utf8ToUtf16("a\xc3\xa9", reused);
    EXPECT_EQ(reused, u"a\u00e9");
}

TEST(Utf8, DamagedInputBecomesReplacementCharacters) {
    EXPECT_EQ(platform::Utf8ToUtf16("a\xff" "b"), u"a\uFFFDb");
    EXPECT_EQ(platform::Utf8ToUtf16("\xe2\x82"), u"\uFFFD\uFFFD");
    EXPECT_EQ(platform::Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xef\xbf\xbd");
}

TEST(StringTable, LoadsCutsAndReportsMissingEntries) {
    static const platform::StringTableEntry entries[] = {{1, u"hello"}, {2, u""}};
    static const int moduleTag = 0;
    platform::RegisterStringTable(&moduleTag, entries);
    char16_t buffer[4];
    EXPECT_EQ(LoadStringW(&moduleTag, 1, buffer, 4), 3);
    EXPECT_EQ(std::u16string(buffer), u"hel");
    char16_t big[16];
    EXPECT_EQ(LoadStringW(&moduleTag, 1, big, 16), 5);
    EXPECT_EQ(LoadStringW(&moduleTag, 2, big, 16), 0);
    EXPECT_EQ(LoadStringW(&moduleTag, 3, big, 16), 0);
    static const int otherModule = 0;
    EXPECT_EQ(LoadStringW(&otherModule, 1, big, 16), 0);
}

}  // namespace
