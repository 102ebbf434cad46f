// A tagged data block's tags exactly as stored, for a caller that carries a
// block's contents somewhere else (another file format) and puts them back
// byte for byte: every tag, known to this library or not, with its version
// and its whole flag word.
//
// Both go through the block's public reading and editing operations and
// its own encoding (byte-reversed for a swapped block).
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

// Makes `tags` the block's whole contents, as given: data, versions and
// flag words, in one pass however many there are. Ids must ascend from
// above 0 (else kDataCorruptionError); -1 when the block cannot grow. On
// either the block stays as it was.
int32_t StoreTags(CTaggedDataManager& block, const std::vector<StoredTag>& tags);

}  // namespace zr_gen
