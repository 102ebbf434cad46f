#include "notestore/engine/RowsCollection.h"

#include <algorithm>
#include <new>

#include "notestore/engine/Rowset.h"
#include "notestore/foundation/Exception.h"
#include "notestore/foundation/Messages.h"

namespace zr_gen {

CDBRecordset::~CDBRecordset() { Free(); }

CDBRecord* CDBRecordset::Initialized(CDBRecord* created) const {
    if (created == nullptr) ZR_THROW(CException, kMsgOutOfMemory, DefaultErrorNumber(kMsgOutOfMemory));
    if (!initRecords_) return created;
    try {
        created->Init();  // a subclass's Init stores tags and may run out of memory
    } catch (...) {
        delete created;
        throw;
    }
    return created;
}

CDBRecord* CDBRecordset::CreateDBRecord() { return Initialized(NewPooled<CDBRecord>()); }

void CDBRecordset::InsertAt(size_t position, CDBRecord* record) {
    try {
        if (position == records_.size()) {
            records_.push_back(record);  // every row read from a file
        } else {
            records_.insert(records_.begin() + static_cast<std::ptrdiff_t>(position), record);
        }
    } catch (const std::bad_alloc&) {
        ZR_THROW(CException, kMsgOutOfMemory, DefaultErrorNumber(kMsgOutOfMemory));
    }
}

CDBRecord* CDBRecordset::InsertNew(size_t position) {
    CDBRecord* record = CreateDBRecord();
    try {
        InsertAt(position, record);
    } catch (...) {
        DeleteDBRecord(record);
        throw;
    }
    return record;
}

CDBRecord* CDBRecordset::Append() {
    CDBRecord* record = InsertNew(records_.size());
    record->SetIndex(static_cast<uint32_t>(records_.size() - 1));
    return record;
}

CDBRecord* CDBRecordset::AppendToRead() {
    initRecords_ = false;
    try {
        CDBRecord* record = Append();
        initRecords_ = true;
        return record;
    } catch (...) {
        initRecords_ = true;
        throw;
    }
}

void CDBRecordset::add(CDBRecord* record) {
    ZR_ASSERT(record != nullptr);
    if (record != nullptr) InsertAt(records_.size(), record);
}

CDBRecord* CDBRecordset::InsertBefore(CDBRecord* record) {
    const int32_t position = GetRowPos(record);
    return position < 0 ? nullptr : InsertNew(static_cast<size_t>(position));
}

CDBRecord* CDBRecordset::InsertAfter(CDBRecord* record) {
    const int32_t position = GetRowPos(record);
    return position < 0 ? nullptr : InsertNew(static_cast<size_t>(position) + 1);
}

void CDBRecordset::MoveBefore(CDBRecord* record, CDBRecord* before) {
    const int32_t from = GetRowPos(record);
    if (from < 0 || record == before) return;
    records_.erase(records_.begin() + from);
    int32_t to = before == nullptr ? getSize() : GetRowPos(before);
    if (to < 0) to = from;
    // Cannot reallocate, and so cannot throw: a slot was just freed.
    records_.insert(records_.begin() + to, record);
}

void CDBRecordset::Delete(int32_t index) {
    const bool inRange = index >= 0 && index < getSize();
    ZR_ASSERT(inRange);
    if (!inRange) return;
    DeleteDBRecord(records_[static_cast<size_t>(index)]);
    records_.erase(records_.begin() + index);
}

int32_t CDBRecordset::Delete(CDBRecord* record) {
    const int32_t position = GetRowPos(record);
    if (position >= 0) Delete(position);
    return position;
}

void CDBRecordset::DeleteDBRecord(CDBRecord* record) { delete record; }

uint32_t CDBRecordset::DeleteMarked() {
    // records_[0, kept) are the survivors in order, [kept, next) spent slots,
    // [next, end) not yet looked at.
    size_t kept = 0;
    size_t next = 0;
    try {
        for (; next < records_.size(); ++next) {
            CDBRecord* record = records_[next];
            if (record->IsDeleted()) {
                DeleteDBRecord(record);
            } else {
                records_[kept++] = record;
            }
        }
    } catch (...) {
        records_.erase(records_.begin() + static_cast<std::ptrdiff_t>(kept),
                       records_.begin() + static_cast<std::ptrdiff_t>(next));
        throw;
    }
    records_.resize(kept);
    return static_cast<uint32_t>(next - kept);
}

int32_t CDBRecordset::GetRowPos(const CDBRecord* record) const {
    const auto found = std::find(records_.begin(), records_.end(), record);
    ZR_ASSERT(found != records_.end());
    return found == records_.end() ? -1 : static_cast<int32_t>(found - records_.begin());
}

CDBRecord* CDBRecordset::getRecord(uint32_t index) const { return index < records_.size() ? records_[index] : nullptr; }

void CDBRecordset::Free() {
    for (CDBRecord* record : records_) DeleteDBRecord(record);
    records_.clear();
}

}  // namespace zr_gen
