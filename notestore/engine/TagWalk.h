// A tagged data block's tags exactly as stored, for a caller that carries a
// block's contents somewhere else (another file format) and puts them back
// byte for byte: every tag, known to this library or not, with its version
// and its whole flag word.
//
// Both go through the block's public reading and editing operations, so
// they see and make exactly what the manager's own operations see and make.
#pragma once

#include <cstdint>
#include <vector>

#include "notestore/engine/TaggedDataManager.h"

namespace zr_gen {

struct StoredTag {
    uint32_t id = 0;
    uint8_t version = 0;
    uint32_t flags = 0;  // bit 0: changed
    std::vector<uint8_t> data;

    bool operator==(const StoredTag&) const = default;
};

// The block's tags in stored (ascending id) order. kDataCorruptionError, and
// nothing in `tags`, when an item has another tag code, reaches past the
// block, does not follow its predecessor's id, or the block ends in bytes
// too few for a tag header: what such a block holds cannot be told apart.
int32_t WalkTags(const CTaggedDataManager& block, std::vector<StoredTag>& tags);

// Stores `tag` as given: data, version and flag word. Id 0 is not a tag id
// (kDataCorruptionError, nothing stored); -1 when the block cannot grow.
int32_t StoreTag(CTaggedDataManager& block, const StoredTag& tag);

}  // namespace zr_gen
