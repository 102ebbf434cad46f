// Property: the BMP reader refuses any byte string with one of its errors or
// describes pixel rows that lie wholly inside it, and loading a described
// one gives a bitmap or an error: never a crash, an access outside the
// input, a hang or a leak.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/BmpReader.h"
#include "platform/Errors.h"
#include "platform/Graphics.h"
#include "platform/Shell.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    platform::BmpPicture picture;
    if (!platform::ReadBmp({data, size}, &picture)) {
        const DWORD error = GetLastError();
        if (error != ERROR_INVALID_DATA && error != ERROR_NOT_SUPPORTED) std::abort();
        return 0;
    }
    if (picture.bits < data || picture.bitsSize > size || picture.bits - data > static_cast<ptrdiff_t>(size - picture.bitsSize)) {
        std::abort();
    }
    const HBITMAP bitmap = platform::LoadImageFromMemory({data, size});
    if (bitmap != nullptr) DeleteObject(bitmap);
    return 0;
}
