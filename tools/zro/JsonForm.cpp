#include "tools/zro/JsonForm.h"

#include <nlohmann/json.hpp>

#include <limits>
#include <type_traits>

#include "tools/zro/Base64.h"
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

Json PlacementJson(const Placement& p) {
    return {{"flags", p.flags}, {"showCmd", p.showCmd}, {"minX", p.minX}, {"minY", p.minY},     {"maxX", p.maxX},
            {"maxY", p.maxY},   {"left", p.left},       {"top", p.top},   {"right", p.right}, {"bottom", p.bottom}};
}

Placement PlacementOf(const Json& j) {
    Placement p;
    Take(j, "flags", p.flags);
    Take(j, "showCmd", p.showCmd);
    Take(j, "minX", p.minX);
    Take(j, "minY", p.minY);
    Take(j, "maxX", p.maxX);
    Take(j, "maxY", p.maxY);
    Take(j, "left", p.left);
    Take(j, "top", p.top);
    Take(j, "right", p.right);
    Take(j, "bottom", p.bottom);
    return p;
}

Json FontJson(const Font& f) {
    return {{"height", f.height},
            {"width", f.width},
            {"escapement", f.escapement},
            {"orientation", f.orientation},
            {"weight", f.weight},
            {"italic", f.italic},
            {"underline", f.underline},
            {"strikeOut", f.strikeOut},
            {"charSet", f.charSet},
            {"outPrecision", f.outPrecision},
            {"clipPrecision", f.clipPrecision},
            {"quality", f.quality},
            {"pitchAndFamily", f.pitchAndFamily},
            {"face", f.face},
            {"color", f.color}};
}

Font FontOf(const Json& j) {
    Font f;
    Take(j, "height", f.height);
    Take(j, "width", f.width);
    Take(j, "escapement", f.escapement);
    Take(j, "orientation", f.orientation);
    Take(j, "weight", f.weight);
    Take(j, "italic", f.italic);
    Take(j, "underline", f.underline);
    Take(j, "strikeOut", f.strikeOut);
    Take(j, "charSet", f.charSet);
    Take(j, "outPrecision", f.outPrecision);
    Take(j, "clipPrecision", f.clipPrecision);
    Take(j, "quality", f.quality);
    Take(j, "pitchAndFamily", f.pitchAndFamily);
    Take(j, "face", f.face);
    Take(j, "color", f.color);
    if (f.height == 0) throw JsonError("\"font\" has height 0");
    return f;
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
    const Json document = {{"title", outline.title},
                           {"category", outline.category},
                           {"private", outline.isPrivate},
                           {"synchronized", outline.synchronized},
                           {"outlineChanged", outline.outlineChanged},
                           {"matchName", outline.matchName},
                           {"numbering", outline.numbering},
                           {"numberingDivider", outline.numberingDivider},
                           {"showCheckedItems", outline.showCheckedItems},
                           {"selectedIndex", outline.selectedIndex},
                           {"topIndex", outline.topIndex},
                           {"showHeadingsMode", outline.showHeadingsMode},
                           {"window", PlacementJson(outline.placement)},
                           {"font", outline.font ? FontJson(*outline.font) : Json(nullptr)},
                           {"items", std::move(items)},
                           {"deletedIds", outline.deletedIds}};
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
    Take(j, "category", outline.category);
    Take(j, "private", outline.isPrivate);
    Take(j, "synchronized", outline.synchronized);
    Take(j, "outlineChanged", outline.outlineChanged);
    Take(j, "matchName", outline.matchName);
    Take(j, "numbering", outline.numbering);
    Take(j, "numberingDivider", outline.numberingDivider);
    Take(j, "showCheckedItems", outline.showCheckedItems);
    Take(j, "selectedIndex", outline.selectedIndex);
    Take(j, "topIndex", outline.topIndex);
    Take(j, "showHeadingsMode", outline.showHeadingsMode);
    Take(j, "deletedIds", outline.deletedIds);
    if (j.contains("window")) outline.placement = PlacementOf(ObjectAt(j, "window"));
    if (j.contains("font") && !j["font"].is_null()) outline.font = FontOf(ObjectAt(j, "font"));
    for (const Json& entry : j["items"]) outline.items.push_back(ItemOf(entry));
    return outline;
}

}  // namespace zro
