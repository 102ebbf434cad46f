#include "notestore/drawings/Compression.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "notestore/foundation/Messages.h"
#include "platform/Faults.h"
#include "support/Bytes.h"
#include "support/Caught.h"
#include "support/LogTail.h"
#include "support/ReferenceEncoder.h"

namespace {

using testsupport::Bytes;
using testsupport::Caught;

constexpr uint32_t kStep = CCompression::kBlockStep;

Bytes Compressed(CCompression& compression, const Bytes& source) {
    uint8_t* result = nullptr;
    uint32_t size = 0;
    compression.Compress(source.data(), static_cast<uint32_t>(source.size()), result, &size);
    return Bytes(result, result + size);
}

Bytes Decompressed(CCompression& compression, const Bytes& stream) {
    uint8_t* result = nullptr;
    uint32_t size = 0;
    compression.Decompress(stream.data(), static_cast<uint32_t>(stream.size()), result, &size);
    return Bytes(result, result + size);
}

Bytes Hex(const std::string& text) {
    Bytes bytes;
    for (size_t i = 0; i + 1 < text.size(); i += 2) bytes.push_back(static_cast<uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
    return bytes;
}

Bytes Repeated(size_t size, uint8_t value = 0x61) { return Bytes(size, value); }

using testsupport::ReferenceStream;
using testsupport::Stored;

Bytes Random(size_t size, uint32_t seed) {
    std::mt19937 engine(seed);
    Bytes bytes(size);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(engine());
    return bytes;
}

Bytes Text(size_t size, uint32_t seed) {
    static const char* const kWords[] = {"the",   "outline", "item", "of",     "a",    "note",  "and",    "drawing",
                                         "with",  "list",    "to",   "window", "page", "small", "letter", "is"};
    std::mt19937 engine(seed);
    std::string text;
    while (text.size() < size) {
        text += kWords[engine() % std::size(kWords)];
        text += engine() % 9 == 0 ? ". " : " ";
    }
    return Bytes(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(size));
}

// White with short coloured strokes, three bytes a pixel.
Bytes Pixels(size_t size, uint32_t seed) {
    std::mt19937 engine(seed);
    Bytes bytes(size, 0xFF);
    for (size_t stroke = 0; stroke < size / 300 + 1; ++stroke) {
        const uint8_t colour[3] = {static_cast<uint8_t>(engine()), static_cast<uint8_t>(engine()), static_cast<uint8_t>(engine())};
        const size_t start = engine() % (size + 1);
        const size_t end = std::min(size, start + 3 * (engine() % 30));
        for (size_t i = start; i < end; ++i) bytes[i] = colour[(i - start) % 3];
    }
    return bytes;
}

// Writes streams item by item and keeps the output a decoder must produce,
// applying each valid copy one byte at a time.
class StreamBuilder {
public:
    explicit StreamBuilder(uint8_t method = 0) : stream_{method, 0, 0, 0} {}

    StreamBuilder& Literal(uint8_t value) {
        NextItem(false);
        stream_.push_back(value);
        output_.push_back(value);
        return *this;
    }
    StreamBuilder& Literals(size_t count, uint8_t first = 0x20) {
        for (size_t i = 0; i < count; ++i) Literal(static_cast<uint8_t>(first + i));
        return *this;
    }
    // Lengths 1 to 16, offsets 0 to 4095; invalid offsets add no output.
    StreamBuilder& Copy(uint32_t offset, uint32_t length) {
        NextItem(true);
        stream_.push_back(static_cast<uint8_t>(((offset >> 4) & 0xF0) | (length - 1)));
        stream_.push_back(static_cast<uint8_t>(offset));
        if (offset == 0 || offset > output_.size()) return *this;
        for (uint32_t i = 0; i < length; ++i) output_.push_back(output_[output_.size() - offset]);
        return *this;
    }
    const Bytes& stream() const { return stream_; }
    const Bytes& output() const { return output_; }

private:
    void NextItem(bool copy) {
        if (items_ % 16 == 0) {
            controlAt_ = stream_.size();
            stream_.insert(stream_.end(), {0, 0});
        }
        if (copy) stream_[controlAt_ + (items_ % 16) / 8] |= static_cast<uint8_t>(1u << (items_ % 8));
        ++items_;
    }

    Bytes stream_;
    Bytes output_;
    size_t items_ = 0;
    size_t controlAt_ = 0;
};

// What the writer promises about a compressed stream beyond decoding back:
// copies of 3 to 16 bytes at offsets 1 to 4095, the last 15 source bytes or
// fewer as literals (no match starts with less than 16 bytes left), unused
// control bits 0, and an item at the very end.
void ExpectWellFormed(const Bytes& stream, size_t sourceSize) {
    size_t at = 4;
    size_t produced = 0;
    size_t lastCopyStart = 0;
    bool copied = false;
    while (at < stream.size()) {
        ASSERT_LE(at + 2, stream.size());
        uint32_t control = stream[at] | (stream[at + 1] << 8);
        at += 2;
        ASSERT_LT(at, stream.size()) << "control word without items";
        int item = 0;
        for (; item < 16 && at < stream.size(); ++item, control >>= 1) {
            if ((control & 1) == 0) {
                ++at;
                ++produced;
                continue;
            }
            ASSERT_LE(at + 2, stream.size());
            const uint32_t length = (stream[at] & 0x0F) + 1;
            const uint32_t offset = ((stream[at] & 0xF0) << 4) | stream[at + 1];
            EXPECT_GE(length, 3u);
            EXPECT_GE(offset, 1u);
            EXPECT_LE(offset, produced);
            at += 2;
            lastCopyStart = produced;
            copied = true;
            produced += length;
        }
        if (item < 16) {
            EXPECT_EQ(control, 0u) << "unused control bits";
        }
    }
    EXPECT_EQ(produced, sourceSize);
    if (copied) {
        EXPECT_LE(lastCopyStart + 16, sourceSize);
    }
}

// Text, runs, pixels and noise in blocks, with blocks repeated from up to
// 6000 bytes back, so that copies reach to every offset up to and past the
// largest.
Bytes Mixture(size_t size, uint32_t seed) {
    std::mt19937 engine(seed);
    Bytes bytes;
    while (bytes.size() < size) {
        const size_t block = 1 + engine() % 3000;
        Bytes more;
        switch (engine() % 5) {
            case 0: more = Text(block, engine()); break;
            case 1: more = Repeated(block, static_cast<uint8_t>(engine())); break;
            case 2: more = Pixels(block, engine()); break;
            case 3: more = Random(block, engine()); break;
            default:
                if (bytes.empty()) continue;
                const size_t back = 1 + engine() % std::min<size_t>(bytes.size(), 6000);
                const size_t from = bytes.size() - back;
                more.assign(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                            bytes.begin() + static_cast<std::ptrdiff_t>(from + std::min(back, block)));
        }
        bytes.insert(bytes.end(), more.begin(), more.end());
    }
    bytes.resize(size);
    return bytes;
}

// ---- The stream's exact bytes ----

TEST(Compression, KnownSourcesGiveTheirExactStreams) {
    const struct {
        const char* name;
        Bytes source;
        Bytes stream;
    } cases[] = {
        {"empty", {}, Hex("01000000")},
        {"abc", {'a', 'b', 'c'}, Hex("01000000616263")},
        {"40 a", Repeated(40), Hex("00000000" "0600" "61" "0f01" "0f10" "61616161616161")},
        // A run reaches a full copy at once: one literal, one copy, three
        // literals the encoder may not match so near the end.
        {"20 a", Repeated(20), Hex("00000000" "0200" "61" "0f01" "616161")},
        // Without 16 bytes left no match is tried, and literals alone never
        // come out smaller.
        {"5 bytes", Repeated(5), Stored(Repeated(5))},
        {"15 bytes", Repeated(15), Stored(Repeated(15))},
    };
    for (const auto& c : cases) {
        CCompression compression;
        EXPECT_EQ(Compressed(compression, c.source), c.stream) << c.name;
        EXPECT_EQ(Decompressed(compression, c.stream), c.source) << c.name;
    }
}

TEST(Compression, LongRunFillsWholeGroupsOfCopies) {
    CCompression compression;
    const Bytes stream = Compressed(compression, Repeated(300));
    ASSERT_EQ(stream.size(), 56u);
    // Header, control word 0xFFFE, a literal, a copy of 16 at offset 1, then
    // copies of 16 at offset 16 (the last position entered in the table).
    Bytes head = Hex("00000000" "feff" "61" "0f01");
    for (int i = 0; i < 14; ++i) head.insert(head.end(), {0x0F, 0x10});
    EXPECT_EQ(testsupport::Slice(stream, 0, head.size()), head);
    EXPECT_EQ(Decompressed(compression, stream), Repeated(300));
}

// The copy item that produces the output at `position`, as {offset,
// length}, or {0, 0} when a literal or nothing starts there.
std::pair<uint32_t, uint32_t> CopyAt(const Bytes& stream, size_t position) {
    size_t at = 4;
    size_t produced = 0;
    while (at + 2 < stream.size() && produced <= position) {
        uint32_t control = stream[at] | (stream[at + 1] << 8);
        at += 2;
        for (int item = 0; item < 16 && at < stream.size(); ++item, control >>= 1) {
            if ((control & 1) == 0) {
                ++at;
                ++produced;
                continue;
            }
            const uint32_t length = (stream[at] & 0x0F) + 1;
            const uint32_t offset = ((stream[at] & 0xF0) << 4) | stream[at + 1];
            if (produced == position) return {offset, length};
            at += 2;
            produced += length;
        }
    }
    return {0, 0};
}

// A pattern of nonzero bytes after some noise recurs after a run of zeros
// (whose copies enter almost nothing in the table) at a chosen distance: it
// becomes a copy exactly when the distance is at most 4095, as long as the
// repetition (up to 16; the encoder settles some lengths from its table
// alone, others from the source).
TEST(Compression, CopiesReachExactlyToTheLargestOffsetAndEndWhereTheBytesDiffer) {
    for (const size_t distance : {20u, 255u, 256u, 4000u, 4094u, 4095u, 4096u, 4097u}) {
        for (const size_t repeated : {3u, 4u, 5u, 6u, 8u, 9u, 15u, 16u, 17u}) {
            SCOPED_TRACE("distance " + std::to_string(distance) + ", " + std::to_string(repeated) + " bytes");
            constexpr size_t kStart = 300;
            Bytes source = Random(kStart, static_cast<uint32_t>(distance * 31 + repeated));
            Bytes pattern = Random(repeated, static_cast<uint32_t>(repeated));
            for (uint8_t& b : pattern) b |= 0x80;
            source.insert(source.end(), pattern.begin(), pattern.end());
            source.resize(kStart + distance, 0);
            source.insert(source.end(), pattern.begin(), pattern.end());
            source.push_back(0x5A);
            source.resize(source.size() + 2000, 0);
            CCompression compression;
            const Bytes stream = Compressed(compression, source);
            ASSERT_EQ(stream, ReferenceStream(source));
            ASSERT_EQ(stream[0], 0);
            const auto copy = CopyAt(stream, kStart + distance);
            if (distance <= 4095) {
                EXPECT_EQ(copy, std::make_pair(static_cast<uint32_t>(distance), static_cast<uint32_t>(std::min<size_t>(repeated, 16))));
            } else {
                EXPECT_EQ(copy.first, 0u);
            }
        }
    }
}

TEST(Compression, IncompressibleSourceIsStored) {
    CCompression compression;
    const Bytes source = Random(1000, 7);
    const Bytes stream = Compressed(compression, source);
    ASSERT_EQ(stream.size(), 1004u);
    EXPECT_EQ(testsupport::Slice(stream, 0, 4), Hex("01000000"));
    EXPECT_EQ(testsupport::Slice(stream, 4, 1000), source);
}

// ---- Round trips ----

TEST(Compression, GeneratedSourcesRoundTripAndKeepTheWritersPromises) {
    const struct {
        const char* kind;
        std::function<Bytes(size_t, uint32_t)> make;
    } kinds[] = {
        {"run", [](size_t n, uint32_t) { return Repeated(n, 0x00); }},
        {"random", Random},
        {"text", Text},
        {"pixels", Pixels},
        {"random then run", [](size_t n, uint32_t seed) {
             Bytes bytes = Random(n / 2, seed);
             bytes.resize(n, 0x41);
             return bytes;
         }},
        {"mixture", Mixture},
    };
    std::vector<size_t> sizes;
    for (size_t n = 0; n <= 20; ++n) sizes.push_back(n);
    for (size_t n = 250; n <= 280; ++n) sizes.push_back(n);
    sizes.insert(sizes.end(), {4095, 4096, 4097, 65535, 65536, 65537, 200000});

    CCompression compression;  // one object for all: every result overwrites the last
    for (const auto& kind : kinds) {
        for (size_t n : sizes) {
            SCOPED_TRACE(std::string(kind.kind) + " of " + std::to_string(n));
            const Bytes source = kind.make(n, static_cast<uint32_t>(n));
            const Bytes stream = Compressed(compression, source);
            ASSERT_EQ(stream, ReferenceStream(source));
            if (stream[0] == 1) {
                EXPECT_EQ(stream.size(), n + 4);
            } else {
                EXPECT_LE(stream.size(), n);
                ExpectWellFormed(stream, n);
            }
            if (n < 16) {
                EXPECT_EQ(stream[0], 1);
            }
            ASSERT_EQ(Decompressed(compression, stream), source);
        }
    }
}

TEST(Compression, RunsAndTextCompressWell) {
    CCompression compression;
    EXPECT_LT(Compressed(compression, Repeated(200000)).size(), 200000u / 7);
    EXPECT_LT(Compressed(compression, Text(100000, 3)).size(), 100000u * 3 / 4);
    EXPECT_LT(Compressed(compression, Pixels(230400, 5)).size(), 230400u / 5);
}

// A sketch: rows of `depth` bytes per pixel, white (0xFF), with a few
// strokes three pixels wide of a colour that is not grey in 24 bits.
Bytes Sketch(int width, int height, int depth, uint32_t seed) {
    std::mt19937 engine(seed);
    Bytes pixels(static_cast<size_t>(width) * height * depth, 0xFF);
    const uint8_t pen[3] = {0x20, 0x40, 0xC0};
    for (int stroke = 0; stroke < 4; ++stroke) {
        int x = static_cast<int>(engine() % (width - 3));
        int y = static_cast<int>(engine() % (height - 3));
        for (int step = 0; step < 60; ++step) {
            x = std::clamp(x + static_cast<int>(engine() % 5) - 2, 0, width - 3);
            y = std::clamp(y + static_cast<int>(engine() % 5) - 2, 0, height - 3);
            for (int d = 0; d < 9; ++d) std::copy_n(pen, depth, &pixels[((y + d / 3) * width + x + d % 3) * depth]);
        }
    }
    return pixels;
}

// The encoder passes runs (of one byte, or of a pattern whose period is at
// most 16) a batch at a time without hashing them. What it leaves must be
// what entering every item gives: the same stream and the same table, on
// sources made mostly of runs, on sketches, and on runs and patterns that
// end at, before and after the end of a batch; one object for all, so that
// a warm table is used too.
TEST(Compression, RunsGiveTheStreamAndTableOfTheItemByItemEncoder) {
    std::vector<std::pair<std::string, Bytes>> sources;
    for (uint32_t seed = 0; seed < 60; ++seed) {
        std::mt19937 engine(seed);
        Bytes recipe(40 + engine() % 400);
        for (uint8_t& b : recipe) b = static_cast<uint8_t>(engine());
        sources.emplace_back("recipe " + std::to_string(seed), testsupport::RunHeavySource(recipe.data(), recipe.size()));
    }
    for (const int depth : {1, 3}) sources.emplace_back("sketch of depth " + std::to_string(depth), Sketch(240, 320, depth, 7u + depth));
    for (const size_t size : {255u, 256u, 257u, 511u, 512u, 513u, 4096u, 5000u}) {
        sources.emplace_back("run of " + std::to_string(size), Repeated(size));
        for (const size_t period : {2u, 3u, 5u, 16u, 17u, 48u}) {
            Bytes periodic = Text(period, static_cast<uint32_t>(size));
            while (periodic.size() < size) periodic.push_back(periodic[periodic.size() - period]);
            Bytes tail = Text(100, 1);
            periodic.insert(periodic.end(), tail.begin(), tail.end());
            sources.emplace_back("period " + std::to_string(period) + " over " + std::to_string(size), periodic);
        }
    }
    CCompression compression;
    for (const auto& [name, source] : sources) {
        SCOPED_TRACE(name);
        std::vector<int64_t> expectedTable;
        const Bytes expected = ReferenceStream(source, &expectedTable);
        ASSERT_EQ(Compressed(compression, source), expected);
        int64_t table[4096];
        compression.LastTablePositions(table);
        ASSERT_EQ(std::vector<int64_t>(std::begin(table), std::end(table)), expectedTable);
    }
}

// Inside a batch the encoder passes items that repeat the copy of 16 bytes
// before them without hashing them. Backgrounds that repeat every 16 bytes
// (one byte, periods 2, 4, 8, 16) and one that does not (period 3, as a
// 24-bit colour), each broken by bursts of other bytes starting at every
// position of a batch: a repeat streak then ends at any item, starts the
// batch or none of it, and starts again after the burst within the same
// batch. Stream and table must be those of the item-by-item encoder.
TEST(Compression, RepeatsBrokenAnywhereInABatchGiveTheStreamAndTableOfTheItemByItemEncoder) {
    struct Burst {
        size_t length;
        size_t gap;  // to the second burst, after which the background resumes
    };
    const Burst bursts[] = {{1, 16}, {3, 40}, {20, 7}, {2, 200}};
    CCompression warm;
    for (const size_t period : {1u, 2u, 3u, 4u, 8u, 16u}) {
        const Bytes pattern = period == 1 ? Bytes{0xFF} : Text(period, static_cast<uint32_t>(period));
        for (const Burst& burst : bursts) {
            for (size_t start = 0; start < 272; start += 5) {
                Bytes source(2048);
                for (size_t i = 0; i < source.size(); ++i) source[i] = pattern[i % period];
                // The first burst lands `start` bytes into the third batch.
                for (const size_t at : {512 + start, 512 + start + burst.length + burst.gap}) {
                    for (size_t i = 0; i < burst.length; ++i) source[at + i] = static_cast<uint8_t>(0x30 + i);
                }
                SCOPED_TRACE("period " + std::to_string(period) + ", burst of " + std::to_string(burst.length) +
                             " at " + std::to_string(start));
                std::vector<int64_t> expectedTable;
                const Bytes expected = ReferenceStream(source, &expectedTable);
                CCompression fresh;
                ASSERT_EQ(Compressed(fresh, source), expected);
                int64_t table[4096];
                fresh.LastTablePositions(table);
                ASSERT_EQ(std::vector<int64_t>(std::begin(table), std::end(table)), expectedTable);
                ASSERT_EQ(Compressed(warm, source), expected);
            }
        }
    }
}

// ---- Decoding ----

// Every offset against every length, in the three places a copy can be
// decoded: in a group with plenty of stream behind it, at the stream's end,
// and straddling the end of the work block.
TEST(Compression, CopiesRepeatOverlappingBytesExactly) {
    CCompression compression;
    for (uint32_t offset = 1; offset <= 20; ++offset) {
        for (uint32_t length = 1; length <= 16; ++length) {
            SCOPED_TRACE("offset " + std::to_string(offset) + " length " + std::to_string(length));
            StreamBuilder atEnd;
            atEnd.Literals(offset).Copy(offset, length);
            EXPECT_EQ(Decompressed(compression, atEnd.stream()), atEnd.output());

            StreamBuilder inGroup;
            inGroup.Literals(offset).Copy(offset, length).Copy(offset, length).Literals(70, 0x80);
            EXPECT_EQ(Decompressed(compression, inGroup.stream()), inGroup.output());
        }
    }
}

TEST(Compression, CopiesAcrossTheEndOfTheWorkBlockGrowItExactly) {
    for (uint32_t before = kStep - 20; before <= kStep; ++before) {
        for (uint32_t offset : {1u, 3u, 9u, 16u, 100u}) {
            SCOPED_TRACE("copy at " + std::to_string(before) + " offset " + std::to_string(offset));
            StreamBuilder builder;
            builder.Literals(100);
            while (builder.output().size() + 16 <= before) builder.Copy(100, 16);
            builder.Literals(before - builder.output().size(), 0x90);
            builder.Copy(offset, 16).Copy(offset, 5);
            CCompression compression;
            ASSERT_EQ(Decompressed(compression, builder.stream()), builder.output());
            EXPECT_EQ(compression.capacity(), builder.output().size() <= kStep ? kStep : 2 * kStep);
        }
    }
}

TEST(Compression, DecoderTakesWhatTheWriterNeverWrites) {
    CCompression compression;
    StreamBuilder shortCopies;
    shortCopies.Literals(3).Copy(3, 1).Copy(2, 2).Copy(1, 2);
    EXPECT_EQ(Decompressed(compression, shortCopies.stream()), Hex("2021222022202020"));

    // Any method other than 1 reads as compressed; the reserved bytes are ignored.
    for (uint8_t method : {0x00, 0x02, 0x80, 0xFF}) {
        StreamBuilder builder(method);
        builder.Literals(5).Copy(2, 7);
        Bytes stream = builder.stream();
        stream[1] = 0xAA;
        stream[3] = 0x55;
        EXPECT_EQ(Decompressed(compression, stream), builder.output()) << int(method);
    }
    Bytes stored = Hex("01ffffff616263");
    EXPECT_EQ(Decompressed(compression, stored), Hex("616263"));

    // A control word with nothing behind it ends the stream like any other.
    StreamBuilder trailing;
    trailing.Literals(16);
    Bytes stream = trailing.stream();
    stream.insert(stream.end(), {0xFF, 0xFF});
    EXPECT_EQ(Decompressed(compression, stream), trailing.output());
    EXPECT_TRUE(Decompressed(compression, Hex("00000000")).empty());
}

TEST(Compression, DamagedStreamsAreDataCorruption) {
    const auto after = [](size_t literals, auto&& add) {
        StreamBuilder builder;
        builder.Literals(literals);
        add(builder);
        return builder.stream();
    };
    const auto cut = [](Bytes bytes, size_t drop) {
        bytes.resize(bytes.size() - drop);
        return bytes;
    };
    const struct {
        const char* name;
        Bytes stream;
    } cases[] = {
        {"no header", {}},
        {"stored, header cut", Hex("010000")},
        {"compressed, header cut", Hex("00")},
        {"offset 0 first", after(0, [](StreamBuilder& b) { b.Copy(0, 16); })},
        {"offset 0 later", after(20, [](StreamBuilder& b) { b.Copy(0, 4); })},
        {"offset before the output", after(1, [](StreamBuilder& b) { b.Copy(2, 3); })},
        {"largest offset, little output", after(100, [](StreamBuilder& b) { b.Copy(4095, 16); })},
        {"offset before the output in a long group", after(10, [](StreamBuilder& b) { b.Copy(11, 4).Literals(80); })},
        {"offset 0 in a long group", after(10, [](StreamBuilder& b) { b.Copy(0, 4).Literals(80); })},
        {"copy cut after its first byte", cut(after(3, [](StreamBuilder& b) { b.Copy(1, 4); }), 1)},
        {"first copy cut", Hex("00000000" "0100" "0f")},
        {"control word cut", cut(after(16, [](StreamBuilder& b) { b.Literal(1); }), 2)},
        {"first control word cut", Hex("00000000" "00")},
        {"repeats of 16 bytes from the start", after(0, [](StreamBuilder& b) {
             for (int i = 0; i < 20; ++i) b.Copy(16, 16);
             b.Literals(40);
         })},
        {"group of equal copies reaching before the output", after(16, [](StreamBuilder& b) {
             for (int i = 0; i < 16; ++i) b.Copy(32, 16);
             b.Literals(40);
         })},
    };
    CCompression compression;
    for (const auto& c : cases) {
        const Caught caught = testsupport::Catch([&] { Decompressed(compression, c.stream); });
        ASSERT_EQ(caught.kind, Caught::Kind::Exception) << c.name;
        EXPECT_EQ(caught.text.rfind(u"Data corruption error", 0), 0u) << c.name;
        EXPECT_EQ(caught.number, zr_gen::kNoErrorNumber) << c.name;
    }
    // The object is still whole.
    EXPECT_EQ(Decompressed(compression, Compressed(compression, Repeated(300))), Repeated(300));
}

// Groups of 16 copies of 16 bytes at one offset (what runs become) decode
// without the item loop when the offset is a multiple of 16; every other
// group of full copies must still decode item by item, and all exactly.
TEST(Compression, GroupsOfEqualCopiesDecodeExactly) {
    const struct {
        const char* name;
        std::vector<uint32_t> offsets;  // of the 16 copies
    } cases[] = {
        {"offset 16", std::vector<uint32_t>(16, 16)},
        {"offset 32", std::vector<uint32_t>(16, 32)},
        {"offset 48", std::vector<uint32_t>(16, 48)},
        {"offset 256", std::vector<uint32_t>(16, 256)},
        {"offset 4080", std::vector<uint32_t>(16, 4080)},
        {"offset 15", std::vector<uint32_t>(16, 15)},
        {"offset 24", std::vector<uint32_t>(16, 24)},
        {"last copy differs", [] {
             std::vector<uint32_t> offsets(16, 16);
             offsets.back() = 32;
             return offsets;
         }()},
    };
    for (const auto& c : cases) {
        StreamBuilder builder;
        for (uint32_t i = 0; i < 4096 + 16; i += 16) builder.Literals(16, static_cast<uint8_t>(i / 16));
        for (int group = 0; group < 3; ++group) {
            for (const uint32_t offset : c.offsets) builder.Copy(offset, 16);
        }
        builder.Literals(60);
        CCompression compression;
        EXPECT_EQ(Decompressed(compression, builder.stream()), builder.output()) << c.name;
    }
}

// Groups whose items repeat the 16 bytes before them (copies of 16 at offset
// 16), which the decoder copies from one load, broken by every other kind of
// item at any place of a group, and starting groups or not: R a repeat, L a
// literal, C a copy of 16 at offset 32, S one of 8 at offset 16, O one of 16
// at offset 1. Each pattern is decoded where the stream goes on long after
// it and where it ends the stream.
TEST(Compression, RepeatStreaksDecodeExactlyWhereverTheyBreak) {
    const char* const patterns[] = {
        "RRRRRRRRRRRRRRRR", "RRRRRRRRRRRRRRRL", "RLRRRRRRRRRRRRRR", "RRRRRRRCRRRRRRRR", "RRRSRRRRORRRRRRR",
        "LRRRRRRRRRRRRRRR", "CRRRRRRRRRRRRRRR", "RRRRRRRRRRRRRRRRRRRR", "RLLLLLLLLLLLLLLLR", "R",
        // A group ending in repeats, then one whose control word has the
        // bytes of a repeat (0F 10).
        "RLRRRRRRRRRRRRRRRRRRLLLLLLLLRLLL"};
    for (const char* pattern : patterns) {
        for (const bool last : {false, true}) {
            SCOPED_TRACE(std::string(pattern) + (last ? " ending the stream" : ""));
            StreamBuilder builder;
            // 257 groups of literals with no period of 16 behind them.
            for (uint32_t i = 0; i < 4096 + 16; ++i) builder.Literal(static_cast<uint8_t>(i * 7 + i / 16));
            for (int round = 0; round < 2; ++round) {
                for (const char* item = pattern; *item != '\0'; ++item) {
                    switch (*item) {
                        case 'R': builder.Copy(16, 16); break;
                        case 'L': builder.Literal(static_cast<uint8_t>(0xA0 + round)); break;
                        case 'C': builder.Copy(32, 16); break;
                        case 'S': builder.Copy(16, 8); break;
                        default: builder.Copy(1, 16);
                    }
                }
            }
            if (!last) builder.Literals(100);
            CCompression compression;
            ASSERT_EQ(Decompressed(compression, builder.stream()), builder.output());
        }
    }
}

// A stream of nothing but copies is the most any stream can expand to: 16
// bytes for every 2, plus the control words.
TEST(Compression, HostileExpansionStaysWithinEightBytesPerStreamByte) {
    StreamBuilder builder;
    builder.Literal(0x33);
    for (int i = 0; i < 16 * 2000; ++i) builder.Copy(1, 16);
    CCompression compression;
    const Bytes output = Decompressed(compression, builder.stream());
    EXPECT_EQ(output, builder.output());
    EXPECT_LE(output.size(), 8 * (builder.stream().size() - 4));
    EXPECT_EQ(compression.capacity(), (output.size() + kStep - 1) / kStep * kStep);
}

// ---- The work block ----

TEST(Compression, WorkBlockGrowsInWholeStepsAndNeverShrinks) {
    CCompression compression;
    EXPECT_EQ(compression.capacity(), kStep);
    const struct {
        size_t source;
        uint32_t capacity;
    } compressions[] = {
        {kStep - 34, kStep},  // the encoder's worst case just fits
        {kStep - 33, 2 * kStep},
        {200000, 4 * kStep},
        {10, 4 * kStep},
    };
    for (const auto& c : compressions) {
        Compressed(compression, Random(c.source, 1));
        EXPECT_EQ(compression.capacity(), c.capacity) << c.source;
    }

    CCompression source;
    const struct {
        size_t output;
        uint32_t capacity;
    } decompressions[] = {{kStep, kStep}, {kStep + 1, 2 * kStep}, {3 * kStep + 5, 4 * kStep}};
    for (const auto& d : decompressions) {
        for (const Bytes& stream : {Compressed(source, Repeated(d.output)), Compressed(source, Random(d.output, 2))}) {
            CCompression fresh;
            EXPECT_EQ(Decompressed(fresh, stream).size(), d.output);
            EXPECT_EQ(fresh.capacity(), d.capacity) << d.output << " from " << int(stream[0]);
        }
    }
}

// ---- The hash table kept between calls ----

// Whatever earlier calls left in the object's table, each stream is the one
// a fresh object writes: each source twice in a row (the old entries would
// match everywhere), sources just long enough to be hashed, and ones
// crossing 256-byte batches and the 65536-byte block size. Zeros first seen
// past 4096 bytes meet table entries nothing has written yet.
TEST(Compression, RepeatedCallsGiveTheStreamsOfAFreshObject) {
    std::vector<Bytes> sources;
    for (const size_t n : {16u, 17u, 40u, 255u, 256u, 257u, 300u, 4095u, 4096u, 4111u, 10240u, 65536u, 70000u}) {
        sources.push_back(Text(n, static_cast<uint32_t>(n)));
        sources.push_back(Mixture(n, static_cast<uint32_t>(n)));
        sources.push_back(Repeated(n, static_cast<uint8_t>(n)));
        Bytes zerosLate = Text(n / 2, static_cast<uint32_t>(n));
        zerosLate.resize(n, 0);
        sources.push_back(zerosLate);
    }
    CCompression reused;
    std::mt19937 engine(77);
    for (int round = 0; round < 2; ++round) {
        std::shuffle(sources.begin(), sources.end(), engine);
        for (const Bytes& source : sources) {
            SCOPED_TRACE("round " + std::to_string(round) + ", " + std::to_string(source.size()) + " bytes");
            CCompression fresh;
            const Bytes expected = Compressed(fresh, source);
            ASSERT_EQ(expected, ReferenceStream(source));
            ASSERT_EQ(Compressed(reused, source), expected);
            ASSERT_EQ(Compressed(reused, source), expected);
        }
    }
}

// The table's positions run on a 32-bit clock across calls and are kept to
// 24 bits, so stale entries must be swept away before the clock comes round
// to them. A probe call (too short for a full batch, so only the check at a
// call's start can sweep), then 4076 small ones: each round moves the clock
// by 2^24 + 3896, so without the sweeps the probe's old entries would come
// back within reach of the next probe. About a million calls in all take the
// clock through 2^32 as well.
TEST(Compression, StreamsStayExactWhileTheTableClockWrapsAround) {
    const Bytes small = Text(20, 5);
    const Bytes probe = Mixture(200, 6);
    const Bytes smallStream = ReferenceStream(small);
    const Bytes probeStream = ReferenceStream(probe);
    ASSERT_EQ(probeStream[0], 0);
    // Each call moves the clock by its length and a gap of 4096.
    constexpr uint64_t kSmallCalls = 4076;
    constexpr uint64_t kRound = (200 + 4096) + kSmallCalls * (20 + 4096);
    static_assert(kRound % (1u << 24) == 3896);
    CCompression compression;
    for (uint64_t clock = 0; clock < (uint64_t{1} << 32) + 2 * kRound; clock += kRound) {
        ASSERT_EQ(Compressed(compression, probe), probeStream) << "clock " << clock;
        for (uint64_t call = 0; call < kSmallCalls; ++call) {
            uint8_t* result = nullptr;
            uint32_t size = 0;
            compression.Compress(small.data(), static_cast<uint32_t>(small.size()), result, &size);
            if (call % 1000 == 0) {
                ASSERT_EQ(Bytes(result, result + size), smallStream) << "clock " << clock;
            }
        }
    }
}

// One source longer than 2^23 bytes, so that entries emptied at its start
// would come within reach again without the sweeps made while the call runs:
// zeros first appear 2000 bytes past that point. Copies across the sweeps
// are kept.
TEST(Compression, SweepsWithinALongSourceKeepItsStreamExact) {
    Bytes source = Text((1u << 23) + 2000, 8);
    source.resize(source.size() + 3000, 0);
    const Bytes tail = Mixture(50000, 9);
    source.insert(source.end(), tail.begin(), tail.end());
    CCompression compression;
    EXPECT_EQ(Compressed(compression, source), ReferenceStream(source));
}

TEST(Compression, RepeatedCallsAllocateNothing) {
    CCompression compression;
    const Bytes text = Text(100000, 1);
    const Bytes stream = Compressed(compression, text);
    Decompressed(compression, stream);
    platform::FaultInjector injector;
    platform::ScopedFaultInjector scope(injector);
    for (int i = 0; i < 3; ++i) {
        Compressed(compression, text);
        Decompressed(compression, stream);
        Compressed(compression, Repeated(50));
    }
    EXPECT_EQ(injector.Seen(platform::FaultOp::Alloc), 0u);
}

TEST(Compression, FreeMemDropsTheBlockAndTheNextCallAllocatesAnew) {
    for (const bool compress : {true, false}) {
        CCompression compression;
        compression.freeMem();
        EXPECT_EQ(compression.capacity(), 0u);
        platform::FaultInjector injector;
        platform::ScopedFaultInjector scope(injector);
        uint8_t* result = nullptr;
        uint32_t size = 99;
        const uint8_t stored[] = {1, 0, 0, 0};
        if (compress) {
            compression.Compress(nullptr, 0, result, &size);
            EXPECT_EQ(size, 4u);
        } else {
            compression.Decompress(stored, 4, result, &size);
            EXPECT_EQ(size, 0u);
        }
        EXPECT_NE(result, nullptr);
        EXPECT_EQ(injector.Seen(platform::FaultOp::Alloc), 1u);
        EXPECT_EQ(compression.capacity(), kStep);
    }
}

// The allocation fails once; the assertion line comes before the raise
// site's trace line, and the object keeps the block it had.
TEST(Compression, UnobtainableWorkBlockIsOutOfMemory) {
    const Bytes big = Text(100000, 9);
    CCompression other;
    const Bytes bigStream = Compressed(other, big);
    const Bytes storedStream = Compressed(other, Random(kStep + 1, 4));
    ASSERT_EQ(storedStream[0], 1);
    const struct {
        const char* name;
        std::function<void(CCompression*&)> call;
        uint32_t capacityAfter;
    } cases[] = {
        {"constructor", [](CCompression*& c) { c = new CCompression; }, 0},
        {"compress", [&](CCompression*& c) { Compressed(*c, big); }, kStep},
        {"decompress", [&](CCompression*& c) { Decompressed(*c, bigStream); }, kStep},
        {"decompress stored", [&](CCompression*& c) { Decompressed(*c, storedStream); }, kStep},
        {"after freeMem", [](CCompression*& c) {
             c->freeMem();
             Compressed(*c, Repeated(10));
         }, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CCompression* compression = std::string(c.name) == "constructor" ? nullptr : new CCompression;
        testsupport::LogTail tail;
        Caught caught;
        {
            platform::FaultInjector injector;
            platform::ScopedFaultInjector scope(injector);
            injector.FailNth(platform::FaultOp::Alloc, 1, ERROR_NOT_ENOUGH_MEMORY);
            caught = testsupport::Catch([&] { c.call(compression); });
        }
        ASSERT_EQ(caught.kind, Caught::Kind::Exception);
        EXPECT_EQ(caught.text, u"Out of memory");
        EXPECT_EQ(caught.number, 10u);
        const auto lines = tail.Lines();
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines[0].rfind("Assertion Failed! File Compression.cpp", 0), 0u) << lines[0];
        EXPECT_EQ(lines[1].rfind("Throw an exception FILE - Compression.cpp", 0), 0u) << lines[1];
        if (compression == nullptr) continue;
        EXPECT_EQ(compression->capacity(), c.capacityAfter);
        EXPECT_EQ(Decompressed(*compression, Compressed(*compression, Repeated(40))), Repeated(40));
        delete compression;
    }
}

TEST(Compression, NullSourceIsAssertedAndCompressesNothing) {
    CCompression compression;
    testsupport::LogTail tail;
    uint8_t* result = nullptr;
    uint32_t size = 0;
    compression.Compress(nullptr, 10, result, &size);
    EXPECT_EQ(Bytes(result, result + size), Hex("01000000"));
    ASSERT_FALSE(tail.Lines().empty());
    EXPECT_EQ(tail.Lines()[0].rfind("Assertion Failed! File Compression.cpp", 0), 0u);
}

}  // namespace
