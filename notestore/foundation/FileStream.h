// The binary stream every stored structure is read and written through.
//
// Scalars are written as their little-endian bytes with no tag, length or
// padding, whatever the host: bool and char 1 byte, short 2, int and long 4,
// float 4, double and long double 8 (both as IEEE double), a pointer as its
// 32-bit value. A _String is written as the marker 0x0000FFFE, the 32-bit
// count of UTF-16 units and the units; it cannot be read back.
#pragma once

#include <cstdint>
#include <memory>

#include "notestore/foundation/Export.h"
#include "notestore/foundation/String.h"

namespace zr_gen {

class CFile;
class CFileStream;
class StreamBuffer;

// Everything that serialises itself through a stream.
class ZR_EXPORT CBaseObject {
public:
    virtual ~CBaseObject();
    virtual void Read(CFileStream& stream) = 0;
    virtual void Write(CFileStream& stream) = 0;
};

class ZR_EXPORT CFileStream {
public:
    CFileStream();
    explicit CFileStream(CFile* file);  // borrows the file
    // A copy borrows the file (it never closes or deletes it, so it must not
    // outlive the stream that owns it); buffering is not copied. Assigning
    // closes what the stream held first.
    CFileStream(const CFileStream& other);
    CFileStream& operator=(const CFileStream& other);
    // Closes and deletes an owned file; a borrowed one stays open and alive.
    virtual ~CFileStream();

    // Closes what the stream held, then opens `path` with a new file object
    // it owns. Returns 1 or lets the file's exception pass (the stream then
    // keeps and owns the unopened file object).
    virtual int32_t Open(const char16_t* path, uint32_t openFlags);
    // Closes the file; an owned one is also deleted and forgotten.
    virtual void Close();

    void Attach(CFile* file);
    // Returns the file and forgets it; the caller becomes responsible for it.
    CFile* Detach();
    CFile* GetFile() const { return file_; }
    bool IsOpen() const;

    uint32_t Read(void* buffer, uint32_t count);
    uint32_t Write(const void* buffer, uint32_t count);
    int32_t Seek(int32_t offset, uint32_t origin);
    void SeekToBegin();
    int32_t SeekToEnd();
    uint32_t GetPosition() const;
    void Flush();
    void SetLength(uint32_t length);
    uint32_t GetLength() const;
    // Raises "File IO read error" (message 8) unless the file holds `count`
    // bytes from `position`: what a read that would come up short gives,
    // checked before anything is read or allocated for it.
    void RequireInFile(uint64_t position, uint64_t count) const;
    // The OS handle of a file the stream opened itself.
    uint32_t GetFileHandle() const;

    // While buffering, reads are served from a read-ahead window and writes
    // are collected; positions, lengths and errors stay the file's.
    // EndBuffering writes what was collected (raising the file's errors) and
    // stops; AbandonBuffering drops it, for paths already failing.
    void BeginBuffering();
    void EndBuffering();
    void AbandonBuffering();

    CFileStream& operator<<(bool value);
    CFileStream& operator<<(char value);
    CFileStream& operator<<(unsigned char value);
    CFileStream& operator<<(int16_t value);
    CFileStream& operator<<(uint16_t value);
    CFileStream& operator<<(int32_t value);
    CFileStream& operator<<(uint32_t value);
    CFileStream& operator<<(float value);
    CFileStream& operator<<(double value);
    CFileStream& operator<<(long double value);
    CFileStream& operator<<(const void* value);

    // Reads take the same number of bytes back; a short read over a memory
    // file leaves the bytes that did not arrive as they were.
    CFileStream& operator>>(bool& value);
    CFileStream& operator>>(char& value);
    CFileStream& operator>>(unsigned char& value);
    CFileStream& operator>>(int16_t& value);
    CFileStream& operator>>(uint16_t& value);
    CFileStream& operator>>(int32_t& value);
    CFileStream& operator>>(uint32_t& value);
    CFileStream& operator>>(float& value);
    CFileStream& operator>>(double& value);
    CFileStream& operator>>(long double& value);
    // Gives back the stored 32-bit number, not a usable address.
    CFileStream& operator>>(void*& value);

protected:
    // Open() with the given file object (null: "Out of memory"), which the
    // stream owns from here on; what the stream held is closed first, without
    // the virtual Close.
    int32_t OpenOwned(CFile* file, const char16_t* path, uint32_t openFlags);

private:
    void AssertAttached() const;
    void AssertOpen() const;
    void WriteUnsigned(uint64_t value, uint32_t bytes);
    uint64_t ReadUnsigned(uint64_t current, uint32_t bytes);

    CFile* file_ = nullptr;
    bool ownsFile_ = false;
    std::unique_ptr<StreamBuffer> buffer_;
};

// Buffers a stream for a scope: End() finishes the buffering (and raises a
// pending write error); leaving the scope otherwise abandons it.
class ZR_EXPORT BufferedScope {
public:
    explicit BufferedScope(CFileStream& stream) : stream_(stream) { stream_.BeginBuffering(); }
    ~BufferedScope() {
        if (!ended_) stream_.AbandonBuffering();
    }
    BufferedScope(const BufferedScope&) = delete;
    BufferedScope& operator=(const BufferedScope&) = delete;
    void End() {
        ended_ = true;
        stream_.EndBuffering();
    }

private:
    CFileStream& stream_;
    bool ended_ = false;
};

constexpr uint32_t kStringMarker = 0x0000FFFEu;

ZR_EXPORT CFileStream& operator<<(CFileStream& stream, _String& text);
// Not supported: an assertion line, and the string and position stay.
ZR_EXPORT CFileStream& operator>>(CFileStream& stream, _String& text);
ZR_EXPORT CFileStream& operator<<(CFileStream& stream, CBaseObject& object);
ZR_EXPORT CFileStream& operator>>(CFileStream& stream, CBaseObject& object);

}  // namespace zr_gen
