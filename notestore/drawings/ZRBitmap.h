// The internal drawing block and its conversions to and from packed DIBs.
// The bitmap bridge (BitmapToDIB, DIBToBitmap, ConvertDIBtoBitmap) is part
// of the flat C interface, notestore.h, and makes the same checks on a DIB.
//
// Internal drawing block (the value of an outline item's drawing tag; all
// fields little-endian):
//   0        1 byte   format marker, 2
//   1        4 bytes  width in pixels, as the DIB has it
//   5        4 bytes  height in pixels, as the DIB has it (negative: top-down)
//   9        4 bytes  size of the uncompressed pixel rows (the image size)
//   13       1 byte   bits per pixel
//   14       4 C      colour table: C entries of blue, green, red, reserved;
//                     C is 2, 16 or 256 at 1, 4 or 8 bits and 0 otherwise
//   14 + 4C  4 bytes  length L of the compressed rows
//   18 + 4C  L bytes  the rows, compressed by CCompression
// The outline item reads width and height straight from offsets 1 and 5.
//
// What a DIB must be to cross these functions (anything else gives null):
// a 40-byte BITMAPINFOHEADER, a width above 0, a height other than 0 and
// INT32_MIN, 1, 4, 8, 16, 24 or 32 bits per pixel without compression
// (BI_RGB), a colours-used count of at most 2, 16 or 256 at 1, 4 or 8 bits
// and at most 256 at the other depths (an optional table, which the block
// leaves out), a width and |height| of at most 16384 pixels and at most
// 64 Mi pixels in all (the platform's bitmap limit), and an image size that
// is 0 or at least the padded rows and less than one padded row beyond them.
// The rows are ((bits * width + 31) / 32) * 4 * |height| bytes. Where a
// block is given, the header, the colour table and the image size lie
// within it. An internal block is held to the same dimensions and image
// size before anything is allocated for it.
#pragma once

#include <cstdint>

#include "notestore/foundation/Export.h"
#include "notestore/foundation/MemAPI.h"

// The internal block's fields.
inline constexpr uint8_t kDrawingMarker = 2;
inline constexpr uint32_t kDrawingWidthAt = 1;
inline constexpr uint32_t kDrawingHeightAt = 5;
inline constexpr uint32_t kDrawingImageSizeAt = 9;
inline constexpr uint32_t kDrawingBitCountAt = 13;
inline constexpr uint32_t kDrawingColorsAt = 14;
// The block without its colour table and stream: 14 header bytes and L.
inline constexpr uint32_t kDrawingFixedSize = 18;

// The internal block of the DIB in `dib`, or null. On success the DIB block
// is freed and the caller owns the new one; on failure the DIB block stays
// with the caller (its image-size field may have been filled in). A DIB that
// uses fewer colours than its depth allows is stored with the whole table,
// the missing entries zero, so the block always holds 2, 16 or 256 entries
// at 1, 4 and 8 bits. A null handle is reported by assertion, a header
// whose size is not 40 too. Allocation failures and every refusal give null.
// Never reads or writes outside the DIB block.
ZR_EXPORT MemHandle ConvertDibToInternalFormat(MemHandle dib);

// A new DIB block (image size and colours used 0) made from the internal
// block in `block`, or null; `block` always stays with the caller. The
// block's fields are checked against its size and against the rules above;
// a compressed stream that does not decode gives null. When the decoded
// rows are not as long as the stored image size, that is reported by
// assertion and the DIB still receives at most image-size bytes, the rest
// of its rows zero. Never reads outside `block`.
ZR_EXPORT MemHandle ConvertInternalFormatToDib(MemHandle block);
