// Pixel encodings and the conversion of pixel runs between them (internal to
// the layer; the rules are those described in Graphics.h).
#pragma once

#include <array>
#include <cstdint>

#include "platform/Types.h"

namespace platform::detail {

// A colour on its way between encodings: 0x00RRGGBB.
using Rgb = uint32_t;

// Where one colour channel sits in a pixel value.
struct Channel {
    uint8_t shift = 0;
    uint8_t bits = 0;
    bool operator==(const Channel&) const = default;
};

// Red, green and blue, in that order.
using Channels = std::array<Channel, 3>;

constexpr Channels kChannels555{{{10, 5}, {5, 5}, {0, 5}}};
constexpr Channels kChannels565{{{11, 5}, {5, 6}, {0, 5}}};
constexpr Channels kChannels888{{{16, 8}, {8, 8}, {0, 8}}};

// The channels of red, green and blue `masks` for pixels of `bitsPerPixel`
// bits: false unless each mask is a run of 1 to 8 contiguous bits inside the
// pixel and no two overlap.
bool ChannelsOfMasks(const DWORD (&masks)[3], uint16_t bitsPerPixel, Channels* channels);
DWORD MaskOf(Channel channel);

uint8_t WidenChannel(uint32_t value, uint8_t bits);
uint32_t NarrowChannel(uint8_t value, uint8_t bits);

struct PixelEncoding {
    uint16_t bitsPerPixel = 0;       // 1, 4, 8, 16, 24 or 32
    Channels channels{};             // above 8 bits per pixel
    uint32_t colorCount = 0;         // 8 bits or fewer: the usable entries
    std::array<Rgb, 256> colors{};
};

bool SameEncoding(const PixelEncoding& a, const PixelEncoding& b);

// Bytes of a row of `width` pixels padded to a multiple of `alignment`.
uint64_t RowBytes(uint64_t width, uint16_t bitsPerPixel, uint32_t alignment);

// Converts `count` pixels of the row at `source`, from column `sourceX`, into
// the row at `target` from column `targetX`. The pixels are all read into
// `scratch` (room for `count` values) before any is written, so the two runs
// may overlap.
void ConvertPixels(const PixelEncoding& from, const BYTE* source, int32_t sourceX, const PixelEncoding& to,
                   BYTE* target, int32_t targetX, int32_t count, uint32_t* scratch);

}  // namespace platform::detail
