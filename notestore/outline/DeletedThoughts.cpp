#include "notestore/outline/DeletedThoughts.h"

#include <algorithm>
#include <new>

#include "notestore/foundation/ByteOrder.h"
#include "notestore/foundation/Exception.h"
#include "notestore/foundation/FileStream.h"
#include "notestore/foundation/Messages.h"
#include "platform/Memory.h"

namespace zr_gen {

namespace {

constexpr uint32_t kIdSize = 4;

[[noreturn]] void RaiseOutOfMemory() { ZR_THROW(CException, kMsgOutOfMemory, DefaultErrorNumber(kMsgOutOfMemory)); }

}  // namespace

void CDeletedThoughts::Read(CFileStream& stream) {
    ids_.clear();
    const auto left = [&] {
        const uint32_t position = stream.GetPosition();
        const uint32_t length = stream.GetLength();
        return position < length ? length - position : 0;
    };
    if (left() < kIdSize) ZR_THROW(CException, kMsgFileReadError, DefaultErrorNumber(kMsgFileReadError));
    uint32_t count = 0;
    stream >> count;
    if (left() / kIdSize < count) ZR_THROW(CException, kMsgFileReadError, DefaultErrorNumber(kMsgFileReadError));
    if (count == 0) return;
    platform::Block<uint8_t> bytes(static_cast<uint8_t*>(platform::AllocateBytes(uint64_t{count} * kIdSize)));
    if (!bytes) RaiseOutOfMemory();
    if (stream.Read(bytes.get(), count * kIdSize) != count * kIdSize) {
        ZR_THROW(CException, kMsgFileReadError, DefaultErrorNumber(kMsgFileReadError));
    }
    try {
        ids_.resize(count);
    } catch (const std::bad_alloc&) {
        RaiseOutOfMemory();
    }
    for (uint32_t i = 0; i < count; ++i) ids_[i] = LoadLE32(bytes.get() + i * kIdSize);
}

void CDeletedThoughts::Write(CFileStream& stream) const {
    stream << static_cast<uint32_t>(ids_.size());
    for (uint32_t id : ids_) stream << id;
}

void CDeletedThoughts::Add(uint32_t id) {
    try {
        ids_.push_back(id);
    } catch (const std::bad_alloc&) {
        RaiseOutOfMemory();
    }
}

bool CDeletedThoughts::IsDeleted(uint32_t id) const { return std::find(ids_.begin(), ids_.end(), id) != ids_.end(); }

void CDeletedThoughts::removeId(uint32_t id) {
    const auto found = std::find(ids_.begin(), ids_.end(), id);
    if (found != ids_.end()) ids_.erase(found);
}

}  // namespace zr_gen
