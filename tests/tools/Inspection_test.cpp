#include "tools/zro/Inspection.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/TempDir.h"
#include "tools/RichDocument.h"
#include "tools/zro/Commands.h"
#include "tools/zro/Document.h"

namespace {

using namespace zrotest;
using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;
using zro::Inspection;
using Verdict = zro::Inspection::Verdict;

// Every file of the corpora: the walk never crashes and its verdict agrees
// with its findings; the seeds whose damage is known get the right verdict.
TEST(Inspection, CorporaGetAVerdictAndNeverCrash) {
    size_t files = 0;
    for (const char* corpus : {"outline_fuzz", "database_fuzz"}) {
        for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(FUZZ_CORPUS_DIR) / corpus)) {
            const Inspection inspection = zro::Inspect(entry.path().string());
            EXPECT_EQ(inspection.verdict == Verdict::kSound, inspection.findings.empty()) << entry.path();
            ++files;
        }
    }
    EXPECT_GT(files, 100u);
    const std::filesystem::path seeds = std::filesystem::path(FUZZ_CORPUS_DIR) / "outline_fuzz";
    EXPECT_EQ(zro::Inspect((seeds / "three-items").string()).verdict, Verdict::kSound);
    EXPECT_EQ(zro::Inspect((seeds / "version-1").string()).verdict, Verdict::kNotADocument);
    const Inspection cut = zro::Inspect((seeds / "cut-in-drawing").string());
    EXPECT_EQ(cut.verdict, Verdict::kDamaged);
    EXPECT_EQ(cut.findings.front().row, 2);
}

class Salvaging : public ::testing::Test {
protected:
    void SetUp() override {
        WriteRichDocument(sound_);
        bytes_ = ReadFileBytes(sound_);
        layout_ = Split(bytes_);
        size_t at = bytes_.size();
        for (size_t i = layout_.rows.size(); i-- > 0;) {
            at -= layout_.rows[i].size();
            rowStart_.insert(rowStart_.begin(), at);
        }
    }

    // Salvages `damaged` and returns the rows of the new document.
    std::vector<Bytes> Salvaged(const Bytes& damaged) {
        WriteFileBytes(damagedPath_, damaged);
        std::filesystem::remove(target_);
        zro::Salvage(damagedPath_.string(), target_.string(), false);
        EXPECT_EQ(ReadFileBytes(damagedPath_), damaged);  // the damaged file is left alone
        EXPECT_EQ(zro::Inspect(target_.string()).verdict, Verdict::kSound);
        return Split(ReadFileBytes(target_)).rows;
    }

    testsupport::TempDir dir_;
    std::filesystem::path sound_ = dir_.path() / "sound.zro";
    std::filesystem::path damagedPath_ = dir_.path() / "damaged.zro";
    std::filesystem::path target_ = dir_.path() / "saved.zro";
    Bytes bytes_;
    Layout layout_;
    std::vector<size_t> rowStart_;
};

TEST_F(Salvaging, EveryRowBeforeADamagedOneComesBackAndResynchronisingFindsTheRest) {
    for (size_t damagedRow = 0; damagedRow < layout_.rows.size(); ++damagedRow) {
        SCOPED_TRACE("row " + std::to_string(damagedRow));
        const size_t start = rowStart_[damagedRow];
        // Cut in the middle of the row: the rows before it come back.
        Bytes cut(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(start + 10));
        const Inspection cutInspection = zro::Inspect((WriteFileBytes(damagedPath_, cut), damagedPath_.string()));
        EXPECT_EQ(cutInspection.verdict, Verdict::kDamaged);
        EXPECT_EQ(cutInspection.findings.front().offset, start);
        EXPECT_EQ(cutInspection.findings.front().row, static_cast<int64_t>(damagedRow));
        std::vector<Bytes> rows = Salvaged(cut);
        ASSERT_EQ(rows.size(), damagedRow);
        for (size_t i = 0; i < damagedRow; ++i) EXPECT_EQ(rows[i], layout_.rows[i]);

        // A flipped start identifier: every other row comes back.
        Bytes flipped = bytes_;
        flipped[start] ^= 0xFF;
        rows = Salvaged(flipped);
        ASSERT_EQ(rows.size(), layout_.rows.size() - 1);
        for (size_t i = 0, j = 0; i < layout_.rows.size(); ++i) {
            if (i != damagedRow) {
                EXPECT_EQ(rows[j++], layout_.rows[i]);
            }
        }
    }
}

TEST_F(Salvaging, KeepsTheHeadersAndDeletedIdsWhenTheyRead) {
    Bytes damaged = bytes_;
    damaged[rowStart_[1] + 5] ^= 0x40;  // row 1's length runs past the end
    Salvaged(damaged);
    const Layout saved = Split(ReadFileBytes(target_));
    EXPECT_EQ(saved.deleted, layout_.deleted);
    // The headers the library knows are copied field for field; the foreign
    // one has no class to copy it through and stays behind.
    zro::Document document(target_.string(), zro::Document::Access::kRead);
    zr_gen::_String title;
    document.Db().GetOutlineTitle(title);
    EXPECT_EQ(title.Text(), u"Groceries \u00E9");
    LOGFONTW font{};
    uint32_t color = 0;
    document.Db().GetOutlineFont(font, &color);
    EXPECT_EQ(std::u16string(font.lfFaceName), u"Tahoma");
    EXPECT_TRUE(document.Db().GetPrivate());
    EXPECT_EQ(saved.headers.size() + kForeignSlot.size() + 6, layout_.headers.size());
}

TEST_F(Salvaging, RefusesForeignInputAndAnExistingTarget) {
    WriteFileBytes(damagedPath_, Bytes{'n', 'o', 't', ' ', 'a', ' ', 'd', 'o', 'c', 'u', 'm', 'e', 'n', 't'});
    try {
        zro::Salvage(damagedPath_.string(), target_.string(), false);
        ADD_FAILURE() << "foreign bytes were salvaged";
    } catch (const zro::Failure& failure) {
        EXPECT_EQ(failure.ExitCode(), zro::kExitUsage);
    }
    EXPECT_FALSE(std::filesystem::exists(target_));
    WriteFileBytes(target_, Bytes{1, 2, 3});
    EXPECT_THROW(zro::Salvage(sound_.string(), target_.string(), false), zro::Failure);
    EXPECT_EQ(ReadFileBytes(target_), (Bytes{1, 2, 3}));
    EXPECT_THROW(zro::Salvage(sound_.string(), sound_.string(), true), zro::Failure);
    EXPECT_EQ(ReadFileBytes(sound_), bytes_);
}

}  // namespace
