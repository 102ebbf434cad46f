// What a save leaves the database object knowing: the header table it wrote,
// refusals of writes that would land in the wrong place or nowhere, and the
// records a caller's subclass reads itself.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "notestore/engine/Database.h"
#include "notestore/engine/RowsCollection.h"
#include "notestore/engine/Rowset.h"
#include "notestore/foundation/Exception.h"
#include "notestore/foundation/File.h"
#include "platform/Types.h"
#include "support/Caught.h"
#include "support/SaveFaults.h"
#include "support/TempDir.h"
#include "support/TestDatabase.h"

namespace {

using testsupport::Catch;
using testsupport::Caught;
using testsupport::TestDatabase;
using testsupport::TestHeader;
using zr_gen::CFile;
using zr_gen::THeaderRecord;

constexpr uint32_t kCreate = CFile::kCreate | CFile::kModeReadWrite;
constexpr uint16_t kExtraId = 5;

// A database that also registers header 5, which older files lack.
class WiderDatabase : public TestDatabase {
public:
    WiderDatabase() { headerManager_.RegisterHeader(THeaderRecord{kExtraId, 40}, new TestHeader()); }
};

class DatabaseSaveTest : public ::testing::Test {
protected:
    void MakeNarrowFile(int rows) {
        TestDatabase db;
        ASSERT_EQ(db.Open(path_.c_str(), kCreate), 1);
        db.InitNewDatabase();
        for (int i = 0; i < rows; ++i) db.GetRecordset()->Append();
        db.WriteAllHeaders();
        db.WriteRows();
        db.Close();
    }
    std::string Bytes() const { return testsupport::FileBytes(testsupport::Native(path_)); }

    testsupport::TempDir dir_;
    std::u16string path_ = dir_.File("db");
};

TEST_F(DatabaseSaveTest, AfterAddingAHeaderTheSameSessionReadsAndSavesRight) {
    MakeNarrowFile(3);
    WiderDatabase db;
    ASSERT_EQ(db.Open(path_.c_str(), CFile::kModeReadWrite), 1);
    db.ReadRows();
    db.WriteAllHeaders();
    db.WriteRows();
    // The table the object remembers is the one it wrote.
    ASSERT_EQ(db.GetHeaderManager().recorded().size(), 2u);
    db.ReadRows();
    EXPECT_EQ(db.GetRecordset()->getSize(), 3);
    db.WriteRows();
    EXPECT_TRUE(db.ReadHeader(kExtraId));
    db.Close();

    WiderDatabase again;
    ASSERT_EQ(again.Open(path_.c_str(), CFile::kModeRead), 1);
    again.ReadRows();
    EXPECT_EQ(again.GetRecordset()->getSize(), 3);
    EXPECT_TRUE(again.ReadHeader(kExtraId));
}

TEST_F(DatabaseSaveTest, WriteHeaderForAnIdTheFileLacksRaisesAndWritesNothing) {
    MakeNarrowFile(2);
    const std::string before = Bytes();
    WiderDatabase db;
    ASSERT_EQ(db.Open(path_.c_str(), CFile::kModeReadWrite), 1);
    const Caught refused = Catch([&] { db.WriteHeader(kExtraId); });
    EXPECT_EQ(refused.kind, Caught::Kind::DBException);
    EXPECT_EQ(refused.text, u"The db structure is different");
    EXPECT_EQ(refused.number, 2u);
    db.Close();
    EXPECT_EQ(Bytes(), before);
}

TEST_F(DatabaseSaveTest, WritesOnADatabaseNotOpenRaiseTheFileError) {
    MakeNarrowFile(1);
    TestDatabase never;
    TestDatabase closed;
    ASSERT_EQ(closed.Open(path_.c_str(), CFile::kModeReadWrite), 1);
    closed.Close();
    for (TestDatabase* db : {&never, &closed}) {
        for (const auto& write : {+[](TestDatabase& d) { d.WriteAllHeaders(); }, +[](TestDatabase& d) { d.WriteRows(); },
                                  +[](TestDatabase& d) { d.WriteHeader(1); }}) {
            const Caught caught = Catch([&] { write(*db); });
            EXPECT_EQ(caught.kind, Caught::Kind::FileException);
            EXPECT_EQ(caught.cause, zr_gen::CFileException::invalidFile);
        }
    }
}

TEST_F(DatabaseSaveTest, RowsAfterFailedHeadersAreRefused) {
    MakeNarrowFile(2);
    const std::string before = Bytes();
    WiderDatabase db;
    ASSERT_EQ(db.Open(path_.c_str(), CFile::kModeReadWrite), 1);
    db.ReadRows();
    // Headers that no longer fit their slot fail before anything is written.
    auto& tags = db.GetConduitHeader()->getTaggedDataManager();
    const std::string tooMuch(600, 'x');
    tags.setData(3, tooMuch.data(), static_cast<uint32_t>(tooMuch.size()), nullptr, 0);
    EXPECT_TRUE(Catch([&] { db.WriteAllHeaders(); }).raised());
    tags.setData(3, tooMuch.data(), 1, nullptr, 0);
    const Caught rows = Catch([&] { db.WriteRows(); });
    EXPECT_EQ(rows.text, u"File IO write error");
    EXPECT_EQ(rows.number, 8u);
    EXPECT_EQ(Bytes(), before);
    EXPECT_EQ(db.GetHeaderManager().recorded().size(), 1u) << "the old table is remembered again";
    db.WriteAllHeaders();
    db.WriteRows();
    db.Close();
    EXPECT_NE(Bytes(), before);
}

// A caller's record class whose Read is its own.
class CountingRecord : public zr_gen::CDBRecord {
public:
    void Read(zr_gen::CFileStream& stream) override {
        ++reads;
        CDBRecord::Read(stream);
    }
    static inline int reads = 0;
};

class CountingRecordset : public zr_gen::CDBRecordset {
public:
    zr_gen::CDBRecord* CreateDBRecord() override { return Initialized(new CountingRecord()); }
};

class CountingDatabase : public TestDatabase {
public:
    CountingDatabase() {
        delete recordset_;
        recordset_ = new CountingRecordset();
    }
};

TEST_F(DatabaseSaveTest, ReadRowsCallsTheOverriddenReadOfACallersRecord) {
    MakeNarrowFile(4);
    CountingRecord::reads = 0;
    CountingDatabase db;
    ASSERT_EQ(db.Open(path_.c_str(), CFile::kModeRead), 1);
    db.ReadRows();
    EXPECT_EQ(db.GetRecordset()->getSize(), 4);
    EXPECT_EQ(CountingRecord::reads, 4);
}

}  // namespace
