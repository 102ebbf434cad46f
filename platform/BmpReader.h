// The layer's own BMP reader: a whole file held in memory, checked field by
// field against that memory, into the description CreateDIBSection takes.
#pragma once

#include <cstddef>
#include <span>

#include "platform/Graphics.h"
#include "platform/Types.h"

namespace platform {

struct BmpPicture {
    // A 40-byte header (the file's width and height sign, biClrUsed the
    // colours copied, biSizeImage the bytes of `bits`), followed by the
    // three masks for BI_BITFIELDS or by the colour table.
    alignas(BITMAPINFO) BYTE info[sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD)];
    // The pixel rows inside the file, in the file's order and row padding.
    const BYTE* bits;
    size_t bitsSize;

    const BITMAPINFO* Info() const { return reinterpret_cast<const BITMAPINFO*>(info); }
};

// Reads the picture of `file`: a file header, then a core header (12 bytes:
// 1, 4, 8 or 24 bits, colour table of three-byte entries) or an info header
// of 40, 52, 56, 108 or 124 bytes (1, 4, 8, 24 or 32 bits BI_RGB, 16 or 32
// bits BI_RGB or BI_BITFIELDS; masks after a 40-byte header or inside a
// longer one; alpha masks ignored), rows bottom-up or top-down. The colour
// table, the masks and the rows must lie inside the file, the table and the
// masks before the pixel offset; the file header's size field is not used.
// False with the last error set: ERROR_INVALID_DATA for a damaged file,
// ERROR_NOT_SUPPORTED for a header or compression not listed above. No
// size guard here: nothing is allocated.
bool ReadBmp(std::span<const BYTE> file, BmpPicture* picture);

}  // namespace platform
