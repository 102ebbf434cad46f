#include "platform/BmpReader.h"

#include <cstring>

#include "platform/Errors.h"
#include "platform/Pixels.h"

namespace platform {

namespace {

constexpr uint32_t kCoreHeaderSize = 12;
constexpr uint32_t kInfoHeaderSizes[] = {40, 52, 56, 108, 124};

uint32_t Little(const BYTE* bytes, size_t width) {
    uint32_t value = 0;
    for (size_t i = width; i-- > 0;) value = value << 8 | bytes[i];
    return value;
}

bool Fail(DWORD error) {
    SetLastError(error);
    return false;
}

bool IsInfoHeaderSize(uint32_t size) {
    for (const uint32_t known : kInfoHeaderSizes) {
        if (size == known) return true;
    }
    return false;
}

// The header fields the reader uses, from either kind of header.
struct Fields {
    uint32_t headerSize = 0;
    int64_t width = 0;
    int64_t height = 0;
    uint32_t planes = 0;
    uint32_t bitCount = 0;
    uint32_t compression = BI_RGB;
    uint32_t colorsUsed = 0;
    LONG xPelsPerMeter = 0;
    LONG yPelsPerMeter = 0;
};

// The header at `at`, which the caller has checked lies in the file.
Fields ReadFields(const BYTE* at, uint32_t headerSize) {
    Fields f;
    f.headerSize = headerSize;
    if (headerSize == kCoreHeaderSize) {
        f.width = Little(at + 4, 2);
        f.height = Little(at + 6, 2);
        f.planes = Little(at + 8, 2);
        f.bitCount = Little(at + 10, 2);
        return f;
    }
    f.width = static_cast<int32_t>(Little(at + 4, 4));
    f.height = static_cast<int32_t>(Little(at + 8, 4));
    f.planes = Little(at + 12, 2);
    f.bitCount = Little(at + 14, 2);
    f.compression = Little(at + 16, 4);
    f.xPelsPerMeter = static_cast<int32_t>(Little(at + 24, 4));
    f.yPelsPerMeter = static_cast<int32_t>(Little(at + 28, 4));
    f.colorsUsed = Little(at + 32, 4);
    return f;
}

bool KnownBitCount(const Fields& f) {
    switch (f.bitCount) {
    case 1:
    case 4:
    case 8:
    case 24:
        return true;
    case 16:
    case 32:
        return f.headerSize != kCoreHeaderSize;
    default:
        return false;
    }
}

// Whether [at, at + size) lies inside the file and before `limit`.
bool Inside(uint64_t at, uint64_t size, uint64_t limit, uint64_t fileSize) {
    return at + size <= limit && at + size <= fileSize;
}

}  // namespace

bool ReadBmp(std::span<const BYTE> file, BmpPicture* picture) {
    if (file.size() < 2 || file[0] != 'B' || file[1] != 'M') return Fail(ERROR_NOT_SUPPORTED);
    if (file.size() < kFileHeaderSize + 4) return Fail(ERROR_INVALID_DATA);
    BYTE fileHeaderBytes[kFileHeaderSize];
    std::memcpy(fileHeaderBytes, file.data(), kFileHeaderSize);
    const BITMAPFILEHEADER fileHeader = DecodeFileHeader(fileHeaderBytes);

    const uint32_t headerSize = Little(file.data() + kFileHeaderSize, 4);
    if (headerSize != kCoreHeaderSize && !IsInfoHeaderSize(headerSize)) return Fail(ERROR_NOT_SUPPORTED);
    const uint64_t headerEnd = kFileHeaderSize + uint64_t{headerSize};
    if (headerEnd > file.size()) return Fail(ERROR_INVALID_DATA);
    const Fields f = ReadFields(file.data() + kFileHeaderSize, headerSize);

    if (!KnownBitCount(f) || (f.compression != BI_RGB && f.compression != BI_BITFIELDS)) {
        return Fail(ERROR_NOT_SUPPORTED);
    }
    const bool fields = f.compression == BI_BITFIELDS;
    if (f.planes != 1 || f.width <= 0 || f.height == 0 || f.height == INT32_MIN ||
        (fields && f.bitCount != 16 && f.bitCount != 32)) {
        return Fail(ERROR_INVALID_DATA);
    }
    const uint64_t pixelsAt = fileHeader.bfOffBits;
    if (pixelsAt < headerEnd) return Fail(ERROR_INVALID_DATA);

    BITMAPINFOHEADER header{};
    BYTE* behind = picture->info + sizeof header;
    if (fields) {
        // After a plain info header the masks follow it; longer headers hold them.
        const uint64_t masksAt = kFileHeaderSize + 40;
        DWORD masks[3];
        if (headerSize == 40 && !Inside(masksAt, sizeof masks, pixelsAt, file.size())) return Fail(ERROR_INVALID_DATA);
        for (int i = 0; i < 3; ++i) masks[i] = Little(file.data() + masksAt + 4 * i, 4);
        detail::Channels channels;
        if (!detail::ChannelsOfMasks(masks, static_cast<uint16_t>(f.bitCount), &channels)) return Fail(ERROR_INVALID_DATA);
        std::memcpy(behind, masks, sizeof masks);
    } else if (f.bitCount <= 8) {
        const uint32_t full = 1u << f.bitCount;
        const bool core = headerSize == kCoreHeaderSize;
        const uint32_t count = core || f.colorsUsed == 0 ? full : f.colorsUsed;
        const uint32_t entrySize = core ? 3 : 4;
        if (count > full || !Inside(headerEnd, uint64_t{count} * entrySize, pixelsAt, file.size())) return Fail(ERROR_INVALID_DATA);
        for (uint32_t i = 0; i < count; ++i) {
            const BYTE* entry = file.data() + headerEnd + uint64_t{i} * entrySize;
            const RGBQUAD color{entry[0], entry[1], entry[2], 0};
            std::memcpy(behind + i * sizeof color, &color, sizeof color);
        }
        header.biClrUsed = count;
    }

    const uint64_t rows = f.height < 0 ? -f.height : f.height;
    const uint64_t stride = detail::RowBytes(static_cast<uint64_t>(f.width), static_cast<uint16_t>(f.bitCount), 4);
    const uint64_t available = pixelsAt <= file.size() ? file.size() - pixelsAt : 0;
    if (stride > available || rows > available / stride) return Fail(ERROR_INVALID_DATA);

    header.biSize = sizeof header;
    header.biWidth = static_cast<LONG>(f.width);
    header.biHeight = static_cast<LONG>(f.height);
    header.biPlanes = 1;
    header.biBitCount = static_cast<WORD>(f.bitCount);
    header.biCompression = f.compression;
    header.biSizeImage = static_cast<DWORD>(stride * rows);
    header.biXPelsPerMeter = f.xPelsPerMeter;
    header.biYPelsPerMeter = f.yPelsPerMeter;
    std::memcpy(picture->info, &header, sizeof header);
    picture->bits = file.data() + pixelsAt;
    picture->bitsSize = static_cast<size_t>(stride * rows);
    return true;
}

}  // namespace platform
