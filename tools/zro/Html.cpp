#include "tools/zro/Html.h"

#include "tools/zro/Base64.h"
#include "tools/zro/Png.h"

namespace zro {

namespace {

std::string Escape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

constexpr std::string_view kStyle = R"(body{font-family:sans-serif;margin:1.5em}
ul.outline,ul.outline ul{list-style:none;padding-left:1.4em;margin:0}
ul.outline>li{margin-left:-1.4em}
summary,.item{cursor:default;padding:.1em 0}
li:not(:has(>details))>.item{padding-left:1.1em}
.note{display:block;white-space:pre-wrap;color:#555;margin:.1em 0 .2em 1.6em}
.drawing{display:block;margin:.2em 0 .2em 1.6em;image-rendering:pixelated}
input{margin-right:.4em;accent-color:#2a7;pointer-events:none})";

// An item's own line: checkbox, text, note and drawing.
void ItemLine(std::string& out, const Item& item) {
    // Read-only without "disabled", which would grey the tick out.
    out += "<input type=\"checkbox\" onclick=\"return false\"";
    if (item.checked) out += " checked";
    out += "><span class=\"text\">" + Escape(item.text) + "</span>";
    if (!item.note.empty()) out += "<span class=\"note\">" + Escape(item.note) + "</span>";
    if (!item.drawing.empty()) {
        out += "<img class=\"drawing\" alt=\"drawing\" width=\"" + std::to_string(item.drawingWidth) + "\" src=\"data:image/png;base64," +
               ToBase64(DibToPng(item.drawing)) + "\">";
    }
}

}  // namespace

std::string ToHtml(const Outline& outline) {
    std::string out = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + Escape(outline.title) +
                      "</title><style>" + std::string(kStyle) + "</style></head>\n<body><h1>" + Escape(outline.title) +
                      "</h1>\n<ul class=\"outline\">\n";
    // The lists and items open so far: one entry per level, true when the
    // item at that level holds a <details>.
    std::vector<bool> open;
    const auto& items = outline.items;
    for (size_t i = 0; i < items.size(); ++i) {
        const Item& item = items[i];
        const size_t depth = std::min<size_t>(item.indent, open.size());
        while (open.size() > depth) {
            out += open.back() ? "</ul></details></li>\n" : "</li>\n";
            open.pop_back();
        }
        const bool parent = i + 1 < items.size() && items[i + 1].indent > item.indent;
        out += "<li>";
        if (parent) {
            out += item.expanded ? "<details open><summary>" : "<details><summary>";
            ItemLine(out, item);
            out += "</summary><ul>\n";
        } else {
            out += "<div class=\"item\">";
            ItemLine(out, item);
            out += "</div>";
        }
        open.push_back(parent);
    }
    while (!open.empty()) {
        out += open.back() ? "</ul></details></li>\n" : "</li>\n";
        open.pop_back();
    }
    out += "</ul>\n</body></html>\n";
    return out;
}

}  // namespace zro
