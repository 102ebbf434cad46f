#include "notestore/engine/HeaderManager.h"

#include <algorithm>
#include <utility>

#include "notestore/foundation/Exception.h"
#include "notestore/foundation/Messages.h"
#include "notestore/foundation/zr_assert.h"

namespace zr_gen {

namespace {

uint16_t TableSize(uint32_t entries) { return static_cast<uint16_t>(entries * THeaderRecord::kStoredSize + 2); }

[[noreturn]] void ThrowSizeChanged() {
    ZR_THROW(CException, kMsgHeaderSizeChanged, DefaultErrorNumber(kMsgHeaderSizeChanged));
}

}  // namespace

CHeaderManager::CHeaderManager(uint16_t headerInfoPosition) : headerInfoPosition_(headerInfoPosition) {}

CHeaderManager::~CHeaderManager() {
    RemoveAll(recorded_, false);
    RemoveAll(registered_, true);
}

void CHeaderManager::RegisterHeader(const THeaderRecord& record, CTaggedDataHeader* header) {
    ZR_ASSERT(header != nullptr);
    const bool known = Find(registered_, record.id) != nullptr;
    ZR_ASSERT(!known);
    if (header == nullptr || known) {
        delete header;
        return;
    }
    registered_.push_back(THeaderInfo{record, header, false, {}});
}

void CHeaderManager::AddHeader(const THeaderRecord& record) {
    if (Find(recorded_, record.id) == nullptr) recorded_.push_back(THeaderInfo{record, nullptr, false, {}});
}

bool CHeaderManager::AddForeignHeader(const THeaderRecord& record, std::vector<uint8_t> bytes) {
    if (Find(recorded_, record.id) != nullptr || Find(registered_, record.id) != nullptr ||
        bytes.size() != record.size) {
        return false;
    }
    recorded_.push_back(THeaderInfo{record, nullptr, false, std::move(bytes)});
    return true;
}

void CHeaderManager::AddRegistered() {
    for (THeaderInfo& registered : registered_) {
        THeaderInfo* recorded = Find(recorded_, registered.record.id);
        if (recorded == nullptr) continue;
        recorded->header = registered.header;
        registered.present = true;
        if (registered.record.size > recorded->record.size && reportSizeProblem_ != 0) ThrowSizeChanged();
    }
}

void CHeaderManager::ResizeHeaders() {
    for (const THeaderInfo& registered : registered_) {
        THeaderInfo* recorded = Find(recorded_, registered.record.id);
        if (recorded == nullptr || recorded->record.size >= registered.record.size) continue;
        if (reportSizeProblem_ != 0) ThrowSizeChanged();
        recorded->record.size = registered.record.size;
    }
}

void CHeaderManager::Read(CFileStream& stream) {
    RemoveAll(recorded_, false);
    ClearPresentFlag(registered_);
    stream.Seek(headerInfoPosition_, 0);
    uint16_t count = 0;
    stream >> count;
    stream.RequireInFile(stream.GetPosition(), uint64_t{count} * THeaderRecord::kStoredSize);
    try {
        for (uint16_t i = 0; i < count; ++i) {
            THeaderRecord record;
            stream >> record.id >> record.size;
            AddHeader(record);
        }
        // Every slot the table records lies in the file, or the table is damaged.
        uint64_t slots = 0;
        for (const THeaderInfo& entry : recorded_) slots += entry.record.size;
        stream.RequireInFile(uint64_t{headerInfoPosition_} + GetReadHeaderBlockSize(), slots);
    } catch (CException*) {
        // A damaged table is forgotten whole: writing afterwards lays out the
        // registered headers afresh instead of slots the file never had.
        RemoveAll(recorded_, false);
        throw;
    }
    ClearPresentFlag(recorded_);
    AddRegistered();
    ReadForeignSlots(stream);
}

void CHeaderManager::ReadForeignSlots(CFileStream& stream) {
    for (THeaderInfo& entry : recorded_) {
        if (entry.header != nullptr) continue;
        stream.Seek(static_cast<int32_t>(GetHeaderReadPos(entry.record.id)), 0);
        entry.foreignBytes.resize(entry.record.size);
        if (entry.record.size > 0) stream.Read(entry.foreignBytes.data(), entry.record.size);
    }
}

void CHeaderManager::Write(CFileStream& stream) {
    stream.Seek(headerInfoPosition_, 0);
    stream << static_cast<uint16_t>(CountNonPresent(recorded_) + CountNonPresent(registered_));
    WriteHeadersInfo(stream, recorded_);
    WriteHeadersInfo(stream, registered_);
}

void CHeaderManager::WriteAll(CFileStream& stream) {
    Write(stream);
    stream.Seek(headerInfoPosition_ + GetWriteHeaderBlockSize(), 0);
    WriteAll(stream, recorded_);
    WriteAll(stream, registered_);
}

bool CHeaderManager::ReadHeader(CFileStream& stream, uint16_t id) {
    const THeaderInfo* entry = Find(recorded_, id);
    if (entry == nullptr || entry->header == nullptr) return false;
    stream.Seek(static_cast<int32_t>(GetHeaderReadPos(id)), 0);
    entry->header->Read(stream, entry->record.size);
    entry->header->CreateNewFields();
    return true;
}

void CHeaderManager::WriteHeader(CFileStream& stream, uint16_t id) {
    // Without a slot in the file's table the block would land on whatever
    // follows the slots.
    const THeaderInfo* entry = Find(recorded_, id);
    if (entry == nullptr) {
        ZR_THROW(CDBException, kMsgDbStructureDifferent, DefaultErrorNumber(kMsgDbStructureDifferent));
    }
    stream.Seek(static_cast<int32_t>(GetHeaderWritePos(id)), 0);
    WriteSlot(stream, *entry);
}

CHeaderManager::Layout CHeaderManager::SaveLayout() const {
    Layout layout{recorded_, {}};
    for (const THeaderInfo& entry : registered_) layout.registeredPresent.push_back(entry.present);
    return layout;
}

void CHeaderManager::RestoreLayout(const Layout& layout) {
    recorded_ = layout.recorded;
    for (size_t i = 0; i < registered_.size() && i < layout.registeredPresent.size(); ++i) {
        registered_[i].present = layout.registeredPresent[i];
    }
}

void CHeaderManager::AdoptWrittenLayout() {
    // WriteAll wrote the recorded entries, then the registered ones the file
    // lacked, in that order.
    for (THeaderInfo& entry : registered_) {
        if (entry.present) continue;
        recorded_.push_back(THeaderInfo{entry.record, entry.header, false, {}});
        entry.present = true;
    }
}

CTaggedDataHeader* CHeaderManager::GetHeaderPtr(uint16_t id) const {
    const THeaderInfo* entry = Find(registered_, id);
    return entry != nullptr ? entry->header : nullptr;
}

uint32_t CHeaderManager::GetHeaderReadPos(uint16_t id) const {
    const uint32_t offset = GetHeaderPos(recorded_, id);
    return offset == kNoPosition ? kNoPosition : headerInfoPosition_ + GetReadHeaderBlockSize() + offset;
}

uint32_t CHeaderManager::GetHeaderWritePos(uint16_t id) const {
    const uint32_t start = headerInfoPosition_ + GetWriteHeaderBlockSize();
    const uint32_t recordedOffset = GetHeaderPos(recorded_, id);
    if (recordedOffset != kNoPosition) return start + recordedOffset;
    const uint32_t registeredOffset = GetHeaderPos(registered_, id);
    if (registeredOffset != kNoPosition) return start + GetHeadersSize(recorded_) + registeredOffset;
    return kNoPosition;
}

uint32_t CHeaderManager::GetReadHeadersEnd() const {
    return headerInfoPosition_ + GetReadHeaderBlockSize() + GetHeadersSize(recorded_);
}

uint32_t CHeaderManager::GetWriteHeadersEnd() const {
    return headerInfoPosition_ + GetWriteHeaderBlockSize() + GetHeadersSize(recorded_) + GetHeadersSize(registered_);
}

uint16_t CHeaderManager::GetReadHeaderBlockSize() const { return TableSize(static_cast<uint32_t>(recorded_.size())); }

uint16_t CHeaderManager::GetWriteHeaderBlockSize() const {
    return TableSize(CountNonPresent(recorded_) + CountNonPresent(registered_));
}

uint32_t CHeaderManager::GetHeaderPos(const HeaderList& list, uint16_t id) {
    uint32_t offset = 0;
    for (const THeaderInfo& entry : list) {
        if (entry.record.id == id) return offset;
        if (!entry.present) offset += entry.record.size;
    }
    return kNoPosition;
}

uint32_t CHeaderManager::GetHeadersSize(const HeaderList& list) {
    uint32_t total = 0;
    for (const THeaderInfo& entry : list) {
        if (!entry.present) total += entry.record.size;
    }
    return total;
}

uint32_t CHeaderManager::CountNonPresent(const HeaderList& list) {
    return static_cast<uint32_t>(std::count_if(list.begin(), list.end(), [](const THeaderInfo& e) { return !e.present; }));
}

void CHeaderManager::ClearPresentFlag(HeaderList& list) {
    for (THeaderInfo& entry : list) entry.present = false;
}

THeaderInfo* CHeaderManager::Find(HeaderList& list, uint16_t id) {
    auto it = std::find_if(list.begin(), list.end(), [id](const THeaderInfo& e) { return e.record.id == id; });
    return it != list.end() ? &*it : nullptr;
}

const THeaderInfo* CHeaderManager::Find(const HeaderList& list, uint16_t id) {
    auto it = std::find_if(list.begin(), list.end(), [id](const THeaderInfo& e) { return e.record.id == id; });
    return it != list.end() ? &*it : nullptr;
}

void CHeaderManager::RemoveAll(HeaderList& list, bool deleteHeaders) {
    if (deleteHeaders) {
        for (THeaderInfo& entry : list) delete entry.header;
    }
    list.clear();
}

void CHeaderManager::WriteHeadersInfo(CFileStream& stream, const HeaderList& list) const {
    for (const THeaderInfo& entry : list) {
        if (!entry.present) stream << entry.record.id << entry.record.size;
    }
}

void CHeaderManager::WriteAll(CFileStream& stream, const HeaderList& list) const {
    for (const THeaderInfo& entry : list) {
        if (!entry.present) WriteSlot(stream, entry);
    }
}

void CHeaderManager::WriteSlot(CFileStream& stream, const THeaderInfo& entry) {
    if (entry.header != nullptr) {
        entry.header->Write(stream, entry.record.size);
        return;
    }
    // A foreign slot goes back as it was read; one added by AddHeader alone
    // (never read) is written as zeros so later slots keep their places.
    std::vector<uint8_t> zeros;
    const std::vector<uint8_t>* bytes = &entry.foreignBytes;
    if (bytes->size() != entry.record.size) {
        zeros.assign(entry.record.size, 0);
        bytes = &zeros;
    }
    if (!bytes->empty()) stream.Write(bytes->data(), static_cast<uint32_t>(bytes->size()));
}

}  // namespace zr_gen
