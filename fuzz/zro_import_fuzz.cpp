// Property: the readers of zro's import forms refuse what they cannot read
// with their own error and never crash; what the OPML and JSON readers
// accept writes out and reads back as the same outline, and the library's
// document objects take it (stored form included) or refuse it with an
// error; a PNG the drawing reader accepts comes back from its own PNG as
// the same DIB. The first byte picks the reader.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "notestore/outline/OutlineDB.h"
#include "tools/zro/JsonForm.h"
#include "tools/zro/Markdown.h"
#include "tools/zro/Opml.h"
#include "tools/zro/Png.h"

namespace {

template <class Read, class Write>
void RoundTrip(std::string_view text, Read read, Write write) {
    zro::Outline outline;
    try {
        outline = read(text);
    } catch (const std::runtime_error&) {
        return;
    }
    if (read(write(outline)) != outline) std::abort();
    try {
        zr_gen::COutlineDB db;
        zro::Compose(outline, db);
    } catch (const std::runtime_error&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    switch (data[0] % 4) {
        case 0:
            RoundTrip(text, zro::FromOpml, zro::ToOpml);
            break;
        case 1:
            RoundTrip(text, zro::FromJson, zro::ToJson);
            break;
        case 2:
            try {
                zro::FromMarkdown(text, [](const std::string&) -> std::vector<uint8_t> {
                    throw std::runtime_error("no images here");
                });
            } catch (const zro::MarkdownError&) {
            }
            break;
        default: {
            const std::vector<uint8_t> png(data + 1, data + size);
            std::vector<uint8_t> dib;
            try {
                dib = zro::PngToDib(png);
            } catch (const zro::PngError&) {
                return 0;
            }
            if (zro::PngToDib(zro::DibToPng(dib)) != dib) std::abort();
        }
    }
    return 0;
}
