#include "platform/Pixels.h"

#include <bit>

namespace platform::detail {

namespace {

uint32_t ReadPixel(const BYTE* row, int32_t x, uint16_t bitsPerPixel) {
    switch (bitsPerPixel) {
    case 1:
        return (row[x >> 3] >> (7 - (x & 7))) & 1u;
    case 4:
        return (row[x >> 1] >> ((x & 1) != 0 ? 0 : 4)) & 0xFu;
    case 8:
        return row[x];
    case 16: {
        const BYTE* p = row + 2 * static_cast<size_t>(x);
        return p[0] | uint32_t{p[1]} << 8;
    }
    case 24: {
        const BYTE* p = row + 3 * static_cast<size_t>(x);
        return p[0] | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16;
    }
    default: {
        const BYTE* p = row + 4 * static_cast<size_t>(x);
        return p[0] | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
    }
    }
}

void WritePixel(BYTE* row, int32_t x, uint16_t bitsPerPixel, uint32_t value) {
    switch (bitsPerPixel) {
    case 1: {
        const int shift = 7 - (x & 7);
        BYTE& byte = row[x >> 3];
        byte = static_cast<BYTE>((byte & ~(1u << shift)) | (value & 1u) << shift);
        return;
    }
    case 4: {
        const int shift = (x & 1) != 0 ? 0 : 4;
        BYTE& byte = row[x >> 1];
        byte = static_cast<BYTE>((byte & ~(0xFu << shift)) | (value & 0xFu) << shift);
        return;
    }
    case 8:
        row[x] = static_cast<BYTE>(value);
        return;
    default: {
        BYTE* p = row + static_cast<size_t>(bitsPerPixel / 8) * static_cast<size_t>(x);
        for (int i = 0; i < bitsPerPixel / 8; ++i) p[i] = static_cast<BYTE>(value >> (8 * i));
        return;
    }
    }
}

Rgb Decode(const PixelEncoding& encoding, uint32_t value) {
    if (encoding.bitsPerPixel <= 8) return value < encoding.colorCount ? encoding.colors[value] : 0;
    Rgb rgb = 0;
    for (const Channel channel : encoding.channels) {
        const uint32_t field = (value >> channel.shift) & ((1u << channel.bits) - 1);
        rgb = rgb << 8 | WidenChannel(field, channel.bits);
    }
    return rgb;
}

// The first of the closest colours.
uint32_t NearestIndex(const PixelEncoding& encoding, Rgb rgb) {
    uint32_t best = 0;
    uint32_t bestDistance = UINT32_MAX;
    for (uint32_t i = 0; i < encoding.colorCount && bestDistance != 0; ++i) {
        uint32_t distance = 0;
        for (int shift = 0; shift < 24; shift += 8) {
            const int difference = static_cast<int>((rgb >> shift) & 0xFF) - static_cast<int>((encoding.colors[i] >> shift) & 0xFF);
            distance += static_cast<uint32_t>(difference * difference);
        }
        if (distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return best;
}

uint32_t EncodeDirect(const PixelEncoding& encoding, Rgb rgb) {
    uint32_t value = 0;
    for (int i = 0; i < 3; ++i) {
        const Channel channel = encoding.channels[i];
        value |= NarrowChannel(static_cast<uint8_t>(rgb >> (16 - 8 * i)), channel.bits) << channel.shift;
    }
    return value;
}

}  // namespace

bool ChannelsOfMasks(const DWORD (&masks)[3], uint16_t bitsPerPixel, Channels* channels) {
    const uint64_t pixel = (uint64_t{1} << bitsPerPixel) - 1;
    DWORD seen = 0;
    for (int i = 0; i < 3; ++i) {
        const DWORD mask = masks[i];
        if (mask == 0 || (mask & ~pixel) != 0 || (mask & seen) != 0) return false;
        const int shift = std::countr_zero(mask);
        const int bits = std::popcount(mask);
        if (bits > 8 || (mask >> shift) != (1u << bits) - 1) return false;
        (*channels)[i] = {static_cast<uint8_t>(shift), static_cast<uint8_t>(bits)};
        seen |= mask;
    }
    return true;
}

DWORD MaskOf(Channel channel) { return ((1u << channel.bits) - 1) << channel.shift; }

// Repeating the bits from the top makes the extremes exact (all ones becomes
// 255) and spreads the values evenly.
uint8_t WidenChannel(uint32_t value, uint8_t bits) {
    uint32_t wide = 0;
    for (int shift = 8 - bits; shift > -bits; shift -= bits) wide |= shift >= 0 ? value << shift : value >> -shift;
    return static_cast<uint8_t>(wide);
}

uint32_t NarrowChannel(uint8_t value, uint8_t bits) {
    const uint32_t top = (1u << bits) - 1;
    return (value * top + 127) / 255;
}

bool SameEncoding(const PixelEncoding& a, const PixelEncoding& b) {
    if (a.bitsPerPixel != b.bitsPerPixel) return false;
    if (a.bitsPerPixel > 8) return a.channels == b.channels;
    if (a.colorCount != b.colorCount) return false;
    for (uint32_t i = 0; i < a.colorCount; ++i) {
        if (a.colors[i] != b.colors[i]) return false;
    }
    return true;
}

uint64_t RowBytes(uint64_t width, uint16_t bitsPerPixel, uint32_t alignment) {
    const uint64_t alignBits = uint64_t{alignment} * 8;
    return (width * bitsPerPixel + alignBits - 1) / alignBits * alignment;
}

void ConvertPixels(const PixelEncoding& from, const BYTE* source, int32_t sourceX, const PixelEncoding& to,
                   BYTE* target, int32_t targetX, int32_t count, uint32_t* scratch) {
    for (int32_t i = 0; i < count; ++i) scratch[i] = ReadPixel(source, sourceX + i, from.bitsPerPixel);
    if (SameEncoding(from, to)) {
        for (int32_t i = 0; i < count; ++i) WritePixel(target, targetX + i, to.bitsPerPixel, scratch[i]);
        return;
    }
    // Pictures repeat colours, so the last match spares most table searches.
    Rgb lastRgb = 0;
    uint32_t lastIndex = 0;
    bool haveLast = false;
    for (int32_t i = 0; i < count; ++i) {
        const Rgb rgb = Decode(from, scratch[i]);
        uint32_t value = 0;
        if (to.bitsPerPixel > 8) {
            value = EncodeDirect(to, rgb);
        } else {
            if (!haveLast || rgb != lastRgb) {
                lastIndex = NearestIndex(to, rgb);
                lastRgb = rgb;
                haveLast = true;
            }
            value = lastIndex;
        }
        WritePixel(target, targetX + i, to.bitsPerPixel, value);
    }
}

}  // namespace platform::detail
