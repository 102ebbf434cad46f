// One category of the category database, and the recordset that makes them.
//
// A category is a row (see Rowset.h) whose fields are tags of its block:
//   tag 5   category id, 32-bit: 0 for the unfiled category, else 128..255
//   tag 6   name, a string tag (stored under 0x10006); compared exactly
//   tag 7   last changed time, 32-bit seconds since 1970 (CTime)
// A record whose empty flag is set is a hole: a slot never used or a deleted
// category. Everything else is a live category.
//
// A missing or damaged tag raises through CTaggedDataManager::ProcessError
// (a CException with the tag message); so does a block that cannot grow.
#pragma once

#include <cstdint>

#include "notestore/engine/RowsCollection.h"
#include "notestore/engine/Rowset.h"
#include "notestore/foundation/Export.h"
#include "notestore/foundation/String.h"
#include "notestore/foundation/Time.h"

namespace zr_gen {

class ZR_EXPORT CCategoryRecord : public CDBRecord {
public:
    static constexpr uint32_t kCategoryIdTag = 5;
    static constexpr uint8_t kCategoryNameTag = 6;
    static constexpr uint32_t kLastChangedTimeTag = 7;
    // UTF-16 units of a name: a longer one is stored, and looked up, cut to
    // this (CutText). Any 31 units fit a document's shared header beside
    // its other fields, whatever the script.
    static constexpr uint32_t kMaxNameLength = 31;

    CCategoryRecord() = default;
    ~CCategoryRecord() override;

    // Id 0, empty name, time 0; the flags stay as CDBRecord made them.
    void Init() override;

    void SetCategoryId(uint32_t id);
    uint32_t GetCategoryId();
    // A null name is asserted and stored as the empty name; a longer name
    // than kMaxNameLength is cut.
    void SetCategoryName(const char16_t* name);
    void GetCategoryName(_String& name);
    void SetLastChangedTime(CTime time);
    CTime GetLastChangedTime();
};

class ZR_EXPORT CCategoryRecordset : public CDBRecordset {
public:
    CCategoryRecordset() = default;
    ~CCategoryRecordset() override;

    // A new CCategoryRecord with Init called on it; no memory: CException
    // "Out of memory" (message 11).
    CCategoryRecord* CreateDBRecord() override;
    // The record at the index, or null when the index is not below the size.
    CCategoryRecord* getCategoryRecord(uint32_t index) const;
};

}  // namespace zr_gen
