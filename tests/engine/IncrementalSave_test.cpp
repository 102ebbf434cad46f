// Saves that write only what changed: after any run of edits, the file a
// database opened itself ends byte for byte as a save of every row leaves
// one (a database attached to a file it did not open writes every row), and
// a save after a small change costs a small write.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "notestore/engine/RowsCollection.h"
#include "notestore/engine/Rowset.h"
#include "notestore/foundation/File.h"
#include "platform/Faults.h"
#include "support/SaveFaults.h"
#include "support/TempDir.h"
#include "support/TestDatabase.h"

namespace {

using testsupport::FileBytes;
using testsupport::Native;
using testsupport::TestDatabase;
using zr_gen::CDBRecord;
using zr_gen::CFile;

constexpr uint32_t kPayloadTag = 7;

void SetPayload(CDBRecord& record, uint32_t size, uint8_t fill) {
    const std::string bytes(size, static_cast<char>(fill));
    bool changed = false;
    ASSERT_EQ(record.getTaggedDataManager().setData(kPayloadTag, bytes.data(), size, &changed, 0), 0);
}

void MakeFile(const std::u16string& path, uint32_t rows, uint32_t payload) {
    TestDatabase db;
    ASSERT_EQ(db.Open(path.c_str(), CFile::kCreate | CFile::kModeReadWrite), 1);
    db.InitNewDatabase();
    for (uint32_t i = 0; i < rows; ++i) SetPayload(*db.GetRecordset()->Append(), payload, static_cast<uint8_t>(i));
    db.WriteAllHeaders();
    db.WriteRows();
    db.Close();
}

// The same file at `copy` too.
void MakeFileAndCopy(const std::u16string& path, const std::u16string& copy, uint32_t rows, uint32_t payload) {
    MakeFile(path, rows, payload);
    std::filesystem::copy_file(Native(path), Native(copy));
}

void Save(TestDatabase& db) {
    db.WriteAllHeaders();
    db.WriteRows();
}

// The file at `path` read by a database attached to it, changed, and saved
// with every row written; its bytes.
template <class Change>
std::string FullSaveOf(const std::u16string& path, Change change) {
    CFile file;
    file.Open(path.c_str(), CFile::kModeReadWrite);
    TestDatabase db;
    db.Attach(&file);
    db.ReadDbInfo();
    db.GetHeaderManager().Read(db);
    db.ReadRows();
    change(db);
    Save(db);
    db.Detach();
    file.Close();
    return FileBytes(Native(path));
}

// The same edits on two copies of one file: `saving` opened by the database
// (saves pass over rows in place), `reference` attached to a file it did not
// open (every save writes every row).
class TwinDatabases {
public:
    TwinDatabases(const std::u16string& saving, const std::u16string& reference) : savingPath_(saving) {
        EXPECT_EQ(saving_.Open(saving.c_str(), CFile::kModeReadWrite), 1);
        saving_.ReadRows();
        referenceFile_.Open(reference.c_str(), CFile::kModeReadWrite);
        reference_.Attach(&referenceFile_);
        reference_.ReadDbInfo();
        reference_.GetHeaderManager().Read(reference_);
        reference_.ReadRows();
    }
    ~TwinDatabases() {
        saving_.Close();
        reference_.Detach();
        for (CDBRecord* record : asideSaving_) delete record;
        for (CDBRecord* record : asideReference_) delete record;
    }

    template <class Edit>
    void Both(Edit edit) {
        edit(saving_, asideSaving_);
        edit(reference_, asideReference_);
    }
    void SaveBoth() {
        Save(saving_);
        Save(reference_);
        referenceFile_.Flush();
    }
    TestDatabase& Saving() { return saving_; }
    uint32_t Size() { return static_cast<uint32_t>(saving_.GetRecordset()->getSize()); }
    size_t Aside() const { return asideSaving_.size(); }

private:
    std::u16string savingPath_;
    TestDatabase saving_;
    CFile referenceFile_;
    TestDatabase reference_;
    // Records taken out of the recordset and not destroyed, to come back.
    std::vector<CDBRecord*> asideSaving_;
    std::vector<CDBRecord*> asideReference_;
};

using Aside = std::vector<CDBRecord*>;

// Takes the record at `at` out of the recordset, keeping it aside.
void TakeOut(TestDatabase& db, Aside& aside, uint32_t at) {
    auto* recordset = db.GetRecordset();
    std::vector<CDBRecord*> kept;
    for (int32_t i = 0; i < recordset->getSize(); ++i) kept.push_back(recordset->getRecord(static_cast<uint32_t>(i)));
    aside.push_back(kept[at]);
    kept.erase(kept.begin() + at);
    recordset->emptyRS();
    for (CDBRecord* record : kept) recordset->add(record);
}

// Puts the oldest record taken out back before the record at `at`.
void PutBack(TestDatabase& db, Aside& aside, uint32_t at) {
    CDBRecord* back = aside.front();
    aside.erase(aside.begin());
    db.GetRecordset()->add(back);
    db.GetRecordset()->MoveBefore(back, db.getRecord(at));
}

// Two copies of one file, open as twins.
class IncrementalSaveTest : public ::testing::Test {
protected:
    TwinDatabases& Twins(uint32_t rows) {
        MakeFileAndCopy(saving_, reference_, rows, 30);
        twins_ = std::make_unique<TwinDatabases>(saving_, reference_);
        return *twins_;
    }
    std::string Saved() const { return FileBytes(Native(saving_)); }
    std::string Reference() const { return FileBytes(Native(reference_)); }

    testsupport::TempDir dir_;
    std::u16string saving_ = dir_.File("saving.db");
    std::u16string reference_ = dir_.File("reference.db");
    std::unique_ptr<TwinDatabases> twins_;
};

TEST_F(IncrementalSaveTest, AnyRunOfEditsSavesAsAFullSaveWould) {
    TwinDatabases& twins = Twins(40);
    std::mt19937 random(20261209);
    const auto pick = [&](uint32_t below) { return static_cast<uint32_t>(random() % below); };
    for (int step = 0; step < 600; ++step) {
        const uint32_t size = twins.Size();
        const uint32_t at = size == 0 ? 0 : pick(size);
        const uint32_t length = 1 + pick(60);
        const auto fill = static_cast<uint8_t>(pick(256));
        switch (pick(11)) {
        case 0:  // append
            twins.Both([&](TestDatabase& db, Aside&) { SetPayload(*db.GetRecordset()->Append(), length, fill); });
            break;
        case 1:  // insert
            if (size == 0) break;
            twins.Both([&](TestDatabase& db, Aside&) {
                SetPayload(*db.GetRecordset()->InsertBefore(db.getRecord(at)), length, fill);
            });
            break;
        case 2:  // delete
            if (size == 0) break;
            twins.Both([&](TestDatabase& db, Aside&) { db.GetRecordset()->Delete(static_cast<int32_t>(at)); });
            break;
        case 3:  // change, keeping the size when the value had this length
        case 4:
            if (size == 0) break;
            twins.Both([&](TestDatabase& db, Aside&) { SetPayload(*db.getRecord(at), length % 3 == 0 ? 30 : length, fill); });
            break;
        case 5:  // a byte changed through the raw block
            if (size == 0) break;
            twins.Both([&](TestDatabase& db, Aside&) {
                CDBRecord& record = *db.getRecord(at);
                record.GetRawDataPtr()[record.GetRecSize() - 1] ^= 0x5A;
            });
            break;
        case 6:  // move
            if (size < 2) break;
            twins.Both([&](TestDatabase& db, Aside&) {
                db.GetRecordset()->MoveBefore(db.getRecord(at), db.getRecord((at + 1 + length) % size));
            });
            break;
        case 7:  // take a record out, keeping it
            if (size == 0) break;
            twins.Both([&](TestDatabase& db, Aside& aside) { TakeOut(db, aside, at); });
            break;
        case 8:  // bring the oldest one taken out back, anywhere
            if (twins.Aside() == 0) break;
            twins.Both([&](TestDatabase& db, Aside& aside) { PutBack(db, aside, at); });
            break;
        case 9:  // read the file again
            twins.Both([&](TestDatabase& db, Aside&) { db.ReadRows(); });
            break;
        default:
            twins.SaveBoth();
            ASSERT_EQ(Saved(), Reference()) << "after step " << step;
        }
    }
    twins.SaveBoth();
    EXPECT_EQ(Saved(), Reference());
}

// A record taken out keeps its mark; once a save wrote another row where it
// lay, putting it back at that place must write it again.
TEST_F(IncrementalSaveTest, ARecordPutBackWhereAnotherRowWasSavedIsWrittenAgain) {
    TwinDatabases& twins = Twins(5);
    twins.Both([](TestDatabase& db, Aside& aside) { TakeOut(db, aside, 2); });
    twins.SaveBoth();
    twins.Both([](TestDatabase& db, Aside& aside) { PutBack(db, aside, 2); });
    twins.SaveBoth();
    EXPECT_EQ(Saved(), Reference());
}

struct CostCase {
    const char* name;
    void (*change)(TestDatabase&);
    uint64_t mostBytes;  // written to the file and the journal together
};

// 500 rows of 1 KiB: a whole rewrite writes the 0.5 MiB file and its
// journal, over 1 MiB.
const CostCase kCostCases[] = {
    {"append one row", [](TestDatabase& db) { SetPayload(*db.GetRecordset()->Append(), 1000, 1); }, 8 * 1024},
    {"change one row in place", [](TestDatabase& db) { SetPayload(*db.getRecord(250), 1000, 9); }, 8 * 1024},
    {"grow the last row", [](TestDatabase& db) { SetPayload(*db.getRecord(499), 3000, 9); }, 12 * 1024},
    {"delete the last row", [](TestDatabase& db) { db.GetRecordset()->Delete(499); }, 8 * 1024},
    {"set a value it already holds", [](TestDatabase& db) { SetPayload(*db.getRecord(3), 1000, 3); }, 8 * 1024},
    {"grow the middle row", [](TestDatabase& db) { SetPayload(*db.getRecord(250), 1500, 9); }, 600 * 1024},
};

TEST_F(IncrementalSaveTest, ASmallChangeCostsASmallWrite) {
    for (const CostCase& c : kCostCases) {
        SCOPED_TRACE(c.name);
        testsupport::TempDir dir;
        const std::u16string path = dir.File("doc.db");
        const std::u16string reference = dir.File("reference.db");
        MakeFileAndCopy(path, reference, 500, 1000);
        TestDatabase db;
        ASSERT_EQ(db.Open(path.c_str(), CFile::kModeReadWrite), 1);
        db.ReadRows();
        c.change(db);
        platform::FaultInjector counter;
        {
            platform::ScopedFaultInjector installed(counter);
            Save(db);
        }
        EXPECT_LE(counter.BytesWritten(), c.mostBytes);
        db.Close();
        EXPECT_EQ(FileBytes(Native(path)), FullSaveOf(reference, c.change));
    }
}

// Another writer that changes the file behind the database's back, through
// a handle that ignores the share modes: a save must then write everything
// it holds, never leave the other writer's bytes between its own rows.
TEST_F(IncrementalSaveTest, AChangeThroughAnotherHandleMakesTheNextSaveWriteEverything) {
    for (const uint32_t share : {uint32_t{0}, CFile::kShareReadWrite}) {
        SCOPED_TRACE(share);
        testsupport::TempDir dir;
        const std::u16string path = dir.File("doc.db");
        const std::u16string reference = dir.File("reference.db");
        MakeFileAndCopy(path, reference, 20, 30);
        TestDatabase db;
        ASSERT_EQ(db.Open(path.c_str(), CFile::kModeReadWrite | share), 1);
        db.ReadRows();
        struct stat before {};
        ASSERT_EQ(stat(Native(path).c_str(), &before), 0);
        const int fd = open(Native(path).c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        const std::string scribble(40, 'X');
        ASSERT_EQ(pwrite(fd, scribble.data(), scribble.size(), static_cast<off_t>(before.st_size) - 200), 40);
        // Where others may write, even a change that leaves length and time
        // as they were is not trusted away.
        struct timespec times[2] = {before.st_atim, before.st_mtim};
        if (share == 0) times[1].tv_sec += 2;
        ASSERT_EQ(futimens(fd, times), 0);
        close(fd);
        SetPayload(*db.getRecord(0), 30, 0xEE);
        Save(db);
        db.Close();
        // What the database held, written whole.
        const std::string full = FullSaveOf(reference, [](TestDatabase& held) { SetPayload(*held.getRecord(0), 30, 0xEE); });
        EXPECT_EQ(FileBytes(Native(path)), full);
    }
}

}  // namespace
