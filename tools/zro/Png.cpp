#include "tools/zro/Png.h"

#include <png.h>

#include <algorithm>
#include <cstring>

#include "notestore/drawings/Dib.h"
#include "platform/Graphics.h"

namespace zro {

namespace {

// Private ancillary chunk with the DIB's header and colour table.
constexpr png_byte kDibChunk[5] = "zrDb";

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

// libpng reports errors by longjmp; these turn them into exceptions only at
// the boundary of each whole read or write (no C++ object lives across a
// setjmp frame that owns resources).
void OnError(png_structp, png_const_charp message) { throw PngError(std::string("PNG: ") + message); }
void OnWarning(png_structp, png_const_charp) {}

uint8_t Widen5(uint32_t v) { return static_cast<uint8_t>(v << 3 | v >> 2); }

struct Writer {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~Writer() { png_destroy_write_struct(&png, &info); }
};

struct Reader {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~Reader() { png_destroy_read_struct(&png, &info, nullptr); }
};

// The bytes of the DIB's row that shows picture row `y` (0: the top).
const uint8_t* RowOf(const uint8_t* bits, const DIBLayout& layout, uint32_t y) {
    const uint32_t stored = layout.topDown ? y : layout.height - 1 - y;
    return bits + static_cast<size_t>(stored) * layout.rowSize;
}

}  // namespace

std::vector<uint8_t> DibToPng(std::span<const uint8_t> dib) {
    DIBLayout layout;
    if (dib.size() > UINT32_MAX || !DescribeDIB(dib.data(), static_cast<uint32_t>(dib.size()), &layout)) {
        throw PngError("the drawing is not a whole DIB");
    }
    if (layout.compression != 0) throw PngError("a run-length encoded drawing");
    const uint8_t* bits = dib.data() + layout.headerSize + layout.colorTableSize;
    const uint32_t width = layout.width;
    const uint32_t height = layout.height;

    bool alpha = false;
    if (layout.bitCount == 32) {
        for (uint32_t y = 0; y < height && !alpha; ++y) {
            const uint8_t* row = RowOf(bits, layout, y);
            for (uint32_t x = 0; x < width && !alpha; ++x) alpha = row[4 * x + 3] != 0;
        }
    }
    const bool indexed = layout.bitCount <= 8;
    const int colorType = indexed ? PNG_COLOR_TYPE_PALETTE : alpha ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB;
    const int depth = indexed ? layout.bitCount : 8;
    const size_t channels = indexed ? 0 : alpha ? 4 : 3;
    const size_t outRow = indexed ? (static_cast<size_t>(width) * layout.bitCount + 7) / 8 : width * channels;

    std::vector<uint8_t> out;
    std::vector<uint8_t> row(outRow);
    Writer w;
    w.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning);
    if (w.png == nullptr) throw PngError("out of memory");
    w.info = png_create_info_struct(w.png);
    if (w.info == nullptr) throw PngError("out of memory");
    png_set_write_fn(
        w.png, &out,
        [](png_structp p, png_bytep data, size_t size) {
            auto* sink = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(p));
            sink->insert(sink->end(), data, data + size);
        },
        nullptr);
    png_set_IHDR(w.png, w.info, width, height, depth, colorType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (indexed) {
        // A core header's table has 3-byte entries, an info header's 4.
        const size_t entry = layout.headerSize == kCoreHeaderSize ? 3 : 4;
        const size_t count = std::min<size_t>(layout.colorTableSize / entry, size_t{1} << layout.bitCount);
        std::vector<png_color> palette(std::max<size_t>(count, 1));
        const uint8_t* table = dib.data() + layout.headerSize;
        for (size_t i = 0; i < count; ++i) {
            palette[i] = {table[i * entry + 2], table[i * entry + 1], table[i * entry]};
        }
        png_set_PLTE(w.png, w.info, palette.data(), static_cast<int>(palette.size()));
    }
    png_unknown_chunk chunk{};
    std::memcpy(chunk.name, kDibChunk, sizeof kDibChunk);
    chunk.data = const_cast<png_byte*>(dib.data());
    chunk.size = layout.headerSize + layout.colorTableSize;
    chunk.location = PNG_HAVE_IHDR;
    png_set_keep_unknown_chunks(w.png, PNG_HANDLE_CHUNK_ALWAYS, kDibChunk, 1);
    png_set_unknown_chunks(w.png, w.info, &chunk, 1);
    png_write_info(w.png, w.info);
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* in = RowOf(bits, layout, y);
        switch (layout.bitCount) {
            case 1:
            case 4:
            case 8:
                std::memcpy(row.data(), in, outRow);  // both pack the leftmost pixel into the high bits
                break;
            case 16:
                for (uint32_t x = 0; x < width; ++x) {
                    const uint32_t v = Le16(in + 2 * x);
                    row[3 * x] = Widen5(v >> 10 & 31);
                    row[3 * x + 1] = Widen5(v >> 5 & 31);
                    row[3 * x + 2] = Widen5(v & 31);
                }
                break;
            default: {
                const size_t step = layout.bitCount / 8;
                for (uint32_t x = 0; x < width; ++x) {
                    const uint8_t* pixel = in + step * x;
                    uint8_t* target = row.data() + channels * x;
                    target[0] = pixel[2];
                    target[1] = pixel[1];
                    target[2] = pixel[0];
                    if (alpha) target[3] = pixel[3];
                }
            }
        }
        png_write_row(w.png, row.data());
    }
    png_write_end(w.png, w.info);
    return out;
}

std::vector<uint8_t> PngToDib(std::span<const uint8_t> png) {
    if (png.size() < 8 || png_sig_cmp(png.data(), 0, 8) != 0) throw PngError("not a PNG image");
    Reader r;
    r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning);
    if (r.png == nullptr) throw PngError("out of memory");
    r.info = png_create_info_struct(r.png);
    if (r.info == nullptr) throw PngError("out of memory");
    std::span<const uint8_t> rest = png;
    png_set_read_fn(r.png, &rest, [](png_structp p, png_bytep data, size_t size) {
        auto* source = static_cast<std::span<const uint8_t>*>(png_get_io_ptr(p));
        if (size > source->size()) png_error(p, "the image is cut short");
        std::memcpy(data, source->data(), size);
        *source = source->subspan(size);
    });
    png_set_user_limits(r.png, platform::kMaxBitmapSide, platform::kMaxBitmapSide);
    png_set_chunk_malloc_max(r.png, 8u << 20);
    png_set_keep_unknown_chunks(r.png, PNG_HANDLE_CHUNK_ALWAYS, kDibChunk, 1);
    png_read_info(r.png, r.info);
    const uint32_t width = png_get_image_width(r.png, r.info);
    const uint32_t height = png_get_image_height(r.png, r.info);
    if (static_cast<uint64_t>(width) * height > platform::kMaxBitmapPixels) {
        throw PngError("the image is larger than a drawing can be");
    }
    const int colorType = png_get_color_type(r.png, r.info);
    const int depth = png_get_bit_depth(r.png, r.info);

    // The DIB this tool described, when the image still matches it.
    std::vector<uint8_t> head;
    png_unknown_chunkp chunks = nullptr;
    const int count = png_get_unknown_chunks(r.png, r.info, &chunks);
    for (int i = 0; i < count; ++i) {
        if (std::memcmp(chunks[i].name, kDibChunk, 4) == 0) head.assign(chunks[i].data, chunks[i].data + chunks[i].size);
    }
    DIBLayout layout;
    bool exact = false;
    if (head.size() >= kCoreHeaderSize) {
        DIBLayout described;
        // Describe the header as if its rows followed; only its fields count here.
        if (DescribeDIB(head.data(), kTrustedDIBSize, &described) &&
            described.headerSize + described.colorTableSize == head.size() && described.compression == 0 &&
            described.width == width && described.height == height) {
            const uint16_t bits = described.bitCount;
            exact = bits <= 8 ? colorType == PNG_COLOR_TYPE_PALETTE && depth == bits
                              : depth == 8 && (colorType == PNG_COLOR_TYPE_RGB ||
                                               (bits == 32 && colorType == PNG_COLOR_TYPE_RGBA));
            layout = described;
        }
    }
    if (!exact) {
        // A picture from elsewhere: 24 bits, bottom-up, no table.
        head.assign(kInfoHeaderSize, 0);
        layout = {};
        layout.headerSize = kInfoHeaderSize;
        layout.width = width;
        layout.height = height;
        layout.bitCount = 24;
        layout.rowSize = ((24 * width + 31) / 32) * 4;
        const uint32_t fields[] = {kInfoHeaderSize, width, height};
        for (size_t i = 0; i < 3; ++i) {
            for (size_t b = 0; b < 4; ++b) head[4 * i + b] = static_cast<uint8_t>(fields[i] >> (8 * b));
        }
        head[12] = 1;   // planes
        head[14] = 24;  // bits per pixel
        png_set_expand(r.png);
        png_set_strip_16(r.png);
        png_set_gray_to_rgb(r.png);
        png_set_add_alpha(r.png, 0xFF, PNG_FILLER_AFTER);
    } else if (layout.bitCount == 32 && colorType == PNG_COLOR_TYPE_RGB) {
        png_set_add_alpha(r.png, 0, PNG_FILLER_AFTER);  // the fourth byte was 0 throughout
    }
    png_set_interlace_handling(r.png);
    png_read_update_info(r.png, r.info);
    const size_t inRow = png_get_rowbytes(r.png, r.info);
    std::vector<uint8_t> image(inRow * height);
    std::vector<png_bytep> rows(height);
    for (uint32_t y = 0; y < height; ++y) rows[y] = image.data() + inRow * y;
    png_read_image(r.png, rows.data());

    const size_t pixelStart = head.size();
    std::vector<uint8_t> dib(head);
    dib.resize(pixelStart + static_cast<size_t>(layout.rowSize) * height, 0);
    uint8_t* bits = dib.data() + pixelStart;
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* in = rows[y];
        uint8_t* out = const_cast<uint8_t*>(RowOf(bits, layout, y));
        switch (layout.bitCount) {
            case 1:
            case 4:
            case 8:
                std::memcpy(out, in, std::min<size_t>(inRow, layout.rowSize));
                break;
            case 16:
                for (uint32_t x = 0; x < width; ++x) {
                    const uint32_t v = (in[3 * x] >> 3) << 10 | (in[3 * x + 1] >> 3) << 5 | in[3 * x + 2] >> 3;
                    out[2 * x] = static_cast<uint8_t>(v);
                    out[2 * x + 1] = static_cast<uint8_t>(v >> 8);
                }
                break;
            case 24:
                for (uint32_t x = 0; x < width; ++x) {
                    const uint8_t* p = in + (exact ? 3 : 4) * x;
                    const uint32_t a = exact ? 255 : p[3];
                    for (int c = 0; c < 3; ++c) {
                        out[3 * x + c] = static_cast<uint8_t>((p[2 - c] * a + 255 * (255 - a) + 127) / 255);
                    }
                }
                break;
            default:
                for (uint32_t x = 0; x < width; ++x) {
                    out[4 * x] = in[4 * x + 2];
                    out[4 * x + 1] = in[4 * x + 1];
                    out[4 * x + 2] = in[4 * x];
                    out[4 * x + 3] = in[4 * x + 3];
                }
        }
    }
    return dib;
}

}  // namespace zro

#include "tools/zro/Outline.h"

namespace zro {

void SetItemDrawing(Item& item, std::vector<uint8_t> dib) {
    DIBLayout layout;
    if (dib.size() > UINT32_MAX || !DescribeDIB(dib.data(), static_cast<uint32_t>(dib.size()), &layout)) {
        throw PngError("the drawing is not a whole DIB");
    }
    item.drawingWidth = static_cast<int32_t>(layout.width);
    item.drawingHeight = layout.topDown ? -static_cast<int32_t>(layout.height) : static_cast<int32_t>(layout.height);
    item.drawing = std::move(dib);
}

}  // namespace zro
