#include "notestore/outline/OutlineRecord.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "notestore/drawings/Dib.h"
#include "notestore/engine/TaggedDataManager.h"
#include "notestore/foundation/Messages.h"
#include "platform/Faults.h"
#include "support/Caught.h"
#include "support/LogTail.h"

namespace {

using testsupport::Catch;
using testsupport::Caught;
using testsupport::LogTail;
using zr_gen::_String;
using zr_gen::CDBRecord;
using zr_gen::CLinkedOutlRec;
using zr_gen::CLinkedOutlRS;
using zr_gen::COutlineRecord;
using zr_gen::COutlineRecordset;
using zr_gen::CTaggedDataManager;

constexpr uint32_t kString = CTaggedDataManager::kStringTagIDCode;

std::u16string TextOf(COutlineRecord& record) {
    _String text;
    record.GetText(text);
    return std::u16string(text.Text());
}

std::u16string NoteOf(COutlineRecord& record) {
    _String note;
    record.GetNote(note);
    return std::u16string(note.Text());
}

bool RaisedNotFound(const Caught& caught) {
    _String message;
    EXPECT_TRUE(message.LoadStringW(zr_gen::kMsgDataClassNotFound));
    return caught.raised() && caught.text.starts_with(message.Text());
}

bool HasLine(const std::vector<std::string>& lines, const std::string& start) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) { return line.starts_with(start); });
}

// A fresh item whose changed bits are all clear, as one read from a file.
COutlineRecord* Settled(COutlineRecordset& records) {
    auto* record = static_cast<COutlineRecord*>(records.Append());
    CTaggedDataManager& tags = record->getTaggedDataManager();
    for (uint32_t id : {COutlineRecord::kIdTag, COutlineRecord::kIndentTag, COutlineRecord::kExpandedTag,
                        COutlineRecord::kCheckedTag}) {
        EXPECT_EQ(tags.setTagChanged(id, false), 0);
    }
    EXPECT_EQ(tags.setStringTagChanged(COutlineRecord::kTextTag, false), 0);
    EXPECT_EQ(tags.setStringTagChanged(COutlineRecord::kNoteTag, false), 0);
    return record;
}

bool Changed(COutlineRecord& record, uint32_t id) {
    bool changed = false;
    EXPECT_EQ(record.getTaggedDataManager().getTagChanged(id, &changed), 0);
    return changed;
}

// A DIB with every pixel byte different from its neighbours.
MemHandle PatternDib(uint32_t width, uint32_t height, uint16_t bits) {
    MemHandle dib = CreateDIB(width, height, bits);
    EXPECT_NE(dib, nullptr);
    uint8_t* pixels = FindDIBBits(MemGetPtr(dib));
    const uint32_t rowBytes = (width * bits + 31) / 32 * 4;
    for (uint32_t i = 0; i < rowBytes * height; ++i) pixels[i] = static_cast<uint8_t>(i * 7 + 3);
    return dib;
}

std::vector<uint8_t> Pixels(MemHandle dib) {
    const void* header = MemGetPtr(dib);
    const uint32_t rowBytes = (DIBWidth(header) * DIBBitCount(header) + 31) / 32 * 4;
    const uint8_t* pixels = FindDIBBits(header);
    return std::vector<uint8_t>(pixels, pixels + rowBytes * DIBHeight(header));
}

TEST(OutlineRecord, FreshFromTheFactoryHoldsTheDefaultsWithEveryBitChanged) {
    COutlineRecordset records;
    auto* record = static_cast<COutlineRecord*>(records.Append());
    EXPECT_EQ(record->GetId(), 0u);
    EXPECT_EQ(record->GetIndent(), 0);
    EXPECT_EQ(TextOf(*record), u"");
    EXPECT_EQ(NoteOf(*record), u"");
    EXPECT_TRUE(record->HasNote()) << "an empty note is a note";
    EXPECT_TRUE(record->GetExpanded());
    EXPECT_FALSE(record->GetChecked());
    EXPECT_FALSE(record->HasDrawing());
    int32_t width = -1, height = -1;
    record->GetDrawingSize(width, height);
    EXPECT_EQ(width, 0);
    EXPECT_EQ(height, 0);
    const LogTail tail;
    EXPECT_EQ(record->GetDrawing(), nullptr);
    EXPECT_TRUE(HasLine(tail.Lines(), "Exception Data class not found error"));

    // The stored widths: ids 4 bytes, the flags 1, strings as text + NUL.
    CTaggedDataManager& tags = record->getTaggedDataManager();
    for (auto [id, size] : {std::pair{COutlineRecord::kIdTag, 4u},
                            {COutlineRecord::kIndentTag, 1u},
                            {kString | COutlineRecord::kTextTag, 1u},
                            {kString | COutlineRecord::kNoteTag, 1u},
                            {COutlineRecord::kExpandedTag, 1u},
                            {COutlineRecord::kCheckedTag, 1u}}) {
        uint32_t stored = 0;
        EXPECT_EQ(tags.getTagDataSize(id, &stored), 0);
        EXPECT_EQ(stored, size) << "tag " << std::hex << id;
        EXPECT_TRUE(Changed(*record, id)) << "tag " << std::hex << id;
    }
    record->updateRecordChanged();
    EXPECT_TRUE(record->IsChanged());
}

TEST(OutlineRecord, ConstructedDirectlyItHasOnlyTheRowTagsUntilInit) {
    COutlineRecord record;
    const Caught caught = Catch([&] { record.GetId(); });
    EXPECT_TRUE(RaisedNotFound(caught));
    EXPECT_NE(caught.text.find(u"Error in file OutlineRecord.cpp line "), std::u16string::npos) << "names the accessor";
    EXPECT_TRUE(RaisedNotFound(Catch([&] { TextOf(record); })));
    EXPECT_FALSE(record.HasNote());
    record.Init();
    EXPECT_EQ(TextOf(record), u"");
    EXPECT_TRUE(record.GetExpanded());
}

// Init on a record that already holds fields stores each default over them
// and keeps what else the block holds; a fresh record's Init gives the same
// defaults.
TEST(OutlineRecord, InitOnAFilledRecordStoresTheDefaultsOverItsFields) {
    COutlineRecord fresh;
    fresh.Init();
    COutlineRecord filled;
    filled.Init();
    filled.SetId(7);
    filled.SetText(u"Ελλάδα");
    filled.SetChecked(true);
    filled.SetSortChanged(true);
    filled.Init();
    EXPECT_EQ(filled.GetId(), 0u);
    EXPECT_EQ(TextOf(filled), u"");
    EXPECT_FALSE(filled.GetChecked());
    EXPECT_TRUE(filled.IsSortChanged());
    filled.SetSortChanged(false);
    const CTaggedDataManager& a = fresh.getTaggedDataManager();
    std::vector<char> bytes(a.size());
    a.read(0, bytes.data(), a.size());
    EXPECT_TRUE(filled.getTaggedDataManager().holds(bytes.data(), a.size()));
}

TEST(OutlineRecord, SettersMarkATagChangedOnlyWhenTheValueDiffers) {
    struct Case {
        const char* field;
        uint32_t tag;
        std::function<void(COutlineRecord&)> same, different;
    };
    const Case cases[] = {
        {"id", COutlineRecord::kIdTag, [](auto& r) { r.SetId(0); }, [](auto& r) { r.SetId(0x01020304); }},
        {"indent", COutlineRecord::kIndentTag, [](auto& r) { r.SetIndent(0); }, [](auto& r) { r.SetIndent(3); }},
        {"text", kString | COutlineRecord::kTextTag, [](auto& r) { r.SetText(u""); },
         [](auto& r) { r.SetText(u"Buy milk"); }},
        {"note", kString | COutlineRecord::kNoteTag, [](auto& r) { r.SetNote(u""); },
         [](auto& r) { r.SetNote(u"2 litres"); }},
        {"expanded", COutlineRecord::kExpandedTag, [](auto& r) { r.SetExpanded(true); },
         [](auto& r) { r.SetExpanded(false); }},
        {"checked", COutlineRecord::kCheckedTag, [](auto& r) { r.SetChecked(false); },
         [](auto& r) { r.SetChecked(true); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.field);
        COutlineRecordset records;
        COutlineRecord* record = Settled(records);
        c.same(*record);
        EXPECT_FALSE(Changed(*record, c.tag));
        c.different(*record);
        EXPECT_TRUE(Changed(*record, c.tag));
    }
}

TEST(OutlineRecord, ValuesComeBackAndBooleansAreStoredAsOneOrZero) {
    COutlineRecordset records;
    auto* record = static_cast<COutlineRecord*>(records.Append());
    record->SetId(0xFEDCBA98);
    record->SetIndent(255);
    record->SetText(u"Caf\u00E9 \u20AC5");
    record->SetNote(u"line one\r\nline two");
    record->SetChecked(true);
    record->SetExpanded(false);
    EXPECT_EQ(record->GetId(), 0xFEDCBA98u);
    EXPECT_EQ(record->GetIndent(), 255);
    EXPECT_EQ(TextOf(*record), u"Caf\u00E9 \u20AC5");
    EXPECT_EQ(NoteOf(*record), u"line one\r\nline two");
    EXPECT_TRUE(record->GetChecked());
    EXPECT_FALSE(record->GetExpanded());

    CTaggedDataManager& tags = record->getTaggedDataManager();
    uint8_t stored = 0;
    EXPECT_EQ(tags.getData(COutlineRecord::kCheckedTag, stored), 0);
    EXPECT_EQ(stored, 1);
    // Any non-zero byte a file holds reads as true.
    EXPECT_EQ(tags.setData(COutlineRecord::kExpandedTag, uint8_t{0x80}), 0);
    EXPECT_TRUE(record->GetExpanded());
}

TEST(OutlineRecord, DeletingAFieldRemovesItsTagAndItsGetterThenRaises) {
    COutlineRecordset records;
    auto* record = static_cast<COutlineRecord*>(records.Append());
    record->SetNote(std::u16string(2000, u'n').c_str());
    const uint32_t grown = record->GetRecSize();
    record->DeleteNote();
    EXPECT_FALSE(record->HasNote());
    EXPECT_LT(record->GetRecSize(), grown);
    record->DeleteNote();  // absent: no error
    EXPECT_TRUE(RaisedNotFound(Catch([&] { NoteOf(*record); })));
    record->DeleteText();
    EXPECT_TRUE(RaisedNotFound(Catch([&] { TextOf(*record); })));
    record->DeleteBitmap();
    EXPECT_FALSE(record->HasDrawing());
    EXPECT_EQ(record->GetId(), 0u) << "the other fields stay";
}

// ---- comparison with the previous state ----

TEST(OutlineRecord, UpdateChangedFieldsComparesEachFieldWithThePreviousState) {
    struct Case {
        const char* what;
        std::function<void(COutlineRecord& mine, COutlineRecord& previous)> edit;
        uint32_t tag;
        bool changed;
    };
    const uint32_t text = kString | COutlineRecord::kTextTag;
    const uint32_t note = kString | COutlineRecord::kNoteTag;
    const Case cases[] = {
        {"same text",
         [](auto& m, auto& p) {
             m.SetText(u"a");
             p.SetText(u"a");
         },
         text, false},
        {"other text",
         [](auto& m, auto& p) {
             m.SetText(u"a");
             p.SetText(u"b");
         },
         text, true},
        {"other indent", [](auto& m, auto&) { m.SetIndent(2); }, COutlineRecord::kIndentTag, true},
        {"other expansion", [](auto& m, auto&) { m.SetExpanded(false); }, COutlineRecord::kExpandedTag, true},
        {"other check", [](auto&, auto& p) { p.SetChecked(true); }, COutlineRecord::kCheckedTag, true},
        {"same note",
         [](auto& m, auto& p) {
             m.SetNote(u"x");
             p.SetNote(u"x");
         },
         note, false},
        {"other note",
         [](auto& m, auto& p) {
             m.SetNote(u"x");
             p.SetNote(u"y");
         },
         note, true},
        {"note added", [](auto&, auto& p) { p.DeleteNote(); }, note, true},
        {"no note either side",
         [](auto& m, auto& p) {
             m.DeleteNote();
             p.DeleteNote();
         },
         note, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        COutlineRecordset records;
        COutlineRecord* mine = Settled(records);
        COutlineRecord* previous = Settled(records);
        c.edit(*mine, *previous);
        // Set every bit first, so that "unchanged" must be written, not kept.
        CTaggedDataManager& tags = mine->getTaggedDataManager();
        for (uint32_t id : {COutlineRecord::kIndentTag, COutlineRecord::kExpandedTag, COutlineRecord::kCheckedTag}) {
            EXPECT_EQ(tags.setTagChanged(id, true), 0);
        }
        EXPECT_EQ(tags.setStringTagChanged(COutlineRecord::kTextTag, true), 0);
        if (mine->HasNote()) {
            EXPECT_EQ(tags.setStringTagChanged(COutlineRecord::kNoteTag, true), 0);
        }

        mine->UpdateChangedFields(previous);
        EXPECT_EQ(Changed(*mine, c.tag), c.changed);
        EXPECT_TRUE(mine->HasNote() || previous->HasNote()) << "a note missing on both sides is created";
    }
}

TEST(OutlineRecord, ANoteRemovedSinceThePreviousStateIsLeftAlone) {
    COutlineRecordset records;
    COutlineRecord* mine = Settled(records);
    COutlineRecord* previous = Settled(records);
    mine->DeleteNote();
    mine->UpdateChangedFields(previous);
    EXPECT_FALSE(mine->HasNote());
}

TEST(OutlineRecord, TheChangedFlagFollowsEveryFieldButExpansion) {
    struct Case {
        const char* what;
        std::function<void(COutlineRecord&)> edit;
        bool changed;
    };
    const Case cases[] = {
        {"nothing", [](auto&) {}, false},
        {"expansion", [](auto& r) { r.SetExpanded(false); }, false},
        {"id", [](auto& r) { r.SetId(7); }, false},
        {"indent", [](auto& r) { r.SetIndent(1); }, true},
        {"text", [](auto& r) { r.SetText(u"t"); }, true},
        {"note", [](auto& r) { r.SetNote(u"n"); }, true},
        {"check", [](auto& r) { r.SetChecked(true); }, true},
        {"drawing", [](auto& r) { r.SetDrawing(PatternDib(4, 4, 8)); }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        COutlineRecordset records;
        COutlineRecord* record = Settled(records);
        record->SetChanged(!c.changed);
        c.edit(*record);
        record->updateRecordChanged();
        EXPECT_EQ(record->IsChanged(), c.changed);
    }
}

TEST(OutlineRecord, TheChangedFlagStopsAtTheFirstChangedFieldBeforeAMissingOne) {
    COutlineRecordset records;
    COutlineRecord* record = Settled(records);
    record->DeleteNote();
    EXPECT_TRUE(RaisedNotFound(Catch([&] { record->updateRecordChanged(); })));
    record->SetIndent(4);
    EXPECT_FALSE(Catch([&] { record->updateRecordChanged(); }).raised());
    EXPECT_TRUE(record->IsChanged());
}

// ---- drawings ----

class Drawing : public ::testing::TestWithParam<uint16_t> {};

TEST_P(Drawing, AStoredDibComesBackWithItsSizeAndPixels) {
    const uint16_t bits = GetParam();
    COutlineRecordset records;
    auto* record = static_cast<COutlineRecord*>(records.Append());
    MemHandle dib = PatternDib(37, 11, bits);
    const std::vector<uint8_t> pixels = Pixels(dib);
    EXPECT_TRUE(record->SetDrawing(dib));  // consumed: the sanitizer reports a leak
    ASSERT_TRUE(record->HasDrawing());
    int32_t width = 0, height = 0;
    record->GetDrawingSize(width, height);
    EXPECT_EQ(width, 37);
    EXPECT_EQ(height, 11);

    MemHandle back = record->GetDrawing();
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(DIBBitCount(MemGetPtr(back)), bits);
    EXPECT_EQ(Pixels(back), pixels);
    MemFree(back);

    // A second drawing replaces the first.
    record->SetDrawing(PatternDib(5, 6, bits));
    record->GetDrawingSize(width, height);
    EXPECT_EQ(width, 5);
    EXPECT_EQ(height, 6);
    record->DeleteBitmap();
    EXPECT_FALSE(record->HasDrawing());
}

INSTANTIATE_TEST_SUITE_P(Depths, Drawing, ::testing::Values(1, 4, 8, 24));

TEST(OutlineRecord, ADibThatDoesNotConvertStaysTheCallersAndTheDrawingStays) {
    COutlineRecordset records;
    auto* record = static_cast<COutlineRecord*>(records.Append());
    record->SetDrawing(PatternDib(3, 3, 8));
    MemHandle bad = PatternDib(9, 9, 8);
    static_cast<uint8_t*>(MemGetPtr(bad))[0] = 12;  // a core header: refused
    EXPECT_FALSE(record->SetDrawing(bad));
    EXPECT_EQ(static_cast<uint8_t*>(MemGetPtr(bad))[0], 12) << "still the caller's to read and free";
    MemFree(bad);
    int32_t width = 0, height = 0;
    record->GetDrawingSize(width, height);
    EXPECT_EQ(width, 3);
}

TEST(OutlineRecord, DrawingFailuresAreLoggedAndNeverRaised) {
    COutlineRecordset records;
    auto* record = static_cast<COutlineRecord*>(records.Append());
    ASSERT_TRUE(record->SetDrawing(PatternDib(3, 3, 8)));
    const std::vector<char> kept(record->GetRawDataPtr(), record->GetRawDataPtr() + record->GetRecSize());

    // Every allocation failing in turn: the handle is consumed exactly when
    // SetDrawing says so, and a drawing that was not stored leaves the
    // earlier one whole.
    uint32_t refused = 0, lost = 0;
    for (uint32_t n = 1;; ++n) {
        SCOPED_TRACE(n);
        MemHandle dib = PatternDib(200, 50, 24);
        const LogTail tail;
        platform::FaultInjector injector;
        bool consumed = false;
        {
            platform::ScopedFaultInjector scope(injector);
            injector.FailNth(platform::FaultOp::Alloc, n, ERROR_NOT_ENOUGH_MEMORY);
            EXPECT_FALSE(Catch([&] { consumed = record->SetDrawing(dib); }).raised());
        }
        if (!consumed) MemFree(dib);  // the sanitizer reports a double free or a leak
        int32_t width = 0, height = 0;
        record->GetDrawingSize(width, height);
        if (!injector.Fired(platform::FaultOp::Alloc)) {
            EXPECT_TRUE(consumed);
            EXPECT_EQ(width, 200);
            break;
        }
        EXPECT_EQ(width, 3);
        EXPECT_TRUE(std::equal(kept.begin(), kept.end(), record->GetRawDataPtr()));
        if (consumed) {
            EXPECT_TRUE(HasLine(tail.Lines(), "Exception ")) << "the failed store is logged";
        }
        ++(consumed ? lost : refused);
    }
    EXPECT_GT(refused, 0u) << "no failure inside the conversion";
    EXPECT_GT(lost, 0u) << "no failure while storing";

    platform::FaultInjector injector;
    platform::ScopedFaultInjector scope(injector);
    injector.FailNth(platform::FaultOp::Alloc, 1, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(record->GetDrawing(), nullptr) << "no memory for the copy";
}

TEST(OutlineRecord, ADamagedDrawingBlockGivesNoDrawingAndAShortOneNoSize) {
    COutlineRecordset records;
    auto* record = static_cast<COutlineRecord*>(records.Append());
    CTaggedDataManager& tags = record->getTaggedDataManager();
    const uint8_t damaged[32] = {0, 0xFF, 0xFF, 0xFF, 0x7F, 1, 0, 0, 0, 1, 0, 1, 0, 8};
    ASSERT_EQ(tags.setData(COutlineRecord::kDrawingTag, damaged, sizeof damaged, nullptr, 0), 0);
    EXPECT_EQ(record->GetDrawing(), nullptr);

    const uint8_t shortBlock[5] = {0, 4, 0, 0, 0};
    ASSERT_EQ(tags.setData(COutlineRecord::kDrawingTag, shortBlock, sizeof shortBlock, nullptr, 0), 0);
    int32_t width = -1, height = -1;
    EXPECT_TRUE(RaisedNotFound(Catch([&] { record->GetDrawingSize(width, height); })));
    EXPECT_EQ(width, 0) << "set before the block is looked at";
}

// ---- linked items ----

TEST(LinkedOutlRec, AddsInternalAndParentIdsToTheItemDefaults) {
    CLinkedOutlRS records;
    CDBRecord* made = records.Append();
    auto* record = dynamic_cast<CLinkedOutlRec*>(made);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->getInternalId(), 0u);
    EXPECT_EQ(record->getParentId(), 0u);
    EXPECT_TRUE(record->GetExpanded());
    EXPECT_TRUE(record->HasNote());
    record->setInternalId(41);
    record->setParentId(40);
    EXPECT_EQ(record->getInternalId(), 41u);
    EXPECT_EQ(record->getParentId(), 40u);

    COutlineRecordset plain;
    EXPECT_EQ(dynamic_cast<CLinkedOutlRec*>(plain.Append()), nullptr);
}

}  // namespace
