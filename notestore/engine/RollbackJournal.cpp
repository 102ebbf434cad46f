#include "notestore/engine/RollbackJournal.h"

#include <algorithm>
#include <chrono>
#include <vector>

#include <zlib.h>

#include "notestore/engine/JournalFormat.h"
#include "notestore/engine/JournaledFile.h"
#include "notestore/foundation/ByteOrder.h"
#include "notestore/foundation/Exception.h"
#include "notestore/foundation/File.h"
#include "notestore/foundation/Messages.h"
#include "platform/Errors.h"
#include "platform/Files.h"

namespace zr_gen {

namespace journal {

uint32_t Crc32(uint32_t crc, const uint8_t* bytes, size_t count) {
    // zlib's CRC-32 is this polynomial, several times faster than a table
    // walked byte by byte; it takes at most 4 GiB per call.
    while (count > 0) {
        const auto chunk = static_cast<uInt>(std::min<size_t>(count, 1u << 30));
        crc = static_cast<uint32_t>(crc32(crc, bytes, chunk));
        bytes += chunk;
        count -= chunk;
    }
    return crc;
}

}  // namespace journal

namespace {

using namespace journal;

_String JournalPathOf(const char16_t* databasePath) {
    _String path(databasePath != nullptr ? databasePath : u"");
    path += _String(kSuffix);
    return path;
}

// Differs between saves, so that records left behind by an earlier journal
// at the same place never pass for this one's.
uint32_t NewSalt() {
    static uint32_t counter = 0;
    const auto now = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    return static_cast<uint32_t>(now ^ (now >> 32)) ^ (++counter * 0x9E3779B9u);
}

uint32_t RecordCrc(uint32_t salt, const uint8_t* head, const uint8_t* bytes, uint32_t count) {
    uint8_t saltBytes[4];
    StoreLE32(saltBytes, salt);
    uint32_t crc = Crc32(0, saltBytes, sizeof saltBytes);
    crc = Crc32(crc, head, kRecordHeadSize);
    return Crc32(crc, bytes, count);
}

// Raises the file exception for the platform's last error.
[[noreturn]] void ThrowPlatformError(const _String& path) {
    const auto error = static_cast<int32_t>(GetLastError());
    ZR_TRACE_THROW();
    _ThrowFileException(CFileException::OsErrorToException(error), error, path.c_str());
}

void FlushFolder(const _String& path) {
    if (!platform::FlushFolderOf(path.c_str())) ThrowPlatformError(path);
}

// For removals, which are complete without it: a failure is only logged.
void FlushFolderQuietly(const _String& path) {
    if (!platform::FlushFolderOf(path.c_str())) {
        ZR_Trace(u"Could not flush the folder of %s (error %d)", path.c_str(), static_cast<int32_t>(GetLastError()));
    }
}

std::unique_ptr<CFile> NewFile() {
    std::unique_ptr<CFile> file(NewObject<CFile>());
    if (file == nullptr) ZR_THROW(CException, kMsgOutOfMemory, DefaultErrorNumber(kMsgOutOfMemory));
    return file;
}

}  // namespace

RollbackJournal::RollbackJournal(const char16_t* databasePath) : journalPath_(JournalPathOf(databasePath)) {}

RollbackJournal::~RollbackJournal() { Release(); }

void RollbackJournal::Begin(CFile& file) {
    Reset();
    // The file's own operations: a journaled file's would count writes it
    // holds back, or write them.
    originalLength_ = file.CFile::GetLength();
    salt_ = NewSalt();
    if (journal_ == nullptr) {
        std::unique_ptr<CFile> journal = NewFile();
        // Others may read the journal but not change it while it is ours.
        journal->Open(journalPath_.c_str(), CFile::kCreate | CFile::kModeReadWrite | CFile::kShareRead);
        journal_ = std::move(journal);
        folderFlushed_ = false;
    }
    active_ = true;
    uint8_t header[kHeaderSize] = {};
    StoreLE32(header, kMagic);
    StoreLE16(header + 4, kVersion);
    StoreLE32(header + 8, originalLength_);
    StoreLE32(header + 12, salt_);
    StoreLE32(header + 16, Crc32(0, header, kHeaderChecked));
    journalEnd_ = kHeaderSize;
    dirty_ = true;
    journal_->Seek(0, CFile::kBegin);
    journal_->Write(header, sizeof header);
}

void RollbackJournal::Reset() {
    active_ = false;
    kept_.clear();
    dirty_ = false;
    journalEnd_ = 0;
}

void RollbackJournal::Discard() {
    journal_->Close();
    journal_.reset();
    CFile::Remove(journalPath_.c_str());
}

void RollbackJournal::Release() noexcept {
    if (journal_ == nullptr || active_ || rollbackPending_) return;
    try {
        Discard();
        // A journal that comes back after a power loss holds nothing to play.
        FlushFolderQuietly(journalPath_);
    } catch (CException* e) {
        LogAndDeleteException(e, ZR_FILE, __LINE__);
        journal_.reset();
    }
}

void RollbackJournal::KeepRange(CFile& file, uint32_t start, uint32_t end) {
    // Each record is read from the file straight into its place between its
    // head and its checksum, and written to the journal as one piece.
    std::vector<uint8_t> record;
    for (uint32_t at = start; at < end;) {
        const uint32_t count = std::min(end - at, kMaxRecordData);
        record.resize(kRecordHeadSize + count + kRecordTailSize);
        uint8_t* bytes = record.data() + kRecordHeadSize;
        file.CFile::Seek(static_cast<int32_t>(at), CFile::kBegin);
        file.CFile::Read(bytes, count);
        StoreLE32(record.data(), at);
        StoreLE32(record.data() + 4, count);
        StoreLE32(bytes + count, RecordCrc(salt_, record.data(), bytes, count));
        dirty_ = true;
        // Records go back to back; a failed write is overwritten by the next try.
        journal_->Seek(static_cast<int32_t>(journalEnd_), CFile::kBegin);
        journal_->Write(record.data(), static_cast<uint32_t>(record.size()));
        journalEnd_ += static_cast<uint32_t>(record.size());
        at += count;
    }
    // Merged with its neighbours, so the map stays small for sequential saves.
    auto next = kept_.lower_bound(start);
    uint32_t mergedStart = start;
    uint32_t mergedEnd = end;
    if (next != kept_.begin()) {
        auto previous = std::prev(next);
        if (previous->second == start) {
            mergedStart = previous->first;
            kept_.erase(previous);
        }
    }
    if (next != kept_.end() && next->first == end) {
        mergedEnd = next->second;
        kept_.erase(next);
    }
    kept_[mergedStart] = mergedEnd;
}

void RollbackJournal::Keep(CFile& file, uint32_t offset, uint32_t count) {
    if (rollbackPending_) {
        // Playing back moves the position, which the caller's write needs.
        const uint32_t position = file.CFile::GetPosition();
        Rollback(file);
        file.CFile::Seek(static_cast<int32_t>(position), CFile::kBegin);
    }
    if (!Active()) Begin(file);
    const auto end = static_cast<uint32_t>(std::min<uint64_t>(uint64_t{offset} + count, originalLength_));
    if (offset >= end) return;
    const uint32_t position = file.CFile::GetPosition();
    // Only the gaps between the ranges kept already.
    for (uint32_t at = offset; at < end;) {
        auto next = kept_.upper_bound(at);
        if (next != kept_.begin() && std::prev(next)->second > at) {
            at = std::prev(next)->second;
            continue;
        }
        const uint32_t gapEnd = next != kept_.end() ? std::min(next->first, end) : end;
        KeepRange(file, at, gapEnd);
        at = gapEnd;
    }
    file.CFile::Seek(static_cast<int32_t>(position), CFile::kBegin);
}

void RollbackJournal::MakeDurable() {
    if (!dirty_) return;
    journal_->Flush();
    if (!folderFlushed_) {
        FlushFolder(journalPath_);
        folderFlushed_ = true;
    }
    dirty_ = false;
}

void RollbackJournal::Protect(CFile& file, uint32_t offset, uint32_t count) {
    Keep(file, offset, count);
    MakeDurable();
}

void RollbackJournal::Commit(CFile& file) {
    if (!Active()) return;
    file.CFile::Flush();
    // The save is done once the cleared header is on the disk. Records
    // behind it stay, but without their header they never play.
    const uint8_t cleared[kHeaderSize] = {};
    journal_->Seek(0, CFile::kBegin);
    journal_->Write(cleared, sizeof cleared);
    journal_->Flush();
    Reset();
}

void RollbackJournal::Rollback(CFile& file) {
    rollbackPending_ = true;
    if (journal_ == nullptr || !journal_->IsOpen()) {
        // A save that failed before its journal existed changed nothing.
        if (GetFileAttributesW(journalPath_.c_str()) == INVALID_FILE_ATTRIBUTES) {
            journal_.reset();
            Reset();
            rollbackPending_ = false;
            return;
        }
        journal_ = NewFile();
        journal_->Open(journalPath_.c_str(), CFile::kModeReadWrite | CFile::kShareRead);
    }
    // The save's own header is known here, and is the one to go by: a commit
    // that failed after clearing it on disk is still undone.
    if (active_) {
        PlayRecords(file, *journal_, Head{originalLength_, salt_});
    } else {
        PlayBack(file, *journal_);
    }
    Discard();
    Reset();
    rollbackPending_ = false;
    // Should the removal not reach the disk, the journal plays back again
    // after a power loss, to the same old document.
    FlushFolderQuietly(journalPath_);
}

bool RollbackJournal::ReadHead(CFile& journal, Head* head) {
    uint8_t header[kHeaderSize];
    if (journal.GetLength() < kHeaderSize) return false;
    journal.Seek(0, CFile::kBegin);
    journal.Read(header, kHeaderSize);
    if (LoadLE32(header) != kMagic || LoadLE16(header + 4) != kVersion ||
        LoadLE32(header + 16) != Crc32(0, header, kHeaderChecked)) {
        return false;
    }
    *head = Head{LoadLE32(header + 8), LoadLE32(header + 12)};
    return true;
}

void RollbackJournal::PlayRecords(CFile& file, CFile& journal, const Head& head) {
    const uint32_t length = journal.GetLength();
    std::vector<uint8_t> bytes;
    journal.Seek(static_cast<int32_t>(kHeaderSize), CFile::kBegin);
    // A journal whose header was never written whole holds no record.
    for (uint32_t at = kHeaderSize; at <= length && length - at >= kRecordHeadSize + kRecordTailSize;) {
        uint8_t recordHead[kRecordHeadSize];
        journal.Read(recordHead, kRecordHeadSize);
        const uint32_t offset = LoadLE32(recordHead);
        const uint32_t count = LoadLE32(recordHead + 4);
        // A record cut short or damaged ends what was made durable.
        if (count == 0 || count > kMaxRecordData || count > length - at - kRecordHeadSize - kRecordTailSize) break;
        bytes.resize(count + kRecordTailSize);
        journal.Read(bytes.data(), count + kRecordTailSize);
        if (LoadLE32(bytes.data() + count) != RecordCrc(head.salt, recordHead, bytes.data(), count)) break;
        if (uint64_t{offset} + count > head.originalLength) break;
        // The file's own operations, not a journaled file's: these writes
        // restore, they are not part of a save.
        file.CFile::Seek(static_cast<int32_t>(offset), CFile::kBegin);
        file.CFile::Write(bytes.data(), count);
        at += kRecordHeadSize + count + kRecordTailSize;
    }
    file.CFile::SetLength(head.originalLength);
    file.CFile::Flush();
}

bool RollbackJournal::PlayBack(CFile& file, CFile& journal) {
    Head head;
    if (!ReadHead(journal, &head)) return false;
    PlayRecords(file, journal, head);
    return true;
}

void RollbackJournal::RecoverHot(const char16_t* databasePath) {
    if (databasePath == nullptr) return;
    const _String journalPath = JournalPathOf(databasePath);
    _String siblingPath(databasePath);
    siblingPath += _String(JournaledFile::kSiblingSuffix);
    const bool hot = GetFileAttributesW(journalPath.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (!hot && GetFileAttributesW(siblingPath.c_str()) == INVALID_FILE_ATTRIBUTES) return;
    // Refusing other writers while playing back: a handle still writing the
    // file (a save alive in another object or process) makes the open fail,
    // and its journal or sibling is not ours to touch.
    CFile file;
    CFile journal;
    try {
        file.Open(databasePath, CFile::kModeReadWrite | CFile::kShareRead);
        if (hot) journal.Open(journalPath.c_str(), CFile::kModeRead | CFile::kShareRead);
    } catch (CFileException* e) {
        const bool alive = e != nullptr && e->GetCause() == CFileException::sharingViolation;
        const bool noDocument = e != nullptr && e->GetCause() == CFileException::fileNotFound;
        if (!alive && !noDocument) throw;
        e->Delete();
        return;
    }
    // The document's name always leads to a complete document: a sibling
    // beside it is an unfinished new one, or the old one a finished save
    // had not yet removed.
    JournaledFile::RemoveLeftover(databasePath);
    if (!hot) return;
    if (PlayBack(file, journal)) {
        ZR_Trace(u"Rolled back the unfinished save of %s", databasePath);
    }
    journal.Close();
    file.Close();
    CFile::Remove(journalPath.c_str());
    FlushFolder(journalPath);
}

}  // namespace zr_gen
