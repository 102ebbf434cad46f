#include "notestore/outline/DeletedThoughts.h"

#include <algorithm>
#include <new>

#include "notestore/foundation/ByteOrder.h"
#include "notestore/foundation/Exception.h"
#include "notestore/foundation/FileStream.h"
#include "notestore/foundation/Messages.h"

namespace zr_gen {

namespace {

constexpr uint32_t kIdSize = 4;

[[noreturn]] void RaiseOutOfMemory() { ZR_THROW(CException, kMsgOutOfMemory, DefaultErrorNumber(kMsgOutOfMemory)); }

}  // namespace

void CDeletedThoughts::Read(CFileStream& stream) {
    ids_.clear();
    stream.RequireInFile(stream.GetPosition(), kIdSize);
    uint32_t count = 0;
    stream >> count;
    stream.RequireInFile(stream.GetPosition(), uint64_t{count} * kIdSize);
    try {
        ids_.resize(count);
    } catch (const std::bad_alloc&) {
        RaiseOutOfMemory();
    }
    // The stored ids straight into the list, then into host order in place.
    const uint32_t bytes = count * kIdSize;
    if (stream.Read(ids_.data(), bytes) != bytes) {
        ids_.clear();
        ZR_THROW(CException, kMsgFileReadError, DefaultErrorNumber(kMsgFileReadError));
    }
    for (uint32_t& id : ids_) id = LoadLE32(reinterpret_cast<const uint8_t*>(&id));
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
