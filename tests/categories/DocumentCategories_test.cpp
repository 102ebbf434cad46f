#include "notestore/categories/DocumentCategories.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "notestore/categories/CategoryDB.h"
#include "notestore/foundation/File.h"
#include "notestore/outline/OutlineDB.h"
#include "support/Bytes.h"
#include "support/TempDir.h"

namespace {

using testsupport::Bytes;
using zr_gen::COutlineDB;
using zr_gen::COutlineRecord;

class DocumentCategories : public ::testing::Test {
protected:
    void SetUp() override { zr_gen::CCategoryDB::setUnfiledCategoryName(u"Unfiled"); }

    // A document with one item, its category `category`, all flags clear.
    std::u16string Make(const std::string& name, const char16_t* category) const {
        const std::u16string path = dir.File(name);
        COutlineDB db;
        db.SetCategoryName(category);
        db.SetCategoryChanged(false);
        db.SetOutlineChanged(false);
        static_cast<COutlineRecord*>(db.GetRecordset()->Append())->SetText(u"an item");
        EXPECT_EQ(db.Open(path.c_str(), zr_gen::CFile::kCreate | zr_gen::CFile::kModeReadWrite), 1);
        db.InitNewDatabase();
        db.WriteAllHeaders();
        db.WriteRows();
        db.Close();
        return path;
    }

    struct State {
        std::u16string category;
        bool categoryChanged, outlineChanged;
        std::u16string item;
    };
    static State Read(const std::u16string& path) {
        COutlineDB db;
        EXPECT_EQ(db.Open(path.c_str(), zr_gen::CFile::kModeRead), 1);
        db.ReadSharedHeader();
        db.ReadRows();
        zr_gen::_String text;
        db.GetCategoryName(text);
        State state{std::u16string(text), db.GetCategoryChanged(), db.GetOutlineChanged(), u""};
        static_cast<COutlineRecord*>(db.getRecord(0))->GetText(text);
        state.item = text;
        return state;
    }
    Bytes Stored(const std::string& name) const { return testsupport::ReadFileBytes(dir.path() / name); }

    testsupport::TempDir dir;
};

TEST_F(DocumentCategories, OneDocumentIsRewrittenOnlyWhenItsNameMatchesOrForced) {
    const std::u16string home = Make("home.zro", u"Home");
    const Bytes before = Stored("home.zro");
    EXPECT_TRUE(zr_gen::updateFileCategory(home.c_str(), false, u"Work", u"Office"));
    EXPECT_EQ(Stored("home.zro"), before) << "another category: untouched";
    EXPECT_TRUE(zr_gen::updateFileCategory(home.c_str(), false, u"home", u"Office")) << "names compare exactly";
    EXPECT_EQ(Stored("home.zro"), before);

    EXPECT_TRUE(zr_gen::updateFileCategory(home.c_str(), true, u"Work", u"Office"));
    const State forced = Read(home);
    EXPECT_EQ(forced.category, u"Office");
    EXPECT_TRUE(forced.categoryChanged);
    EXPECT_TRUE(forced.outlineChanged);
    EXPECT_EQ(forced.item, u"an item");
    EXPECT_EQ(Stored("home.zro").size(), before.size()) << "only the header slot is written";
}

TEST_F(DocumentCategories, WhatIsNotADocumentFailsAndStaysAsItWas) {
    const Bytes bogus = {0x78, 0x56, 0x34, 0x13, 0, 0, 0, 0, 0, 0, 0, 0};
    testsupport::WriteFileBytes(dir.path() / "bogus.zro", bogus);
    EXPECT_FALSE(zr_gen::updateFileCategory(dir.File("bogus.zro").c_str(), true, u"Work", u"Office"));
    EXPECT_EQ(Stored("bogus.zro"), bogus);
    EXPECT_FALSE(zr_gen::updateFileCategory(dir.File("missing.zro").c_str(), true, u"Work", u"Office"));
    // A new name that does not fit the header slot beside a long match name
    // is refused before anything is written.
    const std::u16string work = dir.File("work.zro");
    {
        COutlineDB db;
        db.SetCategoryName(u"Work");
        db.GetSharedHeaderPtr()->SetPalmMatchName(std::u16string(300, u'm').c_str());
        ASSERT_EQ(db.Open(work.c_str(), zr_gen::CFile::kCreate | zr_gen::CFile::kModeReadWrite), 1);
        db.InitNewDatabase();
        db.WriteAllHeaders();
        db.WriteRows();
        db.Close();
    }
    const Bytes before = Stored("work.zro");
    EXPECT_FALSE(zr_gen::updateFileCategory(work.c_str(), false, u"Work", std::u16string(31, u'\x0416').c_str()));
    EXPECT_EQ(Stored("work.zro"), before);
}

TEST_F(DocumentCategories, AFolderWalkRewritesEveryMatchingDocumentOfTheExtension) {
    const std::u16string first = Make("a.zro", u"Work");
    const std::u16string second = Make("b.zro", u"Work");
    const std::u16string home = Make("c.zro", u"Home");
    const std::u16string text = Make("d.txt", u"Work");
    testsupport::WriteFileBytes(dir.path() / "e.zro", {1, 2, 3});
    const std::u16string folder = dir.File("x").substr(0, dir.File("x").size() - 2);  // no final separator

    zr_gen::updateCategory(folder.c_str(), u"zro", u"Work", u"Office");
    EXPECT_EQ(Read(first).category, u"Office");
    EXPECT_EQ(Read(second).category, u"Office");
    EXPECT_TRUE(Read(second).categoryChanged);
    EXPECT_EQ(Read(home).category, u"Home");
    EXPECT_FALSE(Read(home).outlineChanged);
    EXPECT_EQ(Read(text).category, u"Work") << "another extension";

    zr_gen::updateCategory(folder.c_str(), u"zro", u"Office", nullptr);
    EXPECT_EQ(Read(first).category, u"Unfiled") << "a removed category falls back to unfiled";
    EXPECT_TRUE(Read(first).categoryChanged);
}

TEST_F(DocumentCategories, AFolderLongerThanTheFormatterHoldsIsWalkedToo) {
    // Five levels of 250 characters: a path of more than 1,250 characters.
    std::string relative;
    for (char level = 'a'; level < 'f'; ++level) relative += std::string(250, level) + "/";
    std::filesystem::create_directories(dir.path() / relative);
    const std::u16string doc = Make(relative + "deep.zro", u"Work");
    const std::u16string folder = doc.substr(0, doc.size() - std::u16string(u"/deep.zro").size());
    ASSERT_GT(folder.size(), 1250u);

    zr_gen::updateCategory(folder.c_str(), u"zro", u"Work", u"Office");
    EXPECT_EQ(Read(doc).category, u"Office");
}

}  // namespace
