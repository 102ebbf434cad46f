#include "notestore/outline/PrivateOutlineHeader.h"

#include <gtest/gtest.h>

#include "notestore/foundation/Messages.h"
#include "outline/HeaderBlocks.h"
#include "support/Caught.h"

namespace {

using namespace outlinetest;
using zr_gen::_String;
using zr_gen::CPrivateOutlineHeader;
using zr_gen::TStoredFontInfo;
using zr_gen::TStoredWindowPos;

std::u16string TitleOf(CPrivateOutlineHeader& header) {
    _String title;
    header.GetOutlineTitle(title);
    return std::u16string(title.Text());
}

TEST(PrivateOutlineHeader, ANewHeaderStoresItsDefaultsInTagOrderWithEveryBitChanged) {
    CPrivateOutlineHeader header;
    const Bytes expected = ByteWriter()
                               .Tag(1, {1})
                               .Tag(2, Bytes(4, 0))
                               .Tag(3, Bytes(4, 0))
                               .Tag(4, Bytes(40, 0))
                               .Tag(5, Bytes(28, 0))
                               .Tag(6, Bytes(4, 0))
                               .Tag(7, {10})
                               .Tag(kString | 1, Text(""))
                               .Tag(kString | 2, Text("Untitled"))
                               .bytes;
    EXPECT_EQ(Block(header), expected);
    EXPECT_EQ(TitleOf(header), u"Untitled");
    EXPECT_EQ(header.GetShowCheckedItems(), 1);
    EXPECT_TRUE(header.ShowCheckedItemsChanged());
    EXPECT_EQ(header.GetShowHeadingsMode(), 10);
}

TEST(PrivateOutlineHeader, PlacementAndFontAreStoredFieldByFieldLittleEndian) {
    CPrivateOutlineHeader header;
    const TStoredWindowPos position{1, 3, -1, -2, 300, 400, 10, 20, 230, 310};
    header.SetStoredWndPos(&position);
    TStoredFontInfo font{-12, 0, 900, 0, 700, 1, 0, 1, 0, 3, 2, 4, 0x22};
    header.SetStoredFontInfo(&font);

    const auto* stored = reinterpret_cast<const uint8_t*>(header.getTaggedDataManager().getDataPtr(4, 40));
    ASSERT_NE(stored, nullptr);
    ByteWriter words;
    for (uint32_t word : {1u, 3u, 0xFFFFFFFFu, 0xFFFFFFFEu, 300u, 400u, 10u, 20u, 230u, 310u}) words.U32(word);
    EXPECT_EQ(Bytes(stored, stored + 40), words.bytes) << "top before left";
    stored = reinterpret_cast<const uint8_t*>(header.getTaggedDataManager().getDataPtr(5, 28));
    ASSERT_NE(stored, nullptr);
    const Bytes fontBytes =
        ByteWriter().U32(0xFFFFFFF4).U32(0).U32(900).U32(0).U32(700).Raw({1, 0, 1, 0, 3, 2, 4, 0x22}).bytes;
    EXPECT_EQ(Bytes(stored, stored + 28), fontBytes);

    TStoredWindowPos placement;
    header.GetStoredWndPos(&placement);
    EXPECT_EQ(placement.normalTop, 10);
    EXPECT_EQ(placement.normalLeft, 20);
    EXPECT_EQ(placement.minY, -2);
    TStoredFontInfo back;
    header.GetStoredFontInfo(&back);
    EXPECT_EQ(back.height, -12);
    EXPECT_EQ(back.pitchAndFamily, 0x22);
    EXPECT_EQ(back.clipPrecision, 2);
}

TEST(PrivateOutlineHeader, AnOlderBlockGainsOnlyTheHeadingsMode) {
    CPrivateOutlineHeader header;
    ReadSlot(header, ByteWriter().Tag(1, {2}, 0, 0).Tag(kString | 2, Text("Plans"), 0, 0).bytes);
    EXPECT_EQ(header.GetShowHeadingsMode(), 10);
    EXPECT_EQ(header.GetShowCheckedItems(), 2);
    EXPECT_EQ(TitleOf(header), u"Plans");
    const testsupport::Caught caught = testsupport::Catch([&] { header.GetSelectedIndex(); });
    _String notFound;
    ASSERT_TRUE(notFound.LoadStringW(zr_gen::kMsgDataClassNotFound));
    EXPECT_TRUE(caught.text.starts_with(notFound.Text())) << "the selected index is not added";

    CPrivateOutlineHeader kept;
    ReadSlot(kept, ByteWriter().Tag(7, {3}, 0, 0).bytes);
    EXPECT_EQ(kept.GetShowHeadingsMode(), 3);
}

}  // namespace
