#include "notestore/outline/PrivateOutlineHeader.h"

#include "notestore/engine/TagAccess.h"
#include "notestore/foundation/ByteOrder.h"
#include "notestore/foundation/zr_assert.h"

namespace zr_gen {

namespace {

using WindowBytes = uint8_t[TStoredWindowPos::kStoredSize];
using FontBytes = uint8_t[TStoredFontInfo::kStoredSize];

void Encode(const TStoredWindowPos& position, WindowBytes& bytes) {
    const uint32_t words[] = {position.flags,
                              position.showCmd,
                              static_cast<uint32_t>(position.minX),
                              static_cast<uint32_t>(position.minY),
                              static_cast<uint32_t>(position.maxX),
                              static_cast<uint32_t>(position.maxY),
                              static_cast<uint32_t>(position.normalTop),
                              static_cast<uint32_t>(position.normalLeft),
                              static_cast<uint32_t>(position.normalRight),
                              static_cast<uint32_t>(position.normalBottom)};
    for (uint32_t i = 0; i < 10; ++i) StoreLE32(bytes + 4 * i, words[i]);
}

TStoredWindowPos Decode(const WindowBytes& bytes) {
    const auto word = [&](uint32_t i) { return LoadLE32(bytes + 4 * i); };
    const auto signedWord = [&](uint32_t i) { return static_cast<int32_t>(word(i)); };
    return {word(0),       word(1),       signedWord(2), signedWord(3), signedWord(4),
            signedWord(5), signedWord(6), signedWord(7), signedWord(8), signedWord(9)};
}

void Encode(const TStoredFontInfo& font, FontBytes& bytes) {
    const int32_t words[] = {font.height, font.width, font.escapement, font.orientation, font.weight};
    for (uint32_t i = 0; i < 5; ++i) StoreLE32(bytes + 4 * i, static_cast<uint32_t>(words[i]));
    const uint8_t tail[] = {font.italic,       font.underline,     font.strikeOut, font.charSet,
                            font.outPrecision, font.clipPrecision, font.quality,   font.pitchAndFamily};
    std::copy(std::begin(tail), std::end(tail), bytes + 20);
}

TStoredFontInfo Decode(const FontBytes& bytes) {
    const auto word = [&](uint32_t i) { return static_cast<int32_t>(LoadLE32(bytes + 4 * i)); };
    return {word(0),   word(1),   word(2),   word(3),   word(4),   bytes[20], bytes[21],
            bytes[22], bytes[23], bytes[24], bytes[25], bytes[26], bytes[27]};
}

}  // namespace

CPrivateOutlineHeader::CPrivateOutlineHeader() {
    SetShowCheckedItems(1);
    SetSelectedIndex(0);
    SetTopIndex(0);
    const TStoredWindowPos noPosition;
    SetStoredWndPos(&noPosition);
    const TStoredFontInfo noFont;
    SetStoredFontInfo(&noFont);
    SetOutlineTitle(u"Untitled");
    SetFontName(u"");
    SetFontColor(0);
    setCheckedItemsChanged(true);
    SetShowHeadingsMode(kDefaultShowHeadingsMode);
}

CPrivateOutlineHeader::~CPrivateOutlineHeader() = default;

void CPrivateOutlineHeader::CreateNewFields() {
    if (!hasTag(kShowHeadingsModeTag)) SetShowHeadingsMode(kDefaultShowHeadingsMode);
}

void CPrivateOutlineHeader::SetShowCheckedItems(uint8_t mode) {
    tagaccess::Set(getTaggedDataManager(), kShowCheckedItemsTag, mode);
}

uint8_t CPrivateOutlineHeader::GetShowCheckedItems() {
    return tagaccess::Get<uint8_t>(getTaggedDataManager(), kShowCheckedItemsTag);
}

bool CPrivateOutlineHeader::ShowCheckedItemsChanged() {
    return tagaccess::Changed(getTaggedDataManager(), kShowCheckedItemsTag);
}

void CPrivateOutlineHeader::setCheckedItemsChanged(bool changed) {
    tagaccess::SetChanged(getTaggedDataManager(), kShowCheckedItemsTag, changed);
}

void CPrivateOutlineHeader::SetSelectedIndex(uint32_t index) {
    tagaccess::Set(getTaggedDataManager(), kSelectedIndexTag, index);
}

uint32_t CPrivateOutlineHeader::GetSelectedIndex() {
    return tagaccess::Get<uint32_t>(getTaggedDataManager(), kSelectedIndexTag);
}

void CPrivateOutlineHeader::SetTopIndex(uint32_t index) { tagaccess::Set(getTaggedDataManager(), kTopIndexTag, index); }
uint32_t CPrivateOutlineHeader::GetTopIndex() { return tagaccess::Get<uint32_t>(getTaggedDataManager(), kTopIndexTag); }

void CPrivateOutlineHeader::SetStoredWndPos(const TStoredWindowPos* position) {
    ZR_ASSERT(position != nullptr);
    if (position == nullptr) return;
    WindowBytes bytes;
    Encode(*position, bytes);
    tagaccess::SetBytes(getTaggedDataManager(), kWindowPosTag, bytes, sizeof bytes);
}

void CPrivateOutlineHeader::GetStoredWndPos(TStoredWindowPos* position) {
    ZR_ASSERT(position != nullptr);
    if (position == nullptr) return;
    WindowBytes bytes;
    tagaccess::GetBytes(getTaggedDataManager(), kWindowPosTag, bytes, sizeof bytes);
    *position = Decode(bytes);
}

void CPrivateOutlineHeader::SetStoredFontInfo(const TStoredFontInfo* font) {
    ZR_ASSERT(font != nullptr);
    if (font == nullptr) return;
    FontBytes bytes;
    Encode(*font, bytes);
    tagaccess::SetBytes(getTaggedDataManager(), kFontInfoTag, bytes, sizeof bytes);
}

void CPrivateOutlineHeader::GetStoredFontInfo(TStoredFontInfo* font) {
    ZR_ASSERT(font != nullptr);
    if (font == nullptr) return;
    FontBytes bytes;
    tagaccess::GetBytes(getTaggedDataManager(), kFontInfoTag, bytes, sizeof bytes);
    *font = Decode(bytes);
}

void CPrivateOutlineHeader::SetFontColor(uint32_t color) {
    tagaccess::Set(getTaggedDataManager(), kFontColorTag, color);
}

uint32_t CPrivateOutlineHeader::GetFontColor() {
    return tagaccess::Get<uint32_t>(getTaggedDataManager(), kFontColorTag);
}

void CPrivateOutlineHeader::SetShowHeadingsMode(uint8_t mode) {
    tagaccess::Set(getTaggedDataManager(), kShowHeadingsModeTag, mode);
}

uint8_t CPrivateOutlineHeader::GetShowHeadingsMode() {
    return tagaccess::Get<uint8_t>(getTaggedDataManager(), kShowHeadingsModeTag);
}

void CPrivateOutlineHeader::SetFontName(const char16_t* name) {
    tagaccess::SetText(getTaggedDataManager(), kFontNameTag, name, kMaxFontNameLength);
}

void CPrivateOutlineHeader::GetFontName(_String& name) {
    tagaccess::GetText(getTaggedDataManager(), kFontNameTag, name);
}

void CPrivateOutlineHeader::SetOutlineTitle(const char16_t* title) {
    tagaccess::SetText(getTaggedDataManager(), kTitleTag, title, kMaxTitleLength);
}

void CPrivateOutlineHeader::GetOutlineTitle(_String& title) {
    tagaccess::GetText(getTaggedDataManager(), kTitleTag, title);
}

}  // namespace zr_gen
