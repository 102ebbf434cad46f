// Drawings as PNG images. A drawing is a packed DIB; its PNG shows the same
// pixels (palette images at their own depth, 16-bit pixels widened to 8 bits
// a channel, 32-bit pixels with their fourth byte as alpha unless that byte
// is 0 throughout) and keeps the DIB's header and colour table in a private
// ancillary chunk, "zrDb", so that the DIB comes back byte for byte from a
// PNG this tool wrote. A PNG without the chunk becomes a 24-bit DIB, any
// transparency composed over white.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <vector>

namespace zro {

struct PngError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Raises PngError for a DIB that is not whole or is run-length encoded.
std::vector<uint8_t> DibToPng(std::span<const uint8_t> dib);
// Raises PngError for a damaged PNG or one over the drawing size limit.
std::vector<uint8_t> PngToDib(std::span<const uint8_t> png);

}  // namespace zro

namespace zro {

// Gives `item` the drawing `dib` (a packed DIB), with the width and height
// its header records (a negative height: rows stored top-down), as the
// document reports them.
struct Item;
void SetItemDrawing(Item& item, std::vector<uint8_t> dib);

}  // namespace zro
