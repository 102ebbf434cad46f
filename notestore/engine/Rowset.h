// One row of a database file: a framed tagged data block that always holds
// the record flag byte (tag 1) and the sort-changed byte (tag 2), plus the
// tags a subclass stores.
//
// On disk a row is:
//   offset 0      start identifier 50 4B 01 02
//          4      data length L, 32-bit little-endian
//          8      L bytes of tagged data
//          8 + L  end identifier 50 4B 03 04
//
// The block's buffer is owned by the record: a C-heap block
// (platform::AllocateBytes), or for rows read by CDatabase::ReadRows the
// row's bytes inside a span of the file (see RowArena.h) until the first
// growth moves them to the C heap.
// The record's tag manager grows it through a pointer to data_.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>

#include "notestore/engine/RowArena.h"
#include "notestore/engine/TaggedDataManager.h"
#include "notestore/foundation/Export.h"
#include "notestore/foundation/FileStream.h"

#include <typeinfo>

namespace zr_gen {


class ZR_EXPORT CDBRecord : public CBaseObject {
public:
    // Flag byte bit positions, counted from the most significant bit: the
    // mask of position p is 0x80 >> p. Masks 0x04 to 0x01 carry nothing.
    static constexpr uint32_t kNewBitPos = 0;
    static constexpr uint32_t kDelBitPos = 1;  // stays in the recordset and the file until purged
    static constexpr uint32_t kChangeBitPos = 2;
    static constexpr uint32_t kEmptyBitPos = 3;  // a free category slot
    static constexpr uint32_t kArchivedBitPos = 4;

    static constexpr uint16_t kMemBlock = 512;  // growth step of row buffers
    static constexpr uint32_t kStartTagLen = 4;
    static constexpr uint32_t kEndTagLen = 4;
    static constexpr uint8_t kStartTag[kStartTagLen] = {0x50, 0x4B, 0x01, 0x02};
    static constexpr uint8_t kEndTag[kEndTagLen] = {0x50, 0x4B, 0x03, 0x04};

    static constexpr uint32_t kFlagTag = 1;
    static constexpr uint32_t kSortChangedTag = 2;

    // pos of a record that has never been in a file.
    static constexpr uint32_t kNoPos = 0xFFFFFFFFu;

    // Flag 0 and sort-changed 0, pos kNoPos, index 0 (a record the recordset
    // did not append keeps index 0 until its owner sets one). When memory
    // runs out the constructor frees what it took and throws: a CException
    // "Out of memory" for the tag manager, the tag error of ProcessError for
    // the two tags.
    CDBRecord();
    // A copy would share the buffer and the tag manager and free them twice.
    CDBRecord(const CDBRecord&) = delete;
    // Takes a copy of the other record's block in a buffer of exactly its
    // size, pos kNoPos; index and tag manager stay this record's own. When
    // the copy cannot be allocated: CException "Out of memory", this record
    // unchanged.
    CDBRecord& operator=(const CDBRecord& other);
    ~CDBRecord() override;

    // Records live in RowArena pieces (see RowArena.h): `new` makes a piece
    // of its own, a recordset carves its records from its arena
    // (`new (arena) T`, null when no memory), and delete releases either.
    // The throwing form raises std::bad_alloc like any `new`.
    static void* operator new(std::size_t bytes);
    static void* operator new(std::size_t bytes, const std::nothrow_t&) noexcept;
    static void* operator new(std::size_t bytes, RowArena& arena) noexcept;
    static void operator delete(void* piece) noexcept;
    static void operator delete(void* piece, const std::nothrow_t&) noexcept;
    static void operator delete(void* piece, RowArena& arena) noexcept;

    // Reads the row at the stream's position into this record; pos becomes
    // that position. Failures, each raised after the trace line:
    // - start identifier wrong: CDBException message 5, block empty;
    // - data length beyond the stream's end, or the stream ending inside the
    //   row: CException "File IO read error" (number 7); nothing is
    //   allocated for a length the stream cannot hold; the block is empty,
    //   or, when only the end identifier is cut, the block read stays;
    // - no memory for the block: CDBException message 11, block empty;
    // - end identifier wrong: CDBException message 6, the block read stays.
    // The tags are not examined; a damaged tag shows when it is accessed.
    void Read(CFileStream& stream) override;
    // Writes the row at the stream's position; pos becomes that position. A
    // short write raises CException "File IO write error" (number 8).
    void Write(CFileStream& stream) override;
    // What Read makes of a sound row at `pos` whose `length` block bytes
    // already lie in memory inside `span` (held from now on): CDatabase's
    // bulk read of the rows. The block is used where it lies, capacity
    // `length`, until the first growth moves it to the C heap.
    void AdoptRead(uint32_t pos, char* block, uint32_t length, RowArena::Chunk* span);
    // Whether `record` reads and writes its row with CDBRecord's own Read and
    // Write: true only for the classes registered so (the library's own).
    // Bulk reading fills those through AdoptRead, and a save may pass over
    // one still as it lies in the file (IsStoredIn); a caller's subclass,
    // which may override either, is read through its Read and always
    // written through its Write.
    static bool ReadsPlainRows(const CDBRecord& record);
    // Registers a record class whose Read and Write are CDBRecord's; returns
    // true.
    static bool RegisterPlainRowReader(const std::type_info& type);

    // Marks the block as the row the file identified by `fileToken` holds at
    // pos (see CDatabase::WriteRows). The mark lasts until the block changes
    // in any way (CBufferManager::noteEdit) or pos is set.
    void MarkStored(uint32_t fileToken) {
        storedIn_ = fileToken;
        tags_.setMark(CBufferManager::kStoredMark);
    }
    // Whether the file identified by `fileToken` (never 0) holds this block
    // as the row at pos.
    bool IsStoredIn(uint32_t fileToken) const {
        return fileToken != 0 && storedIn_ == fileToken && !fresh_ && tags_.hasMark(CBufferManager::kStoredMark);
    }
    // Called by CDBRecordset::CreateDBRecord on every record it makes.
    virtual void Init();

    uint32_t GetRecSize() const;
    // Writable, so it counts as an edit of the block.
    char* GetRawDataPtr() const;
    // Releases the buffer; the block is then empty with growth step 512.
    void FreeData();
    // Trims the buffer to the smallest multiple of 512 above the block size.
    void resize();

    // A damaged or missing flag or sort-changed tag raises through
    // CTaggedDataManager::ProcessError.
    uint8_t GetFlag();
    void SetFlag(uint8_t flag);
    void SetNew(bool value);
    void SetDeleted(bool value);
    void SetChanged(bool value);
    void SetEmpty(bool value);
    void SetArchived(bool value);
    bool IsNew();
    bool IsDeleted();
    bool IsChanged();
    bool IsEmpty();
    bool IsArchived();
    // Clears new, changed and deleted, in that order.
    void ClearChanges();
    void SetSortChanged(bool value);
    bool IsSortChanged();

    // Bit (7 - position mod 8) of the byte.
    static bool GetBit(uint8_t byte, uint32_t position);
    static void SetBit(uint8_t& byte, uint32_t position, bool value);

    bool IsFileRecord() const { return pos_ != kNoPos; }
    uint32_t GetIndex() const { return index_; }
    void SetIndex(uint32_t index) { index_ = index; }
    uint32_t GetPos() const { return pos_; }
    void SetPos(uint32_t pos) {
        pos_ = pos;
        storedIn_ = 0;
    }

    // The block's tags, through which the subclasses store their fields.
    CTaggedDataManager& getTaggedDataManager() { return Tags(); }
    const CTaggedDataManager& getTaggedDataManager() const { return Tags(); }

private:
    void SetFlagBit(uint32_t position, bool value);
    bool FlagBit(uint32_t position);
    // Makes `data` (size bytes, all in use) the block.
    void Adopt(char* data, uint32_t size);

    // The manager, with the fresh block made on first use.
    CTaggedDataManager& Tags() const;

    uint32_t index_ = 0;
    uint32_t pos_ = kNoPos;
    uint32_t storedIn_ = 0;  // the file token of MarkStored; 0: none
    // A fresh record's block (flag 0, sort-changed 0) exists only as a
    // template until something touches it, so a record that is at once read
    // from a file, as every row is, never allocates it. Logically const.
    mutable bool fresh_ = true;
    mutable char* data_ = nullptr;
    // The manager lives inside the record: one allocation less per row.
    mutable CTaggedDataManager tags_;
};

}  // namespace zr_gen
