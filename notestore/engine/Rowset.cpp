#include "notestore/engine/Rowset.h"

#include <cstring>
#include <new>
#include <typeinfo>
#include <vector>

#include "notestore/engine/RowArena.h"
#include "notestore/engine/TaggedDataManager.h"
#include "notestore/foundation/ByteOrder.h"
#include "notestore/foundation/Exception.h"
#include "notestore/foundation/Messages.h"
#include "platform/Memory.h"

namespace zr_gen {

namespace {

// A memory file reports a short read by its count alone; a truncated row
// must fail the same way as over a disk file, which raises on short reads.
void ReadExactly(CFileStream& stream, void* buffer, uint32_t count) {
    if (stream.Read(buffer, count) != count) {
        ZR_THROW(CException, kMsgFileReadError, DefaultErrorNumber(kMsgFileReadError));
    }
}

void WriteExactly(CFileStream& stream, const void* buffer, uint32_t count) {
    if (stream.Write(buffer, count) != count) {
        ZR_THROW(CException, kMsgFileWriteError, DefaultErrorNumber(kMsgFileWriteError));
    }
}

// The row's `length` block bytes from the stream's position, followed by
// `extra` more bytes, in a C-heap block that the caller then owns.
char* ReadBlock(CFileStream& stream, uint32_t length, uint32_t extra) {
    auto* block = static_cast<char*>(platform::AllocateBytes(length + extra));
    if (block == nullptr) ZR_THROW(CDBException, kMsgOutOfMemory, DefaultErrorNumber(kMsgOutOfMemory));
    try {
        ReadExactly(stream, block, length + extra);
    } catch (...) {
        platform::FreeBytes(block);
        throw;
    }
    return block;
}

// The block of a fresh record: flag byte 0 under tag 1 and sort-changed 0
// under tag 2, both marked changed, exactly as storing them would make it.
constexpr uint8_t kFreshBlock[] = {
    0x74, 0x61, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00,
    0x74, 0x61, 0x00, 0x01, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00,
};

// The blocks of new records: pieces of one growth step carved one after
// another from shared chunks, so that building many records costs no heap
// block each and keeps their bytes together. A piece holds its chunk the
// way a row read from a file holds its span (CBufferManager), moves to a
// heap block of its own when it grows, and the chunk goes with its last
// piece.
class FreshBlocks {
public:
    FreshBlocks() = default;
    FreshBlocks(const FreshBlocks&) = delete;
    FreshBlocks& operator=(const FreshBlocks&) = delete;
    ~FreshBlocks() {
        if (chunk_ != nullptr) RowArena::Drop(chunk_);
    }

    // A piece of kMemBlock bytes in *chunk, or null when no memory can be had.
    char* Take(RowArena::Chunk** chunk) {
        if (chunk_ == nullptr || static_cast<size_t>(end_ - next_) < CDBRecord::kMemBlock) {
            char* bytes = nullptr;
            RowArena::Chunk* fresh = RowArena::NewSpan(kPieces * CDBRecord::kMemBlock, &bytes);
            if (fresh == nullptr) return nullptr;
            if (chunk_ != nullptr) RowArena::Drop(chunk_);
            chunk_ = fresh;
            next_ = bytes;
            end_ = bytes + kPieces * CDBRecord::kMemBlock;
        }
        char* piece = next_;
        next_ += CDBRecord::kMemBlock;
        *chunk = chunk_;
        return piece;
    }

private:
    // Small chunks: a piece still in use keeps its whole chunk.
    static constexpr size_t kPieces = 64;
    RowArena::Chunk* chunk_ = nullptr;
    char* next_ = nullptr;
    char* end_ = nullptr;
};

thread_local FreshBlocks freshBlocks;

}  // namespace

CDBRecord::CDBRecord() : tags_(&data_, 0, false, 0, kMemBlock) {}

void* CDBRecord::operator new(std::size_t bytes) {
    void* piece = RowArena::AllocateAlone(bytes);
    if (piece == nullptr) throw std::bad_alloc();
    return piece;
}

void* CDBRecord::operator new(std::size_t bytes, const std::nothrow_t&) noexcept {
    return RowArena::AllocateAlone(bytes);
}

void* CDBRecord::operator new(std::size_t bytes, RowArena& arena) noexcept { return arena.Allocate(bytes); }

void CDBRecord::operator delete(void* piece) noexcept { RowArena::Release(piece); }

void CDBRecord::operator delete(void* piece, const std::nothrow_t&) noexcept { RowArena::Release(piece); }

void CDBRecord::operator delete(void* piece, RowArena&) noexcept { RowArena::Release(piece); }

CTaggedDataManager& CDBRecord::Tags() const {
    if (fresh_) {
        RowArena::Chunk* chunk = nullptr;
        char* block = freshBlocks.Take(&chunk);
        if (block == nullptr) ZR_THROW(CException, kMsgOutOfMemory, DefaultErrorNumber(kMsgOutOfMemory));
        std::memcpy(block, kFreshBlock, sizeof kFreshBlock);
        data_ = block;
        tags_.assignSpanBuffer(&data_, sizeof kFreshBlock, kMemBlock, kMemBlock, chunk);
        fresh_ = false;
    }
    return tags_;
}

char* CDBRecord::GetRawDataPtr() const {
    Tags().noteEdit();
    return data_;
}

CDBRecord::~CDBRecord() { FreeData(); }

CDBRecord& CDBRecord::operator=(const CDBRecord& other) {
    if (this == &other) return *this;
    const uint32_t size = other.GetRecSize();
    const char* source = other.fresh_ ? reinterpret_cast<const char*>(kFreshBlock) : other.data_;
    char* copy = nullptr;
    if (size != 0) {
        copy = static_cast<char*>(platform::AllocateBytes(size));
        if (copy == nullptr) ZR_THROW(CException, kMsgOutOfMemory, DefaultErrorNumber(kMsgOutOfMemory));
        std::memcpy(copy, source, size);
    }
    FreeData();
    Adopt(copy, size);
    pos_ = kNoPos;
    return *this;
}

void CDBRecord::Adopt(char* data, uint32_t size) {
    fresh_ = false;
    data_ = data;
    tags_.assignBuffer(&data_, size, size, kMemBlock);
}

namespace {

std::vector<const std::type_info*>& PlainRowReaders() {
    static std::vector<const std::type_info*> types{&typeid(CDBRecord)};
    return types;
}

}  // namespace

bool CDBRecord::ReadsPlainRows(const CDBRecord& record) {
    const std::type_info& type = typeid(record);
    const std::vector<const std::type_info*>& plain = PlainRowReaders();
    // One type has one type_info in one program, so the address settles it
    // (every row of a save asks); comparing names, which costs a string
    // compare per registered type, is left for types met through another
    // shared object.
    for (const std::type_info* known : plain) {
        if (known == &type) return true;
    }
    for (const std::type_info* known : plain) {
        if (*known == type) return true;
    }
    return false;
}

bool CDBRecord::RegisterPlainRowReader(const std::type_info& type) {
    PlainRowReaders().push_back(&type);
    return true;
}

void CDBRecord::AdoptRead(uint32_t pos, char* block, uint32_t length, RowArena::Chunk* span) {
    FreeData();
    pos_ = pos;
    data_ = length != 0 ? block : nullptr;
    tags_.assignSpanBuffer(&data_, length, length, kMemBlock, span);
}

// Also a buffer whose tags were all deleted: size 0 does not mean no buffer.
// A manager already empty is left alone, which spares every row read the
// work.
void CDBRecord::FreeData() {
    fresh_ = false;
    const bool empty = data_ == nullptr && tags_.capacity() == 0 && tags_.growthStep() == kMemBlock;
    if (empty) return;
    if (data_ != nullptr) tags_.deleteBuff();
    Adopt(nullptr, 0);
}

void CDBRecord::resize() { Tags().resize(); }

uint32_t CDBRecord::GetRecSize() const { return fresh_ ? sizeof kFreshBlock : tags_.size(); }

// A row costs two stream reads: the start identifier with the length, then
// the block with the end identifier. Where the stream ends inside the row,
// the fields are read one by one so that it fails where it is cut.
void CDBRecord::Read(CFileStream& stream) {
    FreeData();
    pos_ = stream.GetPosition();
    const uint32_t streamLength = stream.GetLength();
    uint32_t left = pos_ < streamLength ? streamLength - pos_ : 0;

    uint8_t head[kStartTagLen + sizeof(uint32_t)];
    const bool wholeHead = left >= sizeof head;
    ReadExactly(stream, head, wholeHead ? sizeof head : kStartTagLen);
    if (std::memcmp(head, kStartTag, kStartTagLen) != 0) {
        ZR_THROW(CDBException, kMsgMissingNewRecordId, DefaultErrorNumber(kMsgMissingNewRecordId));
    }
    uint32_t length = 0;
    if (wholeHead) {
        length = LoadLE32(head + kStartTagLen);
        left -= sizeof head;
    } else {
        // A length cut short reads as what arrived, and nothing is left.
        stream >> length;
        left = 0;
    }

    uint8_t identifier[kEndTagLen];
    bool identifierRead = false;
    if (length != 0) {
        // A damaged length must not make us allocate what the stream cannot hold.
        if (length > left) ZR_THROW(CException, kMsgFileReadError, DefaultErrorNumber(kMsgFileReadError));
        identifierRead = left - length >= kEndTagLen;
        Adopt(ReadBlock(stream, length, identifierRead ? kEndTagLen : 0), length);
        if (identifierRead) std::memcpy(identifier, data_ + length, kEndTagLen);
    }
    if (!identifierRead) ReadExactly(stream, identifier, kEndTagLen);
    if (std::memcmp(identifier, kEndTag, kEndTagLen) != 0) {
        ZR_THROW(CDBException, kMsgMissingEndRecordId, DefaultErrorNumber(kMsgMissingEndRecordId));
    }
}

void CDBRecord::Write(CFileStream& stream) {
    pos_ = stream.GetPosition();
    const uint32_t length = GetRecSize();
    // The start identifier and the length in one piece.
    uint8_t head[kStartTagLen + sizeof(uint32_t)];
    std::memcpy(head, kStartTag, kStartTagLen);
    StoreLE32(head + kStartTagLen, length);
    WriteExactly(stream, head, sizeof head);
    if (length != 0) WriteExactly(stream, fresh_ ? reinterpret_cast<const char*>(kFreshBlock) : data_, length);
    WriteExactly(stream, kEndTag, kEndTagLen);
}

void CDBRecord::Init() {}

uint8_t CDBRecord::GetFlag() {
    uint8_t flag = 0;
    ZR_CHECK_TAG(Tags().getData(kFlagTag, flag));
    return flag;
}

void CDBRecord::SetFlag(uint8_t flag) { ZR_CHECK_TAG(Tags().setData(kFlagTag, flag)); }

void CDBRecord::SetFlagBit(uint32_t position, bool value) {
    uint8_t flag = GetFlag();
    SetBit(flag, position, value);
    SetFlag(flag);
}

bool CDBRecord::FlagBit(uint32_t position) { return GetBit(GetFlag(), position); }

void CDBRecord::SetNew(bool value) { SetFlagBit(kNewBitPos, value); }
void CDBRecord::SetDeleted(bool value) { SetFlagBit(kDelBitPos, value); }
void CDBRecord::SetChanged(bool value) { SetFlagBit(kChangeBitPos, value); }
void CDBRecord::SetEmpty(bool value) { SetFlagBit(kEmptyBitPos, value); }
void CDBRecord::SetArchived(bool value) { SetFlagBit(kArchivedBitPos, value); }
bool CDBRecord::IsNew() { return FlagBit(kNewBitPos); }
bool CDBRecord::IsDeleted() { return FlagBit(kDelBitPos); }
bool CDBRecord::IsChanged() { return FlagBit(kChangeBitPos); }
bool CDBRecord::IsEmpty() { return FlagBit(kEmptyBitPos); }
bool CDBRecord::IsArchived() { return FlagBit(kArchivedBitPos); }

void CDBRecord::ClearChanges() {
    SetNew(false);
    SetChanged(false);
    SetDeleted(false);
}

void CDBRecord::SetSortChanged(bool value) {
    ZR_CHECK_TAG(Tags().setData(kSortChangedTag, static_cast<uint8_t>(value ? 1 : 0)));
}

bool CDBRecord::IsSortChanged() {
    uint8_t value = 0;
    ZR_CHECK_TAG(Tags().getData(kSortChangedTag, value));
    return value != 0;
}

bool CDBRecord::GetBit(uint8_t byte, uint32_t position) { return ((byte >> (7 - position % 8)) & 1) != 0; }

void CDBRecord::SetBit(uint8_t& byte, uint32_t position, bool value) {
    const auto mask = static_cast<uint8_t>(0x80u >> (position % 8));
    byte = static_cast<uint8_t>(value ? byte | mask : byte & ~mask);
}

}  // namespace zr_gen
