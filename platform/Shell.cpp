// The image loader decodes into a DIB section (the codecs into a white
// 32-bit canvas, a BMP into a section of its own layout) and lets BitBlt
// make the screen-depth bitmap, so every depth conversion is the graphics
// layer's.
//
// libpng and libjpeg report errors by longjmp. Each call into them runs in a
// guarded step whose setjmp lies in a frame of its own, and nothing in a
// step needs a destructor, so a longjmp skips no C++ clean-up.
#include "platform/Shell.h"

#include <cstdio>  // before jpeglib.h, which uses FILE

#include <gif_lib.h>
#include <jpeglib.h>
#include <jerror.h>
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <memory>
#include <string_view>
#include <utility>

#include "platform/BmpReader.h"
#include "platform/Errors.h"
#include "platform/Files.h"
#include "platform/Memory.h"

namespace {

// Above the largest BMP within the size guard, so no picture the graphics
// layer would take is refused for its file's size.
constexpr uint64_t kMaxFileBytes = uint64_t{512} << 20;

using platform::Block;

template <class T>
Block<T> Allocate(size_t count) {
    auto* block = static_cast<T*>(platform::AllocateBytes(count * sizeof(T)));
    if (block == nullptr) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return Block<T>(block);
}

bool Fail(DWORD error) {
    SetLastError(error);
    return false;
}

class OwnedBitmap {
public:
    explicit OwnedBitmap(HBITMAP bitmap = nullptr) : bitmap_(bitmap) {}
    ~OwnedBitmap() {
        if (bitmap_ != nullptr) DeleteObject(bitmap_);
    }
    OwnedBitmap(OwnedBitmap&& other) noexcept : bitmap_(std::exchange(other.bitmap_, nullptr)) {}
    OwnedBitmap& operator=(OwnedBitmap&& other) noexcept {
        std::swap(bitmap_, other.bitmap_);
        return *this;
    }
    HBITMAP get() const { return bitmap_; }
    HBITMAP Release() { return std::exchange(bitmap_, nullptr); }

private:
    HBITMAP bitmap_;
};

// A memory context that puts its first bitmap back and goes away with its owner.
class MemoryContext {
public:
    MemoryContext() : dc_(CreateCompatibleDC(nullptr)) {}
    ~MemoryContext() {
        if (dc_ == nullptr) return;
        if (original_ != nullptr) SelectObject(dc_, original_);
        DeleteDC(dc_);
    }
    MemoryContext(const MemoryContext&) = delete;
    MemoryContext& operator=(const MemoryContext&) = delete;

    HDC get() const { return dc_; }
    bool Select(HBITMAP bitmap) {
        const HGDIOBJ previous = dc_ != nullptr ? SelectObject(dc_, bitmap) : nullptr;
        if (original_ == nullptr) original_ = previous;
        return previous != nullptr;
    }

private:
    HDC dc_;
    HGDIOBJ original_ = nullptr;
};

// A decoded picture held in a DIB section.
struct Picture {
    OwnedBitmap bitmap;
    int32_t width = 0;
    int32_t height = 0;
};

// A white 32-bit top-down DIB section the codecs decode into: blue, green,
// red and an unused byte per pixel.
struct Canvas {
    Picture picture;
    BYTE* bits = nullptr;

    BYTE* Row(uint32_t y) const { return bits + size_t{y} * size_t(picture.width) * 4; }
};

bool MakeCanvas(uint64_t width, uint64_t height, Canvas* canvas) {
    if (width == 0 || height == 0) return Fail(ERROR_INVALID_DATA);
    // Sides over the guard would not even fit the header's signed fields.
    if (width > uint64_t{platform::kMaxBitmapSide} || height > uint64_t{platform::kMaxBitmapSide}) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), static_cast<LONG>(width), -static_cast<LONG>(height), 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    canvas->picture.bitmap = OwnedBitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (canvas->picture.bitmap.get() == nullptr) return false;
    canvas->picture.width = static_cast<int32_t>(width);
    canvas->picture.height = static_cast<int32_t>(height);
    canvas->bits = static_cast<BYTE*>(bits);
    std::memset(bits, 0xFF, width * height * 4);
    return true;
}

BYTE OverWhite(uint32_t value, uint32_t alpha) { return static_cast<BYTE>((value * alpha + 255 * (255 - alpha) + 127) / 255); }

// --- PNG ---------------------------------------------------------------------

struct PngInput {
    std::span<const BYTE> file;
    size_t position = 0;
    bool outOfMemory = false;
};

[[noreturn]] void PngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void PngWarning(png_structp, png_const_charp) {}

png_voidp PngAllocate(png_structp png, png_alloc_size_t bytes) {
    void* block = platform::AllocateBytes(bytes);
    if (block == nullptr) static_cast<PngInput*>(png_get_mem_ptr(png))->outOfMemory = true;
    return block;
}
void PngFree(png_structp, png_voidp block) { platform::FreeBytes(block); }

void PngRead(png_structp png, png_bytep data, size_t length) {
    auto* input = static_cast<PngInput*>(png_get_io_ptr(png));
    if (input->file.size() - input->position < length) png_error(png, "truncated");
    std::memcpy(data, input->file.data() + input->position, length);
    input->position += length;
}

template <class Step>
bool PngGuarded(png_structp png, const Step& step) {
    if (setjmp(png_jmpbuf(png)) != 0) return false;
    step();
    return true;
}

class PngReader {
public:
    explicit PngReader(PngInput* input)
        : png_(png_create_read_struct_2(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning, input, PngAllocate, PngFree)),
          info_(png_ != nullptr ? png_create_info_struct(png_) : nullptr) {
        if (png_ != nullptr) png_set_read_fn(png_, input, PngRead);
    }
    ~PngReader() { png_destroy_read_struct(&png_, &info_, nullptr); }
    PngReader(const PngReader&) = delete;
    PngReader& operator=(const PngReader&) = delete;

    png_structp png() const { return png_; }
    png_infop info() const { return info_; }

private:
    png_structp png_;
    png_infop info_;
};

bool DecodePng(std::span<const BYTE> file, Picture* picture) {
    PngInput input{file};
    PngReader reader(&input);
    png_structp png = reader.png();
    png_infop info = reader.info();
    if (info == nullptr) return Fail(ERROR_NOT_ENOUGH_MEMORY);
    const auto failed = [&input] { return Fail(input.outOfMemory ? ERROR_NOT_ENOUGH_MEMORY : ERROR_INVALID_DATA); };

    bool alpha = false;
    const bool described = PngGuarded(png, [&] {
        png_read_info(png, info);
        alpha = (png_get_color_type(png, info) & PNG_COLOR_MASK_ALPHA) != 0 || png_get_valid(png, info, PNG_INFO_tRNS) != 0;
        png_set_expand(png);
        png_set_scale_16(png);
        png_set_gray_to_rgb(png);
        png_set_bgr(png);
        if (!alpha) png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
        png_set_interlace_handling(png);
        png_read_update_info(png, info);
    });
    if (!described) return failed();
    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    if (png_get_rowbytes(png, info) != size_t{width} * 4) return Fail(ERROR_INVALID_DATA);

    Canvas canvas;
    if (!MakeCanvas(width, height, &canvas)) return false;
    Block<png_bytep> rows = Allocate<png_bytep>(height);
    if (rows == nullptr) return false;
    for (png_uint_32 y = 0; y < height; ++y) rows[y] = canvas.Row(y);
    if (!PngGuarded(png, [&] {
            png_read_image(png, rows.get());
            png_read_end(png, nullptr);
        })) {
        return failed();
    }
    if (alpha) {
        for (png_uint_32 y = 0; y < height; ++y) {
            BYTE* p = canvas.Row(y);
            for (png_uint_32 x = 0; x < width; ++x, p += 4) {
                for (int c = 0; c < 3; ++c) p[c] = OverWhite(p[c], p[3]);
            }
        }
    }
    *picture = std::move(canvas.picture);
    return true;
}

// --- JPEG --------------------------------------------------------------------

struct JpegErrors {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    bool warned = false;
};

[[noreturn]] void JpegErrorExit(j_common_ptr info) { std::longjmp(reinterpret_cast<JpegErrors*>(info->err)->jump, 1); }

void JpegMessage(j_common_ptr info, int level) {
    if (level < 0) reinterpret_cast<JpegErrors*>(info->err)->warned = true;
}

void JpegOutput(j_common_ptr) {}

template <class Step>
bool JpegGuarded(JpegErrors& errors, const Step& step) {
    if (setjmp(errors.jump) != 0) return false;
    step();
    return true;
}

class JpegReader {
public:
    JpegReader() {
        info_.err = jpeg_std_error(&errors_.manager);
        errors_.manager.error_exit = JpegErrorExit;
        errors_.manager.emit_message = JpegMessage;
        errors_.manager.output_message = JpegOutput;
    }
    ~JpegReader() { jpeg_destroy_decompress(&info_); }
    JpegReader(const JpegReader&) = delete;
    JpegReader& operator=(const JpegReader&) = delete;

    jpeg_decompress_struct& info() { return info_; }
    JpegErrors& errors() { return errors_; }
    DWORD Error() const {
        return errors_.manager.msg_code == JERR_OUT_OF_MEMORY ? ERROR_NOT_ENOUGH_MEMORY : ERROR_INVALID_DATA;
    }

private:
    JpegErrors errors_{};
    jpeg_decompress_struct info_{};
};

bool DecodeJpeg(std::span<const BYTE> file, Picture* picture) {
    JpegReader reader;
    jpeg_decompress_struct& info = reader.info();
    bool colorsKnown = false;
    const bool described = JpegGuarded(reader.errors(), [&] {
        jpeg_create_decompress(&info);
        jpeg_mem_src(&info, file.data(), static_cast<unsigned long>(file.size()));
        jpeg_read_header(&info, TRUE);
        colorsKnown = info.jpeg_color_space == JCS_GRAYSCALE || info.jpeg_color_space == JCS_YCbCr ||
                      info.jpeg_color_space == JCS_RGB;
        if (!colorsKnown) return;
        info.out_color_space = JCS_EXT_BGRX;
        jpeg_calc_output_dimensions(&info);
    });
    if (!described) return Fail(reader.Error());
    if (!colorsKnown) return Fail(ERROR_NOT_SUPPORTED);

    Canvas canvas;
    if (!MakeCanvas(info.output_width, info.output_height, &canvas)) return false;
    const bool decoded = JpegGuarded(reader.errors(), [&] {
        jpeg_start_decompress(&info);
        while (info.output_scanline < info.output_height) {
            JSAMPROW row = canvas.Row(info.output_scanline);
            jpeg_read_scanlines(&info, &row, 1);
        }
        jpeg_finish_decompress(&info);
    });
    if (!decoded) return Fail(reader.Error());
    if (reader.errors().warned) return Fail(ERROR_INVALID_DATA);
    *picture = std::move(canvas.picture);
    return true;
}

// --- GIF ---------------------------------------------------------------------

struct GifInput {
    std::span<const BYTE> file;
    size_t position = 0;
};

int GifRead(GifFileType* gif, GifByteType* buffer, int length) {
    auto* input = static_cast<GifInput*>(gif->UserData);
    const size_t count = std::min(static_cast<size_t>(length), input->file.size() - input->position);
    std::memcpy(buffer, input->file.data() + input->position, count);
    input->position += count;
    return static_cast<int>(count);
}

struct CloseGif {
    void operator()(GifFileType* gif) const {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};

// Skips an extension, noting the transparent index its graphics control
// block names.
bool ReadExtension(GifFileType* gif, int* transparent) {
    int code = 0;
    GifByteType* data = nullptr;
    if (DGifGetExtension(gif, &code, &data) != GIF_OK) return false;
    if (code == GRAPHICS_EXT_FUNC_CODE && data != nullptr && data[0] >= 4) {
        GraphicsControlBlock control;
        DGifExtensionToGCB(data[0], data + 1, &control);
        *transparent = control.TransparentColor;
    }
    while (data != nullptr) {
        if (DGifGetExtensionNext(gif, &data) != GIF_OK) return false;
    }
    return true;
}

// The row of the picture that its `line`th stored line belongs to.
int InterlacedRow(int line, int height) {
    constexpr int kStart[] = {0, 4, 2, 1};
    constexpr int kStep[] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass) {
        const int lines = (height - kStart[pass] + kStep[pass] - 1) / kStep[pass];
        if (line < lines) return kStart[pass] + line * kStep[pass];
        line -= lines;
    }
    return height;
}

bool PaintFrame(GifFileType* gif, int transparent, const Canvas& canvas) {
    const GifImageDesc& frame = gif->Image;
    const ColorMapObject* map = frame.ColorMap != nullptr ? frame.ColorMap : gif->SColorMap;
    if (map == nullptr || frame.Width <= 0 || frame.Height <= 0) return Fail(ERROR_INVALID_DATA);
    Block<GifPixelType> line = Allocate<GifPixelType>(static_cast<size_t>(frame.Width));
    if (line == nullptr) return false;
    for (int stored = 0; stored < frame.Height; ++stored) {
        if (DGifGetLine(gif, line.get(), frame.Width) != GIF_OK) return Fail(ERROR_INVALID_DATA);
        const int y = frame.Top + (frame.Interlace ? InterlacedRow(stored, frame.Height) : stored);
        if (y >= canvas.picture.height) continue;
        BYTE* row = canvas.Row(static_cast<uint32_t>(y));
        for (int x = 0; x < frame.Width && frame.Left + x < canvas.picture.width; ++x) {
            const int index = line[x];
            if (index == transparent) continue;
            const GifColorType color = index < map->ColorCount ? map->Colors[index] : GifColorType{0, 0, 0};
            BYTE* pixel = row + 4 * static_cast<size_t>(frame.Left + x);
            pixel[0] = color.Blue;
            pixel[1] = color.Green;
            pixel[2] = color.Red;
        }
    }
    return true;
}

bool DecodeGif(std::span<const BYTE> file, Picture* picture) {
    GifInput input{file};
    int error = 0;
    const std::unique_ptr<GifFileType, CloseGif> gif(DGifOpen(&input, GifRead, &error));
    if (gif == nullptr) return Fail(error == D_GIF_ERR_NOT_ENOUGH_MEM ? ERROR_NOT_ENOUGH_MEMORY : ERROR_INVALID_DATA);
    Canvas canvas;
    if (!MakeCanvas(uint64_t(std::max(gif->SWidth, 0)), uint64_t(std::max(gif->SHeight, 0)), &canvas)) return false;
    int transparent = NO_TRANSPARENT_COLOR;
    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif.get(), &type) != GIF_OK) return Fail(ERROR_INVALID_DATA);
        if (type == EXTENSION_RECORD_TYPE) {
            if (!ReadExtension(gif.get(), &transparent)) return Fail(ERROR_INVALID_DATA);
        } else if (type == IMAGE_DESC_RECORD_TYPE) {
            if (DGifGetImageDesc(gif.get()) != GIF_OK) return Fail(ERROR_INVALID_DATA);
            if (!PaintFrame(gif.get(), transparent, canvas)) return false;
            *picture = std::move(canvas.picture);
            return true;
        } else {
            return Fail(ERROR_INVALID_DATA);  // the file ends without a picture
        }
    }
}

// --- BMP ---------------------------------------------------------------------

bool DecodeBmp(std::span<const BYTE> file, Picture* picture) {
    platform::BmpPicture bmp;
    if (!platform::ReadBmp(file, &bmp)) return false;
    void* bits = nullptr;
    OwnedBitmap section(CreateDIBSection(nullptr, bmp.Info(), DIB_RGB_COLORS, &bits, nullptr, 0));
    if (section.get() == nullptr) return false;
    // The section's rows are padded and ordered as the file's.
    std::memcpy(bits, bmp.bits, bmp.bitsSize);
    const BITMAPINFOHEADER& header = bmp.Info()->bmiHeader;
    picture->bitmap = std::move(section);
    picture->width = header.biWidth;
    picture->height = header.biHeight < 0 ? -header.biHeight : header.biHeight;
    return true;
}

// -----------------------------------------------------------------------------

struct Decoder {
    std::string_view signature;
    bool (*decode)(std::span<const BYTE>, Picture*);
};

constexpr Decoder kDecoders[] = {
    {"\x89PNG\r\n\x1A\n", DecodePng},
    {"\xFF\xD8\xFF", DecodeJpeg},
    {"GIF87a", DecodeGif},
    {"GIF89a", DecodeGif},
    {"BM", DecodeBmp},
};

// The screen-depth bitmap of `picture`.
HBITMAP ToScreenBitmap(const Picture& picture) {
    const HDC screen = GetDC(nullptr);
    if (screen == nullptr) return nullptr;
    OwnedBitmap result(CreateCompatibleBitmap(screen, picture.width, picture.height));
    ReleaseDC(nullptr, screen);
    if (result.get() == nullptr) return nullptr;
    MemoryContext from;
    MemoryContext to;
    if (!from.Select(picture.bitmap.get()) || !to.Select(result.get()) ||
        !BitBlt(to.get(), 0, 0, picture.width, picture.height, from.get(), 0, 0, SRCCOPY)) {
        return nullptr;
    }
    return result.Release();
}

}  // namespace

HBITMAP SHLoadImageFile(LPCWSTR path) {
    if (path == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    DWORD high = 0;
    const DWORD low = GetFileSize(file, &high);
    const uint64_t size = uint64_t{high} << 32 | low;
    Block<BYTE> content = size <= kMaxFileBytes ? Allocate<BYTE>(static_cast<size_t>(size)) : nullptr;
    DWORD read = 0;
    const bool loaded = content != nullptr && ReadFile(file, content.get(), static_cast<DWORD>(size), &read, nullptr);
    const DWORD error = size > kMaxFileBytes ? ERROR_NOT_ENOUGH_MEMORY : GetLastError();
    CloseHandle(file);
    if (!loaded) {
        SetLastError(error);
        return nullptr;
    }
    return platform::LoadImageFromMemory({content.get(), read});
}

namespace platform {

HBITMAP LoadImageFromMemory(std::span<const BYTE> content) {
    const std::string_view bytes(reinterpret_cast<const char*>(content.data()), content.size());
    for (const Decoder& decoder : kDecoders) {
        if (!bytes.starts_with(decoder.signature)) continue;
        Picture picture;
        if (!decoder.decode(content, &picture)) return nullptr;
        return ToScreenBitmap(picture);
    }
    SetLastError(ERROR_NOT_SUPPORTED);
    return nullptr;
}

}  // namespace platform
