// Header 2 of an outline document: the properties it shares with the
// desktop synchronisation side. Its tags:
//   string 1  category name (its changed bit: the category was changed)
//   string 2  Palm match name
//   tag 3     outline changed, 1 byte
//   tag 4     synchronized, 1 byte
//   tag 5     private, 1 byte (its changed bit: the flag was changed)
//   tag 8     numbering settings, exactly 10 bytes kept for the caller
//   tag 9     numbering divider, 16-bit
// Boolean getters take any non-zero byte as true. A missing or damaged tag
// raises through CTaggedDataManager::ProcessError.
#pragma once

#include <cstdint>

#include "notestore/engine/TaggedDataHeader.h"
#include "notestore/foundation/Export.h"
#include "notestore/foundation/String.h"

namespace zr_gen {

class ZR_EXPORT CSharedHeader : public CTaggedDataHeader {
public:
    static constexpr uint16_t kId = 2;
    static constexpr uint32_t kDefaultSize = 512;
    static constexpr uint8_t kCategoryNameTag = 1;
    static constexpr uint8_t kPalmMatchNameTag = 2;
    static constexpr uint32_t kOutlineChangedTag = 3;
    static constexpr uint32_t kSynchronizedTag = 4;
    static constexpr uint32_t kPrivateTag = 5;
    static constexpr uint32_t kNumberingTag = 8;
    static constexpr uint32_t kNumberingDividerTag = 9;
    static constexpr uint32_t kNumberingSize = 10;
    // The longest Palm match name (UTF-16 units) that fits the 512-byte slot
    // in any script beside a category name at its limit: the other fields
    // take 214 bytes, a text outside the code page 31 + 3 bytes a unit. The
    // match name is kept for the desktop side and not cut; a longer one that
    // does not fit is refused when the header is written (message 12).
    static constexpr uint32_t kMaxFittingMatchNameLength = 87;

    // The unfiled category, outline changed, not synchronized, not private,
    // an empty match name, numbering all zero; every bit changed.
    CSharedHeader();
    ~CSharedHeader() override;
    // Adds what an older file lacks: match name, private flag, numbering
    // and divider, each with its default; present tags stay.
    void CreateNewFields() override;

    void GetCategoryName(_String& name);
    // Storing a changed name (or over a set changed bit) also sets outline
    // changed. A null name is asserted and stored as the empty name; a name
    // is cut to the category database's limit (CCategoryRecord::kMaxNameLength).
    void SetCategoryName(const char16_t* name);
    bool GetCategoryChanged();
    void SetCategoryChanged(bool changed);
    void SetPalmMatchName(const char16_t* name);
    void GetPalmMatchName(_String& name);
    void SetOutlineChanged(bool changed);
    bool GetOutlineChanged();
    void SetSynchronized(bool synchronized);
    bool GetSynchronized();
    void SetPrivate(bool isPrivate);
    bool GetPrivate();
    bool GetPrivateTagChanged();
    void SetPrivateTagChanged(bool changed);
    // Exactly kNumberingSize bytes; a null pointer is asserted and ignored.
    void getNumbering(uint8_t* numbering);
    void setNumbering(const uint8_t* numbering);
    bool getNumberingChanged();
    void setNumberingChanged(bool changed);
    void setNumberingDivider(uint16_t divider);
    uint16_t getNumberingDivider();
    bool getNumberingDividerChanged();
    void setNumberingDividerChanged(bool changed);
};

}  // namespace zr_gen
