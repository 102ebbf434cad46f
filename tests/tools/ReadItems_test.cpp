// Reading a document item by item (ReadItems, and the text `zro show`
// prints from it) against reading it whole (Load).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "RichDocument.h"
#include "support/TempDir.h"
#include "tools/zro/Outline.h"
#include "tools/zro/OutlineText.h"

namespace {

using zr_gen::COutlineRecord;

// The outline ReadItems hands out, collected.
zro::Outline ReadWhole(const std::string& path, bool withDrawings) {
    zro::Outline outline;
    zro::ReadItems(
        path, withDrawings, [&](const zro::Outline& headers) { outline = headers; },
        [&](const zro::Item& item) { outline.items.push_back(item); });
    return outline;
}

// Items whose texts exercise the reader: notes with device line ends and
// empty lines, a text the code page cannot hold, line breaks inside a text,
// an item whose text tag was deleted, and enough of them (`count`, with
// texts of about 100 characters) to fill several of the reader's spans.
// Returns the outline the tool must read from it.
zro::Outline WriteDocument(const std::filesystem::path& path, uint32_t count) {
    zro::Outline expected;
    expected.title = "Two\nlines";
    expected.category = "Caf\xC3\xA9";
    zr_gen::COutlineDB db;
    db.SetOutlineTitle(u"Two\nlines");
    db.SetCategoryName(u"Caf\u00E9");
    for (uint32_t i = 0; i < count; ++i) {
        zro::Item& want = expected.items.emplace_back();
        want.id = i + 1;
        want.indent = i % 4;
        want.checked = i % 3 == 0;
        want.expanded = i % 5 != 0;
        auto* item = static_cast<COutlineRecord*>(db.GetRecordset()->Append());
        item->SetId(want.id);
        item->SetIndent(static_cast<uint8_t>(want.indent));
        item->SetChecked(want.checked);
        item->SetExpanded(want.expanded);
        const char letter = static_cast<char>('a' + i % 26);
        item->SetText((u"Item " + std::u16string(100, static_cast<char16_t>(letter))).c_str());
        want.text = "Item " + std::string(100, letter);
        if (i % 4 == 1) {
            item->SetNote(u"first\r\n\r\nthird \u20AC\u4E2D\r\n");
            want.note = "first\n\nthird \xE2\x82\xAC\xE4\xB8\xAD\n";
        }
        if (i % 7 == 2) {
            item->SetText(u"a\rb\nc \U0001F600");
            want.text = "a\rb\nc \xF0\x9F\x98\x80";
        }
        if (i == 5) {
            item->DeleteText();
            want.text.clear();
        }
    }
    zrotest::SaveAsNew(db, path);
    return expected;
}

// An item's fields in a line a failure can show.
std::string Described(const zro::Item& item) {
    return std::to_string(item.id) + " level " + std::to_string(item.indent) + (item.checked ? " [x]" : " [ ]") +
           (item.expanded ? " open" : " closed") + " text '" + item.text + "' note '" + item.note + "' drawing " +
           std::to_string(item.drawingWidth) + "x" + std::to_string(item.drawingHeight) + " of " +
           std::to_string(item.drawing.size()) + " bytes";
}

// The header fields the text shows, and the items (the first that differs).
void ExpectShownFields(const zro::Outline& read, const zro::Outline& expected) {
    EXPECT_EQ(read.title, expected.title);
    EXPECT_EQ(read.category, expected.category);
    ASSERT_EQ(read.items.size(), expected.items.size());
    for (size_t i = 0; i < read.items.size(); ++i) {
        if (read.items[i] == expected.items[i]) continue;
        ADD_FAILURE() << "item " << i << ":\n  read     " << Described(read.items[i]) << "\n  expected "
                      << Described(expected.items[i]);
        return;
    }
}

class ReadItemsTest : public ::testing::Test {
protected:
    testsupport::TempDir dir_;
    std::string Path(const char* name) const { return (dir_.path() / name).string(); }
};

// Every field as written, drawings decoded or left out (their sizes stay),
// and the text printed from the items as they are read; one item at a time
// means each item's fields are its own, none left from the one before.
TEST_F(ReadItemsTest, ItemsAndTextAreThoseOfTheDocument) {
    for (const uint32_t count : {12u, 10000u}) {  // 10000: about 2.5 MB, more than one span
        SCOPED_TRACE(count);
        const zro::Outline expected = WriteDocument(Path("items.zro"), count);
        ExpectShownFields(ReadWhole(Path("items.zro"), false), expected);
        ExpectShownFields(zro::Load(Path("items.zro")), expected);
        EXPECT_EQ(zro::DocumentText(Path("items.zro")), zro::ToText(expected));
    }
    EXPECT_NE(zro::DocumentText(Path("items.zro")).find("Title: Two lines\n"), std::string::npos);
    EXPECT_NE(zro::DocumentText(Path("items.zro")).find("- [ ] a b c \xF0\x9F\x98\x80\n"), std::string::npos);

    zrotest::WriteRichDocument(Path("rich.zro"));
    const zro::Outline rich = zro::Load(Path("rich.zro"));
    ExpectShownFields(ReadWhole(Path("rich.zro"), true), rich);
    ASSERT_EQ(rich.items.size(), 4u);
    EXPECT_FALSE(rich.items[2].drawing.empty());
    zro::Outline withoutDrawings = rich;
    withoutDrawings.items[2].drawing.clear();
    const zro::Outline read = ReadWhole(Path("rich.zro"), false);
    ExpectShownFields(read, withoutDrawings);
    EXPECT_EQ(read.items[2].drawingWidth, 24);
    EXPECT_EQ(read.items[2].drawingHeight, 16);
    EXPECT_EQ(zro::DocumentText(Path("rich.zro")), zro::ToText(rich));
}

// A damaged row fails both readers with the same message; ReadItems has
// handed out the items before it, and the text holds nothing.
TEST_F(ReadItemsTest, DamagedRowsFailAsTheWholeReadDoes) {
    WriteDocument(Path("good.zro"), 12);
    const testsupport::Bytes good = testsupport::ReadFileBytes(Path("good.zro"));
    const zrotest::Layout layout = zrotest::Split(good);
    const size_t rowStart = good.size() - [&] {
        size_t tail = 0;
        for (size_t i = 9; i < layout.rows.size(); ++i) tail += layout.rows[i].size();
        return tail;
    }();
    struct Damage {
        const char* name;
        size_t at;  // from the start of row 9
        uint8_t value;
    };
    const Damage damages[] = {{"start identifier", 0, 0x00}, {"first tag's code", 8, 0x00}, {"a tag's size", 8 + 11, 0xFF}};
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.name);
        testsupport::Bytes bad = good;
        bad[rowStart + damage.at] = damage.value;
        testsupport::WriteFileBytes(Path("bad.zro"), bad);
        std::string whole;
        try {
            zro::Load(Path("bad.zro"));
        } catch (const std::runtime_error& e) {
            whole = e.what();
        }
        ASSERT_FALSE(whole.empty()) << "the whole read accepted it";
        size_t visited = 0;
        try {
            zro::ReadItems(Path("bad.zro"), false, [](const zro::Outline&) {}, [&](const zro::Item&) { ++visited; });
            ADD_FAILURE() << "read item by item";
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(e.what(), whole);
        }
        EXPECT_EQ(visited, 9u);
        EXPECT_THROW(zro::DocumentText(Path("bad.zro")), std::runtime_error);
    }
}

}  // namespace
