#include "notestore/categories/CategoryDB.h"

#include "notestore/categories/WordCompare.h"
#include "notestore/foundation/ByteOrder.h"
#include "notestore/foundation/Exception.h"
#include "notestore/foundation/Messages.h"
#include "notestore/foundation/zr_assert.h"

namespace zr_gen {

namespace {

constexpr uint32_t kLastIdSize = 4;
constexpr uint32_t kNewFlagSize = 1;

CTime TimeOrNow(const CTime* time) { return time != nullptr ? *time : CTime::GetCurrentTime(); }

}  // namespace

char16_t CCategoryDB::kUnfiledCategoryName[kUnfiledNameCapacity] = {};

// ---- iterator ----

CCategoryIterator::CCategoryIterator(CCategoryDB* database, CategoryPosition position)
    : database_(database), position_(position) {
    FindFirst();
}

CCategoryRecord* CCategoryIterator::operator*() const {
    return database_ != nullptr ? database_->GetCatRecordset()->getCategoryRecord(position_) : nullptr;
}

CCategoryIterator& CCategoryIterator::operator++() {
    ++position_;
    FindFirst();
    return *this;
}

void CCategoryIterator::FindFirst() {
    if (database_ == nullptr) return;
    const CategoryPosition end = database_->End();
    if (position_ > end) position_ = end;
    while (position_ != end && database_->GetCatRecordset()->getCategoryRecord(position_)->IsEmpty()) ++position_;
}

// ---- database ----

CCategoryDB::CCategoryDB() : CDatabase(false) {
    CreateRecordset();
    dbInfo_.versionNum = kVersion;
}

CCategoryDB::~CCategoryDB() = default;

void CCategoryDB::CheckDbInfo() {
    if (dbInfo_.versionNum > kVersion) {
        ZR_THROW(CException, kMsgDbVersionNewer, DefaultErrorNumber(kMsgDbVersionNewer));
    }
}

void CCategoryDB::InitNewDatabase() {
    CDatabase::InitNewDatabase();
    newFlag_ = 1;
    lastCategoryId_ = kFirstCategoryId;
    AddNewCategory(kUnfiledCategoryId, kUnfiledCategoryName, CTime::GetCurrentTime(), 0);
}

void CCategoryDB::WriteDbInfo() {
    dbInfo_.versionNum = kVersion;
    CDatabase::WriteDbInfo();
}

void CCategoryDB::ReadExtraRows() {
    const uint32_t size = dbInfo_.versionNum == 0 ? kLastIdSize : kLastIdSize + kNewFlagSize;
    // A file cut inside the extra rows must fail as our read error, whatever
    // kind of file the stream is over, and before anything is taken from it.
    RequireInFile(GetPosition(), size);
    uint8_t bytes[kLastIdSize + kNewFlagSize] = {};
    Read(bytes, size);
    lastCategoryId_ = LoadLE32(bytes);
    if (size > kLastIdSize) newFlag_ = bytes[kLastIdSize];
}

void CCategoryDB::WriteExtraRows() { *this << lastCategoryId_ << newFlag_; }

void CCategoryDB::CreateRecordset() {
    CCategoryRecordset* created = NewObject<CCategoryRecordset>();
    if (created == nullptr) ZR_THROW(CException, kMsgOutOfMemory, DefaultErrorNumber(kMsgOutOfMemory));
    delete recordset_;
    recordset_ = created;
}

CCategoryRecordset* CCategoryDB::GetCatRecordset() const { return static_cast<CCategoryRecordset*>(recordset_); }

CCategoryRecord* CCategoryDB::GetByIndex(uint32_t index) const {
    ZR_ASSERT(index < kMaxCategoryAmount);
    return GetCatRecordset()->getCategoryRecord(index);
}

int32_t CCategoryDB::isFull() { return GetCategoryCount() >= kMaxCategoryAmount ? 1 : 0; }

uint16_t CCategoryDB::GetCategoryCount() {
    uint16_t count = 0;
    for (CCategoryIterator it = GetIterator(); it != End(); ++it) ++count;
    return count;
}

CCategoryIterator CCategoryDB::GetIterator() { return CCategoryIterator(this, 0); }

CategoryPosition CCategoryDB::End() const { return static_cast<CategoryPosition>(recordset_->getSize()); }

CCategoryRecord* CCategoryDB::FindCategory(const char16_t* name) {
    ZR_ASSERT(name != nullptr);
    if (name == nullptr) return nullptr;
    const std::u16string_view wanted = CutText(name, CCategoryRecord::kMaxNameLength);
    _String stored;
    for (CCategoryIterator it = GetIterator(); it != End(); ++it) {
        (*it)->GetCategoryName(stored);
        if (stored.Text() == wanted) return *it;
    }
    return nullptr;
}

CCategoryRecord* CCategoryDB::FindCategory(uint32_t id) {
    for (CCategoryIterator it = GetIterator(); it != End(); ++it) {
        if ((*it)->GetCategoryId() == id) return *it;
    }
    return nullptr;
}

uint32_t CCategoryDB::GetNewCategoryId() {
    // Computed in 64 bits: a damaged stored value near 2^32 must wrap to 128
    // like any other value past 255, and one below 128 must not hand out ids
    // outside the desktop range.
    const uint64_t next = uint64_t{lastCategoryId_} + 1;
    const bool inRange = next >= kFirstCategoryId && next <= kLastCategoryId;
    lastCategoryId_ = inRange ? static_cast<uint32_t>(next) : kFirstCategoryId;
    while (lastCategoryId_ <= kLastCategoryId && FindCategory(lastCategoryId_) != nullptr) ++lastCategoryId_;
    if (lastCategoryId_ > kLastCategoryId) {
        ZR_THROW(CException, kMsgNoFreeCategoryId, DefaultErrorNumber(kMsgNoFreeCategoryId));
    }
    return lastCategoryId_;
}

uint32_t CCategoryDB::FindFirstHole() {
    const uint32_t size = End();
    for (uint32_t slot = 0; slot < size; ++slot) {
        if (GetCatRecordset()->getCategoryRecord(slot)->IsEmpty()) return slot;
    }
    recordset_->Append();
    return size;
}

void CCategoryDB::ResizeDB(uint32_t index) {
    ZR_ASSERT(index < kMaxCategoryAmount);
    if (index >= kMaxCategoryAmount) return;
    while (End() <= index) recordset_->Append()->SetEmpty(true);
}

void CCategoryDB::WriteCategory(CCategoryRecord& record, uint32_t id, const char16_t* name, std::optional<CTime> stamp) {
    record.SetCategoryId(id);
    record.SetCategoryName(name);
    if (stamp) record.SetLastChangedTime(*stamp);
    record.SetEmpty(false);
    record.SetDeleted(false);
    record.SetNew(true);
}

CCategoryRecord* CCategoryDB::AddInFirstHole(uint32_t id, bool allocateId, const char16_t* name,
                                             std::optional<CTime> stamp) {
    ZR_ASSERT(GetCategoryCount() < kMaxCategoryAmount);
    const CategoryPosition sizeBefore = End();
    const uint32_t slot = FindFirstHole();
    CCategoryRecord* record = GetCatRecordset()->getCategoryRecord(slot);
    const uint8_t flag = record->GetFlag();
    try {
        if (slot >= kMaxCategoryAmount) {
            ZR_THROW(CException, kMsgMaxCategories, DefaultErrorNumber(kMsgMaxCategories));
        }
        if (allocateId) {
            // Live while the id is chosen: the allocation then skips the id
            // the slot held, which a deleted category's peers still know.
            record->SetEmpty(false);
            record->SetDeleted(false);
            id = GetNewCategoryId();
        }
        WriteCategory(*record, id, name, stamp);
    } catch (...) {
        // A failed add takes back the record the hole search appended, so
        // the recordset never holds a slot no category could use; a reused
        // hole stays the hole it was.
        if (End() > sizeBefore) {
            recordset_->Delete(record);
        } else {
            record->SetFlag(flag);
        }
        throw;
    }
    return record;
}

CCategoryRecord* CCategoryDB::AddNewCategory(const char16_t* name, const CTime* time) {
    return AddInFirstHole(0, true, name, TimeOrNow(time));
}

CCategoryRecord* CCategoryDB::AddNewCategoryKeepingTime(const char16_t* name) {
    return AddInFirstHole(0, true, name, std::nullopt);
}

CCategoryRecord* CCategoryDB::AddNewCategory(uint32_t id, const char16_t* name, const CTime* time) {
    ZR_ASSERT(FindCategory(id) == nullptr);
    return AddInFirstHole(id, false, name, TimeOrNow(time));
}

CCategoryRecord* CCategoryDB::AddNewCategory(uint32_t id, const char16_t* name, CTime time, uint32_t slot) {
    ZR_ASSERT(GetCategoryCount() < kMaxCategoryAmount);
    ZR_ASSERT(slot < kMaxCategoryAmount);
    if (slot >= kMaxCategoryAmount) return nullptr;
    if (slot >= End()) ResizeDB(slot);
    CCategoryRecord* record = GetCatRecordset()->getCategoryRecord(slot);
    WriteCategory(*record, id, name, std::optional<CTime>(time));
    return record;
}

void CCategoryDB::DeleteCategory(CCategoryRecord* record, CTime time) {
    ZR_ASSERT(record != nullptr);
    if (record == nullptr) return;
    record->SetLastChangedTime(time);
    record->SetEmpty(true);
    record->SetDeleted(true);
}

void CCategoryDB::UndeleteCategory(CCategoryRecord* record, CTime time) {
    ZR_ASSERT(record != nullptr);
    if (record == nullptr) return;
    const uint32_t id = GetNewCategoryId();
    record->SetLastChangedTime(time);
    record->SetCategoryId(id);
    record->SetEmpty(false);
    record->SetNew(true);
    record->SetDeleted(false);
    record->SetChanged(true);
}

void CCategoryDB::RenameCategory(CCategoryRecord* record, const char16_t* name, CTime time) {
    ZR_ASSERT(record != nullptr);
    if (record == nullptr) return;
    record->SetCategoryName(name);
    record->SetLastChangedTime(time);
    record->SetChanged(true);
}

uint32_t CCategoryDB::GetCategoryID(CCategoryRecord* record) {
    ZR_ASSERT(record != nullptr);
    return record != nullptr ? record->GetCategoryId() : 0;
}

void CCategoryDB::SetCategoryID(CCategoryRecord* record, uint32_t id) {
    ZR_ASSERT(record != nullptr);
    if (record == nullptr) return;
    record->SetCategoryId(id);
    record->SetChanged(true);
}

void CCategoryDB::GetCategoryName(CCategoryRecord* record, _String& name) {
    ZR_ASSERT(record != nullptr);
    if (record == nullptr) {
        name.clear();
        return;
    }
    record->GetCategoryName(name);
}

void CCategoryDB::deleteAllCategories() {
    recordset_->Free();
    lastCategoryId_ = kFirstCategoryId;
}

CCategoryRecord* CCategoryDB::FindUnfiled() {
    _String name;
    for (CCategoryIterator it = GetIterator(); it != End(); ++it) {
        (*it)->GetCategoryName(name);
        if (CompareWords(name.c_str(), kUnfiledCategoryName) == 0) return *it;
    }
    return FindCategory(kUnfiledCategoryId);
}

void CCategoryDB::setDesktopCategoryIDs() {
    CCategoryRecord* unfiled = FindUnfiled();
    ZR_ASSERT(unfiled != nullptr);
    if (unfiled != nullptr && unfiled->GetCategoryId() != kUnfiledCategoryId) {
        unfiled->SetCategoryId(kUnfiledCategoryId);
    }
    lastCategoryId_ = kFirstCategoryId;
    for (CCategoryIterator it = GetIterator(); it != End(); ++it) {
        if (*it != unfiled) (*it)->SetCategoryId(++lastCategoryId_);
    }
}

void CCategoryDB::setUnfiledCategoryName(const char16_t* name) {
    ZR_ASSERT(name != nullptr);
    if (name == nullptr) return;
    const std::u16string_view cut = CutText(name, CCategoryRecord::kMaxNameLength);
    kUnfiledCategoryName[cut.copy(kUnfiledCategoryName, cut.size())] = 0;
}

const char16_t* CCategoryDB::getUnfiledCategoryName() { return kUnfiledCategoryName; }

}  // namespace zr_gen
