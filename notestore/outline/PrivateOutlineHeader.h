// Header 3 of an outline document: what only the device uses. Its tags:
//   tag 1     show checked items, 1 byte (kept for the caller)
//   tag 2, 3  selected index, top index, 32-bit
//   tag 4     window placement, 40 bytes (TStoredWindowPos)
//   tag 5     font without its face name, 28 bytes (TStoredFontInfo)
//   tag 6     font colour, 32-bit
//   tag 7     show headings mode, 1 byte (kept for the caller)
//   string 1  font face name
//   string 2  document title
// A missing or damaged tag raises through CTaggedDataManager::ProcessError.
#pragma once

#include <cstdint>

#include "notestore/engine/TaggedDataHeader.h"
#include "notestore/foundation/Export.h"
#include "notestore/foundation/String.h"

namespace zr_gen {

// Stored as ten 32-bit little-endian words in this order. The normal
// rectangle comes top first, then left, unlike a RECT.
struct TStoredWindowPos {
    static constexpr uint32_t kStoredSize = 40;
    uint32_t flags = 0;
    uint32_t showCmd = 0;
    int32_t minX = 0;
    int32_t minY = 0;
    int32_t maxX = 0;
    int32_t maxY = 0;
    int32_t normalTop = 0;
    int32_t normalLeft = 0;
    int32_t normalRight = 0;
    int32_t normalBottom = 0;
};

// Stored as the first 28 bytes of a LOGFONTW: five 32-bit little-endian
// words, then eight bytes. A height of 0: no font stored yet.
struct TStoredFontInfo {
    static constexpr uint32_t kStoredSize = 28;
    int32_t height = 0;
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
};

class ZR_EXPORT CPrivateOutlineHeader : public CTaggedDataHeader {
public:
    static constexpr uint16_t kId = 3;
    static constexpr uint32_t kDefaultSize = 512;
    static constexpr uint32_t kShowCheckedItemsTag = 1;
    static constexpr uint32_t kSelectedIndexTag = 2;
    static constexpr uint32_t kTopIndexTag = 3;
    static constexpr uint32_t kWindowPosTag = 4;
    static constexpr uint32_t kFontInfoTag = 5;
    static constexpr uint32_t kFontColorTag = 6;
    static constexpr uint32_t kShowHeadingsModeTag = 7;
    static constexpr uint8_t kFontNameTag = 1;
    static constexpr uint8_t kTitleTag = 2;
    static constexpr uint8_t kDefaultShowHeadingsMode = 10;
    // UTF-16 units; longer texts are stored cut (CutText). The block must fit
    // its 512-byte slot in any script: a text the code page cannot hold takes
    // 3 bytes a unit (code page and exact form) and 31 bytes of tag headers,
    // and the other fields 187 bytes, so 187 + (31 + 3 x 31) + (31 + 3 x 55)
    // = 507 of the 508 the slot holds after its length.
    static constexpr uint32_t kMaxFontNameLength = 31;
    static constexpr uint32_t kMaxTitleLength = 55;

    // Show checked items 1, indexes 0, placement and font all zero, title
    // "Untitled", no font name, colour 0, show headings mode 10; every bit
    // changed.
    CPrivateOutlineHeader();
    ~CPrivateOutlineHeader() override;
    // Adds the show headings mode when an older file lacks it.
    void CreateNewFields() override;

    void SetShowCheckedItems(uint8_t mode);
    uint8_t GetShowCheckedItems();
    bool ShowCheckedItemsChanged();
    void setCheckedItemsChanged(bool changed);
    void SetSelectedIndex(uint32_t index);
    uint32_t GetSelectedIndex();
    void SetTopIndex(uint32_t index);
    uint32_t GetTopIndex();
    // Null pointers are asserted and ignored.
    void SetStoredWndPos(const TStoredWindowPos* position);
    void GetStoredWndPos(TStoredWindowPos* position);
    void SetStoredFontInfo(const TStoredFontInfo* font);
    void GetStoredFontInfo(TStoredFontInfo* font);
    void SetFontColor(uint32_t color);
    uint32_t GetFontColor();
    void SetShowHeadingsMode(uint8_t mode);
    uint8_t GetShowHeadingsMode();
    // Cut to kMaxFontNameLength, respectively kMaxTitleLength.
    void SetFontName(const char16_t* name);
    void GetFontName(_String& name);
    void SetOutlineTitle(const char16_t* title);
    void GetOutlineTitle(_String& title);
};

}  // namespace zr_gen
