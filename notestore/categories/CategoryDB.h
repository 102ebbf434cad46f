// The device's category database: a database file (see Database.h) listing
// at most 16 categories, one record per slot, holes included.
//
// File particulars:
//   db info version   1 (0 is read as well; 2 and up are refused)
//   header blocks     only the conduit header every database registers
//   extra rows        last id handed out (32-bit), then the new flag (1 byte);
//                     a version-0 file has no flag byte. Always written with it.
//   rows              one CCategoryRecord per slot, in slot order; slot 0
//                     holds the unfiled category (id 0) in a database made by
//                     InitNewDatabase.
//
// Record pointers handed out point into the database's recordset and stay
// owned by it. Failed assertions (null records or names, counts or slots out
// of range, ids already in use, a missing unfiled category) are logged and
// the operation goes on as described at each operation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <type_traits>

#include "notestore/categories/CategoryRecord.h"
#include "notestore/engine/Database.h"
#include "notestore/foundation/Export.h"
#include "notestore/foundation/String.h"
#include "notestore/foundation/Time.h"

namespace zr_gen {

class CCategoryDB;

// A slot index of the recordset; the recordset's size stands for its end.
using CategoryPosition = uint32_t;

// A walk over the live categories of one database; it stands on a live
// category or at the end, never on a hole.
//
// It crosses the flat interface by value, so its layout is fixed (standard
// layout, trivially copyable, checked below):
//   offset 0               database  CCategoryDB*, pointer-sized
//   offset sizeof(void*)   position  uint32_t slot index
//   size   2 * sizeof(void*)         (16 on 64-bit: 4 bytes of tail padding)
// The C mirror: struct { void* database; uint32_t position; }.
class ZR_EXPORT CCategoryIterator {
public:
    // No database, position 0.
    CCategoryIterator() = default;
    // On the first live category at or after the position (or at the end).
    CCategoryIterator(CCategoryDB* database, CategoryPosition position);
    CCategoryIterator(const CCategoryIterator&) = default;
    CCategoryIterator& operator=(const CCategoryIterator&) = default;

    // The record it stands on; null at the end (or without a database).
    CCategoryRecord* operator*() const;
    // One step, then on to the next live category (or the end).
    CCategoryIterator& operator++();
    // Positions only; the databases are not compared.
    bool operator!=(const CCategoryIterator& other) const { return position_ != other.position_; }
    bool operator!=(CategoryPosition position) const { return position_ != position; }

    CategoryPosition GetRowIterator() const { return position_; }
    // Moves forward while on a hole and not at the end; a position past the
    // end (the recordset shrank) becomes the end.
    void FindFirst();

private:
    CCategoryDB* database_ = nullptr;
    CategoryPosition position_ = 0;
};

static_assert(std::is_trivially_copyable_v<CCategoryIterator>);
static_assert(std::is_standard_layout_v<CCategoryIterator>);
static_assert(sizeof(CCategoryIterator) == 2 * sizeof(void*));

class ZR_EXPORT CCategoryDB : public CDatabase {
public:
    static constexpr uint8_t kMaxCategoryAmount = 16;
    static constexpr uint16_t kVersion = 1;
    static constexpr uint32_t kFirstCategoryId = 128;  // m_lastCategoryId of a new database
    static constexpr uint32_t kLastCategoryId = 255;
    static constexpr uint32_t kUnfiledCategoryId = 0;
    static constexpr uint32_t kUnfiledNameCapacity = CCategoryRecord::kMaxNameLength + 1;  // terminator included

    // Makes its CCategoryRecordset; version 1, last id 128, new flag set.
    // No memory: CException "Out of memory" (message 11).
    CCategoryDB();
    // The container cannot be copied (it owns its file, recordset and
    // headers), so neither can the category database.
    CCategoryDB(const CCategoryDB&) = delete;
    CCategoryDB& operator=(const CCategoryDB&) = delete;
    ~CCategoryDB() override;

    // Container hooks. Public here: the flat interface drives them directly.
    // Version above 1: CException message 4.
    void CheckDbInfo() override;
    // Registered headers added, new flag 1, last id 128, then the unfiled
    // category (id 0, the unfiled name, now) in slot 0.
    void InitNewDatabase() override;
    // Sets the version to 1, then writes the db info.
    void WriteDbInfo() override;
    // Reads the extra rows at the stream's position. A file too short for
    // them: CException "File IO read error" (message 8), nothing changed.
    void ReadExtraRows() override;
    void WriteExtraRows() override;
    // Replaces the recordset (and its records) with a new, empty
    // CCategoryRecordset; no memory: message 11, the old one stays.
    void CreateRecordset() override;

    static uint8_t GetMaxCategoryAmount() { return kMaxCategoryAmount; }
    CCategoryRecordset* GetCatRecordset() const;
    // Asserts the index is below 16; null when the slot does not exist.
    CCategoryRecord* GetByIndex(uint32_t index) const;

    bool isNew() const { return newFlag_ != 0; }
    void setNewFlag(bool value) { newFlag_ = value ? 1 : 0; }
    // Nonzero when 16 or more live categories exist.
    int32_t isFull();
    uint16_t GetCategoryCount();

    CCategoryIterator GetIterator();
    CategoryPosition End() const;

    // The first live category with exactly this name, cut as a stored name
    // is (null name: asserted, nothing found), or with this id; null when
    // there is none.
    CCategoryRecord* FindCategory(const char16_t* name);
    CCategoryRecord* FindCategory(uint32_t id);

    // The id after the last one handed out, wrapping from 255 to 128 once,
    // then skipping ids of live categories. None left up to 255: CException
    // message 19, the last id keeps the value reached.
    uint32_t GetNewCategoryId();
    // The first slot whose empty flag is set; with none, a new record is
    // appended and its slot returned.
    uint32_t FindFirstHole();
    // Appends empty records until the recordset holds more than `index`. An
    // index of 16 or more is asserted and appends nothing: no category slot
    // lies there.
    void ResizeDB(uint32_t index);

    // New category with an allocated id in the first hole; a null time means
    // now. The slot is live, neither empty nor deleted, while its id is
    // chosen, so the id a deleted category held there is not handed out
    // again. First hole at slot 16 or beyond: CException message 21; no id
    // free: message 19. On any failure the slot is as it was (the record the
    // hole search appended is removed again).
    CCategoryRecord* AddNewCategory(const char16_t* name, const CTime* time);
    // The same, keeping the time the slot had: the flat name-based add.
    CCategoryRecord* AddNewCategoryKeepingTime(const char16_t* name);
    // The same with the given id, asserted to be unused by a live category.
    CCategoryRecord* AddNewCategory(uint32_t id, const char16_t* name, const CTime* time);
    // Writes the category into the given slot, growing the recordset when
    // needed; no id is allocated, no hole searched. A slot of 16 or more is
    // asserted and gives null, nothing changed.
    CCategoryRecord* AddNewCategory(uint32_t id, const char16_t* name, CTime time, uint32_t slot);

    // Marks the record empty and deleted and stamps the time.
    void DeleteCategory(CCategoryRecord* record, CTime time);
    // Revives the record (not empty, not deleted, new, changed) with the
    // time and a newly allocated id.
    void UndeleteCategory(CCategoryRecord* record, CTime time);
    // New name and time; the record is marked changed.
    void RenameCategory(CCategoryRecord* record, const char16_t* name, CTime time);

    // A null record is asserted: 0, respectively nothing done.
    uint32_t GetCategoryID(CCategoryRecord* record);
    // Also marks the record changed.
    void SetCategoryID(CCategoryRecord* record, uint32_t id);
    void GetCategoryName(CCategoryRecord* record, _String& name);

    // Destroys every record and sets the last id to 128.
    void deleteAllCategories();
    // Renumbers for the desktop side: the unfiled category gets id 0, every
    // other live category 129, 130, … in slot order. The unfiled category is
    // the one bearing the unfiled name, else the one that has id 0 (its name
    // was set under another unfiled name); with neither, an assertion, and
    // every category is renumbered. The changed flags are not touched.
    void setDesktopCategoryIDs();

    // The process-wide unfiled name, cut as a stored name is (31 UTF-16
    // units, no half surrogate pair). A null name is asserted and changes
    // nothing.
    static void setUnfiledCategoryName(const char16_t* name);
    static const char16_t* getUnfiledCategoryName();

protected:
    uint32_t lastCategoryId_ = kFirstCategoryId;  // the last id handed out
    uint8_t newFlag_ = 1;                         // kept for the caller

private:
    // The live category bearing the unfiled name, else the one with id 0.
    CCategoryRecord* FindUnfiled();
    // The hole search and the id allocation shared by the first two forms.
    // A null stamp keeps the slot's time.
    CCategoryRecord* AddInFirstHole(uint32_t id, bool allocateId, const char16_t* name, std::optional<CTime> stamp);
    // Tags first, flags last, so a failing tag store leaves a hole a hole.
    static void WriteCategory(CCategoryRecord& record, uint32_t id, const char16_t* name, std::optional<CTime> stamp);

    static char16_t kUnfiledCategoryName[kUnfiledNameCapacity];
};

}  // namespace zr_gen
