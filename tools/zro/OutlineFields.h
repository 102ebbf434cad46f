// The named fields of the outline's values, in one list each, for the forms
// that write them as named values (JSON members, OPML attributes): a form
// walks the list instead of naming every field again.
#pragma once

#include <tuple>

#include "tools/zro/Outline.h"

namespace zro {

template <class Owner, class T>
struct Field {
    const char* name;
    T Owner::*member;
};

template <class Owner, class T>
Field(const char*, T Owner::*) -> Field<Owner, T>;

// The document's header fields that are single values (the title, the
// numbering bytes and the deleted ids each form places its own way).
inline const auto kHeaderFields = std::make_tuple(
    Field{"category", &Outline::category}, Field{"private", &Outline::isPrivate},
    Field{"synchronized", &Outline::synchronized}, Field{"outlineChanged", &Outline::outlineChanged},
    Field{"matchName", &Outline::matchName}, Field{"numberingDivider", &Outline::numberingDivider},
    Field{"showCheckedItems", &Outline::showCheckedItems}, Field{"selectedIndex", &Outline::selectedIndex},
    Field{"topIndex", &Outline::topIndex}, Field{"showHeadingsMode", &Outline::showHeadingsMode});

inline const auto kPlacementFields = std::make_tuple(
    Field{"flags", &Placement::flags}, Field{"showCmd", &Placement::showCmd}, Field{"minX", &Placement::minX},
    Field{"minY", &Placement::minY}, Field{"maxX", &Placement::maxX}, Field{"maxY", &Placement::maxY},
    Field{"left", &Placement::left}, Field{"top", &Placement::top}, Field{"right", &Placement::right},
    Field{"bottom", &Placement::bottom});

inline const auto kFontFields = std::make_tuple(
    Field{"face", &Font::face}, Field{"height", &Font::height}, Field{"width", &Font::width},
    Field{"escapement", &Font::escapement}, Field{"orientation", &Font::orientation},
    Field{"weight", &Font::weight}, Field{"italic", &Font::italic}, Field{"underline", &Font::underline},
    Field{"strikeOut", &Font::strikeOut}, Field{"charSet", &Font::charSet},
    Field{"outPrecision", &Font::outPrecision}, Field{"clipPrecision", &Font::clipPrecision},
    Field{"quality", &Font::quality}, Field{"pitchAndFamily", &Font::pitchAndFamily}, Field{"color", &Font::color});

// Calls `visit(name, owner.*member)` for each field of `fields`.
template <class Owner, class Fields, class Visit>
void ForEachField(Owner& owner, const Fields& fields, Visit&& visit) {
    std::apply([&](const auto&... field) { (visit(field.name, owner.*(field.member)), ...); }, fields);
}

}  // namespace zro
