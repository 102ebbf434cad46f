#include "tools/zro/JsonForm.h"

#include <nlohmann/json.hpp>

#include <limits>
#include <type_traits>

#include "tools/zro/Base64.h"
#include "tools/zro/OutlineFields.h"
#include "tools/zro/Png.h"

namespace zro {

namespace {

using Json = nlohmann::ordered_json;

// Reads `key` of `object` into `value` when present; a wrong type raises.
template <class T>
void Take(const Json& object, const char* key, T& value) {
    const auto found = object.find(key);
    if (found == object.end()) return;
    try {
        if constexpr (std::is_integral_v<T> && !std::is_same_v<T, bool>) {
            // get<T> would cut an integer out of range without a word.
            if (!found->is_number_integer()) throw JsonError("");
            const auto wide = found->get<int64_t>();
            if (found->is_number_unsigned() ? found->get<uint64_t>() > std::numeric_limits<T>::max()
                                            : wide < static_cast<int64_t>(std::numeric_limits<T>::min()) ||
                                                  wide > static_cast<int64_t>(std::numeric_limits<T>::max())) {
                throw JsonError("");
            }
            value = static_cast<T>(wide);
        } else {
            value = found->get<T>();
        }
    } catch (const std::exception&) {
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
        items.push_back(std::move(entry));
    }
    Json document = {{"title", outline.title}};
    document.update(ObjectOf(outline, kHeaderFields));
    document["numbering"] = outline.numbering;
    document["window"] = ObjectOf(outline.placement, kPlacementFields);
    document["font"] = outline.font ? ObjectOf(*outline.font, kFontFields) : Json(nullptr);
    document["items"] = std::move(items);
    document["deletedIds"] = outline.deletedIds;
    // Stored texts may hold bytes that are not UTF-8 only when a caller put
    // them there; replace rather than fail.
    return document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

Outline FromJson(std::string_view text) {
    Json j;
    try {
        j = Json::parse(text);
    } catch (const nlohmann::json::parse_error& e) {
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
    return outline;
}

}  // namespace zro
