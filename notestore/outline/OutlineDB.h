// Outline documents (".zro"): the database container with the shared and
// private outline headers (ids 2 and 3, 512 bytes each), the list of
// deleted item ids in its extra rows, and one row per outline item.
// CMemOutlDB is the linked variant for native callers: version 10, no
// outline headers, no extra rows, rows directly behind the db info.
#pragma once

#include <cstdint>
#include <memory>

#include "notestore/engine/Database.h"
#include "notestore/foundation/Export.h"
#include "notestore/foundation/String.h"
#include "notestore/outline/DeletedThoughts.h"
#include "notestore/outline/OutlineRecord.h"
#include "notestore/outline/PrivateOutlineHeader.h"
#include "notestore/outline/SharedHeader.h"
#include "platform/Graphics.h"

namespace zr_gen {

// The layout of the device's window placement record (44 bytes).
struct WINDOWPLACEMENT {
    uint32_t length = 0;
    uint32_t flags = 0;
    uint32_t showCmd = 0;
    ::POINT ptMinPosition{};
    ::POINT ptMaxPosition{};
    ::RECT rcNormalPosition{};
};
static_assert(sizeof(WINDOWPLACEMENT) == 44);

class ZR_EXPORT COutlineDB : public CDatabase {
public:
    static constexpr uint16_t kVersion = 0;
    static constexpr uint32_t kWindowPlacementLength = sizeof(WINDOWPLACEMENT);

    // Registers the shared and private headers with their defaults and makes
    // an empty deleted-id list. No memory: "Out of memory" (message 11).
    COutlineDB();
    ~COutlineDB() override;

    // 1 when opened (and checked, unless creating); 0 when the file cannot
    // be opened or any library exception comes up while checking it: that
    // one is traced and freed, and the database closed.
    int32_t Open(const char16_t* path, uint32_t mode) override;
    // Version 0 only; else CDBException message 4.
    void CheckDbInfo() override;
    void ReadExtraRows() override;
    void WriteExtraRows() override;
    void CreateRecordset() override;

    COutlineRecordset* GetOutlineRecordset() const { return static_cast<COutlineRecordset*>(recordset_); }

    // ---- deleted ids ----
    void AddDeletedId(uint32_t id);
    void removeDeletedId(uint32_t id);
    bool IsDeleted(uint32_t id) const;
    bool IsDeleted(COutlineRecord* record);
    // Empties the list, then deletes every record from the front; with
    // `keepIds` the non-zero ids of those records become the list.
    void DeleteAll(bool keepIds);
    // Removes the record from the recordset without listing its id.
    void Delete(COutlineRecord* record);
    const CDeletedThoughts& GetDeletedIds() const { return *deleted_; }

    // ---- the two headers against another document's ----
    // Category name, private flag, numbering and divider.
    bool compareSharedHeader(COutlineDB* other);
    // Show-checked-items value and title.
    bool comparePrivateHeader(COutlineDB* other);
    void copySharedHeader(COutlineDB* other);
    void copyPrivateHeader(COutlineDB* other);

    // True when the file has the header and it was read.
    bool ReadSharedHeader();
    void WriteSharedHeader();
    bool ReadPrivateHeader();
    void WritePrivateHeader();
    CSharedHeader* GetSharedHeaderPtr() const;

    // ---- header fields ----
    void GetCategoryName(_String& name);
    void SetCategoryName(const char16_t* name);
    bool GetCategoryChanged();
    void SetCategoryChanged(bool changed);
    bool GetPrivate();
    void SetPrivate(bool isPrivate);
    bool GetPrivateTagChanged();
    void SetPrivateTagChanged(bool changed);
    bool GetOutlineChanged();
    void SetOutlineChanged(bool changed);
    bool GetSynchronized();
    void SetSynchronized(bool synchronized);
    void getNumbering(uint8_t* numbering);
    void setNumbering(const uint8_t* numbering);
    bool getNumberingChanged();
    void setNumberingChanged(bool changed);
    uint16_t getNumberingDivider();
    void setNumberingDivider(uint16_t divider);
    bool getNumberingDividerChanged();
    void setNumberingDividerChanged(bool changed);
    void GetOutlineTitle(_String& title);
    void SetOutlineTitle(const char16_t* title);
    uint8_t GetShowCheckedItems();
    void SetShowCheckedItems(uint8_t mode);
    bool ShowCheckedItemsChanged();
    void setCheckedItemsChanged(bool changed);
    uint32_t GetSelectedIndex();
    void SetSelectedIndex(uint32_t index);
    uint32_t GetTopIndex();
    void SetTopIndex(uint32_t index);
    uint8_t GetShowHeadingsMode();
    void SetShowHeadingsMode(uint8_t mode);
    // The font record without its face name, the face name and the colour.
    // A stored face name longer than the record holds is cut to 31
    // characters. A font of height 0, or reading one never stored, is
    // asserted.
    void SetOutlineFont(const LOGFONTW& font, uint32_t color);
    void GetOutlineFont(LOGFONTW& font, uint32_t* color);
    void SetOutlineWindowPos(const WINDOWPLACEMENT& placement);
    // The length field becomes 44.
    void GetOutlineWindowPos(WINDOWPLACEMENT& placement);

protected:
    CPrivateOutlineHeader* GetPrivateOutlineHeaderPtr() const;

private:
    std::unique_ptr<CDeletedThoughts> deleted_;
};

class ZR_EXPORT CMemOutlDB : public CDatabase {
public:
    static constexpr uint16_t kVersion = 10;
    static constexpr uint32_t kFirstRowPos = 10;

    CMemOutlDB();
    ~CMemOutlDB() override;

    // Version 10 only; else CDBException message 25.
    void CheckDbInfo() override;
    void ReadExtraRows() override;
    void WriteExtraRows() override;
    void CreateRecordset() override;
    uint32_t getFirstRowStartPosReading() override;
    uint32_t getFirstRowStartPosWriting() override;

    CLinkedOutlRS* GetLinkedRecordset() const { return static_cast<CLinkedOutlRS*>(recordset_); }
};

}  // namespace zr_gen
