// Packed device-independent bitmaps (DIBs) in memory block handles: queries,
// creation, BMP files, reshaping, palettes, and CDib, which holds one DIB
// with its palette.
//
// A packed DIB is a BITMAPINFOHEADER (header size 40) or an older
// BITMAPCOREHEADER (any other header size), the colour table (4-byte RGBQUAD
// entries after an info header, 3-byte RGBTRIPLE entries after a core
// header), then the pixel rows, bottom row first, each padded to a multiple
// of 4 bytes. Every DIB this unit creates has a BITMAPINFOHEADER.
//
// The queries read the header fields as they are and trust the caller that
// the pointer holds at least a whole header; the functions that take a
// handle check sizes, offsets and counts against the block that holds them.
// The functions that take a pointer trust the caller that the whole DIB is
// there (as ReadDIBFile and CreateDIB give it) but still refuse any header
// DescribeDIB refuses, so no size computed from a header can overflow.
#pragma once

#include <cstdint>

#include "notestore/foundation/Export.h"
#include "notestore/foundation/MemAPI.h"
#include "platform/Graphics.h"

namespace zr_gen {
class CFile;
}

// The size of a BITMAPINFOHEADER, the only header the toolkit writes.
inline constexpr uint32_t kInfoHeaderSize = 40;
// The size of a BITMAPCOREHEADER: size (4), width, height, planes and bit
// count (2 bytes each).
inline constexpr uint32_t kCoreHeaderSize = 12;

// A new block with the same size and bytes as `handle`; null for null.
ZR_EXPORT MemHandle CopyHandle(MemHandle handle);

// --- Queries of a packed DIB ------------------------------------------------

ZR_EXPORT bool IsInfoHeader(const void* dib);
// The info header's width, or the core header's 16-bit width.
ZR_EXPORT uint32_t DIBWidth(const void* dib);
// The info header's height (as stored: negative for top-down rows, seen as
// unsigned), or the core header's 16-bit height.
ZR_EXPORT uint32_t DIBHeight(const void* dib);
// The info header's bit count, or the core header's.
ZR_EXPORT uint16_t DIBBitCount(const void* dib);
// An info header's colours-used field when that is not 0; otherwise 2, 16 or
// 256 for 1, 4 or 8 bits per pixel and 0 for any other depth.
ZR_EXPORT uint16_t DIBNumColors(const void* dib);
// DIBNumColors times the colour table's entry size (4 or 3 bytes).
ZR_EXPORT uint16_t PaletteSize(const void* dib);
// The pixel rows: the DIB plus its header size plus PaletteSize.
ZR_EXPORT uint8_t* FindDIBBits(void* dib);
ZR_EXPORT const uint8_t* FindDIBBits(const void* dib);

// --- Layout -------------------------------------------------------------------

// Where the parts of a packed DIB lie, as its header tells.
struct DIBLayout {
    uint32_t headerSize = 0;      // kInfoHeaderSize or kCoreHeaderSize
    uint32_t colorTableSize = 0;  // PaletteSize
    uint32_t width = 0;           // pixels, above 0
    uint32_t height = 0;          // rows, above 0 (a top-down DIB's without its sign)
    bool topDown = false;         // the first row in memory is the picture's top row
    uint16_t bitCount = 0;        // 1, 4, 8, 16, 24 or 32 (a core header: not 16 or 32)
    uint32_t compression = 0;     // BI_RGB; BI_RLE8 at 8 or BI_RLE4 at 4 bits, bottom-up
    uint32_t rowSize = 0;         // bytes of one row, padded to a multiple of 4
    uint32_t pixelSize = 0;       // rowSize x height; the stored image size when run-length encoded

    // Header, colour table and pixels: the bytes the DIB needs.
    uint32_t Size() const { return headerSize + colorTableSize + pixelSize; }
};

// The size to give DescribeDIB for a DIB whose block is not known: the
// caller vouches that the whole DIB is there.
inline constexpr uint32_t kTrustedDIBSize = 0xFFFFFFFFu;

// True, with *layout filled in, when the `size` bytes at `dib` hold a whole
// packed DIB this toolkit can handle: an info or core header that fits, a
// width and height above 0 (an info header's height may be negative, but not
// -2^31), one of the depths above, no compression or the run-length encoding
// of its depth with a stored image size, at most 256 colour table entries,
// and header, colour table and pixel rows (computed in 64 bits) all within
// the `size` bytes. Never reads beyond them; null `dib` gives false.
ZR_EXPORT bool DescribeDIB(const void* dib, uint32_t size, DIBLayout* layout);

// --- Creation, files and reshaping ------------------------------------------

// A DIB of the given size whose bytes (colour table and pixels) are all
// 0xFF; the bit count is normalised to 1, 4, 8 or 24 (above 24: 4). Null
// when a side does not fit the header's signed field, the block size does
// not fit 32 bits, or the heap is exhausted.
ZR_EXPORT MemHandle CreateDIB(uint32_t width, uint32_t height, uint16_t bitCount);
// The packed DIB behind the 14-byte file header of an open BMP file, read
// from the file's position, in a block of exactly the bytes that follow the
// file header (the stored pixel offset is not used). Null when the file is
// shorter than 15 bytes or longer than any drawing can be, is not marked
// "BM", cannot be read (the library exception is logged and freed), or does
// not hold a DIB DescribeDIB accepts; never a read outside what was read.
ZR_EXPORT MemHandle ReadDIBFile(zr_gen::CFile& file);
// Writes `dib` as a BMP file: 1 written, 0 refused (null, a core header, a
// header DescribeDIB refuses, a file size beyond 32 bits) or cut short.
// Unless run-length encoded, stores the computed image size into the DIB
// first. Write errors raise the library's file exceptions.
ZR_EXPORT int32_t SaveDIB(void* dib, zr_gen::CFile& file);
// Area-weighted reduction of an uncompressed 24-bit DIB to a new bottom-up
// 24-bit DIB (a top-down source is read from its bottom row, so the picture
// keeps its orientation); the source stays with the caller. Null for any
// other depth, a damaged block, a side beyond 16 bits, a new side of 0 or
// larger than the source's, or an exhausted heap.
ZR_EXPORT MemHandle ShrinkDIB(MemHandle& dib, uint16_t newWidth, uint16_t newHeight);
// The top-left newWidth x newHeight part of an uncompressed DIB with an info
// header, in the source's row order. Null for a size of 0 or less or larger
// than the source's, any other DIB, or an exhausted heap.
ZR_EXPORT MemHandle ClipDIB(void* dib, int32_t newWidth, int32_t newHeight);
// An uncompressed DIB with an info header on a larger canvas of 0xFF bytes,
// keeping its top-left corner and row order. Null unless the size is at
// least the source's both ways and larger one way, for any other DIB, a
// result beyond 32 bits, or an exhausted heap.
ZR_EXPORT MemHandle ResizeDIB(void* dib, int32_t newWidth, int32_t newHeight);

// --- Palettes ----------------------------------------------------------------

// A palette of the DIB's colour table, or the 256-entry halftone palette
// when it has none; nonzero when `*palette` received one (null otherwise).
// A null DIB gives 0 and leaves `*palette`.
ZR_EXPORT int32_t CreateDIBPalette(const void* dib, HPALETTE* palette);
// The standard halftone table: 2 entries for 1 or 2 wanted colours, 16 for 3
// to 16, else all 256. The device context is not used.
ZR_EXPORT HPALETTE CreateHalftonePalette(HDC dc, int32_t wantedColors);
// The number of colours the device shows: 2 to the power of its bits per
// pixel times planes, taken modulo 256 (0, with an assertion line, from 31
// on, where the power no longer fits the result).
ZR_EXPORT int32_t PalEntriesOnDevice(HDC dc);

// --- CDib ------------------------------------------------------------------

// One DIB with its palette. Copies share the DIB block and palette; only one
// of them may release them (the destructor does).
class ZR_EXPORT CDib {
public:
    CDib() = default;
    ~CDib();
    CDib(const CDib&) = default;
    CDib& operator=(const CDib&) = default;

    MemHandle GetHDIB() const { return dib_; }
    HPALETTE GetPalette() const { return palette_; }
    SIZE GetSize() const { return SIZE{static_cast<LONG>(width_), static_cast<LONG>(height_)}; }

    // Remakes width, height and palette from the held DIB (0, 0 and no
    // palette when none is held). Frees the DIB and raises CDBException
    // message 22 when a dimension has its top bit set (a top-down DIB
    // included), message 23 when the block does not hold a DIB DescribeDIB
    // accepts; both with error number -1.
    void InitDIBData();
    // Holds a duplicate of `dib` (the caller keeps its own) or nothing;
    // raises "Out of memory" (message 11) when no duplicate can be made.
    void ReplaceHDIB(MemHandle& dib);
    // Forgets the held DIB without freeing it: the caller has taken it.
    void DetachDib();
    // 0 when the file cannot be opened (the exception is logged and freed),
    // 1 when it gave a DIB; raises message 23 when it did not. The DIB held
    // before is freed either way.
    int32_t LoadDIBFile(const char16_t* path);
    // 1 written, 0 otherwise; never lets an exception out. A held DIB
    // SaveDIB would refuse, or none, leaves an existing file untouched.
    int32_t SaveDIBFile(const char16_t* path);

private:
    MemHandle dib_ = nullptr;
    HPALETTE palette_ = nullptr;
    uint32_t width_ = 0;
    uint32_t height_ = 0;
};
