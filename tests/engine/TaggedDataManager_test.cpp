#include "notestore/engine/TaggedDataManager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "notestore/foundation/Exception.h"
#include "platform/Errors.h"
#include "platform/Faults.h"
#include "platform/Memory.h"
#include "support/LogTail.h"

namespace {

using zr_gen::_String;
using zr_gen::CException;
using zr_gen::CTaggedDataManager;
using Bytes = std::vector<uint8_t>;

constexpr int32_t kCorrupt = CTaggedDataManager::kDataCorruptionError;
constexpr int32_t kNotFound = CTaggedDataManager::kDataClassNotFoundError;
constexpr int32_t kOverflow = CTaggedDataManager::kDataBufferOverflowError;

// Stored forms written out by hand, little-endian unless reversed.
void PutLE(Bytes& out, uint64_t value, int width) {
    for (int i = 0; i < width; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

Bytes Header(uint32_t id, uint32_t size, uint8_t version = 0, uint32_t flags = 1, uint16_t code = 0x6174) {
    Bytes out;
    PutLE(out, code, 2);
    out.push_back(version);
    PutLE(out, flags, 4);
    PutLE(out, id, 4);
    PutLE(out, size, 4);
    return out;
}

Bytes Item(uint32_t id, const Bytes& data, uint8_t version = 0, uint32_t flags = 1) {
    Bytes out = Header(id, static_cast<uint32_t>(data.size()), version, flags);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

Bytes Text(const char* text) { return Bytes(text, text + std::strlen(text)); }

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

size_t Assertions(const testsupport::LogTail& tail) {
    size_t count = 0;
    for (const std::string& line : tail.Lines()) {
        if (line.find("Assertion Failed! File TaggedDataManager.cpp") != std::string::npos) ++count;
    }
    return count;
}

// The owner of one block: the pointer the manager works through, freed at the
// end as a record frees its data.
class Block : public ::testing::Test {
protected:
    void TearDown() override { platform::FreeBytes(data); }

    // A manager over a copy of `bytes` in a block of exactly their size (or
    // `capacity` when larger), as a row read from a file.
    CTaggedDataManager Adopt(const Bytes& bytes, bool swap = false, uint32_t capacity = 0) {
        platform::FreeBytes(data);
        capacity = std::max(capacity, static_cast<uint32_t>(bytes.size()));
        data = capacity == 0 ? nullptr : static_cast<char*>(platform::AllocateBytes(capacity));
        if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
        return CTaggedDataManager(&data, static_cast<uint32_t>(bytes.size()), swap, capacity, 512);
    }

    Bytes Contents(const CTaggedDataManager& manager) const {
        return manager.size() == 0 ? Bytes() : Bytes(data, data + manager.size());
    }

    char* data = nullptr;
};

TEST_F(Block, StoringIntoAnEmptyBlockWritesOneHeaderAndTheData) {
    CTaggedDataManager block = Adopt({});
    bool changed = false;
    const uint8_t value[] = {0xDE, 0xAD, 0xBE};
    ASSERT_EQ(block.setData(0x01020304, value, 3, &changed, 7), 0);
    EXPECT_TRUE(changed);
    const Bytes golden = {0x74, 0x61, 0x07, 0x01, 0x00, 0x00, 0x00, 0x04, 0x03,
                          0x02, 0x01, 0x03, 0x00, 0x00, 0x00, 0xDE, 0xAD, 0xBE};
    EXPECT_EQ(Contents(block), golden);
    EXPECT_EQ(block.capacity(), 512u);
}

TEST_F(Block, SwappedBlocksReverseCodeIdSizeAndTypedValues) {
    CTaggedDataManager block = Adopt({}, true);
    EXPECT_TRUE(block.getSwap());
    const uint8_t value[] = {0xDE, 0xAD, 0xBE};
    ASSERT_EQ(block.setData(0x01020304, value, 3, nullptr, 7), 0);
    const Bytes golden = {0x61, 0x74, 0x07, 0x01, 0x00, 0x00, 0x00, 0x01, 0x02,
                          0x03, 0x04, 0x00, 0x00, 0x00, 0x03, 0xDE, 0xAD, 0xBE};
    EXPECT_EQ(Contents(block), golden);

    ASSERT_EQ(block.setData(1, uint8_t{0xAB}), 0);
    ASSERT_EQ(block.setData(2, uint16_t{0x1234}), 0);
    ASSERT_EQ(block.setData(3, uint32_t{0x11223344}), 0);
    EXPECT_EQ(Bytes(data + 15, data + 16), Bytes({0xAB}));
    EXPECT_EQ(Bytes(data + 31, data + 33), Bytes({0x12, 0x34}));
    EXPECT_EQ(Bytes(data + 48, data + 52), Bytes({0x11, 0x22, 0x33, 0x44}));
    EXPECT_EQ(Bytes(data + 33 + 7, data + 33 + 15), Bytes({0, 0, 0, 3, 0, 0, 0, 4}));

    uint8_t byte = 0;
    uint16_t word = 0;
    uint32_t dword = 0;
    ASSERT_EQ(block.getData(1, byte), 0);
    ASSERT_EQ(block.getData(2, word), 0);
    ASSERT_EQ(block.getData(3, dword), 0);
    EXPECT_EQ(byte, 0xAB);
    EXPECT_EQ(word, 0x1234);
    EXPECT_EQ(dword, 0x11223344u);
    uint32_t size = 0;
    ASSERT_EQ(block.getTagDataSize(0x01020304, &size), 0);
    EXPECT_EQ(size, 3u);
}

TEST_F(Block, TypedValuesAreLittleEndianWithVersionZero) {
    CTaggedDataManager block = Adopt({});
    ASSERT_EQ(block.setData(2, uint16_t{0x1234}), 0);
    ASSERT_EQ(block.setData(3, uint32_t{0x11223344}), 0);
    ASSERT_EQ(block.setData(1, uint8_t{0xAB}), 0);
    EXPECT_EQ(Contents(block), Join({Item(1, {0xAB}), Item(2, {0x34, 0x12}), Item(3, {0x44, 0x33, 0x22, 0x11})}));

    uint16_t word = 0;
    ASSERT_EQ(block.getData(2, word), 0);
    EXPECT_EQ(word, 0x1234);
    uint8_t version = 9;
    ASSERT_EQ(block.getTagVersion(3, &version), 0);
    EXPECT_EQ(version, 0);
}

TEST_F(Block, TypedReadsOfMissingOrMisfitTags) {
    CTaggedDataManager block = Adopt(Join({Item(1, {0x11}), Item(2, Bytes(8, 0x22))}));
    uint32_t missing = 0x5A5A5A5A;
    EXPECT_EQ(block.getData(9, missing), kNotFound);
    EXPECT_EQ(missing, 0x5A5A5A5Au);
    uint32_t tooLong = 0x5A5A5A5A;
    EXPECT_EQ(block.getData(2, tooLong), kOverflow);
    EXPECT_EQ(tooLong, 0x5A5A5A5Au);
    // A shorter stored value lands in the low-order bytes only.
    uint32_t shorter = 0xAABBCCDD;
    EXPECT_EQ(block.getData(1, shorter), 0);
    EXPECT_EQ(shorter, 0xAABBCC11u);
}

TEST_F(Block, UnchangedValuesAreNotRewritten) {
    struct Case {
        const char* name;
        bool clearFirst;
        Bytes value;
        uint8_t version;
        bool changed;
    } cases[] = {
        {"same bytes after clearing", true, Text("abcd"), 2, false},
        {"same bytes while still changed", false, Text("abcd"), 2, true},
        {"other version", true, Text("abcd"), 3, true},
        {"other bytes", true, Text("abce"), 2, true},
        {"other size", true, Text("abc"), 2, true},
    };
    for (const Case& c : cases) {
        CTaggedDataManager block = Adopt({});
        ASSERT_EQ(block.setData(4, "abcd", 4, nullptr, 2), 0);
        ASSERT_EQ(block.setData(9, "z", 1, nullptr, 0), 0);
        if (c.clearFirst) {
            ASSERT_EQ(block.setTagChanged(4, false), 0);
        }
        const Bytes before = Contents(block);

        bool changed = !c.changed;
        const auto size = static_cast<uint32_t>(c.value.size());
        ASSERT_EQ(block.setData(4, c.value.data(), size, &changed, c.version), 0) << c.name;
        EXPECT_EQ(changed, c.changed) << c.name;
        bool bit = !c.changed;
        ASSERT_EQ(block.getTagChanged(4, &bit), 0);
        EXPECT_EQ(bit, c.changed) << c.name;
        if (c.changed) {
            EXPECT_EQ(Contents(block), Join({Item(4, c.value, c.version), Item(9, Text("z"))})) << c.name;
        } else {
            EXPECT_EQ(Contents(block), before) << c.name;
        }
    }
}

TEST_F(Block, RewritingClearsTheReservedFlagBits) {
    const Bytes stored = Item(4, Text("ab"), 0, 0xFFFFFFFE);
    CTaggedDataManager block = Adopt(stored);
    bool changed = true;
    ASSERT_EQ(block.setData(4, "ab", 2, &changed, 0), 0);
    EXPECT_FALSE(changed);
    EXPECT_EQ(Contents(block), stored);
    ASSERT_EQ(block.setData(4, "ac", 2, &changed, 0), 0);
    EXPECT_TRUE(changed);
    EXPECT_EQ(Contents(block), Item(4, Text("ac"), 0, 1));
}

TEST_F(Block, ResizingAValueMovesTheItemsAfterIt) {
    CTaggedDataManager block = Adopt(Join({Item(1, Text("aa")), Item(2, Text("bbbb")), Item(3, Text("c"))}));
    testsupport::LogTail tail;
    ASSERT_EQ(block.setData(2, "0123456789", 10, nullptr, 0), 0);
    EXPECT_EQ(Contents(block), Join({Item(1, Text("aa")), Item(2, Text("0123456789")), Item(3, Text("c"))}));
    ASSERT_EQ(block.setData(2, "x", 1, nullptr, 5), 0);
    EXPECT_EQ(Contents(block), Join({Item(1, Text("aa")), Item(2, Text("x"), 5), Item(3, Text("c"))}));
    char out[4] = {};
    uint32_t size = sizeof out;
    ASSERT_EQ(block.getData(3, out, &size, nullptr), 0);
    EXPECT_EQ(size, 1u);
    EXPECT_EQ(out[0], 'c');
    EXPECT_EQ(Assertions(tail), 0u);
}

TEST_F(Block, InsertionKeepsIdsAscending) {
    CTaggedDataManager block = Adopt({});
    ASSERT_EQ(block.setData(5, "5", 1, nullptr, 0), 0);
    ASSERT_EQ(block.setData(1, "1", 1, nullptr, 0), 0);
    ASSERT_EQ(block.setData(3, "3", 1, nullptr, 0), 0);
    EXPECT_EQ(Contents(block), Join({Item(1, Text("1")), Item(3, Text("3")), Item(5, Text("5"))}));
}

TEST_F(Block, StringTagsSortAfterEveryNumericTagBelow65536) {
    CTaggedDataManager block = Adopt({});
    ASSERT_EQ(block.setData(0x10008, uint8_t{8}), 0);
    ASSERT_EQ(block.setString(7, u"hi", nullptr), 0);
    ASSERT_EQ(block.setData(65535, uint8_t{1}), 0);
    EXPECT_EQ(Contents(block), Join({Item(65535, {1}), Item(0x10007, {'h', 'i', 0}), Item(0x10008, {8})}));
    bool found = false;
    ASSERT_EQ(block.hasStringTag(7, &found), 0);
    EXPECT_TRUE(found);
    ASSERT_EQ(block.hasTag(7, &found), 0);
    EXPECT_FALSE(found);
}

// Windows-1252 bytes, one for every unit; text the code page cannot hold
// also keeps its exact UTF-16 units under 0x20000 + the byte id.
TEST_F(Block, StringsAreStoredAsWindows1252WithOneByteForEveryUnitAndTheExactTextBeside) {
    struct Case {
        const char* name;
        const char16_t* text;
        Bytes stored;
        Bytes exact;  // empty: no exact form
    } cases[] = {
        {"empty", u"", {0}, {}},
        {"ASCII", u"hi", {'h', 'i', 0}, {}},
        {"a question mark", u"why?", {'w', 'h', 'y', '?', 0}, {}},
        {"Latin-1 and the euro", u"Gr\u00FC\u00DFe \u20AC", {'G', 'r', 0xFC, 0xDF, 'e', ' ', 0x80, 0}, {}},
        {"outside the code page", u"\u03A9", {'?', 0}, {0xA9, 0x03}},
        {"surrogate pair", u"a\U0001F600b", {'a', '?', 'b', 0, 0}, {'a', 0, 0x3D, 0xD8, 0x00, 0xDE, 'b', 0}},
        {"lone surrogate", u"\xDC00", {'?', 0}, {0x00, 0xDC}},
    };
    for (const Case& c : cases) {
        CTaggedDataManager block = Adopt({});
        bool changed = false;
        ASSERT_EQ(block.setString(7, c.text, &changed), 0) << c.name;
        EXPECT_TRUE(changed) << c.name;
        const Bytes expected =
            c.exact.empty() ? Item(0x10007, c.stored) : Join({Item(0x10007, c.stored), Item(0x20007, c.exact)});
        EXPECT_EQ(Contents(block), expected) << c.name;
        _String text(u"stale");
        ASSERT_EQ(block.getString(7, text), 0) << c.name;
        EXPECT_EQ(std::u16string(text), c.text) << c.name;

        ASSERT_EQ(block.setStringTagChanged(7, false), 0);
        ASSERT_EQ(block.setString(7, c.text, &changed), 0) << c.name;
        EXPECT_FALSE(changed) << c.name;
        bool bit = true;
        ASSERT_EQ(block.getStringTagChanged(7, &bit), 0);
        EXPECT_FALSE(bit) << c.name;
    }
}

// Texts with the same code-page bytes differ in their exact form alone; the
// change still shows on the string tag, and a code-page text drops the
// exact form it no longer needs.
TEST_F(Block, AChangeOnlyInTheExactTextCountsAndACodePageTextDropsIt) {
    CTaggedDataManager block = Adopt({});
    ASSERT_EQ(block.setString(6, u"\u0420\u0430\u0431", nullptr), 0);
    ASSERT_EQ(block.setStringTagChanged(6, false), 0);
    bool changed = false;
    ASSERT_EQ(block.setString(6, u"\u0395\u03BB\u03BB", &changed), 0);
    EXPECT_TRUE(changed);
    bool bit = false;
    ASSERT_EQ(block.getStringTagChanged(6, &bit), 0);
    EXPECT_TRUE(bit);
    _String text;
    ASSERT_EQ(block.getString(6, text), 0);
    EXPECT_EQ(std::u16string(text), u"\u0395\u03BB\u03BB");

    ASSERT_EQ(block.setStringTagChanged(6, false), 0);
    ASSERT_EQ(block.setString(6, u"???", &changed), 0);
    EXPECT_TRUE(changed);
    EXPECT_EQ(Contents(block), Item(0x10006, {'?', '?', '?', 0}));

    ASSERT_EQ(block.setString(6, u"\u0420", nullptr), 0);
    ASSERT_EQ(block.deleteStringData(6), 0);
    EXPECT_TRUE(Contents(block).empty());
}

// What a writer that knows only the code page leaves: its own text wins
// over an exact form that no longer matches it; a damaged exact form is
// passed over.
TEST_F(Block, AnExactTextThatDoesNotMatchTheCodePageTextIsIgnored) {
    const struct {
        const char* name;
        Bytes block;
        const char16_t* readBack;
    } cases[] = {
        {"matching", Join({Item(0x10001, {'?', 0}), Item(0x20001, {0xA9, 0x03})}), u"\u03A9"},
        {"code-page text edited", Join({Item(0x10001, {'O', 0}), Item(0x20001, {0xA9, 0x03})}), u"O"},
        {"longer code-page text", Join({Item(0x10001, {'?', '?', 0}), Item(0x20001, {0xA9, 0x03})}), u"??"},
        {"odd size", Join({Item(0x10001, {'?', 0}), Item(0x20001, {0xA9})}), u"?"},
        {"a NUL unit", Join({Item(0x10001, {'?', 0}), Item(0x20001, {0, 0})}), u"?"},
        {"code-page text beside", Join({Item(0x10001, {'A', 0}), Item(0x20001, {'B', 0})}), u"A"},
    };
    for (const auto& c : cases) {
        CTaggedDataManager block = Adopt(c.block);
        _String text;
        ASSERT_EQ(block.getString(1, text), 0) << c.name;
        EXPECT_EQ(std::u16string(text), c.readBack) << c.name;
    }
}

TEST_F(Block, StoredStringsReadBackOrReportDamage) {
    struct Case {
        const char* name;
        Bytes block;
        int32_t result;
        const char16_t* text;
    } cases[] = {
        {"data size 0", Item(0x10007, {}), 0, u""},
        {"text up to its first NUL", Item(0x10007, {'a', 0, 'b', 0}), 0, u"a"},
        {"no final NUL", Item(0x10007, {'a', 'b'}), kCorrupt, u""},
        {"absent", Item(0x10006, {'a', 0}), kNotFound, u""},
        {"text running past the block", Join({Header(0x10007, 4), Text("ab")}), kCorrupt, u""},
    };
    for (const Case& c : cases) {
        CTaggedDataManager block = Adopt(c.block);
        _String text(u"stale");
        EXPECT_EQ(block.getString(7, text), c.result) << c.name;
        EXPECT_EQ(std::u16string(text), c.text) << c.name;
    }
}

TEST_F(Block, GetDataCopiesOnlyIntoEnoughRoom) {
    CTaggedDataManager block = Adopt(Join({Item(1, Text("12345678"), 6), Item(2, {})}));
    char out[12];
    std::memset(out, '#', sizeof out);
    uint32_t size = 4;
    uint8_t version = 0;
    EXPECT_EQ(block.getData(1, out, &size, &version), kOverflow);
    EXPECT_EQ(std::string(out, sizeof out), std::string(12, '#'));
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(version, 0);

    size = sizeof out;
    ASSERT_EQ(block.getData(1, out, &size, &version), 0);
    EXPECT_EQ(size, 8u);
    EXPECT_EQ(version, 6);
    EXPECT_EQ(std::string(out, sizeof out), "12345678####");

    size = 0;
    EXPECT_EQ(block.getData(2, nullptr, &size, nullptr), 0);
    size = sizeof out;
    EXPECT_EQ(block.getData(3, out, &size, nullptr), kNotFound);
}

TEST_F(Block, DataPointerNeedsTheMinimumSize) {
    CTaggedDataManager block = Adopt(Join({Item(1, Text("abcd")), Item(2, {})}));
    EXPECT_EQ(block.getDataPtr(1, 4), data + 15);
    EXPECT_EQ(block.getDataPtr(1, 0), data + 15);
    EXPECT_EQ(block.getDataPtr(1, 5), nullptr);
    EXPECT_EQ(block.getDataPtr(3, 0), nullptr);
    EXPECT_EQ(block.getDataPtr(2, 0), data + block.size());
}

TEST_F(Block, DeletingRemovesTheWholeItem) {
    const Bytes stored = Join({Item(1, Text("aa")), Item(2, Text("bbbb")), Item(0x10003, {'c', 0})});
    CTaggedDataManager block = Adopt(stored);
    EXPECT_EQ(block.deleteData(5), 0);
    EXPECT_EQ(block.deleteStringData(4), 0);
    EXPECT_EQ(Contents(block), stored);
    EXPECT_EQ(block.deleteData(2), 0);
    EXPECT_EQ(Contents(block), Join({Item(1, Text("aa")), Item(0x10003, {'c', 0})}));
    EXPECT_EQ(block.deleteStringData(3), 0);
    EXPECT_EQ(Contents(block), Item(1, Text("aa")));
}

TEST_F(Block, ChangedBitAndVersionAccessors) {
    CTaggedDataManager block = Adopt(Join({Item(1, Text("a"), 4, 1), Item(0x10002, {'b', 0}, 0, 0)}));
    const Bytes before = Contents(block);
    ASSERT_EQ(block.setTagChanged(1, false), 0);
    Bytes expected = before;
    expected[3] = 0;
    EXPECT_EQ(Contents(block), expected);

    bool changed = true;
    ASSERT_EQ(block.getTagChanged(1, &changed), 0);
    EXPECT_FALSE(changed);
    ASSERT_EQ(block.setStringTagChanged(2, true), 0);
    ASSERT_EQ(block.getStringTagChanged(2, &changed), 0);
    EXPECT_TRUE(changed);
    uint8_t version = 0;
    ASSERT_EQ(block.getTagVersion(1, &version), 0);
    EXPECT_EQ(version, 4);
    ASSERT_EQ(block.getStringTagVersion(2, &version), 0);
    EXPECT_EQ(version, 0);

    EXPECT_EQ(block.setTagChanged(3, true), kNotFound);
    EXPECT_EQ(block.getTagChanged(3, &changed), kNotFound);
    EXPECT_EQ(block.getTagVersion(3, &version), kNotFound);
    EXPECT_EQ(block.setStringTagChanged(3, true), kNotFound);
    EXPECT_EQ(block.getStringTagChanged(3, &changed), kNotFound);
    EXPECT_EQ(block.getStringTagVersion(3, &version), kNotFound);
}

TEST_F(Block, FailedGrowthLeavesTheBlockAsItWas) {
    struct Case {
        const char* name;
        Bytes block;
        uint32_t capacity;
        uint32_t id;
        Bytes value;
    } cases[] = {
        {"new tag into a full row", Item(1, Text("aa")), 0, 2, Text("bb")},
        {"header fits, data does not", {}, 20, 2, Text("0123456789")},
        {"existing value grows", Item(1, Text("aa")), 20, 1, Text("0123456789")},
    };
    for (const Case& c : cases) {
        CTaggedDataManager block = Adopt(c.block, false, c.capacity);
        char* const buffer = data;
        const uint32_t capacity = block.capacity();
        testsupport::LogTail tail;
        platform::FaultInjector injector;
        platform::ScopedFaultInjector scope(injector);
        injector.FailNth(platform::FaultOp::Alloc, 1, ERROR_NOT_ENOUGH_MEMORY);
        bool changed = false;
        const auto size = static_cast<uint32_t>(c.value.size());
        EXPECT_EQ(block.setData(c.id, c.value.data(), size, &changed, 0), -1) << c.name;
        EXPECT_TRUE(injector.Fired(platform::FaultOp::Alloc)) << c.name;
        EXPECT_EQ(Contents(block), c.block) << c.name;
        EXPECT_EQ(block.capacity(), capacity) << c.name;
        EXPECT_EQ(data, buffer) << c.name;
        EXPECT_EQ(Assertions(tail), 0u) << c.name;
    }
}

// Storing the value a tag holds: unchanged when its changed bit is clear;
// otherwise reported changed, and the header left with the changed bit
// alone, as a store of a new value leaves it.
TEST_F(Block, StoringTheValueATagHoldsKeepsOrNormalisesItsFlags) {
    struct Case {
        uint32_t flags;
        bool changed;
        uint32_t flagsAfter;
    };
    for (const Case& c : {Case{0, false, 0}, Case{1, true, 1}, Case{3, true, 1}, Case{2, false, 2}}) {
        SCOPED_TRACE(c.flags);
        CTaggedDataManager block = Adopt(Join({Item(1, {7}, 0, c.flags), Item(2, {8})}));
        bool changed = !c.changed;
        EXPECT_EQ(block.setData(1, Bytes{7}.data(), 1, &changed, 0), 0);
        EXPECT_EQ(changed, c.changed);
        EXPECT_EQ(Contents(block), Join({Item(1, {7}, 0, c.flagsAfter), Item(2, {8})}));
    }
}

// Short code-page text is converted without allocating; a long text, and
// the exact form of one the code page cannot hold, need memory of their own.
TEST_F(Block, StringWithoutMemoryForItsStoredFormIsRefused) {
    const std::u16string texts[] = {std::u16string(300, u'x'), u"Ελλάδα"};
    for (const std::u16string& text : texts) {
        CTaggedDataManager block = Adopt(Item(1, Text("aa")), false, 4096);
        platform::FaultInjector injector;
        platform::ScopedFaultInjector scope(injector);
        injector.FailNth(platform::FaultOp::Alloc, 1, ERROR_NOT_ENOUGH_MEMORY);
        EXPECT_EQ(block.setString(1, text.c_str(), nullptr), -1);
        EXPECT_EQ(Contents(block), Item(1, Text("aa")));
    }
}

// Damaged blocks as they may come from a file: every accessor reports the
// damage (or works on the intact part) and none reads past the block, which
// is allocated to its exact size so that the sanitizer sees any overrun.
TEST_F(Block, DamagedBlocksAreReportedByEveryAccessor) {
    enum class Lookup { Found, Absent, Corrupt };
    struct Probe {
        uint32_t id;
        Lookup lookup;
    };
    struct Case {
        const char* name;
        Bytes block;
        std::vector<Probe> probes;
    };
    const Bytes badCode = Join({Header(2, 2, 0, 1, 0x6175), Text("cd")});
    const Bytes header = Header(2, 0);
    const Bytes truncated(header.begin(), header.begin() + 14);
    const Case cases[] = {
        {"wrong code first", Join({Header(1, 2, 0, 1, 0x7461), Text("ab")}), {{1, Lookup::Corrupt}, {7, Lookup::Corrupt}}},
        {"wrong code after a good item",
         Join({Item(1, Text("ab")), badCode}),
         {{1, Lookup::Found}, {2, Lookup::Corrupt}, {9, Lookup::Corrupt}}},
        {"size past the end by one", Join({Header(1, 3), Text("ab")}), {{1, Lookup::Corrupt}}},
        {"second item past the end by one",
         Join({Item(1, Text("ab")), Header(3, 3), Text("ab")}),
         {{1, Lookup::Found}, {2, Lookup::Corrupt}, {3, Lookup::Corrupt}}},
        {"size of all bits", Join({Item(1, Text("ab")), Header(2, 0xFFFFFFFF), Text("xy")}),
         {{1, Lookup::Found}, {2, Lookup::Corrupt}, {3, Lookup::Corrupt}}},
        {"string tag past the end", Join({Header(0x10007, 0xFFFFFFF0), Text("ab")}), {{0x10007, Lookup::Corrupt}}},
        {"truncated header at the end",
         Join({Item(1, Text("ab")), truncated}),
         {{1, Lookup::Found}, {5, Lookup::Absent}}},
    };

    for (const Case& c : cases) {
        for (const Probe& p : c.probes) {
            const std::string where = std::string(c.name) + ", id " + std::to_string(p.id);
            const bool corrupt = p.lookup == Lookup::Corrupt;
            const bool found = p.lookup == Lookup::Found;
            const int32_t lookupResult = corrupt ? kCorrupt : 0;
            const int32_t readResult = corrupt ? kCorrupt : found ? 0 : kNotFound;

            CTaggedDataManager block = Adopt(c.block);
            bool has = !found;
            EXPECT_EQ(block.hasTag(p.id, &has), lookupResult) << where;
            if (!corrupt) {
                EXPECT_EQ(has, found) << where;
            }
            uint32_t size = 99;
            EXPECT_EQ(block.getTagDataSize(p.id, &size), lookupResult) << where;
            EXPECT_EQ(size, found ? 2u : 0u) << where;
            char out[64];
            size = sizeof out;
            EXPECT_EQ(block.getData(p.id, out, &size, nullptr), readResult) << where;
            EXPECT_EQ(block.getDataPtr(p.id, 0) != nullptr, found) << where;
            bool changed = false;
            EXPECT_EQ(block.getTagChanged(p.id, &changed), readResult) << where;
            uint8_t version = 0;
            EXPECT_EQ(block.getTagVersion(p.id, &version), readResult) << where;
            _String text;
            if (p.id > CTaggedDataManager::kStringTagIDCode) {
                EXPECT_EQ(block.getString(static_cast<uint8_t>(p.id), text), corrupt ? kCorrupt : kNotFound) << where;
            }
            EXPECT_EQ(block.setTagChanged(p.id, false), readResult) << where;

            block = Adopt(c.block);
            EXPECT_EQ(block.setData(p.id, "zz", 2, nullptr, 0), lookupResult) << where;
            if (corrupt) {
                EXPECT_EQ(Contents(block), c.block) << where;
            }
            block = Adopt(c.block);
            EXPECT_EQ(block.deleteData(p.id), lookupResult) << where;
            if (corrupt) {
                EXPECT_EQ(Contents(block), c.block) << where;
            }
            if (p.id > CTaggedDataManager::kStringTagIDCode) {
                block = Adopt(c.block);
                EXPECT_EQ(block.setString(static_cast<uint8_t>(p.id), u"zz", nullptr), lookupResult) << where;
                if (corrupt) {
                    EXPECT_EQ(Contents(block), c.block) << where;
                }
            }
        }
    }
}

TEST_F(Block, ValidateReportsDamageWithoutReadingPastTheBlock) {
    struct Case {
        const char* name;
        Bytes block;
        size_t assertions;
    } cases[] = {
        {"sound", Join({Item(1, Text("ab")), Item(0x10001, {'x', 0})}), 0},
        {"truncated header at the end", Join({Item(1, Text("ab")), Bytes(10, 0x74)}), 0},
        {"wrong code", Join({Item(1, Text("ab")), Header(2, 0, 0, 1, 0)}), 1},
        {"size past the end", Join({Item(1, Text("ab")), Header(2, 0xFFFFFFFF)}), 1},
        {"id 0 first", Item(0, Text("ab")), 1},
        {"ids not ascending", Join({Item(3, Text("ab")), Item(2, Text("cd")), Item(4, {})}), 1},
    };
    for (const Case& c : cases) {
        CTaggedDataManager block = Adopt(c.block);
        testsupport::LogTail tail;
        block.Validate();
        EXPECT_EQ(Assertions(tail), c.assertions) << c.name;
        EXPECT_EQ(Contents(block), c.block) << c.name;
    }
}

TEST_F(Block, LookupsStopAtTheFirstLargerIdEvenOutOfOrder) {
    CTaggedDataManager block = Adopt(Join({Item(3, Text("ab")), Item(2, Text("cd"))}));
    bool found = true;
    ASSERT_EQ(block.hasTag(2, &found), 0);
    EXPECT_FALSE(found);
    ASSERT_EQ(block.hasTag(3, &found), 0);
    EXPECT_TRUE(found);
}

// A lookup walks on from the tag the last one found; in any order, and on a
// block whose ids are out of order, it finds what a walk from the start finds.
TEST_F(Block, LookupsInAnyOrderFindWhatAWalkFromTheStartFinds) {
    CTaggedDataManager block = Adopt(Join({Item(3, Text("ab")), Item(2, Text("cd")), Item(5, Text("ef")), Item(9, {})}));
    const struct {
        uint32_t id;
        bool found;
    } lookups[] = {{3, true}, {5, true}, {9, true}, {4, false}, {2, false}, {5, true}, {5, true},
                   {6, false}, {9, true}, {10, false}, {3, true}, {1, false}, {9, true}};
    for (const auto& lookup : lookups) {
        bool found = !lookup.found;
        ASSERT_EQ(block.hasTag(lookup.id, &found), 0);
        EXPECT_EQ(found, lookup.found) << "tag " << lookup.id;
    }
}

// After an edit, the place of the last tag found may lie inside another
// item's data, where bytes may look like a header: the next lookup walks
// from the start.
TEST_F(Block, ALookupAfterAnEditWalksFromTheStart) {
    // Item 4's data holds, 8 bytes in, what reads as a header of tag 2.
    Bytes data(30, 0);
    const Bytes fake = Header(2, 23, 0, 0);
    std::copy(fake.begin(), fake.end(), data.begin() + 8);
    CTaggedDataManager block = Adopt(Join({Item(1, Bytes(20, 0)), Item(4, data), Item(5, Text("x"))}));
    bool found = false;
    ASSERT_EQ(block.hasTag(5, &found), 0);  // found at offset 80
    ASSERT_TRUE(found);
    // Tag 3 (7 bytes) goes in before item 4, which moves to offset 57: offset
    // 80 is now the fake header, whose size reaches the block's end.
    const Bytes three(7, 3);
    bool changed = false;
    ASSERT_EQ(block.setData(3, three.data(), static_cast<uint32_t>(three.size()), &changed, 0), 0);
    ASSERT_EQ(block.size(), 118u);
    ASSERT_EQ(block.hasTag(5, &found), 0);
    EXPECT_TRUE(found);
}

// Stores, deletions and reads in random order against a model: every read
// gives what was last stored, and the block ends as the items in id order.
TEST_F(Block, RandomStoresAndReadsMatchAModel) {
    CTaggedDataManager block = Adopt({});
    std::map<uint32_t, Bytes> model;
    std::mt19937 random(77);
    for (int step = 0; step < 3000; ++step) {
        const uint32_t id = 1 + random() % 24;
        switch (random() % 3) {
        case 0: {
            const Bytes value(random() % 9, static_cast<uint8_t>(random()));
            bool changed = false;
            ASSERT_EQ(block.setData(id, value.data(), static_cast<uint32_t>(value.size()), &changed, 0), 0);
            model[id] = value;
            break;
        }
        case 1:
            ASSERT_EQ(block.deleteData(id), 0);
            model.erase(id);
            break;
        default: {
            uint8_t read[16] = {};
            uint32_t size = sizeof read;
            const int32_t result = block.getData(id, read, &size, nullptr);
            if (model.count(id) == 0) {
                EXPECT_EQ(result, CTaggedDataManager::kDataClassNotFoundError) << "step " << step;
            } else {
                ASSERT_EQ(result, 0) << "step " << step;
                EXPECT_EQ(Bytes(read, read + size), model[id]) << "step " << step;
            }
        }
        }
    }
    Bytes expected;
    for (const auto& [id, value] : model) expected = Join({expected, Item(id, value)});
    EXPECT_EQ(Contents(block), expected);
}

TEST_F(Block, StoringBesideATruncatedTailKeepsTheTail) {
    const Bytes tail(9, 0x55);
    CTaggedDataManager block = Adopt(Join({Item(1, Text("ab")), tail}));
    ASSERT_EQ(block.setData(5, "q", 1, nullptr, 0), 0);
    EXPECT_EQ(Contents(block), Join({Item(1, Text("ab")), Item(5, Text("q")), tail}));
}

// The raised exception for a code, caught and disposed of, with the log
// lines written on the way.
struct Raised {
    std::u16string description;
    uint32_t number = 0;
    std::vector<std::string> log;
};

Raised Raise(int32_t code) {
    testsupport::LogTail tail;
    Raised raised;
    try {
        CTaggedDataManager::ProcessError("Foo.cpp", 12, code, nullptr);
        ADD_FAILURE() << "nothing raised for " << code;
    } catch (CException* e) {
        raised.description = e->GetDescription();
        raised.number = e->GetErrNumber();
        e->Delete();
    }
    raised.log = tail.Lines();
    return raised;
}

TEST(ProcessError, RaisesTheMessageOfTheCodeWithTheCallersPlace) {
    struct Case {
        int32_t code;
        const char16_t* text;
    } cases[] = {
        {kCorrupt, u"Data corruption errorError in file Foo.cpp line 12"},
        {kNotFound, u"Data class not found errorError in file Foo.cpp line 12"},
        {kOverflow, u"Data buffer overflow errorError in file Foo.cpp line 12"},
        {-1, u"Unknown data errorError in file Foo.cpp line 12"},
        {12345, u"Unknown data errorError in file Foo.cpp line 12"},
    };
    for (const Case& c : cases) {
        const Raised raised = Raise(c.code);
        EXPECT_EQ(raised.description, c.text) << c.code;
        EXPECT_EQ(raised.number, 0xFFFFFFFFu) << c.code;
        EXPECT_EQ(raised.log, std::vector<std::string>{"Throw an exception FILE - Foo.cpp, LINE - 12"}) << c.code;
    }
}

TEST(ProcessError, KeepsALongSourceNameWhole) {
    const std::string file(2000, 'f');
    try {
        CTaggedDataManager::ProcessError(file.c_str(), 7, kCorrupt, nullptr);
        ADD_FAILURE() << "nothing raised";
    } catch (CException* e) {
        const std::u16string description = e->GetDescription();
        e->Delete();
        EXPECT_EQ(description.size(), std::u16string(u"Data corruption errorError in file ").size() + 2000 + 7);
    }
}

TEST(ProcessError, CodeZeroIsAnAssertionAndRaisesNothing) {
    testsupport::LogTail tail;
    EXPECT_NO_THROW(CTaggedDataManager::ProcessError("Foo.cpp", 12, 0, nullptr));
    EXPECT_EQ(Assertions(tail), 1u);
}

TEST(ProcessError, WithoutMemoryForTheObjectANullPointerIsThrown) {
    platform::FaultInjector injector;
    platform::ScopedFaultInjector scope(injector);
    injector.FailNth(platform::FaultOp::Alloc, 1, ERROR_NOT_ENOUGH_MEMORY, true);
    try {
        CTaggedDataManager::ProcessError("Foo.cpp", 12, kCorrupt, nullptr);
        ADD_FAILURE() << "nothing raised";
    } catch (CException* e) {
        EXPECT_EQ(e, nullptr);
    }
}

TEST(ProcessError, CheckMacroPassesTheCallersFileAndLine) {
    testsupport::LogTail tail;
    EXPECT_NO_THROW(ZR_CHECK_TAG(0));
    int line = 0;
    try {
        line = __LINE__ + 1;
        ZR_CHECK_TAG(kNotFound);
        ADD_FAILURE() << "nothing raised";
    } catch (CException* e) {
        const std::u16string description = e->GetDescription();
        e->Delete();
        const std::string number = std::to_string(line);
        EXPECT_EQ(description, u"Data class not found errorError in file TaggedDataManager_test.cpp line " +
                                   std::u16string(number.begin(), number.end()));
    }
    EXPECT_EQ(tail.Lines(), std::vector<std::string>{"Throw an exception FILE - TaggedDataManager_test.cpp, LINE - " +
                                                     std::to_string(line)});
}

}  // namespace
