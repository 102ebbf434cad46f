// Document -> OPML or JSON -> document gives the stored file back byte for
// byte: the conduit header's data, headers and tags no build of the library
// knows, changed bits, record flags, and stored values the plain fields
// would store otherwise. Damaged or hostile extensions are refused with a
// message, and nothing is written.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "notestore/engine/TagAccess.h"
#include "support/TempDir.h"
#include "tools/RichDocument.h"
#include "tools/zro/JsonForm.h"
#include "tools/zro/Opml.h"
#include "tools/zro/Outline.h"

namespace {

using namespace zrotest;
using testsupport::ReadFileBytes;
using zr_gen::COutlineRecord;
using zr_gen::CTaggedDataManager;
namespace tags = zr_gen::tagaccess;

CTaggedDataManager& TagsOf(zr_gen::COutlineDB& db, uint16_t header) {
    return db.GetHeaderManager().GetHeaderPtr(header)->getTaggedDataManager();
}

// The rich document as a device leaves it after a synchronisation and a
// newer writer's visit: texts beyond the code page, data in the conduit
// header, unknown tags in every header and row, changed bits cleared, flags
// of every kind, and values the tool's fields read otherwise than stored.
void WriteDeviceDocument(const std::filesystem::path& path) {
    WriteRichDocument(path);
    zr_gen::COutlineDB db;
    db.Open(path.u16string().c_str(), zr_gen::CFile::kModeReadWrite);
    db.ReadConduitHeader();
    db.ReadSharedHeader();
    db.ReadPrivateHeader();
    db.ReadRows();
    CTaggedDataManager& conduit = TagsOf(db, 1);
    bool changed = false;
    conduit.setString(1, u"Пользователь 😀", &changed);
    tags::Set(conduit, 3, uint32_t{0x12345678});
    tags::Set(TagsOf(db, 2), 30, uint16_t{0xBEEF});
    tags::SetChanged(TagsOf(db, 2), 0x10001, false);  // the category as synchronised
    const uint8_t future[] = {9, 8, 7};
    TagsOf(db, 3).setData(44, future, sizeof future, nullptr, 3);
    db.SetOutlineTitle(u"Покупки — Ελλάδα");

    auto item = [&](uint32_t index) -> COutlineRecord& { return *static_cast<COutlineRecord*>(db.getRecord(index)); };
    item(0).SetText(u"Молоко 😀");
    // A drawing block that does not read: 10 x 10 at 24 bits, no rows.
    const uint8_t damaged[18] = {2, 10, 0, 0, 0, 10, 0, 0, 0, 0x40, 1, 0, 0, 24, 0x88, 0x13, 0, 0};
    item(0).getTaggedDataManager().setData(COutlineRecord::kDrawingTag, damaged, sizeof damaged, nullptr, 0);
    item(0).SetNote(u"first line\r\n\r\nafter a blank line  \r\n  ");
    const char bare[] = "one\ntwo";  // a note broken by "\n" alone
    item(1).getTaggedDataManager().setData(0x10000 + COutlineRecord::kNoteTag, bare, sizeof bare, nullptr, 0);
    tags::Set(item(1).getTaggedDataManager(), COutlineRecord::kCheckedTag, uint8_t{2});
    item(2).getTaggedDataManager().setData(7000, future, 0, nullptr, 1);
    // A code-page writer changed the text and left the exact form behind.
    item(3).SetText(u"Ωmega");
    const char cut[] = "Xmega";
    item(3).getTaggedDataManager().setData(0x10000 + COutlineRecord::kTextTag, cut, sizeof cut, nullptr, 0);
    for (uint32_t i = 0; i < 4; ++i) {
        item(i).ClearChanges();
        tags::SetChanged(item(i).getTaggedDataManager(), COutlineRecord::kIdTag, false);
    }
    item(2).SetDeleted(true);
    item(3).SetArchived(true);
    db.WriteAllHeaders();
    db.WriteRows();
    db.Close();
}

void WriteToolDocument(const std::filesystem::path& path) {
    zro::Outline outline;
    outline.title = "Made here";
    outline.items = {{1, 0, true, false, "a", "b\n\nc  ", 0, 0, {}, {}}, {2, 1, false, true, "Ω", "", 0, 0, {}, {}}};
    zro::Save(outline, path.string());
}

struct Form {
    const char* name;
    std::function<std::string(const zro::Outline&)> write;
    std::function<zro::Outline(const std::string&)> read;
    const char* extension;  // what only the stored form writes
};

const Form kForms[] = {
    {"OPML", zro::ToOpml, [](const std::string& text) { return zro::FromOpml(text); }, "zr:header"},
    {"JSON", zro::ToJson, [](const std::string& text) { return zro::FromJson(text); }, "\"headers\""},
};

TEST(StoredForm, DocumentToOpmlOrJsonToDocumentIsTheSameFile) {
    const struct {
        const char* name;
        void (*make)(const std::filesystem::path&);
        bool extended;
    } documents[] = {
        {"as a device leaves it", WriteDeviceDocument, true},
        {"made by the library", WriteRichDocument, true},
        {"made by zro", WriteToolDocument, false},
    };
    testsupport::TempDir dir;
    for (const auto& document : documents) {
        const std::filesystem::path original = dir.path() / "original.zro";
        document.make(original);
        const zro::Outline stored = zro::Load(original.string(), zro::Detail::kStoredForm);
        for (const Form& form : kForms) {
            SCOPED_TRACE(std::string(document.name) + ", " + form.name);
            const std::string text = form.write(stored);
            EXPECT_EQ(text.find(form.extension) != std::string::npos, document.extended);
            const std::filesystem::path again = dir.path() / "again.zro";
            zro::Save(form.read(text), again.string());
            EXPECT_EQ(ReadFileBytes(again), ReadFileBytes(original));
        }
        if (!document.extended) continue;
        // Without the stored form the plain fields alone give another file.
        const std::filesystem::path plain = dir.path() / "plain.zro";
        zro::Save(zro::Load(original.string()), plain.string());
        EXPECT_NE(ReadFileBytes(plain), ReadFileBytes(original)) << document.name;
    }
}

// A field changed in another program is stored as changed, unless the
// stored form carried for that field says otherwise: then the import is
// refused rather than one of them lost.
TEST(StoredForm, AFieldChangedElsewhereIsStoredOrRefusedNeverLost) {
    testsupport::TempDir dir;
    const std::filesystem::path original = dir.path() / "original.zro";
    WriteDeviceDocument(original);
    const zro::Outline stored = zro::Load(original.string(), zro::Detail::kStoredForm);
    const struct {
        const char* name;
        std::function<void(zro::Outline&)> edit;
        bool stores;
    } cases[] = {
        {"a text whose tag carries flags only", [](zro::Outline& o) { o.items[1].text = "Brot"; }, true},
        {"a title longer than its field", [](zro::Outline& o) { o.title = std::string(70, 'x'); }, true},
        {"a note whose stored bytes are carried", [](zro::Outline& o) { o.items[1].note = "changed"; }, false},
        {"a checked state stored as 2", [](zro::Outline& o) { o.items[1].checked = false; }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        zro::Outline edited = stored;
        c.edit(edited);
        const std::filesystem::path again = dir.path() / "again.zro";
        std::filesystem::remove(again);
        if (!c.stores) {
            EXPECT_THROW(zro::Save(edited, again.string()), std::runtime_error);
            EXPECT_FALSE(std::filesystem::exists(again));
            continue;
        }
        zro::Save(edited, again.string());
        const zro::Outline read = zro::Load(again.string());
        EXPECT_EQ(read.items[1].text, edited.items[1].text);
        EXPECT_EQ(read.title, edited.title.substr(0, 55));
    }
}

TEST(StoredForm, ADamagedOrHostileExtensionIsRefusedWithAMessage) {
    const std::string opml = R"(<opml version="2.0" xmlns:zr="urn:notestore:outline:1"><head>)";
    const struct {
        const char* name;
        std::function<zro::Outline()> read;
        const char* message;
    } cases[] = {
        {"slot not Base64", [&] { return zro::FromOpml(opml + R"(<zr:header id="77" size="3" slot="@@@@"/></head><body/></opml>)"); }, "not Base64"},
        {"tag bytes not Base64", [&] { return zro::FromOpml(opml + R"(</head><body><outline text="a" zr:tags="40:0:1:%%"/></body></opml>)"); }, "not Base64"},
        {"tag entry cut", [&] { return zro::FromOpml(opml + R"(</head><body><outline text="a" zr:tags="40:0"/></body></opml>)"); }, "ID:VERSION:FLAGS"},
        {"version beyond a byte", [&] { return zro::FromOpml(opml + R"(</head><body><outline zr:tags="40:256:0"/></body></opml>)"); }, "ID:VERSION:FLAGS"},
        {"tags not ascending", [&] { return zro::FromOpml(opml + R"(</head><body><outline zr:tags="9:0:0 5:0:0"/></body></opml>)"); }, "does not follow"},
        {"tag id 0", [&] { return zro::FromOpml(opml + R"(</head><body><outline zr:tags="-0"/></body></opml>)"); }, "no tag id"},
        {"a kept header as bytes", [&] { return zro::FromOpml(opml + R"(<zr:header id="2" size="3" slot="AAAA"/></head><body/></opml>)"); }, "library's own"},
        {"a header twice", [&] { return zro::FromOpml(opml + R"(<zr:header id="1" size="255"/><zr:header id="1" size="255"/></head><body/></opml>)"); }, "twice"},
        {"a huge kept slot", [&] { return zro::FromOpml(opml + R"(<zr:header id="2" size="4294967295"/></head><body/></opml>)"); }, "at most"},
        {"a foreign header without bytes", [&] { return zro::FromOpml(opml + R"(<zr:header id="77" size="3"/></head><body/></opml>)"); }, "bytes are needed"},
        {"slot bytes not its size", [&] { return zro::FromOpml(opml + R"(<zr:header id="77" size="4" slot="AAAA"/></head><body/></opml>)"); }, "3 bytes for a slot of 4"},
        {"JSON size beyond 32 bits", [] { return zro::FromJson(R"({"items": [], "headers": [{"id": 2, "size": 4294967296}]})"); }, "range"},
        {"JSON header id colliding", [] { return zro::FromJson(R"({"items": [], "headers": [{"id": 3, "size": 3, "slot": "AAAA"}]})"); }, "library's own"},
        {"JSON tag data not Base64", [] { return zro::FromJson(R"({"items": [{"tags": [{"id": 4, "data": "!"}]}]})"); }, "not Base64"},
        {"JSON absent tag with bytes", [] { return zro::FromJson(R"({"items": [{"tags": [{"id": 4, "absent": true, "data": ""}]}]})"); }, "absent and has bytes"},
        {"JSON headers not a list", [] { return zro::FromJson(R"({"items": [], "headers": {}})"); }, "not a list"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            c.read();
            ADD_FAILURE() << "accepted";
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
}

// What reads but cannot be stored: the library refuses it and no file is
// left behind.
TEST(StoredForm, AStoredFormThatDoesNotFitThePlainValuesWritesNothing) {
    testsupport::TempDir dir;
    zro::Outline flagsWithoutTag;
    flagsWithoutTag.items.push_back({1, 0, false, true, "a", "", 0, 0, {}, {{40, false, 0, 0, std::nullopt}}});
    zro::Outline slotTooSmall;
    slotTooSmall.headers = {{2, 100, std::nullopt, {}}};
    zro::Outline blockBeyondItsSlot;
    blockBeyondItsSlot.headers = {{1, 255, std::nullopt, {{9, false, 0, 0, std::vector<uint8_t>(300)}}}};
    zro::Outline withoutExpansion = flagsWithoutTag;
    withoutExpansion.items[0].tags = {{COutlineRecord::kExpandedTag, true, 0, 0, std::nullopt}};
    for (const zro::Outline* outline : {&flagsWithoutTag, &slotTooSmall, &blockBeyondItsSlot, &withoutExpansion}) {
        EXPECT_THROW(zro::Save(*outline, (dir.path() / "out.zro").string()), std::runtime_error);
        EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
    }
}

}  // namespace
