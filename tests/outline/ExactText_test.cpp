// Every text of a document (item texts and notes, title, category name,
// Palm match name, font face) comes back exactly after a save and a reopen,
// whatever the script; text the code page holds is stored as it always was.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "notestore/categories/CategoryDB.h"
#include "notestore/foundation/File.h"
#include "notestore/outline/OutlineDB.h"
#include "notestore/outline/PrivateOutlineHeader.h"
#include "notestore/outline/SharedHeader.h"
#include "support/Bytes.h"
#include "support/TempDir.h"

namespace {

using testsupport::Bytes;
using zr_gen::_String;
using zr_gen::CFile;
using zr_gen::COutlineDB;
using zr_gen::COutlineRecord;
using zr_gen::CPrivateOutlineHeader;
using zr_gen::CSharedHeader;

struct Item {
    std::u16string text, note;
    bool operator==(const Item&) const = default;
};

// The texts a document carries.
struct Texts {
    std::u16string title, category, matchName, face;
    std::vector<Item> items;
    bool operator==(const Texts&) const = default;
};

std::u16string Str(const _String& text) { return std::u16string(text.Text()); }

class Document : public COutlineDB {
public:
    using COutlineDB::GetPrivateOutlineHeaderPtr;
};

void Write(const std::u16string& path, const Texts& texts) {
    Document db;
    db.SetOutlineTitle(texts.title.c_str());
    db.SetCategoryName(texts.category.c_str());
    db.GetSharedHeaderPtr()->SetPalmMatchName(texts.matchName.c_str());
    LOGFONTW font{};
    font.lfHeight = 12;
    font.lfWeight = 400;
    std::copy_n(texts.face.begin(), std::min<size_t>(texts.face.size(), LF_FACESIZE - 1), font.lfFaceName);
    db.SetOutlineFont(font, 0x00112233);
    uint32_t id = 1;
    for (const Item& item : texts.items) {
        auto* record = static_cast<COutlineRecord*>(db.GetRecordset()->Append());
        record->SetId(id++);
        record->SetText(item.text.c_str());
        record->SetNote(item.note.c_str());
        record->SetNew(true);
    }
    ASSERT_EQ(db.Open(path.c_str(), CFile::kCreate | CFile::kModeReadWrite), 1);
    db.InitNewDatabase();
    db.WriteAllHeaders();
    db.WriteRows();
    db.Close();
}

Texts Read(const std::u16string& path) {
    Document db;
    Texts texts;
    EXPECT_EQ(db.Open(path.c_str(), CFile::kModeRead | CFile::kShareRead), 1);
    db.ReadSharedHeader();
    db.ReadPrivateHeader();
    db.ReadRows();
    _String text;
    db.GetOutlineTitle(text);
    texts.title = Str(text);
    db.GetCategoryName(text);
    texts.category = Str(text);
    db.GetSharedHeaderPtr()->GetPalmMatchName(text);
    texts.matchName = Str(text);
    db.GetPrivateOutlineHeaderPtr()->GetFontName(text);
    texts.face = Str(text);
    for (uint32_t i = 0; i < static_cast<uint32_t>(db.GetRecordset()->getSize()); ++i) {
        auto* record = static_cast<COutlineRecord*>(db.getRecord(i));
        Item item;
        record->GetText(text);
        item.text = Str(text);
        record->GetNote(text);
        item.note = Str(text);
        texts.items.push_back(item);
    }
    db.Close();
    return texts;
}

// Only characters of Windows-1252, its upper half and punctuation included,
// and a literal question mark.
Texts CodePageTexts() {
    return {u"Café – naïve résumé €5",
            u"Küche & Bücher",
            u"Küche",
            u"Tahoma",
            {{u"Ärger ‘quoted’ “double” … ÿ", u"line one\r\nline two • ½"},
             {u"", u""},
             {u"Really? Yes!", u"Œuvre Š ž Ÿ ™ ©"}}};
}

class ExactText : public ::testing::Test {
protected:
    void SetUp() override { zr_gen::CCategoryDB::setUnfiledCategoryName(u"Unfiled"); }
    std::u16string Path() const { return dir.File("notes.zro"); }
    testsupport::TempDir dir;
};

TEST_F(ExactText, ACodePageDocumentIsStoredByteForByteAsBefore) {
    Write(Path(), CodePageTexts());
    const Bytes written = testsupport::ReadFileBytes(dir.path() / "notes.zro");
    const Bytes golden = testsupport::ReadFileBytes(std::filesystem::path(NOTESTORE_TEST_DATA) / "windows1252.zro");
    const std::filesystem::path actual = std::filesystem::temp_directory_path() / "windows1252.zro.actual";
    if (written != golden) testsupport::WriteFileBytes(actual, written);
    EXPECT_EQ(written, golden) << "the bytes written are in " << actual;
    EXPECT_EQ(Read(Path()), CodePageTexts());
}

}  // namespace
