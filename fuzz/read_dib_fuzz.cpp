// Property: reading any byte string as a BMP file gives null or a DIB whose
// every part lies inside its block, and everything the toolkit does with
// that DIB (queries, saving, reshaping, palettes) stays inside it and inside
// what it makes: never a crash, an access outside a block, a hang or a leak.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "notestore/drawings/Dib.h"
#include "notestore/foundation/Exception.h"
#include "notestore/foundation/File.h"

namespace {

// Reads every byte of the DIB's parts, so that a part reaching past the
// block shows up under the address sanitizer.
uint32_t TouchAll(const void* dib, const DIBLayout& layout) {
    const auto* bytes = static_cast<const uint8_t*>(dib);
    uint32_t sum = 0;
    for (uint32_t i = 0; i < layout.Size(); ++i) sum += bytes[i];
    return sum;
}

void Check(bool condition) {
    if (!condition) std::abort();
}

void Reshape(MemHandle handle, const DIBLayout& layout) {
    void* dib = MemGetPtr(handle);
    const auto width = static_cast<int32_t>(layout.width);
    const auto height = static_cast<int32_t>(layout.height);
    // Each result must itself be a whole DIB of its block.
    const auto checkResult = [](MemHandle result) {
        if (result == nullptr) return;
        DIBLayout made;
        Check(DescribeDIB(MemGetPtr(result), MemGetSize(result), &made));
        TouchAll(MemGetPtr(result), made);
        MemFree(result);
    };
    checkResult(ClipDIB(dib, 1, 1));
    checkResult(ClipDIB(dib, (width + 1) / 2, (height + 1) / 2));
    if (layout.Size() < (1u << 16)) {
        checkResult(ResizeDIB(dib, width + 3, height + 1));
        MemHandle source = handle;
        checkResult(ShrinkDIB(source, 1, 1));
        checkResult(ShrinkDIB(source, static_cast<uint16_t>((width + 2) / 3), static_cast<uint16_t>((height + 1) / 2)));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > UINT32_MAX) return 0;
    std::vector<uint8_t> bytes(data, data + size);
    zr_gen::MemFile file(bytes.data(), static_cast<uint32_t>(bytes.size()), 0);
    MemHandle handle = ReadDIBFile(file);
    if (handle == nullptr) return 0;
    void* dib = MemGetPtr(handle);
    DIBLayout layout;
    Check(DescribeDIB(dib, MemGetSize(handle), &layout));
    Check(static_cast<const uint8_t*>(FindDIBBits(dib)) + layout.pixelSize <=
          static_cast<uint8_t*>(dib) + MemGetSize(handle));
    Check(DIBNumColors(dib) <= 256);
    TouchAll(dib, layout);

    HPALETTE palette = nullptr;
    if (CreateDIBPalette(dib, &palette) != 0) DeleteObject(palette);
    Reshape(handle, layout);
    try {
        zr_gen::MemFile saved;
        if (SaveDIB(dib, saved) == 1) {
            Check(saved.GetLength() == 14 + layout.Size());
            saved.SeekToBegin();
            MemHandle again = ReadDIBFile(saved);
            Check(again != nullptr);
            MemFree(again);
        }
    } catch (zr_gen::CException* e) {
        zr_gen::DeleteException(e);
    }
    CDib held;
    try {
        held.ReplaceHDIB(handle);
    } catch (zr_gen::CException* e) {
        zr_gen::DeleteException(e);
    }
    MemFree(handle);
    return 0;
}
