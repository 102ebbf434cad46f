#include "notestore/drawings/ZRBitmap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "notestore.h"
#include "notestore/drawings/Compression.h"
#include "platform/Faults.h"
#include "platform/Graphics.h"
#include "support/Bytes.h"
#include "support/LogTail.h"
#include "support/TempDir.h"

// The ownership rules of the conversions are checked by the sanitizer: a
// test never frees a block the function under test must have freed (a leak
// otherwise) and frees every block it still owns (a double free otherwise).
namespace {

using testsupport::ByteWriter;
using testsupport::Bytes;
using testsupport::LogTail;

uint32_t FullTable(uint16_t bits) { return bits <= 8 ? 1u << bits : 0; }
uint32_t RowBytes(int32_t width, uint16_t bits) { return (static_cast<uint32_t>(width) * bits + 31) / 32 * 4; }
uint32_t RowsOf(int32_t width, int32_t height, uint16_t bits) {
    return RowBytes(width, bits) * static_cast<uint32_t>(std::abs(height));
}

uint32_t U32At(const Bytes& bytes, size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}
uint16_t U16At(const Bytes& bytes, size_t at) { return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8); }
void PutU32(Bytes& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

MemHandle NewBlock(const Bytes& bytes) {
    MemHandle handle = MemAlloc(static_cast<uint32_t>(bytes.size()));
    std::memcpy(MemGetPtr(handle), bytes.data(), bytes.size());
    return handle;
}

Bytes Contents(MemHandle handle) {
    const auto* data = static_cast<const uint8_t*>(MemGetPtr(handle));
    return Bytes(data, data + MemGetSize(handle));
}

Bytes Slice(const Bytes& bytes, size_t at, size_t count) { return testsupport::Slice(bytes, at, count); }

Bytes Decoded(const Bytes& stream) {
    CCompression compression;
    uint8_t* result = nullptr;
    uint32_t size = 0;
    compression.Decompress(stream.data(), static_cast<uint32_t>(stream.size()), result, &size);
    return Bytes(result, result + size);
}

Bytes Noise(size_t size, uint32_t seed) {
    std::mt19937 engine(seed);
    Bytes bytes(size);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(engine());
    return bytes;
}

// A packed DIB built field by field.
struct Picture {
    int32_t width = 3;
    int32_t height = 2;
    uint16_t bits = 24;
    uint32_t colorsUsed = 0;
    uint32_t imageSizeField = 0;
    uint32_t seed = 1;

    uint32_t entries() const { return colorsUsed != 0 ? colorsUsed : FullTable(bits); }
    uint32_t rows() const { return RowsOf(width, height, bits); }
    Bytes Table() const {
        ByteWriter table;
        for (uint32_t i = 0; i < entries(); ++i) table.U8(static_cast<uint8_t>(i * 3)).U8(static_cast<uint8_t>(255 - i)).U8(static_cast<uint8_t>(i ^ 0x5A)).U8(0);
        return table.bytes;
    }
    Bytes Pixels() const { return Noise(std::max(rows(), imageSizeField), seed); }
    Bytes Dib() const {
        return ByteWriter()
            .U32(40)
            .U32(static_cast<uint32_t>(width))
            .U32(static_cast<uint32_t>(height))
            .U16(1)
            .U16(bits)
            .U32(BI_RGB)
            .U32(imageSizeField)
            .U32(2835)
            .U32(2835)
            .U32(colorsUsed)
            .U32(0)
            .Raw(Table())
            .Raw(Pixels())
            .bytes;
    }
};

// An internal block written by hand.
Bytes DrawingBlock(int32_t width, int32_t height, uint32_t imageSize, uint8_t bits, const Bytes& table, const Bytes& stream) {
    return ByteWriter()
        .U8(2)
        .U32(static_cast<uint32_t>(width))
        .U32(static_cast<uint32_t>(height))
        .U32(imageSize)
        .U8(bits)
        .Raw(table)
        .U32(static_cast<uint32_t>(stream.size()))
        .Raw(stream)
        .bytes;
}

Bytes StoredStream(const Bytes& bytes) { return ByteWriter().U32(1).Raw(bytes).bytes; }

bool Has(const std::vector<std::string>& lines, const std::string& text) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) { return line.find(text) != std::string::npos; });
}
const std::string kAssertion = "Assertion Failed! File ZRBitmap.cpp";

// The handles the graphics layer gives its next objects. New objects take
// the lowest free slots, so when the list changes across a call the call
// left a bitmap, palette or context behind.
std::vector<HPALETTE> NextGraphicsHandles() {
    const LOGPALETTE one{0x300, 1, {{0, 0, 0, 0}}};
    std::vector<HPALETTE> handles;
    for (int i = 0; i < 16; ++i) handles.push_back(CreatePalette(&one));
    for (HPALETTE palette : handles) DeleteObject(palette);
    return handles;
}

class Drawings : public ::testing::Test {
protected:
    void SetUp() override {
        // The stock objects the graphics layer makes on first use.
        ReleaseDC(nullptr, GetDC(nullptr));
        DeleteDC(CreateCompatibleDC(nullptr));
        handlesBefore_ = NextGraphicsHandles();
    }
    void TearDown() override {
        platform::SetScreenDepth(16);
        EXPECT_EQ(NextGraphicsHandles(), handlesBefore_) << "a graphics object was left behind";
    }

private:
    std::vector<HPALETTE> handlesBefore_;
};

// --- DIB to internal block and back ---------------------------------------------------

TEST_F(Drawings, TwentyFourBitThreeByTwoIsStoredWithoutTableAndComesBackUnchanged) {
    Bytes pixels(24);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i * 11 + 1);  // nothing to match: stored form
    Bytes dib = Picture{}.Dib();
    std::copy(pixels.begin(), pixels.end(), dib.begin() + 40);

    MemHandle block = ConvertDibToInternalFormat(NewBlock(dib));
    ASSERT_NE(block, nullptr);
    const Bytes expected = DrawingBlock(3, 2, 24, 24, {}, StoredStream(pixels));
    EXPECT_EQ(Contents(block), expected);

    MemHandle back = ConvertInternalFormatToDib(block);
    ASSERT_NE(back, nullptr);
    const Bytes header = ByteWriter().U32(40).U32(3).U32(2).U16(1).U16(24).U32(0).U32(0).U32(0).U32(0).U32(0).U32(0).bytes;
    EXPECT_EQ(Contents(back), ByteWriter().Raw(header).Raw(pixels).bytes);
    EXPECT_EQ(Contents(block), expected) << "the block stays with the caller, unchanged";
    MemFree(block);
    MemFree(back);
}

struct Shape {
    int32_t width;
    int32_t height;
};
void PrintTo(const Shape& shape, std::ostream* out) { *out << shape.width << "x" << shape.height; }

class RoundTrip : public Drawings, public ::testing::WithParamInterface<std::tuple<uint16_t, Shape>> {};

TEST_P(RoundTrip, EveryDepthAndSizeSurvivesBothConversions) {
    const auto [bits, shape] = GetParam();
    Picture picture;
    picture.width = shape.width;
    picture.height = shape.height;
    picture.bits = bits;
    picture.seed = static_cast<uint32_t>(bits * 1000 + shape.width * 31 + shape.height);
    const uint32_t colors = FullTable(bits);

    MemHandle block = ConvertDibToInternalFormat(NewBlock(picture.Dib()));
    ASSERT_NE(block, nullptr);
    const Bytes stored = Contents(block);
    const size_t lengthAt = 14 + 4 * colors;
    ASSERT_GE(stored.size(), lengthAt + 4);
    EXPECT_EQ(stored[0], 2);
    EXPECT_EQ(U32At(stored, 1), static_cast<uint32_t>(shape.width)) << "the outline item reads the width here";
    EXPECT_EQ(U32At(stored, 5), static_cast<uint32_t>(shape.height)) << "and the height here";
    EXPECT_EQ(U32At(stored, 9), picture.rows());
    EXPECT_EQ(stored[13], bits);
    EXPECT_EQ(Slice(stored, 14, 4 * colors), picture.Table());
    const uint32_t length = U32At(stored, lengthAt);
    ASSERT_EQ(stored.size(), lengthAt + 4 + length);
    EXPECT_EQ(Decoded(Slice(stored, lengthAt + 4, length)), picture.Pixels());

    MemHandle dib = ConvertInternalFormatToDib(block);
    ASSERT_NE(dib, nullptr);
    const Bytes rebuilt = Contents(dib);
    ASSERT_EQ(rebuilt.size(), 40 + 4 * colors + picture.rows());
    EXPECT_EQ(static_cast<int32_t>(U32At(rebuilt, 4)), shape.width);
    EXPECT_EQ(static_cast<int32_t>(U32At(rebuilt, 8)), shape.height);
    EXPECT_EQ(U16At(rebuilt, 14), bits);
    EXPECT_EQ(U32At(rebuilt, 20), 0u) << "image size";
    EXPECT_EQ(U32At(rebuilt, 24), 0u) << "resolution";
    EXPECT_EQ(U32At(rebuilt, 32), 0u) << "colours used";
    EXPECT_EQ(Slice(rebuilt, 40, 4 * colors), picture.Table());
    EXPECT_EQ(Slice(rebuilt, 40 + 4 * colors, picture.rows()), picture.Pixels());

    // The rebuilt DIB makes the same block again.
    MemHandle again = ConvertDibToInternalFormat(dib);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(Contents(again), stored);
    MemFree(again);
    MemFree(block);
}

INSTANTIATE_TEST_SUITE_P(Pictures, RoundTrip,
                         ::testing::Combine(::testing::Values<uint16_t>(1, 4, 8, 16, 24, 32),
                                            ::testing::Values(Shape{1, 1}, Shape{3, 2}, Shape{7, 5}, Shape{13, -3},
                                                              Shape{33, 17}, Shape{2, -1}, Shape{31, 4}, Shape{240, 9})));

TEST_F(Drawings, AnEightBitTableKeepsAllItsEntriesInOrder) {
    Picture picture;
    picture.bits = 8;
    picture.width = 16;
    picture.height = 16;
    Bytes dib = picture.Dib();
    for (uint32_t i = 0; i < 256; ++i) dib[40 + 4 * i + 3] = static_cast<uint8_t>(i);  // even the reserved bytes
    const Bytes table = Slice(dib, 40, 1024);

    MemHandle block = ConvertDibToInternalFormat(NewBlock(dib));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(Slice(Contents(block), 14, 1024), table);
    MemHandle back = ConvertInternalFormatToDib(block);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(Slice(Contents(back), 40, 1024), table);
    MemFree(block);
    MemFree(back);
}

TEST_F(Drawings, AOneBitDrawingStoresExactlyTwoEntries) {
    Picture picture;
    picture.bits = 1;
    picture.width = 9;
    MemHandle block = ConvertDibToInternalFormat(NewBlock(picture.Dib()));
    ASSERT_NE(block, nullptr);
    const Bytes stored = Contents(block);
    EXPECT_EQ(Slice(stored, 14, 8), picture.Table());
    EXPECT_EQ(stored.size(), 14 + 8 + 4 + U32At(stored, 22));
    MemFree(block);
}

TEST_F(Drawings, AStoredImageSizeIsKeptAndAZeroOneIsFilledIn) {
    Picture padded;
    padded.imageSizeField = padded.rows() + 8;  // some writers pad the rows
    MemHandle block = ConvertDibToInternalFormat(NewBlock(padded.Dib()));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(U32At(Contents(block), 9), padded.rows() + 8);
    MemHandle back = ConvertInternalFormatToDib(block);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(Contents(back).size(), 40 + padded.rows() + 8);
    EXPECT_EQ(Slice(Contents(back), 40, padded.rows() + 8), padded.Pixels());
    MemFree(back);
    MemFree(block);

    // A refused DIB stays with the caller; one that fails later has its
    // image size filled in, as the conversion computes it first.
    Picture picture;
    MemHandle dib = NewBlock(picture.Dib());
    platform::FaultInjector injector;
    {
        platform::ScopedFaultInjector scope(injector);
        injector.FailNth(platform::FaultOp::Alloc, 1, ERROR_NOT_ENOUGH_MEMORY, true);
        EXPECT_EQ(ConvertDibToInternalFormat(dib), nullptr);
    }
    EXPECT_EQ(U32At(Contents(dib), 20), picture.rows());
    MemFree(dib);
}

// --- Colours used ---------------------------------------------------------------------

struct Widening {
    uint16_t bits;
    uint32_t colorsUsed;
};

class ColorsUsed : public Drawings, public ::testing::WithParamInterface<Widening> {};

TEST_P(ColorsUsed, AShortTableIsWidenedToTheFullOneWithZeroEntries) {
    Picture picture;
    picture.bits = GetParam().bits;
    picture.colorsUsed = GetParam().colorsUsed;
    picture.width = 11;
    picture.height = 3;
    const uint32_t full = FullTable(picture.bits);

    MemHandle block = ConvertDibToInternalFormat(NewBlock(picture.Dib()));
    ASSERT_NE(block, nullptr);
    const Bytes stored = Contents(block);
    Bytes widened = picture.Table();
    widened.resize(4 * full, 0);
    EXPECT_EQ(Slice(stored, 14, 4 * full), widened);
    const uint32_t length = U32At(stored, 14 + 4 * full);
    EXPECT_EQ(Decoded(Slice(stored, 18 + 4 * full, length)), picture.Pixels()) << "the rows start behind the short table";

    MemHandle back = ConvertInternalFormatToDib(block);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(U32At(Contents(back), 32), 0u);
    EXPECT_EQ(Slice(Contents(back), 40, 4 * full), widened);
    EXPECT_EQ(Slice(Contents(back), 40 + 4 * full, picture.rows()), picture.Pixels());
    MemFree(back);
    MemFree(block);
}

INSTANTIATE_TEST_SUITE_P(Tables, ColorsUsed,
                         ::testing::Values(Widening{1, 1}, Widening{4, 3}, Widening{4, 16}, Widening{8, 20},
                                           Widening{8, 255}));

TEST_F(Drawings, AnOptionalTableAboveEightBitsIsLeftOutAndThePixelsKept) {
    Picture picture;
    picture.colorsUsed = 3;
    picture.width = 5;
    MemHandle block = ConvertDibToInternalFormat(NewBlock(picture.Dib()));
    ASSERT_NE(block, nullptr);
    const Bytes stored = Contents(block);
    const uint32_t length = U32At(stored, 14);
    EXPECT_EQ(stored.size(), 18u + length) << "no colour table at 24 bits";
    EXPECT_EQ(Decoded(Slice(stored, 18, length)), picture.Pixels());

    MemHandle back = ConvertInternalFormatToDib(block);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(U32At(Contents(back), 32), 0u);
    EXPECT_EQ(Slice(Contents(back), 40, picture.rows()), picture.Pixels());
    MemFree(back);
    MemFree(block);
}

// --- Damaged DIBs ---------------------------------------------------------------------

struct DamagedDib {
    const char* name;
    Picture picture;
    std::function<void(Bytes&)> damage;
    bool asserts = false;      // the header size is reported
    bool beyondBlock = false;  // only the block's size shows the damage
};

void PrintTo(const DamagedDib& c, std::ostream* out) { *out << c.name; }

Picture Depth(uint16_t bits) {
    Picture picture;
    picture.bits = bits;
    return picture;
}
Picture Sized(int32_t width, int32_t height, uint16_t bits = 24) {
    Picture picture;
    picture.width = width;
    picture.height = height;
    picture.bits = bits;
    return picture;
}
Picture WithImageSize(uint32_t imageSize) {
    Picture picture;
    picture.imageSizeField = imageSize;
    return picture;
}
Picture WithColorsUsed(uint16_t bits, uint32_t colorsUsed) {
    Picture picture = Depth(bits);
    picture.colorsUsed = colorsUsed;
    return picture;
}

const DamagedDib kDamagedDibs[] = {
    {"shorter than a header", Picture{}, [](Bytes& b) { b.resize(39); }, false, true},
    {"core header", Picture{}, [](Bytes& b) { PutU32(b, 0, 12); }, true, false},
    {"longer header", Picture{}, [](Bytes& b) { PutU32(b, 0, 108); }, true, false},
    {"bit count 0", Picture{}, [](Bytes& b) { b[14] = 0; }},
    {"bit count 2", Picture{}, [](Bytes& b) { b[14] = 2; }},
    {"bit count 65535", Picture{}, [](Bytes& b) { b[14] = b[15] = 0xFF; }},
    {"run-length encoded", Depth(8), [](Bytes& b) { PutU32(b, 16, BI_RLE8); }},
    {"bit fields", Depth(16), [](Bytes& b) { PutU32(b, 16, BI_BITFIELDS); }},
    {"width 0", Picture{}, [](Bytes& b) { PutU32(b, 4, 0); }},
    {"negative width", Picture{}, [](Bytes& b) { PutU32(b, 4, static_cast<uint32_t>(-3)); }},
    {"height 0", Picture{}, [](Bytes& b) { PutU32(b, 8, 0); }},
    {"height INT32_MIN", Picture{}, [](Bytes& b) { PutU32(b, 8, 0x80000000u); }},
    {"row bits beyond 32 signed bits", Sized(1, 1, 32), [](Bytes& b) { PutU32(b, 4, 0x4000000); }},
    {"rows beyond 32 signed bits", Sized(1, 1, 32), [](Bytes& b) {
         PutU32(b, 4, 65536);
         PutU32(b, 8, 8192);
     }},
    {"rows beyond the block", Picture{}, [](Bytes& b) { b.pop_back(); }, false, true},
    {"image size below the rows", WithImageSize(24), [](Bytes& b) { PutU32(b, 20, 23); }},
    {"image size beyond the block", WithImageSize(24), [](Bytes& b) { PutU32(b, 20, 25); }, false, true},
    {"image size beyond 32 signed bits", WithImageSize(24), [](Bytes& b) { PutU32(b, 20, 0x80000000u); }},
    {"table beyond the block", Depth(8), [](Bytes& b) { b.resize(40 + 1000); }, false, true},
    {"more colours than the depth has", WithColorsUsed(8, 256), [](Bytes& b) { PutU32(b, 32, 257); }},
    {"optional table beyond the block", Picture{}, [](Bytes& b) { PutU32(b, 32, 1); }, false, true},
    {"optional table of more than 256 entries", WithColorsUsed(24, 256), [](Bytes& b) { PutU32(b, 32, 257); }},
    {"colours used beyond 16 bits", WithColorsUsed(8, 256), [](Bytes& b) { PutU32(b, 32, 65536 + 2); }},
    {"image size a whole row beyond the rows", WithImageSize(36), [](Bytes&) {}},
    {"wider than a bitmap may be", Sized(16385, 1, 1), [](Bytes&) {}},
    {"more pixels than a bitmap may have", Sized(16384, -4097, 1), [](Bytes&) {}},
};

class DamagedDibs : public Drawings, public ::testing::WithParamInterface<DamagedDib> {};

TEST_P(DamagedDibs, AreRefusedAndStayWithTheCaller) {
    Bytes bytes = GetParam().picture.Dib();
    GetParam().damage(bytes);
    MemHandle dib = NewBlock(bytes);
    const LogTail tail;
    EXPECT_EQ(ConvertDibToInternalFormat(dib), nullptr);
    EXPECT_EQ(Has(tail.Lines(), kAssertion), GetParam().asserts);
    EXPECT_EQ(Contents(dib), bytes);
    // The bridge makes the same checks; a bare DIB pointer tells nothing of
    // the block around it.
    if (!GetParam().beyondBlock) {
        EXPECT_EQ(DIBToBitmap(MemGetPtr(dib), nullptr), nullptr);
    }
    EXPECT_EQ(ConvertDIBtoBitmap(dib), nullptr);  // and frees the block
}

INSTANTIATE_TEST_SUITE_P(Cases, DamagedDibs, ::testing::ValuesIn(kDamagedDibs));

// --- Damaged internal blocks -------------------------------------------------------------

Bytes GoodBlock(const Picture& picture) {
    MemHandle block = ConvertDibToInternalFormat(NewBlock(picture.Dib()));
    Bytes bytes = Contents(block);
    MemFree(block);
    return bytes;
}

struct DamagedBlock {
    const char* name;
    std::function<Bytes()> bytes;
    const char* logged = nullptr;  // a line the refusal writes
};

void PrintTo(const DamagedBlock& c, std::ostream* out) { *out << c.name; }

Bytes Damaged(const Picture& picture, const std::function<void(Bytes&)>& damage) {
    Bytes bytes = GoodBlock(picture);
    damage(bytes);
    return bytes;
}

const DamagedBlock kDamagedBlocks[] = {
    {"shorter than the fixed part", [] { return Damaged(Picture{}, [](Bytes& b) { b.resize(17); }); }},
    {"stream cut short", [] { return Damaged(Picture{}, [](Bytes& b) { b.pop_back(); }); }},
    {"length beyond the block", [] { return Damaged(Picture{}, [](Bytes& b) { PutU32(b, 14, 0xFFFFFFF0u); }); }},
    {"cut inside the colour table", [] { return Damaged(Depth(8), [](Bytes& b) { b.resize(14 + 600); }); }},
    {"cut before the length", [] { return Damaged(Depth(4), [](Bytes& b) { b.resize(14 + 64 + 3); }); }},
    {"bit count 0", [] { return Damaged(Picture{}, [](Bytes& b) { b[13] = 0; }); }},
    {"bit count 2", [] { return Damaged(Picture{}, [](Bytes& b) { b[13] = 2; }); }},
    {"bit count 255", [] { return Damaged(Picture{}, [](Bytes& b) { b[13] = 255; }); }},
    {"width 0", [] { return Damaged(Picture{}, [](Bytes& b) { PutU32(b, 1, 0); }); }},
    {"negative width", [] { return Damaged(Picture{}, [](Bytes& b) { PutU32(b, 1, 0xFFFFFFFFu); }); }},
    {"height 0", [] { return Damaged(Picture{}, [](Bytes& b) { PutU32(b, 5, 0); }); }},
    {"huge width", [] { return Damaged(Picture{}, [](Bytes& b) { PutU32(b, 1, 0x7FFFFFFF); }); }},
    {"rows beyond 32 signed bits", [] {
         return Damaged(Picture{}, [](Bytes& b) {
             PutU32(b, 1, 40000);
             PutU32(b, 5, 20000);
         });
     }},
    {"image size below the rows", [] { return Damaged(Picture{}, [](Bytes& b) { PutU32(b, 9, 23); }); }},
    {"image size beyond 32 signed bits", [] { return Damaged(Picture{}, [](Bytes& b) { PutU32(b, 9, 0x80000000u); }); }},
    {"image size a whole row beyond the rows", [] { return Damaged(Picture{}, [](Bytes& b) { PutU32(b, 9, 36); }); }},
    {"image size of a huge picture", [] { return Damaged(Picture{}, [](Bytes& b) { PutU32(b, 9, 0x7FFFFFF0u); }); }},
    {"46000 x 46000 at 8 bits", [] { return DrawingBlock(46000, 46000, 46000u * 46000u, 8, Bytes(1024), {}); }},
    {"a side above 16384", [] { return DrawingBlock(16385, 1, 16388, 8, Bytes(1024), {}); }},
    {"a negative height above 16384", [] { return DrawingBlock(1, -16385, 4 * 16385, 8, Bytes(1024), {}); }},
    {"more than 64 Mi pixels", [] { return DrawingBlock(16384, 4097, 16384u * 4097u, 8, Bytes(1024), {}); }},
    {"copy before the start of the output",
     [] { return DrawingBlock(3, 2, 24, 24, {}, {0, 0, 0, 0, 0x02, 0x00, 0x61, 0x02, 0x02}); },
     "Exception Data corruption error in file ZRBitmap.cpp"},
    {"stream ending inside an item",
     [] { return DrawingBlock(3, 2, 24, 24, {}, {0, 0, 0, 0, 0x01, 0x00, 0x0F}); },
     "Exception Data corruption error in file ZRBitmap.cpp"},
};

class DamagedBlocks : public Drawings, public ::testing::WithParamInterface<DamagedBlock> {};

TEST_P(DamagedBlocks, GiveNothingAndStayWithTheCaller) {
    const Bytes bytes = GetParam().bytes();
    MemHandle block = NewBlock(bytes);
    const LogTail tail;
    EXPECT_EQ(ConvertInternalFormatToDib(block), nullptr);
    if (GetParam().logged != nullptr) {
        EXPECT_TRUE(Has(tail.Lines(), GetParam().logged));
    }
    EXPECT_FALSE(Has(tail.Lines(), kAssertion));
    EXPECT_EQ(Contents(block), bytes);
    MemFree(block);
}

INSTANTIATE_TEST_SUITE_P(Cases, DamagedBlocks, ::testing::ValuesIn(kDamagedBlocks));

TEST_F(Drawings, AHugePictureIsRefusedBeforeAnythingIsAllocated) {
    // 2 GiB of rows claimed by a 1 KiB block: nothing may be allocated for it.
    MemHandle block = NewBlock(DrawingBlock(46000, 46000, 46000u * 46000u, 8, Bytes(1024), {}));
    platform::FaultInjector injector;
    {
        platform::ScopedFaultInjector scope(injector);
        EXPECT_EQ(ConvertInternalFormatToDib(block), nullptr);
    }
    EXPECT_EQ(injector.Seen(platform::FaultOp::Alloc), 0u);
    MemFree(block);

    // The largest picture a bitmap may hold still converts.
    Picture largest = Sized(16384, 4096, 1);
    MemHandle stored = ConvertDibToInternalFormat(NewBlock(largest.Dib()));
    ASSERT_NE(stored, nullptr);
    MemHandle dib = ConvertInternalFormatToDib(stored);
    ASSERT_NE(dib, nullptr);
    EXPECT_EQ(MemGetSize(dib), 40 + 8 + largest.rows());
    MemFree(dib);
    MemFree(stored);
}

struct Mismatch {
    const char* name;
    uint32_t imageSize;
    size_t decoded;
    bool asserts;
};

void PrintTo(const Mismatch& c, std::ostream* out) { *out << c.name; }

class DecodedLength : public Drawings, public ::testing::WithParamInterface<Mismatch> {};

TEST_P(DecodedLength, FillsAtMostTheImageSizeAndZeroesTheRest) {
    const Mismatch& c = GetParam();
    const Bytes rows = Noise(c.decoded, 7);
    MemHandle block = NewBlock(DrawingBlock(3, 2, c.imageSize, 24, {}, StoredStream(rows)));
    const LogTail tail;
    MemHandle dib = ConvertInternalFormatToDib(block);
    ASSERT_NE(dib, nullptr);
    EXPECT_EQ(Has(tail.Lines(), kAssertion), c.asserts);
    Bytes expected = Slice(rows, 0, c.imageSize);
    expected.resize(c.imageSize, 0);
    EXPECT_EQ(Contents(dib).size(), 40 + c.imageSize);
    EXPECT_EQ(Slice(Contents(dib), 40, c.imageSize), expected);
    MemFree(dib);
    MemFree(block);
}

INSTANTIATE_TEST_SUITE_P(Lengths, DecodedLength,
                         ::testing::Values(Mismatch{"exact", 24, 24, false}, Mismatch{"padded rows", 28, 28, false},
                                           Mismatch{"shorter", 24, 10, true}, Mismatch{"empty", 24, 0, true},
                                           Mismatch{"longer", 24, 30, true}));

// --- Null handles and allocation failures -----------------------------------------------

TEST_F(Drawings, NullHandlesAreReportedAndGiveNothing) {
    const std::function<bool()> calls[] = {
        [] { return ConvertDibToInternalFormat(nullptr) == nullptr; },
        [] { return ConvertInternalFormatToDib(nullptr) == nullptr; },
        [] { return DIBToBitmap(nullptr, nullptr) == nullptr; },
        [] { return ConvertDIBtoBitmap(nullptr) == nullptr; },
        [] { return BitmapToDIB(nullptr, nullptr) == nullptr; },
    };
    for (const auto& call : calls) {
        const LogTail tail;
        EXPECT_TRUE(call());
        EXPECT_TRUE(Has(tail.Lines(), kAssertion));
    }
}

// Makes the 1st, 2nd, ... allocation of `call` fail until it gets through.
// `call` returns whether it succeeded; a call that saw no failure must
// succeed, and unless `mayRecover`, one that saw a failure must fail.
// `prepare` runs before each call, with every allocation allowed.
void FailEachAllocation(const std::function<bool()>& call, const std::function<void()>& prepare = [] {},
                        bool mayRecover = false) {
    for (uint32_t n = 1;; ++n) {
        SCOPED_TRACE(testing::Message() << "allocation " << n);
        prepare();
        platform::FaultInjector injector;
        bool succeeded = false;
        {
            platform::ScopedFaultInjector scope(injector);
            injector.FailNth(platform::FaultOp::Alloc, n, ERROR_NOT_ENOUGH_MEMORY);
            EXPECT_NO_THROW(succeeded = call());
        }
        if (!mayRecover || !injector.Fired(platform::FaultOp::Alloc)) {
            EXPECT_EQ(succeeded, !injector.Fired(platform::FaultOp::Alloc));
        }
        if (!injector.Fired(platform::FaultOp::Alloc)) {
            EXPECT_GT(n, 1u) << "the call allocates nothing";
            return;
        }
    }
}

TEST_F(Drawings, EveryAllocationFailureGivesNothingWithTheRightOwnership) {
    Picture picture;
    picture.bits = 8;
    picture.width = 70;
    picture.height = 9;
    const LogTail tail;
    MemHandle dib = nullptr;
    FailEachAllocation([&] {
        MemHandle block = ConvertDibToInternalFormat(dib);
        if (block == nullptr) {
            Bytes expected = picture.Dib();
            PutU32(expected, 20, picture.rows());
            EXPECT_EQ(Contents(dib), expected) << "the DIB stays with the caller";
            MemFree(dib);
            return false;
        }
        MemFree(block);
        return true;
    }, [&] { dib = NewBlock(picture.Dib()); });
    EXPECT_TRUE(Has(tail.Lines(), "Exception Out of memory in file ZRBitmap.cpp")) << "the compressor's failure is logged";

    const Bytes stored = GoodBlock(picture);
    MemHandle block = NewBlock(stored);
    FailEachAllocation([&] {
        MemHandle made = ConvertInternalFormatToDib(block);
        EXPECT_EQ(Contents(block), stored);
        MemFree(made);
        return made != nullptr;
    });
    MemFree(block);
}

// --- The bridge: DIBs to bitmaps -----------------------------------------------------------

struct Section {
    DIBSECTION description{};
    Bytes bits;
    std::vector<RGBQUAD> table;
};

Section Describe(OL_Bitmap* bitmap) {
    Section section;
    const auto handle = reinterpret_cast<HBITMAP>(bitmap);
    EXPECT_EQ(GetObjectW(handle, sizeof section.description, &section.description), static_cast<int>(sizeof(DIBSECTION)));
    const BITMAP& bm = section.description.dsBm;
    const auto* bits = static_cast<const uint8_t*>(bm.bmBits);
    section.bits.assign(bits, bits + static_cast<size_t>(bm.bmWidthBytes) * static_cast<size_t>(bm.bmHeight));
    if (bm.bmBitsPixel <= 8) {
        const HDC dc = CreateCompatibleDC(nullptr);
        const HGDIOBJ old = SelectObject(dc, handle);
        section.table.resize(256);
        section.table.resize(GetDIBColorTable(dc, 0, 256, section.table.data()));
        SelectObject(dc, old);
        DeleteDC(dc);
    }
    return section;
}

Bytes TableBytes(const std::vector<RGBQUAD>& table) {
    Bytes bytes;
    for (const RGBQUAD& c : table) bytes.insert(bytes.end(), {c.rgbBlue, c.rgbGreen, c.rgbRed, c.rgbReserved});
    return bytes;
}

class DibBitmaps : public Drawings, public ::testing::WithParamInterface<std::tuple<uint16_t, Shape>> {};

TEST_P(DibBitmaps, HoldTheRowsAndTableOfTheirDib) {
    const auto [bits, shape] = GetParam();
    Picture picture = Sized(shape.width, shape.height, bits);
    const Bytes dibBytes = picture.Dib();
    const HPALETTE palette = reinterpret_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE));

    for (const bool withPalette : {false, true}) {
        SCOPED_TRACE(withPalette ? "with a palette" : "without a palette");
        Bytes dib = dibBytes;
        OL_Bitmap* bitmap = DIBToBitmap(dib.data(), withPalette ? reinterpret_cast<OL_Palette*>(palette) : nullptr);
        ASSERT_NE(bitmap, nullptr);
        EXPECT_EQ(U32At(dib, 20), picture.rows()) << "the image size is filled in";
        const Section section = Describe(bitmap);
        EXPECT_EQ(section.description.dsBm.bmWidth, shape.width);
        EXPECT_EQ(section.description.dsBm.bmHeight, std::abs(shape.height));
        EXPECT_EQ(section.description.dsBmih.biHeight, shape.height);
        EXPECT_EQ(section.description.dsBm.bmBitsPixel, bits);
        EXPECT_EQ(section.bits, picture.Pixels());
        EXPECT_EQ(TableBytes(section.table), picture.Table());
        EXPECT_TRUE(DeleteObject(reinterpret_cast<HBITMAP>(bitmap)));
    }

    MemHandle block = NewBlock(dibBytes);
    OL_Bitmap* bitmap = ConvertDIBtoBitmap(block);  // frees the block
    ASSERT_NE(bitmap, nullptr);
    const Section section = Describe(bitmap);
    EXPECT_EQ(section.bits, picture.Pixels());
    EXPECT_EQ(TableBytes(section.table), picture.Table());
    EXPECT_TRUE(DeleteObject(reinterpret_cast<HBITMAP>(bitmap)));
}

INSTANTIATE_TEST_SUITE_P(Pictures, DibBitmaps,
                         ::testing::Combine(::testing::Values<uint16_t>(1, 4, 8, 16, 24, 32),
                                            ::testing::Values(Shape{3, 2}, Shape{13, -5}, Shape{1, 1})));

TEST_F(Drawings, ABitmapOfAShortTableHasTheMissingEntriesBlack) {
    Picture picture = WithColorsUsed(8, 20);
    Bytes dib = picture.Dib();
    OL_Bitmap* bitmap = DIBToBitmap(dib.data(), nullptr);
    ASSERT_NE(bitmap, nullptr);
    const Section section = Describe(bitmap);
    Bytes table = picture.Table();
    table.resize(1024, 0);
    EXPECT_EQ(TableBytes(section.table), table);
    EXPECT_EQ(section.bits, picture.Pixels());
    DeleteObject(reinterpret_cast<HBITMAP>(bitmap));
}

TEST_F(Drawings, BitmapAllocationFailuresGiveNothingAndLeakNothing) {
    Picture picture = Sized(21, 6, 8);
    FailEachAllocation([&] {
        Bytes dib = picture.Dib();
        OL_Bitmap* bitmap = DIBToBitmap(dib.data(), nullptr);
        return bitmap != nullptr && DeleteObject(reinterpret_cast<HBITMAP>(bitmap));
    });
    // A palette of the table, and a halftone one, which is made without the
    // screen's context when that cannot be had.
    for (const uint16_t bits : {8, 24}) {
        picture.bits = bits;
        MemHandle dib = nullptr;
        FailEachAllocation([&] {
            OL_Bitmap* bitmap = ConvertDIBtoBitmap(dib);  // frees the block in every case
            EXPECT_EQ(OL_GetLastExceptionKind(), OL_EXCEPTION_NONE);
            return bitmap != nullptr && DeleteObject(reinterpret_cast<HBITMAP>(bitmap));
        }, [&] { dib = NewBlock(picture.Dib()); }, bits == 24);
    }
}

// --- The bridge: image files to DIBs ---------------------------------------------------------

// Pictures written by an independent writer (PIL), and beside each its own
// decoding as NAME.rgb: red, green, blue per pixel, rows from the top.
constexpr char kPictureScript[] = R"(
import os, sys
from PIL import Image
out = sys.argv[1]
image = Image.new('RGB', (13, 7))
image.putdata([((x * 37 + y * 11) & 255, (x * 5 + y * 53) & 255, (x * y * 3 + 7) & 255) for y in range(7) for x in range(13)])
image.save(os.path.join(out, 'picture.png'))
image.save(os.path.join(out, 'picture.bmp'))
for name in ('picture.png', 'picture.bmp'):
    with Image.open(os.path.join(out, name)) as back:
        with open(os.path.join(out, name + '.rgb'), 'wb') as f:
            f.write(back.convert('RGB').tobytes())
)";
constexpr int32_t kPictureWidth = 13;
constexpr int32_t kPictureHeight = 7;

using Rgb = std::array<uint8_t, 3>;

uint32_t Distance(const Rgb& a, const Rgb& b) {
    uint32_t sum = 0;
    for (int c = 0; c < 3; ++c) sum += static_cast<uint32_t>((a[c] - b[c]) * (a[c] - b[c]));
    return sum;
}

// The colour of `colors` nearest to `color`, the first among equals.
Rgb Nearest(const std::vector<Rgb>& colors, const Rgb& color) {
    return *std::min_element(colors.begin(), colors.end(),
                             [&](const Rgb& a, const Rgb& b) { return Distance(a, color) < Distance(b, color); });
}

std::vector<Rgb> PaletteColors(HPALETTE palette, uint32_t count) {
    std::vector<PALETTEENTRY> entries(count);
    entries.resize(GetPaletteEntries(palette, 0, count, entries.data()));
    std::vector<Rgb> colors;
    for (const PALETTEENTRY& e : entries) colors.push_back({e.peRed, e.peGreen, e.peBlue});
    return colors;
}

uint32_t RawPixel(const uint8_t* row, int32_t x, uint16_t bits) {
    if (bits >= 8) return bits == 8 ? row[x] : row[3 * x + 2] << 16 | row[3 * x + 1] << 8 | row[3 * x];
    const int perByte = 8 / bits;
    return (row[x / perByte] >> ((perByte - 1 - x % perByte) * bits)) & ((1u << bits) - 1);
}

class ImageFiles : public Drawings {
protected:
    static void SetUpTestSuite() {
        folder_ = new testsupport::TempDir;
        const std::filesystem::path script = folder_->path() / "pictures.py";
        testsupport::WriteFileBytes(script, Bytes(kPictureScript, kPictureScript + sizeof kPictureScript - 1));
        made_ = std::system(("/usr/bin/python3 " + script.string() + " " + folder_->path().string()).c_str()) == 0;
    }
    static void TearDownTestSuite() {
        delete folder_;
        folder_ = nullptr;
    }
    void SetUp() override {
        Drawings::SetUp();
        ASSERT_TRUE(made_) << "the picture script failed";
    }

    // What PIL decoded, rows from the top.
    static std::vector<Rgb> Reference(const std::string& name) {
        const Bytes bytes = testsupport::ReadFileBytes(folder_->path() / (name + ".rgb"));
        std::vector<Rgb> colors;
        for (size_t i = 0; i + 3 <= bytes.size(); i += 3) colors.push_back({bytes[i], bytes[i + 1], bytes[i + 2]});
        return colors;
    }

    // The DIB of a file, checked for its layout; its colours rows from the top.
    static std::vector<Rgb> Load(const std::string& name, uint16_t bits, HPALETTE palette = nullptr,
                                 std::vector<Rgb>* table = nullptr) {
        MemHandle dib = BitmapToDIB(folder_->File(name).c_str(), reinterpret_cast<OL_Palette*>(palette));
        EXPECT_NE(dib, nullptr);
        if (dib == nullptr) return {};
        const Bytes bytes = Contents(dib);
        MemFree(dib);
        const uint32_t colors = FullTable(bits);
        const uint32_t rows = RowsOf(kPictureWidth, kPictureHeight, bits);
        EXPECT_EQ(bytes.size(), 40 + 4 * colors + rows);
        EXPECT_EQ(U32At(bytes, 0), 40u);
        EXPECT_EQ(U32At(bytes, 4), static_cast<uint32_t>(kPictureWidth));
        EXPECT_EQ(U32At(bytes, 8), static_cast<uint32_t>(kPictureHeight));
        EXPECT_EQ(U16At(bytes, 14), bits);
        EXPECT_EQ(U32At(bytes, 20), rows);
        EXPECT_EQ(U32At(bytes, 32), 0u);
        std::vector<Rgb> entries;
        for (uint32_t i = 0; i < colors; ++i) entries.push_back({bytes[40 + 4 * i + 2], bytes[40 + 4 * i + 1], bytes[40 + 4 * i]});
        if (table != nullptr) *table = entries;
        std::vector<Rgb> pixels;
        for (int32_t y = 0; y < kPictureHeight; ++y) {
            const uint8_t* row = bytes.data() + 40 + 4 * colors + (kPictureHeight - 1 - y) * RowBytes(kPictureWidth, bits);
            for (int32_t x = 0; x < kPictureWidth; ++x) {
                const uint32_t value = RawPixel(row, x, bits);
                pixels.push_back(bits == 24 ? Rgb{uint8_t(value >> 16), uint8_t(value >> 8), uint8_t(value)} : entries.at(value));
            }
        }
        return pixels;
    }

    static testsupport::TempDir* folder_;
    static bool made_;
};

testsupport::TempDir* ImageFiles::folder_ = nullptr;
bool ImageFiles::made_ = false;

uint8_t Through(uint8_t value, int bits) {
    const uint32_t narrow = (value * ((1u << bits) - 1) + 127) / 255;
    return static_cast<uint8_t>(bits == 5 ? (narrow << 3 | narrow >> 2) : (narrow << 2 | narrow >> 4));
}

TEST_F(ImageFiles, TrueColourScreensGiveTwentyFourBitDibsOfTheFilesPixels) {
    for (const int depth : {24, 32}) {
        ASSERT_TRUE(platform::SetScreenDepth(depth));
        for (const char* name : {"picture.png", "picture.bmp"}) {
            SCOPED_TRACE(testing::Message() << name << " at " << depth << " bits");
            EXPECT_EQ(Load(name, 24), Reference(name));
        }
    }
}

TEST_F(ImageFiles, ASixteenBitScreenGivesATwentyFourBitDib) {
    ASSERT_EQ(platform::ScreenDepth(), 16);
    for (const char* name : {"picture.png", "picture.bmp"}) {
        SCOPED_TRACE(name);
        std::vector<Rgb> expected = Reference(name);
        for (Rgb& c : expected) c = {Through(c[0], 5), Through(c[1], 6), Through(c[2], 5)};
        EXPECT_EQ(Load(name, 24), expected);
    }
}

TEST_F(ImageFiles, PaletteScreensGiveIndexedDibsWithATableOfTheirOwn) {
    const auto stock = reinterpret_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE));
    struct Case {
        int depth;
        std::vector<Rgb> table;  // the DIB's table
    };
    std::vector<Rgb> sixteen = PaletteColors(stock, 16);
    std::vector<Rgb> all = PaletteColors(stock, 256);
    all.resize(256, Rgb{0, 0, 0});
    const Case cases[] = {
        {1, {{0, 0, 0}, {255, 255, 255}}},
        {4, sixteen},
        {8, all},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(platform::SetScreenDepth(c.depth));
        SCOPED_TRACE(testing::Message() << c.depth << " bits");
        std::vector<Rgb> table;
        const std::vector<Rgb> pixels = Load("picture.png", static_cast<uint16_t>(c.depth), nullptr, &table);
        EXPECT_EQ(table, c.table);
        // The loader quantises to the screen's colours (which the table
        // holds), so each pixel is the nearest of them to the file's pixel.
        std::vector<Rgb> expected = Reference("picture.png");
        const std::vector<Rgb> screen = c.depth == 1 ? c.table : PaletteColors(stock, c.depth == 4 ? 16 : 256);
        for (Rgb& color : expected) color = Nearest(screen, color);
        EXPECT_EQ(pixels, expected);
    }
}

TEST_F(ImageFiles, AGivenPaletteBecomesTheTableOfAnEightBitDib) {
    ASSERT_TRUE(platform::SetScreenDepth(8));
    const std::vector<Rgb> mine = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}, {128, 128, 128}, {40, 20, 200}};
    std::vector<uint32_t> description((sizeof(LOGPALETTE) + mine.size() * sizeof(PALETTEENTRY)) / 4);
    auto* logical = reinterpret_cast<LOGPALETTE*>(description.data());
    logical->palVersion = 0x300;
    logical->palNumEntries = static_cast<WORD>(mine.size());
    // The entries run on past the declared one-element array.
    auto* entries = reinterpret_cast<PALETTEENTRY*>(reinterpret_cast<uint8_t*>(description.data()) + offsetof(LOGPALETTE, palPalEntry));
    for (size_t i = 0; i < mine.size(); ++i) entries[i] = {mine[i][0], mine[i][1], mine[i][2], 0};
    const HPALETTE palette = CreatePalette(logical);
    ASSERT_NE(palette, nullptr);

    std::vector<Rgb> table;
    const std::vector<Rgb> pixels = Load("picture.bmp", 8, palette, &table);
    std::vector<Rgb> expectedTable = mine;
    expectedTable.resize(256, Rgb{0, 0, 0});
    EXPECT_EQ(table, expectedTable);
    // The loaded bitmap holds the default palette's colours; each pixel takes
    // the nearest entry of the DIB's table to them.
    const std::vector<Rgb> screen = PaletteColors(reinterpret_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE)), 256);
    std::vector<Rgb> expected = Reference("picture.bmp");
    for (Rgb& color : expected) color = Nearest(expectedTable, Nearest(screen, color));
    EXPECT_EQ(pixels, expected);
    EXPECT_TRUE(DeleteObject(palette)) << "the palette is no longer selected anywhere";
}

TEST_F(ImageFiles, AFileThatDoesNotLoadGivesNothing) {
    EXPECT_EQ(BitmapToDIB(folder_->File("missing.png").c_str(), nullptr), nullptr);
    testsupport::WriteFileBytes(folder_->path() / "damaged.png", Bytes{0x89, 'P', 'N', 'G', 1, 2, 3});
    EXPECT_EQ(BitmapToDIB(folder_->File("damaged.png").c_str(), nullptr), nullptr);
}

TEST_F(ImageFiles, EveryAllocationFailureGivesNothingAndLeakNothing) {
    for (const int depth : {16, 8}) {
        ASSERT_TRUE(platform::SetScreenDepth(depth));
        FailEachAllocation([] {
            MemHandle dib = BitmapToDIB(folder_->File("picture.png").c_str(), nullptr);
            EXPECT_EQ(OL_GetLastExceptionKind(), OL_EXCEPTION_NONE);
            MemFree(dib);
            return dib != nullptr;
        });
    }
}

}  // namespace
