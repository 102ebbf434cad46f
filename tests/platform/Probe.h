// Pixels in and out of bitmaps for the graphics and image loader tests:
// DIB sections described field by field, memory contexts that clean up, and
// colours (0xRRGGBB) moved through a 32-bit top-down DIB section.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <span>
#include <vector>

#include "platform/Errors.h"
#include "platform/Faults.h"
#include "platform/Graphics.h"

namespace probe {

struct DibShape {
    int32_t width = 1;
    int32_t height = 1;  // negative: top-down
    uint16_t bits = 32;
    DWORD compression = BI_RGB;
    std::array<DWORD, 3> masks{};
    std::vector<uint32_t> colors{};  // 0xRRGGBB, the colour table
    DWORD colorsUsed = 0;
};

// The packed description CreateDIBSection reads: header, then masks or table.
inline std::vector<DWORD> DescribeDib(const DibShape& shape) {
    std::vector<DWORD> words(sizeof(BITMAPINFOHEADER) / 4 + 256 + 3, 0);
    BITMAPINFOHEADER header{sizeof(BITMAPINFOHEADER), shape.width, shape.height, 1, shape.bits, shape.compression,
                            0, 0, 0, shape.colorsUsed, 0};
    std::memcpy(words.data(), &header, sizeof header);
    DWORD* behind = words.data() + sizeof header / 4;
    if (shape.compression == BI_BITFIELDS) std::copy(shape.masks.begin(), shape.masks.end(), behind);
    for (size_t i = 0; i < shape.colors.size(); ++i) behind[i] = shape.colors[i];  // RGBQUAD is 0x00RRGGBB little-endian
    return words;
}

inline HBITMAP MakeDib(const DibShape& shape, void** bits = nullptr) {
    const std::vector<DWORD> words = DescribeDib(shape);
    void* ignored = nullptr;
    return CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(words.data()), DIB_RGB_COLORS,
                            bits != nullptr ? bits : &ignored, nullptr, 0);
}

inline uint32_t DibStride(int32_t width, int bits) { return static_cast<uint32_t>((width * bits + 31) / 32 * 4); }

// A memory context holding `bitmap` (and `palette` when given) for its lifetime.
class Selected {
public:
    explicit Selected(HGDIOBJ bitmap, HPALETTE palette = nullptr) : dc_(CreateCompatibleDC(nullptr)) {
        EXPECT_NE(dc_, nullptr);
        oldBitmap_ = SelectObject(dc_, bitmap);
        EXPECT_NE(oldBitmap_, nullptr);
        if (palette != nullptr) oldPalette_ = SelectPalette(dc_, palette, FALSE);
    }
    ~Selected() {
        if (oldPalette_ != nullptr) SelectPalette(dc_, oldPalette_, FALSE);
        SelectObject(dc_, oldBitmap_);
        DeleteDC(dc_);
    }
    Selected(const Selected&) = delete;
    Selected& operator=(const Selected&) = delete;
    HDC dc() const { return dc_; }

private:
    HDC dc_;
    HGDIOBJ oldBitmap_ = nullptr;
    HPALETTE oldPalette_ = nullptr;
};

// A 32-bit top-down DIB section whose pixels the test reads and writes.
class Canvas32 {
public:
    Canvas32(int32_t width, int32_t height) : width_(width), height_(height) {
        DibShape shape;
        shape.width = width;
        shape.height = -height;
        void* bits = nullptr;
        bitmap_ = MakeDib(shape, &bits);
        bits_ = static_cast<uint32_t*>(bits);
        EXPECT_NE(bitmap_, nullptr);
    }
    ~Canvas32() { DeleteObject(bitmap_); }
    Canvas32(const Canvas32&) = delete;
    Canvas32& operator=(const Canvas32&) = delete;

    HBITMAP bitmap() const { return bitmap_; }
    uint32_t& At(int32_t x, int32_t y) { return bits_[y * width_ + x]; }
    std::vector<uint32_t> Pixels() const {
        std::vector<uint32_t> pixels(bits_, bits_ + size_t(width_) * size_t(height_));
        for (uint32_t& p : pixels) p &= 0xFFFFFF;
        return pixels;
    }
    void Fill(std::span<const uint32_t> pixels) { std::copy(pixels.begin(), pixels.end(), bits_); }

private:
    int32_t width_;
    int32_t height_;
    HBITMAP bitmap_ = nullptr;
    uint32_t* bits_ = nullptr;
};

// The colours of `bitmap`, read through a context holding `palette`.
inline std::vector<uint32_t> ReadColors(HBITMAP bitmap, int32_t width, int32_t height, HPALETTE palette = nullptr) {
    Canvas32 canvas(width, height);
    Selected from(bitmap, palette);
    Selected to(canvas.bitmap());
    EXPECT_TRUE(BitBlt(to.dc(), 0, 0, width, height, from.dc(), 0, 0, SRCCOPY));
    return canvas.Pixels();
}

inline void WriteColors(HBITMAP bitmap, int32_t width, int32_t height, std::span<const uint32_t> colors,
                        HPALETTE palette = nullptr) {
    Canvas32 canvas(width, height);
    canvas.Fill(colors);
    Selected from(canvas.bitmap());
    Selected to(bitmap, palette);
    EXPECT_TRUE(BitBlt(to.dc(), 0, 0, width, height, from.dc(), 0, 0, SRCCOPY));
}

// Pixel `x` of a row, `bits` per pixel, the leftmost in the high bits.
inline uint32_t RawPixel(const BYTE* row, int32_t x, int bits) {
    if (bits < 8) {
        const int perByte = 8 / bits;
        return (row[x / perByte] >> ((perByte - 1 - x % perByte) * bits)) & ((1u << bits) - 1);
    }
    uint32_t value = 0;
    for (int i = 0; i < bits / 8; ++i) value |= uint32_t{row[x * (bits / 8) + i]} << (8 * i);
    return value;
}

inline void SetRawPixel(BYTE* row, int32_t x, int bits, uint32_t value) {
    if (bits < 8) {
        const int perByte = 8 / bits;
        const int shift = (perByte - 1 - x % perByte) * bits;
        row[x / perByte] = static_cast<BYTE>((row[x / perByte] & ~(((1u << bits) - 1) << shift)) | value << shift);
        return;
    }
    for (int i = 0; i < bits / 8; ++i) row[x * (bits / 8) + i] = static_cast<BYTE>(value >> (8 * i));
}

// The expected narrowing of an 8-bit channel to `bits` and widening back.
inline uint32_t Narrow(uint32_t value, int bits) { return static_cast<uint32_t>(std::lround(value * ((1 << bits) - 1) / 255.0)); }
inline uint32_t Widen(uint32_t value, int bits) {
    switch (bits) {
    case 5:
        return (value << 3) | (value >> 2);
    case 6:
        return (value << 2) | (value >> 4);
    case 4:
        return value * 17;
    default:
        return value;
    }
}

inline uint32_t Rgb565(uint32_t rgb) {
    return Narrow(rgb >> 16 & 0xFF, 5) << 11 | Narrow(rgb >> 8 & 0xFF, 6) << 5 | Narrow(rgb & 0xFF, 5);
}

// Makes the 1st, 2nd, ... allocation of `call` fail until it gets through;
// every failure must report ERROR_NOT_ENOUGH_MEMORY. `call` cleans up what
// it made and returns whether it succeeded.
template <class Call>
void FailEachAllocation(const Call& call) {
    for (uint32_t n = 1;; ++n) {
        SCOPED_TRACE(testing::Message() << "allocation " << n);
        platform::FaultInjector injector;
        platform::ScopedFaultInjector scope(injector);
        injector.FailNth(platform::FaultOp::Alloc, n, ERROR_NOT_ENOUGH_MEMORY);
        SetLastError(0);
        const bool succeeded = call();
        if (!injector.Fired(platform::FaultOp::Alloc)) {
            EXPECT_TRUE(succeeded);
            EXPECT_GT(n, 1u) << "the call allocates nothing";
            return;
        }
        EXPECT_FALSE(succeeded);
        EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
    }
}

}  // namespace probe
