// The outline as one self-contained HTML page: nested lists in which an
// item with children is a <details> element, open when the document shows
// its children; a read-only checkbox per item; notes with their line
// breaks; drawings embedded as PNG data URIs. Nothing is loaded from
// elsewhere.
#pragma once

#include <string>

#include "tools/zro/Outline.h"

namespace zro {

std::string ToHtml(const Outline& outline);

}  // namespace zro
