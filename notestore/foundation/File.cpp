#include "notestore/foundation/File.h"
#include "notestore/foundation/FileModes.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "notestore/foundation/Exception.h"
#include "notestore/foundation/MemAPI.h"
#include "notestore/foundation/Messages.h"
#include "notestore/foundation/PathHelpers.h"
#include "notestore/foundation/PathSplit.h"
#include "notestore/foundation/zr_assert.h"
#include "platform/Errors.h"
#include "platform/Files.h"
#include "platform/Memory.h"

namespace zr_gen {

namespace {

// One field of the open flags as the platform wants it; an invalid field is
// asserted and gives `value` all the same.
struct FlagEntry {
    DWORD value;
    bool valid;
};

constexpr uint32_t kAccessMask = 0x0003;
constexpr FlagEntry kAccess[] = {
    {GENERIC_READ, true},
    {GENERIC_WRITE, true},
    {GENERIC_READ | GENERIC_WRITE, true},
    {0, false},
};

constexpr uint32_t kShareMask = 0x0070;
constexpr uint32_t kShareShift = 4;
constexpr FlagEntry kSharing[] = {
    {0, true},
    {0, true},
    {FILE_SHARE_READ, true},
    {FILE_SHARE_WRITE, true},
    {FILE_SHARE_READ | FILE_SHARE_WRITE, true},
    {0, false},
    {0, false},
    {0, false},
};

// Indexed by the create bit (1) and the no-truncate bit (2): no-truncate
// means nothing without create.
constexpr uint32_t kCreationShift = 12;
constexpr DWORD kCreation[] = {OPEN_EXISTING, CREATE_ALWAYS, OPEN_EXISTING, OPEN_ALWAYS};

constexpr uint32_t kFindAttributeMask = 0x7F;

DWORD Translate(const FlagEntry& entry) {
    ZR_ASSERT(entry.valid);
    return entry.value;
}

}  // namespace

DWORD PlatformAccess(uint32_t flags) { return Translate(kAccess[flags & kAccessMask]); }

DWORD PlatformShare(uint32_t flags) { return Translate(kSharing[(flags & kShareMask) >> kShareShift]); }

namespace {

HANDLE ToPlatform(uint32_t handle) {
    return handle == CFile::kNoHandle ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(static_cast<uintptr_t>(handle));
}

uint32_t FromPlatform(HANDLE handle) {
    const auto value = reinterpret_cast<uintptr_t>(handle);
    ZR_ASSERT(value < CFile::kNoHandle);  // the platform's handles fit in 32 bits
    return static_cast<uint32_t>(value);
}

// Throws the CFileException for the platform's last error after the raise
// site's trace line; returns when the platform gave no error code. The error
// is taken first, before the trace can disturb it.
void ThrowLastError(const char16_t* fileName, int32_t line) {
    const auto error = static_cast<int32_t>(GetLastError());
    ZR_Trace(u"Throw an exception FILE - %s, LINE - %d", ZR_FILE, line);
    if (error != 0) _ThrowFileException(CFileException::OsErrorToException(error), error, fileName);
}

void CopyFullName(const char16_t* path, CFileStatus& status) {
    if (path == nullptr) return;
    const size_t length = std::min<size_t>(std::char_traits<char16_t>::length(path), CFileStatus::kFullNameChars - 1);
    std::copy_n(path, length, status.fullName);
}

// A file system without birth or access times reports them as 0.
void StoreTimes(CFileStatus& status, const FILETIME& creation, const FILETIME& access, const FILETIME& write) {
    status.modificationTime = CTime(write, 0);
    status.creationTime = CTime(creation, 0);
    status.accessTime = CTime(access, 0);
    if (status.creationTime.GetTime() == 0) status.creationTime = status.modificationTime;
    if (status.accessTime.GetTime() == 0) status.accessTime = status.modificationTime;
}

struct PathParts {
    _String drive;
    _String dir;
    _String fname;
    _String ext;
};

PathParts Split(const _String& path) {
    PathParts parts;
    SplitPath(path.c_str(), &parts.drive, &parts.dir, &parts.fname, &parts.ext);
    return parts;
}

}  // namespace

// ---- CFile ----

CFile::CFile() = default;

// Each copy owns a handle of its own on the same open file, so that closing
// one never closes the file under the other.
CFile::CFile(const CFile& other) : path_(other.path_) { handle_ = other.DuplicateHandle(); }

CFile& CFile::operator=(const CFile& other) {
    if (this == &other) return *this;
    const uint32_t handle = other.DuplicateHandle();
    CFile::Close();
    handle_ = handle;
    path_ = other.path_;
    return *this;
}

uint32_t CFile::DuplicateHandle() const {
    if (handle_ == kNoHandle) return kNoHandle;
    const HANDLE duplicate = platform::DuplicateFileHandle(ToPlatform(handle_));
    if (duplicate == INVALID_HANDLE_VALUE) ThrowLastError(path_.c_str(), __LINE__);
    return duplicate == INVALID_HANDLE_VALUE ? kNoHandle : FromPlatform(duplicate);
}

CFile::~CFile() { CFile::Close(); }

int32_t CFile::Open(const char16_t* path, uint32_t flags) {
    // Qualified: on a memory file the virtual Close would empty the content.
    CFile::Close();
    SECURITY_ATTRIBUTES security{static_cast<DWORD>(sizeof(SECURITY_ATTRIBUTES)), nullptr, (flags & kNoInherit) != 0 ? FALSE : TRUE};
    const HANDLE handle = CreateFileW(path, PlatformAccess(flags), PlatformShare(flags), &security,
                                      kCreation[(flags >> kCreationShift) & 0x3], FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        ThrowLastError(path, __LINE__);
        return 0;
    }
    handle_ = FromPlatform(handle);
    SetFilePath(path);
    return 1;
}

void CFile::Close() {
    if (handle_ == kNoHandle) return;
    CloseHandle(ToPlatform(handle_));
    handle_ = kNoHandle;
}

void CFile::SetFilePath(const char16_t* path) {
    ZR_ASSERT(path != nullptr);
    path_ = path;
}

uint32_t CFile::Write(const void* buffer, uint32_t count) {
    DWORD written = 0;
    if (!WriteFile(ToPlatform(handle_), buffer, count, &written, nullptr)) ThrowLastError(path_.c_str(), __LINE__);
    return written;
}

uint32_t CFile::Read(void* buffer, uint32_t count) {
    if (count == 0) return 0;
    DWORD read = 0;
    if (!ReadFile(ToPlatform(handle_), buffer, count, &read, nullptr) || read < count) {
        ZR_THROW(CException, kMsgFileReadError, DefaultErrorNumber(kMsgFileReadError));
    }
    return read;
}

uint32_t CFile::MovePointer(int32_t offset, uint32_t origin) const {
    const DWORD position = SetFilePointer(ToPlatform(handle_), offset, nullptr, origin);
    if (position == INVALID_SET_FILE_POINTER) ZR_THROW(CException, kMsgFileIO, DefaultErrorNumber(kMsgFileIO));
    return position;
}

int32_t CFile::Seek(int32_t offset, uint32_t origin) {
    ZR_ASSERT(IsOpen());
    ZR_ASSERT(origin <= kEnd);
    return static_cast<int32_t>(MovePointer(offset, origin));
}

uint32_t CFile::GetPosition() const {
    ZR_ASSERT(IsOpen());
    return MovePointer(0, kCurrent);
}

void CFile::Flush() {
    if (handle_ == kNoHandle) return;
    if (!FlushFileBuffers(ToPlatform(handle_))) {
        ZR_THROW(CException, kMsgFileWriteError, DefaultErrorNumber(kMsgFileWriteError));
    }
}

bool CFile::IsOpen() const { return handle_ != kNoHandle; }

void CFile::SetLength(uint32_t length) {
    ZR_ASSERT(IsOpen());
    Seek(static_cast<int32_t>(length), kBegin);
    if (!SetEndOfFile(ToPlatform(handle_))) ThrowLastError(nullptr, __LINE__);
}

uint32_t CFile::GetLength() const {
    const uint32_t position = MovePointer(0, kCurrent);
    const uint32_t end = MovePointer(0, kEnd);
    const uint32_t back = MovePointer(static_cast<int32_t>(position), kBegin);
    ZR_ASSERT(back == position);
    return end;
}

void CFile::Attach(uint32_t handle) {
    if (handle != handle_) CFile::Close();
    handle_ = handle;
    MovePointer(0, kBegin);
}

void CFile::Detach() { handle_ = kNoHandle; }

// The three below go through the virtual operations, so they serve memory
// files as well.
void CFile::SeekToBegin() {
    ZR_ASSERT(IsOpen());
    Seek(0, kBegin);
}

int32_t CFile::SeekToEnd() {
    ZR_ASSERT(IsOpen());
    return Seek(0, kEnd);
}

bool CFile::IsEOF() {
    ZR_ASSERT(IsOpen());
    const uint32_t position = GetPosition();
    const auto end = static_cast<uint32_t>(SeekToEnd());
    Seek(static_cast<int32_t>(position), kBegin);
    return position == end;
}

_String CFile::GetFilePath() const { return path_; }
_String CFile::GetFileDrive() const { return Split(path_).drive; }
_String CFile::GetFileDir() const { return Split(path_).dir; }
_String CFile::GetFileTitle() const { return Split(path_).fname; }
_String CFile::GetFileExt() const { return Split(path_).ext; }

_String CFile::GetFileName() const {
    const PathParts parts = Split(path_);
    return parts.fname + parts.ext;
}

_String CFile::GetFileRoot() const {
    const PathParts parts = Split(path_);
    return parts.drive + parts.dir;
}

_String CFile::CreateFilePath(const char16_t* folder, const char16_t* title, const char16_t* ext) {
    return CreateFilePath(u"", folder, title, ext);
}

_String CFile::CreateFilePath(const char16_t* drive, const char16_t* folder, const char16_t* title,
                              const char16_t* ext) {
    ZR_ASSERT(drive != nullptr && folder != nullptr && title != nullptr && ext != nullptr);
    _String path(drive);
    path += _String(folder);
    AppendSeparator(path);
    path += _String(title);
    path += _String(ext);
    ZR_ASSERT(ValidateFilePath(path.c_str()));
    return path;
}

_String CFile::CreateFilePath(const char16_t* path, const char16_t* title) {
    const PathParts parts = Split(_String(path));
    return parts.drive + parts.dir + _String(title) + parts.ext;
}

_String CFile::GetNextValidNumberedName(const char16_t* title) const {
    const PathParts parts = Split(path_);
    const _String numbered = parts.drive + parts.dir + _String(title) + parts.ext;
    return zr_gen::GetNextValidNumberedName(numbered.c_str(), path_.c_str());
}

int32_t CFile::GetStatus(CFileStatus& status) const {
    status = CFileStatus{};
    CopyFullName(path_.c_str(), status);
    if (handle_ == kNoHandle) return 1;

    const HANDLE handle = ToPlatform(handle_);
    FILETIME creation{};
    FILETIME access{};
    FILETIME write{};
    if (!GetFileTime(handle, &creation, &access, &write)) return 0;
    const DWORD size = GetFileSize(handle, nullptr);
    if (size == INVALID_FILE_SIZE) return 0;
    status.size = size;
    if (!path_.empty()) {
        const DWORD attributes = GetFileAttributesW(path_.c_str());
        status.attribute = attributes == INVALID_FILE_ATTRIBUTES ? 0 : static_cast<uint8_t>(attributes);
    }
    StoreTimes(status, creation, access, write);
    return 1;
}

uint64_t CFile::GetLastWriteTime() const {
    FILETIME write{};
    if (handle_ == kNoHandle || !GetFileTime(ToPlatform(handle_), nullptr, nullptr, &write)) return 0;
    return (uint64_t{write.dwHighDateTime} << 32) | write.dwLowDateTime;
}

int32_t CFile::GetStatus(const char16_t* path, CFileStatus& status) {
    status = CFileStatus{};
    ZR_ASSERT(path != nullptr);
    if (path == nullptr) return 0;
    CopyFullName(path, status);

    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW(path, &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    FindClose(search);
    status.attribute = static_cast<uint8_t>(found.dwFileAttributes & kFindAttributeMask);
    ZR_ASSERT(found.nFileSizeHigh == 0);
    status.size = found.nFileSizeLow;
    StoreTimes(status, found.ftCreationTime, found.ftLastAccessTime, found.ftLastWriteTime);
    return 1;
}

void CFile::Rename(const char16_t* from, const char16_t* to) {
    if (!MoveFileW(from, to)) ThrowLastError(nullptr, __LINE__);
}

void CFile::Move(const char16_t* from, const char16_t* to) {
    ZR_ASSERT(from != nullptr && to != nullptr);
    Rename(from, to);
}

void CFile::Remove(const char16_t* path) {
    if (!DeleteFileW(path)) ThrowLastError(nullptr, __LINE__);
}

void CFile::Copy(const char16_t* from, const char16_t* to) {
    ZR_ASSERT(from != nullptr && to != nullptr);
    if (!CopyFileW(from, to, TRUE)) ThrowLastError(nullptr, __LINE__);
}

// ---- MemFile ----

MemFile::MemFile(uint32_t growBy) : growBy_(growBy) {}

MemFile::MemFile(uint8_t* buffer, uint32_t size, uint32_t growBy) : growBy_(growBy) { Attach(buffer, size, growBy); }

void MemFile::Attach(uint8_t* buffer, uint32_t size, uint32_t growBy) {
    const bool acceptable = buffer_ == nullptr && (buffer != nullptr || size == 0);
    ZR_ASSERT(acceptable);
    if (!acceptable) return;
    growBy_ = growBy;
    autoDelete_ = 0;
    position_ = 0;
    buffer_ = buffer;
    bufferSize_ = size;
    fileSize_ = growBy == 0 ? size : 0;
}

uint8_t* MemFile::Detach() {
    position_ = 0;
    bufferSize_ = 0;
    fileSize_ = 0;
    return std::exchange(buffer_, nullptr);
}

MemFile::~MemFile() {
    if (buffer_ != nullptr) Close();
}

void MemFile::Close() {
    growBy_ = 0;
    position_ = 0;
    bufferSize_ = 0;
    fileSize_ = 0;
    if (autoDelete_ != 0 && buffer_ != nullptr) Free(buffer_);
    buffer_ = nullptr;
}

uint32_t MemFile::ReserveFromPosition(uint32_t count) {
    const uint64_t end = uint64_t{position_} + count;
    if (end > UINT32_MAX) ZR_THROW(CException, kMsgOutOfMemory, DefaultErrorNumber(kMsgOutOfMemory));
    GrowFile(static_cast<uint32_t>(end));
    return static_cast<uint32_t>(end);
}

void MemFile::ZeroGapTo(uint32_t offset) {
    if (offset > fileSize_) std::memset(buffer_ + fileSize_, 0, offset - fileSize_);
}

uint32_t MemFile::Write(const void* buffer, uint32_t count) {
    if (count == 0) return 0;
    ZR_ASSERT(buffer != nullptr);
    if (buffer == nullptr) return 0;
    const uint32_t end = ReserveFromPosition(count);
    ZeroGapTo(position_);
    std::memcpy(buffer_ + position_, buffer, count);
    position_ = end;
    fileSize_ = std::max(fileSize_, end);
    return count;
}

uint32_t MemFile::Read(void* buffer, uint32_t count) {
    if (count == 0) return 0;
    const bool writable = zr_CVIsValidAddress(buffer, count, 1) != 0;
    ZR_ASSERT(writable);
    if (!writable || position_ >= fileSize_) return 0;
    const uint32_t copied = std::min(count, fileSize_ - position_);
    std::memcpy(buffer, buffer_ + position_, copied);
    position_ += copied;
    return copied;
}

int32_t MemFile::Seek(int32_t offset, uint32_t origin) {
    const uint32_t bases[] = {0, position_, fileSize_};  // kBegin, kCurrent, kEnd
    ZR_ASSERT(origin <= kEnd);
    if (origin > kEnd) return -1;
    const int64_t target = int64_t{bases[origin]} + offset;
    if (target < 0 || target > UINT32_MAX) {
        ZR_TRACE_THROW();
        _ThrowFileException(CFileException::badSeek, 0, nullptr);
    }
    position_ = static_cast<uint32_t>(target);
    return static_cast<int32_t>(position_);
}

uint32_t MemFile::GetPosition() const { return position_; }

void MemFile::Flush() {}

bool MemFile::IsOpen() const { return true; }

void MemFile::SetLength(uint32_t length) {
    GrowFile(length);
    position_ = std::min(position_, length);
    ZeroGapTo(length);
    fileSize_ = length;
}

uint32_t MemFile::GetLength() const { return fileSize_; }

uint8_t* MemFile::Alloc(uint32_t size) { return static_cast<uint8_t*>(platform::AllocateBytes(size)); }

uint8_t* MemFile::Realloc(uint8_t* buffer, uint32_t size) {
    return static_cast<uint8_t*>(platform::ReallocateBytes(buffer, size));
}

void MemFile::Free(uint8_t* buffer) {
    ZR_ASSERT(buffer != nullptr);
    platform::FreeBytes(buffer);
}

void MemFile::GrowFile(uint32_t needed) {
    if (needed <= bufferSize_) return;
    ZR_ASSERT(growBy_ != 0);
    if (growBy_ == 0) ZR_THROW(CException, kMsgOutOfMemory, DefaultErrorNumber(kMsgOutOfMemory));

    // Whole steps, computed rather than counted, and capped where 32 bits end.
    const uint64_t steps = (uint64_t{needed} - bufferSize_ + growBy_ - 1) / growBy_;
    const auto size = static_cast<uint32_t>(std::min<uint64_t>(bufferSize_ + steps * growBy_, UINT32_MAX));
    // A caller's buffer is not ours to resize: its content moves to our own.
    const bool owned = autoDelete_ != 0;
    uint8_t* grown = buffer_ != nullptr && owned ? Realloc(buffer_, size) : Alloc(size);
    if (grown == nullptr) ZR_THROW(CException, kMsgOutOfMemory, DefaultErrorNumber(kMsgOutOfMemory));
    if (!owned && buffer_ != nullptr) std::memcpy(grown, buffer_, bufferSize_);
    buffer_ = grown;
    bufferSize_ = size;
    autoDelete_ = 1;
}

void MemFile::AssertValid() const {}

void MemFile::Abort() { Close(); }

uint32_t MemFile::GetBufferPtr(uint32_t command, uint32_t count, void** start, void** end) {
    if (command == kBufferCheck) return 1;
    if (command == kBufferCommit) {
        ZR_ASSERT(start == nullptr && end == nullptr);
        const uint64_t target = uint64_t{position_} + count;
        ZR_ASSERT(target <= bufferSize_);
        position_ = static_cast<uint32_t>(std::min<uint64_t>(target, bufferSize_));
        fileSize_ = std::max(fileSize_, position_);
        return 0;
    }
    ZR_ASSERT(command == kBufferRead || command == kBufferWrite);
    ZR_ASSERT(start != nullptr && end != nullptr);
    if (start == nullptr || end == nullptr) return 0;

    if (command == kBufferWrite) {
        const uint32_t last = ReserveFromPosition(count);
        *start = buffer_ + position_;
        *end = buffer_ + last;
        return count;
    }
    // Computed in 64 bits, so kAllRoom needs no case of its own: it reaches
    // past any content.
    const uint32_t first = std::min(position_, fileSize_);
    const auto last = static_cast<uint32_t>(std::min<uint64_t>(fileSize_, uint64_t{position_} + count));
    *start = buffer_ + first;
    *end = buffer_ + last;
    position_ = std::max(position_, last);
    return last - first;
}

// ---- SharedFile ----

SharedFile::SharedFile(uint32_t allocFlags, uint32_t growBy) : MemFile(growBy), allocFlags_(allocFlags) {}

SharedFile::~SharedFile() {
    // Here, while the handle-based Free is still the one called.
    if (buffer_ != nullptr) Close();
}

void SharedFile::SetHandle(void* handle, int32_t allowGrow) {
    const bool acceptable = memHandle_ == nullptr && buffer_ == nullptr && position_ == 0;
    ZR_ASSERT(acceptable);
    if (!acceptable) return;
    memHandle_ = handle;
    buffer_ = static_cast<uint8_t*>(MemGetPtr(handle));
    bufferSize_ = MemGetSize(handle);
    fileSize_ = bufferSize_;
    autoDelete_ = 1;
    allowGrow_ = allowGrow;
}

void* SharedFile::Detach() {
    ZR_ASSERT(memHandle_ != nullptr);
    if (memHandle_ == nullptr) return nullptr;
    MemFile::Detach();
    return std::exchange(memHandle_, nullptr);
}

uint8_t* SharedFile::Alloc(uint32_t size) {
    ZR_ASSERT(memHandle_ == nullptr);
    MemHandle handle = MemAlloc(size);
    if (handle == nullptr) return nullptr;
    memHandle_ = handle;
    return static_cast<uint8_t*>(MemGetPtr(handle));
}

// MemReleasePtr asserts that a handle is held.
uint8_t* SharedFile::Realloc(uint8_t* /*buffer*/, uint32_t size) {
    if (allowGrow_ == 0) return nullptr;
    MemReleasePtr(memHandle_);
    MemHandle grown = MemRealloc(memHandle_, size);
    if (grown == nullptr) return nullptr;
    memHandle_ = grown;
    return static_cast<uint8_t*>(MemGetPtr(grown));
}

void SharedFile::Free(uint8_t* /*buffer*/) {
    MemReleasePtr(memHandle_);
    MemFree(std::exchange(memHandle_, nullptr));
}

}  // namespace zr_gen
