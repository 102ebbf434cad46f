#include "notestore/engine/RowSpanReader.h"

#include <algorithm>
#include <cstring>
#include <typeinfo>

#include "notestore/engine/Rowset.h"
#include "notestore/foundation/ByteOrder.h"
#include "notestore/foundation/Exception.h"
#include "notestore/foundation/FileStream.h"
#include "notestore/foundation/Messages.h"

namespace zr_gen {

namespace {

constexpr uint32_t kHeadBytes = CDBRecord::kStartTagLen + sizeof(uint32_t);
constexpr uint32_t kFrameBytes = kHeadBytes + CDBRecord::kEndTagLen;

}  // namespace

RowSpanReader::RowSpanReader(CFileStream& stream)
    : stream_(stream), streamLength_(stream.GetLength()), position_(stream.GetPosition()) {}

RowSpanReader::~RowSpanReader() {
    if (span_ != nullptr) RowArena::Drop(span_);
}

void RowSpanReader::ReadInto(CDBRecord& record) {
    // A record class of a caller keeps its own Read.
    if (ReadsPlainRows(record) && TakeFromSpan(record)) return;
    stream_.Seek(static_cast<int32_t>(position_), 0);
    record.Read(stream_);
    position_ = stream_.GetPosition();
}

bool RowSpanReader::ReadsPlainRows(const CDBRecord& record) {
    const std::type_info& type = typeid(record);
    if (&type != checkedType_) {
        checkedType_ = &type;
        checkedPlain_ = CDBRecord::ReadsPlainRows(record);
    }
    return checkedPlain_;
}

void RowSpanReader::Finish() { stream_.Seek(static_cast<int32_t>(position_), 0); }

RowSpanReader::Frame RowSpanReader::Examine(uint32_t offset, uint32_t* length) const {
    const uint64_t left = offset <= spanSize_ ? spanSize_ - offset : 0;
    if (left < kHeadBytes) return Frame::Cut;
    const auto* frame = reinterpret_cast<const uint8_t*>(bytes_ + offset);
    if (std::memcmp(frame, CDBRecord::kStartTag, CDBRecord::kStartTagLen) != 0) return Frame::Damaged;
    *length = LoadLE32(frame + CDBRecord::kStartTagLen);
    if (uint64_t{kFrameBytes} + *length > left) return Frame::Cut;
    const uint8_t* end = frame + kHeadBytes + *length;
    return std::memcmp(end, CDBRecord::kEndTag, CDBRecord::kEndTagLen) == 0 ? Frame::Whole : Frame::Damaged;
}

bool RowSpanReader::TakeFromSpan(CDBRecord& record) {
    uint32_t length = 0;
    Frame frame = span_ != nullptr ? Examine(position_ - spanStart_, &length) : Frame::Cut;
    // A row cut by the end of a span that does not start with it may fit a
    // new one; a row that starts its span and is cut does not fit any.
    if (frame == Frame::Cut && (span_ == nullptr || spanStart_ != position_) && Refill()) {
        frame = Examine(0, &length);
    }
    if (frame != Frame::Whole) return false;
    record.AdoptRead(position_, bytes_ + (position_ - spanStart_) + kHeadBytes, length, span_);
    position_ += kFrameBytes + length;
    return true;
}

bool RowSpanReader::Refill() {
    const uint32_t left = position_ < streamLength_ ? streamLength_ - position_ : 0;
    const uint32_t size = std::min(left, kSpanBytes);
    if (size < kFrameBytes) return false;
    char* bytes = nullptr;
    RowArena::Chunk* span = RowArena::NewSpan(size, &bytes);
    if (span == nullptr) ZR_THROW(CDBException, kMsgOutOfMemory, DefaultErrorNumber(kMsgOutOfMemory));
    uint32_t read = 0;
    try {
        stream_.Seek(static_cast<int32_t>(position_), 0);
        read = stream_.Read(bytes, size);
    } catch (...) {
        RowArena::Drop(span);
        throw;
    }
    if (span_ != nullptr) RowArena::Drop(span_);
    span_ = span;
    bytes_ = bytes;
    spanStart_ = position_;
    spanSize_ = read;
    return true;
}

}  // namespace zr_gen
