#include "tools/zro/Opml.h"

#include <pugixml.hpp>

#include <algorithm>
#include <charconv>
#include <sstream>

#include "tools/zro/Base64.h"
#include "tools/zro/OutlineFields.h"
#include "tools/zro/Png.h"
#include "tools/zro/StoredForm.h"

namespace zro {

namespace {

constexpr uint32_t kMaxLevel = 255;

// Attribute values are written with their line breaks as character
// references and read without whitespace normalisation, so that notes keep
// every break and blank.
constexpr unsigned kParseOptions = pugi::parse_cdata | pugi::parse_escapes;

std::string Hex(std::span<const uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (uint8_t b : bytes) {
        out += kDigits[b >> 4];
        out += kDigits[b & 15];
    }
    return out;
}

bool FromHex(std::string_view text, std::span<uint8_t> bytes) {
    if (text.size() != bytes.size() * 2) return false;
    for (size_t i = 0; i < bytes.size(); ++i) {
        unsigned value = 0;
        const auto [end, error] = std::from_chars(text.data() + 2 * i, text.data() + 2 * i + 2, value, 16);
        if (error != std::errc() || end != text.data() + 2 * i + 2) return false;
        bytes[i] = static_cast<uint8_t>(value);
    }
    return true;
}

template <class T>
void SetNumber(pugi::xml_node node, const char* name, T value) {
    node.append_attribute(name) = std::to_string(value).c_str();
}

// XML 1.0 cannot carry most control characters, nor U+FFFE and U+FFFF, not
// even as character references. A text holding one is written without them
// (what other outliners see) and whole, as Base64 UTF-8, in the companion
// attribute "zr:NAME64" (NAME without "_" or "zr:"), which import prefers.
bool XmlCanCarry(char c, std::string_view rest) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20) return c == '\t' || c == '\n' || c == '\r';
    return !(byte == 0xEF && rest.size() >= 2 && rest[0] == '\xBF' && (rest[1] == '\xBE' || rest[1] == '\xBF'));
}

std::string CompanionName(std::string_view name) {
    if (name.starts_with("zr:")) name.remove_prefix(3);
    if (name.starts_with("_")) name.remove_prefix(1);
    return "zr:" + std::string(name) + "64";
}

// The text XML can carry; adds the companion to `holder` when that is not
// all of `value`.
std::string Carried(pugi::xml_node holder, std::string_view name, const std::string& value) {
    std::string carried;
    for (size_t i = 0; i < value.size(); ++i) {
        if (XmlCanCarry(value[i], std::string_view(value).substr(i + 1))) {
            carried += value[i];
        } else if (value[i] == '\xEF') {
            i += 2;  // all of U+FFFE or U+FFFF
        }
    }
    if (carried.size() != value.size()) {
        holder.append_attribute(CompanionName(name).c_str()) =
            ToBase64({reinterpret_cast<const uint8_t*>(value.data()), value.size()}).c_str();
    }
    return carried;
}

// The companion's text when there is one, else `plain`.
std::string Uncarried(pugi::xml_node holder, std::string_view name, std::string plain) {
    const pugi::xml_attribute companion = holder.attribute(CompanionName(name).c_str());
    if (!companion) return plain;
    const auto bytes = FromBase64(companion.value());
    if (!bytes) throw OpmlError(std::string("<") + holder.name() + "> " + companion.name() + " is not Base64 text");
    return std::string(bytes->begin(), bytes->end());
}

void WriteValue(pugi::xml_node node, const char* name, const std::string& value) {
    node.append_attribute(name) = Carried(node, name, value).c_str();
}
void WriteValue(pugi::xml_node node, const char* name, bool value) { node.append_attribute(name) = value; }
template <class T>
void WriteValue(pugi::xml_node node, const char* name, T value) {
    SetNumber(node, name, value);
}

// The attribute as a number of T's range; absent: `value` stays.
template <class T>
void ReadValue(pugi::xml_node node, const char* name, T& value) {
    const pugi::xml_attribute attribute = node.attribute(name);
    if (!attribute) return;
    const std::string_view text = attribute.value();
    T parsed{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (error != std::errc() || end != text.data() + text.size()) {
        throw OpmlError(std::string("<") + node.name() + "> " + name + "=\"" + std::string(text) + "\" is not a number in range");
    }
    value = parsed;
}

void ReadValue(pugi::xml_node node, const char* name, bool& value) {
    if (const pugi::xml_attribute attribute = node.attribute(name)) value = attribute.as_bool();
}

void ReadValue(pugi::xml_node node, const char* name, std::string& value) {
    if (const pugi::xml_attribute attribute = node.attribute(name)) value = Uncarried(node, name, attribute.value());
}

// A tag list as one attribute: entries separated by blanks, each
// "ID:VERSION:FLAGS" (the plain values make the bytes), "ID:VERSION:FLAGS:"
// followed by the Base64 bytes, or "-ID" (no such tag), numbers in decimal.
std::string TagList(const std::vector<TagOverride>& tags) {
    std::string list;
    for (const TagOverride& tag : tags) {
        if (!list.empty()) list += ' ';
        if (tag.absent) {
            list += '-' + std::to_string(tag.id);
            continue;
        }
        list += std::to_string(tag.id) + ':' + std::to_string(tag.version) + ':' + std::to_string(tag.flags);
        if (tag.data) list += ':' + ToBase64(*tag.data);
    }
    return list;
}

[[noreturn]] void BadTagEntry(const std::string& where, std::string_view entry) {
    throw OpmlError(where + ": the tag entry \"" + std::string(entry) + "\" is not ID:VERSION:FLAGS[:BASE64] or -ID");
}

template <class T>
T ListNumber(std::string_view text, const std::string& where, std::string_view entry) {
    T value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) BadTagEntry(where, entry);
    return value;
}

// The tag list of `where` (an element, for messages).
std::vector<TagOverride> ReadTagList(std::string_view list, const std::string& where) {
    std::vector<TagOverride> tags;
    std::istringstream entries{std::string(list)};
    for (std::string entry; entries >> entry;) {
        TagOverride tag;
        std::string_view rest = entry;
        if (rest.starts_with('-')) {
            tag.id = ListNumber<uint32_t>(rest.substr(1), where, entry);
            tag.absent = true;
            tags.push_back(tag);
            continue;
        }
        const size_t first = rest.find(':');
        const size_t second = first == std::string_view::npos ? first : rest.find(':', first + 1);
        if (second == std::string_view::npos) BadTagEntry(where, entry);
        const size_t third = rest.find(':', second + 1);  // the bytes follow it
        tag.id = ListNumber<uint32_t>(rest.substr(0, first), where, entry);
        tag.version = ListNumber<uint8_t>(rest.substr(first + 1, second - first - 1), where, entry);
        tag.flags = ListNumber<uint32_t>(
            rest.substr(second + 1, third == std::string_view::npos ? third : third - second - 1), where, entry);
        if (third != std::string_view::npos) {
            tag.data = FromBase64(rest.substr(third + 1));
            if (!tag.data) throw OpmlError(where + ": tag " + std::to_string(tag.id) + "'s bytes are not Base64");
        }
        tags.push_back(std::move(tag));
    }
    return tags;
}

// An element holding `fields` of `owner` as attributes.
template <class Owner, class Fields>
void WriteFields(pugi::xml_node parent, const char* element, const Owner& owner, const Fields& fields) {
    pugi::xml_node node = parent.append_child(element);
    ForEachField(owner, fields, [&](const char* name, const auto& value) { WriteValue(node, name, value); });
}

template <class Owner, class Fields>
void ReadFields(pugi::xml_node node, Owner& owner, const Fields& fields) {
    ForEachField(owner, fields, [&](const char* name, auto& value) { ReadValue(node, name, value); });
}

bool IsTrue(pugi::xml_attribute attribute) {
    const std::string_view v = attribute.value();
    return v == "true" || v == "1" || v == "yes" || v == "checked";
}

std::string Attribute(pugi::xml_node node, const char* name) { return Uncarried(node, name, node.attribute(name).value()); }

// Line breaks as the tool's values have them: "\n" alone.
std::string Lines(std::string text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += text[i] == '\r' ? '\n' : text[i];
    }
    return out;
}

void WriteHead(pugi::xml_node head, const Outline& outline, const std::string& expansion) {
    pugi::xml_node title = head.append_child("title");
    title.text() = Carried(title, "text", outline.title).c_str();
    head.append_child("expansionState").text() = expansion.c_str();
    // OPML's own window elements, for other outliners; <zr:window> has all.
    const Placement& p = outline.placement;
    head.append_child("windowTop").text() = p.top;
    head.append_child("windowLeft").text() = p.left;
    head.append_child("windowBottom").text() = p.bottom;
    head.append_child("windowRight").text() = p.right;

    WriteFields(head, "zr:document", outline, kHeaderFields);
    pugi::xml_node document = head.child("zr:document");
    document.append_attribute("numbering") = Hex(outline.numbering).c_str();
    std::string deleted;
    for (uint32_t id : outline.deletedIds) {
        if (!deleted.empty()) deleted += ' ';
        deleted += std::to_string(id);
    }
    document.append_attribute("deletedIds") = deleted.c_str();
    WriteFields(head, "zr:window", p, kPlacementFields);
    if (outline.font) WriteFields(head, "zr:font", *outline.font, kFontFields);
    for (const HeaderSlot& slot : outline.headers) {
        pugi::xml_node node = head.append_child("zr:header");
        SetNumber(node, "id", slot.id);
        SetNumber(node, "size", slot.size);
        if (slot.bytes) node.append_attribute("slot") = ToBase64(*slot.bytes).c_str();
        if (!slot.tags.empty()) node.append_attribute("tags") = TagList(slot.tags).c_str();
    }
}

void ReadHead(pugi::xml_node head, Outline& outline) {
    if (pugi::xml_node title = head.child("title")) outline.title = Uncarried(title, "text", title.text().get());
    Placement& p = outline.placement;
    if (pugi::xml_node window = head.child("zr:window")) {
        ReadFields(window, p, kPlacementFields);
    } else {
        p.top = head.child("windowTop").text().as_int(p.top);
        p.left = head.child("windowLeft").text().as_int(p.left);
        p.bottom = head.child("windowBottom").text().as_int(p.bottom);
        p.right = head.child("windowRight").text().as_int(p.right);
    }
    if (pugi::xml_node document = head.child("zr:document")) {
        ReadFields(document, outline, kHeaderFields);
        if (document.attribute("numbering") && !FromHex(Attribute(document, "numbering"), outline.numbering)) {
            throw OpmlError("<zr:document> numbering is not " + std::to_string(kNumberingSize) + " bytes in hex");
        }
        std::istringstream deleted(Attribute(document, "deletedIds"));
        for (std::string id; deleted >> id;) {
            uint32_t value = 0;
            const auto [end, error] = std::from_chars(id.data(), id.data() + id.size(), value);
            if (error != std::errc() || end != id.data() + id.size()) throw OpmlError("<zr:document> deletedIds holds \"" + id + "\"");
            outline.deletedIds.push_back(value);
        }
    }
    if (pugi::xml_node node = head.child("zr:font")) {
        Font font;
        ReadFields(node, font, kFontFields);
        if (font.height == 0) throw OpmlError("<zr:font> has height 0");
        outline.font = font;
    }
    for (pugi::xml_node node : head.children("zr:header")) {
        if (!node.attribute("id") || !node.attribute("size")) throw OpmlError("a <zr:header> without id or size");
        HeaderSlot slot;
        ReadValue(node, "id", slot.id);
        ReadValue(node, "size", slot.size);
        const std::string where = "<zr:header id=\"" + std::to_string(slot.id) + "\">";
        if (pugi::xml_attribute bytes = node.attribute("slot")) {
            slot.bytes = FromBase64(bytes.value());
            if (!slot.bytes) throw OpmlError(where + " slot is not Base64");
        }
        slot.tags = ReadTagList(node.attribute("tags").value(), where);
        outline.headers.push_back(std::move(slot));
    }
}

// Whether each item has a child: the next item stands deeper.
std::vector<bool> HasChildren(const std::vector<Item>& items) {
    std::vector<bool> result(items.size(), false);
    for (size_t i = 0; i + 1 < items.size(); ++i) result[i] = items[i + 1].indent > items[i].indent;
    return result;
}

// The numbers (from 1) of the lines shown when the items stand as
// `expanded` says: an item shows when every item above it on its path does.
std::vector<size_t> VisibleLines(const std::vector<Item>& items, const std::vector<bool>& expanded) {
    std::vector<size_t> visible;
    uint32_t hiddenBelow = UINT32_MAX;  // items deeper than this are inside a closed item
    for (size_t i = 0; i < items.size(); ++i) {
        if (items[i].indent > hiddenBelow) continue;
        hiddenBelow = UINT32_MAX;
        visible.push_back(i);
        if (!expanded[i]) hiddenBelow = items[i].indent;
    }
    return visible;
}

// OPML's expansionState: in order, each number is the line (from 1, counting
// the lines shown at that moment) of an item to open. Items with children
// start closed; those it does not name stay closed.
std::vector<bool> ExpandedByState(const std::vector<Item>& items, std::string_view state) {
    std::vector<bool> expanded(items.size(), false);
    const std::vector<bool> parents = HasChildren(items);
    for (size_t i = 0; i < items.size(); ++i) expanded[i] = !parents[i];
    std::string list(state);
    std::replace(list.begin(), list.end(), ',', ' ');
    std::istringstream numbers(list);
    for (size_t line; numbers >> line;) {
        const std::vector<size_t> visible = VisibleLines(items, expanded);
        if (line >= 1 && line <= visible.size()) expanded[visible[line - 1]] = true;
    }
    return expanded;
}

std::string ExpansionState(const std::vector<Item>& items) {
    std::vector<bool> expanded(items.size());
    for (size_t i = 0; i < items.size(); ++i) expanded[i] = items[i].expanded;
    const std::vector<bool> parents = HasChildren(items);
    const std::vector<size_t> visible = VisibleLines(items, expanded);
    std::string state;
    for (size_t line = 0; line < visible.size(); ++line) {
        const size_t i = visible[line];
        if (!parents[i] || !expanded[i]) continue;
        if (!state.empty()) state += ',';
        state += std::to_string(line + 1);
    }
    return state;
}

// The outline elements in document order, with their levels, walked without
// recursion so that no nesting depth can exhaust the stack. An item that
// says nothing of its expansion is marked in `unstated`.
void ReadBody(pugi::xml_node body, Outline& outline, std::vector<bool>& unstated) {
    struct Pending {
        pugi::xml_node node;
        uint32_t level;
    };
    std::vector<Pending> stack;
    for (pugi::xml_node child = body.last_child(); child; child = child.previous_sibling()) {
        if (std::string_view(child.name()) == "outline") stack.push_back({child, 0});
    }
    while (!stack.empty()) {
        const auto [node, level] = stack.back();
        stack.pop_back();
        if (level > kMaxLevel) throw OpmlError("outlines nested deeper than " + std::to_string(kMaxLevel + 1) + " levels");
        Item item;
        item.indent = level;
        ReadValue(node, "zr:indent", item.indent);
        if (item.indent > kMaxLevel) throw OpmlError("an outline deeper than " + std::to_string(kMaxLevel) + " levels");
        item.text = Lines(Attribute(node, "text"));
        item.note = Lines(Attribute(node, "_note"));
        item.checked = Attribute(node, "_status") == "checked" || IsTrue(node.attribute("_complete")) ||
                       IsTrue(node.attribute("complete"));
        bool stated = true;
        if (pugi::xml_attribute expanded = node.attribute("zr:expanded")) {
            item.expanded = IsTrue(expanded);
        } else if (pugi::xml_attribute collapsed = node.attribute("collapsed")) {
            item.expanded = !IsTrue(collapsed);
        } else {
            stated = false;
        }
        ReadValue(node, "zr:id", item.id);
        if (pugi::xml_attribute drawing = node.attribute("zr:drawing")) {
            const auto png = FromBase64(drawing.value());
            if (!png || png->empty()) throw OpmlError("outline \"" + item.text + "\": the drawing is not Base64 PNG data");
            SetItemDrawing(item, PngToDib(*png));
        }
        item.tags = ReadTagList(node.attribute("zr:tags").value(), "outline \"" + item.text + "\"");
        outline.items.push_back(std::move(item));
        unstated.push_back(!stated);
        for (pugi::xml_node child = node.last_child(); child; child = child.previous_sibling()) {
            if (std::string_view(child.name()) == "outline") stack.push_back({child, level + 1});
        }
    }
}

}  // namespace

std::string ToOpml(const Outline& outline) {
    pugi::xml_document xml;
    pugi::xml_node declaration = xml.append_child(pugi::node_declaration);
    declaration.append_attribute("version") = "1.0";
    declaration.append_attribute("encoding") = "UTF-8";
    pugi::xml_node opml = xml.append_child("opml");
    opml.append_attribute("version") = "2.0";
    opml.append_attribute("xmlns:zr") = kOpmlNamespace;
    pugi::xml_node head = opml.append_child("head");
    pugi::xml_node body = opml.append_child("body");

    // Each item goes under the nearest earlier item one level up; the
    // levels open so far stand on `parents`.
    std::vector<pugi::xml_node> parents{body};
    for (size_t line = 0; line < outline.items.size(); ++line) {
        const Item& item = outline.items[line];
        const size_t depth = std::min<size_t>(item.indent, parents.size() - 1);
        parents.resize(depth + 1);
        pugi::xml_node node = parents.back().append_child("outline");
        parents.push_back(node);
        WriteValue(node, "text", item.text);
        if (!item.note.empty()) WriteValue(node, "_note", item.note);
        if (item.checked) node.append_attribute("_status") = "checked";
        if (!item.expanded) node.append_attribute("collapsed") = "true";
        SetNumber(node, "zr:id", item.id);
        // The level is the nesting; a level more than one below the item
        // before cannot nest, so it is recorded.
        if (item.indent != depth) SetNumber(node, "zr:indent", item.indent);
        node.append_attribute("zr:expanded") = item.expanded;
        if (!item.drawing.empty()) node.append_attribute("zr:drawing") = ToBase64(DibToPng(item.drawing)).c_str();
        if (!item.tags.empty()) node.append_attribute("zr:tags") = TagList(item.tags).c_str();
    }
    WriteHead(head, outline, ExpansionState(outline.items));
    std::ostringstream out;
    xml.save(out, "  ", pugi::format_default, pugi::encoding_utf8);
    return out.str();
}

Outline FromOpml(std::string_view text) {
    pugi::xml_document xml;
    const pugi::xml_parse_result parsed = xml.load_buffer(text.data(), text.size(), kParseOptions, pugi::encoding_utf8);
    if (!parsed) {
        throw OpmlError(std::string("not well-formed XML (") + parsed.description() + " at byte " +
                        std::to_string(parsed.offset) + ")");
    }
    const pugi::xml_node opml = xml.child("opml");
    if (!opml) throw OpmlError("not OPML: the root element is not <opml>");
    const pugi::xml_node body = opml.child("body");
    if (!body) throw OpmlError("not OPML: no <body>");
    Outline outline;
    const pugi::xml_node head = opml.child("head");
    ReadHead(head, outline);
    std::vector<bool> unstated;
    ReadBody(body, outline, unstated);
    const pugi::xml_node state = head.child("expansionState");
    if (state && std::find(unstated.begin(), unstated.end(), true) != unstated.end()) {
        const std::vector<bool> expanded = ExpandedByState(outline.items, state.text().get());
        for (size_t i = 0; i < outline.items.size(); ++i) {
            if (unstated[i]) outline.items[i].expanded = expanded[i];
        }
    }
    CheckStoredForm<OpmlError>(outline);
    return outline;
}

}  // namespace zro
