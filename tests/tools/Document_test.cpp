#include "tools/zro/Document.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "support/TempDir.h"
#include "tools/RichDocument.h"
#include "tools/zro/Commands.h"

namespace {

using namespace zrotest;
using testsupport::ReadFileBytes;
using zro::Document;
using zr_gen::COutlineRecord;

std::u16string TextOf(COutlineRecord& item) {
    zr_gen::_String text;
    item.GetText(text);
    return std::u16string(text.Text());
}

std::u16string NoteOf(COutlineRecord& item) {
    zr_gen::_String text;
    item.GetNote(text);
    return std::u16string(text.Text());
}

class DocumentEdit : public ::testing::Test {
protected:
    void SetUp() override {
        WriteRichDocument(path_);
        before_ = ReadFileBytes(path_);
    }

    void Edit(const std::function<void(Document&)>& edit) {
        Document document(path_.string(), Document::Access::kEdit);
        edit(document);
        document.Save();
    }

    testsupport::TempDir dir_;
    std::filesystem::path path_ = dir_.path() / "rich.zro";
    Bytes before_;
};

TEST_F(DocumentEdit, AddChangesNothingButTheRowCountAndTheNewRow) {
    Edit([](Document& document) { zro::AddItem(document, {"Jam", "strawberry\nno lumps", 1, true}, std::nullopt); });
    const Layout before = Split(before_);
    const Layout after = Split(ReadFileBytes(path_));
    EXPECT_EQ(after.dbInfo, before.dbInfo);
    EXPECT_EQ(after.rowCount, before.rowCount + 1);
    EXPECT_EQ(after.headers, before.headers);  // font, placement, numbering, foreign header
    EXPECT_EQ(after.deleted, before.deleted);
    ASSERT_EQ(after.rows.size(), 5u);
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(after.rows[i], before.rows[i]) << "row " << i;

    Document document(path_.string(), Document::Access::kRead);
    COutlineRecord& added = document.Item(4);
    EXPECT_EQ(added.GetId(), 104u);  // above every id, deleted ones included
    EXPECT_EQ(added.GetIndent(), 1);
    EXPECT_TRUE(added.GetChecked());
    EXPECT_TRUE(added.IsNew());
    EXPECT_EQ(TextOf(added), u"Jam");
    EXPECT_EQ(NoteOf(added), u"strawberry\r\nno lumps");
}

// Each edit: the order of the old rows after it (by old index; -1 for a new
// row), the rows it may change (new indexes), whether the header area may
// change, and what the edited document must show.
struct EditCase {
    const char* name;
    std::function<void(Document&)> edit;
    std::vector<int> order;
    std::set<size_t> touched;
    bool headersChange;
    std::function<void(Document&)> verify;
};

TEST_F(DocumentEdit, EachEditChangesOnlyWhatItNames) {
    const std::vector<EditCase> cases = {
        {"tick", [](Document& d) { zro::ChangeItem(d, 0, {.checked = true}); }, {0, 1, 2, 3}, {0}, false,
         [](Document& d) {
             EXPECT_TRUE(d.Item(0).GetChecked());
             EXPECT_TRUE(d.Item(0).IsChanged());
         }},
        {"fold", [](Document& d) { zro::ChangeItem(d, 0, {.expanded = false}); }, {0, 1, 2, 3}, {0}, false,
         [](Document& d) { EXPECT_FALSE(d.Item(0).GetExpanded()); }},
        {"set text of the drawing's item", [](Document& d) { zro::ChangeItem(d, 2, {.text = "Eggs (6)"}); },
         {0, 1, 2, 3}, {2}, false,
         [](Document& d) {
             EXPECT_EQ(TextOf(d.Item(2)), u"Eggs (6)");
             int32_t width = 0;
             int32_t height = 0;
             d.Item(2).GetDrawingSize(width, height);
             EXPECT_EQ(width, 24);
             EXPECT_EQ(height, 16);
         }},
        {"set note keeps an unknown tag", [](Document& d) { zro::ChangeItem(d, 1, {.note = "rye\nsliced"}); },
         {0, 1, 2, 3}, {1}, false,
         [](Document& d) {
             EXPECT_EQ(NoteOf(d.Item(1)), u"rye\r\nsliced");
             EXPECT_EQ(zr_gen::tagaccess::Get<uint32_t>(d.Item(1).getTaggedDataManager(), kUnknownTag), 0xC0FFEEu);
         }},
        {"move a leaf to the top", [](Document& d) { zro::MoveItem(d, 3, 0, std::nullopt); }, {3, 0, 1, 2}, {0},
         false, [](Document& d) { EXPECT_TRUE(d.Item(0).IsSortChanged()); }},
        {"move an item with its sub-items", [](Document& d) { zro::MoveItem(d, 0, 1, std::nullopt); },
         {3, 0, 1, 2}, {1, 2, 3}, false,
         [](Document& d) {
             EXPECT_EQ(TextOf(d.Item(1)), u"Milk");
             EXPECT_EQ(d.Item(2).GetIndent(), 1);
         }},
        {"move under another item", [](Document& d) { zro::MoveItem(d, 3, 2, 2); }, {0, 1, 3, 2}, {2}, false,
         [](Document& d) { EXPECT_EQ(d.Item(2).GetIndent(), 2); }},
        {"delete lists the ids", [](Document& d) { zro::DeleteItem(d, 0); }, {3}, {}, false,
         [](Document& d) {
             EXPECT_EQ(d.Db().GetDeletedIds().Ids(), (std::vector<uint32_t>{7, 9, 100, 101, 102}));
         }},
        {"set title", [](Document& d) { zro::SetTitle(d, "Einkauf \u00FC"); }, {0, 1, 2, 3}, {}, true,
         [](Document& d) {
             zr_gen::_String title;
             d.Db().GetOutlineTitle(title);
             EXPECT_EQ(title.Text(), u"Einkauf \u00FC");
         }},
        {"set category", [](Document& d) { zro::SetCategory(d, "Work"); }, {0, 1, 2, 3}, {}, true,
         [](Document& d) {
             zr_gen::_String name;
             d.Db().GetCategoryName(name);
             EXPECT_EQ(name.Text(), u"Work");
             EXPECT_TRUE(d.Db().GetCategoryChanged());
         }},
    };
    for (const EditCase& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::WriteFileBytes(path_, before_);
        Edit(c.edit);
        const Layout before = Split(before_);
        const Layout after = Split(ReadFileBytes(path_));
        ASSERT_EQ(after.rows.size(), c.order.size());
        for (size_t i = 0; i < c.order.size(); ++i) {
            if (!c.touched.contains(i)) {
                EXPECT_EQ(after.rows[i], before.rows[c.order[i]]) << "row " << i;
            }
        }
        if (!c.headersChange) {
            EXPECT_EQ(after.headers, before.headers);
        }
        Document document(path_.string(), Document::Access::kRead);
        c.verify(document);
        // What no edit touches: font, placement, numbering, private flag, the
        // foreign header's slot.
        LOGFONTW font{};
        uint32_t color = 0;
        document.Db().GetOutlineFont(font, &color);
        EXPECT_EQ(std::u16string(font.lfFaceName), u"Tahoma");
        EXPECT_EQ(color, 0x00FF8000u);
        zr_gen::WINDOWPLACEMENT placement;
        document.Db().GetOutlineWindowPos(placement);
        EXPECT_EQ(placement.rcNormalPosition.right, 300);
        EXPECT_TRUE(document.Db().GetPrivate());
        EXPECT_EQ(document.Db().getNumberingDivider(), 46);
        const Bytes& headers = after.headers;
        EXPECT_NE(std::search(headers.begin(), headers.end(), kForeignSlot.begin(), kForeignSlot.end()),
                  headers.end());
    }
}

TEST_F(DocumentEdit, RefusedEditsLeaveTheFileAsItWas) {
    const std::vector<std::pair<const char*, std::function<void(Document&)>>> refused = {
        {"no such item", [](Document& d) { zro::ChangeItem(d, 4, {.checked = true}); }},
        {"add two levels deeper", [](Document& d) { zro::AddItem(d, {"x", "", 2, false}, 1); }},
        {"add deeper than a level can be", [](Document& d) { zro::AddItem(d, {"x", "", 256, false}, 1); }},
        {"move a sub-item to the top", [](Document& d) { zro::MoveItem(d, 1, 0, std::nullopt); }},
        {"move past the end", [](Document& d) { zro::MoveItem(d, 0, 2, std::nullopt); }},
        {"move deeper than allowed", [](Document& d) { zro::MoveItem(d, 3, 1, 3); }},
        {"delete no item", [](Document& d) { zro::DeleteItem(d, 9); }},
    };
    for (const auto& [name, edit] : refused) {
        SCOPED_TRACE(name);
        try {
            Edit(edit);
            ADD_FAILURE() << "accepted";
        } catch (const zro::Failure& failure) {
            EXPECT_EQ(failure.ExitCode(), zro::kExitUsage);
            EXPECT_NE(std::string(failure.what()).find("rich.zro"), std::string::npos) << failure.what();
        }
        EXPECT_EQ(ReadFileBytes(path_), before_);
    }
}

TEST_F(DocumentEdit, DamagedOrForeignFilesAreRefusedUntouched) {
    Bytes cut(before_.begin(), before_.end() - 20);
    const std::vector<std::pair<const char*, Bytes>> inputs = {
        {"cut short", cut}, {"foreign bytes", Bytes{'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'}}, {"empty", {}}};
    for (const auto& [name, bytes] : inputs) {
        SCOPED_TRACE(name);
        testsupport::WriteFileBytes(path_, bytes);
        try {
            Edit([](Document& d) { zro::ChangeItem(d, 0, {.checked = true}); });
            ADD_FAILURE() << "accepted";
        } catch (const zro::Failure& failure) {
            EXPECT_EQ(failure.ExitCode(), zro::kExitUsage);
        }
        EXPECT_EQ(ReadFileBytes(path_), bytes);
    }
}

}  // namespace
