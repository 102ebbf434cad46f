#include "notestore/engine/Database.h"

#include "notestore/engine/JournaledFile.h"
#include "notestore/engine/RowSpanReader.h"
#include "notestore/engine/RowsCollection.h"
#include "notestore/engine/Rowset.h"
#include "notestore/foundation/ByteOrder.h"
#include "notestore/foundation/Exception.h"
#include "notestore/foundation/Messages.h"
#include "notestore/foundation/zr_assert.h"
#include "platform/Types.h"

#include <algorithm>
#include <atomic>
#include <utility>
#include <vector>

namespace zr_gen {

namespace {

constexpr uint32_t kAccessMask = 0x0003;
constexpr uint32_t kShareMask = 0x0070;

// Unique in the process, so that no two databases, nor two states of one
// file, share a token: a token comes back only after 2^32 opens and saves,
// and a record could be mistaken only if it kept the old one all that time,
// out of its recordset. 32 bits keep every record of a large document
// 8 bytes smaller.
uint32_t NewFileToken() {
    static std::atomic<uint32_t> last{0};
    uint32_t token = ++last;
    while (token == 0) token = ++last;  // 0 marks nothing
    return token;
}

// Whether the file whose rows are marked with `token` holds the row of
// `record` at `at`, where a save would write it.
bool RowInPlace(const CDBRecord& record, uint32_t at, uint32_t token) {
    return record.GetPos() == at && record.IsStoredIn(token);
}

// The stored size of a row that CDBRecord::Write writes.
uint32_t RowBytes(const CDBRecord& record) {
    return CDBRecord::kStartTagLen + sizeof(uint32_t) + record.GetRecSize() + CDBRecord::kEndTagLen;
}

// A save that rewrites at least this much, and half the file or more, writes
// the file anew instead of journaling what it overwrites. Below it the
// journal costs little either way, and the file keeps its identity.
constexpr uint64_t kWriteAnewFrom = 256 * 1024;

}  // namespace

CDatabase::CDatabase(bool createRecordset) : headerManager_(kHeaderInfoPosition) {
    if (createRecordset) MakePlainRecordset();
    dbInfo_ = TDbInfo{kCheckCode, 0, 0};
    CConduitHeader* conduit = NewObject<CConduitHeader>();
    if (conduit == nullptr) {
        delete recordset_;
        ZR_THROW(CException, kMsgOutOfMemory, DefaultErrorNumber(kMsgOutOfMemory));
    }
    headerManager_.RegisterHeader(THeaderRecord{CConduitHeader::kId, CConduitHeader::kDefaultSize}, conduit);
}

CDatabase::~CDatabase() {
    try {
        if (IsOpen()) Close();
    } catch (CException* e) {
        LogAndDeleteException(e, ZR_FILE, __LINE__);
    }
    delete recordset_;
}

int32_t CDatabase::Open(const char16_t* path, uint32_t mode) {
    Close();
    RollbackJournal::RecoverHot(path);
    const bool creates = (mode & kCreateFlag) != 0;
    if ((mode & kAccessMask) == CFile::kModeRead && !creates) {
        if (CFileStream::Open(path, mode) == 0) return 0;
    } else {
        const bool empties = creates && (mode & CFile::kNoTruncate) == 0;
        // The file is emptied below, inside the save, not by the open.
        const uint32_t flags = (mode & ~kAccessMask) | CFile::kModeReadWrite | (empties ? CFile::kNoTruncate : 0);
        journal_ = std::make_unique<RollbackJournal>(path);
        if (OpenOwned(NewObject<JournaledFile>(*journal_), path, flags) == 0) return 0;
        const uint32_t share = mode & kShareMask;
        soleWriter_ = share != CFile::kShareWrite && share != CFile::kShareReadWrite;
        ForgetStoredRows();
        LookAtFile();
        if (empties && GetLength() != 0) Save(SaveEnd::Continue, [&] { SetLength(0); });
    }
    if (creates) return 1;
    ReadDbInfo();
    headerManager_.Read(*this);
    return 1;
}

void CDatabase::Close() {
    FinishSave();
    CFileStream::Close();
    journal_.reset();
    ForgetStoredRows();
}

void CDatabase::FinishSave() {
    if (journal_ == nullptr || !IsOpen() || !(SaveUnderWay() || journal_->RollbackPending())) return;
    if (journal_->RollbackPending()) {
        RollBackSave();
        return;
    }
    // A save ended by Close (headers without rows, the subclass's own
    // writes) commits here; if that fails it is undone and reported.
    Save(SaveEnd::Commit, [&] {
        if (JournaledFile* file = Journaled()) file->WriteHeld();
    });
}

JournaledFile* CDatabase::Journaled() const {
    return journal_ != nullptr ? dynamic_cast<JournaledFile*>(GetFile()) : nullptr;
}

bool CDatabase::SaveUnderWay() const {
    const JournaledFile* file = Journaled();
    return journal_ != nullptr && (journal_->Active() || (file != nullptr && (file->Holding() || file->Replacing())));
}

void CDatabase::RequireOpen() const {
    if (IsOpen()) return;
    ZR_TRACE_THROW();
    _ThrowFileException(CFileException::invalidFile, static_cast<int32_t>(ERROR_INVALID_HANDLE), nullptr);
}

template <class Body>
void CDatabase::Save(SaveEnd end, Body body) {
    RequireOpen();
    if (journal_ != nullptr && journal_->RollbackPending()) RollBackSave();
    const bool begins = journal_ != nullptr && !SaveUnderWay();
    if (begins) {
        saved_ = SavedState{dbInfo_, headerManager_.SaveLayout()};
        if (FileChangedElsewhere()) ForgetStoredRows();
    }
    try {
        body();
        if (end == SaveEnd::Commit || (end == SaveEnd::CommitIfBegun && begins)) CommitSave();
    } catch (...) {
        RollBackSave();
        throw;
    }
}

void CDatabase::KeepOriginal(uint32_t offset, uint32_t count) {
    if (journal_ != nullptr) journal_->Keep(*GetFile(), offset, count);
}

void CDatabase::CommitSave() {
    JournaledFile* file = Journaled();
    if (file != nullptr && file->Replacing()) {
        try {
            file->CommitReplacement();
        } catch (...) {
            // Written anew after all (the old document could not come back):
            // the new document and its layout stand.
            if (!file->Replacing()) {
                saved_.reset();
                LookAtFile();
            }
            throw;
        }
    } else if (journal_ != nullptr) {
        journal_->Commit(*GetFile());
    }
    saved_.reset();
    LookAtFile();
}

void CDatabase::RollBackSave() {
    if (journal_ == nullptr) return;
    // The rows marked by the failed save are not in the file.
    ForgetStoredRows();
    if (JournaledFile* file = Journaled()) {
        file->DropHeld();
        file->AbandonReplacement();
    }
    try {
        journal_->Rollback(*GetFile());
    } catch (CException* e) {
        // The journal stays on disk: the next write or open plays it back.
        LogAndDeleteException(e, ZR_FILE, __LINE__);
    }
    LookAtFile();
    if (saved_) {
        dbInfo_ = saved_->dbInfo;
        headerManager_.RestoreLayout(saved_->layout);
        saved_.reset();
    }
}

void CDatabase::ForgetStoredRows() { fileToken_ = journal_ != nullptr && soleWriter_ ? NewFileToken() : 0; }

CDatabase::FileLook CDatabase::LookNow() const {
    const CFile* file = GetFile();
    try {
        return FileLook{file->GetLastWriteTime(), file->GetLength()};
    } catch (CException* e) {
        e->Delete();
        return FileLook{};
    }
}

void CDatabase::LookAtFile() { look_ = LookNow(); }

// A file whose time cannot be had counts as changed: nothing is passed over.
bool CDatabase::FileChangedElsewhere() const { return look_.lastWrite == 0 || LookNow() != look_; }

void CDatabase::InitNewDatabase() { headerManager_.AddRegistered(); }

void CDatabase::WriteDbInfo() {
    uint8_t bytes[TDbInfo::kStoredSize];
    StoreLE32(bytes, dbInfo_.checkCode);
    StoreLE16(bytes + 4, dbInfo_.versionNum);
    StoreLE32(bytes + 6, dbInfo_.rowCount);
    Seek(0, 0);
    Write(bytes, sizeof bytes);
}

void CDatabase::ReadDbInfo() {
    uint8_t bytes[TDbInfo::kStoredSize];
    Seek(0, 0);
    Read(bytes, sizeof bytes);
    dbInfo_ = TDbInfo{LoadLE32(bytes), LoadLE16(bytes + 4), LoadLE32(bytes + 6)};
    if (dbInfo_.checkCode != kCheckCode) {
        ZR_THROW(CDBException, kMsgCheckCodeDifferent, DefaultErrorNumber(kMsgCheckCodeDifferent));
    }
    CheckDbInfo();
}

void CDatabase::ReadHeaderInfo() { headerManager_.Read(*this); }

void CDatabase::WriteHeaderInfo() { headerManager_.Write(*this); }

bool CDatabase::ReadHeader(uint16_t id) { return headerManager_.ReadHeader(*this, id); }

void CDatabase::WriteHeader(uint16_t id) {
    Save(SaveEnd::CommitIfBegun, [&] {
        BufferedScope buffered(*this);
        headerManager_.WriteHeader(*this, id);
        buffered.End();
    });
}

void CDatabase::ReadConduitHeader() { ReadHeader(CConduitHeader::kId); }

void CDatabase::WriteConduitHeader() { WriteHeader(CConduitHeader::kId); }

CConduitHeader* CDatabase::GetConduitHeader() const {
    return static_cast<CConduitHeader*>(headerManager_.GetHeaderPtr(CConduitHeader::kId));
}

void CDatabase::WriteAllHeaders() {
    headersFailed_ = false;
    try {
        Save(SaveEnd::Continue, [&] {
            // Held until the rows come: a save that writes the file anew
            // leaves the old one untouched, and one that goes in place keeps
            // the originals of headers and rows with one journal flush.
            if (JournaledFile* file = Journaled()) file->HoldWrites();
            BufferedScope buffered(*this);
            WriteDbInfo();
            headerManager_.WriteAll(*this);
            buffered.End();
            headerManager_.AdoptWrittenLayout();
        });
    } catch (...) {
        headersFailed_ = true;
        throw;
    }
}

void CDatabase::ReadRows() {
    BufferedScope buffered(*this);
    Seek(static_cast<int32_t>(getFirstRowStartPosReading()), 0);
    ReadExtraRows();
    recordset_->Free();
    // Rows read now are what the file holds, whoever wrote it last.
    if (fileToken_ != 0 && FileChangedElsewhere()) {
        ForgetStoredRows();
        LookAtFile();
    }
    RowSpanReader rows(*this);
    for (uint32_t i = 0; i < dbInfo_.rowCount; ++i) {
        CDBRecord& record = *recordset_->AppendToRead();
        rows.ReadInto(record);
        if (fileToken_ != 0 && CDBRecord::ReadsPlainRows(record)) record.MarkStored(fileToken_);
    }
    rows.Finish();
    buffered.End();
}

bool CDatabase::RangesToRewrite(uint32_t at, uint32_t length, uint64_t enough, std::vector<FileRange>* ranges) const {
    uint64_t changed = 0;
    const auto add = [&](uint32_t offset, uint32_t count) {
        ranges->push_back(FileRange{offset, count});
        if (offset < length) changed += std::min<uint64_t>(count, length - offset);
    };
    uint32_t runStart = at;
    bool inRun = false;
    for (int32_t i = 0; i < recordset_->getSize(); ++i) {
        const CDBRecord& record = *recordset_->getRecord(static_cast<uint32_t>(i));
        if (RowInPlace(record, at, fileToken_)) {
            if (inRun) add(runStart, at - runStart);
            inRun = false;
        } else {
            // Where a caller's record writes its own way, what follows may move
            // by any amount: all of it changes.
            if (!CDBRecord::ReadsPlainRows(record)) {
                const uint32_t from = inRun ? runStart : at;
                add(from, UINT32_MAX - from);
                return changed >= enough;
            }
            if (!inRun) runStart = at;
            inRun = true;
            if (changed + (at - runStart) >= enough) return true;
        }
        at += RowBytes(record);
    }
    // The last run, and whatever the cut after the last row takes away.
    const uint32_t from = inRun ? runStart : at;
    add(from, UINT32_MAX - from);
    return changed >= enough;
}

bool CDatabase::BeginWritingAnew(uint32_t rowsStart, uint32_t at, std::vector<FileRange>* ranges) {
    JournaledFile* file = Journaled();
    const bool eligible = file != nullptr && soleWriter_ && !journal_->Active() && !file->Replacing();
    const uint32_t length = file != nullptr ? file->StoredLength() : GetFile()->GetLength();
    // What the journal would keep: the headers and extra rows before the
    // rows (every save rewrites them) and the rows that change.
    const uint64_t before = std::min(at, length);
    const uint64_t enough = std::max<uint64_t>(kWriteAnewFrom, (uint64_t{length} + 1) / 2);
    if (!eligible) {
        RangesToRewrite(at, length, UINT64_MAX, ranges);
        return false;
    }
    if (!RangesToRewrite(at, length, enough > before ? enough - before : 0, ranges)) return false;
    if (file->BeginReplacement(rowsStart)) return true;
    // Cut short: the journal needs them all.
    ranges->clear();
    RangesToRewrite(at, length, UINT64_MAX, ranges);
    return false;
}

void CDatabase::WriteRows() {
    RequireOpen();
    // Rows written after headers that failed would sit behind the old table.
    if (std::exchange(headersFailed_, false)) {
        ZR_THROW(CException, kMsgFileWriteError, DefaultErrorNumber(kMsgFileWriteError));
    }
    Save(SaveEnd::Commit, [&] {
        JournaledFile* file = Journaled();
        if (file != nullptr && !file->Replacing()) file->HoldWrites();
        const uint32_t start = getFirstRowStartPosWriting();
        BufferedScope buffered(*this);
        dbInfo_.rowCount = static_cast<uint32_t>(recordset_->getSize());
        Seek(static_cast<int32_t>(start), 0);
        // Held, not yet in the file: the save either writes the file anew or
        // keeps the original bytes of all it rewrites or cuts first, for one
        // journal flush.
        WriteExtraRows();
        uint32_t at = GetPosition();
        std::vector<FileRange> ranges;
        const bool anew = journal_ != nullptr && BeginWritingAnew(start, at, &ranges);
        if (!anew) {
            KeepOriginal(0, TDbInfo::kStoredSize);
            KeepOriginal(start, at - start);
            for (const FileRange& range : ranges) KeepOriginal(range.offset, range.count);
            if (file != nullptr) file->WriteHeld();
        }
        // The marks of this save; those of the last one decide what is
        // passed over.
        const uint32_t passable = anew ? 0 : fileToken_;
        ForgetStoredRows();
        bool positioned = true;
        for (int32_t i = 0; i < recordset_->getSize(); ++i) {
            CDBRecord& record = *recordset_->getRecord(static_cast<uint32_t>(i));
            if (RowInPlace(record, at, passable)) {
                if (fileToken_ != 0) record.MarkStored(fileToken_);
                at += RowBytes(record);
                positioned = false;
                continue;
            }
            if (!positioned) Seek(static_cast<int32_t>(at), 0);
            positioned = true;
            record.Write(*this);
            at = GetPosition();
            if (fileToken_ != 0 && CDBRecord::ReadsPlainRows(record)) record.MarkStored(fileToken_);
        }
        WriteDbInfo();
        Seek(static_cast<int32_t>(at), 0);
        SetLength(at);
        buffered.End();
    });
}

void CDatabase::ReadRow(uint32_t position, CDBRecord* record) {
    ZR_ASSERT(IsOpen());
    ZR_ASSERT(record != nullptr);
    if (record == nullptr) return;
    Seek(static_cast<int32_t>(position), 0);
    record->Read(*this);
}

void CDatabase::purgeDeletedRecs() { recordset_->DeleteMarked(); }

CDBRecord* CDatabase::getRecord(uint32_t index) const { return recordset_->getRecord(index); }

void CDatabase::MakePlainRecordset() {
    recordset_ = NewObject<CDBRecordset>();
    if (recordset_ == nullptr) ZR_THROW(CException, kMsgOutOfMemory, DefaultErrorNumber(kMsgOutOfMemory));
}

void CDatabase::CreateRecordset() { MakePlainRecordset(); }

uint32_t CDatabase::getFirstRowStartPosReading() { return headerManager_.GetReadHeadersEnd(); }

uint32_t CDatabase::getFirstRowStartPosWriting() { return headerManager_.GetWriteHeadersEnd(); }

}  // namespace zr_gen
