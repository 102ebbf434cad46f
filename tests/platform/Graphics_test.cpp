#include "platform/Graphics.h"

#include <gtest/gtest.h>

#include <bit>
#include <memory>
#include <cstring>
#include <string>
#include <vector>

#include "platform/Errors.h"
#include "platform/Faults.h"
#include "platform/Files.h"
#include "Probe.h"

namespace {

using probe::DibShape;
using probe::Selected;

constexpr int32_t kWidth = 7;  // odd, so rows of every depth end inside a padded word
constexpr int32_t kHeight = 3;

// Corners of the colour cube, which every direct encoding holds exactly, and
// colours that need rounding or a nearest match.
const std::vector<uint32_t> kColors = {0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0x00FFFF,
                                       0xFF00FF, 0x804020, 0x7F7F7F, 0x123456, 0xC0C0C0, 0x0A0B0C, 0xFEFDFC};

std::vector<uint32_t> TestPicture() {
    std::vector<uint32_t> picture;
    for (int32_t y = 0; y < kHeight; ++y) {
        for (int32_t x = 0; x < kWidth; ++x) picture.push_back(kColors[(x + 3 * y) % kColors.size()]);
    }
    return picture;
}

// White first, so that a copied index 0 or 1 would show.
const std::vector<uint32_t> kTable1 = {0xFFFFFF, 0x000000};
const std::vector<uint32_t> kTable4 = {0x00FFFF, 0x800000, 0xFF0000, 0x000000, 0x808080, 0xFFFFFF, 0x0000FF, 0x008000,
                                       0xFF00FF, 0x000080, 0x00FF00, 0xC0C0C0, 0xFFFF00, 0x804020, 0x400000, 0x123456};

std::vector<uint32_t> Table8() {
    std::vector<uint32_t> table;
    for (uint32_t i = 0; i < 256; ++i) table.push_back((255 - i) * 0x010101u);
    for (size_t k = 0; k < kColors.size(); ++k) table[7 * k + 3] = kColors[k];
    return table;
}

// Selected into every test context: a device bitmap of 4 bits sees only the
// first 16 entries, so the last ones (exact matches for some test colours)
// must never be chosen there.
const std::vector<PALETTEENTRY> kTestPalette = {
    {0xFF, 0xFF, 0x00, 0}, {0x00, 0x00, 0x00, 0}, {0xFF, 0x00, 0xFF, 0}, {0x00, 0x80, 0x00, 0},
    {0xFF, 0xFF, 0xFF, 0}, {0x00, 0x00, 0xFF, 0}, {0x80, 0x80, 0x80, 0}, {0xFF, 0x00, 0x00, 0},
    {0x00, 0xFF, 0xFF, 0}, {0x40, 0x40, 0x40, 0}, {0x00, 0xFF, 0x00, 0}, {0xC0, 0xC0, 0xC0, 0},
    {0x80, 0x00, 0x00, 0}, {0x00, 0x00, 0x80, 0}, {0x80, 0x40, 0x20, 0}, {0x20, 0x20, 0x20, 0},
    {0x7F, 0x7F, 0x7F, 0}, {0x12, 0x34, 0x56, 0}, {0x0A, 0x0B, 0x0C, 0}, {0xFE, 0xFD, 0xFC, 0},
    {0x11, 0x11, 0x11, 0}, {0x22, 0x22, 0x22, 0}, {0x33, 0x33, 0x33, 0}, {0x44, 0x44, 0x44, 0},
};

HPALETTE MakePalette(const std::vector<PALETTEENTRY>& entries) {
    std::vector<BYTE> block(sizeof(LOGPALETTE) + entries.size() * sizeof(PALETTEENTRY));
    auto* logical = reinterpret_cast<LOGPALETTE*>(block.data());
    logical->palVersion = 0x300;
    logical->palNumEntries = static_cast<WORD>(entries.size());
    std::memcpy(block.data() + offsetof(LOGPALETTE, palPalEntry), entries.data(), entries.size() * sizeof(PALETTEENTRY));
    return CreatePalette(logical);
}

uint32_t RgbOf(const PALETTEENTRY& e) { return uint32_t{e.peRed} << 16 | uint32_t{e.peGreen} << 8 | e.peBlue; }

// A pixel encoding as the test understands it.
struct Format {
    std::string name;
    bool device;
    uint16_t bits;
    DWORD compression = BI_RGB;
    std::array<DWORD, 3> masks{};  // the channels of a direct encoding
    std::vector<uint32_t> table{};  // a DIB's colour table
    DWORD colorsUsed = 0;

    // The colours an indexed encoding can hold, in index order.
    std::vector<uint32_t> Colors() const {
        if (!device) {
            std::vector<uint32_t> colors = table;
            colors.resize(size_t{1} << bits, 0);
            return colors;
        }
        if (bits == 1) return {0x000000, 0xFFFFFF};
        std::vector<uint32_t> colors;
        for (size_t i = 0; i < kTestPalette.size() && i < (size_t{1} << bits); ++i) colors.push_back(RgbOf(kTestPalette[i]));
        return colors;
    }

    size_t Nearest(uint32_t rgb) const {
        const std::vector<uint32_t> colors = Colors();
        size_t best = 0;
        long bestDistance = -1;
        for (size_t i = 0; i < colors.size(); ++i) {
            long distance = 0;
            for (int shift = 0; shift < 24; shift += 8) {
                const long d = long(rgb >> shift & 0xFF) - long(colors[i] >> shift & 0xFF);
                distance += d * d;
            }
            if (bestDistance < 0 || distance < bestDistance) {
                best = i;
                bestDistance = distance;
            }
        }
        return best;
    }

    // The raw pixel value holding `rgb`.
    uint32_t Encode(uint32_t rgb) const {
        if (bits <= 8) return static_cast<uint32_t>(Nearest(rgb));
        uint32_t value = 0;
        for (int i = 0; i < 3; ++i) {
            const int width = std::popcount(masks[i]);
            value |= probe::Narrow(rgb >> (16 - 8 * i) & 0xFF, width) << std::countr_zero(masks[i]);
        }
        return value;
    }

    uint32_t Decode(uint32_t value) const {
        if (bits <= 8) return Colors()[value];
        uint32_t rgb = 0;
        for (int i = 0; i < 3; ++i) {
            const int width = std::popcount(masks[i]);
            rgb = rgb << 8 | probe::Widen((value & masks[i]) >> std::countr_zero(masks[i]), width);
        }
        return rgb;
    }

    uint32_t Represent(uint32_t rgb) const { return Decode(Encode(rgb)); }
};

constexpr std::array<DWORD, 3> k555{0x7C00, 0x03E0, 0x001F};
constexpr std::array<DWORD, 3> k565{0xF800, 0x07E0, 0x001F};
constexpr std::array<DWORD, 3> k888{0xFF0000, 0x00FF00, 0x0000FF};

std::vector<Format> Formats() {
    std::vector<uint32_t> used20 = Table8();
    used20.resize(20);
    return {
        {"dib1", false, 1, BI_RGB, {}, kTable1},
        {"dib4", false, 4, BI_RGB, {}, kTable4},
        {"dib8", false, 8, BI_RGB, {}, Table8()},
        {"dib8used20", false, 8, BI_RGB, {}, used20, 20},
        {"dib16", false, 16, BI_RGB, k555},
        {"dib16mask565", false, 16, BI_BITFIELDS, k565},
        {"dib16mask444", false, 16, BI_BITFIELDS, {0x0F00, 0x00F0, 0x000F}},
        {"dib24", false, 24, BI_RGB, k888},
        {"dib32", false, 32, BI_RGB, k888},
        {"dib32maskBGR", false, 32, BI_BITFIELDS, {0x0000FF, 0x00FF00, 0xFF0000}},
        {"device1", true, 1},
        {"device4", true, 4},
        {"device8", true, 8},
        {"device16", true, 16, BI_RGB, k565},
        {"device24", true, 24, BI_RGB, k888},
        {"device32", true, 32, BI_RGB, k888},
    };
}

DibShape SpecOf(const Format& format, int32_t height) {
    DibShape shape;
    shape.width = kWidth;
    shape.height = height;
    shape.bits = format.bits;
    shape.compression = format.compression;
    if (format.compression == BI_BITFIELDS) shape.masks = format.masks;
    shape.colors = format.table;
    shape.colorsUsed = format.colorsUsed;
    return shape;
}

HBITMAP DeviceBitmap(int depth, int32_t width, int32_t height) {
    EXPECT_TRUE(platform::SetScreenDepth(depth));
    const HDC screen = GetDC(nullptr);
    const HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    ReleaseDC(nullptr, screen);
    platform::SetScreenDepth(16);
    return bitmap;
}

HBITMAP Make(const Format& format, void** bits = nullptr, int32_t height = kHeight) {
    return format.device ? DeviceBitmap(format.bits, kWidth, height) : probe::MakeDib(SpecOf(format, height), bits);
}

class Graphics : public ::testing::Test {
protected:
    static void SetUpTestSuite() { palette_ = MakePalette(kTestPalette); }
    static void TearDownTestSuite() { DeleteObject(palette_); }
    void TearDown() override { platform::SetScreenDepth(16); }

    static HPALETTE palette_;
};

HPALETTE Graphics::palette_ = nullptr;

// --- Every pair of encodings --------------------------------------------------

class Conversion : public Graphics, public ::testing::WithParamInterface<std::tuple<size_t, size_t>> {};

TEST_P(Conversion, CopiesEveryPixelAsTheTargetHoldsIt) {
    const Format from = Formats()[std::get<0>(GetParam())];
    const Format to = Formats()[std::get<1>(GetParam())];
    const std::vector<uint32_t> picture = TestPicture();
    std::vector<uint32_t> expected;
    for (const uint32_t rgb : picture) expected.push_back(to.Represent(from.Represent(rgb)));

    const HBITMAP source = Make(from);
    const HBITMAP target = Make(to);
    ASSERT_NE(source, nullptr);
    ASSERT_NE(target, nullptr);
    probe::WriteColors(source, kWidth, kHeight, picture, palette_);
    {
        Selected in(source, palette_);
        Selected out(target, palette_);
        ASSERT_TRUE(BitBlt(out.dc(), 0, 0, kWidth, kHeight, in.dc(), 0, 0, SRCCOPY));
    }
    EXPECT_EQ(probe::ReadColors(target, kWidth, kHeight, palette_), expected);
    DeleteObject(source);
    DeleteObject(target);
}

std::vector<size_t> FormatIndexes() {
    std::vector<size_t> indexes(Formats().size());
    for (size_t i = 0; i < indexes.size(); ++i) indexes[i] = i;
    return indexes;
}

INSTANTIATE_TEST_SUITE_P(AllPairs, Conversion,
                         ::testing::Combine(::testing::ValuesIn(FormatIndexes()), ::testing::ValuesIn(FormatIndexes())),
                         [](const auto& info) {
                             return Formats()[std::get<0>(info.param)].name + "_to_" + Formats()[std::get<1>(info.param)].name;
                         });

// --- DIB layouts, byte by byte ---------------------------------------------------

class Layout : public Graphics, public ::testing::WithParamInterface<std::tuple<size_t, bool>> {};

const BYTE* RowOf(const void* bits, const Format& format, int32_t y, bool topDown) {
    const uint32_t stride = probe::DibStride(kWidth, format.bits);
    return static_cast<const BYTE*>(bits) + size_t(topDown ? y : kHeight - 1 - y) * stride;
}

TEST_P(Layout, PixelsSitWhereTheFormatSays) {
    const Format format = Formats()[std::get<0>(GetParam())];
    const bool topDown = std::get<1>(GetParam());
    void* bits = nullptr;
    const HBITMAP dib = Make(format, &bits, topDown ? -kHeight : kHeight);
    ASSERT_NE(dib, nullptr);
    const std::vector<uint32_t> picture = TestPicture();

    probe::WriteColors(dib, kWidth, kHeight, picture);
    for (int32_t y = 0; y < kHeight; ++y) {
        for (int32_t x = 0; x < kWidth; ++x) {
            EXPECT_EQ(probe::RawPixel(RowOf(bits, format, y, topDown), x, format.bits), format.Encode(picture[y * kWidth + x]))
                << "pixel " << x << "," << y;
        }
    }

    // Raw values the test writes read back as the format's colours.
    std::vector<uint32_t> expected;
    for (int32_t y = 0; y < kHeight; ++y) {
        for (int32_t x = 0; x < kWidth; ++x) {
            const uint32_t raw = format.Encode(picture[(y * kWidth + x + 5) % picture.size()]);
            probe::SetRawPixel(const_cast<BYTE*>(RowOf(bits, format, y, topDown)), x, format.bits, raw);
            expected.push_back(format.Decode(raw));
        }
    }
    EXPECT_EQ(probe::ReadColors(dib, kWidth, kHeight), expected);
    DeleteObject(dib);
}

std::vector<size_t> DibIndexes() {
    std::vector<size_t> indexes;
    for (size_t i = 0; i < Formats().size(); ++i) {
        if (!Formats()[i].device) indexes.push_back(i);
    }
    return indexes;
}

INSTANTIATE_TEST_SUITE_P(Dibs, Layout, ::testing::Combine(::testing::ValuesIn(DibIndexes()), ::testing::Bool()),
                         [](const auto& info) {
                             return Formats()[std::get<0>(info.param)].name + (std::get<1>(info.param) ? "_topdown" : "_bottomup");
                         });

TEST_F(Graphics, EqualTablesCopyIndexesEvenWhereColoursRepeat) {
    DibShape shape;
    shape.width = 4;
    shape.bits = 8;
    shape.colors = {0x000000, 0xFFFFFF, 0x000000, 0xFFFFFF};  // a nearest match would pick 0 or 1
    void* sourceBits = nullptr;
    void* targetBits = nullptr;
    const HBITMAP source = probe::MakeDib(shape, &sourceBits);
    const HBITMAP target = probe::MakeDib(shape, &targetBits);
    const BYTE indexes[] = {3, 2, 1, 0};
    std::memcpy(sourceBits, indexes, sizeof indexes);
    {
        Selected from(source);
        Selected to(target);
        ASSERT_TRUE(BitBlt(to.dc(), 0, 0, 4, 1, from.dc(), 0, 0, SRCCOPY));
    }
    EXPECT_EQ(std::memcmp(targetBits, indexes, sizeof indexes), 0);
    DeleteObject(source);
    DeleteObject(target);
}

// --- 16-bit rounding ------------------------------------------------------------

TEST_F(Graphics, EightBitChannelsNarrowToTheNearestFiveOrSixBitValue) {
    // The oracle's own rounding, pinned at the points where it turns.
    EXPECT_EQ(probe::Narrow(4, 5), 0u);
    EXPECT_EQ(probe::Narrow(5, 5), 1u);
    EXPECT_EQ(probe::Narrow(2, 6), 0u);
    EXPECT_EQ(probe::Narrow(3, 6), 1u);
    EXPECT_EQ(probe::Narrow(251, 5), 31u);
    EXPECT_EQ(probe::Narrow(250, 5), 30u);

    probe::Canvas32 ramp(256, 3);
    for (uint32_t v = 0; v < 256; ++v) {
        ramp.At(v, 0) = v << 16;
        ramp.At(v, 1) = v << 8;
        ramp.At(v, 2) = v;
    }
    DibShape shape;
    shape.width = 256;
    shape.height = -3;
    shape.bits = 16;
    shape.compression = BI_BITFIELDS;
    shape.masks = k565;
    void* bits = nullptr;
    const HBITMAP dib = probe::MakeDib(shape, &bits);
    ASSERT_NE(dib, nullptr);
    {
        Selected in(ramp.bitmap());
        Selected out(dib);
        ASSERT_TRUE(BitBlt(out.dc(), 0, 0, 256, 3, in.dc(), 0, 0, SRCCOPY));
    }
    const auto* pixels = static_cast<const uint16_t*>(bits);
    for (uint32_t v = 0; v < 256; ++v) {
        EXPECT_EQ(pixels[v], probe::Narrow(v, 5) << 11) << v;
        EXPECT_EQ(pixels[256 + v], probe::Narrow(v, 6) << 5) << v;
        EXPECT_EQ(pixels[512 + v], probe::Narrow(v, 5)) << v;
    }
    DeleteObject(dib);
}

class SixteenBits : public Graphics, public ::testing::WithParamInterface<bool> {};

TEST_P(SixteenBits, EveryValueWidensByRepeatingItsBitsAndNarrowsBack) {
    const bool mask565 = GetParam();
    DibShape shape;
    shape.width = 256;
    shape.height = -256;
    shape.bits = 16;
    shape.compression = mask565 ? BI_BITFIELDS : BI_RGB;
    shape.masks = k565;
    void* bits = nullptr;
    const HBITMAP dib = probe::MakeDib(shape, &bits);
    ASSERT_NE(dib, nullptr);
    auto* pixels = static_cast<uint16_t*>(bits);
    const uint32_t values = mask565 ? 65536 : 32768;
    for (uint32_t v = 0; v < 65536; ++v) pixels[v] = static_cast<uint16_t>(v % values);

    const std::vector<uint32_t> wide = probe::ReadColors(dib, 256, 256);
    for (uint32_t v = 0; v < 65536; ++v) {
        const uint32_t raw = v % values;
        const uint32_t expected = mask565 ? probe::Widen(raw >> 11, 5) << 16 | probe::Widen(raw >> 5 & 0x3F, 6) << 8 | probe::Widen(raw & 0x1F, 5)
                                          : probe::Widen(raw >> 10, 5) << 16 | probe::Widen(raw >> 5 & 0x1F, 5) << 8 | probe::Widen(raw & 0x1F, 5);
        ASSERT_EQ(wide[v], expected) << "raw " << raw;
    }
    std::memset(bits, 0, 65536 * 2);
    probe::WriteColors(dib, 256, 256, wide);
    for (uint32_t v = 0; v < 65536; ++v) ASSERT_EQ(pixels[v], v % values) << "round trip of " << v;
    DeleteObject(dib);
}

INSTANTIATE_TEST_SUITE_P(Layouts, SixteenBits, ::testing::Bool(),
                         [](const auto& info) { return std::string(info.param ? "Masks565" : "Plain555"); });

// --- Palettes -------------------------------------------------------------------

TEST_F(Graphics, DeviceBitmapsReadTheirIndexesThroughTheSelectedPalette) {
    const HBITMAP bitmap = DeviceBitmap(8, 4, 1);
    const std::vector<uint32_t> picture = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
    probe::WriteColors(bitmap, 4, 1, picture, palette_);
    EXPECT_EQ(probe::ReadColors(bitmap, 4, 1, palette_), picture);

    // The same indexes (7, 10, 5, 4 of the test palette) through another palette.
    std::vector<PALETTEENTRY> other(16);
    for (size_t i = 0; i < other.size(); ++i) other[i] = {static_cast<BYTE>(i), static_cast<BYTE>(2 * i), static_cast<BYTE>(3 * i), 0};
    const HPALETTE otherPalette = MakePalette(other);
    EXPECT_EQ(probe::ReadColors(bitmap, 4, 1, otherPalette), (std::vector<uint32_t>{0x070E15, 0x0A141E, 0x050A0F, 0x04080C}));

    // A DIB section keeps to its own table whatever the context's palette.
    DibShape shape;
    shape.width = 2;
    shape.bits = 1;
    shape.colors = {0x112233, 0x445566};
    void* bits = nullptr;
    const HBITMAP dib = probe::MakeDib(shape, &bits);
    *static_cast<BYTE*>(bits) = 0x40;
    EXPECT_EQ(probe::ReadColors(dib, 2, 1, otherPalette), (std::vector<uint32_t>{0x112233, 0x445566}));
    DeleteObject(dib);
    DeleteObject(bitmap);
    DeleteObject(otherPalette);
}

TEST_F(Graphics, ContextsStartWithTheDefaultPaletteAndSelectionsSwap) {
    const auto stock = static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE));
    ASSERT_NE(stock, nullptr);
    EXPECT_EQ(GetPaletteEntries(stock, 0, 0, nullptr), 20u);
    PALETTEENTRY entries[20];
    ASSERT_EQ(GetPaletteEntries(stock, 0, 20, entries), 20u);
    EXPECT_EQ(RgbOf(entries[0]), 0x000000u);
    EXPECT_EQ(RgbOf(entries[1]), 0x800000u);
    EXPECT_EQ(RgbOf(entries[9]), 0xA6CAF0u);
    EXPECT_EQ(RgbOf(entries[13]), 0xFF0000u);
    EXPECT_EQ(RgbOf(entries[19]), 0xFFFFFFu);

    for (const bool screen : {true, false}) {
        const HDC dc = screen ? GetDC(nullptr) : CreateCompatibleDC(nullptr);
        EXPECT_EQ(SelectPalette(dc, palette_, FALSE), stock);
        EXPECT_EQ(SelectObject(dc, stock), palette_);
        EXPECT_EQ(SelectPalette(dc, stock, TRUE), stock);
        screen ? ReleaseDC(nullptr, dc) : DeleteDC(dc);
    }

    PALETTEENTRY some[4];
    EXPECT_EQ(GetPaletteEntries(palette_, 22, 4, some), 2u);
    EXPECT_EQ(RgbOf(some[1]), 0x444444u);
    EXPECT_EQ(GetPaletteEntries(palette_, 24, 4, some), 0u);
    WORD count = 0;
    EXPECT_EQ(GetObjectW(palette_, sizeof count, &count), 2);
    EXPECT_EQ(count, 24);
}

TEST_F(Graphics, RealizingMapsEntriesOnlyOnPaletteDevices) {
    struct Case {
        int depth;
        UINT realized;
    };
    for (const Case c : {Case{1, 2}, Case{4, 16}, Case{8, 24}, Case{16, 0}, Case{24, 0}, Case{32, 0}}) {
        platform::SetScreenDepth(c.depth);
        const HDC dc = GetDC(nullptr);
        SelectPalette(dc, palette_, FALSE);
        EXPECT_EQ(RealizePalette(dc), c.realized) << c.depth;
        SelectPalette(dc, static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE)), FALSE);
        ReleaseDC(nullptr, dc);
    }
    EXPECT_EQ(RealizePalette(reinterpret_cast<HDC>(palette_)), GDI_ERROR);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(Graphics, PalettesNeedTheVersionAndEntries) {
    LOGPALETTE bad{0x300, 0, {}};
    SetLastError(0);
    EXPECT_EQ(CreatePalette(&bad), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    bad = {0x200, 1, {}};
    EXPECT_EQ(CreatePalette(&bad), nullptr);
    EXPECT_EQ(CreatePalette(nullptr), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

// --- Descriptions -----------------------------------------------------------------

TEST_F(Graphics, DeviceCapsFollowTheScreenDepth) {
    struct Case {
        int depth;
        int sizePalette;
        int numColors;
        bool palette;
    };
    const Case cases[] = {{1, 2, 2, true}, {4, 16, 16, true}, {8, 256, 20, true}, {16, 0, -1, false}, {24, 0, -1, false}, {32, 0, -1, false}};
    for (const Case& c : cases) {
        ASSERT_TRUE(platform::SetScreenDepth(c.depth));
        const HDC screen = GetDC(nullptr);
        const HDC memory = CreateCompatibleDC(screen);
        for (const HDC dc : {screen, memory}) {
            SCOPED_TRACE(c.depth);
            EXPECT_EQ(GetDeviceCaps(dc, BITSPIXEL), c.depth);
            EXPECT_EQ(GetDeviceCaps(dc, PLANES), 1);
            EXPECT_EQ(GetDeviceCaps(dc, SIZEPALETTE), c.sizePalette);
            EXPECT_EQ(GetDeviceCaps(dc, NUMCOLORS), c.numColors);
            EXPECT_EQ((GetDeviceCaps(dc, RASTERCAPS) & RC_PALETTE) != 0, c.palette);
            EXPECT_NE(GetDeviceCaps(dc, RASTERCAPS) & RC_BITBLT, 0);
            EXPECT_EQ(GetDeviceCaps(dc, HORZRES), 240);
            EXPECT_EQ(GetDeviceCaps(dc, VERTRES), 320);
        }
        DeleteDC(memory);
        ReleaseDC(nullptr, screen);
    }
    platform::SetScreenDepth(16);
    for (const int refused : {0, 2, 15, 64}) EXPECT_FALSE(platform::SetScreenDepth(refused));
    EXPECT_EQ(platform::ScreenDepth(), 16);
}

TEST_F(Graphics, DeviceBitmapsDescribeWordAlignedRowsWithoutBits) {
    struct Case {
        int depth;
        LONG widthBytes;  // of 13 pixels
    };
    for (const Case c : {Case{1, 2}, Case{4, 8}, Case{8, 14}, Case{16, 26}, Case{24, 40}, Case{32, 52}}) {
        const HBITMAP bitmap = DeviceBitmap(c.depth, 13, 5);
        ASSERT_NE(bitmap, nullptr);
        EXPECT_EQ(GetObjectW(bitmap, 0, nullptr), int(sizeof(BITMAP)));
        DIBSECTION section{};
        section.dsBmih.biSize = 0xABCD;
        ASSERT_EQ(GetObjectW(bitmap, sizeof section, &section), int(sizeof(BITMAP)));
        EXPECT_EQ(section.dsBm.bmType, 0);
        EXPECT_EQ(section.dsBm.bmWidth, 13);
        EXPECT_EQ(section.dsBm.bmHeight, 5);
        EXPECT_EQ(section.dsBm.bmWidthBytes, c.widthBytes);
        EXPECT_EQ(section.dsBm.bmPlanes, 1);
        EXPECT_EQ(section.dsBm.bmBitsPixel, c.depth);
        EXPECT_EQ(section.dsBm.bmBits, nullptr);
        EXPECT_EQ(section.dsBmih.biSize, 0xABCDu) << "only a BITMAP is written";
        DeleteObject(bitmap);
    }
}

TEST_F(Graphics, DibSectionsDescribeTheirBitsAndHeader) {
    struct Case {
        uint16_t bits;
        DWORD compression;
        std::array<DWORD, 3> masks;
        int32_t height;
        LONG widthBytes;  // of 13 pixels
        std::array<DWORD, 3> fields;
    };
    const Case cases[] = {
        {1, BI_RGB, {}, 5, 4, {}},
        {8, BI_RGB, {}, -5, 16, {}},
        {16, BI_RGB, {}, 5, 28, k555},
        {16, BI_BITFIELDS, k565, -5, 28, k565},
        {24, BI_RGB, {}, -5, 40, {}},
        {32, BI_RGB, {}, 5, 52, k888},
        {32, BI_BITFIELDS, {0xFF, 0xFF00, 0xFF0000}, 5, 52, {0xFF, 0xFF00, 0xFF0000}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bits << " bits, compression " << c.compression);
        DibShape shape;
        shape.width = 13;
        shape.height = c.height;
        shape.bits = c.bits;
        shape.compression = c.compression;
        shape.masks = c.masks;
        void* bits = nullptr;
        const HBITMAP dib = probe::MakeDib(shape, &bits);
        ASSERT_NE(dib, nullptr);
        ASSERT_NE(bits, nullptr);
        EXPECT_EQ(GetObjectW(dib, 0, nullptr), int(sizeof(DIBSECTION)));
        DIBSECTION section{};
        ASSERT_EQ(GetObjectW(dib, sizeof section, &section), int(sizeof(DIBSECTION)));
        EXPECT_EQ(section.dsBm.bmWidth, 13);
        EXPECT_EQ(section.dsBm.bmHeight, 5);
        EXPECT_EQ(section.dsBm.bmWidthBytes, c.widthBytes);
        EXPECT_EQ(section.dsBm.bmBitsPixel, c.bits);
        EXPECT_EQ(section.dsBm.bmBits, bits);
        EXPECT_EQ(section.dsBmih.biSize, 40u);
        EXPECT_EQ(section.dsBmih.biHeight, c.height);
        EXPECT_EQ(section.dsBmih.biCompression, c.compression);
        EXPECT_EQ(section.dsBmih.biSizeImage, DWORD(c.widthBytes) * 5);
        EXPECT_EQ((std::array<DWORD, 3>{section.dsBitfields[0], section.dsBitfields[1], section.dsBitfields[2]}), c.fields);
        EXPECT_EQ(section.dshSection, nullptr);
        for (size_t i = 0; i < size_t(c.widthBytes) * 5; ++i) ASSERT_EQ(static_cast<BYTE*>(bits)[i], 0) << "pixels start zero";

        BITMAP plain{};
        ASSERT_EQ(GetObjectW(dib, sizeof plain, &plain), int(sizeof plain));
        EXPECT_EQ(plain.bmBits, bits);
        SetLastError(0);
        EXPECT_EQ(GetObjectW(dib, sizeof plain - 1, &plain), 0);
        EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
        DeleteObject(dib);
    }
}

TEST_F(Graphics, CompatibleBitmapsTakeTheDepthOfTheContextsBitmap) {
    const HDC memory = CreateCompatibleDC(nullptr);
    BITMAP description{};
    const HBITMAP monochrome = CreateCompatibleBitmap(memory, 4, 4);
    GetObjectW(monochrome, sizeof description, &description);
    EXPECT_EQ(description.bmBitsPixel, 1) << "a new memory context holds a monochrome bitmap";

    const HGDIOBJ original = SelectObject(memory, DeviceBitmap(24, 2, 2));
    const HBITMAP deep = CreateCompatibleBitmap(memory, 4, 4);
    GetObjectW(deep, sizeof description, &description);
    EXPECT_EQ(description.bmBitsPixel, 24);
    DeleteObject(SelectObject(memory, original));
    DeleteObject(monochrome);
    DeleteObject(deep);
    DeleteDC(memory);

    const HDC screen = GetDC(nullptr);
    const HBITMAP onScreen = CreateCompatibleBitmap(screen, 4, 4);
    GetObjectW(onScreen, sizeof description, &description);
    EXPECT_EQ(description.bmBitsPixel, 16);
    SetLastError(0);
    EXPECT_EQ(CreateCompatibleBitmap(screen, 0, 4), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    DeleteObject(onScreen);
    ReleaseDC(nullptr, screen);
}

TEST_F(Graphics, ColourTablesOfSelectedSectionsReadAndChange) {
    DibShape shape;
    shape.width = 3;
    shape.bits = 4;
    shape.colors = {0x102030, 0x405060, 0x708090};
    shape.colorsUsed = 3;
    void* bits = nullptr;
    const HBITMAP dib = probe::MakeDib(shape, &bits);
    static_cast<BYTE*>(bits)[0] = 0x12;
    static_cast<BYTE*>(bits)[1] = 0xF0;
    auto selected = std::make_unique<Selected>(dib);
    RGBQUAD table[20]{};
    ASSERT_EQ(GetDIBColorTable(selected->dc(), 0, 20, table), 16u);
    EXPECT_EQ(table[2].rgbRed, 0x70);
    EXPECT_EQ(table[2].rgbBlue, 0x90);
    EXPECT_EQ(table[3].rgbRed, 0) << "entries past the colours used are black";
    EXPECT_EQ(GetDIBColorTable(selected->dc(), 14, 5, table), 2u);
    EXPECT_EQ(GetDIBColorTable(selected->dc(), 16, 1, table), 0u);

    const RGBQUAD white{0xFF, 0xFF, 0xFF, 0};
    ASSERT_EQ(SetDIBColorTable(selected->dc(), 15, 4, &white), 1u);
    probe::Canvas32 canvas(3, 1);
    {
        Selected out(canvas.bitmap());
        BitBlt(out.dc(), 0, 0, 3, 1, selected->dc(), 0, 0, SRCCOPY);
    }
    EXPECT_EQ(canvas.Pixels(), (std::vector<uint32_t>{0x405060, 0x708090, 0xFFFFFF}));

    const HBITMAP device = DeviceBitmap(8, 1, 1);
    {
        Selected other(device);
        SetLastError(0);
        EXPECT_EQ(GetDIBColorTable(other.dc(), 0, 1, table), 0u);
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
        EXPECT_EQ(SetDIBColorTable(other.dc(), 0, 1, &white), 0u);
    }
    EXPECT_TRUE(DeleteObject(device));
    selected.reset();
    EXPECT_TRUE(DeleteObject(dib));
}

// --- Clipping and overlap -----------------------------------------------------------

constexpr uint32_t kUntouched = 0x5A5A5A;

TEST_F(Graphics, CopiesAreClippedToBothBitmaps) {
    struct Case {
        int x, y, width, height, sourceX, sourceY;
    };
    const Case cases[] = {
        {0, 0, 3, 3, 0, 0},    {1, 1, 3, 3, 0, 0},     {2, 3, 3, 3, 0, 0},    {-1, -2, 3, 3, 0, 0},
        {0, 0, 3, 3, 1, 2},    {0, 0, 3, 3, -1, -1},   {1, 0, 9, 9, -2, 0},   {4, 0, 3, 3, 0, 0},
        {0, 0, 3, 3, 3, 0},    {0, 0, 0, 3, 0, 0},     {0, 0, 3, -1, 0, 0},   {-5, -5, 20, 20, -3, -4},
        {3, 3, 1, 1, 2, 2},    {0, 0, INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << "," << c.y << " " << c.width << "x" << c.height << " from " << c.sourceX << "," << c.sourceY);
        probe::Canvas32 source(3, 3);
        probe::Canvas32 target(4, 4);
        for (int i = 0; i < 9; ++i) source.At(i % 3, i / 3) = 0x010101u * (i + 1);
        for (int i = 0; i < 16; ++i) target.At(i % 4, i / 4) = kUntouched;
        {
            Selected from(source.bitmap());
            Selected to(target.bitmap());
            ASSERT_TRUE(BitBlt(to.dc(), c.x, c.y, c.width, c.height, from.dc(), c.sourceX, c.sourceY, SRCCOPY));
        }
        for (int ty = 0; ty < 4; ++ty) {
            for (int tx = 0; tx < 4; ++tx) {
                const int64_t sx = int64_t{c.sourceX} + tx - c.x;
                const int64_t sy = int64_t{c.sourceY} + ty - c.y;
                const bool inside = tx >= c.x && ty >= c.y && int64_t{tx} < int64_t{c.x} + c.width &&
                                    int64_t{ty} < int64_t{c.y} + c.height && sx >= 0 && sy >= 0 && sx < 3 && sy < 3;
                const uint32_t expected = inside ? 0x010101u * uint32_t(sy * 3 + sx + 1) : kUntouched;
                EXPECT_EQ(target.At(tx, ty) & 0xFFFFFF, expected) << "target " << tx << "," << ty;
            }
        }
    }
}

TEST_F(Graphics, CopiesWithinOneBitmapSurviveOverlap) {
    struct Case {
        int dx, dy;
    };
    for (const uint16_t bits : {uint16_t{4}, uint16_t{24}}) {
        for (const Case c : {Case{1, 1}, Case{-1, 0}, Case{2, -1}, Case{0, 2}, Case{-2, -2}}) {
            SCOPED_TRACE(testing::Message() << bits << " bits, by " << c.dx << "," << c.dy);
            DibShape shape;
            shape.width = 6;
            shape.height = 5;
            shape.bits = bits;
            for (uint32_t i = 0; i < 16; ++i) shape.colors.push_back(i * 0x0F0F0F);
            const HBITMAP dib = probe::MakeDib(shape);
            std::vector<uint32_t> before;
            for (uint32_t i = 0; i < 30; ++i) before.push_back((i * 7 % 16) * 0x0F0F0F);
            probe::WriteColors(dib, 6, 5, before);
            {
                Selected selected(dib);
                ASSERT_TRUE(BitBlt(selected.dc(), 1 + c.dx, 1 + c.dy, 4, 3, selected.dc(), 1, 1, SRCCOPY));
            }
            std::vector<uint32_t> expected = before;
            for (int y = 0; y < 3; ++y) {
                for (int x = 0; x < 4; ++x) {
                    const int tx = 1 + c.dx + x;
                    const int ty = 1 + c.dy + y;
                    if (tx >= 0 && ty >= 0 && tx < 6 && ty < 5) expected[ty * 6 + tx] = before[(1 + y) * 6 + 1 + x];
                }
            }
            EXPECT_EQ(probe::ReadColors(dib, 6, 5), expected);
            DeleteObject(dib);
        }
    }
}

TEST_F(Graphics, TheScreenIsASurfaceOfItsDepth) {
    probe::Canvas32 canvas(2, 1);
    canvas.At(0, 0) = 0x123456;
    canvas.At(1, 0) = 0xFFFFFF;
    const HDC screen = GetDC(nullptr);
    {
        Selected from(canvas.bitmap());
        ASSERT_TRUE(BitBlt(screen, 238, 319, 5, 5, from.dc(), 0, 0, SRCCOPY));
    }
    probe::Canvas32 back(3, 1);
    back.At(2, 0) = kUntouched;
    {
        Selected to(back.bitmap());
        ASSERT_TRUE(BitBlt(to.dc(), 0, 0, 3, 1, screen, 238, 319, SRCCOPY));
    }
    const uint32_t rounded = probe::Widen(probe::Narrow(0x12, 5), 5) << 16 | probe::Widen(probe::Narrow(0x34, 6), 6) << 8 |
                             probe::Widen(probe::Narrow(0x56, 5), 5);
    EXPECT_EQ(back.Pixels(), (std::vector<uint32_t>{rounded, 0xFFFFFF, kUntouched}));
    ReleaseDC(nullptr, screen);
}

// --- Handles and refusals ---------------------------------------------------------

TEST_F(Graphics, BogusHandlesAreRefused) {
    const HDC memory = CreateCompatibleDC(nullptr);
    const HBITMAP deleted = DeviceBitmap(16, 1, 1);
    ASSERT_TRUE(DeleteObject(deleted));
    const HANDLE file = CreateFileW(u"graphics-handle.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    const void* bogus[] = {nullptr, reinterpret_cast<void*>(0x1234), reinterpret_cast<void*>(0x7FFFFFF8), deleted, file};

    for (const void* handle : bogus) {
        SCOPED_TRACE(handle);
        auto* h = const_cast<void*>(handle);
        const auto refused = [](bool failed) {
            EXPECT_TRUE(failed);
            EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
            SetLastError(0);
        };
        refused(DeleteObject(h) == FALSE);
        refused(SelectObject(memory, h) == nullptr);
        refused(SelectObject(static_cast<HDC>(h), GetStockObject(DEFAULT_PALETTE)) == nullptr);
        refused(SelectPalette(memory, static_cast<HPALETTE>(h), FALSE) == nullptr);
        refused(GetObjectW(h, sizeof(DIBSECTION), nullptr) == 0);
        refused(GetDeviceCaps(static_cast<HDC>(h), BITSPIXEL) == 0);
        refused(DeleteDC(static_cast<HDC>(h)) == FALSE);
        refused(ReleaseDC(nullptr, static_cast<HDC>(h)) == 0);
        refused(BitBlt(memory, 0, 0, 1, 1, static_cast<HDC>(h), 0, 0, SRCCOPY) == FALSE);
        refused(BitBlt(static_cast<HDC>(h), 0, 0, 1, 1, memory, 0, 0, SRCCOPY) == FALSE);
        refused(GetPaletteEntries(static_cast<HPALETTE>(h), 0, 0, nullptr) == 0);
        refused(CreateCompatibleBitmap(static_cast<HDC>(h), 1, 1) == nullptr);
        if (h != nullptr) refused(CreateCompatibleDC(static_cast<HDC>(h)) == nullptr);
    }
    // Objects of the wrong kind.
    const HPALETTE palette = palette_;
    EXPECT_EQ(DeleteObject(memory), FALSE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(SelectObject(reinterpret_cast<HDC>(palette), palette), nullptr);
    EXPECT_EQ(SelectObject(memory, memory), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(CloseHandle(file), TRUE) << "the file handle was left alone";
    DeleteDC(memory);
}

TEST_F(Graphics, SelectedObjectsStayUntilTheirContextLetsGo) {
    const HBITMAP bitmap = DeviceBitmap(16, 2, 2);
    const HPALETTE palette = MakePalette(kTestPalette);
    const HDC first = CreateCompatibleDC(nullptr);
    const HDC second = CreateCompatibleDC(nullptr);
    const HGDIOBJ stockBitmap = SelectObject(first, bitmap);
    ASSERT_NE(stockBitmap, nullptr);
    EXPECT_EQ(SelectObject(first, bitmap), bitmap) << "selecting it again changes nothing";
    SetLastError(0);
    EXPECT_EQ(SelectObject(second, bitmap), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_BUSY);
    EXPECT_EQ(SelectObject(second, stockBitmap), stockBitmap) << "the stock bitmap sits in any number of contexts";
    SelectPalette(first, palette, FALSE);
    SelectPalette(second, palette, FALSE);

    EXPECT_FALSE(DeleteObject(bitmap));
    EXPECT_EQ(GetLastError(), ERROR_BUSY);
    EXPECT_FALSE(DeleteObject(palette));
    EXPECT_EQ(GetLastError(), ERROR_BUSY);
    EXPECT_EQ(SelectObject(first, stockBitmap), bitmap);
    EXPECT_TRUE(DeleteObject(bitmap));
    EXPECT_FALSE(DeleteObject(bitmap));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);

    EXPECT_TRUE(DeleteDC(first));
    EXPECT_FALSE(DeleteObject(palette)) << "still in the second context";
    EXPECT_TRUE(DeleteDC(second));
    EXPECT_TRUE(DeleteObject(palette));

    const HGDIOBJ stock = GetStockObject(DEFAULT_PALETTE);
    EXPECT_TRUE(DeleteObject(stock));
    EXPECT_EQ(GetPaletteEntries(static_cast<HPALETTE>(stock), 0, 0, nullptr), 20u) << "stock objects stay";
    SetLastError(0);
    EXPECT_EQ(GetStockObject(0), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(Graphics, ScreenAndMemoryContextsKeepToTheirKind) {
    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    const HBITMAP bitmap = DeviceBitmap(16, 1, 1);
    SetLastError(0);
    EXPECT_EQ(SelectObject(screen, bitmap), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(DeleteDC(screen));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(ReleaseDC(nullptr, memory), 0);
    EXPECT_EQ(ReleaseDC(reinterpret_cast<HWND>(0x10), screen), 0);
    EXPECT_EQ(GetDC(reinterpret_cast<HWND>(0x10)), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    SetLastError(0);
    EXPECT_FALSE(BitBlt(memory, 0, 0, 1, 1, screen, 0, 0, 0x00EE0086));
    EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
    EXPECT_EQ(ReleaseDC(nullptr, screen), 1);
    EXPECT_TRUE(DeleteDC(memory));
    EXPECT_EQ(ReleaseDC(nullptr, screen), 0) << "released once only";
    DeleteObject(bitmap);
}

TEST_F(Graphics, DibSectionDescriptionsAreChecked) {
    struct Case {
        const char* what;
        DibShape shape;
        DWORD error;
    };
    const auto shape = [](int32_t width, int32_t height, uint16_t bits, DWORD compression = BI_RGB, std::array<DWORD, 3> masks = {}) {
        DibShape s;
        s.width = width;
        s.height = height;
        s.bits = bits;
        s.compression = compression;
        s.masks = masks;
        return s;
    };
    const Case cases[] = {
        {"width 0", shape(0, 1, 24), ERROR_INVALID_PARAMETER},
        {"negative width", shape(-1, 1, 24), ERROR_INVALID_PARAMETER},
        {"height 0", shape(1, 0, 24), ERROR_INVALID_PARAMETER},
        {"most negative height", shape(1, INT32_MIN, 24), ERROR_INVALID_PARAMETER},
        {"2 bits", shape(1, 1, 2), ERROR_INVALID_PARAMETER},
        {"0 bits", shape(1, 1, 0), ERROR_INVALID_PARAMETER},
        {"run-length", shape(1, 1, 8, BI_RLE8), ERROR_INVALID_PARAMETER},
        {"masks at 24 bits", shape(1, 1, 24, BI_BITFIELDS, k888), ERROR_INVALID_PARAMETER},
        {"overlapping masks", shape(1, 1, 16, BI_BITFIELDS, {0xF800, 0x0FE0, 0x001F}), ERROR_INVALID_PARAMETER},
        {"empty mask", shape(1, 1, 16, BI_BITFIELDS, {0xF800, 0, 0x001F}), ERROR_INVALID_PARAMETER},
        {"split mask", shape(1, 1, 16, BI_BITFIELDS, {0xF800, 0x05E0, 0x001F}), ERROR_INVALID_PARAMETER},
        {"nine-bit mask", shape(1, 1, 32, BI_BITFIELDS, {0x1FF0000, 0xFF00, 0xFF}), ERROR_INVALID_PARAMETER},
        {"mask past 16 bits", shape(1, 1, 16, BI_BITFIELDS, {0x1F0000, 0x07E0, 0x001F}), ERROR_INVALID_PARAMETER},
        {"too wide", shape(16385, 1, 1), ERROR_NOT_ENOUGH_MEMORY},
        {"too high", shape(1, -16385, 1), ERROR_NOT_ENOUGH_MEMORY},
        {"too many pixels", shape(8192, 8193, 1), ERROR_NOT_ENOUGH_MEMORY},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        void* bits = &bits;
        SetLastError(0);
        EXPECT_EQ(probe::MakeDib(c.shape, &bits), nullptr);
        EXPECT_EQ(bits, nullptr);
        EXPECT_EQ(GetLastError(), c.error);
    }
    const HBITMAP widest = probe::MakeDib(shape(16384, 1, 1));
    EXPECT_NE(widest, nullptr) << "the guard's own limit is allowed";
    DeleteObject(widest);

    std::vector<DWORD> words = probe::DescribeDib(shape(1, 1, 24));
    auto* info = reinterpret_cast<BITMAPINFO*>(words.data());
    void* bits = nullptr;
    EXPECT_EQ(CreateDIBSection(nullptr, info, DIB_PAL_COLORS, &bits, nullptr, 0), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
    EXPECT_EQ(CreateDIBSection(nullptr, info, DIB_RGB_COLORS, &bits, reinterpret_cast<HANDLE>(4), 0), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
    EXPECT_EQ(CreateDIBSection(nullptr, info, 7, &bits, nullptr, 0), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    info->bmiHeader.biSize = 12;
    EXPECT_EQ(CreateDIBSection(nullptr, info, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(CreateDIBSection(nullptr, nullptr, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(Graphics, FileHeadersAreFourteenLittleEndianBytes) {
    const BITMAPFILEHEADER header{0x4D42, 0x11223344, 0x0102, 0x0304, 0x55667788};
    BYTE bytes[platform::kFileHeaderSize];
    platform::EncodeFileHeader(header, bytes);
    const BYTE expected[] = {'B', 'M', 0x44, 0x33, 0x22, 0x11, 0x02, 0x01, 0x04, 0x03, 0x88, 0x77, 0x66, 0x55};
    EXPECT_EQ(std::memcmp(bytes, expected, sizeof expected), 0);
    const BITMAPFILEHEADER decoded = platform::DecodeFileHeader(bytes);
    EXPECT_EQ(decoded.bfType, header.bfType);
    EXPECT_EQ(decoded.bfSize, header.bfSize);
    EXPECT_EQ(decoded.bfReserved1, header.bfReserved1);
    EXPECT_EQ(decoded.bfReserved2, header.bfReserved2);
    EXPECT_EQ(decoded.bfOffBits, header.bfOffBits);
}

// --- Allocation failures ------------------------------------------------------------

TEST_F(Graphics, FailedAllocationsGiveNothingAndLeakNothing) {
    probe::FailEachAllocation([] {
        const HBITMAP dib = probe::MakeDib(DibShape{});
        return dib != nullptr && DeleteObject(dib);
    });
    probe::FailEachAllocation([] {
        const HPALETTE palette = MakePalette(kTestPalette);
        return palette != nullptr && DeleteObject(palette);
    });
    probe::FailEachAllocation([] {
        const HDC dc = CreateCompatibleDC(nullptr);
        return dc != nullptr && DeleteDC(dc);
    });
    probe::FailEachAllocation([] {
        const HDC dc = GetDC(nullptr);
        return dc != nullptr && ReleaseDC(nullptr, dc) == 1;
    });
    const HDC screen = GetDC(nullptr);
    probe::FailEachAllocation([screen] {
        const HBITMAP bitmap = CreateCompatibleBitmap(screen, 3, 3);
        return bitmap != nullptr && DeleteObject(bitmap);
    });
    // A fresh screen surface and a row buffer.
    platform::SetScreenDepth(24);
    probe::Canvas32 canvas(4, 4);
    Selected selected(canvas.bitmap());
    probe::FailEachAllocation([&] { return BitBlt(selected.dc(), 0, 0, 4, 4, screen, 0, 0, SRCCOPY) == TRUE; });
    ReleaseDC(nullptr, screen);
}

}  // namespace
