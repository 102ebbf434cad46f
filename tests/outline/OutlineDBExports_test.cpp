// The flat outline functions where the classes behind them show more than
// a C caller can see: log lines, stored colours, copied drawings.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "notestore.h"
#include "notestore/drawings/Dib.h"
#include "notestore/foundation/Messages.h"
#include "notestore/outline/OutlineDB.h"
#include "support/Bytes.h"
#include "support/LogTail.h"
#include "support/TempDir.h"

namespace {

using zr_gen::COutlineDB;
using zr_gen::COutlineRecord;

COutlineDB& Db(OL_OutlineDB* handle) { return *reinterpret_cast<COutlineDB*>(handle); }

TEST(OutlineExports, OpenOfAFileWithAWrongCheckCodeTracesTheErrorAndCloses) {
    testsupport::TempDir dir;
    testsupport::WriteFileBytes(dir.path() / "bad.zro", {0x78, 0x56, 0x34, 0x13, 0, 0, 0, 0, 0, 0, 0, 0});
    const testsupport::LogTail tail;
    OL_OutlineDB* db = OL_CreateOutlineDB();
    EXPECT_EQ(OL_Open(db, dir.File("bad.zro").c_str(), 0), 0);
    EXPECT_FALSE(Db(db).IsOpen());
    zr_gen::_String message;
    ASSERT_TRUE(message.LoadStringW(zr_gen::kMsgCheckCodeDifferent));
    const std::string expected = " exception " + std::string(message.Text().begin(), message.Text().end()) + " nm 12";
    const auto lines = tail.Lines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.starts_with("line ") && line.ends_with(expected);
    }));
    EXPECT_TRUE(std::find(lines.begin(), lines.end(), "Opening db of " + (dir.path() / "bad.zro").string()) !=
                lines.end());
    OL_DeleteOutlineDB(db);
}

TEST(OutlineExports, SettingTheFontThroughTheFlatFunctionResetsTheColour) {
    OL_OutlineDB* db = OL_CreateOutlineDB();
    LOGFONTW font{};
    font.lfHeight = 9;
    Db(db).SetOutlineFont(font, 0x00123456);
    OL_SetOutlineFont(db, u"Courier", 12, 700, 1, 0, 0);
    LOGFONTW stored{};
    uint32_t color = 1;
    Db(db).GetOutlineFont(stored, &color);
    EXPECT_EQ(color, 0u);
    EXPECT_EQ(stored.lfStrikeOut, 1);
    EXPECT_EQ(stored.lfItalic, 0);
    EXPECT_EQ(std::u16string(stored.lfFaceName), u"Courier");

    const OL_LogFont* first = OL_GetOutlineFont(db);
    OL_SetOutlineFont(db, u"A face name far longer than the record", 20, 400, 0, 1, 1);
    EXPECT_EQ(OL_GetOutlineFont(db), first);
    EXPECT_EQ(first->height, 20);
    EXPECT_EQ(first->underline, 1);
    EXPECT_EQ(std::u16string(first->faceName), u"A face name far longer than the");
    OL_DeleteOutlineDB(db);
}

TEST(OutlineExports, DuplicatingAnItemCopiesEveryFieldButTheId) {
    OL_OutlineDB* db = OL_CreateOutlineDB();
    OL_OutlineRecord* source = OL_AppendRecordSet(db);
    OL_SetId(source, 17);
    OL_SetText(source, u"Plan");
    OL_SetNote(source, u"by Friday");
    OL_SetExpanded(source, 0);
    ASSERT_EQ(OL_SetDrawing(source, CreateDIB(6, 5, 4)), 1);
    OL_OutlineRecord* copy = OL_DuplicateRecord(db, source);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(OL_GetSize(db), 2);
    EXPECT_EQ(OL_GetRecord(db, 1), copy);
    EXPECT_EQ(OL_GetId(copy), 0u);
    EXPECT_EQ(OL_GetExpanded(copy), 0);
    OL_WCHAR note[16];
    EXPECT_EQ(OL_GetNote(copy, note), 9);
    EXPECT_EQ(std::u16string(note), u"by Friday");
    OL_GetDrawingSize(copy);
    EXPECT_EQ(OL_GetSizeX(), 6);
    EXPECT_EQ(OL_GetSizeY(), 5);
    void* drawing = OL_GetDrawing(copy);
    ASSERT_NE(drawing, nullptr);
    EXPECT_EQ(DIBBitCount(MemGetPtr(drawing)), 4);
    MemFree(drawing);
    OL_DeleteOutlineDB(db);
}

}  // namespace
