#include "tools/zro/JsonForm.h"

#include <nlohmann/json.hpp>

#include <array>
#include <limits>
#include <string>
#include <type_traits>
#include <vector>

#include "tools/zro/Base64.h"
#include "tools/zro/OutlineFields.h"
#include "tools/zro/Png.h"
#include "tools/zro/StoredForm.h"

namespace zro {

namespace {

using Json = nlohmann::ordered_json;

// Each Convert sets `value` from `json`; false when `json` is of another
// type or out of the value's range.
bool Convert(const Json& json, bool& value) {
    if (!json.is_boolean()) return false;
    value = json.get<bool>();
    return true;
}

bool Convert(const Json& json, std::string& value) {
    if (!json.is_string()) return false;
    value = json.get<std::string>();
    return true;
}

// get<T> would cut an integer out of range without a word, and turn a
// number beyond the integers into one by undefined behaviour.
template <class T>
    requires std::is_integral_v<T>
bool Convert(const Json& json, T& value) {
    if (!json.is_number_integer()) return false;
    if (json.is_number_unsigned() ? json.get<uint64_t>() > std::numeric_limits<T>::max()
                                  : json.get<int64_t>() < static_cast<int64_t>(std::numeric_limits<T>::min()) ||
                                        json.get<int64_t>() > static_cast<int64_t>(std::numeric_limits<T>::max())) {
        return false;
    }
    value = static_cast<T>(json.get<int64_t>());
    return true;
}

template <class List>
bool ConvertElements(const Json& json, List& list) {
    size_t i = 0;
    for (const Json& element : json) {
        if (!Convert(element, list[i++])) return false;
    }
    return true;
}

template <class T>
bool Convert(const Json& json, std::vector<T>& value) {
    if (!json.is_array()) return false;
    value.resize(json.size());
    return ConvertElements(json, value);
}

template <class T, size_t N>
bool Convert(const Json& json, std::array<T, N>& value) {
    return json.is_array() && json.size() == N && ConvertElements(json, value);
}

// Reads `key` of `object` into `value` when present; a wrong type raises.
template <class T>
void Take(const Json& object, const char* key, T& value) {
    const auto found = object.find(key);
    if (found != object.end() && !Convert(*found, value)) {
        throw JsonError(std::string("\"") + key + "\" has the wrong type or range");
    }
}

const Json& ObjectAt(const Json& parent, const char* key) {
    const Json& value = parent.at(key);
    if (!value.is_object()) throw JsonError(std::string("\"") + key + "\" is not an object");
    return value;
}

// The fields as the members of one object.
template <class Owner, class Fields>
Json ObjectOf(const Owner& owner, const Fields& fields) {
    Json object = Json::object();
    ForEachField(owner, fields, [&](const char* name, const auto& value) { object[name] = value; });
    return object;
}

template <class Owner, class Fields>
Owner FromObject(const Json& object, const Fields& fields) {
    Owner owner;
    ForEachField(owner, fields, [&](const char* name, auto& value) { Take(object, name, value); });
    return owner;
}

// Bytes as Base64 text.
std::vector<uint8_t> BytesAt(const Json& object, const char* key, const std::string& where) {
    std::string text;
    Take(object, key, text);
    auto bytes = FromBase64(text);
    if (!bytes) throw JsonError(where + ": \"" + key + "\" is not Base64");
    return std::move(*bytes);
}

// A tag list: {id, version, flags, data (Base64; none: the plain values
// make the bytes)} or {id, "absent": true} each.
Json TagsOf(const std::vector<TagOverride>& tags) {
    Json list = Json::array();
    for (const TagOverride& tag : tags) {
        if (tag.absent) {
            list.push_back({{"id", tag.id}, {"absent", true}});
            continue;
        }
        Json entry = {{"id", tag.id}, {"version", tag.version}, {"flags", tag.flags}};
        if (tag.data) entry["data"] = ToBase64(*tag.data);
        list.push_back(std::move(entry));
    }
    return list;
}

std::vector<TagOverride> TagsFrom(const Json& owner, const std::string& where) {
    std::vector<TagOverride> tags;
    const auto found = owner.find("tags");
    if (found == owner.end()) return tags;
    if (!found->is_array()) throw JsonError(where + ": \"tags\" is not a list");
    for (const Json& entry : *found) {
        if (!entry.is_object() || !entry.contains("id")) throw JsonError(where + ": a tag is not an object with an id");
        TagOverride tag;
        Take(entry, "id", tag.id);
        Take(entry, "absent", tag.absent);
        if (!tag.absent) {  // an absent tag has neither
            Take(entry, "version", tag.version);
            Take(entry, "flags", tag.flags);
        }
        if (entry.contains("data")) tag.data = BytesAt(entry, "data", where + ", tag " + std::to_string(tag.id));
        tags.push_back(std::move(tag));
    }
    return tags;
}

Json HeadersOf(const std::vector<HeaderSlot>& headers) {
    Json list = Json::array();
    for (const HeaderSlot& slot : headers) {
        Json entry = {{"id", slot.id}, {"size", slot.size}};
        if (slot.bytes) entry["slot"] = ToBase64(*slot.bytes);
        if (!slot.tags.empty()) entry["tags"] = TagsOf(slot.tags);
        list.push_back(std::move(entry));
    }
    return list;
}

std::vector<HeaderSlot> HeadersFrom(const Json& j) {
    std::vector<HeaderSlot> headers;
    if (!j.contains("headers")) return headers;
    if (!j["headers"].is_array()) throw JsonError("\"headers\" is not a list");
    for (const Json& entry : j["headers"]) {
        if (!entry.is_object() || !entry.contains("id") || !entry.contains("size")) {
            throw JsonError("a header is not an object with an id and a size");
        }
        HeaderSlot slot;
        Take(entry, "id", slot.id);
        Take(entry, "size", slot.size);
        const std::string where = "header " + std::to_string(slot.id);
        if (entry.contains("slot")) slot.bytes = BytesAt(entry, "slot", where);
        slot.tags = TagsFrom(entry, where);
        headers.push_back(std::move(slot));
    }
    return headers;
}

Item ItemOf(const Json& j) {
    if (!j.is_object()) throw JsonError("an item is not an object");
    Item item;
    Take(j, "id", item.id);
    Take(j, "indent", item.indent);
    Take(j, "text", item.text);
    Take(j, "note", item.note);
    Take(j, "checked", item.checked);
    Take(j, "expanded", item.expanded);
    if (j.contains("drawing")) {
        const Json& drawing = ObjectAt(j, "drawing");
        std::string png;
        Take(drawing, "png", png);
        const auto bytes = FromBase64(png);
        if (!bytes || bytes->empty()) throw JsonError("item " + std::to_string(item.id) + ": the drawing is not Base64 PNG data");
        SetItemDrawing(item, PngToDib(*bytes));
    }
    item.tags = TagsFrom(j, "item " + std::to_string(item.id));
    return item;
}

}  // namespace

std::string ToJson(const Outline& outline) {
    Json items = Json::array();
    for (const Item& item : outline.items) {
        Json entry = {{"id", item.id},           {"indent", item.indent},
                      {"text", item.text},       {"note", item.note},
                      {"checked", item.checked}, {"expanded", item.expanded}};
        if (!item.drawing.empty()) {
            entry["drawing"] = {{"width", item.drawingWidth},
                                {"height", item.drawingHeight},
                                {"png", ToBase64(DibToPng(item.drawing))}};
        }
        if (!item.tags.empty()) entry["tags"] = TagsOf(item.tags);
        items.push_back(std::move(entry));
    }
    Json document = {{"title", outline.title}};
    document.update(ObjectOf(outline, kHeaderFields));
    document["numbering"] = outline.numbering;
    document["window"] = ObjectOf(outline.placement, kPlacementFields);
    document["font"] = outline.font ? ObjectOf(*outline.font, kFontFields) : Json(nullptr);
    document["items"] = std::move(items);
    document["deletedIds"] = outline.deletedIds;
    if (!outline.headers.empty()) document["headers"] = HeadersOf(outline.headers);
    // Stored texts may hold bytes that are not UTF-8 only when a caller put
    // them there; replace rather than fail.
    return document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

Outline FromJson(std::string_view text) {
    Json j;
    try {
        j = Json::parse(text);
    } catch (const nlohmann::json::exception& e) {  // a syntax error, or a number beyond a double
        throw JsonError(std::string("not JSON: ") + e.what());
    }
    if (!j.is_object() || !j.contains("items") || !j["items"].is_array()) {
        throw JsonError("not an outline: no \"items\" list");
    }
    Outline outline;
    Take(j, "title", outline.title);
    ForEachField(outline, kHeaderFields, [&](const char* name, auto& value) { Take(j, name, value); });
    Take(j, "numbering", outline.numbering);
    Take(j, "deletedIds", outline.deletedIds);
    if (j.contains("window")) outline.placement = FromObject<Placement>(ObjectAt(j, "window"), kPlacementFields);
    if (j.contains("font") && !j["font"].is_null()) {
        outline.font = FromObject<Font>(ObjectAt(j, "font"), kFontFields);
        if (outline.font->height == 0) throw JsonError("\"font\" has height 0");
    }
    for (const Json& entry : j["items"]) outline.items.push_back(ItemOf(entry));
    outline.headers = HeadersFrom(j);
    CheckStoredForm<JsonError>(outline);
    return outline;
}

}  // namespace zro
