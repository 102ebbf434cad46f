#include "notestore/engine/TagWalk.h"

#include <utility>

#include "notestore/foundation/ByteOrder.h"

namespace zr_gen {

namespace {

constexpr uint32_t kHeader = CTaggedDataManager::kTagHeaderSize;

// The 16- and 32-bit fields of a swapped block are byte-reversed; the
// version byte and the flag word never are.
uint16_t Ordered16(uint16_t value, bool swap) { return swap ? __builtin_bswap16(value) : value; }
uint32_t Ordered32(uint32_t value, bool swap) { return swap ? __builtin_bswap32(value) : value; }

int32_t Refused(std::vector<StoredTag>& tags) {
    tags.clear();
    return CTaggedDataManager::kDataCorruptionError;
}

}  // namespace

int32_t WalkTags(const CTaggedDataManager& block, std::vector<StoredTag>& tags) {
    tags.clear();
    const bool swap = block.getSwap();
    const uint32_t end = block.size();
    for (uint32_t offset = 0; offset < end;) {
        uint8_t header[kHeader];
        if (end - offset < kHeader) return Refused(tags);
        block.read(offset, header, kHeader);
        StoredTag tag{Ordered32(LoadLE32(header + 7), swap), header[2], LoadLE32(header + 3), {}};
        const uint32_t size = Ordered32(LoadLE32(header + 11), swap);
        const uint32_t previous = tags.empty() ? 0 : tags.back().id;  // ids start above 0
        if (Ordered16(LoadLE16(header), swap) != CTaggedDataManager::kTaggedDataCode || tag.id <= previous ||
            uint64_t{offset} + kHeader + size > end) {
            return Refused(tags);
        }
        tag.data.resize(size);
        if (size > 0) block.read(offset + kHeader, tag.data.data(), size);
        tags.push_back(std::move(tag));
        offset += kHeader + size;
    }
    return CTaggedDataManager::kNoError;
}

int32_t StoreTags(CTaggedDataManager& block, const std::vector<StoredTag>& tags) {
    const bool swap = block.getSwap();
    std::vector<uint8_t> bytes;
    uint32_t previous = 0;
    for (const StoredTag& tag : tags) {
        if (tag.id <= previous) return CTaggedDataManager::kDataCorruptionError;
        previous = tag.id;
        const size_t at = bytes.size();
        if (at + kHeader + tag.data.size() > UINT32_MAX) return -1;
        bytes.resize(at + kHeader);
        uint8_t* header = bytes.data() + at;
        StoreLE16(header, Ordered16(CTaggedDataManager::kTaggedDataCode, swap));
        header[2] = tag.version;
        StoreLE32(header + 3, tag.flags);
        StoreLE32(header + 7, Ordered32(tag.id, swap));
        StoreLE32(header + 11, Ordered32(static_cast<uint32_t>(tag.data.size()), swap));
        bytes.insert(bytes.end(), tag.data.begin(), tag.data.end());
    }
    return block.replace(0, block.size(), bytes.data(), static_cast<uint32_t>(bytes.size()));
}

}  // namespace zr_gen
