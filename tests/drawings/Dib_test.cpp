#include "notestore/drawings/Dib.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "notestore/foundation/ByteOrder.h"
#include "notestore/foundation/Exception.h"
#include "notestore/foundation/File.h"
#include "platform/Faults.h"
#include "support/Bytes.h"
#include "support/Caught.h"
#include "support/LogTail.h"
#include "support/TempDir.h"

namespace {

using testsupport::Bytes;
using testsupport::ByteWriter;
using testsupport::Caught;

// --- Building DIBs and files byte by byte ------------------------------------

struct Header {
    int32_t width;
    int32_t height;
    uint16_t bitCount;
    uint32_t colorsUsed = 0;
    uint32_t compression = 0;
    uint32_t imageSize = 0;
    uint32_t headerSize = 40;
};

Bytes InfoHeader(const Header& h) {
    return ByteWriter()
        .U32(h.headerSize)
        .U32(static_cast<uint32_t>(h.width))
        .U32(static_cast<uint32_t>(h.height))
        .U16(1)
        .U16(h.bitCount)
        .U32(h.compression)
        .U32(h.imageSize)
        .U32(2835)
        .U32(2835)
        .U32(h.colorsUsed)
        .U32(7)
        .bytes;
}

Bytes CoreHeader(uint16_t width, uint16_t height, uint16_t bitCount) {
    return ByteWriter().U32(12).U16(width).U16(height).U16(1).U16(bitCount).bytes;
}

uint32_t RowSize(uint32_t bitCount, uint32_t width) { return (bitCount * width + 31) / 32 * 4; }

// Rows in memory order, byte `i` of row `y` being `byte(i, y)`.
Bytes Rows(uint32_t rowSize, uint32_t rows, const std::function<uint8_t(uint32_t, uint32_t)>& byte) {
    Bytes bytes;
    for (uint32_t y = 0; y < rows; ++y) {
        for (uint32_t i = 0; i < rowSize; ++i) bytes.push_back(byte(i, y));
    }
    return bytes;
}

// A colour table of `count` distinct entries of `entrySize` bytes.
Bytes Table(uint32_t count, uint32_t entrySize = 4) {
    Bytes bytes;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t entry[4] = {static_cast<uint8_t>(i * 7), static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i),
                                  0};
        // Byte by byte: gcc 12 at -O3 takes a range insert of this array for an overflow.
        for (uint32_t b = 0; b < entrySize && b < sizeof entry; ++b) bytes.push_back(entry[b]);
    }
    return bytes;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

Bytes BmpFile(const Bytes& dib, uint32_t pixelOffset = 0) {
    return ByteWriter().U16(0x4D42).U32(static_cast<uint32_t>(dib.size() + 14)).U32(0).U32(pixelOffset).Raw(dib).bytes;
}

struct FreeHandle {
    void operator()(void* handle) const { MemFree(handle); }
};
using Handle = std::unique_ptr<void, FreeHandle>;

Handle ToHandle(const Bytes& bytes) {
    Handle handle(MemAlloc(static_cast<uint32_t>(bytes.size())));
    std::memcpy(MemGetPtr(handle.get()), bytes.data(), bytes.size());
    return handle;
}

Bytes Contents(MemHandle handle) {
    const auto* data = static_cast<const uint8_t*>(MemGetPtr(handle));
    return Bytes(data, data + MemGetSize(handle));
}

Bytes Slice(const Bytes& bytes, size_t offset, size_t count) { return testsupport::Slice(bytes, offset, count); }

uint32_t At32(const Bytes& bytes, size_t offset) { return zr_gen::LoadLE32(bytes.data() + offset); }

// A 24-bit bottom-up DIB whose pixel (x, y), y counted from the top, is
// `pixel(x, y)` (0xRRGGBB).
Bytes Dib24(uint32_t width, uint32_t height, const std::function<uint32_t(uint32_t, uint32_t)>& pixel,
            bool topDown = false) {
    const Bytes rows = Rows(RowSize(24, width), height, [&](uint32_t i, uint32_t memoryRow) -> uint8_t {
        if (i >= 3 * width) return 0xEE;  // padding
        const uint32_t y = topDown ? memoryRow : height - 1 - memoryRow;
        return static_cast<uint8_t>(pixel(i / 3, y) >> (8 * (i % 3)));
    });
    const int32_t storedHeight = topDown ? -static_cast<int32_t>(height) : static_cast<int32_t>(height);
    return Concat({InfoHeader({static_cast<int32_t>(width), storedHeight, 24}), rows});
}

// Pixel (x, y) from the top of a 24-bit DIB, as 0xRRGGBB.
uint32_t Pixel24(const Bytes& dib, uint32_t x, uint32_t y) {
    const auto height = static_cast<int32_t>(At32(dib, 8));
    const uint32_t rows = static_cast<uint32_t>(height < 0 ? -height : height);
    const uint32_t memoryRow = height < 0 ? y : rows - 1 - y;
    const size_t at = 40 + memoryRow * RowSize(24, At32(dib, 4)) + 3 * x;
    return uint32_t{dib[at]} | uint32_t{dib[at + 1]} << 8 | uint32_t{dib[at + 2]} << 16;
}

std::vector<uint32_t> PaletteColors(HPALETTE palette) {
    const UINT count = GetPaletteEntries(palette, 0, 0, nullptr);
    std::vector<PALETTEENTRY> entries(count);
    GetPaletteEntries(palette, 0, count, entries.data());
    std::vector<uint32_t> colors;
    for (const PALETTEENTRY& e : entries)
        colors.push_back(uint32_t{e.peRed} << 16 | uint32_t{e.peGreen} << 8 | e.peBlue);
    return colors;
}

// Runs `succeeds` with the 1st, 2nd, ... allocation failing until it runs
// through without a failure: it must fail exactly when an allocation did
// (and free whatever it made; the leak checker watches). With
// `someAreSpared`, an allocation it can do without may fail unnoticed.
void ForEachAllocationFailure(const std::function<bool()>& succeeds, bool someAreSpared = false) {
    for (uint32_t n = 1;; ++n) {
        platform::FaultInjector injector;
        platform::ScopedFaultInjector scope(injector);
        injector.FailNth(platform::FaultOp::Alloc, n, ERROR_NOT_ENOUGH_MEMORY);
        const bool succeeded = succeeds();
        const bool failed = injector.Fired(platform::FaultOp::Alloc);
        if (!succeeded || !someAreSpared) {
            EXPECT_EQ(succeeded, !failed) << "allocation " << n << " failing";
        }
        if (!failed) return;
    }
}

MemHandle ReadFromBytes(const Bytes& file) {
    Bytes copy = file;
    zr_gen::MemFile memory(copy.data(), static_cast<uint32_t>(copy.size()), 0);
    return ReadDIBFile(memory);
}

Bytes SavedFile(void* dib) {
    zr_gen::MemFile memory;
    EXPECT_EQ(SaveDIB(dib, memory), 1);
    memory.SeekToBegin();
    Bytes bytes(memory.GetLength());
    memory.Read(bytes.data(), static_cast<uint32_t>(bytes.size()));
    return bytes;
}

// --- Creation and queries ----------------------------------------------------

TEST(Dib, CreateDibIsAllWhiteBehindItsHeader) {
    Handle dib(CreateDIB(3, 2, 24));
    ASSERT_TRUE(dib);
    const Bytes bytes = Contents(dib.get());
    ASSERT_EQ(bytes.size(), 40u + 24u);
    const Bytes header = ByteWriter().U32(40).U32(3).U32(2).U16(1).U16(24).Zeros(24).bytes;
    EXPECT_EQ(Slice(bytes, 0, 40), header);
    EXPECT_EQ(Slice(bytes, 40, 24), Bytes(24, 0xFF));
}

TEST(Dib, CreateDibNormalisesTheBitCount) {
    const struct {
        uint16_t asked, made, tableBytes;
    } cases[] = {{0, 1, 8},  {1, 1, 8},   {2, 4, 64},  {4, 4, 64},  {5, 8, 1024}, {8, 8, 1024},
                 {9, 24, 0}, {16, 24, 0}, {24, 24, 0}, {25, 4, 64}, {32, 4, 64},  {0xFFFF, 4, 64}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.asked);
        Handle dib(CreateDIB(5, 3, c.asked));
        ASSERT_TRUE(dib);
        const Bytes bytes = Contents(dib.get());
        EXPECT_EQ(DIBBitCount(bytes.data()), c.made);
        EXPECT_EQ(PaletteSize(bytes.data()), c.tableBytes);
        EXPECT_EQ(bytes.size(), 40u + c.tableBytes + 3 * RowSize(c.made, 5));
        EXPECT_EQ(Slice(bytes, 40, bytes.size()), Bytes(bytes.size() - 40, 0xFF));
    }
    Handle dib(CreateDIB(1, 1, 32));
    EXPECT_EQ(DIBNumColors(MemGetPtr(dib.get())), 16);
}

TEST(Dib, CreateDibRefusesSizesItCannotHold) {
    EXPECT_EQ(CreateDIB(0x80000000u, 1, 1), nullptr);
    EXPECT_EQ(CreateDIB(1, 0x80000000u, 1), nullptr);
    EXPECT_EQ(CreateDIB(0x7FFFFFFF, 0x7FFFFFFF, 24), nullptr);
    EXPECT_EQ(CreateDIB(65536, 65536, 8), nullptr);  // 4 GiB of rows plus the header
    ForEachAllocationFailure([] { return Handle(CreateDIB(4, 4, 8)) != nullptr; });
}

TEST(Dib, QueriesReadBothHeaderForms) {
    const Bytes info = Concat({InfoHeader({7, -3, 8, 20}), Table(20)});
    EXPECT_EQ(DIBWidth(info.data()), 7u);
    EXPECT_EQ(DIBHeight(info.data()), 0xFFFFFFFDu);
    EXPECT_EQ(DIBNumColors(info.data()), 20);
    EXPECT_EQ(PaletteSize(info.data()), 80);
    EXPECT_EQ(FindDIBBits(info.data()), info.data() + 120);
    const Bytes core = CoreHeader(9, 4, 4);
    EXPECT_EQ(DIBWidth(core.data()), 9u);
    EXPECT_EQ(DIBHeight(core.data()), 4u);
    EXPECT_EQ(PaletteSize(core.data()), 48);
    EXPECT_EQ(DIBNumColors(Concat({InfoHeader({1, 1, 24})}).data()), 0);
}

// --- Saving and reading files ------------------------------------------------

TEST(Dib, SaveDibWritesTheFileHeaderAndStoresTheImageSize) {
    Handle dib(CreateDIB(3, 2, 24));
    const Bytes file = SavedFile(MemGetPtr(dib.get()));
    ASSERT_EQ(file.size(), 54u + 24u);
    EXPECT_EQ(Slice(file, 0, 14), ByteWriter().U16(0x4D42).U32(78).U32(0).U32(54).bytes);
    EXPECT_EQ(At32(Contents(dib.get()), 20), 24u);
    EXPECT_EQ(Slice(file, 14, 64), Contents(dib.get()));

    Bytes paletted = Concat(
        {InfoHeader({5, -2, 8, 20}), Table(20), Rows(8, 2, [](uint32_t i, uint32_t y) { return uint8_t(i + y); })});
    const Bytes topDown = SavedFile(paletted.data());
    EXPECT_EQ(At32(topDown, 2), 14u + 40 + 80 + 16);
    EXPECT_EQ(At32(topDown, 10), 54u + 80);
    EXPECT_EQ(At32(paletted, 20), 16u);  // the rows of |height|, not of -2 seen as unsigned

    Bytes rle = Concat({InfoHeader({4, 2, 8, 2, BI_RLE8, 6}), Table(2), Bytes{4, 1, 0, 0, 0, 1}});
    const Bytes rleFile = SavedFile(rle.data());
    EXPECT_EQ(rleFile.size(), 14u + 40 + 8 + 6);
    EXPECT_EQ(At32(rle, 20), 6u);
}

TEST(Dib, SaveDibRefusesWhatItCannotWrite) {
    Bytes core = Concat({CoreHeader(2, 2, 24), Bytes(16, 0)});
    Bytes bitfields = Concat({InfoHeader({2, 2, 16, 0, BI_BITFIELDS}), Bytes(28, 0)});
    Bytes noWidth = Concat({InfoHeader({0, 2, 24})});
    for (void* dib : {static_cast<void*>(nullptr), static_cast<void*>(core.data()),
                      static_cast<void*>(bitfields.data()), static_cast<void*>(noWidth.data())}) {
        zr_gen::MemFile memory;
        EXPECT_EQ(SaveDIB(dib, memory), 0);
        EXPECT_EQ(memory.GetLength(), 0u);
    }
}

TEST(Dib, SaveDibLetsWriteErrorsThrough) {
    testsupport::TempDir folder;
    zr_gen::CFile file;
    file.Open(folder.File("full.bmp").c_str(), zr_gen::CFile::kCreate | zr_gen::CFile::kModeReadWrite);
    Handle dib(CreateDIB(3, 2, 24));
    platform::FaultInjector injector;
    platform::ScopedFaultInjector scope(injector);
    injector.FailNth(platform::FaultOp::Write, 2, ERROR_DISK_FULL);
    const Caught caught = testsupport::Catch([&] { SaveDIB(MemGetPtr(dib.get()), file); });
    EXPECT_EQ(caught.kind, Caught::Kind::FileException);
    EXPECT_EQ(caught.cause, zr_gen::CFileException::diskFull);
}

TEST(Dib, ReadDibFileReadsBackWhatSaveDibWrote) {
    Bytes dib = Concat(
        {InfoHeader({5, 3, 4}), Table(16), Rows(4, 3, [](uint32_t i, uint32_t y) { return uint8_t(i * 16 + y); })});
    const Bytes file = SavedFile(dib.data());
    Handle read(ReadFromBytes(file));
    ASSERT_TRUE(read);
    EXPECT_EQ(Contents(read.get()), dib);
    // Bytes after the pixels stay with the DIB; the pixel offset is not used.
    Bytes longer = BmpFile(Concat({dib, Bytes{1, 2, 3}}), 999);
    Handle withTail(ReadFromBytes(longer));
    ASSERT_TRUE(withTail);
    EXPECT_EQ(MemGetSize(withTail.get()), dib.size() + 3);
}

TEST(Dib, ReadDibFileAcceptsEveryFormItDescribes) {
    const Bytes cases[] = {
        Concat({InfoHeader({3, -2, 24}), Bytes(24, 9)}),              // top-down
        Concat({CoreHeader(3, 2, 4), Table(16, 3), Bytes(8, 0x12)}),  // core header, RGBTRIPLE
        Concat({CoreHeader(1, 1, 24), Bytes(4, 0)}),
        Concat({InfoHeader({4, 2, 8, 2, BI_RLE8, 6}), Table(2), Bytes{4, 1, 0, 0, 0, 1}}),
        Concat({InfoHeader({4, 2, 4, 0, BI_RLE4, 2}), Table(16), Bytes{0, 1}}),
        Concat({InfoHeader({2, 1, 32, 256}), Table(256), Bytes(8, 0)}),  // 256 entries before 32-bit rows
        Concat({InfoHeader({1, 1, 16}), Bytes(4, 0)}),
    };
    for (const Bytes& dib : cases) {
        Handle read(ReadFromBytes(BmpFile(dib)));
        ASSERT_TRUE(read) << dib.size();
        EXPECT_EQ(Contents(read.get()), dib);
    }
}

// Damaged and hostile files give null, and never a read outside the bytes
// the file holds (the sanitizers watch) nor a block beyond its length.
TEST(Dib, ReadDibFileRefusesDamagedFiles) {
    const Bytes good = Concat({InfoHeader({5, 3, 8, 4}), Table(4), Bytes(24, 1)});
    auto with = [&](size_t offset, uint32_t value) {
        Bytes bytes = good;
        zr_gen::StoreLE32(bytes.data() + offset, value);
        return BmpFile(bytes);
    };
    const Bytes goodFile = BmpFile(good);
    Bytes notBm = goodFile;
    notBm[0] = 'M';
    notBm[1] = 'B';
    const struct {
        const char* name;
        Bytes file;
    } cases[] = {
        {"empty", {}},
        {"shorter than the file header", Slice(goodFile, 0, 13)},
        {"file header alone", Slice(goodFile, 0, 14)},
        {"not BM", notBm},
        {"header cut", Slice(goodFile, 0, 14 + 30)},
        {"size field cut", Slice(goodFile, 0, 16)},
        {"last pixel byte missing", Slice(goodFile, 0, goodFile.size() - 1)},
        {"header size 0", with(0, 0)},
        {"header size 41", with(0, 41)},
        {"header size 64 (longer header form)", with(0, 64)},
        {"header size beyond the file", with(0, 0xFFFFFFF0u)},
        {"width 0", with(4, 0)},
        {"width negative", with(4, 0xFFFFFFFFu)},
        {"huge width", with(4, 0x7FFFFFFF)},
        {"height 0", with(8, 0)},
        {"height -2^31", with(8, 0x80000000u)},
        {"huge top-down height", with(8, 0x80000001u)},
        {"rows beyond the file", with(8, 1000)},
        {"bit count 0", with(12, 0x00000001)},
        {"bit count 7", with(12, 0x00070001)},
        {"bit count 64", with(12, 0x00400001)},
        {"colour table beyond the file", with(32, 200)},
        {"colour count beyond 256", with(32, 257)},
        {"colour count beyond 16 bits", with(32, 0x10004)},
        {"bitfields", with(16, BI_BITFIELDS)},
        {"unknown compression", with(16, 9)},
        {"RLE of another depth", with(16, BI_RLE4)},
        {"RLE without image size", with(16, BI_RLE8)},
        {"full table missing", BmpFile(Concat({InfoHeader({5, 3, 8}), Table(4), Bytes(24, 1)}))},
        {"core width 0", BmpFile(Concat({CoreHeader(0, 2, 24), Bytes(16, 0)}))},
        {"core 32-bit", BmpFile(Concat({CoreHeader(1, 1, 32), Bytes(4, 0)}))},
        {"core table beyond the file", BmpFile(Concat({CoreHeader(1, 1, 8), Table(100, 3), Bytes(4, 0)}))},
        {"core header cut", BmpFile(ByteWriter().U32(12).U16(1).U16(1).bytes)},
    };
    Bytes rle = Concat({InfoHeader({4, 2, 8, 2, BI_RLE8, 7}), Table(2), Bytes{4, 1, 0, 0, 0, 1}});
    Bytes rleTopDown = Concat({InfoHeader({4, -2, 8, 2, BI_RLE8, 6}), Table(2), Bytes{4, 1, 0, 0, 0, 1}});
    for (const auto& c : cases) EXPECT_EQ(ReadFromBytes(c.file), nullptr) << c.name;
    EXPECT_EQ(ReadFromBytes(BmpFile(rle)), nullptr) << "RLE image size beyond the file";
    EXPECT_EQ(ReadFromBytes(BmpFile(rleTopDown)), nullptr) << "top-down RLE";
}

TEST(Dib, ReadDibFileRefusesAFileNoDrawingCanFillWithoutAllocating) {
    testsupport::TempDir folder;
    zr_gen::CFile file;
    file.Open(folder.File("huge.bmp").c_str(), zr_gen::CFile::kCreate | zr_gen::CFile::kModeReadWrite);
    const Bytes start = BmpFile(InfoHeader({16384, 16384, 32}));
    file.Write(start.data(), static_cast<uint32_t>(start.size()));
    file.SetLength(0x7FFFFFFF);  // sparse
    file.SeekToBegin();
    platform::FaultInjector injector;
    platform::ScopedFaultInjector scope(injector);
    EXPECT_EQ(ReadDIBFile(file), nullptr);
    EXPECT_EQ(injector.Seen(platform::FaultOp::Alloc), 0u);
}

TEST(Dib, ReadFailuresAreLoggedAndGiveNull) {
    testsupport::TempDir folder;
    const Bytes bytes = BmpFile(Concat({InfoHeader({3, 2, 24}), Bytes(24, 5)}));
    testsupport::WriteFileBytes(folder.path() / "a.bmp", bytes);
    for (const uint32_t failingRead : {1u, 2u}) {
        zr_gen::CFile file;
        file.Open(folder.File("a.bmp").c_str(), zr_gen::CFile::kModeRead);
        testsupport::LogTail tail;
        platform::FaultInjector injector;
        platform::ScopedFaultInjector scope(injector);
        injector.FailNth(platform::FaultOp::Read, failingRead, ERROR_READ_FAULT);
        EXPECT_EQ(ReadDIBFile(file), nullptr);
        const auto lines = tail.Lines();
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back().rfind("Exception File IO read error in file Dib.cpp line ", 0), 0u) << lines.back();
    }
    // Read from one byte in, the file holds one byte less than its length
    // promises: a file object's short read raises, a memory file's is short.
    Bytes shifted = Concat({Bytes{0}, bytes});
    testsupport::WriteFileBytes(folder.path() / "b.bmp", shifted);
    zr_gen::CFile file;
    file.Open(folder.File("b.bmp").c_str(), zr_gen::CFile::kModeRead);
    file.Seek(1, zr_gen::CFile::kBegin);
    testsupport::LogTail tail;
    EXPECT_EQ(ReadDIBFile(file), nullptr);
    EXPECT_EQ(tail.Lines().back().rfind("Exception File IO read error", 0), 0u);
    zr_gen::MemFile memory(shifted.data(), static_cast<uint32_t>(shifted.size()), 0);
    memory.Seek(1, zr_gen::CFile::kBegin);
    EXPECT_EQ(ReadDIBFile(memory), nullptr);
    ForEachAllocationFailure([&] { return Handle(ReadFromBytes(bytes)) != nullptr; });
}

// --- Reshaping ---------------------------------------------------------------

TEST(Dib, ShrinkDibOfAUniformPictureKeepsItsColour) {
    const struct {
        uint32_t width, height;
        uint16_t newWidth, newHeight;
        uint32_t color;
    } cases[] = {{7, 5, 3, 2, 0xFFFFFF}, {7, 5, 3, 2, 0x000000}, {10, 3, 7, 3, 0x010203},   {13, 11, 5, 4, 0x80FF7F},
                 {5, 5, 5, 5, 0xC0DCC0}, {9, 1, 1, 1, 0xFEFDFC}, {31, 17, 30, 16, 0xA6CAF0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        Handle source = ToHandle(Dib24(c.width, c.height, [&](uint32_t, uint32_t) { return c.color; }));
        MemHandle sourceHandle = source.get();
        Handle result(ShrinkDIB(sourceHandle, c.newWidth, c.newHeight));
        ASSERT_TRUE(result);
        const Bytes bytes = Contents(result.get());
        ASSERT_EQ(bytes.size(), 40 + c.newHeight * RowSize(24, c.newWidth));
        EXPECT_EQ(DIBWidth(bytes.data()), c.newWidth);
        EXPECT_EQ(DIBHeight(bytes.data()), c.newHeight);
        for (uint32_t y = 0; y < c.newHeight; ++y) {
            for (uint32_t x = 0; x < c.newWidth; ++x) ASSERT_EQ(Pixel24(bytes, x, y), c.color) << x << "," << y;
        }
    }
}

TEST(Dib, ShrinkDibAveragesAndRoundsHalvesUp) {
    const uint32_t picture[4][4] = {{0x000001, 0x010000, 0x020201, 0x010102},
                                    {0x000001, 0x010000, 0x020101, 0x010103},
                                    {0x0A0000, 0x00000A, 0xFFFFFF, 0xFEFEFE},
                                    {0x0A0000, 0x00000C, 0xFFFFFF, 0xFFFFFF}};
    Handle source = ToHandle(Dib24(4, 4, [&](uint32_t x, uint32_t y) { return picture[y][x]; }));
    const Bytes before = Contents(source.get());
    MemHandle handle = source.get();
    Handle result(ShrinkDIB(handle, 2, 2));
    ASSERT_TRUE(result);
    const Bytes bytes = Contents(result.get());
    EXPECT_EQ(Pixel24(bytes, 0, 0), 0x010001u);  // red and blue 2/4 = 0.5 go up
    EXPECT_EQ(Pixel24(bytes, 1, 0), 0x020102u);  // red 6/4 = 1.5, green 5/4, blue 7/4
    EXPECT_EQ(Pixel24(bytes, 0, 1), 0x050006u);  // red 20/4, blue 22/4 = 5.5
    EXPECT_EQ(Pixel24(bytes, 1, 1), 0xFFFFFFu);  // 1019/4 = 254.75
    EXPECT_EQ(Contents(source.get()), before);
}

TEST(Dib, ShrinkDibSplitsPixelsBetweenResultPixels) {
    // 3 -> 2: the middle pixel is shared half and half; the scale is 2/3.
    const uint32_t row[3] = {0x000000, 0x646464, 0xC8C8C8};
    Handle wide = ToHandle(Dib24(3, 1, [&](uint32_t x, uint32_t) { return row[x]; }));
    Handle tall = ToHandle(Dib24(1, 3, [&](uint32_t, uint32_t y) { return row[2 - y]; }));  // bottom row first
    Handle tallTopDown = ToHandle(Dib24(
        1, 3, [&](uint32_t, uint32_t y) { return row[2 - y]; }, true));
    MemHandle handles[] = {wide.get(), tall.get(), tallTopDown.get()};
    Handle fromWide(ShrinkDIB(handles[0], 2, 1));
    Handle fromTall(ShrinkDIB(handles[1], 1, 2));
    Handle fromTopDown(ShrinkDIB(handles[2], 1, 2));
    ASSERT_TRUE(fromWide && fromTall && fromTopDown);
    EXPECT_EQ(Pixel24(Contents(fromWide.get()), 0, 0), 0x212121u);  // 50 x 2/3 = 33.3
    EXPECT_EQ(Pixel24(Contents(fromWide.get()), 1, 0), 0xA7A7A7u);  // 250 x 2/3 = 166.7
    EXPECT_EQ(Pixel24(Contents(fromTall.get()), 0, 0), 0xA7A7A7u);  // the top holds the bright end
    EXPECT_EQ(Pixel24(Contents(fromTall.get()), 0, 1), 0x212121u);
    EXPECT_EQ(Contents(fromTopDown.get()), Contents(fromTall.get()));  // bottom-up, the same picture
}

TEST(Dib, ShrinkDibRefusesWhatItCannotShrink) {
    const Bytes dib = Dib24(4, 3, [](uint32_t x, uint32_t y) { return x * y; });
    const struct {
        const char* name;
        Bytes source;
        uint16_t width, height;
    } cases[] = {
        {"wider", dib, 5, 3},
        {"higher", dib, 4, 4},
        {"width 0", dib, 0, 2},
        {"height 0", dib, 2, 0},
        {"8-bit", Concat({InfoHeader({4, 3, 8}), Table(256), Bytes(12, 0)}), 2, 2},
        {"block shorter than the rows", Slice(dib, 0, dib.size() - 1), 2, 2},
        {"block shorter than the header", Slice(dib, 0, 3), 1, 1},
        {"width beyond 16 bits", Concat({InfoHeader({65536, 1, 24}), Bytes(RowSize(24, 65536), 0)}), 1, 1},
    };
    for (const auto& c : cases) {
        Handle source = ToHandle(c.source);
        MemHandle handle = source.get();
        EXPECT_EQ(ShrinkDIB(handle, c.width, c.height), nullptr) << c.name;
    }
    MemHandle none = nullptr;
    EXPECT_EQ(ShrinkDIB(none, 1, 1), nullptr);
    Handle source = ToHandle(dib);
    ForEachAllocationFailure([&] {
        MemHandle handle = source.get();
        return Handle(ShrinkDIB(handle, 3, 2)) != nullptr;
    });
}

// An 8-bit 5 x 4 DIB whose pixel at (x, y from the top) is 16 y + x.
Bytes Dib8(bool topDown) {
    const Bytes rows = Rows(8, 4, [&](uint32_t i, uint32_t memoryRow) {
        return static_cast<uint8_t>(16 * (topDown ? memoryRow : 3 - memoryRow) + i);
    });
    return Concat({InfoHeader({5, topDown ? -4 : 4, 8, 20}), Table(20), rows});
}

TEST(Dib, ClipDibKeepsTheTopLeftPart) {
    for (const bool topDown : {false, true}) {
        SCOPED_TRACE(topDown ? "top-down" : "bottom-up");
        Bytes source = Dib8(topDown);
        Handle clipped(ClipDIB(source.data(), 3, 2));
        ASSERT_TRUE(clipped);
        Bytes expectedHeader = Slice(source, 0, 40);
        zr_gen::StoreLE32(expectedHeader.data() + 4, 3);
        zr_gen::StoreLE32(expectedHeader.data() + 8, topDown ? uint32_t(-2) : 2u);
        zr_gen::StoreLE32(expectedHeader.data() + 20, 8);
        // The upper half, rows cut to the new padded length of 4 bytes.
        const Bytes upper = topDown ? Bytes{0, 1, 2, 3, 16, 17, 18, 19} : Bytes{16, 17, 18, 19, 0, 1, 2, 3};
        EXPECT_EQ(Contents(clipped.get()), Concat({expectedHeader, Table(20), upper}));
    }
    Bytes source = Dib8(false);
    Handle same(ClipDIB(source.data(), 5, 4));
    ASSERT_TRUE(same);
    Bytes withImageSize = source;
    zr_gen::StoreLE32(withImageSize.data() + 20, 32);
    EXPECT_EQ(Contents(same.get()), withImageSize);
}

TEST(Dib, ResizeDibPutsThePictureTopLeftOnWhite) {
    for (const bool topDown : {false, true}) {
        SCOPED_TRACE(topDown ? "top-down" : "bottom-up");
        Bytes source = Dib24(
            3, 2, [](uint32_t x, uint32_t y) { return 0x100000 * (x + 1) + y; }, topDown);
        Handle resized(ResizeDIB(source.data(), 5, 4));
        ASSERT_TRUE(resized);
        const Bytes bytes = Contents(resized.get());
        ASSERT_EQ(bytes.size(), 40u + 4 * 16);
        EXPECT_EQ(At32(bytes, 4), 5u);
        EXPECT_EQ(static_cast<int32_t>(At32(bytes, 8)), topDown ? -4 : 4);
        EXPECT_EQ(At32(bytes, 20), 64u);
        for (uint32_t y = 0; y < 4; ++y) {
            for (uint32_t x = 0; x < 5; ++x) {
                const uint32_t expected = x < 3 && y < 2 ? Pixel24(source, x, y) : 0xFFFFFF;
                EXPECT_EQ(Pixel24(bytes, x, y), expected) << x << "," << y;
            }
        }
    }
    // A 1-bit row copies its whole bytes, (bits x width + 7) / 8 of them.
    Bytes mono = Concat({InfoHeader({3, 1, 1}), Table(2), Bytes{0xA5, 0x11, 0x22, 0x33}});
    Handle wider(ResizeDIB(mono.data(), 20, 1));
    ASSERT_TRUE(wider);
    EXPECT_EQ(Slice(Contents(wider.get()), 48, 4), (Bytes{0xA5, 0xFF, 0xFF, 0xFF}));
}

TEST(Dib, ClipAndResizeRefuseWhatTheyCannotReshape) {
    Bytes dib = Dib8(false);
    Bytes core = Concat({CoreHeader(5, 4, 8), Table(256, 3), Bytes(32, 0)});
    Bytes rle = Concat({InfoHeader({4, 2, 8, 2, BI_RLE8, 6}), Table(2), Bytes{4, 1, 0, 0, 0, 1}});
    const struct {
        const char* name;
        void* dib;
        int32_t width, height;
        bool clip;
    } cases[] = {
        {"clip wider", dib.data(), 6, 4, true},      {"clip higher", dib.data(), 5, 5, true},
        {"clip width 0", dib.data(), 0, 4, true},    {"clip negative", dib.data(), 3, -1, true},
        {"clip core", core.data(), 2, 2, true},      {"clip RLE", rle.data(), 2, 1, true},
        {"clip null", nullptr, 1, 1, true},          {"resize same", dib.data(), 5, 4, false},
        {"resize smaller", dib.data(), 4, 3, false}, {"resize narrower", dib.data(), 4, 9, false},
        {"resize lower", dib.data(), 9, 3, false},   {"resize negative", dib.data(), 9, -4, false},
        {"resize core", core.data(), 9, 9, false},   {"resize RLE", rle.data(), 9, 9, false},
        {"resize null", nullptr, 9, 9, false},       {"resize beyond 32 bits", dib.data(), 0x7FFFFFFF, 4, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.clip ? ClipDIB(c.dib, c.width, c.height) : ResizeDIB(c.dib, c.width, c.height), nullptr) << c.name;
    }
    ForEachAllocationFailure([&] {
        Handle clipped(ClipDIB(dib.data(), 2, 2));
        Handle resized(ResizeDIB(dib.data(), 9, 9));
        return clipped != nullptr && resized != nullptr;
    });
}

// --- Palettes ----------------------------------------------------------------

// The halftone table built afresh: system colours, the cube over six levels
// (blue slowest) less three colours, greys, system colours.
std::vector<uint32_t> ExpectedHalftone() {
    std::vector<uint32_t> table = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080,
                                   0x800080, 0x008080, 0xC0C0C0, 0xC0DCC0, 0xA6CAF0};
    const uint32_t levels[6] = {0x00, 0x2C, 0x56, 0x87, 0xC0, 0xFF};
    std::vector<uint32_t> cube;
    for (uint32_t i = 0; i < 216; ++i) cube.push_back(levels[i % 6] << 16 | levels[i / 6 % 6] << 8 | levels[i / 36]);
    std::erase_if(cube, [](uint32_t c) { return c == 0x000000 || c == 0xC0C0C0 || c == 0x00FFFF; });
    EXPECT_EQ(cube.size(), 213u);
    table.insert(table.end(), cube.begin(), cube.end());
    for (const uint32_t grey : {0x11, 0x18, 0x1E, 0x25, 0x2C, 0x34, 0x3C, 0x44, 0x4D, 0x56, 0x5F, 0x69,
                                0x72, 0x7D, 0x92, 0x9D, 0xA8, 0xB4, 0xCC, 0xD8, 0xE5, 0xF2, 0xFF}) {
        table.push_back(grey * 0x010101);
    }
    for (const uint32_t c :
         {0xFFFBF0, 0xA0A0A4, 0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF}) {
        table.push_back(c);
    }
    return table;
}

TEST(Dib, HalftonePaletteHasTheStandardTable) {
    const std::vector<uint32_t> full = ExpectedHalftone();
    ASSERT_EQ(full.size(), 256u);
    std::vector<uint32_t> sixteen(full.begin(), full.begin() + 8);
    sixteen.insert(sixteen.end(), full.end() - 8, full.end());
    const struct {
        int32_t wanted;
        std::vector<uint32_t> colors;
    } cases[] = {{0, full},
                 {1, {0x000000, 0xFFFFFF}},
                 {2, {0x000000, 0xFFFFFF}},
                 {3, sixteen},
                 {16, sixteen},
                 {17, full},
                 {256, full},
                 {257, full},
                 {-1, full}};
    for (const auto& c : cases) {
        const HPALETTE palette = CreateHalftonePalette(nullptr, c.wanted);
        ASSERT_NE(palette, nullptr);
        EXPECT_EQ(PaletteColors(palette), c.colors) << c.wanted;
        DeleteObject(palette);
    }
    const HPALETTE palette = CreateHalftonePalette(nullptr, 0);
    EXPECT_EQ(PaletteColors(palette)[1], 0x800000u);
    EXPECT_EQ(PaletteColors(palette)[9], 0xA6CAF0u);
    DeleteObject(palette);
}

TEST(Dib, DibPaletteFollowsTheColourTable) {
    const Bytes info = Concat({InfoHeader({1, 1, 8, 20}), Table(20), Bytes(4, 0)});
    const Bytes core = Concat({CoreHeader(1, 1, 4), Table(16, 3), Bytes(4, 0)});
    const Bytes direct = Concat({InfoHeader({1, 1, 24}), Bytes(4, 0)});
    auto tableColors = [](uint32_t count) {
        std::vector<uint32_t> colors;
        for (uint32_t i = 0; i < count; ++i) colors.push_back(i << 16 | (255 - i) << 8 | ((i * 7) & 0xFF));
        return colors;
    };
    const struct {
        const Bytes* dib;
        std::vector<uint32_t> colors;
    } cases[] = {{&info, tableColors(20)}, {&core, tableColors(16)}, {&direct, ExpectedHalftone()}};
    for (const auto& c : cases) {
        HPALETTE palette = nullptr;
        EXPECT_NE(CreateDIBPalette(c.dib->data(), &palette), 0);
        EXPECT_EQ(PaletteColors(palette), c.colors);
        DeleteObject(palette);
    }
    HPALETTE untouched = nullptr;
    EXPECT_EQ(CreateDIBPalette(nullptr, &untouched), 0);
    ForEachAllocationFailure(
        [&] {
            bool all = true;
            for (const auto& c : cases) {
                HPALETTE palette = nullptr;
                const bool made = CreateDIBPalette(c.dib->data(), &palette) != 0;
                EXPECT_EQ(made, palette != nullptr);
                if (palette != nullptr) DeleteObject(palette);
                all = all && made;
            }
            return all;
        },
        /*someAreSpared=*/true);  // the screen context the halftone palette does not use
}

class DibScreen : public ::testing::Test {
protected:
    void TearDown() override { platform::SetScreenDepth(16); }
};

TEST_F(DibScreen, PalEntriesOnDeviceIsTwoToTheScreensDepth) {
    const struct {
        int depth;
        int32_t entries;
    } cases[] = {{1, 2}, {4, 16}, {8, 256}, {16, 65536}, {24, 16777216}};
    const HDC screen = GetDC(nullptr);
    for (const auto& c : cases) {
        ASSERT_TRUE(platform::SetScreenDepth(c.depth));
        EXPECT_EQ(PalEntriesOnDevice(screen), c.entries) << c.depth;
    }
    ASSERT_TRUE(platform::SetScreenDepth(32));
    testsupport::LogTail tail;
    EXPECT_EQ(PalEntriesOnDevice(screen), 0);
    ASSERT_EQ(tail.Lines().size(), 1u);
    EXPECT_EQ(tail.Lines()[0].rfind("Assertion Failed! File Dib.cpp", 0), 0u);
    ReleaseDC(nullptr, screen);
}

// --- CDib --------------------------------------------------------------------

TEST(Dib, CDibHoldsADuplicateWithItsSizeAndPalette) {
    Handle mine(CreateDIB(5, 3, 8));
    MemHandle handle = mine.get();
    CDib held;
    EXPECT_EQ(held.GetHDIB(), nullptr);
    held.ReplaceHDIB(handle);
    ASSERT_NE(held.GetHDIB(), nullptr);
    EXPECT_NE(held.GetHDIB(), mine.get());
    EXPECT_EQ(Contents(held.GetHDIB()), Contents(mine.get()));
    EXPECT_EQ(held.GetSize().cx, 5);
    EXPECT_EQ(held.GetSize().cy, 3);
    EXPECT_EQ(GetPaletteEntries(held.GetPalette(), 0, 0, nullptr), 256u);
    MemHandle own = held.GetHDIB();
    held.ReplaceHDIB(own);  // its own block: duplicated before it is freed
    EXPECT_EQ(Contents(held.GetHDIB()), Contents(mine.get()));

    Handle taken(held.GetHDIB());
    held.DetachDib();
    EXPECT_EQ(held.GetHDIB(), nullptr);
    EXPECT_EQ(held.GetPalette(), nullptr);
    EXPECT_EQ(held.GetSize().cx, 0);
    EXPECT_EQ(Contents(taken.get()), Contents(mine.get()));
    MemHandle none = nullptr;
    held.ReplaceHDIB(handle);
    held.ReplaceHDIB(none);
    EXPECT_EQ(held.GetHDIB(), nullptr);
}

TEST(Dib, CDibRefusesDibsItCannotHold) {
    const struct {
        const char* name;
        Bytes dib;
        std::u16string message;
    } cases[] = {
        {"top-down", Concat({InfoHeader({2, -2, 24}), Bytes(16, 0)}), u"The image is too big"},
        {"width with the top bit", Concat({InfoHeader({int32_t(0x80000001u), 2, 24}), Bytes(16, 0)}),
         u"The image is too big"},
        {"rows beyond the block", Concat({InfoHeader({2, 2, 24}), Bytes(15, 0)}), u"Cannot load DIB"},
        {"header beyond the block", Bytes{40, 0, 0, 0, 2, 0}, u"Cannot load DIB"},
        {"width 0", Concat({InfoHeader({0, 2, 24})}), u"Cannot load DIB"},
    };
    for (const auto& c : cases) {
        Handle mine = ToHandle(c.dib);
        MemHandle handle = mine.get();
        CDib held;
        const Caught caught = testsupport::Catch([&] { held.ReplaceHDIB(handle); });
        EXPECT_EQ(caught.kind, Caught::Kind::DBException) << c.name;
        EXPECT_EQ(caught.text, c.message) << c.name;
        EXPECT_EQ(caught.number, 0xFFFFFFFFu) << c.name;
        EXPECT_EQ(held.GetHDIB(), nullptr) << c.name;
    }
    Handle mine(CreateDIB(2, 2, 24));
    MemHandle handle = mine.get();
    CDib held;
    platform::FaultInjector injector;
    platform::ScopedFaultInjector scope(injector);
    injector.FailNth(platform::FaultOp::Alloc, 1, ERROR_NOT_ENOUGH_MEMORY);
    const Caught caught = testsupport::Catch([&] { held.ReplaceHDIB(handle); });
    EXPECT_EQ(caught.text, u"Out of memory");
    EXPECT_EQ(held.GetHDIB(), nullptr);
}

TEST(Dib, CDibLoadsFilesAndRaisesCannotLoadDib) {
    testsupport::TempDir folder;
    const Bytes dib = Concat({InfoHeader({3, 2, 24, 0, 0, 24}), Bytes(24, 0x42)});
    testsupport::WriteFileBytes(folder.path() / "good.bmp", BmpFile(dib));
    testsupport::WriteFileBytes(folder.path() / "bad.bmp", Bytes(60, 'x'));
    CDib held;
    EXPECT_EQ(held.LoadDIBFile(folder.File("good.bmp").c_str()), 1);
    EXPECT_EQ(Contents(held.GetHDIB()), dib);
    EXPECT_EQ(held.GetSize().cx, 3);
    EXPECT_NE(held.GetPalette(), nullptr);

    testsupport::LogTail tail;
    EXPECT_EQ(held.LoadDIBFile(folder.File("missing.bmp").c_str()), 0);
    ASSERT_FALSE(tail.Lines().empty());
    EXPECT_EQ(tail.Lines().back().rfind("Exception ", 0), 0u) << tail.Lines().back();
    EXPECT_EQ(Contents(held.GetHDIB()), dib);  // a file that cannot be opened changes nothing

    const Caught caught = testsupport::Catch([&] { held.LoadDIBFile(folder.File("bad.bmp").c_str()); });
    EXPECT_EQ(caught.kind, Caught::Kind::DBException);
    EXPECT_EQ(caught.text, u"Cannot load DIB");
    EXPECT_EQ(caught.number, 0xFFFFFFFFu);
    EXPECT_EQ(held.GetHDIB(), nullptr);
    EXPECT_EQ(held.GetPalette(), nullptr);
}

TEST(Dib, CDibSavesFilesAndNeverThrows) {
    testsupport::TempDir folder;
    const std::u16string path = folder.File("saved.bmp");
    CDib held;
    EXPECT_EQ(held.SaveDIBFile(path.c_str()), 0);
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "saved.bmp"));  // nothing held, nothing created

    Handle mine(CreateDIB(3, 2, 4));
    MemHandle handle = mine.get();
    held.ReplaceHDIB(handle);
    EXPECT_EQ(held.SaveDIBFile(path.c_str()), 1);
    EXPECT_EQ(testsupport::ReadFileBytes(folder.path() / "saved.bmp"), SavedFile(MemGetPtr(handle)));

    testsupport::LogTail tail;
    EXPECT_EQ(held.SaveDIBFile(folder.File("no/such/folder.bmp").c_str()), 0);
    ASSERT_FALSE(tail.Lines().empty());
    EXPECT_NE(tail.Lines().back().find(" in file Dib.cpp line "), std::string::npos) << tail.Lines().back();
    EXPECT_EQ(tail.Lines().back().rfind("Exception ", 0), 0u);

    for (const platform::FaultOp op : {platform::FaultOp::Write, platform::FaultOp::Alloc}) {
        for (uint32_t n = 1; n <= 4; ++n) {
            platform::FaultInjector injector;
            platform::ScopedFaultInjector scope(injector);
            injector.FailNth(op, n, op == platform::FaultOp::Write ? ERROR_DISK_FULL : ERROR_NOT_ENOUGH_MEMORY);
            int32_t result = -1;
            EXPECT_NO_THROW(result = held.SaveDIBFile(path.c_str()));
            EXPECT_EQ(result, injector.Fired(op) ? 0 : 1) << n;
        }
    }

    // A core header is refused before the file is opened, which keeps it.
    Handle core = ToHandle(Concat({CoreHeader(1, 1, 24), Bytes(4, 0)}));
    MemHandle coreHandle = core.get();
    held.ReplaceHDIB(coreHandle);
    const Bytes before = testsupport::ReadFileBytes(folder.path() / "saved.bmp");
    EXPECT_EQ(held.SaveDIBFile(path.c_str()), 0);
    EXPECT_EQ(testsupport::ReadFileBytes(folder.path() / "saved.bmp"), before);
}

}  // namespace
