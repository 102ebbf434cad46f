#include "notestore/engine/Database.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "notestore/engine/RowsCollection.h"
#include "notestore/engine/Rowset.h"
#include "notestore/foundation/ByteOrder.h"
#include "platform/Faults.h"
#include "support/Bytes.h"
#include "support/Caught.h"
#include "support/TempDir.h"
#include "support/TestDatabase.h"

namespace {

using testsupport::ByteWriter;
using testsupport::Bytes;
using testsupport::Caught;
using testsupport::TestDatabase;
using zr_gen::CDBRecord;

constexpr uint32_t kCreate = 0x1000 | 0x0002;
constexpr uint32_t kReadWrite = 0x0002;
constexpr uint32_t kTextTag = 3;
// Rows of about 70 bytes: several 2 MiB spans, rows cut by span ends.
constexpr int kManyRows = 40000;

uint32_t LoadLE32At(const Bytes& bytes, size_t offset) { return zr_gen::LoadLE32(bytes.data() + offset); }

class DatabaseFile : public ::testing::Test {
protected:
    std::u16string Path() const { return dir.File("db.zro"); }
    Bytes Stored() const { return testsupport::ReadFileBytes(dir.path() / "db.zro"); }
    void Store(const Bytes& bytes) const { testsupport::WriteFileBytes(dir.path() / "db.zro", bytes); }

    // A new file holding `rows` records, record i carrying "row i" under tag 3.
    void Create(int rows) const {
        TestDatabase db;
        ASSERT_EQ(db.Open(Path().c_str(), kCreate), 1);
        db.InitNewDatabase();
        for (int i = 0; i < rows; ++i) {
            CDBRecord* record = db.GetRecordset()->Append();
            const std::string text = "row " + std::to_string(i);
            record->getTaggedDataManager().setData(kTextTag, text.data(), static_cast<uint32_t>(text.size()), nullptr, 0);
        }
        db.WriteAllHeaders();
        db.WriteRows();
    }
    static std::string TextOf(CDBRecord* record) {
        char* data = record->getTaggedDataManager().getDataPtr(kTextTag, 0);
        uint32_t size = 0;
        record->getTaggedDataManager().getTagDataSize(kTextTag, &size);
        return data != nullptr ? std::string(data, size) : std::string();
    }

    // The file offset of each row, walking the frames of the stored file.
    std::vector<uint32_t> RowStarts() const {
        const Bytes bytes = Stored();
        const uint32_t count = LoadLE32At(bytes, 6);
        std::vector<uint32_t> starts;
        uint32_t offset = 273;
        for (uint32_t i = 0; i < count; ++i) {
            starts.push_back(offset);
            offset += 12 + LoadLE32At(bytes, offset + 4);
        }
        return starts;
    }

    testsupport::TempDir dir;
};

TEST_F(DatabaseFile, RoundTripOfHeadersAndRows) {
    Create(3);
    TestDatabase db;
    ASSERT_EQ(db.Open(Path().c_str(), kReadWrite), 1);
    EXPECT_EQ(db.versionChecks, 1);
    EXPECT_EQ(db.GetDbInfo().rowCount, 3u);
    db.ReadConduitHeader();
    db.ReadRows();
    ASSERT_EQ(db.GetRecordset()->getSize(), 3);
    for (uint32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(TextOf(db[i]), "row " + std::to_string(i));
        EXPECT_EQ(db.getRecord(i)->GetIndex(), i);
    }
    EXPECT_EQ(db[0]->GetPos(), 273u);
    EXPECT_EQ(db[1]->GetPos(), 273u + 12 + db[0]->GetRecSize());
}

TEST_F(DatabaseFile, NewFileWithoutRowsIsTheHeaderAreaAlone) {
    Create(0);
    EXPECT_EQ(Stored().size(), 12u + 6 + 255);
    TestDatabase db;
    db.Open(Path().c_str(), kReadWrite);
    db.ReadRows();
    EXPECT_EQ(db.GetRecordset()->getSize(), 0);
    EXPECT_EQ(db.GetDbInfo().rowCount, 0u);
}

TEST_F(DatabaseFile, WrongCheckCodeFailsBeforeTheVersionCheck) {
    Create(1);
    Bytes bytes = Stored();
    bytes[0] = 0x79;
    Store(bytes);
    TestDatabase db;
    const Caught caught = testsupport::Catch([&] { db.Open(Path().c_str(), kReadWrite); });
    EXPECT_EQ(caught.kind, Caught::Kind::DBException);
    EXPECT_EQ(caught.number, 12u);
    EXPECT_EQ(caught.text.rfind(u"The db check code is different.", 0), 0u);
    EXPECT_EQ(db.versionChecks, 0);
    EXPECT_TRUE(db.IsOpen());
}

TEST_F(DatabaseFile, WritingFewerRowsCutsTheFileAfterTheLastRow) {
    Create(5);
    const size_t fullSize = Stored().size();
    TestDatabase db;
    db.Open(Path().c_str(), kReadWrite);
    db.ReadRows();
    const uint32_t keptEnd = db[2]->GetPos();
    db.GetRecordset()->Delete(4);
    db.GetRecordset()->Delete(3);
    db.GetRecordset()->Delete(2);
    db.WriteRows();
    db.Close();
    EXPECT_LT(Stored().size(), fullSize);
    EXPECT_EQ(Stored().size(), keptEnd);
    TestDatabase again;
    again.Open(Path().c_str(), kReadWrite);
    again.ReadRows();
    EXPECT_EQ(again.GetRecordset()->getSize(), 2);
}

TEST_F(DatabaseFile, CreateFlagOnAnExistingFileReadsNothing) {
    Create(2);
    TestDatabase db;
    ASSERT_EQ(db.Open(Path().c_str(), kCreate), 1);
    EXPECT_EQ(db.versionChecks, 0);
    EXPECT_EQ(db.GetDbInfo().rowCount, 0u);
    EXPECT_EQ(db.GetLength(), 0u);
}

TEST_F(DatabaseFile, PurgeRemovesAdjacentDeletedRecords) {
    Create(5);
    TestDatabase db;
    db.Open(Path().c_str(), kReadWrite);
    db.ReadRows();
    db[1]->SetDeleted(true);
    db[2]->SetDeleted(true);
    db[4]->SetDeleted(true);
    db.purgeDeletedRecs();
    ASSERT_EQ(db.GetRecordset()->getSize(), 2);
    EXPECT_EQ(TextOf(db[0]), "row 0");
    EXPECT_EQ(TextOf(db[1]), "row 3");
}

TEST_F(DatabaseFile, ReadRowRereadsOneRowInPlace) {
    Create(2);
    TestDatabase db;
    db.Open(Path().c_str(), kReadWrite);
    db.ReadRows();
    CDBRecord* second = db[1];
    second->getTaggedDataManager().setData(kTextTag, "changed", 7, nullptr, 0);
    db.ReadRow(second->GetPos(), second);
    EXPECT_EQ(TextOf(second), "row 1");
}

TEST_F(DatabaseFile, TruncatedFileKeepsTheRowsReadSoFar) {
    Create(3);
    Bytes bytes = Stored();
    bytes.resize(bytes.size() - 5);
    Store(bytes);
    TestDatabase db;
    db.Open(Path().c_str(), kReadWrite);
    const Caught caught = testsupport::Catch([&] { db.ReadRows(); });
    EXPECT_TRUE(caught.raised());
    EXPECT_EQ(db.GetRecordset()->getSize(), 3);
    EXPECT_EQ(TextOf(db[1]), "row 1");
}

TEST_F(DatabaseFile, WrongEndIdentifierAfterTheBlockWasRead) {
    Create(1);
    Bytes bytes = Stored();
    bytes.back() = 0x05;
    Store(bytes);
    TestDatabase db;
    db.Open(Path().c_str(), kReadWrite);
    const Caught caught = testsupport::Catch([&] { db.ReadRows(); });
    EXPECT_EQ(caught.text, u"Missing end record identifier");
    EXPECT_EQ(caught.number, 5u);
    EXPECT_EQ(TextOf(db[0]), "row 0");
}

TEST_F(DatabaseFile, RowCountBeyondTheFileEndsWithAReadError) {
    Create(1);
    Bytes bytes = Stored();
    bytes[6] = 0xFF;
    bytes[7] = 0xFF;
    bytes[8] = 0xFF;
    bytes[9] = 0x7F;
    Store(bytes);
    TestDatabase db;
    db.Open(Path().c_str(), kReadWrite);
    const Caught caught = testsupport::Catch([&] { db.ReadRows(); });
    EXPECT_TRUE(caught.raised());
    EXPECT_LE(db.GetRecordset()->getSize(), 2);
}

// Every write of a save fails in turn (disk full): each raises the file
// exception, nothing crashes or leaks, and with no failure the save works.
TEST_F(DatabaseFile, DiskFullAtEachWriteOfASave) {
    for (uint32_t n = 1;; ++n) {
        Create(50);
        TestDatabase db;
        db.Open(Path().c_str(), kReadWrite);
        db.ReadConduitHeader();
        db.ReadRows();
        platform::FaultInjector injector;
        platform::ScopedFaultInjector scope(injector);
        injector.FailNth(platform::FaultOp::Write, n, ERROR_DISK_FULL);
        const Caught caught = testsupport::Catch([&] {
            db.WriteAllHeaders();
            db.WriteRows();
        });
        if (!injector.Fired(platform::FaultOp::Write)) {
            EXPECT_FALSE(caught.raised());
            EXPECT_GT(n, 3u) << "a save makes several writes";
            break;
        }
        EXPECT_EQ(caught.kind, Caught::Kind::FileException) << "write " << n;
        EXPECT_EQ(caught.cause, zr_gen::CFileException::diskFull) << "write " << n;
        ASSERT_LT(n, 100u);
    }
}

// Every allocation while opening and reading fails in turn: each surfaces as
// the library's exception, never a crash or leak. The rows take several
// record chunks and row spans.
TEST_F(DatabaseFile, OutOfMemoryAtEachAllocationOfARead) {
    Create(kManyRows);
    for (uint32_t n = 1;; ++n) {
        TestDatabase db;
        platform::FaultInjector injector;
        platform::ScopedFaultInjector scope(injector);
        injector.FailNth(platform::FaultOp::Alloc, n, ERROR_NOT_ENOUGH_MEMORY);
        const Caught caught = testsupport::Catch([&] {
            db.Open(Path().c_str(), kReadWrite);
            db.ReadConduitHeader();
            db.ReadRows();
        });
        if (!injector.Fired(platform::FaultOp::Alloc)) {
            EXPECT_FALSE(caught.raised());
            ASSERT_EQ(db.GetRecordset()->getSize(), kManyRows);
            EXPECT_EQ(TextOf(db[kManyRows - 1]), "row " + std::to_string(kManyRows - 1));
            // Records and blocks are pooled: far fewer allocations than rows.
            EXPECT_GT(n, 8u) << "chunks and spans are allocations too";
            EXPECT_LT(n, 100u);
            break;
        }
        EXPECT_TRUE(caught.raised()) << "allocation " << n;
        ASSERT_LT(n, 1000u);
    }
}

// Rows read in bulk keep their blocks inside the file's spans; editing one
// must move it out and leave its neighbours, and everything written back
// must read the same.
TEST_F(DatabaseFile, BulkReadRowsEditLikeOwnedRows) {
    Create(kManyRows);
    const std::string longText(700, 'x');  // grows the block past 512 bytes
    {
        TestDatabase db;
        db.Open(Path().c_str(), kReadWrite);
        db.ReadRows();
        ASSERT_EQ(db.GetRecordset()->getSize(), kManyRows);
        for (uint32_t i : {0u, 4321u, static_cast<uint32_t>(kManyRows) - 1}) {
            EXPECT_EQ(TextOf(db[i]), "row " + std::to_string(i));
            EXPECT_EQ(db[i]->getTaggedDataManager().capacity(), db[i]->GetRecSize()) << "exactly its size";
        }
        ASSERT_EQ(db[100]->getTaggedDataManager().setData(kTextTag, longText.data(), 700, nullptr, 0), 0);
        EXPECT_EQ(db[100]->getTaggedDataManager().capacity(), 1024u);
        db[101]->resize();
        EXPECT_EQ(db[101]->getTaggedDataManager().capacity(), 512u);
        db[103]->SetDeleted(true);
        db.purgeDeletedRecs();
        CDBRecord copy;
        copy = *db[103];
        db.GetRecordset()->Delete(103);
        EXPECT_EQ(TextOf(&copy), "row 104");
        db[102]->FreeData();
        EXPECT_EQ(TextOf(db[99]), "row 99");
        EXPECT_EQ(TextOf(db[101]), "row 101");
        db.WriteAllHeaders();
        db.WriteRows();
    }
    TestDatabase again;
    again.Open(Path().c_str(), kReadWrite);
    again.ReadRows();
    ASSERT_EQ(again.GetRecordset()->getSize(), kManyRows - 2);
    EXPECT_EQ(TextOf(again[100]), longText);
    EXPECT_EQ(TextOf(again[101]), "row 101");
    EXPECT_EQ(again[102]->GetRecSize(), 0u);
    EXPECT_EQ(TextOf(again[103]), "row 105");
}

// Records forgotten by the recordset outlive it and the database: their
// memory and the spans under their blocks stay until each is deleted.
TEST_F(DatabaseFile, ForgottenRecordsOutliveTheDatabase) {
    Create(kManyRows);
    std::vector<CDBRecord*> records;
    {
        TestDatabase db;
        db.Open(Path().c_str(), kReadWrite);
        db.ReadRows();
        for (int32_t i = 0; i < db.GetRecordset()->getSize(); ++i) records.push_back(db[static_cast<uint32_t>(i)]);
        db.GetRecordset()->emptyRS();
    }
    ASSERT_EQ(records.size(), static_cast<size_t>(kManyRows));
    records[7]->getTaggedDataManager().setData(kTextTag, "seven", 5, nullptr, 0);
    EXPECT_EQ(TextOf(records[7]), "seven");
    for (size_t i = 0; i < records.size(); ++i) {
        if (i % 1000 == 0) {
            EXPECT_EQ(TextOf(records[i]), "row " + std::to_string(i));
        }
        delete records[i];
    }
}

// A damaged row anywhere in the file reports exactly as reading the rows one
// by one did: the rows before it read, the damaged one appended with the
// state its own read leaves, pos where it starts.
TEST_F(DatabaseFile, DamagedRowInTheMiddleReportsAsAlways) {
    Create(kManyRows);
    const std::vector<uint32_t> starts = RowStarts();
    const Bytes sound = Stored();
    const uint32_t damaged = 6000;  // in the third span
    struct Case {
        const char* name;
        uint32_t offset;  // from the row's start
        uint8_t byte;
        std::u16string text;
        bool blockKept;
    };
    const uint32_t length = LoadLE32At(sound, starts[damaged] + 4);
    const Case cases[] = {
        {"start identifier", 3, 0x03, u"Missing new record identifier", false},
        {"end identifier", 8 + length + 3, 0x05, u"Missing end record identifier", true},
        {"length past the file", 7, 0x7F, u"File IO read error", false},
    };
    for (const Case& c : cases) {
        Bytes bytes = sound;
        bytes[starts[damaged] + c.offset] = c.byte;
        Store(bytes);
        TestDatabase db;
        db.Open(Path().c_str(), kReadWrite);
        const Caught caught = testsupport::Catch([&] { db.ReadRows(); });
        EXPECT_EQ(caught.text, c.text) << c.name;
        ASSERT_EQ(db.GetRecordset()->getSize(), static_cast<int32_t>(damaged) + 1) << c.name;
        EXPECT_EQ(TextOf(db[damaged - 1]), "row " + std::to_string(damaged - 1)) << c.name;
        EXPECT_EQ(db[damaged]->GetPos(), starts[damaged]) << c.name;
        EXPECT_EQ(db[damaged]->GetRecSize(), c.blockKept ? length : 0u) << c.name;
    }
}

// A row larger than a span is read whole by the record itself, and the rows
// after it are read in bulk again.
TEST_F(DatabaseFile, RowLargerThanASpanIsReadWhole) {
    const std::string huge(300 * 1024, 'h');
    {
        TestDatabase db;
        ASSERT_EQ(db.Open(Path().c_str(), kCreate), 1);
        db.InitNewDatabase();
        for (int i = 0; i < 3; ++i) {
            const std::string text = i == 1 ? huge : "row " + std::to_string(i);
            db.GetRecordset()->Append()->getTaggedDataManager().setData(
                kTextTag, text.data(), static_cast<uint32_t>(text.size()), nullptr, 0);
        }
        db.WriteAllHeaders();
        db.WriteRows();
    }
    TestDatabase db;
    db.Open(Path().c_str(), kReadWrite);
    db.ReadRows();
    ASSERT_EQ(db.GetRecordset()->getSize(), 3);
    EXPECT_EQ(TextOf(db[0]), "row 0");
    EXPECT_EQ(TextOf(db[1]), huge);
    EXPECT_EQ(TextOf(db[2]), "row 2");
    EXPECT_EQ(db[2]->GetPos(), RowStarts()[2]);
    EXPECT_EQ(db.GetPosition(), db.GetLength()) << "the stream ends after the last row";
}

TEST(DatabaseConstruction, WithoutMemoryRaisesOutOfMemoryAndLeaksNothing) {
    for (uint32_t n = 1;; ++n) {
        platform::FaultInjector injector;
        platform::ScopedFaultInjector scope(injector);
        injector.FailNth(platform::FaultOp::Alloc, n, ERROR_NOT_ENOUGH_MEMORY);
        std::unique_ptr<TestDatabase> db;
        const Caught caught = testsupport::Catch([&] { db = std::make_unique<TestDatabase>(); });
        if (!injector.Fired(platform::FaultOp::Alloc)) {
            EXPECT_FALSE(caught.raised());
            EXPECT_NE(db->GetConduitHeader(), nullptr);
            EXPECT_GT(n, 2u) << "recordset and conduit header are allocated";
            break;
        }
        EXPECT_EQ(caught.text, u"Out of memory") << "allocation " << n;
    }
}

TEST_F(DatabaseFile, ReadErrorWhileReadingRows) {
    Create(5);
    TestDatabase db;
    db.Open(Path().c_str(), kReadWrite);
    platform::FaultInjector injector;
    platform::ScopedFaultInjector scope(injector);
    injector.FailNth(platform::FaultOp::Read, 1, ERROR_READ_FAULT);
    const Caught caught = testsupport::Catch([&] { db.ReadRows(); });
    EXPECT_EQ(caught.text, u"File IO read error");
    EXPECT_EQ(caught.number, 7u);
}

}  // namespace
