// Crash-safe saving of outline documents: every way a document is saved,
// through every failure (see support/SaveFaults.h), and the disk running full
// on a real small file system.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>

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

// Long enough that 2,000 items make a document that a whole rewrite writes
// anew (a new file in its place) rather than journaling.
std::u16string LongItemText(uint32_t id) { return ItemText(id) + std::u16string(150, u'.'); }
constexpr uint32_t kLargeItems = 2000;

void WriteDocument(const std::u16string& path, uint32_t items, const char16_t* title,
                   std::u16string (*text)(uint32_t) = ItemText) {
    COutlineDB db;
    ASSERT_EQ(db.Open(path.c_str(), kCreate), 1);
    db.InitNewDatabase();
    db.SetOutlineTitle(title);
    for (uint32_t id = 1; id <= items; ++id) AppendItem(db, id, text(id));
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

// The same on a document large enough that a save moving most of it writes
// it anew.
class LargeOutlineCase : public OutlineCase {
public:
    using OutlineCase::OutlineCase;
    void MakeOld(const std::u16string& path) override {
        WriteDocument(path, kLargeItems, u"Old title", LongItemText);
    }
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

TEST(OutlineSaveTest, GrowingTheFirstItemOfALargeDocumentIsCrashSafe) {
    LargeOutlineCase grow([](COutlineDB& db) {
        db.SetOutlineTitle(u"A title of another length");
        Item(db, 0)->SetText(std::u16string(2000, u'g').c_str());
    });
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
    ASSERT_TRUE(writer.ReadPrivateHeader());  // a read puts what the save holds into the file, journaled
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

void FillDiskAndSave(const char* size, uint32_t items, std::u16string (*text)(uint32_t)) {
    testsupport::TempDir dir;
    const std::filesystem::path mount = dir.path() / "small";
    std::filesystem::create_directory(mount);
    if (::mount("tmpfs", mount.c_str(), "tmpfs", 0, size) != 0) {
        GTEST_SKIP() << "cannot mount a small file system here (" << std::strerror(errno)
                     << "); run as root where mounting is allowed";
    }
    struct Unmount {
        std::filesystem::path path;
        ~Unmount() { umount2(path.c_str(), MNT_DETACH); }
    } unmount{mount};
    const std::u16string path = platform::Utf8ToUtf16((mount / "doc.zro").string());
    WriteDocument(path, items, u"full", text);
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
    EXPECT_FALSE(std::filesystem::exists(testsupport::Native(testsupport::SiblingOf(path))));

    std::filesystem::remove(filler);
    db.WriteAllHeaders();
    db.WriteRows();
    db.Close();
    COutlineDB again;
    ASSERT_EQ(again.Open(path.c_str(), CFile::kModeRead), 1);
    again.ReadRows();
    ASSERT_EQ(again.GetRecordset()->getSize(), static_cast<int32_t>(items));
    zr_gen::_String first;
    Item(again, 0)->GetText(first);
    EXPECT_EQ(first.size(), 6000u);
}

ino_t InodeOf(const std::u16string& path) {
    struct stat st {};
    return ::stat(testsupport::Native(path).c_str(), &st) == 0 ? st.st_ino : 0;
}

// Grows the first item of the large document at `path`, opened with `mode`,
// and saves it.
void GrowFirstItem(const std::u16string& path, uint32_t mode) {
    COutlineDB db;
    ASSERT_EQ(db.Open(path.c_str(), mode), 1);
    ASSERT_TRUE(db.ReadSharedHeader());
    ASSERT_TRUE(db.ReadPrivateHeader());
    db.ReadRows();
    Item(db, 0)->SetText(std::u16string(2000, u'g').c_str());
    db.WriteAllHeaders();
    db.WriteRows();
    db.Close();
}

// A whole rewrite goes into a new file only where nobody can tell: the
// document open alone, denying other writers, under one name. Either way
// the bytes are the same and nothing is left beside the document.
TEST(OutlineSaveTest, AWholeRewriteTakesANewFileOnlyWhereNobodyCanTell) {
    struct Case {
        const char* name;
        uint32_t mode;
        bool reader;    // another handle reads the document meanwhile
        bool hardLink;  // the document has a second name
        bool userFile;  // a file of the user's has the sibling's name
        bool newFile;
    };
    const Case cases[] = {
        {"alone", CFile::kModeReadWrite, false, false, false, true},
        {"sharing reads", CFile::kModeReadWrite | CFile::kShareRead, false, false, false, true},
        {"letting others write", CFile::kModeReadWrite | CFile::kShareReadWrite, false, false, false, false},
        {"read meanwhile", CFile::kModeReadWrite | CFile::kShareRead, true, false, false, false},
        {"with a second name", CFile::kModeReadWrite, false, true, false, false},
        {"beside a file of the sibling's name", CFile::kModeReadWrite, false, false, true, false},
    };
    testsupport::TempDir dir;
    const std::u16string model = dir.File("model.zro");
    WriteDocument(model, kLargeItems, u"Large", LongItemText);
    std::string expected;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::u16string path = dir.File(std::string(c.name) + ".zro");
        std::filesystem::copy_file(testsupport::Native(model), testsupport::Native(path));
        std::filesystem::permissions(testsupport::Native(path), std::filesystem::perms::owner_read |
                                                                    std::filesystem::perms::owner_write |
                                                                    std::filesystem::perms::group_read);
        if (c.hardLink) std::filesystem::create_hard_link(testsupport::Native(path), testsupport::Native(path) += ".link");
        const std::filesystem::path sibling = testsupport::Native(testsupport::SiblingOf(path));
        if (c.userFile) std::ofstream(sibling) << "the user's";
        const ino_t before = InodeOf(path);
        COutlineDB reader;
        if (c.reader) {
            ASSERT_EQ(reader.Open(path.c_str(), CFile::kModeRead | CFile::kShareReadWrite), 1);
        }
        GrowFirstItem(path, c.mode);
        EXPECT_EQ(InodeOf(path) != before, c.newFile);
        if (c.reader) {
            reader.ReadRows();  // the reader sees the saved document
            zr_gen::_String text;
            Item(reader, 0)->GetText(text);
            EXPECT_EQ(text.size(), 2000u);
            reader.Close();
        }
        const std::string bytes = testsupport::FileBytes(testsupport::Native(path));
        if (expected.empty()) expected = bytes;
        EXPECT_EQ(bytes, expected);
        EXPECT_EQ(std::filesystem::status(testsupport::Native(path)).permissions(),
                  std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                      std::filesystem::perms::group_read);
        EXPECT_EQ(std::filesystem::exists(sibling), c.userFile);
        EXPECT_FALSE(std::filesystem::exists(testsupport::Native(testsupport::JournalOf(path))));
    }
}

// A sibling left beside the document by a save that did not finish (empty,
// or a document cut anywhere) is removed by the next open, unless a writer
// still has the document; a file of that name that is no document stays.
TEST(OutlineSaveTest, ALeftoverSiblingGoesAtTheNextOpenUnlessAWriterIsAlive) {
    struct Case {
        const char* name;
        bool writerAlive;
        size_t keep;  // bytes of a document the sibling holds; npos: not a document
        bool removed;
    };
    const Case cases[] = {
        {"empty", false, 0, true},
        {"a document cut short", false, 100, true},
        {"a writer alive", true, 100, false},
        {"not a document", false, std::string::npos, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::TempDir dir;
        const std::u16string path = dir.File("doc.zro");
        WriteDocument(path, 3, u"t");
        COutlineDB writer;
        if (c.writerAlive) {
            ASSERT_EQ(writer.Open(path.c_str(), CFile::kModeReadWrite | CFile::kShareRead), 1);
        }
        const std::filesystem::path sibling = testsupport::Native(testsupport::SiblingOf(path));
        const std::string document = testsupport::FileBytes(testsupport::Native(path));
        std::ofstream(sibling, std::ios::binary)
            << (c.keep == std::string::npos ? "a note of the user's" : document.substr(0, c.keep));
        COutlineDB reader;
        ASSERT_EQ(reader.Open(path.c_str(), CFile::kModeRead | CFile::kShareReadWrite), 1);
        EXPECT_EQ(std::filesystem::exists(sibling), !c.removed);
    }
}

// A save that the disk cannot hold fails with "diskFull", leaves the old
// document, and succeeds once there is room: one that rewrites in place and
// one that writes the document anew.
TEST(OutlineSaveTest, DiskFullOnARealFileSystem) {
    struct Case {
        const char* size;
        uint32_t items;
        std::u16string (*text)(uint32_t);
    };
    for (const Case& c : {Case{"size=128k", 200, ItemText}, Case{"size=2m", kLargeItems, LongItemText}}) {
        SCOPED_TRACE(c.size);
        FillDiskAndSave(c.size, c.items, c.text);
        if (::testing::Test::IsSkipped()) return;
    }
}

}  // namespace
