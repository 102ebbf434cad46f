// Graphics objects in one handle table, under one lock: a context's
// selections tie objects together, so every call sees them all at rest.
#include "platform/Graphics.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <variant>

#include "platform/Errors.h"
#include "platform/HandleTable.h"
#include "platform/Memory.h"
#include "platform/Pixels.h"

namespace {

using platform::detail::Channels;
using platform::detail::PixelEncoding;
using platform::detail::Rgb;

using platform::Block;

template <class T>
Block<T> AllocateZeroed(uint64_t count) {
    if (count > SIZE_MAX / sizeof(T)) return nullptr;
    const size_t bytes = static_cast<size_t>(count) * sizeof(T);
    void* block = platform::AllocateBytes(bytes);
    if (block != nullptr) std::memset(block, 0, bytes);
    return Block<T>(static_cast<T*>(block));
}

struct Bitmap {
    int32_t width = 0;
    int32_t height = 0;
    uint16_t bitsPerPixel = 0;
    bool deviceDependent = true;
    bool topDown = true;
    uint32_t stride = 0;
    Channels channels{};  // above 8 bits per pixel
    Block<BYTE> pixels;
    // DIB sections only.
    BITMAPINFOHEADER header{};
    std::array<RGBQUAD, 256> colors{};

    // Row `y` counted from the top of the picture.
    BYTE* Row(int32_t y) const {
        return pixels.get() + static_cast<size_t>(topDown ? y : height - 1 - y) * stride;
    }
};

struct Palette {
    Block<PALETTEENTRY> entries;
    uint32_t count = 0;
};

struct GdiObject;

struct Selection {
    HGDIOBJ handle = nullptr;
    std::shared_ptr<GdiObject> object;
};

struct DeviceContext {
    bool screen = false;
    Selection bitmap;  // memory contexts only
    Selection palette;
};

struct GdiObject {
    template <class Body>
    GdiObject(Body&& content, bool isStock) : body(std::forward<Body>(content)), stock(isStock) {}

    std::variant<Bitmap, Palette, DeviceContext> body;
    bool stock;
    uint32_t selections = 0;  // the contexts it is selected into
};

std::mutex gdiLock;
constinit platform::detail::HandleTable<GdiObject> objects(2);
int screenDepth = 16;
std::optional<Bitmap> screenSurface;  // made when first drawn on
HGDIOBJ stockPalette = nullptr;
HGDIOBJ stockBitmap = nullptr;

// The standard colours of the device's default palette.
constexpr PALETTEENTRY kDefaultColors[20] = {
    {0x00, 0x00, 0x00, 0}, {0x80, 0x00, 0x00, 0}, {0x00, 0x80, 0x00, 0}, {0x80, 0x80, 0x00, 0},
    {0x00, 0x00, 0x80, 0}, {0x80, 0x00, 0x80, 0}, {0x00, 0x80, 0x80, 0}, {0xC0, 0xC0, 0xC0, 0},
    {0xC0, 0xDC, 0xC0, 0}, {0xA6, 0xCA, 0xF0, 0}, {0xFF, 0xFB, 0xF0, 0}, {0xA0, 0xA0, 0xA4, 0},
    {0x80, 0x80, 0x80, 0}, {0xFF, 0x00, 0x00, 0}, {0x00, 0xFF, 0x00, 0}, {0xFF, 0xFF, 0x00, 0},
    {0x00, 0x00, 0xFF, 0}, {0xFF, 0x00, 0xFF, 0}, {0x00, 0xFF, 0xFF, 0}, {0xFF, 0xFF, 0xFF, 0},
};

bool IsDepth(int bits) { return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32; }

template <class Body>
HGDIOBJ Add(Body&& body, bool stock = false) {
    return objects.Add(std::forward<Body>(body), stock);
}

// The `Body` behind `handle`, or null with ERROR_INVALID_HANDLE. The table
// keeps it alive while the lock is held.
template <class Body>
Body* Find(HGDIOBJ handle, std::shared_ptr<GdiObject>* object = nullptr) {
    std::shared_ptr<GdiObject> found = objects.Find(handle);
    Body* body = found != nullptr ? std::get_if<Body>(&found->body) : nullptr;
    if (body == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (object != nullptr) *object = std::move(found);
    return body;
}

// Allocates the zeroed pixels of `bitmap` (width, height and depth set),
// rows padded to `alignment` bytes; false with ERROR_NOT_ENOUGH_MEMORY over
// the size guard or when the allocation fails.
bool AllocatePixels(Bitmap& bitmap, uint32_t alignment) {
    const uint64_t pixels = uint64_t(bitmap.width) * uint64_t(bitmap.height);
    if (bitmap.width > platform::kMaxBitmapSide || bitmap.height > platform::kMaxBitmapSide ||
        pixels > platform::kMaxBitmapPixels) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    bitmap.stride = static_cast<uint32_t>(platform::detail::RowBytes(uint64_t(bitmap.width), bitmap.bitsPerPixel, alignment));
    bitmap.pixels = AllocateZeroed<BYTE>(uint64_t{bitmap.stride} * uint64_t(bitmap.height));
    if (bitmap.pixels == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    return true;
}

// A device-dependent bitmap: top-down rows, WORD-aligned as on the device.
std::optional<Bitmap> MakeDeviceBitmap(int32_t width, int32_t height, uint16_t bitsPerPixel) {
    Bitmap bitmap;
    bitmap.width = width;
    bitmap.height = height;
    bitmap.bitsPerPixel = bitsPerPixel;
    bitmap.channels = bitsPerPixel == 16 ? platform::detail::kChannels565 : platform::detail::kChannels888;
    if (!AllocatePixels(bitmap, 2)) return std::nullopt;
    return bitmap;
}

std::optional<Palette> MakePalette(const PALETTEENTRY* entries, uint32_t count) {
    Palette palette;
    palette.entries = AllocateZeroed<PALETTEENTRY>(count);
    if (palette.entries == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return std::nullopt;
    }
    std::memcpy(palette.entries.get(), entries, count * sizeof(PALETTEENTRY));
    palette.count = count;
    return palette;
}

HGDIOBJ StockPalette() {
    if (stockPalette == nullptr) {
        std::optional<Palette> palette = MakePalette(kDefaultColors, std::size(kDefaultColors));
        if (palette) stockPalette = Add(std::move(*palette), true);
    }
    return stockPalette;
}

// What a new memory context holds until a bitmap of the caller's replaces it.
HGDIOBJ StockBitmap() {
    if (stockBitmap == nullptr) {
        std::optional<Bitmap> bitmap = MakeDeviceBitmap(1, 1, 1);
        if (bitmap) stockBitmap = Add(std::move(*bitmap), true);
    }
    return stockBitmap;
}

Selection Select(HGDIOBJ handle) {
    Selection selection{handle, objects.Find(handle)};
    ++selection.object->selections;
    return selection;
}

void Unselect(Selection& selection) {
    if (selection.object != nullptr) --selection.object->selections;
    selection = {};
}

// Puts `handle` into `slot` and returns what was there.
HGDIOBJ Replace(Selection& slot, HGDIOBJ handle) {
    const HGDIOBJ previous = slot.handle;
    if (previous != handle) {
        Unselect(slot);
        slot = Select(handle);
    }
    return previous;
}

HDC NewContext(bool screen) {
    const HGDIOBJ palette = StockPalette();
    const HGDIOBJ bitmap = screen ? nullptr : StockBitmap();
    if (palette == nullptr || (!screen && bitmap == nullptr)) return nullptr;
    const HGDIOBJ dc = Add(DeviceContext{screen, {}, {}});
    if (dc == nullptr) return nullptr;
    DeviceContext* context = Find<DeviceContext>(dc);
    context->palette = Select(palette);
    if (!screen) context->bitmap = Select(bitmap);
    return static_cast<HDC>(dc);
}

// Ends a context of the wanted kind: its selections are let go.
BOOL EndContext(HDC dc, bool screen) {
    DeviceContext* context = Find<DeviceContext>(dc);
    if (context == nullptr) return FALSE;
    if (context->screen != screen) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    Unselect(context->bitmap);
    Unselect(context->palette);
    objects.Remove(dc);
    return TRUE;
}

// The bitmap a context draws on; null with ERROR_NOT_ENOUGH_MEMORY when the
// screen's surface cannot be made.
Bitmap* SurfaceOf(const DeviceContext& context) {
    if (!context.screen) return &std::get<Bitmap>(context.bitmap.object->body);
    if (!screenSurface) screenSurface = MakeDeviceBitmap(platform::kScreenWidth, platform::kScreenHeight, static_cast<uint16_t>(screenDepth));
    return screenSurface ? &*screenSurface : nullptr;
}

Rgb RgbOf(BYTE red, BYTE green, BYTE blue) { return Rgb{red} << 16 | Rgb{green} << 8 | blue; }

// How the pixels of `bitmap` read through a context holding `palette`.
PixelEncoding EncodingOf(const Bitmap& bitmap, const Palette& palette) {
    PixelEncoding encoding;
    encoding.bitsPerPixel = bitmap.bitsPerPixel;
    if (bitmap.bitsPerPixel > 8) {
        encoding.channels = bitmap.channels;
        return encoding;
    }
    const uint32_t size = 1u << bitmap.bitsPerPixel;
    if (!bitmap.deviceDependent) {
        encoding.colorCount = size;
        for (uint32_t i = 0; i < size; ++i) {
            const RGBQUAD& c = bitmap.colors[i];
            encoding.colors[i] = RgbOf(c.rgbRed, c.rgbGreen, c.rgbBlue);
        }
    } else if (bitmap.bitsPerPixel == 1) {
        encoding.colorCount = 2;
        encoding.colors[1] = 0xFFFFFF;
    } else {
        encoding.colorCount = std::min(size, palette.count);
        for (uint32_t i = 0; i < encoding.colorCount; ++i) {
            const PALETTEENTRY& e = palette.entries[i];
            encoding.colors[i] = RgbOf(e.peRed, e.peGreen, e.peBlue);
        }
    }
    return encoding;
}

const Palette& PaletteOf(const DeviceContext& context) { return std::get<Palette>(context.palette.object->body); }

// Clips a run of `length` starting at `source` and `target` to [0, limit)
// on both sides.
void ClipRun(int64_t& source, int64_t& target, int64_t& length, int64_t sourceLimit, int64_t targetLimit) {
    const int64_t skip = std::max({int64_t{0}, -source, -target});
    source += skip;
    target += skip;
    length = std::min({length - skip, sourceLimit - source, targetLimit - target});
}

// The colour table of the DIB section selected into `dc`, with its size.
RGBQUAD* SelectedColorTable(HDC dc, UINT* size) {
    DeviceContext* context = Find<DeviceContext>(dc);
    if (context == nullptr) return nullptr;
    Bitmap* bitmap = context->screen ? nullptr : &std::get<Bitmap>(context->bitmap.object->body);
    if (bitmap == nullptr || bitmap->deviceDependent || bitmap->bitsPerPixel > 8) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    *size = 1u << bitmap->bitsPerPixel;
    return bitmap->colors.data();
}

// How many of `count` entries from `start` a table of `size` has.
UINT EntriesFrom(UINT start, UINT count, UINT size) { return start >= size ? 0 : std::min(count, size - start); }

// The colour table and masks of a DIB section's description, which the
// caller's block holds behind the header.
bool ReadColorsAndMasks(const BITMAPINFO* info, Bitmap& bitmap) {
    const BITMAPINFOHEADER& header = info->bmiHeader;
    const BYTE* behind = reinterpret_cast<const BYTE*>(info);
    if (header.biCompression == BI_BITFIELDS) {
        DWORD masks[3];
        std::memcpy(masks, behind + sizeof(BITMAPINFOHEADER), sizeof masks);
        return platform::detail::ChannelsOfMasks(masks, header.biBitCount, &bitmap.channels);
    }
    if (header.biBitCount == 16) bitmap.channels = platform::detail::kChannels555;
    if (header.biBitCount > 16) bitmap.channels = platform::detail::kChannels888;
    if (header.biBitCount <= 8) {
        const uint32_t size = 1u << header.biBitCount;
        const uint32_t count = header.biClrUsed == 0 ? size : std::min(header.biClrUsed, size);
        std::memcpy(bitmap.colors.data(), behind + header.biSize, count * sizeof(RGBQUAD));
    }
    return true;
}

bool DescribesDibSection(const BITMAPINFOHEADER& header) {
    if (header.biSize < sizeof(BITMAPINFOHEADER) || header.biWidth <= 0 || header.biHeight == 0 ||
        header.biHeight == INT32_MIN || header.biPlanes != 1 || !IsDepth(header.biBitCount)) {
        return false;
    }
    return header.biCompression == BI_RGB ||
           (header.biCompression == BI_BITFIELDS && (header.biBitCount == 16 || header.biBitCount == 32));
}

}  // namespace

// --- Device contexts ---------------------------------------------------------

HDC GetDC(HWND window) {
    std::lock_guard<std::mutex> guard(gdiLock);
    if (window != nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return NewContext(true);
}

int ReleaseDC(HWND window, HDC dc) {
    std::lock_guard<std::mutex> guard(gdiLock);
    if (window != nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return EndContext(dc, true);
}

HDC CreateCompatibleDC(HDC dc) {
    std::lock_guard<std::mutex> guard(gdiLock);
    if (dc != nullptr && Find<DeviceContext>(dc) == nullptr) return nullptr;
    return NewContext(false);
}

BOOL DeleteDC(HDC dc) {
    std::lock_guard<std::mutex> guard(gdiLock);
    return EndContext(dc, false);
}

int GetDeviceCaps(HDC dc, int index) {
    std::lock_guard<std::mutex> guard(gdiLock);
    if (Find<DeviceContext>(dc) == nullptr) return 0;
    const bool palettized = screenDepth <= 8;
    switch (index) {
    case BITSPIXEL:
        return screenDepth;
    case PLANES:
        return 1;
    case SIZEPALETTE:
        return palettized ? 1 << screenDepth : 0;
    case NUMCOLORS:
        return screenDepth == 8 ? static_cast<int>(std::size(kDefaultColors)) : palettized ? 1 << screenDepth : -1;
    case RASTERCAPS:
        return RC_BITBLT | RC_DI_BITMAP | (palettized ? RC_PALETTE : 0);
    case HORZRES:
        return platform::kScreenWidth;
    case VERTRES:
        return platform::kScreenHeight;
    default:
        return 0;
    }
}

// --- Objects -----------------------------------------------------------------

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
    std::lock_guard<std::mutex> guard(gdiLock);
    DeviceContext* context = Find<DeviceContext>(dc);
    if (context == nullptr) return nullptr;
    std::shared_ptr<GdiObject> found = objects.Find(object);
    if (found != nullptr && std::holds_alternative<Palette>(found->body)) return Replace(context->palette, object);
    if (found == nullptr || !std::holds_alternative<Bitmap>(found->body)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (context->screen) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (context->bitmap.handle != object && !found->stock && found->selections > 0) {
        SetLastError(ERROR_BUSY);
        return nullptr;
    }
    return Replace(context->bitmap, object);
}

BOOL DeleteObject(HGDIOBJ object) {
    std::lock_guard<std::mutex> guard(gdiLock);
    const std::shared_ptr<GdiObject> found = objects.Find(object);
    if (found == nullptr || std::holds_alternative<DeviceContext>(found->body)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (found->stock) return TRUE;
    if (found->selections > 0) {
        SetLastError(ERROR_BUSY);
        return FALSE;
    }
    objects.Remove(object);
    return TRUE;
}

HGDIOBJ GetStockObject(int index) {
    std::lock_guard<std::mutex> guard(gdiLock);
    if (index != DEFAULT_PALETTE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return StockPalette();
}

int GetObjectW(HGDIOBJ object, int size, LPVOID buffer) {
    std::lock_guard<std::mutex> guard(gdiLock);
    const std::shared_ptr<GdiObject> found = objects.Find(object);
    if (found != nullptr && std::holds_alternative<Palette>(found->body)) {
        const WORD count = static_cast<WORD>(std::get<Palette>(found->body).count);
        if (buffer == nullptr) return sizeof count;
        if (size < static_cast<int>(sizeof count)) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return 0;
        }
        std::memcpy(buffer, &count, sizeof count);
        return sizeof count;
    }
    if (found == nullptr || !std::holds_alternative<Bitmap>(found->body)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    const Bitmap& bitmap = std::get<Bitmap>(found->body);
    DIBSECTION section{};
    section.dsBm = {0,
                    bitmap.width,
                    bitmap.height,
                    static_cast<LONG>(bitmap.stride),
                    1,
                    bitmap.bitsPerPixel,
                    bitmap.deviceDependent ? nullptr : bitmap.pixels.get()};
    const int full = bitmap.deviceDependent ? sizeof(BITMAP) : sizeof(DIBSECTION);
    if (buffer == nullptr) return full;
    if (size >= full && !bitmap.deviceDependent) {
        section.dsBmih = bitmap.header;
        if (bitmap.bitsPerPixel == 16 || bitmap.bitsPerPixel == 32) {
            for (int i = 0; i < 3; ++i) section.dsBitfields[i] = platform::detail::MaskOf(bitmap.channels[i]);
        }
        std::memcpy(buffer, &section, sizeof section);
        return sizeof section;
    }
    if (size < static_cast<int>(sizeof(BITMAP))) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(buffer, &section.dsBm, sizeof(BITMAP));
    return sizeof(BITMAP);
}

// --- Palettes ----------------------------------------------------------------

HPALETTE CreatePalette(const LOGPALETTE* palette) {
    if (palette == nullptr || palette->palVersion != 0x300 || palette->palNumEntries == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // The entries run on in the caller's block beyond the declared array.
    const auto* entries = reinterpret_cast<const PALETTEENTRY*>(reinterpret_cast<const BYTE*>(palette) +
                                                                offsetof(LOGPALETTE, palPalEntry));
    std::lock_guard<std::mutex> guard(gdiLock);
    std::optional<Palette> made = MakePalette(entries, palette->palNumEntries);
    return made ? static_cast<HPALETTE>(Add(std::move(*made))) : nullptr;
}

HPALETTE SelectPalette(HDC dc, HPALETTE palette, BOOL) {
    std::lock_guard<std::mutex> guard(gdiLock);
    DeviceContext* context = Find<DeviceContext>(dc);
    if (context == nullptr || Find<Palette>(palette) == nullptr) return nullptr;
    return static_cast<HPALETTE>(Replace(context->palette, palette));
}

UINT RealizePalette(HDC dc) {
    std::lock_guard<std::mutex> guard(gdiLock);
    const DeviceContext* context = Find<DeviceContext>(dc);
    if (context == nullptr) return GDI_ERROR;
    if (screenDepth > 8) return 0;
    return std::min(PaletteOf(*context).count, 1u << screenDepth);
}

UINT GetPaletteEntries(HPALETTE palette, UINT start, UINT count, PALETTEENTRY* entries) {
    std::lock_guard<std::mutex> guard(gdiLock);
    const Palette* found = Find<Palette>(palette);
    if (found == nullptr) return 0;
    if (entries == nullptr) return found->count;
    const UINT copied = EntriesFrom(start, count, found->count);
    std::copy_n(found->entries.get() + start, copied, entries);
    return copied;
}

// --- Bitmaps -----------------------------------------------------------------

HBITMAP CreateDIBSection(HDC, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section, DWORD) {
    if (bits != nullptr) *bits = nullptr;
    if (usage == DIB_PAL_COLORS || section != nullptr) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    Bitmap bitmap;
    if (info == nullptr || usage != DIB_RGB_COLORS || !DescribesDibSection(info->bmiHeader) ||
        !ReadColorsAndMasks(info, bitmap)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const BITMAPINFOHEADER& header = info->bmiHeader;
    bitmap.width = header.biWidth;
    bitmap.height = header.biHeight < 0 ? -header.biHeight : header.biHeight;
    bitmap.bitsPerPixel = header.biBitCount;
    bitmap.deviceDependent = false;
    bitmap.topDown = header.biHeight < 0;
    std::lock_guard<std::mutex> guard(gdiLock);
    if (!AllocatePixels(bitmap, 4)) return nullptr;
    bitmap.header = header;
    bitmap.header.biSizeImage = bitmap.stride * static_cast<uint32_t>(bitmap.height);
    BYTE* pixels = bitmap.pixels.get();
    const HGDIOBJ made = Add(std::move(bitmap));
    if (made != nullptr && bits != nullptr) *bits = pixels;
    return static_cast<HBITMAP>(made);
}

HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height) {
    std::lock_guard<std::mutex> guard(gdiLock);
    const DeviceContext* context = Find<DeviceContext>(dc);
    if (context == nullptr) return nullptr;
    if (width <= 0 || height <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const int depth = context->screen ? screenDepth : std::get<Bitmap>(context->bitmap.object->body).bitsPerPixel;
    std::optional<Bitmap> bitmap = MakeDeviceBitmap(width, height, static_cast<uint16_t>(depth));
    return bitmap ? static_cast<HBITMAP>(Add(std::move(*bitmap))) : nullptr;
}

UINT GetDIBColorTable(HDC dc, UINT start, UINT count, RGBQUAD* colors) {
    std::lock_guard<std::mutex> guard(gdiLock);
    UINT size = 0;
    const RGBQUAD* table = SelectedColorTable(dc, &size);
    if (table == nullptr) return 0;
    const UINT copied = colors != nullptr ? EntriesFrom(start, count, size) : 0;
    std::copy_n(table + start, copied, colors);
    return copied;
}

UINT SetDIBColorTable(HDC dc, UINT start, UINT count, const RGBQUAD* colors) {
    std::lock_guard<std::mutex> guard(gdiLock);
    UINT size = 0;
    RGBQUAD* table = SelectedColorTable(dc, &size);
    if (table == nullptr) return 0;
    const UINT copied = colors != nullptr ? EntriesFrom(start, count, size) : 0;
    std::copy_n(colors, copied, table + start);
    return copied;
}

BOOL BitBlt(HDC target, int x, int y, int width, int height, HDC source, int sourceX, int sourceY, DWORD rop) {
    std::lock_guard<std::mutex> guard(gdiLock);
    if (rop != SRCCOPY) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    const DeviceContext* to = Find<DeviceContext>(target);
    const DeviceContext* from = to != nullptr ? Find<DeviceContext>(source) : nullptr;
    if (from == nullptr) return FALSE;
    Bitmap* toBitmap = SurfaceOf(*to);
    const Bitmap* fromBitmap = toBitmap != nullptr ? SurfaceOf(*from) : nullptr;
    if (fromBitmap == nullptr) return FALSE;

    int64_t sx = sourceX, sy = sourceY, tx = x, ty = y, columns = width, rows = height;
    ClipRun(sx, tx, columns, fromBitmap->width, toBitmap->width);
    ClipRun(sy, ty, rows, fromBitmap->height, toBitmap->height);
    if (columns <= 0 || rows <= 0) return TRUE;

    Block<uint32_t> scratch = AllocateZeroed<uint32_t>(static_cast<uint64_t>(columns));
    if (scratch == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    const PixelEncoding fromEncoding = EncodingOf(*fromBitmap, PaletteOf(*from));
    const PixelEncoding toEncoding = EncodingOf(*toBitmap, PaletteOf(*to));
    // Within one bitmap, rows moving down are copied from the bottom up so
    // that none is overwritten before it is read.
    const bool upwards = fromBitmap == toBitmap && ty > sy;
    for (int64_t i = 0; i < rows; ++i) {
        const int64_t row = upwards ? rows - 1 - i : i;
        platform::detail::ConvertPixels(fromEncoding, fromBitmap->Row(static_cast<int32_t>(sy + row)), static_cast<int32_t>(sx),
                                        toEncoding, toBitmap->Row(static_cast<int32_t>(ty + row)), static_cast<int32_t>(tx),
                                        static_cast<int32_t>(columns), scratch.get());
    }
    return TRUE;
}

namespace platform {

bool SetScreenDepth(int bitsPerPixel) {
    if (!IsDepth(bitsPerPixel)) return false;
    std::lock_guard<std::mutex> guard(gdiLock);
    screenDepth = bitsPerPixel;
    screenSurface.reset();
    return true;
}

int ScreenDepth() {
    std::lock_guard<std::mutex> guard(gdiLock);
    return screenDepth;
}

void EncodeFileHeader(const BITMAPFILEHEADER& header, BYTE (&bytes)[kFileHeaderSize]) {
    const auto put = [&bytes](size_t at, uint32_t value, size_t width) {
        for (size_t i = 0; i < width; ++i) bytes[at + i] = static_cast<BYTE>(value >> (8 * i));
    };
    put(0, header.bfType, 2);
    put(2, header.bfSize, 4);
    put(6, header.bfReserved1, 2);
    put(8, header.bfReserved2, 2);
    put(10, header.bfOffBits, 4);
}

BITMAPFILEHEADER DecodeFileHeader(const BYTE (&bytes)[kFileHeaderSize]) {
    const auto get = [&bytes](size_t at, size_t width) {
        uint32_t value = 0;
        for (size_t i = width; i-- > 0;) value = value << 8 | bytes[at + i];
        return value;
    };
    return {static_cast<WORD>(get(0, 2)), get(2, 4), static_cast<WORD>(get(6, 2)), static_cast<WORD>(get(8, 2)),
            get(10, 4)};
}

}  // namespace platform
