// The outline as OPML 2.0, the exchange format of outliners.
//
// What other outliners read: the title and the window's normal rectangle in
// the head (with expansionState), and one <outline> per item, nested by
// level, with `text`, the note in `_note`, `_status="checked"` for a checked
// item. Everything else the document holds lives in attributes and head
// elements of the namespace kOpmlNamespace (prefix "zr"): the item's id,
// expansion and drawing (PNG, Base64), and in the head <zr:document> (the
// category, the header fields, the deleted ids), <zr:window> (the whole
// window placement) and <zr:font>; and the stored form beyond those fields
// (StoredForm.h): <zr:header> per entry of the header table and `zr:tags`
// on an item, so a document exported and imported again is the same file.
//
// The import reads any well-formed OPML with nested outlines, ignoring what
// it does not know, and the variants other outliners write for checked
// (`_complete`, `complete`) and collapsed (`collapsed`, head
// `expansionState`) items.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "tools/zro/Outline.h"

namespace zro {

inline constexpr char kOpmlNamespace[] = "urn:notestore:outline:1";

struct OpmlError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::string ToOpml(const Outline& outline);
// Raises OpmlError naming what is wrong.
Outline FromOpml(std::string_view text);

}  // namespace zro
