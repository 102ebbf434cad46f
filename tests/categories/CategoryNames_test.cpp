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

std::u16string NameOf(CCategoryRecord* record) {
    _String name;
    record->GetCategoryName(name);
    return std::u16string(name.Text());
}

// A document in `path` whose category is `category`.
void MakeDocument(const std::u16string& path, const char16_t* category) {
    COutlineDB db;
    db.SetCategoryName(category);
    ASSERT_EQ(db.Open(path.c_str(), kCreate), 1);
    db.InitNewDatabase();
    db.WriteAllHeaders();
    db.WriteRows();
    db.Close();
}

std::u16string CategoryOf(const std::u16string& path) {
    COutlineDB db;
    EXPECT_EQ(db.Open(path.c_str(), CFile::kModeRead), 1);
    db.ReadSharedHeader();
    _String name;
    db.GetCategoryName(name);
    return std::u16string(name.Text());
}

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

TEST_F(CategoryNames, NamesInAnyScriptAreAddedFoundRenamedAndDeletedAfterAReopen) {
    const std::vector<std::u16string> names = {u"Работа", u"Ελλάδα", u"עבודה", u"عمل", u"工作", u"😀 Fun",
                                               u"e\u0301t\u00E9"};
    Create(u"Без категории", names);
    CCategoryDB db;
    ASSERT_EQ(db.Open(Path().c_str(), CFile::kModeReadWrite), 1);
    db.ReadRows();
    EXPECT_EQ(db.GetCategoryCount(), names.size() + 1);
    EXPECT_EQ(NameOf(db.GetByIndex(0)), u"Без категории");
    for (const std::u16string& name : names) {
        CCategoryRecord* record = db.FindCategory(name.c_str());
        ASSERT_NE(record, nullptr) << testing::PrintToString(name);
        EXPECT_EQ(NameOf(record), name);
    }
    // "Работа" and "Ελλάδα" are both "??????" in the code page.
    EXPECT_NE(db.FindCategory(u"Работа"), db.FindCategory(u"Ελλάδα"));
    EXPECT_EQ(db.FindCategory(u"Работы"), nullptr);

    db.RenameCategory(db.FindCategory(u"Работа"), u"Дом", kTime);
    db.DeleteCategory(db.FindCategory(u"工作"), kTime);
    db.WriteAllHeaders();
    db.WriteRows();
    db.Close();

    CCategoryDB reopened;
    ASSERT_EQ(reopened.Open(Path().c_str(), CFile::kModeRead), 1);
    reopened.ReadRows();
    EXPECT_EQ(reopened.FindCategory(u"Работа"), nullptr);
    ASSERT_NE(reopened.FindCategory(u"Дом"), nullptr);
    EXPECT_EQ(reopened.FindCategory(u"工作"), nullptr);
    EXPECT_NE(reopened.FindCategory(u"Ελλάδα"), nullptr);
}

// A name is kept to 31 units, a surrogate pair whole; looking it up by the
// long name finds what adding it by that name made.
TEST_F(CategoryNames, ALongNameIsCutAndFoundByTheNameItWasAddedAs) {
    std::u16string longName;
    for (int i = 0; i < 20; ++i) longName += u"😀";  // 40 units
    Create(u"Unfiled", {longName});
    CCategoryDB db;
    ASSERT_EQ(db.Open(Path().c_str(), CFile::kModeRead), 1);
    db.ReadRows();
    CCategoryRecord* record = db.FindCategory(longName.c_str());
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(NameOf(record), longName.substr(0, 30));
}

TEST_F(CategoryNames, TheUnfiledCategoryKeepsIdZeroWhateverItsName) {
    for (const char16_t* unfiled : {u"Без категории", u"未分類", u"😀"}) {
        Create(unfiled, {u"Работа", u"Ελλάδα"});
        CCategoryDB db;
        ASSERT_EQ(db.Open(Path().c_str(), CFile::kModeRead), 1);
        db.ReadRows();
        db.setDesktopCategoryIDs();
        EXPECT_EQ(db.FindCategory(unfiled)->GetCategoryId(), 0u);
        EXPECT_EQ(db.FindCategory(u"Работа")->GetCategoryId(), 129u);
        EXPECT_EQ(db.FindCategory(u"Ελλάδα")->GetCategoryId(), 130u);

        // The caller's unfiled name changed (another language): the category
        // that has id 0 stays the unfiled one.
        CCategoryDB::setUnfiledCategoryName(u"Unfiled");
        db.setDesktopCategoryIDs();
        EXPECT_EQ(db.FindCategory(unfiled)->GetCategoryId(), 0u);
        EXPECT_EQ(db.FindCategory(u"Ελλάδα")->GetCategoryId(), 130u);
    }
}

TEST_F(CategoryNames, RenamingAndRemovingReachEveryDocumentOfAFolder) {
    const std::u16string work = dir.File("work.zro"), greek = dir.File("greek.zro"), other = dir.File("other.zro");
    MakeDocument(work, u"Работа");
    MakeDocument(greek, u"Ελλάδα");
    MakeDocument(other, u"😀");
    CCategoryDB::setUnfiledCategoryName(u"Без категории");
    const std::u16string folder = dir.File("");

    zr_gen::updateCategory(folder.c_str(), u"zro", u"Работа", u"Дом 🏠");
    EXPECT_EQ(CategoryOf(work), u"Дом 🏠");
    EXPECT_EQ(CategoryOf(greek), u"Ελλάδα") << "the same code-page bytes, another name";
    EXPECT_EQ(CategoryOf(other), u"😀");

    zr_gen::updateCategory(folder.c_str(), u"zro", u"Ελλάδα", nullptr);
    EXPECT_EQ(CategoryOf(greek), u"Без категории");
    EXPECT_EQ(CategoryOf(work), u"Дом 🏠");
    EXPECT_TRUE(zr_gen::updateFileCategory(other.c_str(), false, u"😁", u"x"));
    EXPECT_EQ(CategoryOf(other), u"😀") << "another emoji is another name";
}

}  // namespace
