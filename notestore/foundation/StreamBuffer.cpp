#include "notestore/foundation/StreamBuffer.h"

#include <algorithm>
#include <cstring>

#include "notestore/foundation/File.h"

namespace zr_gen {

StreamBuffer::StreamBuffer(CFile& file) : file_(file), position_(file.GetPosition()), length_(file.GetLength()) {}

uint32_t StreamBuffer::GetLength() const {
    const uint64_t pendingEnd = uint64_t{pendingStart_} + pending_.size();
    return pending_.empty() ? length_ : static_cast<uint32_t>(std::max<uint64_t>(length_, pendingEnd));
}

void StreamBuffer::WritePending() {
    if (pending_.empty()) return;
    // Emptied however the write ends: after a failed write the bytes are not
    // offered again. The storage stays for the next bytes, so that a long
    // write neither grows a buffer again nor touches new memory each time.
    struct Emptied {
        std::vector<uint8_t>& bytes;
        ~Emptied() { bytes.clear(); }
    } emptied{pending_};
    const uint32_t start = pendingStart_;
    const auto count = static_cast<uint32_t>(pending_.size());
    window_.clear();
    file_.Seek(static_cast<int32_t>(start), CFile::kBegin);
    file_.Write(pending_.data(), count);
    length_ = std::max<uint32_t>(length_, start + count);
}

uint32_t StreamBuffer::ReadDirect(void* buffer, uint32_t count) {
    file_.Seek(static_cast<int32_t>(position_), CFile::kBegin);
    const uint32_t read = file_.Read(buffer, count);
    position_ += read;
    return read;
}

uint32_t StreamBuffer::ReadSlow(void* buffer, uint32_t count) {
    if (count == 0) return 0;
    WritePending();
    const uint64_t end = uint64_t{position_} + count;
    const uint64_t windowEnd = uint64_t{windowStart_} + window_.size();
    if (position_ >= windowStart_ && end <= windowEnd) {
        std::memcpy(buffer, window_.data() + (position_ - windowStart_), count);
        position_ += count;
        return count;
    }
    const uint32_t available = position_ < length_ ? length_ - position_ : 0;
    if (count >= kWindowBytes || count > available) return ReadDirect(buffer, count);
    const uint32_t fill = std::min(kWindowBytes, available);
    window_.resize(fill);
    file_.Seek(static_cast<int32_t>(position_), CFile::kBegin);
    file_.Read(window_.data(), fill);
    windowStart_ = position_;
    std::memcpy(buffer, window_.data(), count);
    position_ += count;
    return count;
}

uint32_t StreamBuffer::Write(const void* buffer, uint32_t count) {
    if (count == 0) return 0;
    window_.clear();
    if (!pending_.empty() && position_ != pendingStart_ + pending_.size()) WritePending();
    if (pending_.empty()) pendingStart_ = position_;
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    pending_.insert(pending_.end(), bytes, bytes + count);
    position_ += count;
    if (pending_.size() >= kPendingLimit) WritePending();
    return count;
}

int32_t StreamBuffer::Seek(int32_t offset, uint32_t origin) {
    // The file decides what a seek means and how it fails.
    WritePending();
    file_.Seek(static_cast<int32_t>(position_), CFile::kBegin);
    const int32_t result = file_.Seek(offset, origin);
    if (result >= 0) position_ = static_cast<uint32_t>(result);
    return result;
}

void StreamBuffer::SetLength(uint32_t length) {
    WritePending();
    window_.clear();
    file_.Seek(static_cast<int32_t>(position_), CFile::kBegin);
    file_.SetLength(length);
    length_ = length;
    position_ = file_.GetPosition();
}

void StreamBuffer::Flush() {
    WritePending();
    file_.Seek(static_cast<int32_t>(position_), CFile::kBegin);
}

}  // namespace zr_gen
