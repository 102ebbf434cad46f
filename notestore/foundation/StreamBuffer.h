// Read-ahead and write-behind for a stream over a file, so that reading or
// writing many small fields costs a few system calls instead of one each.
//
// Positions, lengths and errors stay those of the file: a read that the file
// could not satisfy is made directly on the file and raises the file's own
// error; collected writes reach the file, raising its errors, at the latest
// when the buffering ends (the caller ends it before returning), earlier when
// 1 MiB has gathered or the stream seeks, reads, flushes or changes length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace zr_gen {

class CFile;

class StreamBuffer {
public:
    // Takes the file's position and length as they are now.
    explicit StreamBuffer(CFile& file);
    StreamBuffer(const StreamBuffer&) = delete;
    StreamBuffer& operator=(const StreamBuffer&) = delete;

    // Served from the window when it holds the bytes (the common case).
    uint32_t Read(void* buffer, uint32_t count) {
        const size_t offset = size_t{position_} - windowStart_;  // huge when before the window
        if (count != 0 && pending_.empty() && position_ >= windowStart_ && offset <= window_.size() && count <= window_.size() - offset) {
            std::memcpy(buffer, window_.data() + offset, count);
            position_ += count;
            return count;
        }
        return ReadSlow(buffer, count);
    }
    uint32_t Write(const void* buffer, uint32_t count);
    int32_t Seek(int32_t offset, uint32_t origin);
    uint32_t GetPosition() const { return position_; }
    uint32_t GetLength() const;
    void SetLength(uint32_t length);
    // Writes what was collected and leaves the file at the stream's position.
    void Flush();

private:
    static constexpr uint32_t kWindowBytes = 64 * 1024;
    static constexpr size_t kPendingLimit = 1024 * 1024;

    uint32_t ReadSlow(void* buffer, uint32_t count);
    void WritePending();
    uint32_t ReadDirect(void* buffer, uint32_t count);

    CFile& file_;
    uint32_t position_;
    uint32_t length_;
    std::vector<uint8_t> window_;  // file bytes from windowStart_ on
    uint32_t windowStart_ = 0;
    std::vector<uint8_t> pending_;  // bytes for the file from pendingStart_ on
    uint32_t pendingStart_ = 0;
};

}  // namespace zr_gen
