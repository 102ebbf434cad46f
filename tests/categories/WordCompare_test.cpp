#include "notestore/categories/WordCompare.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using zr_gen::CompareWords;

int32_t Order(const std::u16string& a, const std::u16string& b) { return CompareWords(a.c_str(), b.c_str()); }

// Each pair: the first sorts strictly before the second, and the reverse
// comparison says so too.
TEST(CompareWords, Ordering) {
    const std::pair<std::u16string, std::u16string> before[] = {
        {u"a", u"A"},           // lowercase first
        {u"A", u"b"},           // case only decides when the letters tie
        {u"ab", u"Ab"},
        {u"Ab", u"ac"},
        {u"", u"a"},
        {u"a", u"aa"},
        {u" ", u"!"},           // symbols by code, blank first
        {u"!", u"0"},           // symbols before digits
        {u"9", u"a"},           // digits before letters
        {u"z", u"\u03A9"},      // beyond Latin-1 after every letter
        {u"resume", u"Resume"},
        {u"Resume", u"r\u00E9sum\u00E9"},  // accents decide before case
        {u"r\u00E9sum\u00E9", u"R\u00E9sum\u00E9"},
        {u"r\u00E9sum\u00E9", u"resumf"},  // letters decide before accents
        {u"e", u"\u00E8"},      // none < grave < acute < circumflex < diaeresis
        {u"\u00E8", u"\u00E9"},
        {u"\u00E9", u"\u00EA"},
        {u"\u00EA", u"\u00EB"},
        {u"\u00EB", u"f"},
        {u"\u00E9", u"\u00C9"},
        {u"\u00E5", u"\u00E6"},  // æ right after a
        {u"\u00E6", u"b"},
        {u"\u00C6", u"b"},
        {u"n", u"\u00F1"},
        {u"o", u"\u00F8"},       // stroke after the other marks
        {u"\u00F6", u"\u00F8"},
        {u"ss", u"\u00DF"},      // ß a letter after s
        {u"\u00DF", u"t"},
        {u"y", u"\u00FD"},
        {u"\u00FD", u"\u00FF"},
        {u"t", u"\u00FE"},       // þ after t
        {u"\u00FE", u"u"},
        {u"coop", u"co-op"},     // hyphens only decide at the end
        {u"co-op", u"cop"},
        {u"coo-p", u"co-op"},    // further back first
        {u"co'op", u"co-op"},    // apostrophe before hyphen
        {u"it's", u"Its"},       // case before apostrophes
        {u"\u00D7", u"0"},       // × and ÷ are symbols
        {u"\u00F7", u"0"},
    };
    for (const auto& [a, b] : before) {
        EXPECT_LT(Order(a, b), 0) << testing::PrintToString(a) << " < " << testing::PrintToString(b);
        EXPECT_GT(Order(b, a), 0) << testing::PrintToString(b) << " > " << testing::PrintToString(a);
    }
}

TEST(CompareWords, EqualOnlyWhenIdentical) {
    const std::u16string texts[] = {u"", u"Unfiled", u"unfiled", u"UNFILED", u"Unfil-ed", u"Unfiled ", u"\u00DCnfiled",
                                    u"\U0001F600"};
    for (const std::u16string& a : texts) {
        for (const std::u16string& b : texts) {
            EXPECT_EQ(Order(a, b) == 0, a == b) << testing::PrintToString(a) << " vs " << testing::PrintToString(b);
        }
    }
}

TEST(CompareWords, NullIsTheEmptyText) {
    EXPECT_EQ(CompareWords(nullptr, u""), 0);
    EXPECT_EQ(CompareWords(nullptr, nullptr), 0);
    EXPECT_LT(CompareWords(nullptr, u"a"), 0);
    EXPECT_GT(CompareWords(u"a", nullptr), 0);
}

}  // namespace
