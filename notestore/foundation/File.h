// File objects: one interface over an operating-system file (CFile), a
// growable heap buffer (MemFile) and a buffer kept in a memory block handle
// that can be handed to other code (SharedFile).
//
// Failed reads, writes and seeks are reported by exceptions of the library's
// family (heap pointers, freed by the catcher with Delete()), never by a
// return code; every raise site first writes the trace line
// "Throw an exception FILE - %s, LINE - %d". A failed call leaves the object
// as it was before the call.
//
// The virtual operations are declared in the order of the exported virtual
// table; add new ones only at the end of the most derived class.
#pragma once

#include <cstdint>
#include <utility>

#include "notestore/foundation/Export.h"
#include "notestore/foundation/String.h"
#include "notestore/foundation/Time.h"

namespace zr_gen {

// What CFile::GetStatus reports about a file.
struct ZR_EXPORT CFileStatus {
    static constexpr uint32_t kFullNameChars = 260;

    CTime creationTime = 0;
    CTime modificationTime = 0;
    CTime accessTime = 0;
    uint32_t size = 0;
    uint8_t attribute = 0;
    char16_t fullName[kFullNameChars] = {};  // zero-terminated, cut to 259 characters
};

class ZR_EXPORT CFile {
public:
    // Open flags. Bits not listed are ignored; kTypeBinary has no effect.
    static constexpr uint32_t kModeRead = 0x0000;
    static constexpr uint32_t kModeWrite = 0x0001;
    static constexpr uint32_t kModeReadWrite = 0x0002;  // 0x0003 is invalid: asserted, no access
    static constexpr uint32_t kShareNone = 0x0010;      // as 0x0000
    static constexpr uint32_t kShareRead = 0x0020;      // others may read
    static constexpr uint32_t kShareWrite = 0x0030;     // others may write
    static constexpr uint32_t kShareReadWrite = 0x0040;  // 0x0050-0x0070 are invalid: asserted, no sharing
    static constexpr uint32_t kNoInherit = 0x0080;
    // Alone: create the file empty, truncating an existing one. With
    // kNoTruncate: open an existing file as it is, else create it. Without
    // kCreate the file must exist.
    static constexpr uint32_t kCreate = 0x1000;
    static constexpr uint32_t kNoTruncate = 0x2000;
    static constexpr uint32_t kTypeBinary = 0x8000;

    // The handle value of a closed file.
    static constexpr uint32_t kNoHandle = 0xFFFFFFFFu;

    // Seek origins.
    static constexpr uint32_t kBegin = 0;
    static constexpr uint32_t kCurrent = 1;
    static constexpr uint32_t kEnd = 2;

    CFile();  // closed, empty path
    // The copy gets a handle of its own on the same open file (sharing the
    // position and the share mode) and closes only that one; a failure to
    // get it throws a CFileException as Open does. A closed file copies as
    // closed.
    CFile(const CFile& other);
    CFile& operator=(const CFile& other);

    // Closes the handle when one is open.
    virtual ~CFile();
    // Opens or creates `path` as `flags` say; returns 1. Throws a
    // CFileException (cause from the OS error, that error, the path) when
    // the platform refuses; returns 0, still closed, in the one case the
    // platform fails without an error code. Any handle open before is
    // forgotten, not closed.
    virtual int32_t Open(const char16_t* path, uint32_t flags);
    // Closes the handle if one is open; never throws.
    virtual void Close();
    // `path` must not be null (asserted; null then leaves the path empty).
    virtual void SetFilePath(const char16_t* path);
    // Writes all `count` bytes and returns the count. A failure throws a
    // CFileException (cause from the OS error, that error, the stored path),
    // except one without an error code, which returns the bytes written.
    virtual uint32_t Write(const void* buffer, uint32_t count);
    // Reads exactly `count` bytes and returns `count`; a failure or a short
    // read throws CException "File IO read error" (number 7). A count of 0
    // returns 0 without touching the file.
    virtual uint32_t Read(void* buffer, uint32_t count);
    // Moves to `offset` from kBegin, kCurrent or kEnd (other origins are
    // asserted and fail) and returns the new position; a failure throws
    // CException "File IO" (number 9). The file must be open (asserted).
    virtual int32_t Seek(int32_t offset, uint32_t origin);
    // The current position; failures as Seek.
    virtual uint32_t GetPosition() const;
    // Writes buffered data through; nothing when closed. A failure throws
    // CException "File IO write error" (number 8).
    virtual void Flush();
    virtual bool IsOpen() const;
    // Cuts or extends the file to `length` bytes and leaves the position
    // there. A failed seek as Seek; a failed cut throws a CFileException
    // (cause from the OS error, that error, no file name) unless the
    // platform gave no error code.
    virtual void SetLength(uint32_t length);
    // The size in bytes; the position is kept. Failures as Seek.
    virtual uint32_t GetLength() const;

    // Adopts an already open handle and seeks to its beginning; a different
    // handle still open is closed first.
    void Attach(uint32_t handle);
    // Forgets the handle without closing it.
    void Detach();
    uint32_t GetFileHandle() const { return handle_; }

    void SeekToBegin();
    int32_t SeekToEnd();
    // True when the position is at the end; the position is kept.
    bool IsEOF();

    // The stored path and its parts as the path splitter (PathSplit.h) finds
    // them: drive (always empty), folder with its final separator, title
    // (name without extension), extension with its dot, name (title +
    // extension) and root (drive + folder).
    _String GetFilePath() const;
    _String GetFileDrive() const;
    _String GetFileDir() const;
    _String GetFileTitle() const;
    _String GetFileExt() const;
    _String GetFileName() const;
    _String GetFileRoot() const;

    // folder + a "\" unless it ends in one + title + extension; every part
    // must be given (asserted), and the result is asserted to be a valid
    // path (PathHelpers.h).
    static _String CreateFilePath(const char16_t* folder, const char16_t* title, const char16_t* ext);
    static _String CreateFilePath(const char16_t* drive, const char16_t* folder, const char16_t* title,
                                  const char16_t* ext);
    // `path` with its title replaced by `title`.
    static _String CreateFilePath(const char16_t* path, const char16_t* title);
    // This file's path with `title` for its title, numbered to a name that
    // is free (or this file's own): see GetNextValidNumberedName.
    _String GetNextValidNumberedName(const char16_t* title) const;

    // Fills `status` for the open file (only the name when closed): 1, or 0
    // when the platform cannot report the times or the size. A creation or
    // access time of 0 is reported as the modification time. Never throws.
    int32_t GetStatus(CFileStatus& status) const;
    // The same for a named file, found by a folder search: 1, or 0 when
    // there is no such file. Never throws.
    static int32_t GetStatus(const char16_t* path, CFileStatus& status);
    // The open file's last-write time (100 ns units) as the file system has
    // it now, whichever handle wrote; 0 when closed or unknown. Never throws.
    uint64_t GetLastWriteTime() const;

    // Named-file operations; a failure throws a CFileException (cause from
    // the OS error, that error, no file name) unless the platform gave no
    // error code. Rename and Move are the same operation; Copy refuses an
    // existing target.
    static void Rename(const char16_t* from, const char16_t* to);
    static void Remove(const char16_t* path);
    static void Move(const char16_t* from, const char16_t* to);
    static void Copy(const char16_t* from, const char16_t* to);

protected:
    // Puts `handle` in place of the one open now and hands that one back,
    // neither closed nor moved: for a file whose content comes to live in
    // another file of the system under the same name.
    uint32_t ExchangeHandle(uint32_t handle) { return std::exchange(handle_, handle); }

private:
    // A new handle on this file's open file, kNoHandle when closed.
    uint32_t DuplicateHandle() const;
    // SetFilePointer with the failure rule of Seek, for the const readers.
    uint32_t MovePointer(int32_t offset, uint32_t origin) const;

    uint32_t handle_ = kNoHandle;
    _String path_;
};

// A file whose whole content lives in one heap buffer. It is always open; the
// OS handle and path of the CFile part are not used (Open, inherited, would
// still open an OS file into them; it is kept until the object is destroyed
// and has no effect on the content).
//
// The buffer grows by whole steps of the grow-by; a grow-by of 0 forbids
// growth. Bytes the file gains without being written (seek past the end,
// then write; SetLength longer) read as zero. Positions and sizes are 32-bit:
// anything that would need more raises "Out of memory".
class ZR_EXPORT MemFile : public CFile {
public:
    // Empty; the buffer it allocates is its own.
    explicit MemFile(uint32_t growBy = 1024);
    // Over the caller's buffer of `size` bytes, as Attach.
    MemFile(uint8_t* buffer, uint32_t size, uint32_t growBy);
    MemFile(const MemFile&) = delete;
    MemFile& operator=(const MemFile&) = delete;

    // Uses the caller's buffer: with grow-by 0 its `size` bytes are the
    // content, otherwise it is empty room of `size` bytes. The caller's
    // buffer is never resized or freed: growing beyond it moves the content
    // into a buffer of the file's own. Refused (asserted, nothing changes)
    // while a buffer is set.
    void Attach(uint8_t* buffer, uint32_t size, uint32_t growBy);
    // Hands out the buffer (the caller's, or one of the file's own that the
    // caller then frees with platform::FreeBytes) and leaves the file empty;
    // grow-by and ownership of later buffers stay.
    uint8_t* Detach();

    ~MemFile() override;
    void Close() override;  // empties the file and forbids further growth
    uint32_t Write(const void* buffer, uint32_t count) override;
    // Copies what is there, possibly less than `count`; 0 at or past the end.
    uint32_t Read(void* buffer, uint32_t count) override;
    // A result before the start throws a CFileException with cause badSeek
    // (OS error 0, no file name), beyond 32 bits likewise; an invalid origin
    // is asserted and returns -1 without moving. Past the end is allowed.
    int32_t Seek(int32_t offset, uint32_t origin) override;
    uint32_t GetPosition() const override;
    void Flush() override;
    bool IsOpen() const override;
    // Grows the buffer when needed and pulls a position beyond `length` back.
    void SetLength(uint32_t length) override;
    uint32_t GetLength() const override;

    // GetBufferPtr commands.
    static constexpr uint32_t kBufferRead = 0;
    static constexpr uint32_t kBufferWrite = 1;
    static constexpr uint32_t kBufferCommit = 2;
    static constexpr uint32_t kBufferCheck = 3;
    // A read count meaning all the room from the position on.
    static constexpr uint32_t kAllRoom = 0xFFFFFFFFu;

protected:
    // The allocation primitives growth goes through (C heap here); a null
    // result makes growth raise "Out of memory".
    virtual uint8_t* Alloc(uint32_t size);
    virtual uint8_t* Realloc(uint8_t* buffer, uint32_t size);
    virtual void Free(uint8_t* buffer);  // asserts a non-null buffer
    // Makes the buffer hold at least `needed` bytes, in whole grow-by steps
    // (capped at 32 bits). Grow-by 0 (asserted) or no memory raises
    // CException "Out of memory" (number 10) and leaves the buffer as it was.
    virtual void GrowFile(uint32_t needed);

public:
    virtual void AssertValid() const;  // nothing to check
    virtual void Abort();              // Close()
    // Direct access to the buffer:
    // - kBufferCheck: returns 1 (supported).
    // - kBufferRead: *start = the position, *end = the end of up to `count`
    //   content bytes (kAllRoom: all there are); the position moves to *end;
    //   returns *end - *start. At or past the end both point at the end of
    //   the content and the position stays.
    // - kBufferWrite: grows the buffer to hold `count` bytes from the
    //   position on, then *start = the position, *end = *start + count; the
    //   position stays; returns `count`. Growth failures as Write.
    // - kBufferCommit: after writing through kBufferWrite, advances the
    //   position by `count` (at most to the buffer's end; asserted) and
    //   extends the content to it; start and end must be null; returns 0.
    // Other commands are asserted and treated as kBufferRead; null start or
    // end for read and write are asserted and return 0.
    virtual uint32_t GetBufferPtr(uint32_t command, uint32_t count, void** start, void** end);

protected:
    uint32_t growBy_;
    uint32_t position_ = 0;
    uint32_t bufferSize_ = 0;
    uint32_t fileSize_ = 0;
    uint8_t* buffer_ = nullptr;
    int32_t autoDelete_ = 1;

private:
    // Checks that `count` bytes from the position fit in 32 bits ("Out of
    // memory" otherwise), grows the buffer to hold them and returns the end.
    uint32_t ReserveFromPosition(uint32_t count);
    // Zeroes the bytes between the content's end and `offset`.
    void ZeroGapTo(uint32_t offset);
};

// A MemFile whose buffer is the data of a memory block handle (MemAPI.h),
// which can be taken out with Detach or brought in with SetHandle.
class ZR_EXPORT SharedFile : public MemFile {
public:
    // `allocFlags` is kept but does not change the allocation.
    explicit SharedFile(uint32_t allocFlags = 2, uint32_t growBy = 4096);
    ~SharedFile() override;

    // Adopts `handle`: its data is the content. With `allowGrow` 0 the file
    // cannot grow beyond it ("Out of memory"). Refused (asserted, nothing
    // changes) while a handle or buffer is held or the position is not 0.
    // The file owns the handle until Detach; Close frees it.
    void SetHandle(void* handle, int32_t allowGrow);
    // Hands out the handle (the caller frees it with MemFree) and leaves the
    // file empty; its block may be larger than the content, so take
    // GetLength() first. Null (asserted) when no handle is held.
    void* Detach();

protected:
    uint8_t* Alloc(uint32_t size) override;
    uint8_t* Realloc(uint8_t* buffer, uint32_t size) override;
    void Free(uint8_t* buffer) override;

private:
    uint32_t allocFlags_;
    void* memHandle_ = nullptr;
    int32_t allowGrow_ = 1;
};

}  // namespace zr_gen
