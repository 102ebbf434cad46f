#include "notestore/foundation/PathSplit.h"

#include <gtest/gtest.h>

namespace {

using zr_gen::_String;
using zr_gen::SplitPath;

struct SplitCase {
    const char16_t* path;
    const char16_t* dir;
    const char16_t* fname;
    const char16_t* ext;
};

const SplitCase kSplitCases[] = {
    {u"\\My Documents\\notes.zro", u"\\My Documents\\", u"notes", u".zro"},
    {u"/tmp/a.b.c", u"/tmp/", u"a.b", u".c"},          // only the last dot starts the extension
    {u"noext", u"", u"noext", u""},
    {u"dir.d/file", u"dir.d/", u"file", u""},           // a dot in a folder is no extension
    {u"dir.d\\", u"dir.d\\", u"", u""},
    {u"mixed/sep\\x.txt", u"mixed/sep\\", u"x", u".txt"},  // the last separator of either kind
    {u"back\\slash/", u"back\\slash/", u"", u""},
    {u".hidden", u"", u"", u".hidden"},
    {u"folder/.hidden", u"folder/", u"", u".hidden"},
    {u"name.", u"", u"name", u"."},
    {u"C:\\x.y", u"C:\\", u"x", u".y"},                 // no drives here: "C:" is folder text
    {u"", u"", u"", u""},
};

class SplitPathCases : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitPathCases, PartsAreAsTheCLibrarySplitsThem) {
    const SplitCase& c = GetParam();
    _String drive(u"old");
    _String dir(u"old");
    _String fname(u"old");
    _String ext(u"old");
    SplitPath(c.path, &drive, &dir, &fname, &ext);
    EXPECT_EQ(drive, u"");
    EXPECT_EQ(dir, c.dir);
    EXPECT_EQ(fname, c.fname);
    EXPECT_EQ(ext, c.ext);
    EXPECT_EQ(dir + fname + ext, c.path);
}

INSTANTIATE_TEST_SUITE_P(Paths, SplitPathCases, ::testing::ValuesIn(kSplitCases),
                         [](const ::testing::TestParamInfo<SplitCase>& info) {
                             return "Case" + std::to_string(info.index);
                         });

TEST(SplitPath, UnwantedPartsMayBeNull) {
    _String ext;
    SplitPath(u"a/b.c", nullptr, nullptr, nullptr, &ext);
    EXPECT_EQ(ext, u".c");
    _String dir;
    SplitPath(u"a/b.c", nullptr, &dir, nullptr, nullptr);
    EXPECT_EQ(dir, u"a/");
}

TEST(SplitPath, NullPathGivesEmptyParts) {
    _String dir(u"x");
    _String fname(u"x");
    _String ext(u"x");
    SplitPath(nullptr, nullptr, &dir, &fname, &ext);
    EXPECT_TRUE(dir.empty());
    EXPECT_TRUE(fname.empty());
    EXPECT_TRUE(ext.empty());
}

TEST(SplitPath, NonAsciiTextSplitsByUnits) {
    _String dir;
    _String fname;
    _String ext;
    SplitPath(u"Notizen/Übersicht.zro", nullptr, &dir, &fname, &ext);
    EXPECT_EQ(dir, u"Notizen/");
    EXPECT_EQ(fname, u"Übersicht");
    EXPECT_EQ(ext, u".zro");
}

}  // namespace
