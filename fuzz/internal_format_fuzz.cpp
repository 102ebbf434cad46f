// Properties, for any byte string held in a memory block:
// - turning it into a DIB gives null or a DIB and leaves the block as it
//   was; never a crash, an out-of-bounds access or a leak;
// - a DIB it gives is accepted by the way back (which frees it), and the
//   block made so turns into the same DIB again, cut to its padded rows
//   (the only part of an image size the way back keeps).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "notestore/drawings/ZRBitmap.h"
#include "notestore/foundation/ByteOrder.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Blocks that claim more pixels than this are only allocated and zero-filled
// by the conversion, at great cost and to no purpose here; the unit tests
// cover their checks.
constexpr uint32_t kLargestImage = 64u << 20;

Bytes Contents(MemHandle handle) {
    const auto* data = static_cast<const uint8_t*>(MemGetPtr(handle));
    return Bytes(data, data + MemGetSize(handle));
}

// The DIB's header, table and padded rows, computed from its header.
size_t PictureBytes(const Bytes& dib) {
    const auto width = static_cast<int32_t>(zr_gen::LoadLE32(dib.data() + 4));
    const auto height = static_cast<int32_t>(zr_gen::LoadLE32(dib.data() + 8));
    const uint16_t bits = zr_gen::LoadLE16(dib.data() + 14);
    const size_t colors = bits <= 8 ? size_t{1} << bits : 0;
    const size_t rowBytes = (size_t{bits} * static_cast<size_t>(width) + 31) / 32 * 4;
    return 40 + 4 * colors + rowBytes * static_cast<size_t>(height < 0 ? -int64_t{height} : height);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > UINT32_MAX) return 0;  // a block holds at least one byte
    if (size >= kDrawingImageSizeAt + 4 && zr_gen::LoadLE32(data + kDrawingImageSizeAt) > kLargestImage) return 0;
    MemHandle block = MemAlloc(static_cast<uint32_t>(size));
    std::memcpy(MemGetPtr(block), data, size);
    MemHandle dib = ConvertInternalFormatToDib(block);
    if (std::memcmp(MemGetPtr(block), data, size) != 0) std::abort();
    MemFree(block);
    if (dib == nullptr) return 0;

    const Bytes first = Contents(dib);
    MemHandle again = ConvertDibToInternalFormat(dib);
    if (again == nullptr) std::abort();
    MemHandle second = ConvertInternalFormatToDib(again);
    MemFree(again);
    if (second == nullptr) std::abort();
    const Bytes rebuilt = Contents(second);
    MemFree(second);
    const size_t picture = PictureBytes(first);
    if (rebuilt.size() != picture || picture > first.size() || std::memcmp(rebuilt.data(), first.data(), picture) != 0) {
        std::abort();
    }
    return 0;
}
