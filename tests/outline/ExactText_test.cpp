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
    const std::u16string_view face = zr_gen::CutText(texts.face, LF_FACESIZE - 1);
    std::copy(face.begin(), face.end(), font.lfFaceName);
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

struct Script {
    const char* name;
    std::u16string text;
};

// Texts in many scripts; each goes into every field of a document.
const Script kScripts[] = {
    {"LatinAccents", u"Ça déjà vu – Ærø ñ"},
    {"LatinBeyondTheCodePage", u"Łódź Čeština ő ű ğ"},
    {"Cyrillic", u"Привет, мир"},
    {"Greek", u"Ελληνικά ΩΣ"},
    {"Hebrew", u"שלום עולם"},
    {"Arabic", u"مرحبا بالعالم"},
    {"CJK", u"中文文本 日本語 한국어"},
    {"Emoji", u"😀 🎉 👍🏽"},
    {"OtherNonBmp", u"𝄞 𐍈 𠜎"},
    {"CombiningMarks", u"e\u0301 a\u0308 \u1E9B\u0323 \u0928\u093F"},
    {"QuestionMarks", u"Что? 😀? ?"},
    {"Empty", u""},
    {"LoneSurrogate", u"a\xD83D b \xDE00"},
};

class ExactTextScript : public ExactText, public ::testing::WithParamInterface<Script> {};

std::u16string Cut(const std::u16string& text, size_t max) { return std::u16string(zr_gen::CutText(text, max)); }

TEST_P(ExactTextScript, EveryTextComesBackExactlyAfterASaveAndAReopen) {
    const std::u16string& text = GetParam().text;
    const Texts texts{text, text, text, text, {{text, text}, {u"plain", text + u"\r\n" + text}, {text, u""}}};
    Write(Path(), texts);
    Texts expected = texts;
    expected.title = Cut(text, CPrivateOutlineHeader::kMaxTitleLength);
    expected.category = Cut(text, zr_gen::CCategoryRecord::kMaxNameLength);
    expected.face = Cut(text, CPrivateOutlineHeader::kMaxFontNameLength);
    EXPECT_EQ(Read(Path()), expected);
}

INSTANTIATE_TEST_SUITE_P(Scripts, ExactTextScript, ::testing::ValuesIn(kScripts),
                         [](const ::testing::TestParamInfo<Script>& info) { return info.param.name; });

// `count` units of `unit` (a surrogate pair counts two).
std::u16string Repeat(std::u16string_view unit, size_t count) {
    std::u16string text;
    while (text.size() + unit.size() <= count) text += unit;
    if (text.size() < count) text += u"ж";
    return text;
}

// The costliest text (every unit outside the code page) at each field's
// limit still fits the headers' fixed slots, and one unit more is cut
// without parting a surrogate pair.
TEST_F(ExactText, EveryFieldAtItsLimitInAnyScriptFitsItsSlot) {
    for (const std::u16string_view unit : {std::u16string_view(u"ж"), std::u16string_view(u"😀")}) {
        Texts texts{Repeat(unit, CPrivateOutlineHeader::kMaxTitleLength),
                    Repeat(unit, zr_gen::CCategoryRecord::kMaxNameLength),
                    Repeat(unit, CSharedHeader::kMaxFittingMatchNameLength),
                    Repeat(unit, CPrivateOutlineHeader::kMaxFontNameLength),
                    {{Repeat(unit, 5000), Repeat(unit, 20000)}}};
        Write(Path(), texts);
        EXPECT_EQ(Read(Path()), texts);

        Texts longer = texts;
        longer.title = Repeat(unit, CPrivateOutlineHeader::kMaxTitleLength + 1);
        longer.category = Repeat(unit, zr_gen::CCategoryRecord::kMaxNameLength + 1);
        longer.face = Repeat(unit, CPrivateOutlineHeader::kMaxFontNameLength + 1);
        Write(Path(), longer);
        const Texts read = Read(Path());
        EXPECT_EQ(read.title, Cut(longer.title, CPrivateOutlineHeader::kMaxTitleLength));
        EXPECT_EQ(read.category, Cut(longer.category, zr_gen::CCategoryRecord::kMaxNameLength));
        EXPECT_EQ(read.face, Cut(longer.face, CPrivateOutlineHeader::kMaxFontNameLength));
        EXPECT_LE(read.title.size(), CPrivateOutlineHeader::kMaxTitleLength);
        EXPECT_NE(read.title.back(), 0xD83D);
    }
}

// Texts that share their code-page bytes ("????") are told apart, and the
// change of one into the other marks the item changed.
TEST_F(ExactText, TextsThatDifferOnlyOutsideTheCodePageAreDifferentTexts) {
    COutlineRecord before, after;
    before.Init();
    after.Init();
    before.SetText(u"Дом");
    after.SetText(u"Σπί");
    after.UpdateChangedFields(&before);
    bool changed = false;
    after.getTaggedDataManager().getStringTagChanged(COutlineRecord::kTextTag, &changed);
    EXPECT_TRUE(changed);

    after.SetText(u"Дом");
    after.UpdateChangedFields(&before);
    after.getTaggedDataManager().getStringTagChanged(COutlineRecord::kTextTag, &changed);
    EXPECT_FALSE(changed);
}

}  // namespace
