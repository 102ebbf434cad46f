// The generic database file: a 10-byte db info block, the header info table,
// the header slots, an area of extra rows owned by the subclass, and one
// framed row per record.
//
//   offset 0   check code 0x12345678 (32-bit)
//          4   version number (16-bit; meaning fixed by the subclass)
//          6   row count (32-bit)
//          10  header info table and slots (see HeaderManager.h)
//          …   extra rows (the subclass's), then the rows (see Rowset.h);
//              the file ends after the last row.
//
// A database is itself the stream it reads and writes through. Reading and
// writing rows and headers is buffered (see StreamBuffer.h): the cost is
// linear in the file, a few system calls per 64 KiB.
//
// Saving is crash-safe (see JournaledFile.h) for a file the database opens
// itself for writing: a save is one transaction from its first write to the
// end of WriteRows, of a WriteHeader that began it, or of Close. A save that
// fails raises its error after putting the old document back on disk and in
// the remembered db info and header table.
//
// Such a save also costs what changed: WriteRows passes over every row that
// the file already holds where it belongs (see WriteRows), so the file ends
// byte for byte as a save of every row would leave it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "notestore/engine/ConduitHeader.h"
#include "notestore/engine/HeaderManager.h"
#include "notestore/engine/RollbackJournal.h"
#include "notestore/foundation/FileStream.h"

namespace zr_gen {

class CDBRecord;
class CDBRecordset;
class JournaledFile;

struct ZR_EXPORT TDbInfo {
    static constexpr uint32_t kStoredSize = 10;
    uint32_t checkCode = 0;
    uint16_t versionNum = 0;
    uint32_t rowCount = 0;
};

class ZR_EXPORT CDatabase : public CFileStream {
public:
    static constexpr uint32_t kCheckCode = 0x12345678;
    static constexpr uint16_t kHeaderInfoPosition = 10;
    static constexpr uint32_t kCreateFlag = 0x1000;

    // With createRecordset the base recordset is made here; subclasses that
    // make their own pass false and call their CreateRecordset.
    explicit CDatabase(bool createRecordset);
    CDatabase(const CDatabase&) = delete;
    CDatabase& operator=(const CDatabase&) = delete;
    // Closes the file, deletes the recordset, then the header objects.
    ~CDatabase() override;

    // 1 when opened (and, without the create flag, the db info and the
    // header table were read and checked); 0 when the file could not be
    // opened. Errors while reading pass as exceptions; the file stays open.
    // A hot journal beside the file is played back first. Opening to write
    // also opens to read (the journal reads what a save overwrites), and
    // creating over an existing file empties it as the first step of a save.
    int32_t Open(const char16_t* path, uint32_t mode) override;
    // Ends a save in progress (commits it, or rolls back one that failed),
    // then closes the file. A failed commit raises after the file is closed.
    void Close() override;

    virtual void CheckDbInfo() = 0;
    virtual void InitNewDatabase();
    virtual void WriteDbInfo();

    void ReadDbInfo();
    void ReadHeaderInfo();
    void WriteHeaderInfo();
    void ReadConduitHeader();
    void WriteConduitHeader();
    CConduitHeader* GetConduitHeader() const;
    // Writes on a database that is not open raise CFileException
    // "invalidFile" (OS error 6) and write nothing.
    void WriteAllHeaders();

    void ReadRows();
    // Writes the extra rows and every row after the headers, then the row
    // count, and cuts the file after the last row. In a file the database
    // opened itself, denying other writers, a row whose record still holds
    // exactly what the file holds at that row's place is not written again:
    // a record read or saved here and not changed since (by any edit or
    // writable pointer; see CDBRecord::IsStoredIn), found at the position it
    // had. Appending or changing a few rows writes those and the rows that
    // move. A change to the file through another handle, seen by its length
    // or last-write time, makes the next save write everything.
    void WriteRows();
    void ReadRow(uint32_t position, CDBRecord* record);
    // Removes every record marked deleted, in one pass.
    void purgeDeletedRecs();

    uint32_t GetVersionNum() const { return dbInfo_.versionNum; }
    CDBRecordset* GetRecordset() const { return recordset_; }
    CDBRecord* getRecord(uint32_t index) const;
    CDBRecord* operator[](uint32_t index) const { return getRecord(index); }

    const TDbInfo& GetDbInfo() const { return dbInfo_; }
    CHeaderManager& GetHeaderManager() { return headerManager_; }

protected:
    virtual void ReadExtraRows() = 0;
    virtual void WriteExtraRows() = 0;
    // Makes the recordset (a plain CDBRecordset here); "Out of memory"
    // (message 11) when it cannot be had.
    virtual void CreateRecordset();
    virtual uint32_t getFirstRowStartPosReading();
    virtual uint32_t getFirstRowStartPosWriting();

    bool ReadHeader(uint16_t id);
    void WriteHeader(uint16_t id);

    CDBRecordset* recordset_ = nullptr;
    CHeaderManager headerManager_;
    TDbInfo dbInfo_;

private:
    enum class SaveEnd { Continue, CommitIfBegun, Commit };
    struct FileLook {
        uint64_t lastWrite = 0;
        uint32_t length = 0;
        bool operator==(const FileLook&) const = default;
    };
    struct SavedState {
        TDbInfo dbInfo;
        CHeaderManager::Layout layout;
    };

    void MakePlainRecordset();
    // Raises the file error of a write on a database that is not open.
    void RequireOpen() const;
    // Runs `body` as (part of) a save, ending it as `end` says; on failure
    // the save is rolled back and the error passes.
    template <class Body>
    void Save(SaveEnd end, Body body);
    // Keeps the original bytes of a range a save is about to rewrite.
    void KeepOriginal(uint32_t offset, uint32_t count);
    void CommitSave();
    void RollBackSave();
    void FinishSave();
    // Which records may be passed over: those marked with the current token.
    // A new token forgets every mark; the look is how the file was when the
    // marks were last known to hold.
    void ForgetStoredRows();
    FileLook LookNow() const;  // never throws: a zero look when unknown
    void LookAtFile();
    bool FileChangedElsewhere() const;
    struct FileRange {
        uint32_t offset;
        uint32_t count;
    };
    // Appends to *ranges every range of the file (`length` bytes) that rows
    // written from `at` (the first row's position) would change, the cut
    // after the last row included; stops early, returning true, once they
    // come to `enough` bytes of the file.
    bool RangesToRewrite(uint32_t at, uint32_t length, uint64_t enough, std::vector<FileRange>* ranges) const;
    // Whether the save under way rewrites so much of the file (its rows
    // starting at `rowsStart`, the first row going at `at`) that writing it
    // anew costs less than journaling what it overwrites; it then begins
    // writing it anew. Otherwise *ranges are the rows' ranges to keep.
    bool BeginWritingAnew(uint32_t rowsStart, uint32_t at, std::vector<FileRange>* ranges);
    // The database's own file when it opened it to write, else null.
    JournaledFile* Journaled() const;
    // Whether a save is under way: begun and neither committed nor undone.
    bool SaveUnderWay() const;

    std::unique_ptr<RollbackJournal> journal_;  // for a file opened to write
    std::optional<SavedState> saved_;           // as the save in progress began
    bool headersFailed_ = false;                // the save's WriteAllHeaders failed
    bool soleWriter_ = false;                   // the open denies other writers
    uint32_t fileToken_ = 0;                    // 0: no row counts as stored
    FileLook look_;
};

}  // namespace zr_gen
