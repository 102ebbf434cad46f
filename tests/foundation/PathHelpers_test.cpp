#include "notestore/foundation/PathHelpers.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "notestore/foundation/File.h"
#include "support/TempDir.h"

namespace {

using zr_gen::_String;
using zr_gen::CFile;

std::u16string S(const _String& text) { return std::u16string(text); }

void Touch(const testsupport::TempDir& dir, const std::string& name) { std::ofstream(dir.path() / name) << "x"; }

TEST(PathHelpers, SplittingGivesFolderTitleAndExtension) {
    struct Case {
        const char16_t* path;
        const char16_t *dir, *title, *ext;
        bool valid;
    };
    const Case cases[] = {
        {u"\\My Documents\\note.old.zro", u"\\My Documents\\", u"note.old", u".zro", true},
        {u"\\Temp\\readme", u"\\Temp\\", u"readme", u"", false},
        {u"\\Temp\\a.zro", u"\\Temp\\", u"a", u".zro", true},
        {u"/home/user/x.txt", u"/home/user/", u"x", u".txt", true},
        {u"a.zro", u"", u"a", u".zro", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.path, c.path + std::char_traits<char16_t>::length(c.path)));
        char16_t drive[zr_gen::kMaxDrive] = {u'?'};
        char16_t dir[zr_gen::kMaxDir], title[zr_gen::kMaxFileName], ext[zr_gen::kMaxExt];
        zr_gen::_tsplitpath(c.path, drive, dir, title, ext);
        EXPECT_EQ(std::u16string(drive), u"");
        EXPECT_EQ(std::u16string(dir), c.dir);
        EXPECT_EQ(std::u16string(title), c.title);
        EXPECT_EQ(std::u16string(ext), c.ext);
        EXPECT_EQ(zr_gen::ValidateFilePath(c.path), c.valid);
    }
    zr_gen::_tsplitpath(u"\\a\\b.c", nullptr, nullptr, nullptr, nullptr);  // null outputs are skipped
    const std::u16string longName(300, u'n');
    char16_t title[zr_gen::kMaxFileName];
    zr_gen::_tsplitpath((u"\\d\\" + longName).c_str(), nullptr, nullptr, title, nullptr);
    EXPECT_EQ(std::u16string(title), longName.substr(0, zr_gen::kMaxFileName - 1)) << "cut to its room";
}

TEST(PathHelpers, TitlesAreCleanedAndRootsFound) {
    const std::pair<const char16_t*, const char16_t*> titles[] = {
        {u"  a:b*c?  ", u"abc"},
        {u"\\/:*?\"<>|", u"Unfilled"},
        {u"abcdefghijklmnopqrstuvwxyz0123", u"abcdefghijklmnopqrstuvwxyz0"},
        // 14 pairs are 28 units: the 27th is a pair's first half.
        {u"😀😀😀😀😀😀😀😀😀😀😀😀😀😀", u"😀😀😀😀😀😀😀😀😀😀😀😀😀"},
    };
    for (const auto& [raw, clean] : titles) {
        _String title(raw);
        EXPECT_TRUE(zr_gen::ValidateFileTitle(title));
        EXPECT_EQ(S(title), clean);
    }
    const std::pair<const char16_t*, const char16_t*> roots[] = {
        {u"\\Storage Card\\x.zro", u"\\"},
        {u"\\\\server\\share\\dir\\x", u"\\\\server\\share\\"},
        {u"relative", u""},
    };
    for (const auto& [path, root] : roots) {
        char16_t buffer[zr_gen::kPathBuffer];
        zr_gen::GetRoot(path, buffer);
        EXPECT_EQ(std::u16string(buffer), root);
    }
}

TEST(PathHelpers, PathsAreBuiltWithOneSeparator) {
    EXPECT_EQ(S(CFile::CreateFilePath(u"\\Temp", u"a", u".zro")), u"\\Temp\\a.zro");
    EXPECT_EQ(S(CFile::CreateFilePath(u"\\Temp\\", u"a", u".zro")), u"\\Temp\\a.zro");
    EXPECT_EQ(S(CFile::CreateFilePath(u"", u"\\Temp", u"a", u".zro")), u"\\Temp\\a.zro");
    EXPECT_EQ(S(CFile::CreateFilePath(u"\\Notes\\old.zro", u"new")), u"\\Notes\\new.zro");

    char16_t small[8];
    EXPECT_EQ(zr_gen::_tfullpath(small, u"\\toolong\\path", 8), nullptr) << "does not fit";
    EXPECT_EQ(zr_gen::_tfullpath(small, u"\\a.zro", 8), small);
    EXPECT_EQ(std::u16string(small), u"\\a.zro");
    char16_t* made = zr_gen::_tfullpath(nullptr, u"\\b.zro", 20);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(std::u16string(made), u"\\b.zro");
    EXPECT_EQ(made[19], u'\0');
    std::free(made);
}

TEST(PathHelpers, NumberedNamesSkipWhatExists) {
    testsupport::TempDir dir;
    const auto path = [&](const std::string& name) { return dir.File(name); };
    Touch(dir, "note.zro");
    Touch(dir, "note-1.zro");
    Touch(dir, "other-2.zro");
    EXPECT_EQ(S(zr_gen::GetNextValidNumberedName(path("note.zro").c_str(), nullptr)), path("note-2.zro"));
    // The accepted name is taken even though it exists.
    EXPECT_EQ(S(zr_gen::GetNextValidNumberedName(path("note.zro").c_str(), path("note-1.zro").c_str())),
              path("note-1.zro"));
    // A numbered title is numbered afresh, not as "note-1-1".
    EXPECT_EQ(S(zr_gen::GetNextValidNumberedName(path("note-1.zro").c_str(), nullptr)), path("note-2.zro"));
    // Long titles are cut so that title and number keep to 27 characters.
    const std::string longTitle(30, 't');
    EXPECT_EQ(S(zr_gen::GetNextValidNumberedName(path(longTitle + ".zro").c_str(), nullptr)),
              path(std::string(25, 't') + "-1.zro"));

    // A cut keeps surrogate pairs whole: 25 units of room end inside the 13th pair.
    std::string pairs;
    for (int i = 0; i < 14; ++i) pairs += "\xF0\x9F\x98\x80";
    std::string twelve;
    for (int i = 0; i < 12; ++i) twelve += "\xF0\x9F\x98\x80";
    EXPECT_EQ(S(zr_gen::GetNextValidNumberedName(path(pairs + ".zro").c_str(), nullptr)), path(twelve + "-1.zro"));
    EXPECT_EQ(S(zr_gen::GetValidFileName(path(pairs + ".zro").c_str(), nullptr, nullptr)),
              path(twelve + "\xF0\x9F\x98\x80.zro"));

    EXPECT_EQ(S(zr_gen::GetValidFileName(path("fresh.zro").c_str(), nullptr, nullptr)), path("fresh.zro"));
    EXPECT_EQ(S(zr_gen::GetValidFileName(path("note.zro").c_str(), nullptr, nullptr)), path("note-2.zro"));
    EXPECT_EQ(S(zr_gen::GetValidFileName(path("NOTE.zro").c_str(), nullptr, path("note.zro").c_str())),
              path("NOTE.zro"))
        << "the accepted name, ignoring case";
    EXPECT_EQ(S(zr_gen::GetValidFileName(path(longTitle + ".zro").c_str(), nullptr, nullptr)),
              path(std::string(27, 't') + ".zro"));

    // Free in both folders: other.zro is free here, but other, other-1 are
    // taken in the second folder.
    testsupport::TempDir second;
    Touch(second, "other.zro");
    Touch(second, "other-1.zro");
    const std::u16string secondFolder = second.File("");
    EXPECT_EQ(S(zr_gen::GetValidFileName(path("other.zro").c_str(), secondFolder.c_str(), nullptr)),
              path("other-3.zro"))
        << "other-2 exists in the first folder";
}

TEST(PathHelpers, ExistenceFollowsAFolderSearch) {
    testsupport::TempDir dir;
    Touch(dir, "a.zro");
    EXPECT_TRUE(zr_gen::IsFileExist(dir.File("a.zro").c_str()));
    EXPECT_TRUE(zr_gen::IsFileExist(dir.File("*.zro").c_str()));
    EXPECT_FALSE(zr_gen::IsFileExist(dir.File("b.zro").c_str()));
    EXPECT_FALSE(zr_gen::IsFileExist(dir.File("missing\\a.zro").c_str()));
}

}  // namespace
