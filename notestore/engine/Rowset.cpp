#include "notestore/engine/Rowset.h"

#include <cstring>

#include "notestore/engine/TaggedDataManager.h"
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

// The row's `length` block bytes from the stream's position, in a buffer of
// exactly that size that the caller then owns. A damaged length must not
// make us allocate what the stream cannot hold.
char* ReadBlock(CFileStream& stream, uint32_t length) {
    const uint32_t position = stream.GetPosition();
    const uint32_t streamLength = stream.GetLength();
    if (position > streamLength || length > streamLength - position) {
        ZR_THROW(CException, kMsgFileReadError, DefaultErrorNumber(kMsgFileReadError));
    }
    auto* block = static_cast<char*>(platform::AllocateBytes(length));
    if (block == nullptr) ZR_THROW(CDBException, kMsgOutOfMemory, DefaultErrorNumber(kMsgOutOfMemory));
    try {
        ReadExactly(stream, block, length);
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

}  // namespace

CDBRecord::CDBRecord() : tags_(&data_, 0, false, 0, kMemBlock) {}

CTaggedDataManager& CDBRecord::Tags() const {
    if (fresh_) {
        auto* block = static_cast<char*>(platform::AllocateBytes(kMemBlock));
        if (block == nullptr) ZR_THROW(CException, kMsgOutOfMemory, DefaultErrorNumber(kMsgOutOfMemory));
        std::memcpy(block, kFreshBlock, sizeof kFreshBlock);
        data_ = block;
        tags_.assignBuffer(&data_, sizeof kFreshBlock, kMemBlock, kMemBlock);
        fresh_ = false;
    }
    return tags_;
}

char* CDBRecord::GetRawDataPtr() const {
    Tags();
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

// Also a buffer whose tags were all deleted: size 0 does not mean no buffer.
void CDBRecord::FreeData() {
    fresh_ = false;
    if (data_ != nullptr) tags_.deleteBuff();
    Adopt(nullptr, 0);
}

void CDBRecord::resize() { Tags().resize(); }

uint32_t CDBRecord::GetRecSize() const { return fresh_ ? sizeof kFreshBlock : tags_.size(); }

void CDBRecord::Read(CFileStream& stream) {
    FreeData();
    pos_ = stream.GetPosition();
    uint8_t identifier[kStartTagLen];
    ReadExactly(stream, identifier, kStartTagLen);
    if (std::memcmp(identifier, kStartTag, kStartTagLen) != 0) {
        ZR_THROW(CDBException, kMsgMissingNewRecordId, DefaultErrorNumber(kMsgMissingNewRecordId));
    }
    // A length cut short reads as what arrived; the end identifier that
    // cannot follow then reports the truncation.
    uint32_t length = 0;
    stream >> length;
    if (length != 0) Adopt(ReadBlock(stream, length), length);
    ReadExactly(stream, identifier, kEndTagLen);
    if (std::memcmp(identifier, kEndTag, kEndTagLen) != 0) {
        ZR_THROW(CDBException, kMsgMissingEndRecordId, DefaultErrorNumber(kMsgMissingEndRecordId));
    }
}

void CDBRecord::Write(CFileStream& stream) {
    pos_ = stream.GetPosition();
    const uint32_t length = GetRecSize();
    WriteExactly(stream, kStartTag, kStartTagLen);
    stream << length;
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
