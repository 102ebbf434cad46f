// Crash-safe saving of outline documents: every way a document is saved,
// through every failure (see support/SaveFaults.h), and the disk running full
// on a real small file system.
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "notestore/foundation/Exception.h"
#include "notestore/foundation/File.h"
#include "notestore/foundation/Messages.h"
#include "notestore/outline/OutlineDB.h"
#include "support/Caught.h"
#include "support/SaveFaults.h"
#include "support/TempDir.h"

namespace {

using testsupport::Catch;
using testsupport::Caught;
using zr_gen::CFile;
using zr_gen::COutlineDB;
using zr_gen::COutlineRecord;

constexpr uint32_t kCreate = CFile::kCreate | CFile::kModeReadWrite;
constexpr uint32_t kOldItems = 30;

std::u16string ItemText(uint32_t id) { return u"item " + std::u16string(1, static_cast<char16_t>(u'A' + id % 26)); }

void AppendItem(COutlineDB& db, uint32_t id, const std::u16string& text) {
    auto* item = static_cast<COutlineRecord*>(db.GetRecordset()->Append());
    item->SetId(id);
    item->SetText(text.c_str());
}

void WriteDocument(const std::u16string& path, uint32_t items, const char16_t* title) {
    COutlineDB db;
    ASSERT_EQ(db.Open(path.c_str(), kCreate), 1);
    db.InitNewDatabase();
    db.SetOutlineTitle(title);
    for (uint32_t id = 1; id <= items; ++id) AppendItem(db, id, ItemText(id));
    db.WriteAllHeaders();
    db.WriteRows();
    db.Close();
}

COutlineRecord* Item(COutlineDB& db, uint32_t index) { return static_cast<COutlineRecord*>(db.getRecord(index)); }

// An existing document opened, changed by `change` and saved with both
// headers and the rows, as the application saves.
class OutlineCase : public testsupport::SaveCase {
public:
    using Change = void (*)(COutlineDB&);
    explicit OutlineCase(Change change) : change_(change) {}

    void MakeOld(const std::u16string& path) override { WriteDocument(path, kOldItems, u"Old title"); }
    void Prepare(const std::u16string& path) override {
        db_ = std::make_unique<COutlineDB>();
        ASSERT_EQ(db_->Open(path.c_str(), CFile::kModeReadWrite), 1);
        ASSERT_TRUE(db_->ReadSharedHeader());
        ASSERT_TRUE(db_->ReadPrivateHeader());
        db_->ReadRows();
        change_(*db_);
    }
    void Save() override {
        db_->WriteAllHeaders();
        db_->WriteRows();
    }
    void Close() override {
        std::unique_ptr<COutlineDB> db = std::move(db_);
        if (db) db->Close();
    }
    void Reopen(const std::u16string& path) override {
        COutlineDB db;
        if (db.Open(path.c_str(), CFile::kModeRead | CFile::kShareRead) != 1) {
            ZR_THROW(CException, zr_gen::kMsgFileReadError, 7);
        }
        db.ReadSharedHeader();
        db.ReadPrivateHeader();
        db.ReadRows();
    }

protected:
    std::unique_ptr<COutlineDB> db_;

private:
    Change change_;
};

// Only the private header, written alone.
class HeaderOnlyCase : public OutlineCase {
public:
    HeaderOnlyCase() : OutlineCase([](COutlineDB& db) { db.SetOutlineTitle(u"A new title of another length"); }) {}
    void Save() override { db_->WritePrivateHeader(); }
};

// A new document created over the old file.
class CreateOverCase : public OutlineCase {
public:
    CreateOverCase() : OutlineCase(nullptr) {}
    void Prepare(const std::u16string& path) override {
        db_ = std::make_unique<COutlineDB>();
        ASSERT_EQ(db_->Open(path.c_str(), kCreate), 1);
        db_->InitNewDatabase();
        db_->SetOutlineTitle(u"Imported");
        for (uint32_t id = 1; id <= 5; ++id) AppendItem(*db_, id, u"imported " + ItemText(id));
    }
};

TEST(OutlineSaveTest, GrowingAnItemIsCrashSafe) {
    OutlineCase grow([](COutlineDB& db) { Item(db, 0)->SetText(std::u16string(2000, u'g').c_str()); });
    testsupport::CheckCrashSafe(grow);
}

TEST(OutlineSaveTest, ShrinkingIsCrashSafe) {
    OutlineCase shrink([](COutlineDB& db) {
        for (int i = 0; i < 10; ++i) db.GetRecordset()->Delete(0);
        Item(db, 0)->SetText(u"");
    });
    testsupport::CheckCrashSafe(shrink);
}

TEST(OutlineSaveTest, AppendingIsCrashSafe) {
    OutlineCase append([](COutlineDB& db) {
        for (uint32_t id = kOldItems + 1; id <= kOldItems + 10; ++id) AppendItem(db, id, ItemText(id));
    });
    testsupport::CheckCrashSafe(append);
}

// A save after a save in the same session: rows the first one wrote are
// passed over unless they changed or moved.
class SecondSaveCase : public OutlineCase {
public:
    SecondSaveCase() : OutlineCase(&ChangeAgain) {}
    void MakeOld(const std::u16string& path) override {
        OutlineCase::MakeOld(path);
        Prepare(path);
        Save();
        Close();
    }

private:
    // The first save writes what the old document already holds.
    static void ChangeAgain(COutlineDB& db) {
        Item(db, 3)->SetText(u"changed and saved before");
        db.WriteAllHeaders();
        db.WriteRows();
        Item(db, 20)->SetChecked(true);
        Item(db, 25)->SetText(u"longer than it was, so the rows after it move");
        AppendItem(db, kOldItems + 1, u"appended");
    }
};

TEST(OutlineSaveTest, SavingOnlyWhatChangedIsCrashSafe) {
    SecondSaveCase again;
    testsupport::CheckCrashSafe(again);
}

TEST(OutlineSaveTest, HeaderOnlySaveIsCrashSafe) {
    HeaderOnlyCase header;
    testsupport::CheckCrashSafe(header);
}

TEST(OutlineSaveTest, CreatingOverAnExistingFileIsCrashSafe) {
    CreateOverCase create;
    testsupport::CheckCrashSafe(create);
}

TEST(OutlineSaveTest, SuccessfulSaveLeavesNoJournal) {
    testsupport::TempDir dir;
    const std::u16string path = dir.File("doc.zro");
    WriteDocument(path, 3, u"t");
    EXPECT_FALSE(std::filesystem::exists(testsupport::Native(testsupport::JournalOf(path))));
}

// A live writer's journal is not played back by a reader, and the writer's
// save still commits.
TEST(OutlineSaveTest, JournalOfALiveSaveIsLeftAlone) {
    testsupport::TempDir dir;
    const std::u16string path = dir.File("doc.zro");
    WriteDocument(path, 3, u"old");
    const std::string old = testsupport::FileBytes(testsupport::Native(path));
    COutlineDB writer;
    ASSERT_EQ(writer.Open(path.c_str(), CFile::kModeReadWrite | CFile::kShareRead), 1);
    ASSERT_TRUE(writer.ReadPrivateHeader());
    writer.ReadRows();
    writer.SetOutlineTitle(u"a title long enough to move nothing but change bytes");
    writer.WriteAllHeaders();  // the save is open until WriteRows
    ASSERT_TRUE(std::filesystem::exists(testsupport::Native(testsupport::JournalOf(path))));
    {
        COutlineDB reader;
        ASSERT_EQ(reader.Open(path.c_str(), CFile::kModeRead | CFile::kShareReadWrite), 1);
    }
    EXPECT_TRUE(std::filesystem::exists(testsupport::Native(testsupport::JournalOf(path))));
    writer.WriteRows();
    // Committed: the journal the session keeps holds nothing to play back.
    const std::string journal = testsupport::FileBytes(testsupport::Native(testsupport::JournalOf(path)));
    EXPECT_EQ(journal.substr(0, 20), std::string(20, '\0'));
    writer.Close();
    EXPECT_FALSE(std::filesystem::exists(testsupport::Native(testsupport::JournalOf(path))));
    EXPECT_NE(testsupport::FileBytes(testsupport::Native(path)), old);
}

// A save that the disk cannot hold fails with "diskFull", leaves the old
// document, and succeeds once there is room.
TEST(OutlineSaveTest, DiskFullOnARealFileSystem) {
    testsupport::TempDir dir;
    const std::filesystem::path mount = dir.path() / "small";
    std::filesystem::create_directory(mount);
    if (::mount("tmpfs", mount.c_str(), "tmpfs", 0, "size=128k") != 0) {
        GTEST_SKIP() << "cannot mount a small file system here (" << std::strerror(errno)
                     << "); run as root where mounting is allowed";
    }
    struct Unmount {
        std::filesystem::path path;
        ~Unmount() { umount2(path.c_str(), MNT_DETACH); }
    } unmount{mount};
    const std::u16string path = platform::Utf8ToUtf16((mount / "doc.zro").string());
    WriteDocument(path, 200, u"full");
    const std::string old = testsupport::FileBytes(testsupport::Native(path));
    // Fill what is left.
    const std::filesystem::path filler = mount / "filler";
    {
        std::ofstream out(filler, std::ios::binary);
        const std::string block(4096, 'x');
        while (out.write(block.data(), block.size())) {
        }
    }
    COutlineDB db;
    ASSERT_EQ(db.Open(path.c_str(), CFile::kModeReadWrite), 1);
    ASSERT_TRUE(db.ReadSharedHeader());
    ASSERT_TRUE(db.ReadPrivateHeader());
    db.ReadRows();
    Item(db, 0)->SetText(std::u16string(6000, u'w').c_str());
    const Caught full = Catch([&] {
        db.WriteAllHeaders();
        db.WriteRows();
    });
    EXPECT_EQ(full.kind, Caught::Kind::FileException);
    EXPECT_EQ(full.cause, zr_gen::CFileException::diskFull);
    EXPECT_EQ(testsupport::FileBytes(testsupport::Native(path)), old);
    EXPECT_FALSE(std::filesystem::exists(testsupport::Native(testsupport::JournalOf(path))));

    std::filesystem::remove(filler);
    db.WriteAllHeaders();
    db.WriteRows();
    db.Close();
    COutlineDB again;
    ASSERT_EQ(again.Open(path.c_str(), CFile::kModeRead), 1);
    again.ReadRows();
    ASSERT_EQ(again.GetRecordset()->getSize(), 200);
    zr_gen::_String text;
    Item(again, 0)->GetText(text);
    EXPECT_EQ(text.size(), 6000u);
}

}  // namespace
