// The outline as a JSON document that carries every stored field: the
// export writes it, the import reads it back into the same outline.
//
//   { "title", "category", "private", "synchronized", "outlineChanged",
//     "matchName", "numberingDivider", "showCheckedItems", "selectedIndex",
//     "topIndex", "showHeadingsMode", "numbering": [10 bytes],
//     "window": { flags, showCmd, minX, minY, maxX, maxY, left, top, right, bottom },
//     "font": null or { face, height, width, escapement, orientation, weight, italic,
//               underline, strikeOut, charSet, outPrecision, clipPrecision,
//               quality, pitchAndFamily, color },
//     "items": [ { id, indent, text, note, checked, expanded,
//                  "drawing": { width, height, png (Base64) },
//                  "tags": [ TAG ] } ],
//     "deletedIds": [ ... ],
//     "headers": [ { id, size, "slot": Base64 } or { id, size, "tags": [ TAG ] } ] }
//
// where TAG is { id, version, flags, "data": Base64 } (no "data": the
// plain values make the bytes) or { id, "absent": true }: the stored form
// beyond the plain values (see StoredForm.h), present only where there is
// some.
//
// An import takes any member as missing and gives it its default, except
// "items".
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "tools/zro/Outline.h"

namespace zro {

struct JsonError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::string ToJson(const Outline& outline);
// Raises JsonError naming what is wrong.
Outline FromJson(std::string_view text);

}  // namespace zro
