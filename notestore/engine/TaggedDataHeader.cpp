#include "notestore/engine/TaggedDataHeader.h"

#include <algorithm>
#include <cstring>

#include "notestore/foundation/Exception.h"
#include "notestore/foundation/FileStream.h"
#include "notestore/foundation/Messages.h"
#include "platform/Memory.h"

namespace zr_gen {

CTaggedDataHeader::CTaggedDataHeader() : tags_(&data_, 0, false, 0, kHeaderMemBlock) {}

CTaggedDataHeader::~CTaggedDataHeader() { FreeData(); }

void CTaggedDataHeader::Adopt(char* data, uint32_t size, uint32_t capacity) {
    data_ = data;
    tags_.assignBuffer(&data_, size, capacity, kHeaderMemBlock);
}

void CTaggedDataHeader::FreeData() {
    if (data_ != nullptr) platform::FreeBytes(data_);
    Adopt(nullptr, 0, 0);
}

CTaggedDataHeader& CTaggedDataHeader::operator=(const CTaggedDataHeader& other) {
    if (this == &other) return *this;
    FreeData();
    const uint32_t size = other.tags_.size();
    if (size == 0) return *this;
    auto* copy = static_cast<char*>(platform::AllocateBytes(size));
    if (copy == nullptr) ZR_THROW(CException, kMsgOutOfMemory, DefaultErrorNumber(kMsgOutOfMemory));
    std::memcpy(copy, other.data_, size);
    Adopt(copy, size, size);
    return *this;
}

void CTaggedDataHeader::Read(CFileStream& stream, uint32_t slotSize) {
    FreeData();
    if (slotSize == 0) return;
    uint32_t length = 0;
    stream >> length;
    if (uint64_t{length} + 4 > slotSize) {
        ZR_THROW(CException, kMsgRecordedHeaderSizeBigger, DefaultErrorNumber(kMsgRecordedHeaderSizeBigger));
    }
    const uint32_t position = stream.GetPosition();
    const uint32_t fileLength = stream.GetLength();
    if (position > fileLength || length > fileLength - position) {
        ZR_THROW(CException, kMsgFileReadError, DefaultErrorNumber(kMsgFileReadError));
    }
    if (length == 0) return;
    // The buffer holds the data, not the whole slot: a damaged slot size must
    // not make us allocate what the file does not hold.
    auto* data = static_cast<char*>(platform::AllocateBytes(length));
    if (data == nullptr) ZR_THROW(CException, kMsgOutOfMemory, DefaultErrorNumber(kMsgOutOfMemory));
    try {
        stream.Read(data, length);
    } catch (...) {
        platform::FreeBytes(data);
        throw;
    }
    Adopt(data, length, length);
}

void CTaggedDataHeader::Write(CFileStream& stream, uint32_t slotSize) {
    const uint32_t length = tags_.size();
    if (uint64_t{length} + 4 > slotSize) {
        ZR_THROW(CException, kMsgDefaultHeaderSizeLess, DefaultErrorNumber(kMsgDefaultHeaderSizeLess));
    }
    stream << length;
    if (length > 0) stream.Write(data_, length);
    static constexpr char kZeros[256] = {};
    for (uint32_t padding = slotSize - 4 - length; padding > 0;) {
        const uint32_t chunk = std::min<uint32_t>(padding, sizeof kZeros);
        stream.Write(kZeros, chunk);
        padding -= chunk;
    }
}

bool CTaggedDataHeader::hasTag(uint32_t id) {
    bool found = false;
    ZR_CHECK_TAG(tags_.hasTag(id, &found));
    return found;
}

bool CTaggedDataHeader::hasStringTag(uint8_t byteId) {
    bool found = false;
    ZR_CHECK_TAG(tags_.hasStringTag(byteId, &found));
    return found;
}

}  // namespace zr_gen
