#include "platform/Shell.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Probe.h"
#include "platform/Errors.h"
#include "platform/Strings.h"
#include "support/TempDir.h"

namespace {

// Writes pictures with the independent reader and writer (PIL) and, beside
// every picture in the folder (the test's own BMPs included), its decoding by
// that reader as NAME.rgba: width and height as 32-bit little-endian values,
// then red, green, blue and alpha per pixel, rows from the top.
constexpr char kPictureScript[] = R"(
import os, sys
from PIL import Image
out = sys.argv[1]
def path(name): return os.path.join(out, name)
def picture(mode, width, height, pixel):
    image = Image.new(mode, (width, height))
    image.putdata([pixel(x, y) for y in range(height) for x in range(width)])
    return image
noisy = lambda x, y: ((x * 37 + y * 11) & 255, (x * 5 + y * 53) & 255, (x * y * 3 + 7) & 255)
rgb = picture('RGB', 13, 7, noisy)
rgba = picture('RGBA', 13, 7, lambda x, y: noisy(x, y) + ((x * 19 + y * 41) & 255,))
palette = rgb.quantize(colors=37)
palette16 = rgb.quantize(colors=16)
large = picture('RGB', 20, 19, lambda x, y: ((x * 13) & 255, (y * 29) & 255, ((x + y) * 5) & 255)).quantize(colors=20)
smooth = picture('RGB', 32, 24, lambda x, y: (x * 8, y * 10, 128))
corners = picture('RGB', 8, 2, lambda x, y: ((x & 1) * 255, (x >> 1 & 1) * 255, (x >> 2 & 1) * 255))
saves = [
    ('rgb.bmp', rgb, {}), ('rgba.bmp', rgba, {}), ('palette.bmp', palette, {}),
    ('grey.bmp', rgb.convert('L'), {}), ('mono.bmp', rgb.convert('1'), {}),
    ('rgb.png', rgb, {}), ('rgba.png', rgba, {}), ('palette.png', palette, {}), ('palette16.png', palette16, {}),
    ('transparent.png', palette, {'transparency': 5}), ('grey.png', rgb.convert('L'), {}),
    ('greyalpha.png', rgba.convert('LA'), {}), ('mono.png', rgb.convert('1'), {}),
    ('transparent.gif', palette, {'transparency': 5, 'interlace': False}),
    ('interlaced.gif', large, {'transparency': 3, 'interlace': True}),
    ('smooth.jpg', smooth, {'quality': 95}), ('grey.jpg', smooth.convert('L'), {'quality': 95}),
    ('smooth.png', smooth, {}), ('corners.png', corners, {}),
]
for name, image, options in saves:
    image.save(path(name), **options)
grey16 = Image.new('I;16', (9, 5))
grey16.putdata([(x * 4099 + y * 13001) & 0xFFFF for y in range(5) for x in range(9)])
grey16.save(path('grey16.png'))
# PIL writes no interlaced PNG: the seven passes by hand, unfiltered.
import struct, zlib
def chunk(kind, data):
    return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
def interlaced(image):
    width, height = image.size
    pixels = image.load()
    raw = b''
    for x0, y0, dx, dy in ((0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)):
        columns = range(x0, width, dx)
        for y in range(y0, height, dy) if len(columns) else ():
            raw += b'\0' + b''.join(bytes(pixels[x, y]) for x in columns)
    header = struct.pack('>IIBBBBB', width, height, 8, 2, 0, 0, 1)
    return b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', header) + chunk(b'IDAT', zlib.compress(raw)) + chunk(b'IEND', b'')
with open(path('interlaced.png'), 'wb') as f:
    f.write(interlaced(rgb))
for name in sorted(os.listdir(out)):
    if name.endswith(('.bmp', '.png', '.gif', '.jpg')):
        with Image.open(path(name)) as back:
            size = back.size[0].to_bytes(4, 'little') + back.size[1].to_bytes(4, 'little')
            with open(path(name + '.rgba'), 'wb') as decoded:
                decoded.write(size + back.convert('RGBA').tobytes())
)";

constexpr char kPython[] = "/usr/bin/python3";

bool HavePil() { return std::system((std::string(kPython) + " -c 'import PIL' >/dev/null 2>&1").c_str()) == 0; }

void Put32(std::string& bytes, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>(value >> (8 * i)));
}
void Put16(std::string& bytes, uint32_t value) {
    for (int i = 0; i < 2; ++i) bytes.push_back(static_cast<char>(value >> (8 * i)));
}

// A BMP file built field by field, so that tests can write any of them wrong.
struct BmpFile {
    uint32_t headerSize = 40;
    int32_t width = 3;
    int32_t height = 2;
    uint32_t planes = 1;
    uint32_t bits = 24;
    uint32_t compression = BI_RGB;
    uint32_t colorsUsed = 0;
    std::vector<uint32_t> masks{};  // after a 40-byte header, or inside a longer one
    std::string table{};
    std::string pixels{};
    std::optional<uint32_t> offset{};  // of the pixels; right behind the table by default

    std::string Bytes() const {
        std::string header;
        Put32(header, headerSize);
        if (headerSize == 12) {
            Put16(header, static_cast<uint32_t>(width));
            Put16(header, static_cast<uint32_t>(height));
            Put16(header, planes);
            Put16(header, bits);
        } else {
            Put32(header, static_cast<uint32_t>(width));
            Put32(header, static_cast<uint32_t>(height));
            Put16(header, planes);
            Put16(header, bits);
            Put32(header, compression);
            Put32(header, 0);
            Put32(header, 2835);
            Put32(header, 2835);
            Put32(header, colorsUsed);
            Put32(header, 0);
            for (const uint32_t mask : masks) Put32(header, mask);
            if (headerSize > 40) header.resize(headerSize, '\0');
        }
        const uint32_t pixelsAt = offset.value_or(static_cast<uint32_t>(14 + header.size() + table.size()));
        std::string file = "BM";
        Put32(file, static_cast<uint32_t>(14 + header.size() + table.size() + pixels.size()));
        Put32(file, 0);
        Put32(file, pixelsAt);
        return file + header + table + pixels;
    }
};

// Row bytes of an arbitrary but fixed pattern; `limit` keeps 4-bit indexes
// below the colours used.
std::string PatternBytes(size_t count, int limit = 256) {
    std::string bytes;
    for (size_t i = 0; i < count; ++i) {
        const int value = static_cast<int>((i * 37 + 11) & 0xFF);
        bytes.push_back(static_cast<char>(limit == 256 ? value : (value >> 4) % limit << 4 | (value & 0xF) % limit));
    }
    return bytes;
}

std::string Table(int entries, int entrySize) {
    std::string table;
    for (int i = 0; i < entries; ++i) {
        table.push_back(static_cast<char>(i * 16 + 3));
        table.push_back(static_cast<char>(255 - i * 9));
        table.push_back(static_cast<char>(i * 41));
        if (entrySize == 4) table.push_back('\0');
    }
    return table;
}

// The BMPs PIL does not write, for PIL to read.
struct Crafted {
    const char* name;
    BmpFile file;
};

std::vector<Crafted> CraftedBmps() {
    const auto rows = [](int width, int height, int bits) { return size_t(probe::DibStride(width, bits)) * size_t(height < 0 ? -height : height); };
    std::vector<Crafted> crafted;
    BmpFile four{40, 9, 5, 1, 4, BI_RGB, 0, {}, Table(16, 4), PatternBytes(rows(9, 5, 4))};
    crafted.push_back({"four.bmp", four});
    BmpFile fewColors = four;
    fewColors.colorsUsed = 6;
    fewColors.table = Table(6, 4);
    fewColors.pixels = PatternBytes(rows(9, 5, 4), 6);
    crafted.push_back({"fewcolors.bmp", fewColors});
    crafted.push_back({"core8.bmp", BmpFile{12, 7, 3, 1, 8, BI_RGB, 0, {}, Table(256, 3), PatternBytes(rows(7, 3, 8))}});
    crafted.push_back({"core24.bmp", BmpFile{12, 5, 3, 1, 24, BI_RGB, 0, {}, {}, PatternBytes(rows(5, 3, 24))}});
    crafted.push_back({"topdown24.bmp", BmpFile{40, 5, -4, 1, 24, BI_RGB, 0, {}, {}, PatternBytes(rows(5, 4, 24))}});
    crafted.push_back({"topdown1.bmp", BmpFile{40, 11, -3, 1, 1, BI_RGB, 0, {}, Table(2, 4), PatternBytes(rows(11, 3, 1))}});
    crafted.push_back({"plain16.bmp", BmpFile{40, 5, 3, 1, 16, BI_RGB, 0, {}, {}, PatternBytes(rows(5, 3, 16))}});
    crafted.push_back({"masks565.bmp", BmpFile{40, 5, 3, 1, 16, BI_BITFIELDS, 0, {0xF800, 0x07E0, 0x001F}, {}, PatternBytes(rows(5, 3, 16))}});
    crafted.push_back({"masks32.bmp", BmpFile{40, 5, -3, 1, 32, BI_BITFIELDS, 0, {0xFF0000, 0xFF00, 0xFF}, {}, PatternBytes(rows(5, 3, 32))}});
    crafted.push_back({"v5masks32.bmp", BmpFile{124, 5, 3, 1, 32, BI_BITFIELDS, 0, {0xFF0000, 0xFF00, 0xFF, 0}, {}, PatternBytes(rows(5, 3, 32))}});
    BmpFile gap = four;  // pixels after a gap behind the table
    gap.offset = 14 + 40 + 64 + 10;
    gap.pixels = std::string(10, '\x77') + gap.pixels;
    crafted.push_back({"gap.bmp", gap});
    return crafted;
}

std::string ReadFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

struct Reference {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint32_t> colors;  // composed over white
};

// What PIL decoded, with the alpha composed over white by the test.
Reference ReferenceOf(const std::filesystem::path& rgbaFile) {
    const std::string bytes = ReadFileBytes(rgbaFile);
    Reference reference;
    std::memcpy(&reference.width, bytes.data(), 4);
    std::memcpy(&reference.height, bytes.data() + 4, 4);
    for (size_t i = 8; i + 4 <= bytes.size(); i += 4) {
        const double alpha = static_cast<BYTE>(bytes[i + 3]) / 255.0;
        uint32_t color = 0;
        for (int c = 0; c < 3; ++c) {
            const double value = static_cast<BYTE>(bytes[i + c]) * alpha + 255.0 * (1 - alpha);
            color = color << 8 | static_cast<uint32_t>(std::lround(value));
        }
        reference.colors.push_back(color);
    }
    return reference;
}

class Loader : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!HavePil()) return;
        folder_ = new testsupport::TempDir;
        for (const Crafted& c : CraftedBmps()) WriteFileBytes(folder_->path() / c.name, c.file.Bytes());
        WriteFileBytes(folder_->path() / "pictures.py", kPictureScript);
        const std::string command = std::string(kPython) + " " + (folder_->path() / "pictures.py").string() + " " + folder_->path().string();
        made_ = std::system(command.c_str()) == 0;
    }
    static void TearDownTestSuite() {
        delete folder_;
        folder_ = nullptr;
    }
    void SetUp() override {
        if (folder_ == nullptr) GTEST_SKIP() << kPython << " has no PIL";
        ASSERT_TRUE(made_) << "the picture script failed";
    }
    void TearDown() override { platform::SetScreenDepth(16); }

    static std::filesystem::path PathOf(const std::string& name) { return folder_->path() / name; }
    static std::u16string WidePath(const std::string& name) { return folder_->File(name); }

    static HBITMAP Load(const std::string& name) { return SHLoadImageFile(WidePath(name).c_str()); }

    static testsupport::TempDir* folder_;
    static bool made_;
};

testsupport::TempDir* Loader::folder_ = nullptr;
bool Loader::made_ = false;

struct Size {
    int32_t width;
    int32_t height;
};

Size SizeOf(HBITMAP bitmap) {
    BITMAP description{};
    EXPECT_EQ(GetObjectW(bitmap, sizeof description, &description), int(sizeof description));
    return {description.bmWidth, description.bmHeight};
}

// Channel by channel within `tolerance`, reporting the first difference.
void ExpectClose(const std::vector<uint32_t>& actual, const std::vector<uint32_t>& expected, const std::array<int, 3>& shifts,
                 const std::array<uint32_t, 3>& masks, int tolerance) {
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < actual.size(); ++i) {
        for (int c = 0; c < 3; ++c) {
            const int a = static_cast<int>(actual[i] >> shifts[c] & masks[c]);
            const int e = static_cast<int>(expected[i] >> shifts[c] & masks[c]);
            ASSERT_LE(std::abs(a - e), tolerance) << "pixel " << i << " channel " << c << std::hex << ": " << actual[i] << " vs " << expected[i];
        }
    }
}

void ExpectCloseRgb(const std::vector<uint32_t>& actual, const std::vector<uint32_t>& expected, int tolerance) {
    ExpectClose(actual, expected, {16, 8, 0}, {0xFF, 0xFF, 0xFF}, tolerance);
}

// The 5-6-5 values a 16-bit bitmap holds, read into a DIB of the same layout.
std::vector<uint32_t> Read565(HBITMAP bitmap, Size size) {
    probe::DibShape shape;
    shape.width = size.width;
    shape.height = -size.height;
    shape.bits = 16;
    shape.compression = BI_BITFIELDS;
    shape.masks = {0xF800, 0x07E0, 0x001F};
    void* bits = nullptr;
    const HBITMAP dib = probe::MakeDib(shape, &bits);
    {
        probe::Selected from(bitmap);
        probe::Selected to(dib);
        EXPECT_TRUE(BitBlt(to.dc(), 0, 0, size.width, size.height, from.dc(), 0, 0, SRCCOPY));
    }
    std::vector<uint32_t> values;
    const uint32_t stride = probe::DibStride(size.width, 16);
    for (int32_t y = 0; y < size.height; ++y) {
        for (int32_t x = 0; x < size.width; ++x) values.push_back(probe::RawPixel(static_cast<BYTE*>(bits) + y * stride, x, 16));
    }
    DeleteObject(dib);
    return values;
}

// --- Pictures of the independent writer, at every direct depth ----------------------

struct Picture {
    const char* name;
    int tolerance;  // per 8-bit channel against PIL's own decoding
};

// PIL widens 5-bit channels by truncating (v * 255 / 31), a step below the
// repeated bits now and then; JPEG decoders may differ by a rounding.
const Picture kPictures[] = {
    {"rgb.bmp", 0},         {"rgba.bmp", 0},        {"palette.bmp", 0},     {"grey.bmp", 0},         {"mono.bmp", 0},
    {"four.bmp", 0},        {"fewcolors.bmp", 0},   {"core8.bmp", 0},       {"core24.bmp", 0},       {"topdown24.bmp", 0},
    {"topdown1.bmp", 0},    {"plain16.bmp", 1},     {"masks565.bmp", 1},    {"masks32.bmp", 0},      {"v5masks32.bmp", 0},
    {"gap.bmp", 0},         {"rgb.png", 0},         {"rgba.png", 0},        {"palette.png", 0},      {"palette16.png", 0},
    {"transparent.png", 0}, {"grey.png", 0},        {"greyalpha.png", 0},   {"mono.png", 0},         {"transparent.gif", 0},
    {"interlaced.gif", 0},  {"interlaced.png", 0},  {"smooth.jpg", 1},      {"grey.jpg", 1},
};

class Pictures : public Loader, public ::testing::WithParamInterface<Picture> {};

TEST_P(Pictures, LoadAsTheIndependentReaderDecodesThem) {
    const Picture& picture = GetParam();
    const Reference reference = ReferenceOf(PathOf(std::string(picture.name) + ".rgba"));
    for (const int depth : {24, 32}) {
        SCOPED_TRACE(testing::Message() << depth << " bits");
        platform::SetScreenDepth(depth);
        const HBITMAP bitmap = Load(picture.name);
        ASSERT_NE(bitmap, nullptr) << GetLastError();
        const Size size = SizeOf(bitmap);
        ASSERT_EQ(size.width, reference.width);
        ASSERT_EQ(size.height, reference.height);
        ExpectCloseRgb(probe::ReadColors(bitmap, size.width, size.height), reference.colors, picture.tolerance);
        DeleteObject(bitmap);
    }
    platform::SetScreenDepth(16);
    const HBITMAP bitmap = Load(picture.name);
    ASSERT_NE(bitmap, nullptr);
    const Size size = SizeOf(bitmap);
    std::vector<uint32_t> expected;
    for (const uint32_t color : reference.colors) expected.push_back(probe::Rgb565(color));
    ExpectClose(Read565(bitmap, size), expected, {11, 5, 0}, {0x1F, 0x3F, 0x1F}, picture.tolerance == 0 ? 0 : 1);
    DeleteObject(bitmap);
}

INSTANTIATE_TEST_SUITE_P(Files, Pictures, ::testing::ValuesIn(kPictures), [](const auto& info) {
    std::string name = info.param.name;
    std::replace(name.begin(), name.end(), '.', '_');
    return name;
});

TEST_F(Loader, JpegStaysCloseToTheOriginalPicture) {
    platform::SetScreenDepth(24);
    const Reference original = ReferenceOf(PathOf("smooth.png.rgba"));
    const HBITMAP bitmap = Load("smooth.jpg");
    ASSERT_NE(bitmap, nullptr);
    const std::vector<uint32_t> loaded = probe::ReadColors(bitmap, original.width, original.height);
    ExpectCloseRgb(loaded, original.colors, 12);
    DeleteObject(bitmap);
}

TEST_F(Loader, SixteenBitChannelsRoundToEight) {
    const std::string png = ReadFileBytes(PathOf("grey16.png"));
    ASSERT_EQ(png.at(24), 16) << "bit depth";
    platform::SetScreenDepth(24);
    const HBITMAP bitmap = Load("grey16.png");
    ASSERT_NE(bitmap, nullptr);
    std::vector<uint32_t> expected;
    for (uint32_t y = 0; y < 5; ++y) {
        for (uint32_t x = 0; x < 9; ++x) expected.push_back(static_cast<uint32_t>(std::lround(((x * 4099 + y * 13001) & 0xFFFF) / 257.0)) * 0x010101u);
    }
    EXPECT_EQ(probe::ReadColors(bitmap, 9, 5), expected);
    DeleteObject(bitmap);
}

TEST_F(Loader, TransparentPixelsBecomeWhite) {
    platform::SetScreenDepth(32);
    for (const char* name : {"transparent.gif", "interlaced.gif", "transparent.png"}) {
        SCOPED_TRACE(name);
        const std::string rgba = ReadFileBytes(PathOf(std::string(name) + ".rgba"));
        const Reference reference = ReferenceOf(PathOf(std::string(name) + ".rgba"));
        size_t transparent = 0;
        for (size_t i = 8; i + 4 <= rgba.size(); i += 4) transparent += rgba[i + 3] == 0;
        ASSERT_GT(transparent, 0u) << "the picture has transparent pixels";
        const HBITMAP bitmap = Load(name);
        ASSERT_NE(bitmap, nullptr);
        const std::vector<uint32_t> loaded = probe::ReadColors(bitmap, reference.width, reference.height);
        for (size_t i = 0; i < loaded.size(); ++i) {
            if (rgba[8 + 4 * i + 3] == 0) {
                ASSERT_EQ(loaded[i], 0xFFFFFFu) << "pixel " << i;
            }
        }
        DeleteObject(bitmap);
    }
}

TEST_F(Loader, IndexedScreensTakeTheDefaultPalettesNearestColours) {
    const Reference corners = ReferenceOf(PathOf("corners.png.rgba"));
    platform::SetScreenDepth(8);
    const HBITMAP eight = Load("corners.png");
    ASSERT_NE(eight, nullptr);
    EXPECT_EQ(probe::ReadColors(eight, 8, 2), corners.colors) << "the default palette holds every corner colour";

    platform::SetScreenDepth(1);
    const HBITMAP one = Load("corners.png");
    ASSERT_NE(one, nullptr);
    std::vector<uint32_t> blackOrWhite;
    for (const uint32_t c : corners.colors) {
        const int lit = (c >> 16 & 1) + (c >> 8 & 1) + (c & 1);
        blackOrWhite.push_back(lit >= 2 ? 0xFFFFFF : 0x000000);
    }
    EXPECT_EQ(probe::ReadColors(one, 8, 2), blackOrWhite);

    platform::SetScreenDepth(4);
    const HBITMAP four = Load("corners.png");
    ASSERT_NE(four, nullptr);
    const HPALETTE stock = static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE));
    PALETTEENTRY entries[16];
    GetPaletteEntries(stock, 0, 16, entries);
    for (const uint32_t c : probe::ReadColors(four, 8, 2)) {
        bool found = false;
        for (const PALETTEENTRY& e : entries) found |= c == (uint32_t{e.peRed} << 16 | uint32_t{e.peGreen} << 8 | e.peBlue);
        EXPECT_TRUE(found) << std::hex << c << " is one of the first 16 default colours";
    }
    for (const HBITMAP bitmap : {eight, one, four}) {
        BITMAP description{};
        GetObjectW(bitmap, sizeof description, &description);
        EXPECT_EQ(description.bmBits, nullptr) << "a device bitmap";
        DeleteObject(bitmap);
    }
}

TEST_F(Loader, PathsTakeEitherSeparator) {
    std::u16string path = WidePath("rgb.png");
    std::replace(path.begin(), path.end(), u'/', u'\\');
    const HBITMAP bitmap = SHLoadImageFile(path.c_str());
    ASSERT_NE(bitmap, nullptr);
    DeleteObject(bitmap);
}

// --- Files that give nothing ------------------------------------------------------

TEST_F(Loader, MissingFilesAndPathsGiveNothing) {
    SetLastError(0);
    EXPECT_EQ(Load("absent.png"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Load("absent/picture.png"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(SHLoadImageFile(nullptr), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(SHLoadImageFile(folder_->File("").c_str()), nullptr) << "a folder";
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

std::string WithByte(std::string bytes, size_t at, char value) {
    bytes.at(at) = value;
    return bytes;
}

std::string With32(std::string bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes.at(at + i) = static_cast<char>(value >> (8 * i));
    return bytes;
}

uint32_t Crc32(const std::string& bytes) {
    uint32_t crc = 0xFFFFFFFF;
    for (const char byte : bytes) {
        crc ^= static_cast<BYTE>(byte);
        for (int bit = 0; bit < 8; ++bit) crc = crc >> 1 ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

// A PNG whose header claims `width` x `height`, its checksum mended.
std::string PngClaiming(std::string png, uint32_t width, uint32_t height) {
    const auto big = [&png](size_t at, uint32_t value) {
        for (int i = 0; i < 4; ++i) png.at(at + i) = static_cast<char>(value >> (24 - 8 * i));
    };
    big(16, width);
    big(20, height);
    big(29, Crc32(png.substr(12, 17)));
    return png;
}

BmpFile Bmp8() {
    return BmpFile{40, 3, 2, 1, 8, BI_RGB, 0, {}, Table(256, 4), PatternBytes(8)};
}

BmpFile Bmp24(int32_t width, int32_t height) {
    return BmpFile{40, width, height, 1, 24, BI_RGB, 0, {}, {}, PatternBytes(size_t(probe::DibStride(width, 24)) * size_t(height))};
}

TEST_F(Loader, DamagedFilesGiveNothing) {
    const std::string bmp = Bmp24(3, 2).Bytes();  // 54 + 24 bytes
    const std::string bmp8 = Bmp8().Bytes();      // 54 + 1024 + 8 bytes
    BmpFile masks = Bmp24(3, 2);
    masks.bits = 16;
    masks.compression = BI_BITFIELDS;
    masks.masks = {0xF800, 0x07E0, 0x001F};
    const std::string bmp16 = masks.Bytes();  // masks at 54..65
    const std::string png = ReadFileBytes(PathOf("rgb.png"));
    const std::string gif = ReadFileBytes(PathOf("transparent.gif"));
    const std::string jpg = ReadFileBytes(PathOf("smooth.jpg"));
    struct Case {
        const char* what;
        std::string bytes;
        DWORD error;
    };
    const Case cases[] = {
        {"empty", "", ERROR_NOT_SUPPORTED},
        {"text", "hello, world", ERROR_NOT_SUPPORTED},
        {"one byte", "B", ERROR_NOT_SUPPORTED},
        {"bmp: signature only", "BM", ERROR_INVALID_DATA},
        {"bmp: file header only", bmp.substr(0, 14), ERROR_INVALID_DATA},
        {"bmp: header size only", bmp.substr(0, 18), ERROR_INVALID_DATA},
        {"bmp: header cut", bmp.substr(0, 40), ERROR_INVALID_DATA},
        {"bmp: no pixels", bmp.substr(0, 54), ERROR_INVALID_DATA},
        {"bmp: last row short", bmp.substr(0, bmp.size() - 1), ERROR_INVALID_DATA},
        {"bmp: table cut", bmp8.substr(0, 54 + 1023), ERROR_INVALID_DATA},
        {"bmp: header size 0", With32(bmp, 14, 0), ERROR_NOT_SUPPORTED},
        {"bmp: header size 39", With32(bmp, 14, 39), ERROR_NOT_SUPPORTED},
        {"bmp: header size 64", With32(bmp, 14, 64), ERROR_NOT_SUPPORTED},
        {"bmp: header beyond the file", With32(bmp, 14, 124).substr(0, 100), ERROR_INVALID_DATA},
        {"bmp: header size huge", With32(bmp, 14, 0xFFFFFFF0), ERROR_NOT_SUPPORTED},
        {"bmp: width 0", With32(bmp, 18, 0), ERROR_INVALID_DATA},
        {"bmp: negative width", With32(bmp, 18, 0xFFFFFFFD), ERROR_INVALID_DATA},
        {"bmp: huge width", With32(bmp, 18, 0x40000000), ERROR_INVALID_DATA},
        {"bmp: widest width", With32(bmp, 18, 0x7FFFFFFF), ERROR_INVALID_DATA},
        {"bmp: height 0", With32(bmp, 22, 0), ERROR_INVALID_DATA},
        {"bmp: most negative height", With32(bmp, 22, 0x80000000), ERROR_INVALID_DATA},
        {"bmp: huge height", With32(bmp, 22, 0x7FFFFFFF), ERROR_INVALID_DATA},
        {"bmp: huge top-down height", With32(bmp, 22, 0x80000001), ERROR_INVALID_DATA},
        {"bmp: planes 0", WithByte(bmp, 26, 0), ERROR_INVALID_DATA},
        {"bmp: 0 bits", WithByte(bmp, 28, 0), ERROR_NOT_SUPPORTED},
        {"bmp: 2 bits", WithByte(bmp, 28, 2), ERROR_NOT_SUPPORTED},
        {"bmp: 48 bits", WithByte(bmp, 28, 48), ERROR_NOT_SUPPORTED},
        {"bmp: run-length", With32(bmp8, 30, BI_RLE8), ERROR_NOT_SUPPORTED},
        {"bmp: embedded png", With32(bmp, 30, 5), ERROR_NOT_SUPPORTED},
        {"bmp: masks at 24 bits", With32(bmp, 30, BI_BITFIELDS), ERROR_INVALID_DATA},
        {"bmp: pixel offset 0", With32(bmp, 10, 0), ERROR_INVALID_DATA},
        {"bmp: pixel offset inside the header", With32(bmp, 10, 20), ERROR_INVALID_DATA},
        {"bmp: pixel offset at the end", With32(bmp, 10, static_cast<uint32_t>(bmp.size())), ERROR_INVALID_DATA},
        {"bmp: pixel offset past the end", With32(bmp, 10, 0xFFFFFFFF), ERROR_INVALID_DATA},
        {"bmp: pixel offset inside the table", With32(bmp8, 10, 54 + 512), ERROR_INVALID_DATA},
        {"bmp: too many colours used", With32(bmp8, 46, 257), ERROR_INVALID_DATA},
        {"bmp: huge colours used", With32(bmp8, 46, 0xFFFFFFFF), ERROR_INVALID_DATA},
        {"bmp: masks cut", bmp16.substr(0, 60), ERROR_INVALID_DATA},
        {"bmp: masks behind the pixels", With32(bmp16, 10, 58), ERROR_INVALID_DATA},
        {"bmp: overlapping masks", With32(bmp16, 54, 0xFFE0), ERROR_INVALID_DATA},
        {"bmp: empty mask", With32(bmp16, 58, 0), ERROR_INVALID_DATA},
        {"bmp: mask beyond the pixel", With32(bmp16, 62, 0x10000), ERROR_INVALID_DATA},
        {"bmp: over the size guard", Bmp24(16385, 1).Bytes(), ERROR_NOT_ENOUGH_MEMORY},
        {"png: signature only", png.substr(0, 8), ERROR_INVALID_DATA},
        {"png: header cut", png.substr(0, 20), ERROR_INVALID_DATA},
        {"png: no data", png.substr(0, 33), ERROR_INVALID_DATA},
        {"png: data cut", png.substr(0, png.size() / 2), ERROR_INVALID_DATA},
        {"png: no end", png.substr(0, png.size() - 12), ERROR_INVALID_DATA},
        {"png: header checksum", WithByte(png, 29, static_cast<char>(png[29] ^ 1)), ERROR_INVALID_DATA},
        {"png: data checksum", WithByte(png, png.size() - 20, static_cast<char>(png[png.size() - 20] ^ 0x10)), ERROR_INVALID_DATA},
        {"png: width 0", PngClaiming(png, 0, 7), ERROR_INVALID_DATA},
        {"png: too wide", PngClaiming(png, 20000, 7), ERROR_NOT_ENOUGH_MEMORY},
        {"png: too many pixels", PngClaiming(png, 9000, 9000), ERROR_NOT_ENOUGH_MEMORY},
        {"png: larger than its data", PngClaiming(png, 13, 700), ERROR_INVALID_DATA},
        {"gif: signature only", gif.substr(0, 6), ERROR_INVALID_DATA},
        {"gif: screen cut", gif.substr(0, 10), ERROR_INVALID_DATA},
        {"gif: colour map cut", gif.substr(0, 40), ERROR_INVALID_DATA},
        {"gif: picture cut", gif.substr(0, gif.size() - 40), ERROR_INVALID_DATA},
        {"gif: screen width 0", WithByte(WithByte(gif, 6, 0), 7, 0), ERROR_INVALID_DATA},
        {"gif: no picture", gif.substr(0, 13 + 3 * (2 << (gif[10] & 7))) + ";", ERROR_INVALID_DATA},
        {"jpeg: marker only", jpg.substr(0, 3), ERROR_INVALID_DATA},
        {"jpeg: tables cut", jpg.substr(0, 100), ERROR_INVALID_DATA},
        {"jpeg: data cut", jpg.substr(0, jpg.size() / 2), ERROR_INVALID_DATA},
        {"jpeg: no end", jpg.substr(0, jpg.size() - 2), ERROR_INVALID_DATA},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFileBytes(PathOf("damaged"), c.bytes);
        SetLastError(0);
        const HBITMAP bitmap = Load("damaged");
        EXPECT_EQ(bitmap, nullptr);
        EXPECT_EQ(GetLastError(), c.error);
        if (bitmap != nullptr) DeleteObject(bitmap);
    }
    // The unharmed ones load, so the cases above fail for their damage.
    for (const std::string& bytes : {bmp, bmp8, bmp16, png, gif, jpg, Bmp24(16384, 1).Bytes()}) {
        WriteFileBytes(PathOf("whole"), bytes);
        const HBITMAP bitmap = Load("whole");
        EXPECT_NE(bitmap, nullptr) << GetLastError();
        DeleteObject(bitmap);
    }
}

TEST_F(Loader, FailedAllocationsGiveNothing) {
    for (const char* name : {"rgb.bmp", "masks565.bmp", "rgba.png", "interlaced.gif", "smooth.jpg"}) {
        SCOPED_TRACE(name);
        probe::FailEachAllocation([name] {
            const HBITMAP bitmap = Load(name);
            return bitmap != nullptr && DeleteObject(bitmap);
        });
    }
}

}  // namespace
