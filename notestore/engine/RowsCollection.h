// The ordered list of a database's records; its order is the order of the
// rows in the file. The recordset owns its records: Free, Delete,
// DeleteMarked and the destructor destroy them, emptyRS only forgets them.
//
// A record that is not in the list, passed where one must be, is a
// programming error: an assertion line, then the call changes nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>

#include "notestore/engine/RowArena.h"
#include "notestore/foundation/Export.h"

namespace zr_gen {

class CDBRecord;

class ZR_EXPORT CDBRecordset {
public:
    CDBRecordset() = default;
    CDBRecordset(const CDBRecordset&) = delete;
    CDBRecordset& operator=(const CDBRecordset&) = delete;
    virtual ~CDBRecordset();

    // A new record of this recordset's kind with Init called on it; no
    // memory: CException "Out of memory" (number 10) after the trace line.
    virtual CDBRecord* CreateDBRecord();

    // A new record at the end, its index set to its list position.
    CDBRecord* Append();
    // The same for a row about to be read into it: Init is not called, as
    // reading a row replaces the record's whole block (and the Init of every
    // record kind only stores tags in it), so its defaults would be thrown
    // away at once.
    CDBRecord* AppendToRead();
    // Takes over an existing record at the end; its index is not touched.
    void add(CDBRecord* record);
    // A new record placed immediately before or after `record` (null when
    // `record` is not in the list); its index is not assigned.
    CDBRecord* InsertBefore(CDBRecord* record);
    CDBRecord* InsertAfter(CDBRecord* record);
    // Puts `record` immediately before `before`, or at the end for null.
    void MoveBefore(CDBRecord* record, CDBRecord* before);

    // Destroy the record and remove it from the list; the record form
    // returns the position that followed it (-1 when it is not in the list).
    void Delete(int32_t index);
    int32_t Delete(CDBRecord* record);
    // Destroys the record without touching the list.
    void DeleteDBRecord(CDBRecord* record);
    // Destroys every record marked deleted and closes the gaps, in one pass;
    // returns how many went. A flag that cannot be read raises through
    // ProcessError and leaves the list holding every record not destroyed.
    uint32_t DeleteMarked();

    // The record's list position (-1 when it is not in the list); a linear
    // scan.
    int32_t GetRowPos(const CDBRecord* record) const;
    // Null when the index is not below the size.
    CDBRecord* getRecord(uint32_t index) const;
    int32_t getSize() const { return static_cast<int32_t>(records_.size()); }

    void Free();
    void emptyRS() { records_.clear(); }

protected:
    // For CreateDBRecord overrides: the freshly allocated record with Init
    // called on it (except within AppendToRead), or for null the
    // out-of-memory error; a record whose Init fails is freed before the
    // error passes.
    CDBRecord* Initialized(CDBRecord* created) const;
    // A new T carved from the arena, or null when memory runs out: what
    // CreateDBRecord overrides pass to Initialized.
    template <class T>
    T* NewPooled() {
        static_assert(alignof(T) <= RowArena::kAlignment, "records are carved at this alignment");
        return new (arena_) T();
    }

private:
    // Memory for the list itself running out surfaces as the library's
    // out-of-memory error, never as std::bad_alloc.
    void InsertAt(std::size_t position, CDBRecord* record);
    CDBRecord* InsertNew(std::size_t position);

    // A deque: removing at the front costs as little as at the back, so
    // emptying a large recordset from the front stays linear.
    std::deque<CDBRecord*> records_;
    // Where the records of CreateDBRecord come from; each lives until it is
    // destroyed, whatever becomes of the recordset (see RowArena.h).
    RowArena arena_;
    bool initRecords_ = true;  // false while AppendToRead makes its record
};

}  // namespace zr_gen
