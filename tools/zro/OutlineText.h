// The outline as plain text, one item a line, which `zro show` prints and
// `zro import` reads:
//
//   Title: Trip
//   Category: Travel
//
//   - [ ] Pack
//     - [x] Passport
//         > in the blue bag
//     + [ ] Books            ("+": collapsed)
//         [drawing 240x320]  (shown only; drawings are not imported)
//
// Two spaces per level; notes and drawings stand four spaces deeper than
// their item, each note line behind "> ".
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "tools/zro/Outline.h"

namespace zro {

struct TextError : std::runtime_error {
    TextError(size_t line, const std::string& what)
        : std::runtime_error("line " + std::to_string(line) + ": " + what), line(line) {}
    size_t line;
};

std::string ToText(const Outline& outline);
// The same form in parts, for writing it item by item: the title and
// category lines, then each item's lines.
void AppendHeaderText(std::string& out, const Outline& outline);
void AppendItemText(std::string& out, const Item& item);
// The document at `path` in this form, written item by item as it is read
// (ReadItems), so that the document is never held whole, only its text.
// Errors as Load.
std::string DocumentText(const std::string& path);
// Raises TextError for a line it cannot read.
Outline FromText(std::string_view text);

}  // namespace zro
