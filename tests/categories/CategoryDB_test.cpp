#include "notestore/categories/CategoryDB.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "notestore/foundation/File.h"
#include "notestore/foundation/Messages.h"
#include "platform/Faults.h"
#include "support/Bytes.h"
#include "support/Caught.h"
#include "support/LogTail.h"
#include "support/TempDir.h"

namespace {

using testsupport::ByteWriter;
using testsupport::Bytes;
using testsupport::Caught;
using zr_gen::CCategoryDB;
using zr_gen::CCategoryIterator;
using zr_gen::CCategoryRecord;
using zr_gen::CFile;
using zr_gen::CTime;
using zr_gen::_String;

constexpr uint32_t kCreate = CFile::kCreate | CFile::kModeReadWrite;
constexpr uint32_t kReadWrite = CFile::kModeReadWrite;
constexpr uint32_t kReadOnly = CFile::kModeRead | CFile::kShareRead;
constexpr char16_t kUnfiled[] = u"Unfiled";
// Db info, the header table with the conduit header's entry, its 255-byte slot.
constexpr size_t kExtraRowsOffset = 10 + 2 + 6 + 255;

// Reaches the allocator's state, which only files and the allocator set.
class TestCategoryDB : public CCategoryDB {
public:
    uint32_t LastId() const { return lastCategoryId_; }
    void SetLastId(uint32_t id) { lastCategoryId_ = id; }
};

std::u16string NameOf(CCategoryRecord* record) {
    _String name;
    record->GetCategoryName(name);
    return std::u16string(name.Text());
}

std::u16string MessageText(uint32_t id) {
    _String text;
    EXPECT_TRUE(text.LoadStringW(id));
    return std::u16string(text.Text());
}

bool RaisedMessage(const Caught& caught, uint32_t id) {
    return caught.raised() && caught.text.starts_with(MessageText(id));
}

// ---- stored form, built independently of the classes under test ----

struct StoredRow {
    uint8_t flag;
    uint32_t id;
    uint32_t time;
    std::string name;
};

Bytes LE32(uint32_t value) { return ByteWriter().U32(value).bytes; }

Bytes RowTags(const StoredRow& row) {
    Bytes name(row.name.begin(), row.name.end());
    name.push_back(0);
    return ByteWriter()
        .Tag(1, {row.flag})
        .Tag(2, {0})
        .Tag(5, LE32(row.id))
        .Tag(7, LE32(row.time))
        .Tag(0x10006, name)
        .bytes;
}

Bytes FramedRow(const Bytes& tags) {
    return ByteWriter()
        .Raw({0x50, 0x4B, 0x01, 0x02})
        .U32(static_cast<uint32_t>(tags.size()))
        .Raw(tags)
        .Raw({0x50, 0x4B, 0x03, 0x04})
        .bytes;
}

// A category file; newFlag is absent for the version-0 layout.
Bytes CategoryFile(uint16_t version, uint32_t lastId, std::optional<uint8_t> newFlag, const std::vector<Bytes>& rows) {
    ByteWriter file;
    file.U32(0x12345678).U16(version).U32(static_cast<uint32_t>(rows.size()));
    file.U16(1).U16(1).U32(255).Zeros(255);
    file.U32(lastId);
    if (newFlag) file.U8(*newFlag);
    for (const Bytes& row : rows) file.Raw(row);
    return file.bytes;
}

constexpr uint8_t kNewFlag = 0x80;

class CategoryDBTest : public ::testing::Test {
protected:
    void SetUp() override { CCategoryDB::setUnfiledCategoryName(kUnfiled); }

    // A new database in memory: the unfiled category, then `names` in slots 1….
    void Populate(TestCategoryDB& db, std::initializer_list<const char16_t*> names) {
        db.InitNewDatabase();
        const CTime time(1000);
        for (const char16_t* name : names) ASSERT_NE(db.AddNewCategory(name, &time), nullptr);
    }

    std::u16string Path() const { return dir.File("categories.db"); }
    Bytes Stored() const { return testsupport::ReadFileBytes(dir.path() / "categories.db"); }
    void Store(const Bytes& bytes) const { testsupport::WriteFileBytes(dir.path() / "categories.db", bytes); }

    testsupport::TempDir dir;
};

// ---- a new database and the id allocator ----

TEST_F(CategoryDBTest, NewDatabaseHoldsTheUnfiledCategoryInSlotZero) {
    TestCategoryDB db;
    EXPECT_EQ(db.GetVersionNum(), 1u);
    EXPECT_TRUE(db.isNew());
    db.InitNewDatabase();
    ASSERT_EQ(db.GetCatRecordset()->getSize(), 1);
    CCategoryRecord* unfiled = db.GetByIndex(0);
    EXPECT_EQ(unfiled->GetCategoryId(), 0u);
    EXPECT_EQ(NameOf(unfiled), kUnfiled);
    EXPECT_TRUE(unfiled->IsNew());
    EXPECT_FALSE(unfiled->IsEmpty());
    EXPECT_EQ(db.LastId(), 128u);
    EXPECT_EQ(db.GetCategoryCount(), 1);
    EXPECT_FALSE(db.isFull());
}

TEST_F(CategoryDBTest, FirstAddedCategoryGets129InSlot1) {
    TestCategoryDB db;
    db.InitNewDatabase();
    const CTime time(4242);
    CCategoryRecord* work = db.AddNewCategory(u"Work", &time);
    EXPECT_EQ(work, db.GetByIndex(1));
    EXPECT_EQ(work->GetCategoryId(), 129u);
    EXPECT_EQ(NameOf(work), u"Work");
    EXPECT_EQ(work->GetLastChangedTime().GetTime(), 4242u);
    EXPECT_TRUE(work->IsNew());
    EXPECT_FALSE(work->IsChanged());
    EXPECT_EQ(db.LastId(), 129u);
}

TEST_F(CategoryDBTest, NullTimeStampsTheCurrentTime) {
    TestCategoryDB db;
    db.InitNewDatabase();
    const uint32_t before = CTime::GetCurrentTime().GetTime();
    CCategoryRecord* work = db.AddNewCategory(u"Work", nullptr);
    const uint32_t after = CTime::GetCurrentTime().GetTime();
    EXPECT_GE(work->GetLastChangedTime().GetTime(), before);
    EXPECT_LE(work->GetLastChangedTime().GetTime(), after);
}

struct AllocationCase {
    const char* name;
    uint32_t lastId;
    std::vector<uint32_t> liveIds;
    uint32_t expected;  // 0: message 19
    uint32_t lastAfter;
};

TEST_F(CategoryDBTest, IdAllocation) {
    const AllocationCase cases[] = {
        {"next after the last", 128, {}, 129, 129},
        {"skips live ids", 128, {129, 130}, 131, 131},
        {"wraps from 255 to 128", 255, {}, 128, 128},
        {"wraps once, then skips", 255, {128, 129}, 130, 130},
        {"no second wrap: 251..255 used from 250", 250, {251, 252, 253, 254, 255}, 0, 256},
        {"ids of holes are free", 128, {}, 129, 129},
        {"a stored value near 2^32 restarts at 128", 0xFFFFFFFF, {}, 128, 128},
        {"a stored value below the range restarts at 128", 5, {}, 128, 128},
    };
    for (const AllocationCase& c : cases) {
        SCOPED_TRACE(c.name);
        TestCategoryDB db;
        db.InitNewDatabase();
        const CTime time(1);
        for (uint32_t id : c.liveIds) db.AddNewCategory(id, u"used", &time);
        db.SetLastId(c.lastId);
        uint32_t id = 0;
        const Caught caught = testsupport::Catch([&] { id = db.GetNewCategoryId(); });
        if (c.expected == 0) {
            EXPECT_TRUE(RaisedMessage(caught, zr_gen::kMsgNoFreeCategoryId)) << testing::PrintToString(caught.text);
            EXPECT_EQ(caught.number, 18u);
        } else {
            EXPECT_FALSE(caught.raised());
            EXPECT_EQ(id, c.expected);
        }
        EXPECT_EQ(db.LastId(), c.lastAfter);
    }
}

TEST_F(CategoryDBTest, AfterRunningOutTheNextAllocationStartsOverAt128) {
    TestCategoryDB db;
    db.InitNewDatabase();
    const CTime time(1);
    for (uint32_t id = 251; id <= 255; ++id) db.AddNewCategory(id, u"used", &time);
    db.SetLastId(250);
    EXPECT_TRUE(testsupport::Catch([&] { db.GetNewCategoryId(); }).raised());
    EXPECT_EQ(db.GetNewCategoryId(), 128u);
}

TEST_F(CategoryDBTest, AddWithAnIdInUseIsAssertedAndGoesOn) {
    TestCategoryDB db;
    Populate(db, {u"Work"});
    testsupport::LogTail log;
    const CTime time(1);
    CCategoryRecord* twin = db.AddNewCategory(129, u"Twin", &time);
    EXPECT_EQ(twin->GetCategoryId(), 129u);
    EXPECT_EQ(db.LastId(), 129u) << "a given id does not move the allocator";
    ASSERT_EQ(log.Lines().size(), 1u);
    EXPECT_TRUE(log.Lines()[0].starts_with("Assertion Failed! File CategoryDB.cpp")) << log.Lines()[0];
}

// ---- slots: holes, deleting, undeleting, the limit ----

TEST_F(CategoryDBTest, DeletedSlotIsReusedLiveWithANewId) {
    TestCategoryDB db;
    Populate(db, {u"A", u"B", u"C"});
    CCategoryRecord* c = db.GetByIndex(3);
    db.DeleteCategory(c, CTime(77));
    EXPECT_TRUE(c->IsEmpty());
    EXPECT_TRUE(c->IsDeleted());
    EXPECT_FALSE(c->IsChanged());
    EXPECT_EQ(c->GetLastChangedTime().GetTime(), 77u);
    EXPECT_EQ(db.GetCategoryCount(), 3);
    EXPECT_EQ(db.FindCategory(u"C"), nullptr);
    EXPECT_EQ(db.FindFirstHole(), 3u);

    // The allocator's next id is the one the deleted category had: the
    // reused slot must not hand it back.
    db.SetLastId(130);
    const CTime time(88);
    CCategoryRecord* d = db.AddNewCategory(u"D", &time);
    EXPECT_EQ(d, c);
    EXPECT_EQ(db.GetCatRecordset()->getSize(), 4);
    EXPECT_FALSE(d->IsEmpty());
    EXPECT_FALSE(d->IsDeleted());
    EXPECT_TRUE(d->IsNew());
    EXPECT_EQ(d->GetCategoryId(), 132u);
    EXPECT_EQ(NameOf(d), u"D");
    EXPECT_EQ(d->GetLastChangedTime().GetTime(), 88u);
}

TEST_F(CategoryDBTest, NoFreeIdLeavesEverySlotAsItWas) {
    const struct {
        const char* name;
        bool withHole;
    } cases[] = {{"a deleted slot to reuse", true}, {"no hole: a slot is appended", false}};
    for (const auto& c : cases) {
        TestCategoryDB db;
        Populate(db, {u"A"});
        const CTime time(1);
        for (uint32_t id = 251; id <= 255; ++id) db.AddNewCategory(id, u"used", &time);
        CCategoryRecord* a = db.GetByIndex(1);
        if (c.withHole) db.DeleteCategory(a, CTime(5));
        db.SetLastId(250);
        const int32_t slots = db.GetCatRecordset()->getSize();

        const Caught caught = testsupport::Catch([&] { db.AddNewCategory(u"New", &time); });
        EXPECT_TRUE(RaisedMessage(caught, zr_gen::kMsgNoFreeCategoryId)) << c.name;
        EXPECT_EQ(db.GetCatRecordset()->getSize(), slots) << c.name;
        EXPECT_EQ(a->IsEmpty(), c.withHole) << c.name;
        EXPECT_EQ(a->IsDeleted(), c.withHole) << c.name;
        EXPECT_EQ(a->GetCategoryId(), 129u) << c.name;
        EXPECT_EQ(NameOf(a), u"A") << c.name;
        EXPECT_EQ(db.GetCategoryCount(), c.withHole ? 6 : 7) << c.name;  // the unfiled category too
    }
}

TEST_F(CategoryDBTest, HoleSearchAppendsWhenThereIsNoHole) {
    TestCategoryDB db;
    Populate(db, {u"A"});
    EXPECT_EQ(db.FindFirstHole(), 2u);
    ASSERT_EQ(db.GetCatRecordset()->getSize(), 3);
    CCategoryRecord* appended = db.GetByIndex(2);
    EXPECT_FALSE(appended->IsEmpty()) << "an appended record is as Init made it";
    EXPECT_EQ(appended->GetCategoryId(), 0u);
    EXPECT_EQ(NameOf(appended), u"");
    EXPECT_EQ(appended->GetLastChangedTime().GetTime(), 0u);
    EXPECT_FALSE(appended->IsNew());
    EXPECT_FALSE(appended->IsDeleted());
}

TEST_F(CategoryDBTest, UndeleteGivesANewId) {
    TestCategoryDB db;
    Populate(db, {u"A", u"B"});
    CCategoryRecord* b = db.GetByIndex(2);
    ASSERT_EQ(b->GetCategoryId(), 130u);
    db.DeleteCategory(b, CTime(5));
    db.SetLastId(140);
    db.UndeleteCategory(b, CTime(6));
    EXPECT_EQ(b->GetCategoryId(), 141u);
    EXPECT_FALSE(b->IsEmpty());
    EXPECT_FALSE(b->IsDeleted());
    EXPECT_TRUE(b->IsNew());
    EXPECT_TRUE(b->IsChanged());
    EXPECT_EQ(b->GetLastChangedTime().GetTime(), 6u);
    EXPECT_EQ(db.FindCategory(u"B"), b);
}

TEST_F(CategoryDBTest, UndeleteWithoutAFreeIdLeavesTheRecordDeleted) {
    TestCategoryDB db;
    Populate(db, {u"A"});
    const CTime time(1);
    for (uint32_t id = 251; id <= 255; ++id) db.AddNewCategory(id, u"used", &time);
    CCategoryRecord* a = db.GetByIndex(1);
    db.DeleteCategory(a, CTime(5));
    db.SetLastId(250);
    const Caught caught = testsupport::Catch([&] { db.UndeleteCategory(a, CTime(6)); });
    EXPECT_TRUE(RaisedMessage(caught, zr_gen::kMsgNoFreeCategoryId));
    EXPECT_TRUE(a->IsEmpty());
    EXPECT_TRUE(a->IsDeleted());
    EXPECT_EQ(a->GetLastChangedTime().GetTime(), 5u);
}

TEST_F(CategoryDBTest, SeventeenthCategoryRaisesMessage21AndLeavesSixteenSlots) {
    using AddForm = std::function<CCategoryRecord*(TestCategoryDB&, const CTime&)>;
    const std::pair<const char*, AddForm> forms[] = {
        {"allocated id", [](TestCategoryDB& db, const CTime& t) { return db.AddNewCategory(u"X", &t); }},
        {"given id", [](TestCategoryDB& db, const CTime& t) { return db.AddNewCategory(200, u"X", &t); }},
    };
    for (const auto& [name, add] : forms) {
        SCOPED_TRACE(name);
        TestCategoryDB db;
        db.InitNewDatabase();
        const CTime time(1);
        for (int i = 1; i < 16; ++i) ASSERT_NE(db.AddNewCategory(u"c", &time), nullptr);
        EXPECT_EQ(db.GetCategoryCount(), 16);
        EXPECT_TRUE(db.isFull());
        const uint32_t lastBefore = db.LastId();
        testsupport::LogTail log;
        // Through the element, not the binding: clang 14 cannot capture a structured binding.
        const Caught caught = testsupport::Catch([&, &addForm = add] { addForm(db, time); });
        EXPECT_TRUE(RaisedMessage(caught, zr_gen::kMsgMaxCategories)) << testing::PrintToString(caught.text);
        EXPECT_EQ(caught.number, 20u);
        EXPECT_EQ(db.GetCatRecordset()->getSize(), 16) << "the record the hole search appended is taken back";
        EXPECT_EQ(db.LastId(), lastBefore) << "no id is spent on a failed add";
        ASSERT_FALSE(log.Lines().empty());
        EXPECT_TRUE(log.Lines()[0].starts_with("Assertion Failed! File CategoryDB.cpp"))
            << "the count is asserted first";
    }
}

TEST_F(CategoryDBTest, AddIntoAGivenSlotGrowsWithHoles) {
    TestCategoryDB db;
    db.InitNewDatabase();
    CCategoryRecord* placed = db.AddNewCategory(150, u"Far", CTime(9), 4);
    ASSERT_EQ(db.GetCatRecordset()->getSize(), 5);
    EXPECT_EQ(placed, db.GetByIndex(4));
    EXPECT_EQ(placed->GetCategoryId(), 150u);
    EXPECT_TRUE(placed->IsNew());
    EXPECT_FALSE(placed->IsEmpty());
    for (uint32_t slot = 1; slot < 4; ++slot) EXPECT_TRUE(db.GetByIndex(slot)->IsEmpty()) << slot;
    EXPECT_EQ(db.LastId(), 128u);
    EXPECT_EQ(db.GetCategoryCount(), 2);
    EXPECT_EQ(db.FindFirstHole(), 1u);
}

TEST_F(CategoryDBTest, SlotsBeyondTheLimitAreRefused) {
    TestCategoryDB db;
    db.InitNewDatabase();
    testsupport::LogTail log;
    EXPECT_EQ(db.AddNewCategory(150, u"Far", CTime(9), 16), nullptr);
    db.ResizeDB(16);
    db.ResizeDB(0xFFFFFFFF);
    EXPECT_EQ(db.GetByIndex(16), nullptr);
    EXPECT_EQ(db.GetCatRecordset()->getSize(), 1);
    EXPECT_EQ(log.Lines().size(), 4u) << "each refusal is asserted";
    db.ResizeDB(15);
    EXPECT_EQ(db.GetCatRecordset()->getSize(), 16);
    EXPECT_EQ(db.GetCategoryCount(), 1);
}

TEST_F(CategoryDBTest, DeleteAllEmptiesAndResetsTheAllocator) {
    TestCategoryDB db;
    Populate(db, {u"A", u"B"});
    db.deleteAllCategories();
    EXPECT_EQ(db.GetCatRecordset()->getSize(), 0);
    EXPECT_EQ(db.GetCategoryCount(), 0);
    EXPECT_EQ(db.LastId(), 128u);
    EXPECT_EQ(db.GetNewCategoryId(), 129u);
}

// ---- names and ids ----

TEST_F(CategoryDBTest, FindingIsExactAndSkipsHoles) {
    TestCategoryDB db;
    Populate(db, {u"Work", u"Home"});
    EXPECT_EQ(db.FindCategory(u"Work"), db.GetByIndex(1));
    EXPECT_EQ(db.FindCategory(u"work"), nullptr);
    EXPECT_EQ(db.FindCategory(u"Wor"), nullptr);
    EXPECT_EQ(db.FindCategory(u"Works"), nullptr);
    EXPECT_EQ(db.FindCategory(130u), db.GetByIndex(2));
    EXPECT_EQ(db.FindCategory(0u), db.GetByIndex(0));
    EXPECT_EQ(db.FindCategory(131u), nullptr);
    db.DeleteCategory(db.GetByIndex(2), CTime(1));
    EXPECT_EQ(db.FindCategory(u"Home"), nullptr);
    EXPECT_EQ(db.FindCategory(130u), nullptr);
}

TEST_F(CategoryDBTest, RenameAndSetIdMarkTheRecordChanged) {
    TestCategoryDB db;
    Populate(db, {u"Work"});
    CCategoryRecord* work = db.GetByIndex(1);
    db.RenameCategory(work, u"Job", CTime(321));
    EXPECT_EQ(NameOf(work), u"Job");
    EXPECT_EQ(work->GetLastChangedTime().GetTime(), 321u);
    EXPECT_EQ(work->GetCategoryId(), 129u);
    EXPECT_TRUE(work->IsChanged());

    CCategoryRecord* unfiled = db.GetByIndex(0);
    db.SetCategoryID(unfiled, 140);
    EXPECT_EQ(db.GetCategoryID(unfiled), 140u);
    EXPECT_TRUE(unfiled->IsChanged());
    _String name;
    db.GetCategoryName(work, name);
    EXPECT_EQ(std::u16string(name.Text()), u"Job");
}

TEST_F(CategoryDBTest, NullRecordsAreAssertedAndChangeNothing) {
    TestCategoryDB db;
    Populate(db, {u"Work"});
    testsupport::LogTail log;
    db.DeleteCategory(nullptr, CTime(1));
    db.UndeleteCategory(nullptr, CTime(1));
    db.RenameCategory(nullptr, u"x", CTime(1));
    db.SetCategoryID(nullptr, 5);
    EXPECT_EQ(db.GetCategoryID(nullptr), 0u);
    _String name(u"left over");
    db.GetCategoryName(nullptr, name);
    EXPECT_TRUE(name.empty());
    EXPECT_EQ(db.FindCategory(static_cast<const char16_t*>(nullptr)), nullptr);
    EXPECT_EQ(log.Lines().size(), 7u);
    EXPECT_EQ(db.LastId(), 129u);
    EXPECT_EQ(db.GetCategoryCount(), 2);
}

// ---- desktop renumbering ----

TEST_F(CategoryDBTest, DesktopRenumberingInSlotOrder) {
    TestCategoryDB db;
    db.InitNewDatabase();
    const CTime time(1);
    CCategoryRecord* a = db.AddNewCategory(200, u"A", &time);
    CCategoryRecord* b = db.AddNewCategory(131, u"B", &time);
    db.setDesktopCategoryIDs();
    EXPECT_EQ(db.GetByIndex(0)->GetCategoryId(), 0u);
    EXPECT_EQ(a->GetCategoryId(), 129u);
    EXPECT_EQ(b->GetCategoryId(), 130u);
    EXPECT_EQ(db.LastId(), 130u);
    EXPECT_FALSE(a->IsChanged());
    EXPECT_FALSE(b->IsChanged());
}

TEST_F(CategoryDBTest, DesktopRenumberingSkipsHolesAndFixesTheUnfiledId) {
    TestCategoryDB db;
    Populate(db, {u"A", u"B", u"C"});
    db.GetByIndex(0)->SetCategoryId(170);
    db.DeleteCategory(db.GetByIndex(2), CTime(1));
    db.setDesktopCategoryIDs();
    EXPECT_EQ(db.GetByIndex(0)->GetCategoryId(), 0u);
    EXPECT_EQ(db.GetByIndex(1)->GetCategoryId(), 129u);
    EXPECT_EQ(db.GetByIndex(2)->GetCategoryId(), 130u) << "holes keep their id";
    EXPECT_EQ(db.GetByIndex(3)->GetCategoryId(), 130u);
    EXPECT_EQ(db.LastId(), 130u);
}

TEST_F(CategoryDBTest, DesktopRenumberingTellsNamesApartByCase) {
    TestCategoryDB db;
    db.InitNewDatabase();
    const CTime time(1);
    CCategoryRecord* lower = db.AddNewCategory(0, u"unfiled", &time);  // id in use: asserted
    db.setDesktopCategoryIDs();
    EXPECT_EQ(db.GetByIndex(0)->GetCategoryId(), 0u);
    EXPECT_EQ(lower->GetCategoryId(), 129u);
}

TEST_F(CategoryDBTest, DesktopRenumberingWithoutTheUnfiledCategory) {
    TestCategoryDB db;
    Populate(db, {u"A", u"B"});
    db.DeleteCategory(db.GetByIndex(0), CTime(1));
    testsupport::LogTail log;
    db.setDesktopCategoryIDs();
    EXPECT_EQ(log.Lines().size(), 1u);
    EXPECT_EQ(db.GetByIndex(1)->GetCategoryId(), 129u);
    EXPECT_EQ(db.GetByIndex(2)->GetCategoryId(), 130u);
}

// ---- the unfiled name ----

TEST_F(CategoryDBTest, UnfiledNameKeepsAtMost31Characters) {
    struct Case {
        std::u16string given;
        std::u16string kept;
    };
    const std::u16string thirtyOne(31, u'x');
    const std::u16string pairAtTheCut = std::u16string(30, u'x') + u"\U0001F600";
    const Case cases[] = {
        {u"", u""},
        {u"Unfiled", u"Unfiled"},
        {thirtyOne, thirtyOne},
        {thirtyOne + u"y", thirtyOne},
        {std::u16string(40, u'z'), std::u16string(31, u'z')},
        {pairAtTheCut, std::u16string(30, u'x')},
        {std::u16string(29, u'x') + u"\U0001F600", std::u16string(29, u'x') + u"\U0001F600"},
    };
    for (const Case& c : cases) {
        CCategoryDB::setUnfiledCategoryName(c.given.c_str());
        EXPECT_EQ(std::u16string(CCategoryDB::getUnfiledCategoryName()), c.kept)
            << testing::PrintToString(c.given);
    }
    testsupport::LogTail log;
    CCategoryDB::setUnfiledCategoryName(nullptr);
    EXPECT_EQ(log.Lines().size(), 1u);
    EXPECT_EQ(std::u16string(CCategoryDB::getUnfiledCategoryName()), std::u16string(29, u'x') + u"\U0001F600");
}

TEST_F(CategoryDBTest, NewDatabaseTakesTheTruncatedUnfiledName) {
    CCategoryDB::setUnfiledCategoryName(std::u16string(40, u'n').c_str());
    TestCategoryDB db;
    db.InitNewDatabase();
    EXPECT_EQ(NameOf(db.GetByIndex(0)), std::u16string(31, u'n'));
}

// ---- the iterator ----

TEST_F(CategoryDBTest, IteratorWalksLiveCategoriesOnly) {
    TestCategoryDB db;
    Populate(db, {u"A", u"B", u"C"});
    db.DeleteCategory(db.GetByIndex(0), CTime(1));
    db.DeleteCategory(db.GetByIndex(2), CTime(1));
    std::vector<std::u16string> seen;
    for (CCategoryIterator it = db.GetIterator(); it != db.End(); ++it) seen.push_back(NameOf(*it));
    EXPECT_EQ(seen, (std::vector<std::u16string>{u"A", u"C"}));

    CCategoryIterator first = db.GetIterator();
    EXPECT_EQ(first.GetRowIterator(), 1u);
    CCategoryIterator copy = first;
    ++copy;
    EXPECT_EQ(copy.GetRowIterator(), 3u);
    EXPECT_EQ(first.GetRowIterator(), 1u);
    EXPECT_TRUE(first != copy);
    ++copy;
    EXPECT_FALSE(copy != db.End());
    EXPECT_EQ(*copy, nullptr);
    ++copy;
    EXPECT_FALSE(copy != db.End()) << "stepping at the end stays at the end";

    EXPECT_FALSE(CCategoryIterator(&db, 99) != db.End()) << "a position past the end is the end";
    EXPECT_EQ(CCategoryIterator(&db, 2).GetRowIterator(), 3u);
    EXPECT_EQ(*CCategoryIterator(), nullptr);
}

// ---- files ----

TEST_F(CategoryDBTest, NewFileHasExactlyTheseBytes) {
    {
        TestCategoryDB db;
        ASSERT_EQ(db.Open(Path().c_str(), kCreate), 1);
        db.InitNewDatabase();
        db.GetByIndex(0)->SetLastChangedTime(CTime(0x01020304));
        const CTime time(1000);
        db.AddNewCategory(u"Work", &time);
        db.WriteAllHeaders();
        db.WriteRows();
    }
    const Bytes expected = CategoryFile(1, 129, 1,
                                        {FramedRow(RowTags({kNewFlag, 0, 0x01020304, "Unfiled"})),
                                         FramedRow(RowTags({kNewFlag, 129, 1000, "Work"}))});
    EXPECT_EQ(Stored(), expected);
}

TEST_F(CategoryDBTest, RoundTripThroughAFile) {
    {
        TestCategoryDB db;
        ASSERT_EQ(db.Open(Path().c_str(), kCreate), 1);
        Populate(db, {u"Work", u"Home", u"Travel"});
        db.GetByIndex(0)->SetLastChangedTime(CTime(10));
        db.DeleteCategory(db.GetByIndex(2), CTime(55));
        db.RenameCategory(db.GetByIndex(3), u"Trips", CTime(66));
        db.setNewFlag(false);
        db.WriteAllHeaders();
        db.WriteRows();
        db.Close();
    }
    TestCategoryDB back;
    ASSERT_EQ(back.Open(Path().c_str(), kReadOnly), 1);
    back.ReadRows();
    EXPECT_FALSE(back.isNew());
    EXPECT_EQ(back.LastId(), 131u);
    ASSERT_EQ(back.GetCatRecordset()->getSize(), 4);
    EXPECT_EQ(back.GetCategoryCount(), 3);
    struct Expected {
        uint32_t id;
        std::u16string name;
        uint32_t time;
        bool empty, deleted, changed;
    };
    const Expected expected[] = {
        {0, kUnfiled, 10, false, false, false},
        {129, u"Work", 1000, false, false, false},
        {130, u"Home", 55, true, true, false},
        {131, u"Trips", 66, false, false, true},
    };
    for (uint32_t slot = 0; slot < 4; ++slot) {
        SCOPED_TRACE(slot);
        CCategoryRecord* record = back.GetByIndex(slot);
        EXPECT_EQ(record->GetCategoryId(), expected[slot].id);
        EXPECT_EQ(NameOf(record), expected[slot].name);
        EXPECT_EQ(record->GetLastChangedTime().GetTime(), expected[slot].time);
        EXPECT_EQ(record->IsEmpty(), expected[slot].empty);
        EXPECT_EQ(record->IsDeleted(), expected[slot].deleted);
        EXPECT_EQ(record->IsChanged(), expected[slot].changed);
        EXPECT_TRUE(record->IsNew());
    }
    EXPECT_EQ(back.AddNewCategory(u"Again", nullptr), back.GetByIndex(2));
    EXPECT_EQ(back.GetByIndex(2)->GetCategoryId(), 132u);
}

TEST_F(CategoryDBTest, VersionZeroFileIsReadWithoutTheFlagByteAndWrittenBackAsVersionOne) {
    const std::vector<Bytes> rows = {FramedRow(RowTags({0, 0, 7, "Unfiled"})), FramedRow(RowTags({0, 140, 8, "Old"}))};
    Store(CategoryFile(0, 140, std::nullopt, rows));
    {
        TestCategoryDB db;
        ASSERT_EQ(db.Open(Path().c_str(), kReadWrite), 1);
        EXPECT_EQ(db.GetVersionNum(), 0u);
        db.setNewFlag(false);
        db.ReadRows();
        EXPECT_EQ(db.LastId(), 140u);
        EXPECT_FALSE(db.isNew()) << "a version-0 file has no flag to read";
        ASSERT_EQ(db.GetCatRecordset()->getSize(), 2);
        EXPECT_EQ(NameOf(db.GetByIndex(1)), u"Old");
        EXPECT_EQ(db.GetNewCategoryId(), 141u);
        db.WriteAllHeaders();
        db.WriteRows();
    }
    EXPECT_EQ(Stored(), CategoryFile(1, 141, 0, rows));
}

TEST_F(CategoryDBTest, NewerVersionIsRefusedWhileOpening) {
    Store(CategoryFile(2, 128, 1, {}));
    TestCategoryDB db;
    const Caught caught = testsupport::Catch([&] { db.Open(Path().c_str(), kReadOnly); });
    EXPECT_EQ(caught.kind, Caught::Kind::Exception);
    EXPECT_EQ(caught.text, MessageText(zr_gen::kMsgDbVersionNewer));
    EXPECT_EQ(caught.number, 3u);
}

// Reads the rows of an opened category file and touches every field of
// every record the way the flat interface and the allocator do.
void ReadAndWalk(TestCategoryDB& db) {
    db.ReadRows();
    for (CCategoryIterator it = db.GetIterator(); it != db.End(); ++it) {
        NameOf(*it);
        (*it)->GetCategoryId();
        (*it)->GetLastChangedTime();
    }
    db.GetCategoryCount();
    db.FindCategory(u"Work");
    db.FindFirstHole();
    db.GetNewCategoryId();
}

struct DamageCase {
    const char* name;
    std::function<Bytes()> file;
    uint32_t message;  // 0: reads without error
};

Bytes Patched(Bytes bytes, size_t offset, const Bytes& with) {
    std::copy(with.begin(), with.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset));
    return bytes;
}

Bytes Cut(Bytes bytes, size_t size) {
    bytes.resize(size);
    return bytes;
}

Bytes GoodFile() {
    return CategoryFile(1, 129, 1,
                        {FramedRow(RowTags({kNewFlag, 0, 1, "Unfiled"})),
                         FramedRow(RowTags({kNewFlag, 129, 2, "Work"}))});
}

constexpr size_t kFirstRowOffset = kExtraRowsOffset + 5;
constexpr size_t kFirstTagsOffset = kFirstRowOffset + 8;

TEST_F(CategoryDBTest, DamagedFilesFailWithTheLibrarysErrors) {
    const DamageCase cases[] = {
        {"intact", GoodFile, 0},
        {"no extra rows", [] { return Cut(GoodFile(), kExtraRowsOffset); }, zr_gen::kMsgFileReadError},
        {"cut inside the last id", [] { return Cut(GoodFile(), kExtraRowsOffset + 2); }, zr_gen::kMsgFileReadError},
        {"cut before the new flag", [] { return Cut(GoodFile(), kExtraRowsOffset + 4); }, zr_gen::kMsgFileReadError},
        {"version 0 cut inside the last id",
         [] { return Cut(CategoryFile(0, 129, std::nullopt, {}), kExtraRowsOffset + 3); }, zr_gen::kMsgFileReadError},
        {"header slot reaching past the file", [] { return Patched(GoodFile(), 14, LE32(0x00100000)); },
         zr_gen::kMsgFileReadError},
        {"huge row count", [] { return Patched(GoodFile(), 6, LE32(0xFFFFFFFF)); }, zr_gen::kMsgFileReadError},
        {"row length past the file", [] { return Patched(GoodFile(), kFirstRowOffset + 4, LE32(0xFFFFFFF0)); },
         zr_gen::kMsgFileReadError},
        {"row start identifier", [] { return Patched(GoodFile(), kFirstRowOffset, {0x50, 0x4B, 0x09, 0x09}); },
         zr_gen::kMsgMissingNewRecordId},
        {"row end identifier", [] { return Patched(GoodFile(), GoodFile().size() - 1, {0x00}); },
         zr_gen::kMsgMissingEndRecordId},
        {"tag code", [] { return Patched(GoodFile(), kFirstTagsOffset, {0x00, 0x00}); }, zr_gen::kMsgDataCorruption},
        {"tag size past the row", [] { return Patched(GoodFile(), kFirstTagsOffset + 11, LE32(0x7FFFFFFF)); },
         zr_gen::kMsgDataCorruption},
        {"name without terminator",
         [] {
             Bytes file = GoodFile();
             file[kFirstTagsOffset + RowTags({kNewFlag, 0, 1, "Unfiled"}).size() - 1] = 'x';
             return file;
         },
         zr_gen::kMsgDataCorruption},
        {"flag tag missing",
         [] {
             const Bytes tags = ByteWriter().Tag(2, {0}).Tag(5, LE32(0)).Tag(7, LE32(1)).Tag(0x10006, {'U', 0}).bytes;
             return CategoryFile(1, 129, 1, {FramedRow(tags)});
         },
         zr_gen::kMsgDataClassNotFound},
        {"id tag missing",
         [] {
             const Bytes tags = ByteWriter().Tag(1, {0}).Tag(2, {0}).Tag(7, LE32(1)).Tag(0x10006, {'U', 0}).bytes;
             return CategoryFile(1, 129, 1, {FramedRow(tags)});
         },
         zr_gen::kMsgDataClassNotFound},
        {"id tag too wide",
         [] {
             const Bytes tags =
                 ByteWriter().Tag(1, {0}).Tag(2, {0}).Tag(5, Bytes(8, 1)).Tag(7, LE32(1)).Tag(0x10006, {'U', 0}).bytes;
             return CategoryFile(1, 129, 1, {FramedRow(tags)});
         },
         zr_gen::kMsgDataBufferOverflow},
        {"last id out of range", [] { return Patched(GoodFile(), kExtraRowsOffset, LE32(0xFFFFFFFF)); }, 0},
        {"more rows than slots",
         [] { return CategoryFile(1, 129, 1, std::vector<Bytes>(40, FramedRow(RowTags({0, 7, 1, "x"})))); }, 0},
        {"version 2", [] { return Patched(GoodFile(), 4, {2, 0}); }, zr_gen::kMsgDbVersionNewer},
        {"check code", [] { return Patched(GoodFile(), 0, {0, 0, 0, 0}); }, zr_gen::kMsgCheckCodeDifferent},
    };
    // A disk file raises on a short read by itself; a memory file only
    // reports fewer bytes, so the category code must check for itself.
    for (const DamageCase& c : cases) {
        Bytes bytes = c.file();
        Store(bytes);
        zr_gen::MemFile memory(bytes.data(), static_cast<uint32_t>(bytes.size()), 0);
        for (const bool onDisk : {true, false}) {
            SCOPED_TRACE(std::string(c.name) + (onDisk ? " on disk" : " in memory"));
            TestCategoryDB db;
            const Caught caught = testsupport::Catch([&] {
                if (onDisk) {
                    ASSERT_EQ(db.Open(Path().c_str(), kReadOnly), 1);
                } else {
                    db.Attach(&memory);
                    db.ReadDbInfo();
                    db.ReadHeaderInfo();
                }
                ReadAndWalk(db);
            });
            if (c.message == 0) {
                EXPECT_FALSE(caught.raised()) << testing::PrintToString(caught.text);
            } else {
                EXPECT_TRUE(RaisedMessage(caught, c.message)) << testing::PrintToString(caught.text);
            }
            if (!onDisk) db.Detach();
        }
    }
}

TEST_F(CategoryDBTest, DamagedExtraRowsChangeNothing) {
    Store(Cut(GoodFile(), kExtraRowsOffset + 4));
    TestCategoryDB db;
    ASSERT_EQ(db.Open(Path().c_str(), kReadOnly), 1);
    db.SetLastId(200);
    db.setNewFlag(false);
    EXPECT_TRUE(testsupport::Catch([&] { db.ReadRows(); }).raised());
    EXPECT_EQ(db.LastId(), 200u);
    EXPECT_FALSE(db.isNew());
}

// ---- running out of memory ----

// Every allocation of a whole life (make, fill, save, read back, change)
// fails in turn: each surfaces as the library's exception, never a crash, a
// foreign exception or a leak.
TEST_F(CategoryDBTest, OutOfMemoryAtEachAllocation) {
    for (uint32_t n = 1;; ++n) {
        platform::FaultInjector injector;
        platform::ScopedFaultInjector scope(injector);
        injector.FailNth(platform::FaultOp::Alloc, n, ERROR_NOT_ENOUGH_MEMORY);
        bool opened = true;
        uint16_t count = 0;
        Caught caught;
        try {
            caught = testsupport::Catch([&] {
                TestCategoryDB db;
                if (db.Open(Path().c_str(), kCreate) == 0) {
                    opened = false;
                    return;
                }
                Populate(db, {u"Work", u"Home", u"Travel"});
                db.DeleteCategory(db.GetByIndex(2), CTime(3));
                db.UndeleteCategory(db.GetByIndex(2), CTime(4));
                db.RenameCategory(db.GetByIndex(3), u"A much longer name than before", CTime(5));
                db.WriteAllHeaders();
                db.WriteRows();
                db.Close();
                TestCategoryDB back;
                if (back.Open(Path().c_str(), kReadOnly) == 0) {
                    opened = false;
                    return;
                }
                back.ReadRows();
                back.setDesktopCategoryIDs();
                count = back.GetCategoryCount();
            });
        } catch (...) {
            ADD_FAILURE() << "a foreign exception at allocation " << n;
        }
        if (!injector.Fired(platform::FaultOp::Alloc)) {
            EXPECT_FALSE(caught.raised());
            EXPECT_EQ(count, 4);
            EXPECT_GT(n, 10u) << "record pools, tags and files all allocate";
            break;
        }
        EXPECT_TRUE(caught.raised() || !opened) << "allocation " << n;
        // Our out-of-memory message, the tag block's "could not grow", or the
        // file exception of a file handle that could not be had.
        if (caught.raised()) {
            const bool handle =
                caught.kind == Caught::Kind::FileException && caught.cause == zr_gen::CFileException::generic;
            EXPECT_TRUE(caught.text == MessageText(zr_gen::kMsgOutOfMemory) ||
                        RaisedMessage(caught, zr_gen::kMsgUnknownData) || handle)
                << "allocation " << n << ": " << testing::PrintToString(caught.text);
        }
        ASSERT_LT(n, 2000u);
    }
}

}  // namespace
