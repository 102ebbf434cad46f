#include "notestore/engine/TagWalk.h"

#include "notestore/foundation/ByteOrder.h"

namespace zr_gen {

namespace {

constexpr uint32_t kHeader = CTaggedDataManager::kTagHeaderSize;

struct Header {
    uint32_t offset = 0;
    uint8_t version = 0;
    uint32_t flags = 0;
    uint32_t id = 0;
    uint32_t size = 0;
};

// The 16- and 32-bit fields of a swapped block are byte-reversed; the
// version byte and the flag word never are.
uint16_t Field16(const uint8_t* bytes, bool swap) {
    const uint16_t value = LoadLE16(bytes);
    return swap ? __builtin_bswap16(value) : value;
}

uint32_t Field32(const uint8_t* bytes, bool swap) {
    const uint32_t value = LoadLE32(bytes);
    return swap ? __builtin_bswap32(value) : value;
}

// Calls `visit(header)` for each sound header in order until it returns
// true; kDataCorruptionError at the first header that is not sound.
template <class Visit>
int32_t Walk(const CTaggedDataManager& block, Visit&& visit) {
    const uint32_t end = block.size();
    uint32_t offset = 0;
    uint32_t previous = 0;  // ids start above 0
    while (offset < end) {
        if (end - offset < kHeader) return CTaggedDataManager::kDataCorruptionError;
        uint8_t bytes[kHeader];
        block.read(offset, bytes, kHeader);
        const Header header{offset, bytes[2], LoadLE32(bytes + 3), Field32(bytes + 7, block.getSwap()),
                            Field32(bytes + 11, block.getSwap())};
        if (Field16(bytes, block.getSwap()) != CTaggedDataManager::kTaggedDataCode || header.id <= previous ||
            uint64_t{offset} + kHeader + header.size > end) {
            return CTaggedDataManager::kDataCorruptionError;
        }
        if (visit(header)) return CTaggedDataManager::kNoError;
        previous = header.id;
        offset += kHeader + header.size;
    }
    return CTaggedDataManager::kNoError;
}

}  // namespace

int32_t WalkTags(const CTaggedDataManager& block, std::vector<StoredTag>& tags) {
    tags.clear();
    const int32_t result = Walk(block, [&](const Header& header) {
        StoredTag& tag = tags.emplace_back(StoredTag{header.id, header.version, header.flags, {}});
        tag.data.resize(header.size);
        if (header.size > 0) block.read(header.offset + kHeader, tag.data.data(), header.size);
        return false;
    });
    if (result != CTaggedDataManager::kNoError) tags.clear();
    return result;
}

int32_t StoreTag(CTaggedDataManager& block, const StoredTag& tag) {
    if (tag.id == 0) return CTaggedDataManager::kDataCorruptionError;
    int32_t result =
        block.setData(tag.id, tag.data.data(), static_cast<uint32_t>(tag.data.size()), nullptr, tag.version);
    if (result != CTaggedDataManager::kNoError) return result;
    // setData gives a stored value the changed bit alone: the flag word is
    // written over it.
    result = CTaggedDataManager::kDataClassNotFoundError;
    const int32_t walked = Walk(block, [&](const Header& header) {
        if (header.id != tag.id) return false;
        uint8_t flags[4];
        StoreLE32(flags, tag.flags);
        result = block.write(header.offset + 3, flags, sizeof flags);
        return true;
    });
    return walked != CTaggedDataManager::kNoError ? walked : result;
}

}  // namespace zr_gen
