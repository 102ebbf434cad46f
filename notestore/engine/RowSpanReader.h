// Reads the rows of a database file in spans of up to 2 MiB: one stream
// read per span instead of several per row, and each sound row's block used
// where it lies in the span (CDBRecord::AdoptRead), so that reading many
// rows allocates and copies little.
//
// A row that its span cannot show whole and sound (a wrong identifier, a
// length reaching past the file, a row larger than a span) is read by the
// record's own Read from the row's position, which reads or reports it
// exactly as it always did: the records and errors are those of reading the
// rows one by one.
#pragma once

#include <cstdint>
#include <typeinfo>

#include "notestore/engine/RowArena.h"

namespace zr_gen {

class CDBRecord;
class CFileStream;

class RowSpanReader {
public:
    // Reads from the stream's position on.
    explicit RowSpanReader(CFileStream& stream);
    RowSpanReader(const RowSpanReader&) = delete;
    RowSpanReader& operator=(const RowSpanReader&) = delete;
    // Gives up the current span; the rows taken from it hold it.
    ~RowSpanReader();

    // Reads the next row into the record. No memory for a span: CDBException
    // "Out of memory" (message 11); the stream's and the record's errors
    // pass as they are.
    void ReadInto(CDBRecord& record);
    // Leaves the stream right after the last row read.
    void Finish();

private:
    // A large page less the span's count of holds: one sweep of the read
    // fills one large page (see platform::AllocateSweepBytes).
    static constexpr uint32_t kSpanBytes = (2u << 20) - 64;
    enum class Frame { Whole, Cut, Damaged };

    // The row at `offset` in the span: whole and sound, cut by the span's
    // end, or damaged; *length is its block length when whole.
    Frame Examine(uint32_t offset, uint32_t* length) const;
    bool TakeFromSpan(CDBRecord& record);
    // CDBRecord::ReadsPlainRows, asked once per record class: the rows of
    // a read are nearly always all of one.
    bool ReadsPlainRows(const CDBRecord& record);
    // Makes the span start at the next row; false when too little is left.
    bool Refill();

    CFileStream& stream_;
    const uint32_t streamLength_;
    uint32_t position_;  // of the next row
    RowArena::Chunk* span_ = nullptr;
    char* bytes_ = nullptr;
    uint32_t spanStart_ = 0;
    uint32_t spanSize_ = 0;
    const std::type_info* checkedType_ = nullptr;
    bool checkedPlain_ = false;
};

}  // namespace zr_gen
