// An outline document as the command-line tool sees it: plain values in
// UTF-8, read from and written to ".zro" files through the library. The
// values carry every field the library stores for a document, so that a
// document read, converted to another form and back, and saved is the same
// document.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "notestore/foundation/MemAPI.h"

namespace zr_gen {
class COutlineDB;
}

namespace zro {

// One tag of a stored block (an item's row, a header) that the plain values
// do not give back as it is stored: a tag they make no field of (a newer
// writer's, a header's the tool does not show), one they store otherwise
// (other bytes, version or flag word), or one they make that the block does
// not hold. A document made from the plain values and then these is the
// stored one byte for byte.
struct TagOverride {
    uint32_t id = 0;
    bool absent = false;  // the block holds no such tag
    uint8_t version = 0;
    uint32_t flags = 0;  // the whole flag word (bit 0: changed)
    // The stored bytes; none where the plain values make exactly these.
    std::optional<std::vector<uint8_t>> data;

    bool operator==(const TagOverride&) const = default;
};

// One entry of the document's header table.
struct HeaderSlot {
    uint16_t id = 0;
    uint32_t size = 0;
    // A header the library does not know: its whole slot as stored.
    std::optional<std::vector<uint8_t>> bytes;
    // A header the library knows: its tags beyond the plain values.
    std::vector<TagOverride> tags;

    bool operator==(const HeaderSlot&) const = default;
};

struct Item {
    uint32_t id = 0;
    uint32_t indent = 0;
    bool checked = false;
    bool expanded = true;
    std::string text;
    std::string note;  // lines separated by "\n"
    int32_t drawingWidth = 0;  // 0 x 0: no drawing
    int32_t drawingHeight = 0;
    // The drawing as a packed DIB (header, colour table, rows), as the
    // library hands it out; empty without one, and empty with a size when
    // the stored drawing is damaged.
    std::vector<uint8_t> drawing;
    std::vector<TagOverride> tags;  // ascending ids

    bool operator==(const Item&) const = default;
};

// The outline's font; a document that never stored one has none.
struct Font {
    int32_t height = 0;  // never 0: that marks "no font"
    int32_t width = 0;
    int32_t escapement = 0;
    int32_t orientation = 0;
    int32_t weight = 0;
    uint8_t italic = 0;
    uint8_t underline = 0;
    uint8_t strikeOut = 0;
    uint8_t charSet = 0;
    uint8_t outPrecision = 0;
    uint8_t clipPrecision = 0;
    uint8_t quality = 0;
    uint8_t pitchAndFamily = 0;
    std::string face;
    uint32_t color = 0;

    bool operator==(const Font&) const = default;
};

// Where the document's window stood on the device.
struct Placement {
    uint32_t flags = 0;
    uint32_t showCmd = 0;
    int32_t minX = 0;
    int32_t minY = 0;
    int32_t maxX = 0;
    int32_t maxY = 0;
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;

    bool operator==(const Placement&) const = default;
};

inline constexpr size_t kNumberingSize = 10;

struct Outline {
    std::string title = "Untitled";
    std::string category;
    std::vector<Item> items;
    std::vector<uint32_t> deletedIds;
    // The shared header's other fields.
    bool isPrivate = false;
    bool synchronized = false;
    bool outlineChanged = true;
    std::string matchName;
    std::array<uint8_t, kNumberingSize> numbering{};
    uint16_t numberingDivider = 0;
    // The private header's other fields.
    uint8_t showCheckedItems = 1;
    uint32_t selectedIndex = 0;
    uint32_t topIndex = 0;
    uint8_t showHeadingsMode = 10;
    Placement placement;
    std::optional<Font> font;
    // The header table in stored order, with what the plain values do not
    // give back; empty for the table a new document has.
    std::vector<HeaderSlot> headers;

    bool operator==(const Outline&) const = default;
};

// The bytes of a library memory block, which is freed.
std::vector<uint8_t> TakeBlock(MemHandle block);
// A new library memory block holding `bytes`; raises when there is no memory.
MemHandle BlockOf(const std::vector<uint8_t>& bytes);

// How much of the document Load gives: the plain values alone, or also what
// they do not give back of the stored form (TagOverride, HeaderSlot).
enum class Detail { kFields, kStoredForm };

// Reads a document; the library's error text on failure (std::runtime_error).
Outline Load(const std::string& path, Detail detail = Detail::kFields);
// Reads a document as Load does, item by item, for writers that need not
// hold it whole: `headers` gets the header fields (an outline without
// items), then `visit` each item in document order. The item passed is
// reused for the next one (the visitor may move from it), and only the row
// being read stays in memory.
// Drawings are decoded only `withDrawings`; their sizes always come. Items
// already visited stay visited when a later one fails.
void ReadItems(const std::string& path, bool withDrawings, const std::function<void(const Outline&)>& headers,
               const std::function<void(Item&)>& visit);

// Writes `outline` as a new document at `path`. An existing file there is
// replaced only once the new document is complete and on disk: the document
// is written to a sibling file in the same folder, synced, and renamed over
// it. Items without an id get the next free one. The stored form (header
// table, tag overrides) is laid over the plain values, after CheckStoredForm.
void Save(const Outline& outline, const std::string& path);
// Makes `db` (a new document's objects) hold `outline` as Save writes it:
// the plain values with the stored form laid over them, the header table
// ready to be written. Raises std::runtime_error naming what cannot be
// stored.
void Compose(const Outline& outline, zr_gen::COutlineDB& db);
// Writes a drawing (a packed DIB) as a BMP file through the library.
void SaveBmp(const std::vector<uint8_t>& dib, const std::string& path);
// Sets item `index`'s drawing to the packed DIB `dib` in the document at
// `path`, changing nothing else in the file: the document is opened, the one
// item changed and its rows saved through the library.
void AttachDrawing(const std::string& path, uint32_t index, const std::vector<uint8_t>& dib);

}  // namespace zro
