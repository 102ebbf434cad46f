// The outline as Markdown: a "# title" heading, then nested lists with GFM
// task items ("- [ ] ", "- [x] "), two spaces per level. A note is a
// paragraph inside its item; its lines end in a backslash (a hard line
// break), an empty last line leaves that backslash at the paragraph's end,
// and blanks at either end of a line are written as "&#32;" so that they
// survive. A drawing is an image paragraph, "![](folder/item-N.png)",
// after the note. Every ASCII punctuation character of a text is escaped
// (a backslash as "&#92;"), so no text reads as markup.
//
// The import takes the same form, or any Markdown with lists: every list
// item becomes an item at its list's depth, the first paragraph its text,
// the others its note; the first level-one heading is the title.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "tools/zro/Outline.h"

namespace zro {

struct MarkdownError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct MarkdownImage {
    std::string name;  // the file name inside the image folder
    std::vector<uint8_t> png;
};

struct MarkdownExport {
    std::string text;
    std::vector<MarkdownImage> images;
};

// The images are linked as `imageFolder`/name.
MarkdownExport ToMarkdown(const Outline& outline, const std::string& imageFolder);
// `loadImage` gives the bytes of an image the text links to (the link as
// written); it raises when there are none.
Outline FromMarkdown(std::string_view text, const std::function<std::vector<uint8_t>(const std::string&)>& loadImage);

}  // namespace zro
