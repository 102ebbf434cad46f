// The header info table and the header blocks of a database file.
//
// At the table position (10, right after the db info) the file holds the
// entry count N (16-bit) and N entries of header id (16-bit) and slot size
// (32-bit); the slots follow back to back in table order. The manager keeps
// the entries the file records (in file order) and the headers the program
// registers (in registration order, each owning its header object), and
// reconciles the two: a registered header the file records is read and
// written through the recorded entry; one it does not record is appended.
//
// A recorded id that no registered header claims comes from another build of
// the program: its slot bytes are read with the table and written back
// unchanged at the slot's write position, so saving loses nothing.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "notestore/engine/TaggedDataHeader.h"
#include "notestore/foundation/FileStream.h"

namespace zr_gen {

struct ZR_EXPORT THeaderRecord {
    static constexpr uint32_t kStoredSize = 6;
    uint16_t id = 0;
    uint32_t size = 0;
};

struct ZR_EXPORT THeaderInfo {
    THeaderRecord record;
    CTaggedDataHeader* header = nullptr;  // owned by registered entries only
    bool present = false;                 // registered entry the file records
    std::vector<uint8_t> foreignBytes;    // slot of a recorded id nobody registered
};

class ZR_EXPORT CHeaderManager : public CBaseObject {
public:
    static constexpr uint32_t kNoPosition = 0xFFFFFFFFu;

    explicit CHeaderManager(uint16_t headerInfoPosition);
    CHeaderManager(const CHeaderManager&) = delete;
    CHeaderManager& operator=(const CHeaderManager&) = delete;
    ~CHeaderManager() override;

    // Takes ownership of `header` as the header with the record's id and
    // default size. A null header or an id registered before is refused
    // (assertion line; the refused object is deleted).
    void RegisterHeader(const THeaderRecord& record, CTaggedDataHeader* header);
    // A recorded entry, unless the id is recorded already.
    void AddHeader(const THeaderRecord& record);
    // A recorded entry for an id no registered header claims, with the slot
    // bytes it is written back with, as if read from a file: for a caller
    // that carried a file's header table elsewhere and puts it back. False
    // (nothing added) when the id is recorded or registered already or the
    // bytes are not the record's size.
    ZR_INTERNAL bool AddForeignHeader(const THeaderRecord& record, std::vector<uint8_t> bytes);
    // Links registered headers to recorded entries; a recorded slot smaller
    // than the registered default raises message 20 while size problems are
    // reported.
    void AddRegistered();
    // Grows recorded slots to the registered defaults (message 20 while size
    // problems are reported). Headers and rows must all be written again after.
    void ResizeHeaders();
    void SetReportSizeProblem(int32_t report) { reportSizeProblem_ = report; }

    // Reads the table (and the slots of foreign ids) and reconciles it.
    void Read(CFileStream& stream) override;
    // Writes the table only.
    void Write(CFileStream& stream) override;
    // Writes the table and every slot.
    void WriteAll(CFileStream& stream);

    // Reads the id's block and gives missing fields their defaults; false
    // when the file records no such id.
    bool ReadHeader(CFileStream& stream, uint16_t id);
    // Rewrites one block in place. An id the file's table does not record
    // raises CDBException "The db structure is different" (message 3) and
    // writes nothing.
    void WriteHeader(CFileStream& stream, uint16_t id);

    // What the manager remembers of the file's table, to be put back when a
    // save that wrote a new table is undone.
    struct Layout {
        std::vector<THeaderInfo> recorded;
        std::vector<bool> registeredPresent;
    };
    Layout SaveLayout() const;
    void RestoreLayout(const Layout& layout);
    // After WriteAll: the table just written becomes the one the file
    // records, so that later reads and single-header writes find the
    // headers where they now are.
    void AdoptWrittenLayout();

    CTaggedDataHeader* GetHeaderPtr(uint16_t id) const;
    uint32_t GetHeaderReadPos(uint16_t id) const;
    uint32_t GetHeaderWritePos(uint16_t id) const;
    uint32_t GetReadHeadersEnd() const;
    uint32_t GetWriteHeadersEnd() const;

    // The entries, for inspection.
    const std::vector<THeaderInfo>& recorded() const { return recorded_; }
    const std::vector<THeaderInfo>& registered() const { return registered_; }

protected:
    using HeaderList = std::vector<THeaderInfo>;

    uint16_t GetReadHeaderBlockSize() const;
    uint16_t GetWriteHeaderBlockSize() const;
    static uint32_t GetHeaderPos(const HeaderList& list, uint16_t id);
    static uint32_t GetHeadersSize(const HeaderList& list);
    static uint32_t CountNonPresent(const HeaderList& list);
    static void ClearPresentFlag(HeaderList& list);
    static THeaderInfo* Find(HeaderList& list, uint16_t id);
    static const THeaderInfo* Find(const HeaderList& list, uint16_t id);
    static void RemoveAll(HeaderList& list, bool deleteHeaders);
    void WriteHeadersInfo(CFileStream& stream, const HeaderList& list) const;
    void WriteAll(CFileStream& stream, const HeaderList& list) const;

private:
    void ReadForeignSlots(CFileStream& stream);
    static void WriteSlot(CFileStream& stream, const THeaderInfo& entry);

    int32_t reportSizeProblem_ = 1;
    HeaderList recorded_;
    uint16_t headerInfoPosition_;
    HeaderList registered_;
};

}  // namespace zr_gen
