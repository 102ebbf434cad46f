// Category names in any script: stored, found, renamed, deleted and carried
// into the documents exactly; code-page names are stored as they always were.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "notestore/categories/CategoryDB.h"
#include "notestore/categories/DocumentCategories.h"
#include "notestore/foundation/File.h"
#include "notestore/outline/OutlineDB.h"
#include "support/Bytes.h"
#include "support/TempDir.h"

namespace {

using testsupport::Bytes;
using zr_gen::_String;
using zr_gen::CCategoryDB;
using zr_gen::CCategoryRecord;
using zr_gen::CFile;
using zr_gen::COutlineDB;
using zr_gen::CTime;

constexpr uint32_t kCreate = CFile::kCreate | CFile::kModeReadWrite;
const CTime kTime(1700000000);

class CategoryNames : public ::testing::Test {
protected:
    void TearDown() override { CCategoryDB::setUnfiledCategoryName(u"Unfiled"); }
    std::u16string Path() const { return dir.File("categories.db"); }

    // A new database under `unfiled` with the given categories, written.
    void Create(const char16_t* unfiled, const std::vector<std::u16string>& names) const {
        CCategoryDB::setUnfiledCategoryName(unfiled);
        CCategoryDB db;
        ASSERT_EQ(db.Open(Path().c_str(), kCreate), 1);
        db.InitNewDatabase();
        db.GetByIndex(0)->SetLastChangedTime(kTime);
        for (const std::u16string& name : names) db.AddNewCategory(name.c_str(), &kTime);
        db.WriteAllHeaders();
        db.WriteRows();
        db.Close();
    }

    testsupport::TempDir dir;
};

TEST_F(CategoryNames, ACodePageDatabaseIsStoredByteForByteAsBefore) {
    Create(u"Non classé", {u"Büro", u"Privé €", u"Really?"});
    const Bytes written = testsupport::ReadFileBytes(dir.path() / "categories.db");
    const Bytes golden = testsupport::ReadFileBytes(std::filesystem::path(NOTESTORE_TEST_DATA) / "windows1252.cat");
    const std::filesystem::path actual = std::filesystem::temp_directory_path() / "windows1252.cat.actual";
    if (written != golden) testsupport::WriteFileBytes(actual, written);
    EXPECT_EQ(written, golden) << "the bytes written are in " << actual;
}

}  // namespace
