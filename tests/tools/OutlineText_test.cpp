#include "tools/zro/OutlineText.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "support/TempDir.h"
#include "tools/zro/JsonForm.h"
#include "tools/zro/Outline.h"

namespace {

using zro::FromText;
using zro::ToText;

constexpr const char* kSample =
    "Title: Weekend trip\n"
    "Category: Travel\n"
    "\n"
    "- [ ] Pack\n"
    "  - [x] Passport\n"
    "      > in the blue bag\n"
    "      > \n"
    "      > front pocket\n"
    "  + [ ] Books\n"
    "    - [ ] A caf\xC3\xA9 guide\n"
    "- [x] Water the plants\n";

TEST(OutlineText, TextReadsIntoItemsAndPrintsBackTheSame) {
    const zro::Outline outline = FromText(kSample);
    EXPECT_EQ(outline.title, "Weekend trip");
    EXPECT_EQ(outline.category, "Travel");
    ASSERT_EQ(outline.items.size(), 5u);
    EXPECT_EQ(outline.items[1].indent, 1u);
    EXPECT_TRUE(outline.items[1].checked);
    EXPECT_EQ(outline.items[1].note, "in the blue bag\n\nfront pocket");
    EXPECT_FALSE(outline.items[2].expanded);
    EXPECT_EQ(outline.items[3].text, "A caf\xC3\xA9 guide");
    EXPECT_EQ(ToText(outline), kSample);
}

TEST(OutlineText, NotesKeepTheirEmptyLinesAtEitherEnd) {
    zro::Outline outline;
    outline.items.push_back(zro::Item{});
    outline.items[0].text = "a";
    for (const char* note : {"\nmiddle\n", "\n", "x\n\n", "\n\ny"}) {
        SCOPED_TRACE(note);
        outline.items[0].note = note;
        EXPECT_EQ(FromText(ToText(outline)).items.at(0).note, note);
    }
}

TEST(OutlineText, LinesItCannotReadNameTheirNumber) {
    struct Case {
        const char* text;
        size_t line;
    };
    const Case cases[] = {
        {"- a\n\tb\n", 2},                  // tab
        {"> note first\n", 1},              // note without an item
        {"- a\n  > shallow note\n", 2},     // note not four spaces deeper
        {"- a\n    - too deep\n", 2},       // two levels at once
        {"- a\n   - odd indent\n", 2},      // not two spaces a level
        {"Title: t\nplain words\n", 2},     // no item marker
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        try {
            FromText(c.text);
            ADD_FAILURE() << "accepted";
        } catch (const zro::TextError& e) {
            EXPECT_EQ(e.line, c.line) << e.what();
        }
    }
}

TEST(OutlineText, JsonHoldsTheTextFieldsAndDeletedIds) {
    zro::Outline outline = FromText(kSample);
    outline.deletedIds = {4, 9};
    const nlohmann::json json = nlohmann::json::parse(zro::ToJson(outline));
    EXPECT_EQ(json["title"], "Weekend trip");
    EXPECT_EQ(json["items"].size(), 5u);
    EXPECT_FALSE(json["items"][1].contains("drawing"));
    EXPECT_EQ(json["items"][1]["note"], "in the blue bag\n\nfront pocket");
    EXPECT_EQ(json["deletedIds"], nlohmann::json::array({4, 9}));
}

TEST(OutlineText, ADocumentSavedFromTextLoadsBackWithIdsAssigned) {
    testsupport::TempDir dir;
    const std::string path = (dir.path() / "trip.zro").string();
    zro::Outline outline = FromText(kSample);
    outline.items[4].id = 40;
    outline.deletedIds = {3};
    zro::Save(outline, path);
    const zro::Outline back = zro::Load(path);
    EXPECT_EQ(ToText(back), kSample);
    ASSERT_EQ(back.items.size(), 5u);
    EXPECT_EQ(back.items[0].id, 41u) << "new ids follow the largest";
    EXPECT_EQ(back.items[4].id, 40u);
    EXPECT_EQ(back.deletedIds, std::vector<uint32_t>{3});
    EXPECT_TRUE(back.items[0].drawing.empty());
    EXPECT_THROW(zro::Load((dir.path() / "missing.zro").string()), std::runtime_error);
}

}  // namespace
