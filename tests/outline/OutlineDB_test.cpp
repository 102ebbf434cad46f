#include "notestore/outline/OutlineDB.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "notestore/categories/CategoryDB.h"
#include "notestore/drawings/Dib.h"
#include "notestore/foundation/File.h"
#include "notestore/foundation/Messages.h"
#include "outline/HeaderBlocks.h"
#include "support/Caught.h"
#include "support/LogTail.h"

namespace {

using namespace outlinetest;
using testsupport::Catch;
using testsupport::Caught;
using testsupport::LogTail;
using zr_gen::_String;
using zr_gen::CFile;
using zr_gen::CLinkedOutlRec;
using zr_gen::CMemOutlDB;
using zr_gen::COutlineDB;
using zr_gen::COutlineRecord;
using zr_gen::CPrivateOutlineHeader;
using zr_gen::CSharedHeader;
using zr_gen::WINDOWPLACEMENT;

constexpr uint32_t kCreate = CFile::kCreate | CFile::kModeReadWrite;
constexpr uint32_t kReadWrite = CFile::kModeReadWrite;
// Db info, the table of three headers, their slots.
constexpr size_t kDeletedIdsOffset = 10 + 2 + 3 * 6 + 255 + 512 + 512;

// Reaches the private header, which only the document's own accessors touch.
class TestOutlineDB : public COutlineDB {
public:
    using COutlineDB::GetPrivateOutlineHeaderPtr;
};

std::u16string Str(const _String& text) { return std::u16string(text.Text()); }

std::u16string TitleOf(COutlineDB& db) {
    _String title;
    db.GetOutlineTitle(title);
    return Str(title);
}

std::u16string CategoryOf(COutlineDB& db) {
    _String name;
    db.GetCategoryName(name);
    return Str(name);
}

std::u16string TextOf(COutlineRecord* record) {
    _String text;
    record->GetText(text);
    return Str(text);
}

bool RaisedMessage(const Caught& caught, uint32_t id) {
    _String message;
    EXPECT_TRUE(message.LoadStringW(id));
    return caught.raised() && caught.text.starts_with(message.Text());
}

class OutlineDB : public ::testing::Test {
protected:
    void SetUp() override { zr_gen::CCategoryDB::setUnfiledCategoryName(u"Unfiled"); }
    std::u16string Path() const { return dir.File("notes.zro"); }
    Bytes Stored() const { return testsupport::ReadFileBytes(dir.path() / "notes.zro"); }
    void Store(const Bytes& bytes) const { testsupport::WriteFileBytes(dir.path() / "notes.zro", bytes); }

    // Creates the file from the document as the caller does for a new one.
    void Save(COutlineDB& db) const {
        ASSERT_EQ(db.Open(Path().c_str(), kCreate), 1);
        db.InitNewDatabase();
        db.WriteAllHeaders();
        db.WriteRows();
        db.Close();
    }

    // Opens the file and reads headers and rows as the caller does.
    void Load(COutlineDB& db) const {
        ASSERT_EQ(db.Open(Path().c_str(), kReadWrite), 1);
        db.ReadSharedHeader();
        db.ReadPrivateHeader();
        db.ReadRows();
    }

    testsupport::TempDir dir;
};

TEST_F(OutlineDB, ANewDocumentIsStoredWithItsHeadersAndAnEmptyDeletedList) {
    COutlineDB db;
    Save(db);
    const Bytes stored = Stored();
    ASSERT_EQ(stored.size(), kDeletedIdsOffset + 4);
    const Bytes info =
        ByteWriter().U32(0x12345678).U16(0).U32(0).U16(3).U16(1).U32(255).U16(2).U32(512).U16(3).U32(512).bytes;
    EXPECT_EQ(testsupport::Slice(stored, 0, info.size()), info);
    CSharedHeader shared;
    const Bytes sharedBlock = Block(shared);
    EXPECT_EQ(testsupport::Slice(stored, 30 + 255, 4 + sharedBlock.size()),
              ByteWriter().U32(static_cast<uint32_t>(sharedBlock.size())).Raw(sharedBlock).bytes);
    EXPECT_EQ(testsupport::Slice(stored, kDeletedIdsOffset, 4), Bytes(4, 0));

    COutlineDB fresh;
    Load(fresh);
    EXPECT_EQ(TitleOf(fresh), u"Untitled");
    EXPECT_EQ(CategoryOf(fresh), u"Unfiled");
    EXPECT_EQ(fresh.GetShowCheckedItems(), 1);
    EXPECT_TRUE(fresh.ShowCheckedItemsChanged());
    EXPECT_EQ(fresh.GetShowHeadingsMode(), 10);
    EXPECT_EQ(fresh.GetSelectedIndex(), 0u);
    EXPECT_EQ(fresh.GetTopIndex(), 0u);
    EXPECT_TRUE(fresh.GetOutlineChanged());
    EXPECT_FALSE(fresh.GetSynchronized());
    EXPECT_FALSE(fresh.GetPrivate());
    EXPECT_EQ(fresh.getNumberingDivider(), 0);
    EXPECT_EQ(fresh.GetRecordset()->getSize(), 0);
}

TEST_F(OutlineDB, ADocumentComesBackWithItsItemsHeadersAndDeletedIds) {
    {
        COutlineDB db;
        db.SetOutlineTitle(u"Groceries");
        db.SetCategoryName(u"Home");
        db.SetSelectedIndex(2);
        db.SetTopIndex(1);
        db.setNumberingDivider(46);
        LOGFONTW font{};
        font.lfHeight = -13;
        font.lfWeight = 700;
        font.lfItalic = 1;
        std::u16string(u"Tahoma").copy(font.lfFaceName, 6);
        db.SetOutlineFont(font, 0x00FF8000);
        for (uint32_t id : {7u, 7u, 9u}) db.AddDeletedId(id);
        const char16_t* texts[] = {u"Milk", u"Bread \u20AC2", u"Eggs"};
        for (uint32_t i = 0; i < 3; ++i) {
            auto* item = static_cast<COutlineRecord*>(db.GetRecordset()->Append());
            item->SetId(100 + i);
            item->SetIndent(static_cast<uint8_t>(i));
            item->SetText(texts[i]);
        }
        static_cast<COutlineRecord*>(db.getRecord(1))->SetNote(u"wholemeal");
        static_cast<COutlineRecord*>(db.getRecord(2))->SetDrawing(CreateDIB(24, 16, 8));
        Save(db);
    }
    TestOutlineDB db;
    Load(db);
    EXPECT_EQ(TitleOf(db), u"Groceries");
    EXPECT_EQ(CategoryOf(db), u"Home");
    EXPECT_EQ(db.GetSelectedIndex(), 2u);
    EXPECT_EQ(db.GetTopIndex(), 1u);
    EXPECT_EQ(db.getNumberingDivider(), 46);
    LOGFONTW font{};
    uint32_t color = 0;
    db.GetOutlineFont(font, &color);
    EXPECT_EQ(font.lfHeight, -13);
    EXPECT_EQ(font.lfWeight, 700);
    EXPECT_EQ(font.lfItalic, 1);
    EXPECT_EQ(std::u16string(font.lfFaceName), u"Tahoma");
    EXPECT_EQ(color, 0x00FF8000u);
    EXPECT_EQ(db.GetDeletedIds().Ids(), (std::vector<uint32_t>{7, 7, 9}));
    ASSERT_EQ(db.GetRecordset()->getSize(), 3);
    auto* second = static_cast<COutlineRecord*>(db.getRecord(1));
    EXPECT_EQ(TextOf(second), u"Bread \u20AC2");
    EXPECT_EQ(second->GetIndent(), 1);
    EXPECT_EQ(second->GetId(), 101u);
    _String note;
    second->GetNote(note);
    EXPECT_EQ(Str(note), u"wholemeal");
    int32_t width = 0, height = 0;
    static_cast<COutlineRecord*>(db.getRecord(2))->GetDrawingSize(width, height);
    EXPECT_EQ(width, 24);
    EXPECT_EQ(height, 16);
    EXPECT_TRUE(db.IsDeleted(9));
    EXPECT_FALSE(db.IsDeleted(second));
}

TEST_F(OutlineDB, DeletedIdsKeepDuplicatesAndLoseOneOccurrenceAtATime) {
    COutlineDB db;
    db.AddDeletedId(7);
    db.AddDeletedId(7);
    db.removeDeletedId(7);
    EXPECT_TRUE(db.IsDeleted(7));
    db.removeDeletedId(7);
    EXPECT_FALSE(db.IsDeleted(7));
    db.removeDeletedId(7);  // absent: nothing happens
    EXPECT_TRUE(db.GetDeletedIds().Ids().empty());
}

TEST_F(OutlineDB, DeleteAllEmptiesTheDocumentAndListsTheNonZeroIdsWhenAsked) {
    for (bool keep : {true, false}) {
        SCOPED_TRACE(keep);
        COutlineDB db;
        db.AddDeletedId(3);
        for (uint32_t id : {0u, 5u, 0u, 9u}) static_cast<COutlineRecord*>(db.GetRecordset()->Append())->SetId(id);
        db.DeleteAll(keep);
        EXPECT_EQ(db.GetRecordset()->getSize(), 0);
        const std::vector<uint32_t> expected = keep ? std::vector<uint32_t>{5, 9} : std::vector<uint32_t>{};
        EXPECT_EQ(db.GetDeletedIds().Ids(), expected);
    }
    COutlineDB db;
    auto* record = static_cast<COutlineRecord*>(db.GetRecordset()->Append());
    record->SetId(4);
    db.Delete(record);
    EXPECT_EQ(db.GetRecordset()->getSize(), 0);
    EXPECT_FALSE(db.IsDeleted(4)) << "Delete does not remember the id";
}

TEST_F(OutlineDB, AWrongVersionClosesTheDocumentAndRaisesForTheLinkedKind) {
    {
        COutlineDB db;
        Save(db);
    }
    Bytes stored = Stored();
    stored[4] = 1;  // version 1
    Store(stored);
    const LogTail tail;
    COutlineDB db;
    EXPECT_EQ(db.Open(Path().c_str(), kReadWrite), 0);
    EXPECT_FALSE(db.IsOpen());
    const auto lines = tail.Lines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
        return line.starts_with("line ") && line.find(" exception The db version is newer") != std::string::npos &&
               line.ends_with(" nm 3");
    }));

    CMemOutlDB linked;
    EXPECT_TRUE(RaisedMessage(Catch([&] { linked.Open(Path().c_str(), kReadWrite); }), zr_gen::kMsgMemoryDbVersion));
}

TEST_F(OutlineDB, ADeletedListLongerThanTheFileIsAReadError) {
    {
        COutlineDB db;
        db.AddDeletedId(1);
        db.AddDeletedId(2);
        Save(db);
    }
    Bytes stored = Stored();
    stored[kDeletedIdsOffset] = 3;  // three ids announced, two there
    Store(stored);
    COutlineDB db;
    ASSERT_EQ(db.Open(Path().c_str(), kReadWrite), 1);
    EXPECT_TRUE(RaisedMessage(Catch([&] { db.ReadRows(); }), zr_gen::kMsgFileReadError));
    EXPECT_TRUE(db.GetDeletedIds().Ids().empty());
}

TEST_F(OutlineDB, WindowPlacementIsStoredTopBeforeLeftAndComesBackWhole) {
    TestOutlineDB db;
    WINDOWPLACEMENT placement;
    placement.flags = 5;
    placement.showCmd = 1;
    placement.ptMinPosition = {-1, -2};
    placement.ptMaxPosition = {7, 8};
    placement.rcNormalPosition = {1, 2, 3, 4};
    db.SetOutlineWindowPos(placement);
    const auto* stored = reinterpret_cast<const uint8_t*>(
        db.GetPrivateOutlineHeaderPtr()->getTaggedDataManager().getDataPtr(CPrivateOutlineHeader::kWindowPosTag, 40));
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(Bytes(stored + 24, stored + 40), ByteWriter().U32(2).U32(1).U32(3).U32(4).bytes);

    WINDOWPLACEMENT back;
    db.GetOutlineWindowPos(back);
    EXPECT_EQ(back.length, 44u);
    EXPECT_EQ(back.flags, 5u);
    EXPECT_EQ(back.ptMinPosition.y, -2);
    EXPECT_EQ(back.ptMaxPosition.x, 7);
    EXPECT_EQ(back.rcNormalPosition.left, 1);
    EXPECT_EQ(back.rcNormalPosition.top, 2);
    EXPECT_EQ(back.rcNormalPosition.right, 3);
    EXPECT_EQ(back.rcNormalPosition.bottom, 4);
}

TEST_F(OutlineDB, AFaceNameTooLongForTheFontRecordIsCutAndAMissingColourIsZero) {
    TestOutlineDB db;
    LOGFONTW font{};
    font.lfHeight = 12;
    std::fill(std::begin(font.lfFaceName), std::end(font.lfFaceName), u'x');  // no terminator
    db.SetOutlineFont(font, 9);
    CPrivateOutlineHeader* header = db.GetPrivateOutlineHeaderPtr();
    _String face;
    header->GetFontName(face);
    EXPECT_EQ(Str(face), std::u16string(31, u'x')) << "the field, not beyond, cut to the stored limit";

    // A file may hold a longer name than the library stores.
    ASSERT_EQ(header->getTaggedDataManager().setString(CPrivateOutlineHeader::kFontNameTag,
                                                         std::u16string(40, u'a').c_str(), nullptr),
              0);
    ASSERT_EQ(header->getTaggedDataManager().deleteData(CPrivateOutlineHeader::kFontColorTag), 0);
    LOGFONTW back{};
    uint32_t color = 77;
    db.GetOutlineFont(back, &color);
    EXPECT_EQ(std::u16string(back.lfFaceName), std::u16string(31, u'a')) << "cut to fit, terminated";
    EXPECT_EQ(color, 0u);
}

TEST_F(OutlineDB, HeaderComparisonsLookOnlyAtTheirFields) {
    struct Case {
        const char* what;
        std::function<void(COutlineDB&)> edit;
        bool sharedEqual, privateEqual;
    };
    const uint8_t numbering[10] = {1};
    const Case cases[] = {
        {"synchronized", [](auto& db) { db.SetSynchronized(true); }, true, true},
        {"match name", [](auto& db) { db.GetSharedHeaderPtr()->SetPalmMatchName(u"m"); }, true, true},
        {"category", [](auto& db) { db.SetCategoryName(u"unfiled"); }, false, true},
        {"private", [](auto& db) { db.SetPrivate(true); }, false, true},
        {"numbering", [&](auto& db) { db.setNumbering(numbering); }, false, true},
        {"divider", [](auto& db) { db.setNumberingDivider(1); }, false, true},
        {"title", [](auto& db) { db.SetOutlineTitle(u"untitled"); }, true, false},
        {"show checked", [](auto& db) { db.SetShowCheckedItems(0); }, true, false},
        {"selection", [](auto& db) { db.SetSelectedIndex(3); }, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        COutlineDB mine;
        COutlineDB theirs;
        c.edit(theirs);
        EXPECT_EQ(mine.compareSharedHeader(&theirs), c.sharedEqual);
        EXPECT_EQ(mine.comparePrivateHeader(&theirs), c.privateEqual);
        mine.copySharedHeader(&theirs);
        mine.copyPrivateHeader(&theirs);
        EXPECT_TRUE(mine.compareSharedHeader(&theirs));
        EXPECT_TRUE(mine.comparePrivateHeader(&theirs));
    }
}

TEST_F(OutlineDB, ALinkedOutlineKeepsItsRowsBehindTheDbInfo) {
    {
        CMemOutlDB db;
        ASSERT_EQ(db.Open(Path().c_str(), kCreate), 1);
        for (uint32_t id : {1u, 2u}) {
            auto* item = static_cast<CLinkedOutlRec*>(db.GetRecordset()->Append());
            item->setInternalId(id);
            item->setParentId(id - 1);
        }
        db.WriteRows();
        db.Close();
    }
    const Bytes stored = Stored();
    EXPECT_EQ(testsupport::Slice(stored, 0, 14),
              ByteWriter().U32(0x12345678).U16(10).U32(2).Raw({0x50, 0x4B, 1, 2}).bytes);

    // Loaded without the header table: open as it is, then the db info and rows.
    CMemOutlDB db;
    ASSERT_EQ(db.Open(Path().c_str(), CFile::kCreate | CFile::kNoTruncate | kReadWrite), 1);
    db.ReadDbInfo();
    db.ReadRows();
    ASSERT_EQ(db.GetRecordset()->getSize(), 2);
    auto* second = static_cast<CLinkedOutlRec*>(db.getRecord(1));
    EXPECT_EQ(second->getInternalId(), 2u);
    EXPECT_EQ(second->getParentId(), 1u);
    EXPECT_TRUE(second->GetExpanded());
}

}  // namespace
