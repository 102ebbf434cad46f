#include "tools/zro/OutlineText.h"

namespace zro {

namespace {

constexpr std::string_view kTitle = "Title: ";
constexpr std::string_view kCategory = "Category: ";
constexpr std::string_view kNote = "> ";
constexpr size_t kLevelWidth = 2;
constexpr size_t kDetailDepth = 4;

// Appends a value that must stay on its line: line breaks become blanks.
void AppendOneLine(std::string& out, std::string_view value) {
    const size_t at = out.size();
    out += value;
    // Most values hold no line break: two scans for them cost less than
    // looking at every byte.
    if (value.find('\n') == std::string_view::npos && value.find('\r') == std::string_view::npos) return;
    for (size_t i = at; i < out.size(); ++i) {
        if (out[i] == '\n' || out[i] == '\r') out[i] = ' ';
    }
}

// The text's lines, without their line ends; a return inside a line is a
// blank, as the printed form would show it.
std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        AppendOneLine(lines.emplace_back(), line);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return lines;
}
}  // namespace

void AppendHeaderText(std::string& out, const Outline& outline) {
    out += kTitle;
    AppendOneLine(out, outline.title);
    out += '\n';
    out += kCategory;
    AppendOneLine(out, outline.category);
    out += "\n\n";
}

void AppendItemText(std::string& out, const Item& item) {
    const size_t indent = item.indent * kLevelWidth;
    out.append(indent, ' ');
    out += item.expanded ? "- " : "+ ";
    out += item.checked ? "[x] " : "[ ] ";
    AppendOneLine(out, item.text);
    out += '\n';
    const auto detail = [&] { out.append(indent + kDetailDepth, ' '); };
    if (!item.note.empty()) {
        // Every line of the note, empty ones at either end included.
        std::string_view note = item.note;
        for (;;) {
            const size_t end = note.find('\n');
            detail();
            out += kNote;
            out += note.substr(0, end);
            out += '\n';
            if (end == std::string_view::npos) break;
            note.remove_prefix(end + 1);
        }
    }
    if (item.drawingWidth != 0 || item.drawingHeight != 0) {
        detail();
        out += "[drawing " + std::to_string(item.drawingWidth) + "x" + std::to_string(item.drawingHeight) + "]\n";
    }
}

std::string ToText(const Outline& outline) {
    std::string out;
    AppendHeaderText(out, outline);
    for (const Item& item : outline.items) AppendItemText(out, item);
    return out;
}

std::string DocumentText(const std::string& path) {
    std::string out;
    ReadItems(
        path, false, [&](const Outline& headers) { AppendHeaderText(out, headers); },
        [&](const Item& item) { AppendItemText(out, item); });
    return out;
}

Outline FromText(std::string_view text) {
    Outline outline;
    const std::vector<std::string> lines = SplitLines(text);
    bool noteOpen = false;  // the last item's note has a line already
    for (size_t number = 1; number <= lines.size(); ++number) {
        std::string_view line = lines[number - 1];
        if (line.find('\t') != std::string_view::npos) throw TextError(number, "tabs are not indentation; use spaces");
        const size_t spaces = line.find_first_not_of(' ');
        if (spaces == std::string_view::npos) continue;  // blank
        line.remove_prefix(spaces);
        if (spaces == 0 && line.starts_with(kTitle)) {
            outline.title = line.substr(kTitle.size());
            continue;
        }
        if (spaces == 0 && line.starts_with(kCategory)) {
            outline.category = line.substr(kCategory.size());
            continue;
        }
        if (line.starts_with(kNote) || line == ">" || line.starts_with("[drawing ")) {
            if (outline.items.empty()) throw TextError(number, "a note or drawing before the first item");
            Item& owner = outline.items.back();
            if (spaces != owner.indent * kLevelWidth + kDetailDepth) {
                throw TextError(number, "a note belongs " + std::to_string(kDetailDepth) + " spaces deeper than its item");
            }
            if (line.starts_with("[drawing ")) continue;  // drawings are shown, not imported
            if (noteOpen) owner.note += "\n";
            owner.note += line.size() > kNote.size() ? line.substr(kNote.size()) : std::string_view();
            noteOpen = true;
            continue;
        }
        if (!(line.starts_with("- ") || line.starts_with("+ ") || line == "-" || line == "+")) {
            throw TextError(number, "an item starts with \"- \" (or \"+ \" when collapsed)");
        }
        if (spaces % kLevelWidth != 0) throw TextError(number, "indentation is two spaces per level");
        Item item;
        item.indent = static_cast<uint32_t>(spaces / kLevelWidth);
        if (item.indent > 255) throw TextError(number, "more than 255 levels");
        const uint32_t parentLimit = outline.items.empty() ? 0 : outline.items.back().indent + 1;
        if (item.indent > parentLimit) throw TextError(number, "an item is at most one level below the one before");
        item.expanded = line[0] == '-';
        std::string_view rest = line.size() > 2 ? line.substr(2) : std::string_view();
        if (rest.starts_with("[x] ") || rest.starts_with("[X] ") || rest == "[x]" || rest == "[X]") {
            item.checked = true;
            rest.remove_prefix(std::min<size_t>(rest.size(), 4));
        } else if (rest.starts_with("[ ] ") || rest == "[ ]") {
            rest.remove_prefix(std::min<size_t>(rest.size(), 4));
        }
        item.text = rest;
        outline.items.push_back(std::move(item));
        noteOpen = false;
    }
    return outline;
}

}  // namespace zro
