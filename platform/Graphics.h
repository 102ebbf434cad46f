// The graphics subset: device contexts, palettes, bitmaps and DIB sections,
// and bit-block transfer, over an in-memory screen.
//
// The screen is a 240 x 320 surface whose depth is 16 bits per pixel (5-6-5)
// unless a test chooses another with platform::SetScreenDepth. Bitmaps,
// palettes and device contexts are entries of one handle table (values that
// fit in 32 bits, apart from those of files and searches); a handle of
// another kind, a closed one or a made-up value gives ERROR_INVALID_HANDLE.
// Every call takes one lock, so the objects may be used from any thread.
//
// Colours. A device-dependent bitmap (CreateCompatibleBitmap) of 16 bits is
// 5-6-5, of 24 or 32 bits 8-8-8; one of 1 bit is black (0) and white (1);
// one of 4 or 8 bits holds indexes into the first 16 or 256 entries of the
// palette selected into the device context it is used through. A DIB section
// of 8 bits or fewer takes its colours from its own colour table; one of 16
// bits without masks is 5-5-5, of 24 or 32 bits without masks 8-8-8.
// BitBlt turns every pixel into 8-bit red, green and blue and then into the
// target's form: a channel of n bits widens by repeating its bits from the
// top ((v << 3) | (v >> 2) for 5 bits, (v << 2) | (v >> 4) for 6), 8 bits
// narrow to n to the nearest value (v * (2^n - 1) + 127) / 255, so that
// widening and narrowing again gives the value back; an indexed target takes
// the nearest colour of its table (smallest sum of squared differences, the
// lowest index among equals). A colour index beyond the table is black.
// Where source and target have the same encoding the pixels are copied.
#pragma once

#include "platform/Types.h"

struct HDC__;
struct HBITMAP__;
struct HPALETTE__;
using HGDIOBJ = void*;
using HDC = HDC__*;
using HBITMAP = HBITMAP__*;
using HPALETTE = HPALETTE__*;
using COLORREF = DWORD;

// --- Structures, with the device's field widths ----------------------------

struct BITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;  // positive: rows bottom-up; negative: top-down
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
};

struct RGBQUAD {
    BYTE rgbBlue;
    BYTE rgbGreen;
    BYTE rgbRed;
    BYTE rgbReserved;
};

// The header, then (in the caller's block) the colour table of
// biClrUsed entries (all of them for its depth when 0), or after a 40-byte
// header with BI_BITFIELDS the red, green and blue masks.
struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
};

struct PALETTEENTRY {
    BYTE peRed;
    BYTE peGreen;
    BYTE peBlue;
    BYTE peFlags;
};

// palNumEntries entries follow in the caller's block.
struct LOGPALETTE {
    WORD palVersion;
    WORD palNumEntries;
    PALETTEENTRY palPalEntry[1];
};

struct BITMAP {
    LONG bmType;
    LONG bmWidth;
    LONG bmHeight;
    LONG bmWidthBytes;
    WORD bmPlanes;
    WORD bmBitsPixel;
    LPVOID bmBits;
};

struct DIBSECTION {
    BITMAP dsBm;
    BITMAPINFOHEADER dsBmih;
    DWORD dsBitfields[3];
    HANDLE dshSection;
    DWORD dsOffset;
};

struct SIZE {
    LONG cx;
    LONG cy;
};

// A font as the device describes it; the face name holds up to 31 UTF-16
// characters and a terminator.
constexpr int LF_FACESIZE = 32;
struct LOGFONTW {
    LONG lfHeight;
    LONG lfWidth;
    LONG lfEscapement;
    LONG lfOrientation;
    LONG lfWeight;
    BYTE lfItalic;
    BYTE lfUnderline;
    BYTE lfStrikeOut;
    BYTE lfCharSet;
    BYTE lfOutPrecision;
    BYTE lfClipPrecision;
    BYTE lfQuality;
    BYTE lfPitchAndFamily;
    char16_t lfFaceName[LF_FACESIZE];
};

// In a file the header is 14 packed little-endian bytes; this struct has the
// compiler's layout, so files go through platform::EncodeFileHeader and
// platform::DecodeFileHeader.
struct BITMAPFILEHEADER {
    WORD bfType;  // 0x4D42, "BM"
    DWORD bfSize;
    WORD bfReserved1;
    WORD bfReserved2;
    DWORD bfOffBits;
};

static_assert(sizeof(BITMAPINFOHEADER) == 40);
static_assert(sizeof(LOGFONTW) == 92);
static_assert(sizeof(RGBQUAD) == 4);
static_assert(sizeof(BITMAPINFO) == 44);
static_assert(sizeof(PALETTEENTRY) == 4);
static_assert(sizeof(LOGPALETTE) == 8);
static_assert(sizeof(BITMAP) == (sizeof(LPVOID) == 8 ? 32 : 24));
static_assert(sizeof(DIBSECTION) == (sizeof(LPVOID) == 8 ? 104 : 84));

// --- Constants --------------------------------------------------------------

constexpr DWORD BI_RGB = 0;
constexpr DWORD BI_RLE8 = 1;
constexpr DWORD BI_RLE4 = 2;
constexpr DWORD BI_BITFIELDS = 3;

constexpr UINT DIB_RGB_COLORS = 0;
constexpr UINT DIB_PAL_COLORS = 1;

constexpr DWORD SRCCOPY = 0x00CC0020u;

constexpr int DEFAULT_PALETTE = 15;

constexpr int HORZRES = 8;
constexpr int VERTRES = 10;
constexpr int BITSPIXEL = 12;
constexpr int PLANES = 14;
constexpr int NUMCOLORS = 24;
constexpr int RASTERCAPS = 38;
constexpr int SIZEPALETTE = 104;

constexpr int RC_BITBLT = 0x0001;
constexpr int RC_DI_BITMAP = 0x0080;
constexpr int RC_PALETTE = 0x0100;

constexpr UINT GDI_ERROR = 0xFFFFFFFFu;

// --- Device contexts ---------------------------------------------------------

// A context of the screen (there are no windows: any other `window` gives
// ERROR_INVALID_HANDLE). Each call gives a new context with the default
// palette selected; release it with ReleaseDC.
HDC GetDC(HWND window);
// 1 when released; 0 for a context that is not a screen one.
int ReleaseDC(HWND window, HDC dc);
// A memory context (the argument, a context or null, only has to be valid):
// the default palette and a 1 x 1 monochrome bitmap are selected into it.
HDC CreateCompatibleDC(HDC dc);
// Memory contexts only; what was selected into it becomes free to delete.
BOOL DeleteDC(HDC dc);
// 1 for PLANES; BITSPIXEL the screen's depth; SIZEPALETTE 2^depth at 8 bits
// or fewer, else 0; NUMCOLORS 2, 16 or 20 at 1, 4 or 8 bits, else -1;
// RASTERCAPS RC_BITBLT | RC_DI_BITMAP, with RC_PALETTE at 8 bits or fewer;
// HORZRES and VERTRES the screen's size; any other index 0. The same for
// every context, as memory contexts are compatible with the screen.
int GetDeviceCaps(HDC dc, int index);

// --- Objects -----------------------------------------------------------------

// A bitmap into a memory context (one context at a time: a bitmap selected
// elsewhere gives ERROR_BUSY; a screen context refuses bitmaps with
// ERROR_INVALID_PARAMETER), or a palette into any context. Returns the
// previously selected object of that kind, null on failure.
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
// Bitmaps and palettes. Fails with ERROR_BUSY while the object is selected
// into a context; a stock object is left alone and gives TRUE.
BOOL DeleteObject(HGDIOBJ object);
// DEFAULT_PALETTE (the 20 standard colours) only; ERROR_INVALID_PARAMETER
// for other indexes.
HGDIOBJ GetStockObject(int index);
// A bitmap: with a buffer of at least sizeof(DIBSECTION) for a DIB section
// its DIBSECTION, else with at least sizeof(BITMAP) its BITMAP (bmBits null
// and rows WORD-aligned for a device-dependent bitmap; for a DIB section the
// bits and DWORD-aligned rows, height positive, dsBmih as created with
// biSizeImage filled in and dsBitfields the masks at 16 and 32 bits). A
// palette: its number of entries as a WORD. Returns the bytes written, or
// without a buffer the bytes it would write; 0 on failure
// (ERROR_INSUFFICIENT_BUFFER for too small a buffer).
int GetObjectW(HGDIOBJ object, int size, LPVOID buffer);

// --- Palettes ----------------------------------------------------------------

// Version 0x300 and at least one entry, else ERROR_INVALID_PARAMETER.
HPALETTE CreatePalette(const LOGPALETTE* palette);
// Returns the palette selected before, null on failure. `forceBackground`
// has no effect.
HPALETTE SelectPalette(HDC dc, HPALETTE palette, BOOL forceBackground);
// The number of entries of the selected palette the screen takes in: at 8
// bits or fewer all of them up to SIZEPALETTE, above 0 (nothing to map).
// GDI_ERROR with ERROR_INVALID_HANDLE for a bad context.
UINT RealizePalette(HDC dc);
// Copies up to `count` entries from `start`; without `entries` returns the
// palette's size. 0 on failure or when `start` is past the end.
UINT GetPaletteEntries(HPALETTE palette, UINT start, UINT count, PALETTEENTRY* entries);

// --- Bitmaps -----------------------------------------------------------------

// A bitmap described by `info`: a header of at least 40 bytes, width above 0,
// height not 0, one plane; BI_RGB at 1, 4, 8, 16, 24 or 32 bits, or
// BI_BITFIELDS at 16 or 32 bits with three disjoint masks of 1 to 8
// contiguous bits each (the DWORDs at offset 40 of `info`, which after a
// 40-byte header are the three that follow it). The colour table is read
// from `info` with DIB_RGB_COLORS; entries past biClrUsed are black. The
// pixels are zero and *bits points at them: rows DWORD-aligned, bottom-up
// for a positive height, top-down for a negative one. `dc` is not used.
// DIB_PAL_COLORS and file sections give ERROR_NOT_SUPPORTED, a bad
// description ERROR_INVALID_PARAMETER, a picture over the size guard or a
// failed allocation ERROR_NOT_ENOUGH_MEMORY.
HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section,
                         DWORD offset);
// A device-dependent bitmap of zero pixels, at the depth of the bitmap
// selected into a memory context (a new one's is monochrome, as on the
// device), the screen's for a screen context. A width or height of 0 or less
// gives ERROR_INVALID_PARAMETER; the size guard applies.
HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height);

// Of the colour table of the DIB section selected into `dc` (8 bits or
// fewer; its table has 2^bits entries): copies up to `count` entries from
// `start` and returns how many, 0 on failure.
UINT GetDIBColorTable(HDC dc, UINT start, UINT count, RGBQUAD* colors);
UINT SetDIBColorTable(HDC dc, UINT start, UINT count, const RGBQUAD* colors);

// SRCCOPY only (other operations ERROR_NOT_SUPPORTED). The rectangle is
// clipped to both bitmaps: pixels whose source or target lies outside are
// left alone. Copying within one bitmap handles overlap. A width or height
// of 0 or less copies nothing. Fails with ERROR_NOT_ENOUGH_MEMORY when the
// row buffer (or the screen's surface) cannot be allocated.
BOOL BitBlt(HDC target, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
            DWORD rop);

namespace platform {

// The size guard of every bitmap: no side above 16384 pixels, no more than
// 64 Mi pixels.
constexpr int32_t kMaxBitmapSide = 16384;
constexpr uint64_t kMaxBitmapPixels = uint64_t{64} << 20;

// The screen's size.
constexpr int32_t kScreenWidth = 240;
constexpr int32_t kScreenHeight = 320;

// Test seam: the screen's depth, 1, 4, 8, 16, 24 or 32 bits per pixel (any
// other value is refused and nothing changes). Later calls see the new
// depth; the screen's content is lost.
bool SetScreenDepth(int bitsPerPixel);
int ScreenDepth();

// The 14 bytes of a file header, little-endian.
constexpr size_t kFileHeaderSize = 14;
void EncodeFileHeader(const BITMAPFILEHEADER& header, BYTE (&bytes)[kFileHeaderSize]);
BITMAPFILEHEADER DecodeFileHeader(const BYTE (&bytes)[kFileHeaderSize]);

}  // namespace platform
