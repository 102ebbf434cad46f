#include "notestore/engine/Database.h"

#include "notestore/engine/RowSpanReader.h"
#include "notestore/engine/RowsCollection.h"
#include "notestore/engine/Rowset.h"
#include "notestore/foundation/ByteOrder.h"
#include "notestore/foundation/Exception.h"
#include "notestore/foundation/Messages.h"
#include "notestore/foundation/zr_assert.h"

namespace zr_gen {

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
    if (IsOpen()) Close();
    delete recordset_;
}

int32_t CDatabase::Open(const char16_t* path, uint32_t mode) {
    if (CFileStream::Open(path, mode) == 0) return 0;
    if (mode & kCreateFlag) return 1;
    ReadDbInfo();
    headerManager_.Read(*this);
    return 1;
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
    BufferedScope buffered(*this);
    headerManager_.WriteHeader(*this, id);
    buffered.End();
}

void CDatabase::ReadConduitHeader() { ReadHeader(CConduitHeader::kId); }

void CDatabase::WriteConduitHeader() { WriteHeader(CConduitHeader::kId); }

CConduitHeader* CDatabase::GetConduitHeader() const {
    return static_cast<CConduitHeader*>(headerManager_.GetHeaderPtr(CConduitHeader::kId));
}

void CDatabase::WriteAllHeaders() {
    BufferedScope buffered(*this);
    WriteDbInfo();
    headerManager_.WriteAll(*this);
    buffered.End();
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
    BufferedScope buffered(*this);
    dbInfo_.rowCount = static_cast<uint32_t>(recordset_->getSize());
    Seek(static_cast<int32_t>(getFirstRowStartPosWriting()), 0);
    WriteExtraRows();
    for (int32_t i = 0; i < recordset_->getSize(); ++i) recordset_->getRecord(static_cast<uint32_t>(i))->Write(*this);
    const uint32_t end = GetPosition();
    WriteDbInfo();
    Seek(static_cast<int32_t>(end), 0);
    SetLength(end);
    buffered.End();
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
