// Crash-safe saving of the category database and of the category name a
// document keeps (see support/SaveFaults.h for the loops).
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "notestore/categories/CategoryDB.h"
#include "notestore/categories/DocumentCategories.h"
#include "notestore/foundation/Exception.h"
#include "notestore/foundation/File.h"
#include "notestore/foundation/Messages.h"
#include "notestore/outline/OutlineDB.h"
#include "support/SaveFaults.h"

namespace {

using zr_gen::CCategoryDB;
using zr_gen::CFile;
using zr_gen::COutlineDB;
using zr_gen::CTime;

constexpr uint32_t kCreate = CFile::kCreate | CFile::kModeReadWrite;

[[noreturn]] void RaiseNotOpened() { ZR_THROW(CException, zr_gen::kMsgFileReadError, 7); }

class CategoryCase : public testsupport::SaveCase {
public:
    void MakeOld(const std::u16string& path) override {
        CCategoryDB db;
        ASSERT_EQ(db.Open(path.c_str(), kCreate), 1);
        db.InitNewDatabase();
        const CTime time(1000000);
        for (const char16_t* name : {u"Work", u"Home", u"Travel"}) ASSERT_NE(db.AddNewCategory(name, &time), nullptr);
        db.WriteAllHeaders();
        db.WriteRows();
        db.Close();
    }
    void Prepare(const std::u16string& path) override {
        db_ = std::make_unique<CCategoryDB>();
        ASSERT_EQ(db_->Open(path.c_str(), CFile::kModeReadWrite), 1);
        db_->ReadRows();
        const CTime time(2000000);
        ASSERT_NE(db_->AddNewCategory(u"A much longer category name", &time), nullptr);
        db_->DeleteCategory(db_->FindCategory(u"Home"), time);
    }
    void Save() override {
        db_->WriteAllHeaders();
        db_->WriteRows();
    }
    void Close() override {
        std::unique_ptr<CCategoryDB> db = std::move(db_);
        if (db) db->Close();
    }
    void Reopen(const std::u16string& path) override {
        CCategoryDB db;
        if (db.Open(path.c_str(), CFile::kModeRead | CFile::kShareRead) != 1) RaiseNotOpened();
        db.ReadRows();
    }

private:
    std::unique_ptr<CCategoryDB> db_;
};

// updateFileCategory opens, rewrites the shared header and closes by itself;
// its failure is its false result.
class UpdateFileCategoryCase : public testsupport::SaveCase {
public:
    void MakeOld(const std::u16string& path) override {
        COutlineDB db;
        ASSERT_EQ(db.Open(path.c_str(), kCreate), 1);
        db.InitNewDatabase();
        db.SetCategoryName(u"Work");
        db.WriteAllHeaders();
        db.WriteRows();
        db.Close();
    }
    void Prepare(const std::u16string& path) override { path_ = path; }
    void Save() override {
        if (!zr_gen::updateFileCategory(path_.c_str(), false, u"Work", u"Projects of the whole year")) RaiseNotOpened();
    }
    void Close() override {}
    void Reopen(const std::u16string& path) override {
        COutlineDB db;
        if (db.Open(path.c_str(), CFile::kModeRead | CFile::kShareRead) != 1 || !db.ReadSharedHeader()) RaiseNotOpened();
    }

private:
    std::u16string path_;
};

TEST(CategorySaveTest, CategorySaveIsCrashSafe) {
    CategoryCase categories;
    testsupport::CheckCrashSafe(categories);
}

TEST(CategorySaveTest, UpdateFileCategoryIsCrashSafe) {
    UpdateFileCategoryCase update;
    testsupport::CheckCrashSafe(update);
}

}  // namespace
