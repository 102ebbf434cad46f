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
#include <utility>

namespace zr_gen {

namespace {

constexpr uint32_t kAccessMask = 0x0003;

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
}

void CDatabase::FinishSave() {
    if (journal_ == nullptr || !IsOpen() || !(journal_->Active() || journal_->RollbackPending())) return;
    if (journal_->RollbackPending()) {
        RollBackSave();
        return;
    }
    // A save ended by Close (headers without rows, the subclass's own
    // writes) commits here; if that fails it is undone and reported.
    Save(SaveEnd::Commit, [] {});
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
    const bool begins = journal_ != nullptr && !journal_->Active();
    if (begins) saved_ = SavedState{dbInfo_, headerManager_.SaveLayout()};
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
    if (journal_ != nullptr) journal_->Commit(*GetFile());
    saved_.reset();
}

void CDatabase::RollBackSave() {
    if (journal_ == nullptr) return;
    try {
        journal_->Rollback(*GetFile());
    } catch (CException* e) {
        // The journal stays on disk: the next write or open plays it back.
        LogAndDeleteException(e, ZR_FILE, __LINE__);
    }
    if (saved_) {
        dbInfo_ = saved_->dbInfo;
        headerManager_.RestoreLayout(saved_->layout);
        saved_.reset();
    }
}

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
            // One journal flush for the whole table and its slots, old or new.
            const uint32_t end = std::max(headerManager_.GetReadHeadersEnd(), headerManager_.GetWriteHeadersEnd());
            KeepOriginal(0, end);
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
    RowSpanReader rows(*this);
    for (uint32_t i = 0; i < dbInfo_.rowCount; ++i) rows.ReadInto(*recordset_->AppendToRead());
    rows.Finish();
    buffered.End();
}

void CDatabase::WriteRows() {
    RequireOpen();
    // Rows written after headers that failed would sit behind the old table.
    if (std::exchange(headersFailed_, false)) {
        ZR_THROW(CException, kMsgFileWriteError, DefaultErrorNumber(kMsgFileWriteError));
    }
    Save(SaveEnd::Commit, [&] {
        const uint32_t start = getFirstRowStartPosWriting();
        // Everything from the first row on is rewritten or cut: one journal
        // flush for it and the db info.
        KeepOriginal(0, TDbInfo::kStoredSize);
        KeepOriginal(start, UINT32_MAX - start);
        BufferedScope buffered(*this);
        dbInfo_.rowCount = static_cast<uint32_t>(recordset_->getSize());
        Seek(static_cast<int32_t>(start), 0);
        WriteExtraRows();
        for (int32_t i = 0; i < recordset_->getSize(); ++i) recordset_->getRecord(static_cast<uint32_t>(i))->Write(*this);
        const uint32_t end = GetPosition();
        WriteDbInfo();
        Seek(static_cast<int32_t>(end), 0);
        SetLength(end);
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
