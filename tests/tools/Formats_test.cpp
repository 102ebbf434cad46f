// The zro tool's document forms: a rich document (every stored field,
// drawings of every depth, notes with blank lines and trailing blanks,
// Windows-1252 letters, deep nesting) survives OPML and JSON field for field
// and Markdown in its texts, notes, levels and checked states; OPML from
// other outliners reads into the right tree; PNG drawings show the stored
// pixels; damaged input is refused with a message.
#include <png.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include "notestore/foundation/File.h"
#include "notestore/outline/OutlineDB.h"
#include "support/TempDir.h"
#include "platform/Errors.h"
#include "platform/Faults.h"
#include "platform/Strings.h"
#include "tools/zro/Base64.h"
#include "tools/zro/Html.h"
#include "tools/zro/JsonForm.h"
#include "tools/zro/Markdown.h"
#include "tools/zro/Opml.h"
#include "tools/zro/Outline.h"
#include "tools/zro/Png.h"
#include "tools/zro/ReplaceFile.h"

namespace {

using zro::Item;
using zro::Outline;

void Put32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// A packed DIB with a full colour table (at 8 bits and below) and a pixel
// pattern that differs in every row and column.
std::vector<uint8_t> MakeDib(int32_t width, int32_t height, uint16_t bits, bool topDown, uint8_t fourth = 0) {
    const uint32_t colors = bits <= 8 ? 1u << bits : 0;
    const uint32_t rowSize = ((bits * width + 31) / 32) * 4;
    std::vector<uint8_t> dib(40 + 4 * colors + rowSize * height, 0);
    Put32(dib, 0, 40);
    Put32(dib, 4, static_cast<uint32_t>(width));
    Put32(dib, 8, static_cast<uint32_t>(topDown ? -height : height));
    dib[12] = 1;
    dib[14] = static_cast<uint8_t>(bits);
    for (uint32_t i = 0; i < colors; ++i) {
        dib[40 + 4 * i] = static_cast<uint8_t>(i * 37);
        dib[41 + 4 * i] = static_cast<uint8_t>(i * 91 + 5);
        dib[42 + 4 * i] = static_cast<uint8_t>(255 - i * 13);
    }
    uint8_t* rows = dib.data() + 40 + 4 * colors;
    const uint32_t used = (bits * width + 7) / 8;  // the padding stays 0
    for (int32_t y = 0; y < height; ++y) {
        for (uint32_t b = 0; b < used; ++b) {
            uint8_t value = static_cast<uint8_t>(b * 7 + y * 13 + bits);
            if (bits == 16 && b % 2 == 1) value &= 0x7F;  // the unused top bit of 5-5-5
            if (bits == 32 && b % 4 == 3) value = fourth;
            rows[y * rowSize + b] = value;
        }
        // Bits past the last pixel of a packed row are not part of the picture.
        if ((bits * width) % 8 != 0) rows[y * rowSize + used - 1] &= static_cast<uint8_t>(0xFF << (8 - (bits * width) % 8));
    }
    return dib;
}

Item MakeItem(uint32_t id, uint32_t indent, std::string text, std::string note = "") {
    Item item;
    item.id = id;
    item.indent = indent;
    item.text = std::move(text);
    item.note = std::move(note);
    return item;
}

// A document with every field set away from its default.
Outline RichOutline() {
    Outline o;
    o.title = "Caf\xC3\xA9 \xE2\x80\x9Cplans\xE2\x80\x9D \xE2\x82\xAC & <more>";
    o.category = "R\xC3\xA9sum\xC3\xA9";
    o.isPrivate = true;
    o.synchronized = true;
    o.outlineChanged = false;
    o.matchName = "match";
    o.numbering = {1, 2, 3, 4, 5, 6, 7, 8, 9, 255};
    o.numberingDivider = 0x2E2E;
    o.showCheckedItems = 2;
    o.selectedIndex = 3;
    o.topIndex = 1;
    o.showHeadingsMode = 7;
    o.placement = {2, 3, -1, -2, 300, 400, 10, 20, 230, 310};
    o.font = zro::Font{-13, 0, 0, 0, 700, 1, 0, 1, 0, 3, 2, 1, 34, "Tahoma", 0x00FF8040};
    o.deletedIds = {77, 78, 1000};

    o.items.push_back(MakeItem(1, 0, "Pack & go <now>", "first line\n\nafter a blank line  \n  indented\\ end "));
    o.items.back().checked = true;
    o.items.push_back(MakeItem(2, 1, "  leading and trailing  ", "\"quoted\" * _x_ [y](z) # h"));
    o.items.back().expanded = false;
    o.items.push_back(MakeItem(5, 2, "under a closed item"));
    o.items.push_back(MakeItem(6, 1, "", "a note under an empty text"));
    o.items.push_back(MakeItem(7, 0, "\xC3\x9C" "ber \xC5\x93uvre \xE2\x80\x93 \xC3\xA6\xC3\xB8\xC3\xA5 \xE2\x84\xA2", "\n\nbetween blank lines\n"));
    const std::vector<std::tuple<uint16_t, bool, uint8_t>> drawings = {
        {1, false, 0}, {4, true, 0}, {8, false, 0}, {16, false, 0}, {24, true, 0}, {32, false, 0}, {32, false, 200}};
    uint32_t id = 20;
    for (const auto& [bits, topDown, fourth] : drawings) {
        o.items.push_back(MakeItem(id++, 1, "drawing at " + std::to_string(bits) + " bits"));
        o.items.back().drawing = MakeDib(13, 6, bits, topDown, fourth);
    }
    // A chain 40 levels deep, then back to the top.
    for (uint32_t level = 0; level < 40; ++level) {
        o.items.push_back(MakeItem(100 + level, level, "level " + std::to_string(level)));
        o.items.back().checked = level % 3 == 0;
        o.items.back().expanded = level % 4 != 1;
    }
    o.items.push_back(MakeItem(200, 0, "last"));
    return o;
}

// The rich document as the library stores and reads it.
class FormatsTest : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = (dir_.path() / "rich.zro").string();
        zro::Save(RichOutline(), path_);
        document_ = zro::Load(path_);
    }

    Outline Reloaded(const Outline& outline) {
        const std::string again = (dir_.path() / "again.zro").string();
        zro::Save(outline, again);
        return zro::Load(again);
    }

    testsupport::TempDir dir_;
    std::string path_;
    Outline document_;
};

TEST_F(FormatsTest, TheRichDocumentKeepsEveryFieldItWasGiven) {
    const Outline given = RichOutline();
    ASSERT_EQ(document_.items.size(), given.items.size());
    EXPECT_EQ(document_.font, given.font);
    EXPECT_EQ(document_.placement, given.placement);
    EXPECT_EQ(document_.numbering, given.numbering);
    EXPECT_EQ(document_.deletedIds, given.deletedIds);
    for (size_t i = 0; i < given.items.size(); ++i) {
        EXPECT_EQ(document_.items[i].text, given.items[i].text) << i;
        EXPECT_EQ(document_.items[i].note, given.items[i].note) << i;
        EXPECT_EQ(document_.items[i].drawing.empty(), given.items[i].drawing.empty()) << i;
    }
}

struct LosslessForm {
    const char* name;
    std::function<std::string(const Outline&)> write;
    std::function<Outline(const std::string&)> read;
};

TEST_F(FormatsTest, OpmlAndJsonCarryTheDocumentFieldForField) {
    const LosslessForm forms[] = {
        {"OPML", zro::ToOpml, [](const std::string& text) { return zro::FromOpml(text); }},
        {"JSON", zro::ToJson, [](const std::string& text) { return zro::FromJson(text); }},
    };
    for (const LosslessForm& form : forms) {
        SCOPED_TRACE(form.name);
        const Outline read = form.read(form.write(document_));
        EXPECT_EQ(read, document_);
        for (size_t i = 0; i < read.items.size() && i < document_.items.size(); ++i) {
            EXPECT_EQ(read.items[i], document_.items[i]) << "item " << i;
        }
        EXPECT_EQ(Reloaded(read), document_);
    }
}

TEST_F(FormatsTest, EveryExportedOpmlFileIsWellFormed) {
    const std::string opml = (dir_.path() / "rich.opml").string();
    std::ofstream(opml) << zro::ToOpml(document_);
    std::ofstream((dir_.path() / "empty.opml").string()) << zro::ToOpml(Outline{});
    const std::string command = "xmllint --noout '" + opml + "' '" + (dir_.path() / "empty.opml").string() + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
}

// XML cannot carry control characters or U+FFFF even as references: the
// OPML stays well-formed and still gives every text back.
TEST_F(FormatsTest, OpmlCarriesTextsXmlCannotHold) {
    Outline o;
    o.title = "bell\x07title";
    o.category = "c\x01t";
    o.matchName = "m\x1Fn";
    o.font = zro::Font{};
    o.font->height = -13;
    o.font->face = "f\x02" "ce";
    o.items.push_back(MakeItem(1, 0, "nul-less \x07 bell and \xEF\xBF\xBF end", "form\x0C feed\nand \xEF\xBF\xBE"));
    o.items.push_back(MakeItem(2, 1, "plain"));
    const std::string text = zro::ToOpml(o);
    const std::string opml = (dir_.path() / "control.opml").string();
    std::ofstream(opml) << text;
    const std::string command = "xmllint --noout '" + opml + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    EXPECT_EQ(zro::FromOpml(text), o);
    EXPECT_THROW(zro::FromOpml(R"(<opml version="2.0" xmlns:zr="urn:notestore:outline:1"><body>)"
                               R"(<outline text="x" zr:text64="%%"/></body></opml>)"),
                 zro::OpmlError);
}

TEST_F(FormatsTest, MarkdownKeepsTextsNotesLevelsAndCheckedStates) {
    const zro::MarkdownExport exported = zro::ToMarkdown(document_, "rich_files");
    std::map<std::string, std::vector<uint8_t>> files;
    for (const zro::MarkdownImage& image : exported.images) files["rich_files/" + image.name] = image.png;
    const Outline read = zro::FromMarkdown(exported.text, [&](const std::string& link) {
        const auto found = files.find(link);
        if (found == files.end()) throw std::runtime_error("no such image");
        return found->second;
    });
    EXPECT_EQ(read.title, document_.title);
    ASSERT_EQ(read.items.size(), document_.items.size()) << exported.text;
    for (size_t i = 0; i < read.items.size(); ++i) {
        SCOPED_TRACE("item " + std::to_string(i));
        EXPECT_EQ(read.items[i].text, document_.items[i].text);
        EXPECT_EQ(read.items[i].note, document_.items[i].note);
        EXPECT_EQ(read.items[i].indent, document_.items[i].indent);
        EXPECT_EQ(read.items[i].checked, document_.items[i].checked);
        EXPECT_EQ(read.items[i].drawing, document_.items[i].drawing);
    }
}

// The RGBA pixels a DIB shows, top row first, read independently of the
// PNG writer.
std::vector<uint8_t> ShownPixels(const std::vector<uint8_t>& dib) {
    const int32_t width = static_cast<int32_t>(dib[4] | dib[5] << 8 | dib[6] << 16 | dib[7] << 24);
    const int32_t storedHeight = static_cast<int32_t>(dib[8] | dib[9] << 8 | dib[10] << 16 | dib[11] << 24);
    const int32_t height = std::abs(storedHeight);
    const uint16_t bits = static_cast<uint16_t>(dib[14] | dib[15] << 8);
    const uint32_t colors = bits <= 8 ? 1u << bits : 0;
    const uint32_t rowSize = ((bits * width + 31) / 32) * 4;
    const uint8_t* table = dib.data() + 40;
    const uint8_t* rows = table + 4 * colors;
    bool alpha = false;
    for (int32_t y = 0; bits == 32 && y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) alpha |= rows[y * rowSize + 4 * x + 3] != 0;
    }
    std::vector<uint8_t> rgba;
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* row = rows + (storedHeight < 0 ? y : height - 1 - y) * rowSize;
        for (int32_t x = 0; x < width; ++x) {
            uint8_t r, g, b, a = 255;
            if (bits <= 8) {
                const uint32_t bit = x * bits;
                const uint32_t index = (row[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
                b = table[4 * index], g = table[4 * index + 1], r = table[4 * index + 2];
            } else if (bits == 16) {
                const uint32_t v = row[2 * x] | row[2 * x + 1] << 8;
                const auto widen = [](uint32_t c) { return static_cast<uint8_t>(c << 3 | c >> 2); };
                r = widen(v >> 10 & 31), g = widen(v >> 5 & 31), b = widen(v & 31);
            } else {
                const uint8_t* p = row + x * (bits / 8);
                b = p[0], g = p[1], r = p[2];
                if (alpha) a = p[3];
            }
            rgba.insert(rgba.end(), {r, g, b, a});
        }
    }
    return rgba;
}

std::vector<uint8_t> DecodedPixels(const std::vector<uint8_t>& png) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    EXPECT_TRUE(png_image_begin_read_from_memory(&image, png.data(), png.size())) << image.message;
    image.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
    EXPECT_TRUE(png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) << image.message;
    return pixels;
}

TEST_F(FormatsTest, PngDrawingsShowTheStoredPixelsAndComeBackByteForByte) {
    size_t drawings = 0;
    for (const Item& item : document_.items) {
        if (item.drawing.empty()) continue;
        SCOPED_TRACE(item.text);
        ++drawings;
        const std::vector<uint8_t> png = zro::DibToPng(item.drawing);
        EXPECT_EQ(DecodedPixels(png), ShownPixels(item.drawing));
        EXPECT_EQ(zro::PngToDib(png), item.drawing);
    }
    EXPECT_EQ(drawings, 7u);
}

TEST(PngForeign, APngFromElsewhereBecomesA24BitDibOverWhite) {
    // 2 x 1: opaque red, then blue at alpha 0 (white once composed).
    const uint8_t rgba[] = {255, 0, 0, 255, 0, 0, 255, 0};
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = 2;
    image.height = 1;
    image.format = PNG_FORMAT_RGBA;
    png_alloc_size_t size = 0;
    ASSERT_TRUE(png_image_write_get_memory_size(image, size, 0, rgba, 0, nullptr));
    std::vector<uint8_t> png(size);
    ASSERT_TRUE(png_image_write_to_memory(&image, png.data(), &size, 0, rgba, 0, nullptr));
    const std::vector<uint8_t> dib = zro::PngToDib(png);
    ASSERT_EQ(dib.size(), 40u + 8u);
    EXPECT_EQ(dib[14], 24);
    const std::vector<uint8_t> pixels(dib.begin() + 40, dib.begin() + 46);
    EXPECT_EQ(pixels, (std::vector<uint8_t>{0, 0, 255, 255, 255, 255}));
}

struct ForeignOpml {
    const char* writer;
    const char* text;
    // indent, text, note, checked, expanded per item
    std::vector<std::tuple<uint32_t, std::string, std::string, bool, bool>> items;
    std::string title;
};

TEST(OpmlImport, OpmlFromOtherOutlinersReadsIntoTheRightTree) {
    const ForeignOpml cases[] = {
        {"notes and status as attributes",
         R"(<?xml version="1.0"?><opml version="2.0"><head><title>Groceries</title></head><body>
              <outline text="Fruit" _note="fresh&#10;local">
                <outline text="Apples" _status="checked"/>
                <outline text="Pears"/>
              </outline>
              <outline text="Bread"/></body></opml>)",
         {{0, "Fruit", "fresh\nlocal", false, true}, {1, "Apples", "", true, true}, {1, "Pears", "", false, true},
          {0, "Bread", "", false, true}},
         "Groceries"},
        {"_complete and collapsed",
         R"(<opml version="2.0"><head/><body><outline text="A" collapsed="true" _complete="true">
              <outline text="B" _complete="false"/></outline></body></opml>)",
         {{0, "A", "", true, false}, {1, "B", "", false, true}},
         "Untitled"},
        {"complete, expansionState and things it does not know",
         R"(<opml version="1.0"><head><title>T</title><expansionState>1,3</expansionState><ownerName>x</ownerName></head>
              <body><outline text="one" type="link" url="http://example.invalid/">
                <outline text="one.a"><outline text="one.a.i"/></outline>
                <outline text="one.b" complete="true"><outline text="one.b.i"/></outline>
              </outline><unknown><outline text="inside something else"/></unknown>
              <outline text="two"><outline text="two.a"/></outline></body></opml>)",
         {{0, "one", "", false, true},
          {1, "one.a", "", false, false},
          {2, "one.a.i", "", false, true},
          {1, "one.b", "", true, true},
          {2, "one.b.i", "", false, true},
          {0, "two", "", false, false},
          {1, "two.a", "", false, true}},
         "T"},
        {"a note with line breaks written as they are",
         "<opml version=\"2.0\"><body><outline _note=\"line 1\r\nline 2\" text=\"&lt;b&gt; &amp; caf\xC3\xA9\"/></body></opml>",
         {{0, "<b> & caf\xC3\xA9", "line 1\nline 2", false, true}},
         "Untitled"},
    };
    for (const ForeignOpml& c : cases) {
        SCOPED_TRACE(c.writer);
        const Outline outline = zro::FromOpml(c.text);
        EXPECT_EQ(outline.title, c.title);
        ASSERT_EQ(outline.items.size(), c.items.size());
        for (size_t i = 0; i < c.items.size(); ++i) {
            const auto& [indent, text, note, checked, expanded] = c.items[i];
            EXPECT_EQ(outline.items[i].indent, indent) << i;
            EXPECT_EQ(outline.items[i].text, text) << i;
            EXPECT_EQ(outline.items[i].note, note) << i;
            EXPECT_EQ(outline.items[i].checked, checked) << i;
            EXPECT_EQ(outline.items[i].expanded, expanded) << i;
        }
    }
}

TEST(OpmlImport, ExpansionStateCountsTheLinesShownAsItOpensThem) {
    Outline outline;
    for (auto [indent, expanded] : std::vector<std::pair<uint32_t, bool>>{
             {0, false}, {1, true}, {2, true}, {0, true}, {1, false}, {2, true}, {0, true}}) {
        outline.items.push_back(MakeItem(0, indent, "x"));
        outline.items.back().expanded = expanded;
    }
    outline.items.back().expanded = true;  // a leaf
    std::string opml = zro::ToOpml(outline);
    // Without the tool's own attributes only OPML's own say remains.
    for (const std::string attribute : {" zr:expanded=\"true\"", " zr:expanded=\"false\"", " collapsed=\"true\""}) {
        for (size_t at; (at = opml.find(attribute)) != std::string::npos;) opml.erase(at, attribute.size());
    }
    const Outline read = zro::FromOpml(opml);
    ASSERT_EQ(read.items.size(), outline.items.size());
    for (size_t i = 0; i < read.items.size(); ++i) {
        // An open item inside a closed one has no line shown to name it by:
        // it reads back closed. Leaves read as open.
        const bool hidden = i == 1;
        EXPECT_EQ(read.items[i].expanded, hidden ? false : outline.items[i].expanded) << i;
    }
}

TEST(Damaged, EveryReaderRefusesDamagedInputWithAMessage) {
    std::string deep = "<opml><body>";
    for (int i = 0; i < 300; ++i) deep += "<outline text=\"x\">";
    for (int i = 0; i < 300; ++i) deep += "</outline>";
    deep += "</body></opml>";
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"OPML cut short", [] { zro::FromOpml("<opml><body><outline text=\"a\">"); }},
        {"XML that is not OPML", [] { zro::FromOpml("<html><body/></html>"); }},
        {"OPML without a body", [] { zro::FromOpml("<opml version=\"2.0\"><head/></opml>"); }},
        {"OPML nested too deep", [&] { zro::FromOpml(deep); }},
        {"OPML id not a number", [] { zro::FromOpml("<opml><body><outline zr:id=\"x1\"/></body></opml>"); }},
        {"OPML id out of range", [] { zro::FromOpml("<opml><body><outline zr:id=\"4294967296\"/></body></opml>"); }},
        {"OPML drawing not Base64", [] { zro::FromOpml("<opml><body><outline zr:drawing=\"@@\"/></body></opml>"); }},
        {"OPML drawing not PNG", [] { zro::FromOpml("<opml><body><outline zr:drawing=\"aGVsbG8=\"/></body></opml>"); }},
        {"OPML numbering short", [] { zro::FromOpml("<opml><head><zr:document numbering=\"0102\"/></head><body/></opml>"); }},
        {"JSON cut short", [] { zro::FromJson("{\"items\": ["); }},
        {"JSON without items", [] { zro::FromJson("{\"title\": \"x\"}"); }},
        {"JSON with a list at the top", [] { zro::FromJson("[]"); }},
        {"JSON number beyond a double", [] { zro::FromJson("4444e444"); }},
        {"JSON deleted id beyond the integers", [] { zro::FromJson(R"({"items": [], "deletedIds": [2e101]})"); }},
        {"JSON numbering byte out of range", [] { zro::FromJson(R"({"items": [], "numbering": [1,2,3,4,5,6,7,8,9,300]})"); }},
        {"JSON indent as text", [] { zro::FromJson(R"({"items": [{"indent": "deep"}]})"); }},
        {"JSON indent out of range", [] { zro::FromJson(R"({"items": [{"id": -1}]})"); }},
        {"JSON font of height 0", [] { zro::FromJson(R"({"items": [], "font": {"height": 0}})"); }},
        {"JSON drawing not PNG", [] { zro::FromJson(R"({"items": [{"drawing": {"png": "aGVsbG8="}}]})"); }},
        {"Markdown image missing",
         [] { zro::FromMarkdown("- [ ] a\n\n  ![](gone.png)\n", [](const std::string&) -> std::vector<uint8_t> {
                  throw std::runtime_error("no such file");
              }); }},
        {"PNG cut short", [] { zro::PngToDib(std::vector<uint8_t>{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0}); }},
        {"PNG claiming 100000 x 100000 pixels",
         [] {
             std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
             for (uint32_t side : {100000u, 100000u}) {
                 for (int shift = 24; shift >= 0; shift -= 8) png.push_back(static_cast<uint8_t>(side >> shift));
             }
             png.insert(png.end(), {8, 2, 0, 0, 0});
             const uLong crc = crc32(crc32(0, nullptr, 0), png.data() + 12, 17);
             for (int shift = 24; shift >= 0; shift -= 8) png.push_back(static_cast<uint8_t>(crc >> shift));
             zro::PngToDib(png);
         }},
        {"a DIB that is not whole", [] { zro::DibToPng(std::vector<uint8_t>(20, 1)); }},
    };
    for (const auto& [name, read] : cases) {
        SCOPED_TRACE(name);
        try {
            read();
            ADD_FAILURE() << "accepted";
        } catch (const std::runtime_error& e) {
            EXPECT_GT(std::string(e.what()).size(), 5u);
        }
    }
}

TEST(Base64, BytesComeBackAndNonsenseIsRefused) {
    for (size_t length = 0; length < 7; ++length) {
        std::vector<uint8_t> bytes;
        for (size_t i = 0; i < length; ++i) bytes.push_back(static_cast<uint8_t>(0xF0 + i * 3));
        EXPECT_EQ(zro::FromBase64(zro::ToBase64(bytes)), bytes) << length;
    }
    EXPECT_EQ(zro::ToBase64(std::vector<uint8_t>{'M', 'a'}), "TWE=");
    for (const char* bad : {"TWE=x", "T", "TW!=", "TWE==="}) EXPECT_FALSE(zro::FromBase64(bad)) << bad;
}

TEST_F(FormatsTest, AttachingADrawingChangesOnlyThatItem) {
    Outline expected = document_;
    const std::vector<uint8_t> picture = MakeDib(5, 4, 24, false);
    zro::AttachDrawing(path_, 2, picture);
    const Outline after = zro::Load(path_);
    ASSERT_EQ(after.items.size(), expected.items.size());
    EXPECT_EQ(after.items[2].drawingWidth, 5);
    EXPECT_EQ(zro::DibToPng(after.items[2].drawing), zro::DibToPng(picture));
    expected.items[2] = after.items[2];
    EXPECT_EQ(after, expected);
    // Nothing is left beside the document.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()), {}), 1);
}

TEST_F(FormatsTest, AFailedReplacementLeavesTheOldFileAndNothingBeside) {
    std::ifstream before(path_, std::ios::binary);
    const std::string old((std::istreambuf_iterator<char>(before)), {});
    EXPECT_THROW(zro::AttachDrawing(path_, 9999, MakeDib(2, 2, 24, false)), std::runtime_error);
    EXPECT_THROW(zro::ReplaceFile(path_, [](const std::string& sibling) {
                     std::ofstream(sibling) << "half";
                     throw std::runtime_error("disk full");
                 }),
                 std::runtime_error);
    std::ifstream after(path_, std::ios::binary);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(after)), {}), old);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()), {}), 1);
}

// A new document goes into its sibling without a journal of its own: a
// write failing anywhere leaves the old document and nothing beside it.
TEST_F(FormatsTest, SavingOverADocumentFailingAtAnyWriteKeepsTheOldOne) {
    std::ifstream before(path_, std::ios::binary);
    const std::string old((std::istreambuf_iterator<char>(before)), {});
    Outline changed = document_;
    changed.items.pop_back();
    changed.title = "Changed";
    for (uint32_t n = 1;; ++n) {
        ASSERT_LT(n, 200u);
        platform::FaultInjector injector;
        bool saved = false;
        {
            platform::ScopedFaultInjector scope(injector);
            injector.FailNth(platform::FaultOp::Write, n, ERROR_DISK_FULL);
            try {
                zro::Save(changed, path_);
                saved = true;
            } catch (const std::runtime_error&) {
            }
        }
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()), {}), 1) << "write " << n;
        if (saved) {
            EXPECT_FALSE(injector.Fired(platform::FaultOp::Write));
            EXPECT_EQ(zro::Load(path_), changed);
            break;
        }
        std::ifstream after(path_, std::ios::binary);
        ASSERT_EQ(std::string((std::istreambuf_iterator<char>(after)), {}), old) << "write " << n;
    }
}

TEST_F(FormatsTest, ADamagedDrawingLeavesTheRestOfTheDocumentReadable) {
    {
        zr_gen::COutlineDB db;
        ASSERT_EQ(db.Open(platform::Utf8ToUtf16(path_).c_str(), zr_gen::CFile::kModeReadWrite), 1);
        db.ReadSharedHeader();
        db.ReadPrivateHeader();
        db.ReadRows();
        // A 24-bit 10 x 10 block whose compressed rows claim more bytes than it has.
        std::vector<uint8_t> block(18, 0);
        block[0] = 2;
        Put32(block, 1, 10);
        Put32(block, 5, 10);
        Put32(block, 9, 320);
        block[13] = 24;
        Put32(block, 14, 5000);
        bool changed = false;
        auto* record = static_cast<zr_gen::COutlineRecord*>(db.getRecord(0));
        ASSERT_EQ(record->getTaggedDataManager().setData(zr_gen::COutlineRecord::kDrawingTag, block.data(),
                                                         static_cast<uint32_t>(block.size()), &changed, 0),
                  0);
        db.WriteRows();
        db.Close();
    }
    const Outline read = zro::Load(path_);
    EXPECT_TRUE(read.items[0].drawing.empty());
    EXPECT_EQ(read.items[0].drawingWidth, 10);
    Outline expected = document_;
    expected.items[0] = read.items[0];
    EXPECT_EQ(read, expected);
}

TEST_F(FormatsTest, HtmlShowsEveryItemWithItsStateAndDrawings) {
    const std::string html = zro::ToHtml(document_);
    size_t checked = 0, closed = 0, images = 0;
    for (size_t at = 0; (at = html.find(" checked>", at)) != std::string::npos; ++at) ++checked;
    for (size_t at = 0; (at = html.find("<details><summary>", at)) != std::string::npos; ++at) ++closed;
    for (size_t at = 0; (at = html.find("src=\"data:image/png;base64,", at)) != std::string::npos; ++at) ++images;
    size_t expectChecked = 0, expectClosed = 0;
    for (size_t i = 0; i < document_.items.size(); ++i) {
        expectChecked += document_.items[i].checked;
        const bool parent = i + 1 < document_.items.size() && document_.items[i + 1].indent > document_.items[i].indent;
        expectClosed += parent && !document_.items[i].expanded;
    }
    EXPECT_EQ(checked, expectChecked);
    EXPECT_EQ(closed, expectClosed);
    EXPECT_EQ(images, 7u);
    EXPECT_NE(html.find("Pack &amp; go &lt;now&gt;"), std::string::npos);
}

}  // namespace
