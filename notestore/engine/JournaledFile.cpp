#include "notestore/engine/JournaledFile.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "notestore/engine/Database.h"
#include "notestore/foundation/ByteOrder.h"
#include "notestore/foundation/Exception.h"
#include "notestore/foundation/FileModes.h"
#include "platform/Errors.h"
#include "platform/Files.h"

namespace zr_gen {

namespace {

HANDLE ToPlatform(uint32_t handle) { return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(handle)); }

uint32_t FromPlatform(HANDLE handle) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(handle)); }

[[noreturn]] void ThrowPlatformError(DWORD error, const _String& path) {
    ZR_TRACE_THROW();
    _ThrowFileException(CFileException::OsErrorToException(static_cast<int32_t>(error)), static_cast<int32_t>(error),
                        path.c_str());
}

_String SiblingOf(const char16_t* path) {
    _String sibling(path);
    sibling += _String(JournaledFile::kSiblingSuffix);
    return sibling;
}

// A sibling that cannot be removed is only in the way of nothing: the next
// replacement, and the next open, remove it.
void RemoveQuietly(const _String& path) {
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return;
    if (!DeleteFileW(path.c_str())) {
        ZR_Trace(u"Could not remove %s (error %d)", path.c_str(), static_cast<int32_t>(GetLastError()));
    }
}

}  // namespace

JournaledFile::~JournaledFile() { AbandonReplacement(); }

int32_t JournaledFile::Open(const char16_t* path, uint32_t flags) {
    flags_ = flags;
    return CFile::Open(path, flags);
}

void JournaledFile::Close() {
    // The database writes or drops what is held before it closes.
    DropHeld();
    AbandonReplacement();
    CFile::Close();
}

uint32_t JournaledFile::Write(const void* buffer, uint32_t count) {
    if (count == 0 || Replacing()) return CFile::Write(buffer, count);
    if (holding_ && HeldBytes() + count <= kHoldLimit) {
        const uint32_t at = GetPosition();
        const auto* bytes = static_cast<const uint8_t*>(buffer);
        held_.push_back(HeldWrite{at, std::vector<uint8_t>(bytes, bytes + count)});
        Seek(static_cast<int32_t>(at + count), kBegin);
        return count;
    }
    WriteHeld();
    journal_.Protect(*this, GetPosition(), count);
    return CFile::Write(buffer, count);
}

uint32_t JournaledFile::Read(void* buffer, uint32_t count) {
    WriteHeld();
    return CFile::Read(buffer, count);
}

void JournaledFile::Flush() {
    WriteHeld();
    CFile::Flush();
}

void JournaledFile::SetLength(uint32_t length) {
    if (!Replacing()) {
        WriteHeld();
        // Everything from `length` on is cut away (or, past the end, nothing).
        journal_.Protect(*this, length, UINT32_MAX - length);
    }
    CFile::SetLength(length);
}

uint32_t JournaledFile::GetLength() const {
    uint32_t length = CFile::GetLength();
    for (const HeldWrite& write : held_) length = std::max(length, write.offset + static_cast<uint32_t>(write.bytes.size()));
    return length;
}

void JournaledFile::HoldWrites() { holding_ = true; }

void JournaledFile::WriteHeld() {
    holding_ = false;
    if (held_.empty()) return;
    const std::vector<HeldWrite> held = std::exchange(held_, {});
    const uint32_t position = GetPosition();
    // All kept first, so that one journal flush covers them.
    for (const HeldWrite& write : held) journal_.Keep(*this, write.offset, static_cast<uint32_t>(write.bytes.size()));
    for (const HeldWrite& write : held) {
        Seek(static_cast<int32_t>(write.offset), kBegin);
        Write(write.bytes.data(), static_cast<uint32_t>(write.bytes.size()));
    }
    Seek(static_cast<int32_t>(position), kBegin);
}

void JournaledFile::DropHeld() noexcept {
    holding_ = false;
    held_.clear();
}

size_t JournaledFile::HeldBytes() const {
    size_t bytes = 0;
    for (const HeldWrite& write : held_) bytes += write.bytes.size();
    return bytes;
}

_String JournaledFile::SiblingPath() const { return SiblingOf(GetFilePath().c_str()); }

bool JournaledFile::BeginReplacement(uint32_t keep) {
    if (Replacing() || !IsOpen()) return false;
    const _String sibling = SiblingPath();
    // A sibling an earlier save left goes; a file of the user's by that name
    // keeps the save in place.
    RemoveLeftover(GetFilePath().c_str());
    const HANDLE made = platform::CreateReplacementFor(ToPlatform(GetFileHandle()), sibling.c_str(),
                                                       GENERIC_READ | GENERIC_WRITE, PlatformShare(flags_));
    if (made == INVALID_HANDLE_VALUE) {
        if (GetLastError() != ERROR_NOT_SUPPORTED) {
            ZR_Trace(u"Could not make %s (error %d): the save goes in place", sibling.c_str(),
                     static_cast<int32_t>(GetLastError()));
        }
        return false;
    }
    const uint32_t position = GetPosition();
    std::vector<uint8_t> head;
    try {
        head.resize(std::min(keep, StoredLength()));
        CFile::Seek(0, kBegin);
        CFile::Read(head.data(), static_cast<uint32_t>(head.size()));
    } catch (...) {
        CloseHandle(made);
        RemoveQuietly(sibling);
        throw;
    }
    original_ = ExchangeHandle(FromPlatform(made));
    try {
        CFile::Write(head.data(), static_cast<uint32_t>(head.size()));
        for (const HeldWrite& write : held_) {
            CFile::Seek(static_cast<int32_t>(write.offset), kBegin);
            CFile::Write(write.bytes.data(), static_cast<uint32_t>(write.bytes.size()));
        }
        DropHeld();
        CFile::Seek(static_cast<int32_t>(position), kBegin);
    } catch (...) {
        AbandonReplacement();
        throw;
    }
    return true;
}

void JournaledFile::CommitReplacement() {
    CFile::Flush();
    const HANDLE sibling = ToPlatform(GetFileHandle());
    const HANDLE document = ToPlatform(original_);
    const _String path = GetFilePath();
    if (!platform::ExchangeFileNames(sibling, document)) {
        const DWORD error = GetLastError();
        if (error != ERROR_NOT_SUPPORTED) ThrowPlatformError(error, path);
        // A file system that cannot exchange names: the rename replaces the
        // old document at once, and a folder that then fails to flush is
        // reported with the new document in place.
        if (!platform::RenameOpenFileOver(sibling, path.c_str())) ThrowPlatformError(GetLastError(), path);
        FinishReplacement();
        if (!platform::FlushFolderOf(path.c_str())) ThrowPlatformError(GetLastError(), path);
        return;
    }
    if (!platform::FlushFolderOf(path.c_str())) {
        const DWORD error = GetLastError();
        // Exchanged back, the failed save leaves the old document; should
        // even that fail, the new one stands.
        if (!platform::ExchangeFileNames(sibling, document)) FinishReplacement();
        ThrowPlatformError(error, path);
    }
    FinishReplacement();
}

void JournaledFile::FinishReplacement() noexcept {
    // The old document, now under the sibling's name (or under none after a
    // rename over it). Should its removal fail or a power loss bring the name
    // back, the next open removes it.
    if (!platform::RemoveOpenFile(ToPlatform(std::exchange(original_, kNoHandle)))) {
        ZR_Trace(u"Could not remove %s (error %d)", SiblingPath().c_str(), static_cast<int32_t>(GetLastError()));
    }
}

void JournaledFile::AbandonReplacement() noexcept {
    if (!Replacing()) return;
    CloseHandle(ToPlatform(ExchangeHandle(std::exchange(original_, kNoHandle))));
    RemoveQuietly(SiblingPath());
}

void JournaledFile::RemoveLeftover(const char16_t* path) noexcept {
    if (path == nullptr) return;
    const _String sibling = SiblingOf(path);
    // Only what a save leaves there: nothing yet, or a database file (new or
    // old) starting with its check code. A file of that name that is
    // something else is the user's, and stays.
    const HANDLE file = CreateFileW(sibling.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    uint8_t head[4] = {};
    DWORD read = 0;
    const bool ours = ReadFile(file, head, sizeof head, &read, nullptr) != FALSE &&
                      (read == 0 || (read == sizeof head && LoadLE32(head) == CDatabase::kCheckCode));
    CloseHandle(file);
    if (ours) RemoveQuietly(sibling);
}

}  // namespace zr_gen
