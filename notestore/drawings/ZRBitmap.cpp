// The internal drawing block and the bitmap bridge.
//
// A packed DIB is the platform's in-memory structure (CreateDIBSection reads
// it as one), so its header is copied to and from a BITMAPINFOHEADER; the
// internal block is stored data and goes through the byte-order helpers.
#include "notestore/drawings/ZRBitmap.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <utility>

#include "notestore.h"
#include "notestore/drawings/Compression.h"
#include "notestore/drawings/Dib.h"
#include "notestore/foundation/ByteOrder.h"
#include "notestore/foundation/Exception.h"
#include "notestore/foundation/ExportBoundary.h"
#include "platform/Graphics.h"
#include "platform/Shell.h"

namespace {

using zr_gen::LoadLE32;
using zr_gen::StoreLE32;

constexpr int64_t kSignedLimit = INT32_MAX;
constexpr uint32_t kImageSizeAt = offsetof(BITMAPINFOHEADER, biSizeImage);

bool IsDepth(uint32_t bits) { return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32; }

// The colour table a depth has in full: 2, 16 or 256 entries, none above 8 bits.
uint32_t FullColors(uint32_t bits) { return bits <= 8 ? 1u << bits : 0; }
// The most entries a DIB's table may have: the full one at 8 bits or fewer;
// above, an optional table (of colours to prefer on an indexed screen) that
// the pixels do not use and the stored drawing leaves out.
uint32_t TableLimit(uint32_t bits) { return bits <= 8 ? FullColors(bits) : 256; }

// The padded rows of a picture. Every image size the conversions and the
// bridge compute is this one: their formulas agree for all pictures that
// pass, the height counted without its sign (top-down rows take as many
// bytes). Only pictures a bitmap of the platform can hold pass (the limit
// ReadDIBFile applies to a file), so no stored block can make a conversion
// allocate more than such a bitmap takes.
std::optional<uint32_t> RowsSize(int32_t width, int32_t height, uint32_t bits) {
    if (width <= 0 || height == 0 || height == INT32_MIN) return std::nullopt;
    const int64_t rowsHigh = std::abs(int64_t{height});
    if (width > platform::kMaxBitmapSide || rowsHigh > platform::kMaxBitmapSide ||
        uint64_t(width) * uint64_t(rowsHigh) > platform::kMaxBitmapPixels) {
        return std::nullopt;
    }
    const int64_t rowBits = int64_t{bits} * width + 31;
    return static_cast<uint32_t>(rowBits / 32 * 4 * rowsHigh);
}

// Whether a stored or given image size fits the picture's rows: at least the
// rows, and less than one more row of padding beyond them (what writers of
// DIBs add, if anything). Any other size disagrees with the dimensions and
// would only make a conversion allocate for bytes no picture has.
bool ImageSizeFits(uint32_t imageSize, uint32_t rows, int32_t width, uint32_t bits) {
    const uint32_t stride = static_cast<uint32_t>((int64_t{bits} * width + 31) / 32 * 4);
    return imageSize >= rows && imageSize - rows < stride;
}

// A packed DIB that may cross the conversions and the bridge.
struct DibLayout {
    BITMAPINFOHEADER header{};
    uint32_t colorsUsed = 0;  // the entries its table holds
    uint32_t rowsSize = 0;
    uint32_t imageSize() const { return header.biSizeImage != 0 ? header.biSizeImage : rowsSize; }
};

// The DIB at `dib` when it is one of those; `extent` is the size of the
// block that holds it, when known.
std::optional<DibLayout> CheckDib(const uint8_t* dib, std::optional<uint32_t> extent) {
    if (extent && *extent < kInfoHeaderSize) return std::nullopt;
    DibLayout layout;
    std::memcpy(&layout.header, dib, sizeof layout.header);
    const BITMAPINFOHEADER& header = layout.header;
    ZR_ASSERT(header.biSize == kInfoHeaderSize);
    if (header.biSize != kInfoHeaderSize || !IsDepth(header.biBitCount) || header.biCompression != BI_RGB ||
        header.biClrUsed > TableLimit(header.biBitCount) || header.biSizeImage > kSignedLimit) {
        return std::nullopt;
    }
    const std::optional<uint32_t> rows = RowsSize(header.biWidth, header.biHeight, header.biBitCount);
    if (!rows || (header.biSizeImage != 0 && !ImageSizeFits(header.biSizeImage, *rows, header.biWidth, header.biBitCount))) {
        return std::nullopt;
    }
    layout.rowsSize = *rows;
    layout.colorsUsed = header.biClrUsed != 0 ? header.biClrUsed : FullColors(header.biBitCount);
    const uint64_t end = uint64_t{kInfoHeaderSize} + uint64_t{layout.colorsUsed} * sizeof(RGBQUAD) + layout.imageSize();
    if (extent && end > *extent) return std::nullopt;
    return layout;
}

// An internal block's fields, checked against the block.
struct StoredDrawing {
    int32_t width = 0;
    int32_t height = 0;
    uint32_t imageSize = 0;
    uint16_t bitCount = 0;
    uint32_t colors = 0;
    const uint8_t* table = nullptr;
    const uint8_t* stream = nullptr;
    uint32_t streamLength = 0;
};

std::optional<StoredDrawing> ReadDrawing(const uint8_t* block, uint32_t size) {
    if (size < kDrawingFixedSize) return std::nullopt;
    StoredDrawing drawing;
    drawing.width = static_cast<int32_t>(LoadLE32(block + kDrawingWidthAt));
    drawing.height = static_cast<int32_t>(LoadLE32(block + kDrawingHeightAt));
    drawing.imageSize = LoadLE32(block + kDrawingImageSizeAt);
    drawing.bitCount = block[kDrawingBitCountAt];
    if (!IsDepth(drawing.bitCount)) return std::nullopt;
    // Checked before anything is allocated for the picture.
    const std::optional<uint32_t> rows = RowsSize(drawing.width, drawing.height, drawing.bitCount);
    if (!rows || !ImageSizeFits(drawing.imageSize, *rows, drawing.width, drawing.bitCount)) return std::nullopt;
    drawing.colors = FullColors(drawing.bitCount);
    const uint64_t lengthAt = uint64_t{kDrawingColorsAt} + uint64_t{drawing.colors} * sizeof(RGBQUAD);
    if (lengthAt + 4 > size) return std::nullopt;
    drawing.streamLength = LoadLE32(block + lengthAt);
    if (lengthAt + 4 + drawing.streamLength > size) return std::nullopt;
    drawing.table = block + kDrawingColorsAt;
    drawing.stream = block + lengthAt + 4;
    return drawing;
}

// --- Owners of what a bridge call makes --------------------------------------------

class OwnedBlock {
public:
    explicit OwnedBlock(MemHandle handle) : handle_(handle) {}
    ~OwnedBlock() { MemFree(handle_); }
    OwnedBlock(const OwnedBlock&) = delete;
    OwnedBlock& operator=(const OwnedBlock&) = delete;
    MemHandle get() const { return handle_; }
    // After a MemRealloc that moved the block.
    void moved(MemHandle handle) { handle_ = handle; }
    MemHandle release() { return std::exchange(handle_, nullptr); }

private:
    MemHandle handle_;
};

class OwnedObject {
public:
    explicit OwnedObject(HGDIOBJ object) : object_(object) {}
    ~OwnedObject() {
        if (object_ != nullptr) DeleteObject(object_);
    }
    OwnedObject(const OwnedObject&) = delete;
    OwnedObject& operator=(const OwnedObject&) = delete;
    HGDIOBJ get() const { return object_; }
    HGDIOBJ release() { return std::exchange(object_, nullptr); }

private:
    HGDIOBJ object_;
};

// The screen's context; the palette selected into it is put back (and
// realized) when it is released.
class ScreenContext {
public:
    ScreenContext() : dc_(GetDC(nullptr)) {}
    ~ScreenContext() {
        if (dc_ == nullptr) return;
        if (previous_ != nullptr) {
            SelectPalette(dc_, previous_, FALSE);
            RealizePalette(dc_);
        }
        ReleaseDC(nullptr, dc_);
    }
    ScreenContext(const ScreenContext&) = delete;
    ScreenContext& operator=(const ScreenContext&) = delete;
    HDC dc() const { return dc_; }
    // Selects `palette` (unless null) and realizes the context's palette.
    void Realize(HPALETTE palette) {
        if (palette != nullptr) previous_ = SelectPalette(dc_, palette, FALSE);
        RealizePalette(dc_);
    }

private:
    HDC dc_;
    HPALETTE previous_ = nullptr;
};

// A memory context compatible with `screen` holding one bitmap.
class MemoryContext {
public:
    explicit MemoryContext(HDC screen) : dc_(CreateCompatibleDC(screen)) {}
    ~MemoryContext() {
        if (previous_ != nullptr) SelectObject(dc_, previous_);
        if (dc_ != nullptr) DeleteDC(dc_);
    }
    MemoryContext(const MemoryContext&) = delete;
    MemoryContext& operator=(const MemoryContext&) = delete;
    HDC dc() const { return dc_; }
    bool Hold(HGDIOBJ bitmap) {
        previous_ = dc_ != nullptr ? SelectObject(dc_, bitmap) : nullptr;
        return previous_ != nullptr;
    }

private:
    HDC dc_;
    HGDIOBJ previous_ = nullptr;
};

// --- The bridge ----------------------------------------------------------------

uint16_t DepthFor(const BITMAP& bitmap) {
    const auto product = static_cast<uint16_t>(bitmap.bmPlanes * bitmap.bmBitsPixel);
    return product <= 1 ? 1 : product <= 4 ? 4 : product <= 8 ? 8 : 24;
}

// The colour table of a 1-, 4- or 8-bit result of BitmapToDIB, which the DIB
// section takes its colours from: black and white, as a 1-bit bitmap shows,
// or the selected palette's first entries.
void FillColorTable(uint8_t* table, uint16_t depth, HPALETTE palette) {
    const uint32_t colors = FullColors(depth);
    std::memset(table, 0, colors * sizeof(RGBQUAD));
    if (depth == 1) {
        const RGBQUAD white{0xFF, 0xFF, 0xFF, 0};
        std::memcpy(table + sizeof(RGBQUAD), &white, sizeof white);
        return;
    }
    std::array<PALETTEENTRY, 256> entries{};
    const UINT copied = GetPaletteEntries(palette, 0, colors, entries.data());
    for (UINT i = 0; i < copied; ++i) {
        const RGBQUAD color{entries[i].peBlue, entries[i].peGreen, entries[i].peRed, 0};
        std::memcpy(table + i * sizeof(RGBQUAD), &color, sizeof color);
    }
}

MemHandle LoadImageAsDib(const char16_t* path, HPALETTE palette) {
    ZR_ASSERT(path != nullptr);
    if (path == nullptr) return nullptr;
    OwnedObject loaded(SHLoadImageFile(path));
    if (loaded.get() == nullptr) return nullptr;
    BITMAP description{};
    if (GetObjectW(loaded.get(), sizeof description, &description) == 0) return nullptr;
    if (palette == nullptr) palette = static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE));
    const uint16_t depth = DepthFor(description);
    BITMAPINFOHEADER header{kInfoHeaderSize, description.bmWidth, description.bmHeight, 1, depth, BI_RGB, 0, 0, 0, 0, 0};

    ScreenContext screen;
    if (screen.dc() == nullptr) return nullptr;
    screen.Realize(palette);
    const uint32_t tableSize = FullColors(depth) * sizeof(RGBQUAD);
    OwnedBlock block(MemAlloc(kInfoHeaderSize + tableSize));
    if (block.get() == nullptr) return nullptr;
    auto* dib = static_cast<uint8_t*>(MemGetPtr(block.get()));
    std::memcpy(dib, &header, sizeof header);
    FillColorTable(dib + kInfoHeaderSize, depth, palette);
    void* bits = nullptr;
    OwnedObject section(CreateDIBSection(screen.dc(), reinterpret_cast<const BITMAPINFO*>(dib), DIB_RGB_COLORS, &bits, nullptr, 0));
    if (section.get() == nullptr) return nullptr;
    MemoryContext from(screen.dc());
    MemoryContext to(screen.dc());
    if (!from.Hold(loaded.get()) || !to.Hold(section.get()) ||
        !BitBlt(to.dc(), 0, 0, header.biWidth, header.biHeight, from.dc(), 0, 0, SRCCOPY)) {
        return nullptr;
    }

    BITMAP sectionDescription{};
    const uint64_t described = GetObjectW(section.get(), sizeof sectionDescription, &sectionDescription) != 0
                                   ? uint64_t(sectionDescription.bmWidthBytes) * uint64_t(sectionDescription.bmHeight)
                                   : 0;
    const std::optional<uint32_t> rows = RowsSize(header.biWidth, header.biHeight, depth);
    if (!rows) return nullptr;
    header.biSizeImage = described != 0 ? static_cast<uint32_t>(described) : *rows;
    std::memcpy(dib, &header, sizeof header);
    MemHandle grown = MemRealloc(block.get(), kInfoHeaderSize + tableSize + header.biSizeImage);
    if (grown == nullptr) return nullptr;
    block.moved(grown);
    std::memcpy(FindDIBBits(MemGetPtr(grown)), bits, header.biSizeImage);
    return block.release();
}

// A DIB section of a checked DIB, through `palette` when one is given.
HBITMAP SectionOfDib(uint8_t* dib, const DibLayout& layout, HPALETTE palette) {
    ScreenContext screen;
    if (screen.dc() == nullptr) return nullptr;
    screen.Realize(palette);
    // Header and table in a block of their own: the caller's DIB need not be
    // aligned for the structure.
    std::array<uint32_t, (kInfoHeaderSize + 256 * sizeof(RGBQUAD)) / 4> info{};
    std::memcpy(info.data(), dib, kInfoHeaderSize + layout.colorsUsed * sizeof(RGBQUAD));
    void* bits = nullptr;
    OwnedObject section(CreateDIBSection(screen.dc(), reinterpret_cast<const BITMAPINFO*>(info.data()), DIB_RGB_COLORS, &bits, nullptr, 0));
    if (section.get() == nullptr) return nullptr;
    if (layout.header.biSizeImage == 0) StoreLE32(dib + kImageSizeAt, layout.rowsSize);
    // The section holds exactly the rows; an image size beyond them is padding.
    std::memcpy(bits, FindDIBBits(dib), layout.rowsSize);
    return static_cast<HBITMAP>(section.release());
}

}  // namespace

// --- The internal block ----------------------------------------------------------

MemHandle ConvertDibToInternalFormat(MemHandle dibHandle) {
    ZR_ASSERT(dibHandle != nullptr);
    if (dibHandle == nullptr) return nullptr;
    auto* dib = static_cast<uint8_t*>(MemGetPtr(dibHandle));
    if (dib == nullptr) return nullptr;
    const std::optional<DibLayout> layout = CheckDib(dib, MemGetSize(dibHandle));
    if (!layout) return nullptr;
    const uint32_t imageSize = layout->imageSize();
    if (layout->header.biSizeImage == 0) StoreLE32(dib + kImageSizeAt, imageSize);
    try {
        CCompression compression;
        uint8_t* stream = nullptr;
        uint32_t length = 0;
        compression.Compress(FindDIBBits(dib), imageSize, stream, &length);
        const uint32_t colors = FullColors(layout->header.biBitCount);
        const uint32_t tableSize = colors * sizeof(RGBQUAD);
        MemHandle blockHandle = MemAlloc(length + tableSize + kDrawingFixedSize);
        if (blockHandle == nullptr) return nullptr;
        auto* block = static_cast<uint8_t*>(MemGetPtr(blockHandle));
        block[0] = kDrawingMarker;
        StoreLE32(block + kDrawingWidthAt, static_cast<uint32_t>(layout->header.biWidth));
        StoreLE32(block + kDrawingHeightAt, static_cast<uint32_t>(layout->header.biHeight));
        StoreLE32(block + kDrawingImageSizeAt, imageSize);
        block[kDrawingBitCountAt] = static_cast<uint8_t>(layout->header.biBitCount);
        uint8_t* table = block + kDrawingColorsAt;
        const uint32_t present = std::min<uint32_t>(PaletteSize(dib), tableSize);
        std::memcpy(table, dib + kInfoHeaderSize, present);
        std::memset(table + present, 0, tableSize - present);
        StoreLE32(table + tableSize, length);
        std::memcpy(table + tableSize + 4, stream, length);
        compression.freeMem();
        MemFree(dibHandle);
        return blockHandle;
    } catch (zr_gen::CException* exception) {
        zr_gen::LogAndDeleteException(exception, ZR_FILE, __LINE__);
        return nullptr;
    }
}

MemHandle ConvertInternalFormatToDib(MemHandle blockHandle) {
    ZR_ASSERT(blockHandle != nullptr);
    if (blockHandle == nullptr) return nullptr;
    const auto* block = static_cast<const uint8_t*>(MemGetPtr(blockHandle));
    if (block == nullptr) return nullptr;
    const std::optional<StoredDrawing> drawing = ReadDrawing(block, MemGetSize(blockHandle));
    if (!drawing) return nullptr;
    try {
        CCompression compression;
        uint8_t* rows = nullptr;
        uint32_t decoded = 0;
        compression.Decompress(drawing->stream, drawing->streamLength, rows, &decoded);
        ZR_ASSERT(decoded == drawing->imageSize);
        const uint32_t tableSize = drawing->colors * sizeof(RGBQUAD);
        MemHandle dibHandle = MemAlloc(drawing->imageSize + kInfoHeaderSize + tableSize);
        if (dibHandle == nullptr) return nullptr;
        auto* dib = static_cast<uint8_t*>(MemGetPtr(dibHandle));
        const BITMAPINFOHEADER header{kInfoHeaderSize, drawing->width, drawing->height, 1, drawing->bitCount, BI_RGB, 0, 0, 0, 0, 0};
        std::memcpy(dib, &header, sizeof header);
        std::memcpy(dib + kInfoHeaderSize, drawing->table, tableSize);
        uint8_t* bits = FindDIBBits(dib);
        const uint32_t copied = std::min(decoded, drawing->imageSize);
        std::memcpy(bits, rows, copied);
        std::memset(bits + copied, 0, drawing->imageSize - copied);
        compression.freeMem();
        return dibHandle;
    } catch (zr_gen::CException* exception) {
        zr_gen::LogAndDeleteException(exception, ZR_FILE, __LINE__);
        return nullptr;
    }
}

// --- The bridge exports ------------------------------------------------------------

extern "C" {

void* BitmapToDIB(const OL_WCHAR* path, OL_Palette* paletteOrNull) {
    return ZR_GUARDED([&] { return LoadImageAsDib(&ZR_REQUIRED(path), reinterpret_cast<HPALETTE>(paletteOrNull)); });
}

OL_Bitmap* DIBToBitmap(void* dib, OL_Palette* paletteOrNull) {
    return ZR_GUARDED([&]() -> OL_Bitmap* {
        auto* bytes = static_cast<uint8_t*>(ZR_REQUIRED(dib));
        const std::optional<DibLayout> layout = CheckDib(bytes, std::nullopt);
        if (!layout) return nullptr;
        return reinterpret_cast<OL_Bitmap*>(SectionOfDib(bytes, *layout, reinterpret_cast<HPALETTE>(paletteOrNull)));
    });
}

OL_Bitmap* ConvertDIBtoBitmap(void* dib) {
    return ZR_GUARDED([&]() -> OL_Bitmap* {
        const OwnedBlock block(ZR_REQUIRED(dib));
        auto* bytes = static_cast<uint8_t*>(MemGetPtr(dib));
        if (bytes == nullptr) return nullptr;
        const std::optional<DibLayout> layout = CheckDib(bytes, MemGetSize(dib));
        if (!layout) return nullptr;
        HPALETTE palette = nullptr;
        if (CreateDIBPalette(bytes, &palette) == 0) return nullptr;
        const OwnedObject paletteOwner(palette);
        return reinterpret_cast<OL_Bitmap*>(SectionOfDib(bytes, *layout, palette));
    });
}

int32_t OL_DeleteGraphicsObject(void* bitmapOrPalette) {
    return ZR_GUARDED([&]() -> int32_t { return DeleteObject(ZR_REQUIRED(bitmapOrPalette)) ? 1 : 0; });
}

}  // extern "C"
