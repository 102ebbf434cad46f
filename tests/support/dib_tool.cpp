// Writes BMP files with SaveDIB and shows the pixels of the DIB ReadDIBFile
// reads from a file, so that a script can hold both against a BMP codec
// written elsewhere.
//
//   dib_tool write PATH WIDTH HEIGHT BITS [topdown]
//       writes a patterned picture of 1, 4, 8 or 24 bits per pixel and
//       prints the picture it meant to write
//   dib_tool dump PATH
//       prints the picture of the DIB read from PATH
//
// A picture is printed as "WIDTH HEIGHT", then one line per row, top row
// first, of RRGGBB values separated by blanks.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "notestore/drawings/Dib.h"
#include "notestore/foundation/ByteOrder.h"
#include "notestore/foundation/Exception.h"
#include "notestore/foundation/File.h"
#include "platform/Strings.h"

namespace {

using Picture = std::vector<std::vector<uint32_t>>;

void Print(const Picture& picture, uint32_t width) {
    std::printf("%u %zu\n", width, picture.size());
    for (const auto& row : picture) {
        for (size_t x = 0; x < row.size(); ++x) std::printf(x == 0 ? "%06X" : " %06X", row[x]);
        std::printf("\n");
    }
}

// The colour of table entry `i` the writer uses: red alone tells entries apart.
uint32_t TableColor(uint32_t i) { return i << 16 | (255 - i) << 8 | ((i * 7) & 0xFF); }

uint32_t PatternIndex(uint32_t x, uint32_t y, uint32_t colors) { return (x * 3 + y * 5 + x * y) % colors; }

uint32_t PatternColor(uint32_t x, uint32_t y) {
    return ((x * 40 + y) & 0xFF) << 16 | ((y * 60 + 3 * x) & 0xFF) << 8 | ((x * y * 17 + 5) & 0xFF);
}

template <class Byte>
Byte* RowOf(Byte* bits, const DIBLayout& layout, uint32_t y) {
    return bits + static_cast<size_t>(layout.topDown ? y : layout.height - 1 - y) * layout.rowSize;
}

int Write(const char* path, uint32_t width, uint32_t height, uint16_t bits, bool topDown) {
    MemHandle handle = CreateDIB(width, height, bits);
    if (handle == nullptr) return 1;
    auto* dib = static_cast<uint8_t*>(MemGetPtr(handle));
    if (topDown) zr_gen::StoreLE32(dib + 8, 0u - height);
    DIBLayout layout;
    if (!DescribeDIB(dib, MemGetSize(handle), &layout) || layout.bitCount != bits) return 1;
    const uint32_t colors = DIBNumColors(dib);
    for (uint32_t i = 0; i < colors; ++i) {
        const uint32_t rgb = TableColor(i);
        const uint8_t entry[4] = {static_cast<uint8_t>(rgb), static_cast<uint8_t>(rgb >> 8),
                                  static_cast<uint8_t>(rgb >> 16), 0};
        std::memcpy(dib + layout.headerSize + 4 * i, entry, 4);
    }
    Picture picture(height, std::vector<uint32_t>(width));
    for (uint32_t y = 0; y < height; ++y) {
        uint8_t* row = RowOf(FindDIBBits(dib), layout, y);
        std::memset(row, 0, layout.rowSize);  // padding as 0 rather than the 0xFF of CreateDIB
        for (uint32_t x = 0; x < width; ++x) {
            if (bits == 24) {
                const uint32_t rgb = PatternColor(x, y);
                row[3 * x] = static_cast<uint8_t>(rgb);
                row[3 * x + 1] = static_cast<uint8_t>(rgb >> 8);
                row[3 * x + 2] = static_cast<uint8_t>(rgb >> 16);
                picture[y][x] = rgb;
            } else {
                const uint32_t index = PatternIndex(x, y, colors);
                const uint32_t bit = x * bits;  // from the top of the first byte
                row[bit / 8] |= static_cast<uint8_t>(index << (8 - bits - bit % 8));
                picture[y][x] = TableColor(index);
            }
        }
    }
    int result = 1;
    try {
        zr_gen::CFile file;
        const std::u16string name = platform::Utf8ToUtf16(path);
        file.Open(name.c_str(), zr_gen::CFile::kCreate | zr_gen::CFile::kModeReadWrite);
        result = SaveDIB(dib, file) == 1 ? 0 : 1;
        file.Close();
    } catch (zr_gen::CException* e) {
        zr_gen::DeleteException(e);
    }
    MemFree(handle);
    if (result == 0) Print(picture, width);
    return result;
}

// The colour of pixel (x, y) of the DIB, y counted from the top.
uint32_t PixelColor(const uint8_t* dib, const DIBLayout& layout, uint32_t x, uint32_t y) {
    const uint8_t* row = RowOf(FindDIBBits(dib), layout, y);
    const uint32_t bits = layout.bitCount;
    if (bits >= 24) {
        const uint8_t* p = row + x * (bits / 8);
        return uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
    }
    if (bits == 16) {
        const uint32_t v = zr_gen::LoadLE16(row + 2 * x);
        const auto widen = [](uint32_t five) { return (five << 3) | (five >> 2); };
        return widen(v >> 10 & 31) << 16 | widen(v >> 5 & 31) << 8 | widen(v & 31);
    }
    const uint32_t bit = x * bits;
    const uint32_t index = (row[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
    if (index >= DIBNumColors(dib)) return 0;
    const size_t entry = layout.headerSize == kInfoHeaderSize ? 4 : 3;
    const uint8_t* color = dib + layout.headerSize + entry * index;
    return uint32_t{color[2]} << 16 | uint32_t{color[1]} << 8 | color[0];
}

int Dump(const char* path) {
    MemHandle handle = nullptr;
    try {
        zr_gen::CFile file;
        const std::u16string name = platform::Utf8ToUtf16(path);
        file.Open(name.c_str(), zr_gen::CFile::kModeRead);
        handle = ReadDIBFile(file);
    } catch (zr_gen::CException* e) {
        zr_gen::DeleteException(e);
    }
    if (handle == nullptr) {
        std::fprintf(stderr, "dib_tool: ReadDIBFile gave no DIB\n");
        return 1;
    }
    const auto* dib = static_cast<const uint8_t*>(MemGetPtr(handle));
    DIBLayout layout;
    if (!DescribeDIB(dib, MemGetSize(handle), &layout) || layout.compression != BI_RGB) {
        MemFree(handle);
        return 1;
    }
    Picture picture(layout.height, std::vector<uint32_t>(layout.width));
    for (uint32_t y = 0; y < layout.height; ++y) {
        for (uint32_t x = 0; x < layout.width; ++x) picture[y][x] = PixelColor(dib, layout, x, y);
    }
    MemFree(handle);
    Print(picture, layout.width);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "dump") return Dump(argv[2]);
    if ((argc == 6 || argc == 7) && std::string(argv[1]) == "write") {
        const bool topDown = argc == 7 && std::string(argv[6]) == "topdown";
        return Write(argv[2], static_cast<uint32_t>(std::atoi(argv[3])), static_cast<uint32_t>(std::atoi(argv[4])),
                     static_cast<uint16_t>(std::atoi(argv[5])), topDown);
    }
    std::fprintf(stderr, "usage: dib_tool write PATH WIDTH HEIGHT BITS [topdown] | dib_tool dump PATH\n");
    return 2;
}
