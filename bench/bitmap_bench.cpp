// The round trip of a screen-sized drawing through the internal drawing
// block: a 240x320 24-bit DIB, white with pen strokes, converted to the
// block (which frees the DIB) and back to a new DIB, which the next round
// takes. Each conversion makes its own compressor, as the outline item's
// accessors do, so its work block is allocated every time.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <random>

#include "notestore/drawings/ZRBitmap.h"
#include "platform/Graphics.h"

namespace {

constexpr int32_t kWidth = 240;
constexpr int32_t kHeight = 320;
constexpr uint32_t kRowBytes = kWidth * 3;  // already a multiple of 4

// Straight strokes two pixels wide between random points, in a few pen
// colours, on white.
MemHandle StrokedDrawing() {
    const uint32_t imageSize = kRowBytes * kHeight;
    MemHandle dib = MemAlloc(sizeof(BITMAPINFOHEADER) + imageSize);
    auto* bytes = static_cast<uint8_t*>(MemGetPtr(dib));
    const BITMAPINFOHEADER header{sizeof header, kWidth, kHeight, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    std::memcpy(bytes, &header, sizeof header);
    uint8_t* pixels = bytes + sizeof header;
    std::memset(pixels, 0xFF, imageSize);
    const uint8_t pens[][3] = {{0x20, 0x20, 0x20}, {0xC0, 0x30, 0x00}, {0x00, 0x00, 0xD0}, {0x10, 0x90, 0x10}};
    std::mt19937 engine(2403);
    for (int stroke = 0; stroke < 40; ++stroke) {
        const uint8_t* pen = pens[engine() % std::size(pens)];
        const int x0 = static_cast<int>(engine() % (kWidth - 1)), y0 = static_cast<int>(engine() % (kHeight - 1));
        const int x1 = static_cast<int>(engine() % (kWidth - 1)), y1 = static_cast<int>(engine() % (kHeight - 1));
        const int steps = std::max(std::abs(x1 - x0), std::abs(y1 - y0)) + 1;
        for (int i = 0; i < steps; ++i) {
            const int x = x0 + (x1 - x0) * i / steps;
            const int y = y0 + (y1 - y0) * i / steps;
            for (int d = 0; d < 2; ++d) {
                std::memcpy(pixels + (y + d) * kRowBytes + (x + d) * 3, pen, 3);
                std::memcpy(pixels + y * kRowBytes + (x + d) * 3, pen, 3);
            }
        }
    }
    return dib;
}

void RoundTripDrawing(benchmark::State& state) {
    MemHandle dib = StrokedDrawing();
    for (auto _ : state) {
        MemHandle block = ConvertDibToInternalFormat(dib);
        if (block == nullptr) {
            state.SkipWithError("the drawing was not converted");
            break;
        }
        dib = ConvertInternalFormatToDib(block);
        MemFree(block);
        if (dib == nullptr) {
            state.SkipWithError("the block was not converted");
            break;
        }
        benchmark::DoNotOptimize(dib);
    }
    MemFree(dib);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 2 * kRowBytes * kHeight);
}

}  // namespace

BENCHMARK(RoundTripDrawing)->Unit(benchmark::kMicrosecond);
