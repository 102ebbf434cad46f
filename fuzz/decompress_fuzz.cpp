// Properties, for any byte string:
// - decoding it as a stream either gives exactly what a plain reading of the
//   format one item and one byte at a time gives, or raises the library's
//   data corruption error when that reading finds the stream damaged; never
//   a crash, an out-of-bounds access or a leak;
// - compressing it gives a stream of at most its length + 4 bytes that
//   decodes back to it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "notestore/drawings/Compression.h"
#include "notestore/foundation/Exception.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The format read the simplest way; empty when the stream is damaged.
std::optional<Bytes> PlainDecode(const Bytes& stream) {
    if (stream.size() < 4) return std::nullopt;
    if (stream[0] == 1) return Bytes(stream.begin() + 4, stream.end());
    Bytes out;
    size_t at = 4;
    while (at < stream.size()) {
        if (at + 2 > stream.size()) return std::nullopt;
        uint32_t control = stream[at] | (stream[at + 1] << 8);
        at += 2;
        for (int bit = 0; bit < 16 && at < stream.size(); ++bit, control >>= 1) {
            if ((control & 1) == 0) {
                out.push_back(stream[at++]);
                continue;
            }
            if (at + 2 > stream.size()) return std::nullopt;
            const size_t length = (stream[at] & 0x0F) + 1;
            const size_t offset = ((stream[at] & 0xF0) << 4) | stream[at + 1];
            at += 2;
            if (offset == 0 || offset > out.size()) return std::nullopt;
            for (size_t i = 0; i < length; ++i) out.push_back(out[out.size() - offset]);
        }
    }
    return out;
}

bool IsDataCorruption(const zr_gen::CException* e) {
    return e != nullptr && std::u16string(zr_gen::DescriptionOf(e)).starts_with(u"Data corruption error");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Copies, so that neither input can lie inside the work block.
    const Bytes input(data, data + size);
    const uint32_t length = static_cast<uint32_t>(input.size());
    CCompression compression;
    uint8_t* result = nullptr;
    uint32_t resultLength = 0;

    const std::optional<Bytes> expected = PlainDecode(input);
    try {
        compression.Decompress(input.data(), length, result, &resultLength);
        if (!expected || Bytes(result, result + resultLength) != *expected) std::abort();
    } catch (zr_gen::CException* e) {
        const bool rightError = IsDataCorruption(e);
        zr_gen::DeleteException(e);
        if (expected || !rightError) std::abort();
    }

    compression.Compress(input.data(), length, result, &resultLength);
    if (resultLength > static_cast<uint64_t>(length) + 4) std::abort();
    const Bytes stream(result, result + resultLength);
    compression.Decompress(stream.data(), resultLength, result, &resultLength);
    if (Bytes(result, result + resultLength) != input) std::abort();
    return 0;
}
