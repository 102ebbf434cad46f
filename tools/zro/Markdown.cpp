#include "tools/zro/Markdown.h"

#include <md4c.h>

#include <cstring>

#include "tools/zro/Png.h"

namespace zro {

namespace {

constexpr size_t kLevelWidth = 2;
constexpr uint32_t kMaxLevel = 255;

bool IsAsciiPunctuation(char c) { return c > 0x20 && c < 0x7F && std::ispunct(static_cast<unsigned char>(c)); }

// One line of text as inline Markdown that reads back as exactly that text.
std::string EscapeLine(std::string_view line) {
    const size_t first = line.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        std::string spaces;
        for (size_t i = 0; i < line.size(); ++i) spaces += "&#32;";
        return spaces;
    }
    const size_t last = line.find_last_not_of(' ');
    std::string out;
    for (size_t i = 0; i < first; ++i) out += "&#32;";
    for (size_t i = first; i <= last; ++i) {
        const char c = line[i];
        if (c == '\\') {
            out += "&#92;";
        } else if (c == '\t') {
            out += "&#9;";
        } else if (c == '\r') {
            out += "&#13;";
        } else {
            if (IsAsciiPunctuation(c)) out += '\\';
            out += c;
        }
    }
    for (size_t i = last + 1; i < line.size(); ++i) out += "&#32;";
    return out;
}

// Text of several lines as one paragraph: each line but the last ends in a
// hard break; continuation lines stand at `indent`.
std::string Paragraph(std::string_view text, const std::string& indent, bool firstIndented) {
    std::string out = firstIndented ? indent : "";
    for (size_t end; (end = text.find('\n')) != std::string_view::npos; text.remove_prefix(end + 1)) {
        out += EscapeLine(text.substr(0, end)) + "\\\n" + indent;
    }
    out += EscapeLine(text);
    return out + "\n";
}

// ---- reading ----

struct ListItem {
    size_t index = 0;     // into the outline's items
    size_t paragraphs = 0;  // paragraphs seen so far
    bool inParagraph = false;
    std::string note;     // what follows the first paragraph
    size_t noteBefore = 0;  // the note's size when the current paragraph began
    // Where the task mark stands in the source, to tell an empty text (the
    // first paragraph starts on a later line) from a text; SIZE_MAX when
    // the item has none.
    size_t taskMark = SIZE_MAX;
    bool textSeen = false;
};

struct Reader {
    Outline outline;
    std::string_view source;
    const std::function<std::vector<uint8_t>(const std::string&)>* loadImage = nullptr;
    uint32_t listDepth = 0;
    std::vector<ListItem> open;
    bool inTitle = false;
    bool haveTitle = false;
    std::string title;
    // The text being collected, and whether it ends in a backslash that
    // came from the source as is (a hard break at the paragraph's end).
    std::string* target = nullptr;
    bool markerPending = false;
    bool paragraphHasImage = false;
    bool paragraphHasText = false;
    std::string error;

    Item& Current() { return outline.items[open.back().index]; }

    void StartText(std::string* into) {
        target = into;
        markerPending = false;
    }

    // At a paragraph's end a backslash left at its end is an empty line.
    void EndText() {
        if (target != nullptr && markerPending) {
            target->back() = '\n';
        }
        target = nullptr;
        markerPending = false;
    }
};

int EnterBlock(MD_BLOCKTYPE type, void* detail, void* data) {
    auto& r = *static_cast<Reader*>(data);
    switch (type) {
        case MD_BLOCK_UL:
        case MD_BLOCK_OL:
            r.EndText();  // a sublist ends its parent's text
            ++r.listDepth;
            break;
        case MD_BLOCK_LI: {
            if (r.listDepth - 1 > kMaxLevel) {
                r.error = "lists nested deeper than " + std::to_string(kMaxLevel + 1) + " levels";
                return 1;
            }
            Item item;
            item.indent = r.listDepth - 1;
            const auto* li = static_cast<MD_BLOCK_LI_DETAIL*>(detail);
            item.checked = li->is_task && (li->task_mark == 'x' || li->task_mark == 'X');
            r.outline.items.push_back(std::move(item));
            ListItem open;
            open.index = r.outline.items.size() - 1;
            r.open.push_back(std::move(open));
            if (li->is_task) r.open.back().taskMark = li->task_mark_offset;
            r.StartText(&r.Current().text);  // a tight item's text comes without a paragraph
            break;
        }
        case MD_BLOCK_H:
            if (!r.haveTitle && r.open.empty() && static_cast<MD_BLOCK_H_DETAIL*>(detail)->level == 1) {
                r.inTitle = true;
                r.StartText(&r.title);
            }
            break;
        case MD_BLOCK_P:
            r.paragraphHasImage = false;
            r.paragraphHasText = false;
            if (!r.open.empty()) {
                ListItem& item = r.open.back();
                r.EndText();
                item.inParagraph = true;
                item.noteBefore = item.note.size();
                if (item.paragraphs == 0) {
                    r.StartText(&r.Current().text);
                } else {
                    if (!item.note.empty()) item.note += "\n\n";
                    r.StartText(&item.note);
                }
            }
            break;
        default:
            // Anything else inside an item (a quote, code) ends its text.
            if (!r.open.empty()) r.EndText();
            break;
    }
    return 0;
}

int LeaveBlock(MD_BLOCKTYPE type, void*, void* data) {
    auto& r = *static_cast<Reader*>(data);
    switch (type) {
        case MD_BLOCK_UL:
        case MD_BLOCK_OL:
            --r.listDepth;
            break;
        case MD_BLOCK_LI:
            r.EndText();
            r.Current().note = std::move(r.open.back().note);
            r.open.pop_back();
            break;
        case MD_BLOCK_H:
            if (r.inTitle) {
                r.EndText();
                r.inTitle = false;
                r.haveTitle = true;
                r.outline.title = r.title;
            }
            break;
        case MD_BLOCK_P:
            if (!r.open.empty()) {
                ListItem& item = r.open.back();
                r.EndText();
                item.inParagraph = false;
                // A paragraph of nothing but an image is the drawing, not note.
                if (r.paragraphHasImage && !r.paragraphHasText) {
                    item.note.resize(item.noteBefore);
                } else {
                    ++item.paragraphs;
                }
            }
            break;
        default:
            break;
    }
    return 0;
}

int EnterSpan(MD_SPANTYPE type, void* detail, void* data) {
    auto& r = *static_cast<Reader*>(data);
    if (type != MD_SPAN_IMG || r.open.empty()) return 0;
    r.paragraphHasImage = true;
    const MD_ATTRIBUTE& src = static_cast<MD_SPAN_IMG_DETAIL*>(detail)->src;
    const std::string link(src.text, src.size);
    if (link.find("://") != std::string::npos) return 0;  // not a file beside the text
    try {
        SetItemDrawing(r.Current(), PngToDib((*r.loadImage)(link)));
    } catch (const std::exception& e) {
        r.error = "image " + link + ": " + e.what();
        return 1;
    }
    // The image's alternative text is no part of the item.
    r.target = nullptr;
    return 0;
}

int LeaveSpan(MD_SPANTYPE type, void*, void* data) {
    auto& r = *static_cast<Reader*>(data);
    if (type == MD_SPAN_IMG && !r.open.empty() && r.open.back().inParagraph) {
        r.target = nullptr;  // whatever follows the image in its paragraph is dropped
    }
    return 0;
}

// A numeric character reference, or one of the few named ones other
// programs write; as UTF-8.
std::string Entity(std::string_view entity) {
    if (entity == "&amp;") return "&";
    if (entity == "&lt;") return "<";
    if (entity == "&gt;") return ">";
    if (entity == "&quot;") return "\"";
    if (entity == "&nbsp;") return "\xC2\xA0";
    if (entity.size() < 4 || entity[1] != '#') return std::string(entity);
    const bool hex = entity[2] == 'x' || entity[2] == 'X';
    uint32_t code = 0;
    for (char c : entity.substr(hex ? 3 : 2, entity.size() - (hex ? 4 : 3))) {
        const int digit = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                          : hex && std::isxdigit(static_cast<unsigned char>(c)) ? (std::tolower(c) - 'a' + 10)
                                                                                : -1;
        if (digit < 0 || code > 0x10FFFF) return "\xEF\xBF\xBD";
        code = code * (hex ? 16 : 10) + static_cast<uint32_t>(digit);
    }
    if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return "\xEF\xBF\xBD";
    std::string out;
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | code >> 6);
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | code >> 12);
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | code >> 18);
        out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
    return out;
}

int Text(MD_TEXTTYPE type, const MD_CHAR* text, MD_SIZE size, void* data) {
    auto& r = *static_cast<Reader*>(data);
    if (r.target == nullptr) return 0;
    r.paragraphHasText = true;
    const std::string_view value(text, size);
    if (!r.open.empty() && r.target == &r.Current().text && !r.open.back().textSeen) {
        ListItem& item = r.open.back();
        item.textSeen = true;
        // A first paragraph that starts below the task mark's line is the
        // note of an item whose text is empty.
        // (Entities and breaks may come from elsewhere than the source.)
        const auto base = reinterpret_cast<uintptr_t>(r.source.data());
        const auto at = reinterpret_cast<uintptr_t>(text) - base;
        if (item.taskMark != SIZE_MAX && reinterpret_cast<uintptr_t>(text) >= base && at <= r.source.size() &&
            at > item.taskMark && r.source.substr(item.taskMark, at - item.taskMark).find('\n') != std::string_view::npos) {
            ++item.paragraphs;
            item.noteBefore = item.note.size();
            r.target = &item.note;
        }
    }
    bool marker = false;
    switch (type) {
        case MD_TEXT_BR:
        case MD_TEXT_SOFTBR:
            *r.target += '\n';
            break;
        case MD_TEXT_ENTITY:
            *r.target += Entity(value);
            break;
        case MD_TEXT_NULLCHAR:
            *r.target += "\xEF\xBF\xBD";
            break;
        default:
            *r.target += value;
            marker = value.ends_with('\\');
            break;
    }
    r.markerPending = marker;
    return 0;
}

}  // namespace

MarkdownExport ToMarkdown(const Outline& outline, const std::string& imageFolder) {
    MarkdownExport result;
    std::string& out = result.text;
    out += "# ";
    out += EscapeLine(outline.title);
    out += "\n\n";
    for (size_t i = 0; i < outline.items.size(); ++i) {
        const Item& item = outline.items[i];
        const std::string indent(item.indent * kLevelWidth, ' ');
        const std::string inner = indent + std::string(kLevelWidth, ' ');
        out += indent;
        out += item.checked ? "- [x] " : "- [ ] ";
        out += Paragraph(item.text, inner, false);
        if (!item.note.empty()) {
            out += '\n';
            out += Paragraph(item.note, inner, true);
        }
        if (!item.drawing.empty()) {
            MarkdownImage image{"item-" + std::to_string(i) + ".png", DibToPng(item.drawing)};
            out += '\n';
            out += inner;
            out += "![](" + imageFolder + "/" + image.name + ")\n";
            result.images.push_back(std::move(image));
        }
        // A blank line after an item with a note keeps the next item's
        // marker from continuing the paragraph.
        if (!item.note.empty() || !item.drawing.empty()) out += "\n";
    }
    return result;
}

Outline FromMarkdown(std::string_view text, const std::function<std::vector<uint8_t>(const std::string&)>& loadImage) {
    if (text.size() > UINT32_MAX) throw MarkdownError("the text is too long");
    // md4c scans parts of its input with C string functions: it gets a copy
    // that ends in a NUL.
    const std::string source(text);
    Reader reader;
    reader.loadImage = &loadImage;
    reader.source = source;
    MD_PARSER parser{};
    parser.flags = MD_FLAG_TASKLISTS | MD_FLAG_NOHTML;
    parser.enter_block = EnterBlock;
    parser.leave_block = LeaveBlock;
    parser.enter_span = EnterSpan;
    parser.leave_span = LeaveSpan;
    parser.text = Text;
    const int status = md_parse(source.data(), static_cast<MD_SIZE>(source.size()), &parser, &reader);
    if (!reader.error.empty()) throw MarkdownError(reader.error);
    if (status != 0) throw MarkdownError("the Markdown parser gave up (out of memory?)");
    return std::move(reader.outline);
}

}  // namespace zro
