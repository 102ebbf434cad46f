#include "notestore/foundation/FileFind.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "platform/Errors.h"
#include "platform/Strings.h"
#include "support/TempDir.h"

namespace {

using zr_gen::CFileFind;

TEST(FileFind, EachStepMakesTheEntryReadAheadCurrent) {
    testsupport::TempDir dir;
    std::ofstream(dir.path() / "a") << "12345";
    std::ofstream(dir.path() / "b") << "1";
    CFileFind find;
    ASSERT_EQ(find.FindFile(dir.File("*").c_str()), 1);
    EXPECT_EQ(std::u16string(find.GetFileName()), u"") << "no current entry before the first step";
    std::set<std::u16string> names;
    EXPECT_EQ(find.FindNextFileW(), 1);
    names.insert(find.GetFileName());
    const uint32_t firstLength = find.GetLength();
    EXPECT_EQ(find.FindNextFileW(), 0) << "b was the last";
    names.insert(find.GetFileName());
    EXPECT_EQ(names, (std::set<std::u16string>{u"a", u"b"}));
    EXPECT_TRUE(firstLength == 5 || firstLength == 1);
    const std::u16string last = find.GetFileName();
    EXPECT_EQ(std::u16string(find.GetFilePath()), platform::Utf8ToUtf16(dir.path().string()) + u"\\" + last)
        << "root, the separator, the name";
    EXPECT_FALSE(find.IsDirectory());
    EXPECT_FALSE(find.IsDots());
    FILETIME written{};
    EXPECT_EQ(find.GetLastWriteTime(&written), 1);
    EXPECT_NE(written.dwHighDateTime, 0u);
    EXPECT_EQ(find.GetLastWriteTime(nullptr), 0);
}

TEST(FileFind, ARootPatternJoinsWithOneSeparatorAndAFailedSearchKeepsTheError) {
    CFileFind find;
    EXPECT_EQ(find.FindFile(u"\\no-such-folder-here\\*.zro"), 0);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);

    testsupport::TempDir dir;
    std::ofstream(dir.path() / "x.zro") << "x";
    ASSERT_EQ(find.FindFile(dir.File("*.zro").c_str()), 1);
    const std::u16string folder = dir.File("");
    EXPECT_EQ(std::u16string(find.GetRoot()) + u"/", folder) << "the pattern without its last component";
    find.FindNextFileW();
    EXPECT_EQ(std::u16string(find.GetFileTitle()), u"x");

    // A pattern with no separator is its own root.
    const std::filesystem::path here = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    CFileFind local;
    EXPECT_EQ(local.FindFile(u"x.zro"), 1);
    EXPECT_EQ(std::u16string(local.GetRoot()), u"x.zro");
    local.FindNextFileW();
    EXPECT_EQ(std::u16string(local.GetFilePath()), u"x.zro\\x.zro");
    std::filesystem::current_path(here);
}

}  // namespace
