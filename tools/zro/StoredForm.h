// The stored form of a document beyond its plain values: the header table
// and the tags of headers and rows that the plain values do not give back
// as stored. Load takes it as the difference between the document and one
// made from its plain values; Save lays it over the plain values again.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "notestore/engine/TaggedDataManager.h"
#include "notestore/outline/OutlineDB.h"
#include "tools/zro/Outline.h"

namespace zro {

// A header the library keeps has at most this slot: its defaults are far
// smaller, and a slot is written out in full.
inline constexpr uint32_t kMaxKnownSlot = 64 * 1024;
// All slots together stay far below the 2 GiB the file's offsets reach.
inline constexpr uint64_t kMaxSlots = uint64_t{1} << 30;

// Raises std::runtime_error naming what of `outline`'s stored form cannot
// be stored: a header id listed twice, bytes for a header the library keeps
// or none for one it does not, slot bytes that are not the slot's size, a
// kept header's slot above kMaxKnownSlot, slots above kMaxSlots in all, tag
// ids that are 0 or not ascending, bytes given for a tag said absent.
void CheckStoredForm(const Outline& outline);
// The same, raising the caller's own error type with that text.
template <class Error>
void CheckStoredForm(const Outline& outline) {
    try {
        CheckStoredForm(outline);
    } catch (const std::runtime_error& e) {
        throw Error(e.what());
    }
}

// What `stored` holds that `plain` (the same block made from the plain
// values) does not, tag by tag. A block whose tags cannot be told apart
// raises std::runtime_error naming `what`.
std::vector<TagOverride> Overrides(const zr_gen::CTaggedDataManager& stored, const zr_gen::CTaggedDataManager& plain,
                                   const std::string& what);
// Lays `overrides` over `block`. A version and flags without bytes for a
// tag the block lacks, or a tag that cannot be stored, raises
// std::runtime_error naming `what`.
void Override(zr_gen::CTaggedDataManager& block, const std::vector<TagOverride>& overrides, const std::string& what);

// The header table of `stored` with each header's overrides against
// `plain`'s; empty when it is `plain`'s table with nothing to override.
std::vector<HeaderSlot> HeaderTable(zr_gen::COutlineDB& stored, zr_gen::COutlineDB& plain);
// Makes `table` the table of `db`, a new document whose headers hold the
// plain values: its headers in that order, foreign slots with their bytes,
// the overrides laid over the library's headers. Headers of the library's
// that `table` does not list follow it, as in any document.
void RestoreHeaderTable(zr_gen::COutlineDB& db, const std::vector<HeaderSlot>& table);

}  // namespace zro
