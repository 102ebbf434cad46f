#include "notestore/engine/HeaderManager.h"

#include <gtest/gtest.h>

#include <map>

#include "support/Bytes.h"
#include "support/Caught.h"
#include "support/LogTail.h"
#include "support/TempDir.h"
#include "support/TestDatabase.h"

namespace {

using testsupport::ByteWriter;
using testsupport::Bytes;
using testsupport::Caught;
using testsupport::TestDatabase;
using testsupport::TestHeader;
using zr_gen::CDatabase;
using zr_gen::THeaderRecord;

constexpr uint32_t kCreate = 0x1000 | 0x0002;
constexpr uint32_t kReadWrite = 0x0002;

// A database with extra registered headers (id, default size).
class Headers : public TestDatabase {
public:
    explicit Headers(std::initializer_list<THeaderRecord> records) {
        for (const THeaderRecord& r : records) {
            auto* header = new TestHeader();
            headerManager_.RegisterHeader(r, header);
            headers[r.id] = header;
        }
    }
    std::map<uint16_t, TestHeader*> headers;
};

// db info, a header table and the slots given as (id, slot bytes).
Bytes FileWith(const std::vector<std::pair<uint16_t, Bytes>>& slots, uint32_t rowCount = 0) {
    ByteWriter w;
    w.U32(0x12345678).U16(0).U32(rowCount).U16(static_cast<uint16_t>(slots.size()));
    for (const auto& [id, bytes] : slots) w.U16(id).U32(static_cast<uint32_t>(bytes.size()));
    for (const auto& slot : slots) w.Raw(slot.second);
    return w.bytes;
}

// A slot of `size` bytes holding the given tagged data.
Bytes Slot(uint32_t size, const Bytes& data = {}) {
    ByteWriter w;
    w.U32(static_cast<uint32_t>(data.size())).Raw(data).Zeros(size - 4 - data.size());
    return w.bytes;
}

class HeaderFile : public ::testing::Test {
protected:
    std::u16string Path() const { return dir.File("db.zro"); }
    Bytes Stored() const { return testsupport::ReadFileBytes(dir.path() / "db.zro"); }
    void Store(const Bytes& bytes) const { testsupport::WriteFileBytes(dir.path() / "db.zro", bytes); }
    // `db` written as a new file, and its bytes.
    Bytes WrittenNew(CDatabase& db) const {
        EXPECT_EQ(db.Open(Path().c_str(), kCreate), 1);
        db.InitNewDatabase();
        db.WriteAllHeaders();
        db.WriteRows();
        db.Close();
        return Stored();
    }
    testsupport::TempDir dir;
};

TEST_F(HeaderFile, NewDatabaseWithTheConduitHeaderOnly) {
    TestDatabase db;
    const Bytes stored = WrittenNew(db);
    ASSERT_EQ(stored.size(), 273u);
    EXPECT_EQ(testsupport::Slice(stored, 0, 18),
              (Bytes{0x78, 0x56, 0x34, 0x12, 0, 0, 0, 0, 0, 0, 0x01, 0x00, 0x01, 0x00, 0xFF, 0x00, 0x00, 0x00}));
    EXPECT_EQ(testsupport::Slice(stored, 18, 255), Bytes(255, 0));
    EXPECT_EQ(db.GetHeaderManager().GetWriteHeadersEnd(), 273u);
}

TEST_F(HeaderFile, RecordedOrderIsKeptAndUnrecordedHeadersAreAppended) {
    const Bytes data3 = ByteWriter().Tag(4, {0x33}).bytes;
    Store(FileWith({{3, Slot(40, data3)}, {1, Slot(255)}, {2, Slot(30)}}));
    Headers db({{2, 30}, {3, 40}, {4, 20}});
    ASSERT_EQ(db.Open(Path().c_str(), kReadWrite), 1);
    ASSERT_TRUE(db.ReadHeader(3));
    db.WriteAllHeaders();
    db.WriteRows();
    db.Close();
    const Bytes stored = Stored();
    EXPECT_EQ(testsupport::Slice(stored, 10, 26), ByteWriter()
                                                     .U16(4)
                                                     .U16(3).U32(40)
                                                     .U16(1).U32(255)
                                                     .U16(2).U32(30)
                                                     .U16(4).U32(20)
                                                     .bytes);
    const size_t slots = 10 + 26;
    // Header 3 kept its tag and got the default field added when it was read.
    const Bytes expected3 = ByteWriter().Tag(4, {0x33}).Tag(9, {7}).bytes;
    EXPECT_EQ(testsupport::Slice(stored, slots, 40), Slot(40, expected3));
    EXPECT_EQ(testsupport::Slice(stored, slots + 40 + 255 + 30, 20), Slot(20));
    EXPECT_EQ(stored.size(), slots + 40 + 255 + 30 + 20);
}

TEST_F(HeaderFile, ForeignHeaderSlotsAreWrittenBackUnchanged) {
    Bytes foreign = Slot(50, ByteWriter().Tag(1, {1, 2, 3}).bytes);
    foreign[40] = 0xEE;  // even bytes after the data survive
    Store(FileWith({{1, Slot(255)}, {7, foreign}, {2, Slot(30)}}));
    Headers db({{2, 30}});
    ASSERT_EQ(db.Open(Path().c_str(), kReadWrite), 1);
    db.headers[2]->getTaggedDataManager().setData(5, uint32_t{0xABCD});
    db.WriteAllHeaders();
    db.WriteRows();
    db.Close();
    const Bytes stored = Stored();
    EXPECT_EQ(testsupport::Slice(stored, 30 + 255, 50), foreign);
    EXPECT_EQ(testsupport::Slice(stored, 30 + 255 + 50, 30),
              Slot(30, ByteWriter().Tag(5, {0xCD, 0xAB, 0, 0}).bytes));
}

// A table carried elsewhere and put back: the entries in the given order,
// registered ones laid out by their objects, foreign ones with their bytes.
TEST_F(HeaderFile, ForeignHeadersAddedByHandAreWrittenInTableOrder) {
    Headers db({{2, 30}});
    const Bytes foreign = {'x', 0, 0xEE};
    ASSERT_TRUE(db.GetHeaderManager().AddForeignHeader({7, 3}, foreign));
    db.GetHeaderManager().AddHeader({2, 40});
    for (const auto& [record, bytes] : std::vector<std::pair<THeaderRecord, Bytes>>{
             {{7, 4}, Bytes(4)}, {{2, 30}, Bytes(30)}, {{1, 255}, Bytes(255)}, {{8, 4}, Bytes(3)}}) {
        EXPECT_FALSE(db.GetHeaderManager().AddForeignHeader(record, bytes)) << record.id;
    }
    const Bytes stored = WrittenNew(db);
    EXPECT_EQ(testsupport::Slice(stored, 10, 20),
              ByteWriter().U16(3).U16(7).U32(3).U16(2).U32(40).U16(1).U32(255).bytes);
    EXPECT_EQ(testsupport::Slice(stored, 30, 3), foreign);
    EXPECT_EQ(testsupport::Slice(stored, 33, 40), Slot(40));
}

TEST_F(HeaderFile, LargerRecordedSlotIsKept) {
    Store(FileWith({{1, Slot(255)}, {2, Slot(600)}}));
    Headers db({{2, 512}});
    ASSERT_EQ(db.Open(Path().c_str(), kReadWrite), 1);
    db.WriteAllHeaders();
    db.WriteRows();
    db.Close();
    EXPECT_EQ(Stored().size(), 10u + 14 + 255 + 600);
}

TEST_F(HeaderFile, SmallerRecordedSlotRefusesToOpen) {
    Store(FileWith({{1, Slot(255)}, {2, Slot(100)}}));
    Headers db({{2, 512}});
    const Caught caught = testsupport::Catch([&] { db.Open(Path().c_str(), kReadWrite); });
    EXPECT_EQ(caught.text, u"The header size is changed, but the db version not");
    EXPECT_EQ(caught.number, 19u);
}

TEST_F(HeaderFile, ResizeHeadersGrowsRecordedSlotsWhenProblemsAreNotReported) {
    Store(FileWith({{1, Slot(255)}, {2, Slot(100)}}));
    Headers db({{2, 512}});
    db.GetHeaderManager().SetReportSizeProblem(0);
    ASSERT_EQ(db.Open(Path().c_str(), kReadWrite), 1);
    db.GetHeaderManager().ResizeHeaders();
    EXPECT_EQ(db.GetHeaderManager().recorded()[1].record.size, 512u);
}

TEST_F(HeaderFile, DataFillingTheSlotExactlyAndOneByteMore) {
    TestDatabase db;
    ASSERT_EQ(db.Open(Path().c_str(), kCreate), 1);
    db.InitNewDatabase();
    auto& tags = db.GetConduitHeader()->getTaggedDataManager();
    const Bytes fill(255 - 4 - 15, 0x5A);
    tags.setData(3, fill.data(), static_cast<uint32_t>(fill.size()), nullptr, 0);
    db.WriteAllHeaders();
    db.WriteRows();
    EXPECT_EQ(testsupport::Slice(Stored(), 18, 255), Slot(255, ByteWriter().Tag(3, fill).bytes));
    const uint8_t more = 1;
    tags.setData(4, &more, 0, nullptr, 0);  // 15 more bytes: too many
    const Caught caught = testsupport::Catch([&] { db.WriteAllHeaders(); });
    EXPECT_EQ(caught.text, u"The default header size is less than the Header object");
    EXPECT_EQ(caught.number, 11u);
}

TEST_F(HeaderFile, EmptyBlockIsZerosAndReadsBackEmpty) {
    {
        TestDatabase db;
        db.Open(Path().c_str(), kCreate);
        db.InitNewDatabase();
        db.WriteAllHeaders();
        db.WriteRows();
    }
    TestDatabase db;
    ASSERT_EQ(db.Open(Path().c_str(), kReadWrite), 1);
    ASSERT_TRUE(db.ReadHeader(1));
    EXPECT_EQ(db.GetConduitHeader()->getTaggedDataManager().size(), 0u);
    EXPECT_EQ(db.GetConduitHeader()->GetHeaderDataPtr(), nullptr);
}

TEST_F(HeaderFile, ReadingAnUnrecordedHeaderLeavesItAlone) {
    Store(FileWith({{1, Slot(255)}}));
    Headers db({{4, 20}});
    ASSERT_EQ(db.Open(Path().c_str(), kReadWrite), 1);
    EXPECT_FALSE(db.ReadHeader(4));
    EXPECT_EQ(db.headers[4]->defaultsCalls, 0);
    EXPECT_FALSE(db.ReadHeader(99));
}

TEST_F(HeaderFile, RegisteringAnIdTwiceIsRefused) {
    testsupport::LogTail tail;
    TestDatabase db;
    db.GetHeaderManager().RegisterHeader(THeaderRecord{1, 100}, new TestHeader());
    EXPECT_EQ(db.GetHeaderManager().registered().size(), 1u);
    EXPECT_EQ(db.GetHeaderManager().registered()[0].record.size, 255u);
    ASSERT_EQ(tail.Lines().size(), 1u);
    EXPECT_EQ(tail.Lines()[0].rfind("Assertion Failed! File HeaderManager.cpp", 0), 0u);
}

TEST_F(HeaderFile, PositionsFollowTheTables) {
    Store(FileWith({{3, Slot(40)}, {1, Slot(255)}}));
    Headers db({{2, 30}, {3, 40}});
    ASSERT_EQ(db.Open(Path().c_str(), kReadWrite), 1);
    auto& m = db.GetHeaderManager();
    EXPECT_EQ(m.GetHeaderReadPos(3), 10u + 14);
    EXPECT_EQ(m.GetHeaderReadPos(1), 10u + 14 + 40);
    EXPECT_EQ(m.GetHeaderReadPos(2), zr_gen::CHeaderManager::kNoPosition);
    EXPECT_EQ(m.GetReadHeadersEnd(), 10u + 14 + 40 + 255);
    EXPECT_EQ(m.GetHeaderWritePos(3), 10u + 20);
    EXPECT_EQ(m.GetHeaderWritePos(2), 10u + 20 + 40 + 255);
    EXPECT_EQ(m.GetWriteHeadersEnd(), 10u + 20 + 40 + 255 + 30);
    EXPECT_EQ(m.GetHeaderWritePos(99), zr_gen::CHeaderManager::kNoPosition);
}

// Damaged tables and blocks: every one is refused with the library's own
// error before anything large is allocated.
TEST_F(HeaderFile, DamagedTablesAndBlocks) {
    struct Case {
        const char* name;
        Bytes file;
        uint16_t readId;  // 0: fails while opening
        const char16_t* text;
    } cases[] = {
        {"count beyond the file", ByteWriter().U32(0x12345678).U16(0).U32(0).U16(0xFFFF).U16(1).U32(255).bytes, 0,
         u"File IO read error"},
        {"slot beyond the file", ByteWriter().U32(0x12345678).U16(0).U32(0).U16(1).U16(1).U32(0xFFFFFFF0).Zeros(255).bytes,
         0, u"File IO read error"},
        {"data longer than the slot", FileWith({{1, ByteWriter().U32(252).Zeros(251).bytes}}), 1,
         u"The recorded header size is bigger than the default header size"},
        {"data length all bits set", FileWith({{1, ByteWriter().U32(0xFFFFFFFF).Zeros(251).bytes}}), 1,
         u"The recorded header size is bigger than the default header size"},
        {"truncated table", ByteWriter().U32(0x12345678).U16(0).U32(0).U16(2).U16(1).bytes, 0, u"File IO read error"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Store(c.file);
        TestDatabase db;
        const Caught caught = testsupport::Catch([&] {
            db.Open(Path().c_str(), kReadWrite);
            if (c.readId != 0) db.ReadHeader(c.readId);
        });
        EXPECT_EQ(caught.text, c.text);
        if (c.readId == 0) {
            // Writing afterwards must not lay out the slots the damaged table claimed.
            EXPECT_TRUE(db.GetHeaderManager().recorded().empty()) << "a damaged table is forgotten";
        }
    }
}

}  // namespace
