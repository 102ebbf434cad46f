#include "notestore/outline/SharedHeader.h"

#include <gtest/gtest.h>

#include "notestore/categories/CategoryDB.h"
#include "outline/HeaderBlocks.h"
#include "support/Caught.h"

namespace {

using namespace outlinetest;
using zr_gen::_String;
using zr_gen::CSharedHeader;

class SharedHeader : public ::testing::Test {
protected:
    void SetUp() override { zr_gen::CCategoryDB::setUnfiledCategoryName(u"Unfiled"); }
};

std::u16string CategoryOf(CSharedHeader& header) {
    _String name;
    header.GetCategoryName(name);
    return std::u16string(name.Text());
}

TEST_F(SharedHeader, ANewHeaderStoresItsDefaultsInTagOrderWithEveryBitChanged) {
    CSharedHeader header;
    const Bytes expected = ByteWriter()
                               .Tag(3, {1})
                               .Tag(4, {0})
                               .Tag(5, {0})
                               .Tag(8, Bytes(10, 0))
                               .Tag(9, {0, 0})
                               .Tag(kString | 1, Text("Unfiled"))
                               .Tag(kString | 2, Text(""))
                               .bytes;
    EXPECT_EQ(Block(header), expected);
    EXPECT_EQ(CategoryOf(header), u"Unfiled");
    EXPECT_TRUE(header.GetOutlineChanged());
    EXPECT_FALSE(header.GetSynchronized());
    EXPECT_FALSE(header.GetPrivate());
    EXPECT_TRUE(header.GetCategoryChanged());
    EXPECT_TRUE(header.GetPrivateTagChanged());
    EXPECT_TRUE(header.getNumberingChanged());
    EXPECT_TRUE(header.getNumberingDividerChanged());
}

TEST_F(SharedHeader, AnOlderBlockGainsTheMissingFieldsAndKeepsThePresentOnes) {
    struct Case {
        const char* what;
        Bytes block;
        uint16_t divider;
    };
    const Bytes base = ByteWriter().Tag(3, {0}, 0, 0).Tag(4, {1}, 0, 0).Tag(kString | 1, Text("Work"), 0, 0).bytes;
    const Case cases[] = {
        {"no numbering, no divider, no private flag, no match name", base, 0},
        {"a divider of 46",
         ByteWriter()
             .Tag(3, {0}, 0, 0)
             .Tag(4, {1}, 0, 0)
             .Tag(9, {46, 0}, 0, 0)
             .Tag(kString | 1, Text("Work"), 0, 0)
             .bytes,
         46},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CSharedHeader header;
        ReadSlot(header, c.block);
        EXPECT_EQ(CategoryOf(header), u"Work");
        EXPECT_FALSE(header.GetOutlineChanged());
        EXPECT_TRUE(header.GetSynchronized());
        EXPECT_FALSE(header.GetPrivate());
        uint8_t numbering[10];
        std::fill(std::begin(numbering), std::end(numbering), 0xEE);
        header.getNumbering(numbering);
        EXPECT_EQ(Bytes(numbering, numbering + 10), Bytes(10, 0));
        EXPECT_EQ(header.getNumberingDivider(), c.divider);
        _String match;
        header.GetPalmMatchName(match);
        EXPECT_EQ(std::u16string(match.Text()), u"");
        EXPECT_FALSE(header.GetCategoryChanged()) << "a present tag keeps its bit";
    }
}

TEST_F(SharedHeader, RenamingSetsOutlineChangedOnlyForADifferentNameOrASetBit) {
    CSharedHeader header;
    header.SetCategoryChanged(false);
    header.SetOutlineChanged(false);
    header.SetCategoryName(u"Unfiled");
    EXPECT_FALSE(header.GetOutlineChanged());
    EXPECT_FALSE(header.GetCategoryChanged());

    header.SetCategoryName(u"Home");
    EXPECT_TRUE(header.GetOutlineChanged());
    EXPECT_TRUE(header.GetCategoryChanged());

    // A set changed bit counts as a change even for the same name.
    header.SetOutlineChanged(false);
    header.SetCategoryName(u"Home");
    EXPECT_TRUE(header.GetOutlineChanged());
}

TEST_F(SharedHeader, NumberingKeepsExactlyTenBytesAndTheDividerItsSixteenBits) {
    CSharedHeader header;
    const uint8_t numbering[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    header.setNumbering(numbering);
    uint8_t back[12] = {};
    header.getNumbering(back);
    EXPECT_EQ(Bytes(back, back + 12), Bytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0, 0}));
    header.setNumberingDivider(0xBEEF);
    EXPECT_EQ(header.getNumberingDivider(), 0xBEEF);
    header.SetPrivate(true);
    header.SetPrivateTagChanged(false);
    EXPECT_TRUE(header.GetPrivate());
    EXPECT_FALSE(header.GetPrivateTagChanged());
}

}  // namespace
