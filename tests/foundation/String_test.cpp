#include "notestore/foundation/String.h"

#include <gtest/gtest.h>

#include "notestore/foundation/Messages.h"

namespace {

using zr_gen::_String;

TEST(String, ConstructionAndAssignmentStopAtTheFirstZero) {
    std::u16string withZero(u"ab\0cd", 5);
    EXPECT_EQ(_String(withZero).size(), 2u);
    _String s;
    s = withZero;
    EXPECT_EQ(s.size(), 2u);
    _String buffer;
    buffer.GetBuffer(10)[0] = u'x';
    buffer[1] = 0;
    EXPECT_EQ(buffer.size(), 11u);
    const _String copy(buffer);
    EXPECT_EQ(copy.size(), 1u);
    EXPECT_TRUE(buffer == u"x");
    EXPECT_TRUE(buffer == copy);
}

// Texts are scanned for their end and converted several units at a time:
// a zero, and a unit whose high bits are set, at every offset of a step.
TEST(String, EndsAndConversionsAtEveryOffset) {
    for (size_t at = 0; at <= 9; ++at) {
        SCOPED_TRACE(at);
        std::u16string units(12, u'\x8000');
        units[at] = 0;
        EXPECT_EQ(_String(units).size(), at);
        std::string narrow(12, 'a');
        narrow[at] = '\x80';
        _String s;
        s.AssignAscii(narrow.c_str(), 12);
        EXPECT_EQ(s.size(), 12u);
        EXPECT_EQ(s[at], u'\u20ac');
        EXPECT_EQ(s[at == 0 ? 1 : 0], u'a');
    }
}

TEST(String, NullPointersGiveEmptyStrings) {
    _String s(static_cast<const char16_t*>(nullptr));
    EXPECT_TRUE(s.empty());
    s = u"text";
    s = static_cast<const char16_t*>(nullptr);
    EXPECT_TRUE(s.empty());
    s = u"text";
    s = static_cast<const char*>(nullptr);
    EXPECT_TRUE(s.empty());
}

TEST(String, NarrowAssignmentIsWindows1252) {
    _String s;
    s = "caf\xe9 \x80";
    EXPECT_EQ(s, u"caf\u00e9 \u20ac");
    s = 'x';
    EXPECT_EQ(s, u"x");
    s = u'y';
    EXPECT_EQ(s, u"y");
}

TEST(String, AssignAsciiLengthRules) {
    _String s(u"keep");
    s.AssignAscii("", 0xFFFFFFFFu);
    EXPECT_EQ(s, u"keep");
    s.AssignAscii("abcdef", 0);
    EXPECT_EQ(s, u"keep");
    s.AssignAscii("abcdef", 3);
    EXPECT_EQ(s, u"abc");
    s.AssignAscii("ab\0cd", 5);
    EXPECT_EQ(s, u"ab");
    s.AssignAscii(nullptr, 0xFFFFFFFFu);
    EXPECT_EQ(s, u"ab");
}

TEST(String, LoadsTheMessageTable) {
    _String s(u"before");
    ASSERT_TRUE(s.LoadStringW(zr_gen::kMsgFileReadError));
    EXPECT_EQ(s, u"File IO read error");
    ASSERT_TRUE(s.LoadStringW(zr_gen::kMsgCheckCodeDifferent));
    EXPECT_EQ(s.back(), u' ');
    EXPECT_EQ(s.rfind(u"That won't work. "), s.size() - 17);
}

TEST(String, LoadingAMissingIdLeavesTheString) {
    _String s(u"before");
    EXPECT_FALSE(s.LoadStringW(26));
    EXPECT_FALSE(s.LoadStringW(0));
    EXPECT_EQ(s, u"before");
}

TEST(String, FormatStringReplacesAndCutsAt1023) {
    _String s(u"old");
    s.FormatString(u"%s-%d", "file", 7);
    EXPECT_EQ(s, u"file-7");
    s.FormatString(u"%s", std::u16string(1500, u'z'));
    EXPECT_EQ(s.size(), 1023u);
}

TEST(String, TrimRemovesBlanksOnly) {
    _String left(u"  \tx");
    left.TrimLeft();
    EXPECT_EQ(left, u"\tx");
    _String right(u"x\t  ");
    right.TrimRight();
    EXPECT_EQ(right, u"x\t");
    _String blanks(u"   ");
    blanks.TrimRight();
    EXPECT_TRUE(blanks.empty());
    blanks = u"   ";
    blanks.TrimLeft();
    EXPECT_TRUE(blanks.empty());
}

TEST(String, PalmLineBreakConversion) {
    struct Case {
        const char16_t* palm;
        const char16_t* platform;
    } cases[] = {
        {u"a\nb", u"a\r\nb"},
        {u"\n\n", u"\r\n\r\n"},
        {u"", u""},
        {u"no breaks", u"no breaks"},
    };
    for (const Case& c : cases) {
        _String s(c.palm);
        s.palmToPlatform();
        EXPECT_EQ(s, c.platform);
        s.platformToPalm();
        EXPECT_EQ(s, c.palm);
    }
    _String crlf(u"a\r\nb");
    crlf.palmToPlatform();
    EXPECT_EQ(crlf, u"a\r\r\nb");
    _String loneCr(u"a\rb");
    loneCr.platformToPalm();
    EXPECT_EQ(loneCr, u"ab");
}

TEST(String, ConcatenationAndComparison) {
    const _String a(u"ab");
    EXPECT_EQ(a + _String(u"cd"), u"abcd");
    EXPECT_EQ(a + u'!', u"ab!");
    EXPECT_TRUE(a != u"AB");
    EXPECT_TRUE(a == _String(u"ab"));
    EXPECT_EQ(a[0], u'a');
    EXPECT_EQ(a[1u], u'b');
    const char16_t* raw = a;
    EXPECT_EQ(std::u16string(raw), u"ab");
}

}  // namespace

TEST(String, CutTextNeverPartsASurrogatePair) {
    const struct {
        std::u16string_view text;
        size_t max;
        std::u16string_view cut;
    } cases[] = {
        {u"abc", 5, u"abc"},
        {u"abc", 2, u"ab"},
        {u"a\U0001F600", 2, u"a"},           // the pair would be parted
        {u"a\U0001F600", 3, u"a\U0001F600"},  // whole
        {u"\U0001F600\U0001F600", 3, u"\U0001F600"},
        {u"\U0001F600", 1, u""},
        {u"a\xD800" u"b", 2, u"a\xD800"},  // a lone high surrogate is a unit like any other
        {u"\x0416\x0416", 1, u"\x0416"},
        {u"abc", 0, u""},
    };
    for (const auto& c : cases) EXPECT_EQ(zr_gen::CutText(c.text, c.max), c.cut);
}
