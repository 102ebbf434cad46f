#include "notestore/drawings/Dib.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <memory>

#include "notestore/foundation/ByteOrder.h"
#include "notestore/foundation/Exception.h"
#include "notestore/foundation/File.h"
#include "notestore/foundation/Messages.h"
#include "platform/Memory.h"

namespace {

const uint8_t* Bytes(const void* dib) { return static_cast<const uint8_t*>(dib); }

// Field offsets of the two header forms.
constexpr uint32_t kInfoWidthAt = 4;
constexpr uint32_t kInfoHeightAt = 8;
constexpr uint32_t kInfoPlanesAt = 12;
constexpr uint32_t kInfoBitCountAt = 14;
constexpr uint32_t kInfoCompressionAt = 16;
constexpr uint32_t kInfoSizeImageAt = 20;
constexpr uint32_t kInfoColorsUsedAt = 32;
constexpr uint32_t kCoreWidthAt = 4;
constexpr uint32_t kCoreHeightAt = 6;
constexpr uint32_t kCoreBitCountAt = 10;

uint32_t HeaderSize(const void* dib) { return zr_gen::LoadLE32(Bytes(dib)); }

}  // namespace

MemHandle CopyHandle(MemHandle handle) { return handle == nullptr ? nullptr : MemDuplicate(handle); }

bool IsInfoHeader(const void* dib) { return HeaderSize(dib) == kInfoHeaderSize; }

uint32_t DIBWidth(const void* dib) {
    return IsInfoHeader(dib) ? zr_gen::LoadLE32(Bytes(dib) + kInfoWidthAt)
                             : zr_gen::LoadLE16(Bytes(dib) + kCoreWidthAt);
}

uint32_t DIBHeight(const void* dib) {
    return IsInfoHeader(dib) ? zr_gen::LoadLE32(Bytes(dib) + kInfoHeightAt)
                             : zr_gen::LoadLE16(Bytes(dib) + kCoreHeightAt);
}

uint16_t DIBBitCount(const void* dib) {
    return zr_gen::LoadLE16(Bytes(dib) + (IsInfoHeader(dib) ? kInfoBitCountAt : kCoreBitCountAt));
}

uint16_t DIBNumColors(const void* dib) {
    if (IsInfoHeader(dib)) {
        const uint32_t used = zr_gen::LoadLE32(Bytes(dib) + kInfoColorsUsedAt);
        if (used != 0) return static_cast<uint16_t>(used);
    }
    switch (DIBBitCount(dib)) {
        case 1: return 2;
        case 4: return 16;
        case 8: return 256;
        default: return 0;
    }
}

uint16_t PaletteSize(const void* dib) {
    return static_cast<uint16_t>(DIBNumColors(dib) * (IsInfoHeader(dib) ? sizeof(RGBQUAD) : 3));
}

uint8_t* FindDIBBits(void* dib) { return static_cast<uint8_t*>(dib) + HeaderSize(dib) + PaletteSize(dib); }

const uint8_t* FindDIBBits(const void* dib) { return Bytes(dib) + HeaderSize(dib) + PaletteSize(dib); }

namespace {

constexpr uint32_t kInfoColorsUsedLimit = 256;
constexpr uint32_t kCoreEntrySize = 3;  // RGBTRIPLE: blue, green, red
constexpr WORD kBmpType = 0x4D42;       // "BM"
constexpr WORD kPaletteVersion = 0x300;

// The largest DIB any bitmap of the device can hold: an info header, a full
// colour table and 32-bit rows of the most pixels a bitmap may have. A
// longer file is no drawing, and reading it would only exhaust the heap.
constexpr uint64_t kMaxDIBBytes =
    kInfoHeaderSize + kInfoColorsUsedLimit * sizeof(RGBQUAD) + 4 * platform::kMaxBitmapPixels;

struct FreeMemHandle {
    void operator()(void* handle) const { MemFree(handle); }
};
// A memory block handle this unit still owns.
using OwnedHandle = std::unique_ptr<void, FreeMemHandle>;

struct FreeHeapBytes {
    void operator()(void* block) const { platform::FreeBytes(block); }
};
// Scratch memory through the allocation seam, so that tests can fail it.
template <class T>
std::unique_ptr<T[], FreeHeapBytes> AllocateArray(size_t count) {
    return std::unique_ptr<T[], FreeHeapBytes>(static_cast<T*>(platform::AllocateBytes(count * sizeof(T))));
}

uint8_t* MutableBytes(void* dib) { return static_cast<uint8_t*>(dib); }

// Padded bytes of one row; 64 bits, so no width can overflow it.
uint64_t RowBytes(uint32_t bitCount, uint64_t width) { return (bitCount * width + 31) / 32 * 4; }

bool KnownDepth(uint16_t bitCount, bool infoHeader) {
    switch (bitCount) {
        case 1:
        case 4:
        case 8:
        case 24: return true;
        case 16:
        case 32: return infoHeader;
        default: return false;
    }
}

// Row `fromTop` of the picture, counted from its top row.
const uint8_t* PictureRow(const uint8_t* bits, const DIBLayout& layout, uint32_t fromTop) {
    const uint32_t inMemory = layout.topDown ? fromTop : layout.height - 1 - fromTop;
    return bits + static_cast<size_t>(inMemory) * layout.rowSize;
}

uint8_t* PictureRow(uint8_t* bits, const DIBLayout& layout, uint32_t fromTop) {
    return const_cast<uint8_t*>(PictureRow(static_cast<const uint8_t*>(bits), layout, fromTop));
}

// The layout of an uncompressed DIB with an info header, the only kind the
// reshaping functions can rebuild (they copy its header and RGBQUAD table).
bool DescribeReshapable(const void* dib, DIBLayout* layout) {
    return dib != nullptr && DescribeDIB(dib, kTrustedDIBSize, layout) && layout->headerSize == kInfoHeaderSize &&
           layout->compression == BI_RGB;
}

// A new DIB of `width` x `height` with `source`'s info header (that size,
// the source's row order, the computed image size) and colour table; every
// other byte is 0xFF. Null when it would not fit 32 bits or memory ran out.
OwnedHandle NewCanvas(const void* source, const DIBLayout& from, uint32_t width, uint32_t height, DIBLayout* to) {
    const uint64_t rowSize = RowBytes(from.bitCount, width);
    const uint64_t size = uint64_t{kInfoHeaderSize} + from.colorTableSize + rowSize * height;
    if (size > UINT32_MAX) return nullptr;
    OwnedHandle canvas(MemAlloc(static_cast<uint32_t>(size)));
    if (!canvas) return nullptr;
    *to = from;
    to->width = width;
    to->height = height;
    to->rowSize = static_cast<uint32_t>(rowSize);
    to->pixelSize = static_cast<uint32_t>(rowSize * height);
    uint8_t* bytes = static_cast<uint8_t*>(MemGetPtr(canvas.get()));
    std::memset(bytes, 0xFF, static_cast<size_t>(size));
    std::memcpy(bytes, source, kInfoHeaderSize + from.colorTableSize);
    zr_gen::StoreLE32(bytes + kInfoWidthAt, width);
    zr_gen::StoreLE32(bytes + kInfoHeightAt, from.topDown ? 0u - height : height);
    zr_gen::StoreLE32(bytes + kInfoSizeImageAt, to->pixelSize);
    return canvas;
}

// ClipDIB (`enlarge` false: the new size fits in the source's) and
// ResizeDIB (true: it holds the source's and is larger one way): a new
// canvas with the top rows of the picture copied into its top rows.
MemHandle Reshape(void* dib, int32_t newWidth, int32_t newHeight, bool enlarge) {
    DIBLayout from;
    if (!DescribeReshapable(dib, &from) || newWidth <= 0 || newHeight <= 0) return nullptr;
    const auto width = static_cast<uint32_t>(newWidth);
    const auto height = static_cast<uint32_t>(newHeight);
    const bool fits = enlarge
                          ? width >= from.width && height >= from.height && (width > from.width || height > from.height)
                          : width <= from.width && height <= from.height;
    if (!fits) return nullptr;
    DIBLayout to;
    OwnedHandle result = NewCanvas(dib, from, width, height, &to);
    if (!result) return nullptr;
    // A clipped row is filled whole from the longer source row; an enlarged
    // one takes the source's pixel bytes and keeps 0xFF beyond them.
    const uint32_t rows = enlarge ? from.height : height;
    const auto count = enlarge ? static_cast<uint32_t>((uint64_t{from.bitCount} * from.width + 7) / 8) : to.rowSize;
    const uint8_t* sourceBits = FindDIBBits(static_cast<const void*>(dib));
    uint8_t* targetBits = FindDIBBits(MemGetPtr(result.get()));
    for (uint32_t row = 0; row < rows; ++row) {
        std::memcpy(PictureRow(targetBits, to, row), PictureRow(sourceBits, from, row), count);
    }
    return result.release();
}

// A palette from `count` entries that `entryAt(i)` gives. The description is
// scratch memory, released before returning. Null when memory ran out or the
// palette could not be made.
template <class EntryAt>
HPALETTE MakePalette(uint16_t count, EntryAt entryAt) {
    const size_t entriesAt = offsetof(LOGPALETTE, palPalEntry);
    auto description = AllocateArray<uint8_t>(std::max(sizeof(LOGPALETTE), entriesAt + count * sizeof(PALETTEENTRY)));
    if (!description) return nullptr;
    auto* palette = reinterpret_cast<LOGPALETTE*>(description.get());
    palette->palVersion = kPaletteVersion;
    palette->palNumEntries = count;
    // The entries run on past the declared one-element array, where
    // CreatePalette reads them.
    auto* entries = reinterpret_cast<PALETTEENTRY*>(description.get() + entriesAt);
    for (uint16_t i = 0; i < count; ++i) entries[i] = entryAt(i);
    return CreatePalette(palette);
}

constexpr PALETTEENTRY Entry(uint32_t rgb) {
    return PALETTEENTRY{static_cast<BYTE>(rgb >> 16), static_cast<BYTE>(rgb >> 8), static_cast<BYTE>(rgb), 0};
}

// The standard halftone table: the system colours, the 6-level colour cube
// without the three colours the system ones already hold, a grey ramp, and
// the remaining system colours.
constexpr std::array<PALETTEENTRY, 256> MakeHalftoneTable() {
    constexpr uint32_t kFirst[] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080,
                                   0x800080, 0x008080, 0xC0C0C0, 0xC0DCC0, 0xA6CAF0};
    constexpr uint8_t kLevels[] = {0x00, 0x2C, 0x56, 0x87, 0xC0, 0xFF};
    constexpr uint8_t kGreys[] = {0x11, 0x18, 0x1E, 0x25, 0x2C, 0x34, 0x3C, 0x44, 0x4D, 0x56, 0x5F, 0x69,
                                  0x72, 0x7D, 0x92, 0x9D, 0xA8, 0xB4, 0xCC, 0xD8, 0xE5, 0xF2, 0xFF};
    constexpr uint32_t kLast[] = {0xFFFBF0, 0xA0A0A4, 0x808080, 0xFF0000, 0x00FF00,
                                  0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
    std::array<PALETTEENTRY, 256> table{};
    size_t next = 0;
    for (uint32_t rgb : kFirst) table[next++] = Entry(rgb);
    for (uint8_t blue : kLevels) {
        for (uint8_t green : kLevels) {
            for (uint8_t red : kLevels) {
                const uint32_t rgb = uint32_t{red} << 16 | uint32_t{green} << 8 | blue;
                if (rgb != 0x000000 && rgb != 0xC0C0C0 && rgb != 0x00FFFF) table[next++] = Entry(rgb);
            }
        }
    }
    for (uint8_t grey : kGreys) table[next++] = Entry(uint32_t{grey} * 0x010101);
    for (uint32_t rgb : kLast) table[next++] = Entry(rgb);
    if (next != table.size()) throw "the halftone table must have 256 entries";  // fails the constant evaluation
    return table;
}

constexpr std::array<PALETTEENTRY, 256> kHalftone = MakeHalftoneTable();

// The table indexes a palette of `count` entries takes: black and white,
// the first and last eight, or all of them.
constexpr uint32_t HalftoneIndex(uint16_t count, uint16_t i) {
    if (count == 2) return i == 0 ? 0 : 255;
    if (count == 16) return i < 8 ? i : 240u + i;
    return i;
}

// One accumulator per colour byte of a result row; the scale turns the sums
// into averages.
void StoreAverages(const float* sums, uint32_t count, float factor, uint8_t* row) {
    for (uint32_t i = 0; i < count; ++i) {
        const double average = static_cast<double>(factor * sums[i]);
        // A single-precision sum of very many pixels can round past the true
        // total (an addend just over half a unit in the last place counts
        // as a whole one): keep the byte from wrapping.
        row[i] = static_cast<uint8_t>(std::min(255, static_cast<int>(average + 0.5)));
    }
}

// Adds one 24-bit source row, whose share of the current result row is
// `shareHere` and of the next one `shareNext` (no next row when null), to
// the accumulators of those rows. A pixel straddling two result columns is
// split between them by the part of it each one covers.
void AccumulateRow(const uint8_t* pixels, uint32_t width, uint32_t newWidth, float shareHere, float shareNext,
                   float* here, float* next) {
    uint32_t position = 0;
    uint32_t column = 0;
    for (uint32_t x = 0; x < width; ++x, pixels += 3) {
        position += newWidth;
        const bool split = position > width;
        const float right = split ? static_cast<float>(position - width) / static_cast<float>(newWidth) : 0.0f;
        const float left = 1.0f - right;
        float* const at = here + column * 3;
        float* const below = next != nullptr ? next + column * 3 : nullptr;
        for (uint32_t c = 0; c < 3; ++c) {
            const float value = pixels[c];
            at[c] += value * (left * shareHere);
            if (split) at[3 + c] += value * (right * shareHere);
            if (below != nullptr) {
                below[c] += value * (left * shareNext);
                if (split) below[3 + c] += value * (right * shareNext);
            }
        }
        if (position >= width) {
            position -= width;
            ++column;
        }
    }
}

// Logs a caught exception and frees it, whatever the logging meets.
void LogCaught(zr_gen::CException* exception, int32_t line) noexcept {
    try {
        zr_gen::LogAndDeleteException(exception, ZR_FILE, line);
    } catch (...) {
        zr_gen::DeleteException(exception);
    }
}

void LogUnknown(int32_t line) noexcept {
    try {
        ZR_Trace(u"Unknown exception in file %s line %d", ZR_FILE, line);
    } catch (...) {
    }
}

// The layout SaveDIB writes, or false when it refuses the DIB.
bool DescribeSavable(const void* dib, DIBLayout* layout) {
    return dib != nullptr && IsInfoHeader(dib) && DescribeDIB(dib, kTrustedDIBSize, layout) &&
           layout->Size() <= UINT32_MAX - platform::kFileHeaderSize;
}

// ReadDIBFile without the catch.
OwnedHandle ReadDIB(zr_gen::CFile& file) {
    const uint32_t length = file.GetLength();
    if (length <= platform::kFileHeaderSize || length - platform::kFileHeaderSize > kMaxDIBBytes) return nullptr;
    BYTE header[platform::kFileHeaderSize];
    if (file.Read(header, sizeof header) != sizeof header) return nullptr;
    if (platform::DecodeFileHeader(header).bfType != kBmpType) return nullptr;
    const uint32_t size = length - static_cast<uint32_t>(platform::kFileHeaderSize);
    OwnedHandle dib(MemAlloc(size));
    if (!dib) return nullptr;
    void* bytes = MemGetPtr(dib.get());
    DIBLayout layout;
    if (file.Read(bytes, size) != size || !DescribeDIB(bytes, size, &layout)) return nullptr;
    return dib;
}

}  // namespace

bool DescribeDIB(const void* dib, uint32_t size, DIBLayout* layout) {
    if (dib == nullptr || size < sizeof(uint32_t)) return false;
    DIBLayout found;
    found.headerSize = HeaderSize(dib);
    const bool info = found.headerSize == kInfoHeaderSize;
    if ((!info && found.headerSize != kCoreHeaderSize) || size < found.headerSize) return false;
    found.bitCount = DIBBitCount(dib);
    uint32_t storedImageSize = 0;
    if (info) {
        const auto width = static_cast<int32_t>(DIBWidth(dib));
        const auto height = static_cast<int32_t>(DIBHeight(dib));
        if (width <= 0 || height == 0 || height == INT32_MIN) return false;
        if (zr_gen::LoadLE32(Bytes(dib) + kInfoColorsUsedAt) > kInfoColorsUsedLimit) return false;
        found.width = static_cast<uint32_t>(width);
        found.topDown = height < 0;
        found.height = static_cast<uint32_t>(found.topDown ? -height : height);
        found.compression = zr_gen::LoadLE32(Bytes(dib) + kInfoCompressionAt);
        storedImageSize = zr_gen::LoadLE32(Bytes(dib) + kInfoSizeImageAt);
    } else {
        found.width = DIBWidth(dib);
        found.height = DIBHeight(dib);
        if (found.width == 0 || found.height == 0) return false;
    }
    if (!KnownDepth(found.bitCount, info)) return false;
    const bool runLength = found.compression == BI_RLE8 || found.compression == BI_RLE4;
    if (runLength) {
        const uint16_t depth = found.compression == BI_RLE8 ? 8 : 4;
        if (found.bitCount != depth || found.topDown || storedImageSize == 0) return false;
    } else if (found.compression != BI_RGB) {
        return false;
    }
    const uint64_t rowSize = RowBytes(found.bitCount, found.width);
    const uint64_t pixelSize = runLength ? storedImageSize : rowSize * found.height;
    found.colorTableSize = PaletteSize(dib);
    if (uint64_t{found.headerSize} + found.colorTableSize + pixelSize > size) return false;
    // Row and pixel sizes fit 32 bits now: an uncompressed DIB's rows lie
    // within `size`, and a run-length one's depth keeps its row short.
    found.rowSize = static_cast<uint32_t>(rowSize);
    found.pixelSize = static_cast<uint32_t>(pixelSize);
    *layout = found;
    return true;
}

MemHandle CreateDIB(uint32_t width, uint32_t height, uint16_t bitCount) {
    const uint16_t depth = bitCount <= 1 ? 1 : bitCount <= 4 ? 4 : bitCount <= 8 ? 8 : bitCount <= 24 ? 24 : 4;
    if (width > INT32_MAX || height > INT32_MAX) return nullptr;
    const uint32_t colors = depth == 24 ? 0 : 1u << depth;
    const uint64_t size = colors * sizeof(RGBQUAD) + (RowBytes(depth, width) / 4 * height + 10) * 4;
    if (size > UINT32_MAX) return nullptr;
    MemHandle dib = MemAlloc(static_cast<uint32_t>(size));
    if (dib == nullptr) return nullptr;
    uint8_t* bytes = MutableBytes(MemGetPtr(dib));
    std::memset(bytes, 0xFF, static_cast<size_t>(size));
    std::memset(bytes, 0, kInfoHeaderSize);
    zr_gen::StoreLE32(bytes, kInfoHeaderSize);
    zr_gen::StoreLE32(bytes + kInfoWidthAt, width);
    zr_gen::StoreLE32(bytes + kInfoHeightAt, height);
    zr_gen::StoreLE16(bytes + kInfoPlanesAt, 1);
    zr_gen::StoreLE16(bytes + kInfoBitCountAt, depth);
    return dib;
}

MemHandle ReadDIBFile(zr_gen::CFile& file) {
    try {
        return ReadDIB(file).release();
    } catch (zr_gen::CException* e) {
        zr_gen::LogAndDeleteException(e, ZR_FILE, __LINE__);
        return nullptr;
    }
}

int32_t SaveDIB(void* dib, zr_gen::CFile& file) {
    DIBLayout layout;
    if (!DescribeSavable(dib, &layout)) return 0;
    // A run-length encoding's stored size is the only one there is.
    if (layout.compression == BI_RGB) zr_gen::StoreLE32(MutableBytes(dib) + kInfoSizeImageAt, layout.pixelSize);
    const uint32_t dibSize = layout.Size();
    BITMAPFILEHEADER header{};
    header.bfType = kBmpType;
    header.bfSize = static_cast<DWORD>(platform::kFileHeaderSize) + dibSize;
    header.bfOffBits = static_cast<DWORD>(platform::kFileHeaderSize) + kInfoHeaderSize + layout.colorTableSize;
    BYTE bytes[platform::kFileHeaderSize];
    platform::EncodeFileHeader(header, bytes);
    // A write the platform cut short without an error is no success either.
    if (file.Write(bytes, sizeof bytes) != sizeof bytes) return 0;
    return file.Write(dib, dibSize) == dibSize ? 1 : 0;
}

MemHandle ShrinkDIB(MemHandle& dib, uint16_t newWidth, uint16_t newHeight) {
    if (dib == nullptr || newWidth == 0 || newHeight == 0) return nullptr;
    const void* source = MemGetPtr(dib);
    DIBLayout from;
    if (!DescribeDIB(source, MemGetSize(dib), &from) || from.bitCount != 24 || from.compression != BI_RGB) {
        return nullptr;
    }
    if (from.width > UINT16_MAX || from.height > UINT16_MAX || newWidth > from.width || newHeight > from.height) {
        return nullptr;
    }
    const uint32_t width = from.width;
    const uint32_t height = from.height;
    OwnedHandle result(CreateDIB(newWidth, newHeight, 24));
    if (!result) return nullptr;
    // Only the result row being summed and the next one, which a split
    // source row also feeds, need accumulators.
    const uint32_t rowSums = uint32_t{newWidth} * 3;
    auto sums = AllocateArray<float>(size_t{rowSums} * 2);
    if (!sums) return nullptr;
    float* here = sums.get();
    float* next = here + rowSums;
    std::fill_n(here, size_t{rowSums} * 2, 0.0f);

    const float factor = static_cast<float>(uint32_t{newWidth} * newHeight) / static_cast<float>(width * height);
    void* target = MemGetPtr(result.get());
    uint8_t* targetRow = FindDIBBits(target);
    const uint32_t targetRowSize = static_cast<uint32_t>(RowBytes(24, newWidth));
    const uint8_t* sourceBits = FindDIBBits(source);
    uint32_t position = 0;
    for (uint32_t row = 0; row < height; ++row) {
        position += newHeight;
        const bool split = position > height;
        const float below = split ? static_cast<float>(position - height) / static_cast<float>(newHeight) : 0.0f;
        AccumulateRow(PictureRow(sourceBits, from, height - 1 - row), width, newWidth, 1.0f - below, below, here,
                      split ? next : nullptr);
        if (position >= height) {
            position -= height;
            StoreAverages(here, rowSums, factor, targetRow);
            targetRow += targetRowSize;
            std::swap(here, next);
            std::fill_n(next, rowSums, 0.0f);
        }
    }
    return result.release();
}

MemHandle ClipDIB(void* dib, int32_t newWidth, int32_t newHeight) { return Reshape(dib, newWidth, newHeight, false); }

MemHandle ResizeDIB(void* dib, int32_t newWidth, int32_t newHeight) { return Reshape(dib, newWidth, newHeight, true); }

int32_t CreateDIBPalette(const void* dib, HPALETTE* palette) {
    ZR_ASSERT(palette != nullptr);
    if (dib == nullptr || palette == nullptr) return 0;
    const uint16_t colors = DIBNumColors(dib);
    if (colors == 0) {
        const HDC screen = GetDC(nullptr);
        *palette = CreateHalftonePalette(screen, 0);
        if (screen != nullptr) ReleaseDC(nullptr, screen);
    } else {
        const uint8_t* table = Bytes(dib) + HeaderSize(dib);
        const size_t entrySize = IsInfoHeader(dib) ? sizeof(RGBQUAD) : kCoreEntrySize;
        *palette = MakePalette(colors, [table, entrySize](uint16_t i) {
            const uint8_t* bgr = table + i * entrySize;
            return PALETTEENTRY{bgr[2], bgr[1], bgr[0], 0};
        });
    }
    return *palette != nullptr ? 1 : 0;
}

HPALETTE CreateHalftonePalette(HDC, int32_t wantedColors) {
    const uint16_t count = wantedColors == 1 || wantedColors == 2    ? 2
                           : wantedColors >= 3 && wantedColors <= 16 ? 16
                                                                     : 256;
    return MakePalette(count, [count](uint16_t i) { return kHalftone[HalftoneIndex(count, i)]; });
}

int32_t PalEntriesOnDevice(HDC dc) {
    const int32_t bits = (GetDeviceCaps(dc, BITSPIXEL) * GetDeviceCaps(dc, PLANES)) & 0xFF;
    if (bits >= 31) {
        ZR_ASSERT(false);
        return 0;
    }
    return int32_t{1} << bits;
}

// --- CDib ------------------------------------------------------------------

CDib::~CDib() {
    if (dib_ != nullptr) MemFree(dib_);
    if (palette_ != nullptr) DeleteObject(palette_);
}

void CDib::InitDIBData() {
    if (palette_ != nullptr) DeleteObject(palette_);
    palette_ = nullptr;
    width_ = 0;
    height_ = 0;
    if (dib_ == nullptr) return;
    const void* bytes = MemGetPtr(dib_);
    const uint32_t size = MemGetSize(dib_);
    // A block too short for its header has no dimensions to read yet.
    const bool headerFits = size >= sizeof(uint32_t) &&
                            (HeaderSize(bytes) == kInfoHeaderSize || HeaderSize(bytes) == kCoreHeaderSize) &&
                            size >= HeaderSize(bytes);
    const bool tooBig = headerFits && ((DIBWidth(bytes) | DIBHeight(bytes)) & 0x80000000u) != 0;
    DIBLayout layout;
    if (tooBig || !DescribeDIB(bytes, size, &layout)) {
        MemFree(dib_);
        dib_ = nullptr;
        if (tooBig) ZR_THROW(CDBException, zr_gen::kMsgImageTooBig, zr_gen::kNoErrorNumber);
        ZR_THROW(CDBException, zr_gen::kMsgCannotLoadDib, zr_gen::kNoErrorNumber);
    }
    width_ = layout.width;
    height_ = layout.height;
    if (CreateDIBPalette(bytes, &palette_) == 0) palette_ = nullptr;
}

void CDib::ReplaceHDIB(MemHandle& dib) {
    // Duplicated before the held block is freed: `dib` may be that block.
    MemHandle copy = dib != nullptr ? MemDuplicate(dib) : nullptr;
    const bool lost = dib != nullptr && copy == nullptr;
    if (dib_ != nullptr) MemFree(dib_);
    dib_ = copy;
    InitDIBData();
    if (lost) ZR_THROW(CException, zr_gen::kMsgOutOfMemory, zr_gen::DefaultErrorNumber(zr_gen::kMsgOutOfMemory));
}

void CDib::DetachDib() {
    dib_ = nullptr;
    InitDIBData();
}

int32_t CDib::LoadDIBFile(const char16_t* path) {
    zr_gen::CFile file;
    try {
        if (file.Open(path, zr_gen::CFile::kModeRead | zr_gen::CFile::kShareRead) == 0) return 0;
    } catch (zr_gen::CException* e) {
        zr_gen::LogAndDeleteException(e, ZR_FILE, __LINE__);
        return 0;
    }
    MemHandle read = ReadDIBFile(file);
    file.Close();
    if (dib_ != nullptr) MemFree(dib_);
    dib_ = read;
    InitDIBData();
    if (dib_ == nullptr) ZR_THROW(CDBException, zr_gen::kMsgCannotLoadDib, zr_gen::kNoErrorNumber);
    return 1;
}

int32_t CDib::SaveDIBFile(const char16_t* path) {
    // Checked before the file is created, so that an existing file is not
    // emptied for a DIB that would not be written.
    DIBLayout layout;
    if (dib_ == nullptr || !DescribeSavable(MemGetPtr(dib_), &layout)) return 0;
    zr_gen::CFile file;
    try {
        if (file.Open(path, zr_gen::CFile::kCreate | zr_gen::CFile::kShareNone | zr_gen::CFile::kModeReadWrite) == 0) {
            return 0;
        }
        const int32_t written = SaveDIB(MemGetPtr(dib_), file);
        file.Close();
        return written;
    } catch (zr_gen::CException* e) {
        LogCaught(e, __LINE__);
    } catch (...) {
        LogUnknown(__LINE__);
    }
    file.Close();
    return 0;
}
