#include "notestore/foundation/Format.h"

#include <gtest/gtest.h>

#include <cstdarg>

namespace {

using zr_gen::FormatText;

std::u16string Variadic(bool narrowFormat, const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    std::u16string text = zr_gen::FormatTextV(format, narrowFormat, args);
    va_end(args);
    return text;
}

TEST(Format, TypedArgumentsPrintAsWhatTheyAre) {
    const std::u16string wide = u"wide";
    const std::string narrow = "narrow";
    struct Case {
        std::u16string actual;
        std::u16string expected;
    } cases[] = {
        {FormatText(u"%s|%s", {"file.cpp", u"text"}), u"file.cpp|text"},
        {FormatText(u"%s %s", {wide, narrow}), u"wide narrow"},
        {FormatText(u"%d %u %x %X %o", {-5, 4294967295u, 255, 255u, 8}), u"-5 4294967295 ff FF 10"},
        {FormatText(u"%ld %lu", {int32_t{-2}, uint32_t{3}}), u"-2 3"},
        {FormatText(u"%u", {-1}), u"4294967295"},
        {FormatText(u"%hd %hu", {70000, 70000}), u"4464 4464"},
        {FormatText(u"%lld %I64u", {int64_t{-1} << 40, uint64_t{1} << 40}), u"-1099511627776 1099511627776"},
        {FormatText(u"%5d|%-5d|%05d|%+d", {42, 42, 42, 42}), u"   42|42   |00042|+42"},
        {FormatText(u"%.2f %e %g", {3.14159, 1.5, 0.25}), u"3.14 1.500000e+00 0.25"},
        {FormatText(u"%c%c", {'a', u'\u00e9'}), u"a\u00e9"},
        {FormatText(u"%c", {'\x80'}), u"\u20ac"},
        {FormatText(u"%6s|%-6s|%.2s", {"ab", u"cd", "xyz"}), u"    ab|cd    |xy"},
        {FormatText(u"%*d|%-*s|%.*s", {4, 7, 3, "a", 1, "bc"}), u"   7|a  |b"},
        {FormatText(u"100%%", {}), u"100%"},
        {FormatText(u"%s", {static_cast<const char*>(nullptr)}), u"(null)"},
        {FormatText(u"%s", {static_cast<const char16_t*>(nullptr)}), u"(null)"},
        {FormatText(u"0x%lx", {0x1234567u}), u"0x1234567"},
        {FormatText(u"%d%%", {true}), u"1%"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.actual, c.expected);
}

TEST(Format, MismatchedConversionsPrintTheArgumentNotGarbage) {
    EXPECT_EQ(FormatText(u"%d", {"text"}), u"text");
    EXPECT_EQ(FormatText(u"%s", {12}), u"12");
    EXPECT_EQ(FormatText(u"%s", {2.5}), u"2.5");
    EXPECT_EQ(FormatText(u"%f", {2}), u"2.000000");
}

TEST(Format, MissingArgumentsPrintNothingAndExtraOnesAreIgnored) {
    EXPECT_EQ(FormatText(u"a%db%sc", {}), u"abc");
    EXPECT_EQ(FormatText(u"x", {1, 2}), u"x");
}

TEST(Format, UnfinishedConversionStaysAsText) {
    EXPECT_EQ(FormatText(u"50%", {}), u"50%");
    EXPECT_EQ(FormatText(u"%!", {1}), u"%!");
    EXPECT_EQ(FormatText(u"%5", {}), u"%5");
}

TEST(Format, PercentNWritesNothing) { EXPECT_EQ(FormatText(u"a%nb", {nullptr}), u"ab"); }

TEST(Format, NarrowFormatIsWindows1252) {
    EXPECT_EQ(FormatText(std::string_view("caf\xe9 %s"), {"\x80"}), u"caf\u00e9 \u20ac");
}

TEST(Format, VariadicWideFormatReadsTheDeviceConventions) {
    EXPECT_EQ(Variadic(false, u"%s|%ls|%hs|%S", u"w1", u"w2", "n1", "n2"), u"w1|w2|n1|n2");
    EXPECT_EQ(Variadic(false, u"%c%hc%lc", u'\u00e9', 'b', u'c'), u"\u00e9bc");
    EXPECT_EQ(Variadic(false, u"%d %ld %lld %u", -1, -2, -3ll, 4u), u"-1 -2 -3 4");
    EXPECT_EQ(Variadic(false, u"%*d %.*f", 3, 5, 1, 2.25), u"  5 2.2");
}

TEST(Format, VariadicNarrowFormatReadsNarrowStrings) {
    EXPECT_EQ(Variadic(true, u"%s|%hs|%ls|%S", "n1", "n2", u"w1", u"w2"), u"n1|n2|w1|w2");
}

TEST(Format, LargeWidthsAreBounded) {
    EXPECT_EQ(FormatText(u"%999999999d", {1}).size(), 100000u);
}

}  // namespace
