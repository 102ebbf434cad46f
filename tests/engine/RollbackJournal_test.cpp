// The journal's bytes and how a hot journal is played back, from journals
// written by hand.
#include "notestore/engine/RollbackJournal.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "notestore/engine/JournalFormat.h"
#include "notestore/foundation/File.h"
#include "support/SaveFaults.h"
#include "support/TempDir.h"

namespace {

using testsupport::FileBytes;
using testsupport::Native;

std::string Le32(uint32_t v) { return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }

uint32_t Crc(const std::string& bytes) {
    return zr_gen::journal::Crc32(0, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

constexpr uint32_t kSalt = 0x01020304;

std::string Header(uint32_t originalLength, uint32_t salt = kSalt) {
    std::string header = "jrnl" + std::string("\x01\x00\x00\x00", 4) + Le32(originalLength) + Le32(salt);
    return header + Le32(Crc(header));
}

std::string Record(uint32_t offset, const std::string& bytes, uint32_t salt = kSalt) {
    const std::string head = Le32(offset) + Le32(static_cast<uint32_t>(bytes.size()));
    return head + bytes + Le32(Crc(Le32(salt) + head + bytes));
}

class RollbackJournalTest : public ::testing::Test {
protected:
    void Write(const std::u16string& path, const std::string& bytes) {
        std::ofstream(Native(path), std::ios::binary | std::ios::trunc) << bytes;
    }
    void Recover() { zr_gen::RollbackJournal::RecoverHot(doc_.c_str()); }
    // The document with `bytes`, opened for a save.
    void OpenDocument(zr_gen::CFile& file, const std::string& bytes) {
        Write(doc_, bytes);
        file.Open(doc_.c_str(), zr_gen::CFile::kModeReadWrite);
    }

    testsupport::TempDir dir_;
    std::u16string doc_ = dir_.File("doc.zro");
    std::u16string journal_ = doc_ + u"-journal";
};

TEST_F(RollbackJournalTest, CrcIsTheZipCrc) { EXPECT_EQ(Crc("123456789"), 0xCBF43926u); }

TEST_F(RollbackJournalTest, PlaysBackRecordsAndTheLengthUpToATornRecord) {
    struct Case {
        const char* name;
        std::string journalTail;
        std::string expected;
    };
    std::string damaged = Record(7, "78");
    damaged[8] = 'Z';  // a byte of the record's data
    const Case cases[] = {
        {"whole records", Record(1, "12") + Record(7, "78"), "0123456789"},
        {"torn last record", Record(1, "12") + Record(7, "78").substr(0, 9), "0123456XY9"},
        {"damaged record ends the playback", Record(1, "12") + damaged + Record(0, "0"), "0123456XY9"},
        {"record past the original length", Record(1, "12") + Record(9, "9!"), "0123456XY9"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Write(doc_, "0XY3456XY9 appended");
        Write(journal_, Header(10) + c.journalTail);
        Recover();
        EXPECT_EQ(FileBytes(Native(doc_)), c.expected);
        EXPECT_FALSE(std::filesystem::exists(Native(journal_)));
    }
}

TEST_F(RollbackJournalTest, JournalWithoutASoundHeaderIsDeletedAndChangesNothing) {
    std::string damaged = Header(3);
    damaged[8] = 'x';
    for (const std::string& journal : {std::string(), Header(3).substr(0, 10), damaged}) {
        Write(doc_, "0123456789");
        Write(journal_, journal + Record(0, "abc"));
        Recover();
        EXPECT_EQ(FileBytes(Native(doc_)), "0123456789");
        EXPECT_FALSE(std::filesystem::exists(Native(journal_)));
    }
}

TEST_F(RollbackJournalTest, JournalWithoutItsDocumentIsLeftAlone) {
    Write(journal_, Header(3) + Record(0, "abc"));
    Recover();
    EXPECT_TRUE(std::filesystem::exists(Native(journal_)));
    EXPECT_FALSE(std::filesystem::exists(Native(doc_)));
}

// What a save writes: the header, then one record per range it overwrites,
// each byte at most once; appended bytes are not journaled.
TEST_F(RollbackJournalTest, SaveJournalsEachOverwrittenByteOnce) {
    zr_gen::CFile file;
    OpenDocument(file, "0123456789");
    zr_gen::RollbackJournal journal(doc_.c_str());
    journal.Protect(file, 2, 3);
    journal.Protect(file, 3, 4);  // 2..4 kept already: only 5..6
    journal.Protect(file, 9, 5);  // only the last original byte
    const std::string written = FileBytes(Native(journal_));
    ASSERT_GE(written.size(), 20u);
    const uint32_t salt = static_cast<uint8_t>(written[12]) | static_cast<uint8_t>(written[13]) << 8 |
                          static_cast<uint8_t>(written[14]) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(written[15])) << 24;
    EXPECT_EQ(written, Header(10, salt) + Record(2, "234", salt) + Record(5, "56", salt) + Record(9, "9", salt));
    journal.Commit(file);
    // The commit clears the header; the file goes when the session ends.
    EXPECT_EQ(FileBytes(Native(journal_)), std::string(20, '\0') + written.substr(20));
    journal.Release();
    EXPECT_FALSE(std::filesystem::exists(Native(journal_)));
}

// A second save of the session reuses the journal file: its header goes to
// the start again, and records the first save left behind never play back.
TEST_F(RollbackJournalTest, ASecondSaveOfASessionPlaysBackOnlyItsOwnRecords) {
    zr_gen::CFile file;
    OpenDocument(file, "0123456789");
    {
        zr_gen::RollbackJournal journal(doc_.c_str());
        journal.Protect(file, 0, 10);
        file.Write("abcdefghij", 10);
        journal.Commit(file);
        journal.Protect(file, 4, 1);
        file.Seek(4, zr_gen::CFile::kBegin);
        file.Write("X", 1);
        file.Close();
    }
    // The session ended amid its save, as in a crash: the next open finds
    // the second save's journal hot.
    zr_gen::RollbackJournal::RecoverHot(doc_.c_str());
    EXPECT_EQ(FileBytes(Native(doc_)), "abcdefghij");
}

}  // namespace
