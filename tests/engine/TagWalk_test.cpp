#include "notestore/engine/TagWalk.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/Memory.h"
#include "support/Bytes.h"

namespace {

using testsupport::ByteWriter;
using testsupport::Bytes;
using zr_gen::CTaggedDataManager;
using zr_gen::StoredTag;

// A block over its own copy of the bytes, freed with it.
class OwnedBlock {
public:
    OwnedBlock(const Bytes& bytes, bool swap)
        : data_(bytes.empty() ? nullptr : static_cast<char*>(platform::AllocateBytes(bytes.size()))),
          tags_(&data_, static_cast<uint32_t>(bytes.size()), swap, static_cast<uint32_t>(bytes.size()), 64) {
        if (!bytes.empty()) std::memcpy(data_, bytes.data(), bytes.size());
    }
    ~OwnedBlock() { platform::FreeBytes(data_); }
    OwnedBlock(const OwnedBlock&) = delete;
    OwnedBlock& operator=(const OwnedBlock&) = delete;

    CTaggedDataManager& tags() { return tags_; }
    Bytes bytes() const { return data_ == nullptr ? Bytes() : Bytes(data_, data_ + tags_.size()); }

private:
    char* data_;
    CTaggedDataManager tags_;
};

Bytes Swapped(uint32_t id, const Bytes& data, uint8_t version, uint32_t flags) {
    ByteWriter w;
    w.Raw({0x61, 0x74, version}).U32(flags);
    for (uint32_t value : {id, static_cast<uint32_t>(data.size())}) {
        w.Raw({static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 8),
               static_cast<uint8_t>(value)});
    }
    return w.Raw(data).bytes;
}

// Every block walked and stored again comes back byte for byte: versions,
// whole flag words, empty values, ids of any size, swapped blocks.
TEST(TagWalk, EveryTagStoredAgainGivesTheBlockBack) {
    const struct {
        const char* name;
        Bytes block;
        bool swap;
        size_t count;
    } cases[] = {
        {"empty", {}, false, 0},
        {"changed and unchanged", ByteWriter().Tag(1, {0x80}, 0, 0).Tag(2, {0}).Tag(0x10007, {'a', 0}, 3, 1).bytes, false, 3},
        {"flag bits beyond changed", ByteWriter().Tag(5, {}, 9, 0xF0000002).Tag(0xFFFFFFFF, {1, 2}, 255, 0).bytes, false, 2},
        {"swapped", ByteWriter().Raw(Swapped(3, {1, 2, 3, 4}, 1, 0)).Raw(Swapped(40, {}, 0, 1)).bytes, true, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        OwnedBlock original(c.block, c.swap);
        std::vector<StoredTag> tags;
        ASSERT_EQ(zr_gen::WalkTags(original.tags(), tags), 0);
        EXPECT_EQ(tags.size(), c.count);
        OwnedBlock copy(ByteWriter().Tag(9, {1, 2}).bytes, c.swap);  // replaced whole
        ASSERT_EQ(zr_gen::StoreTags(copy.tags(), tags), 0);
        EXPECT_EQ(copy.bytes(), c.block);
    }
}

TEST(TagWalk, ABlockThatCannotBeToldApartIsRefusedWhole) {
    const Bytes sound = ByteWriter().Tag(4, {1}).bytes;
    const struct {
        const char* name;
        Bytes block;
    } cases[] = {
        {"bytes after the last tag", ByteWriter().Raw(sound).Raw({0x74, 0x61, 0}).bytes},
        {"another tag code", ByteWriter().Raw(sound).Raw({0x75, 0x61, 0, 0, 0, 0, 0, 9, 0, 0, 0, 0, 0, 0, 0}).bytes},
        {"data past the end", ByteWriter().Raw(sound).Raw({0x74, 0x61, 0, 0, 0, 0, 0, 9, 0, 0, 0, 5, 0, 0, 0, 1}).bytes},
        {"ids not ascending", ByteWriter().Raw(sound).Tag(4, {2}).bytes},
        {"id 0", ByteWriter().Tag(0, {2}).bytes},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        OwnedBlock block(c.block, false);
        std::vector<StoredTag> tags{StoredTag{}};
        EXPECT_EQ(zr_gen::WalkTags(block.tags(), tags), CTaggedDataManager::kDataCorruptionError);
        EXPECT_TRUE(tags.empty());
    }
    OwnedBlock block(sound, false);
    for (const std::vector<StoredTag>& tags : {std::vector<StoredTag>{{0, 0, 0, {1}}},
                                               std::vector<StoredTag>{{5, 0, 0, {}}, {5, 0, 0, {}}}}) {
        EXPECT_EQ(zr_gen::StoreTags(block.tags(), tags), CTaggedDataManager::kDataCorruptionError);
        EXPECT_EQ(block.bytes(), sound);
    }
}

}  // namespace
