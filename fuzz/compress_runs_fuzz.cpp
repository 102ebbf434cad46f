// Property: on sources made mostly of runs (of one byte, of short patterns,
// of repeated stretches, built from the input as a recipe), the compressor
// gives exactly the stream of the plain item-by-item encoder and leaves its
// hash table holding exactly the positions that encoder's table holds, on a
// fresh object and on one whose table is warm from another source.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "notestore/drawings/Compression.h"
#include "tests/support/ReferenceEncoder.h"

namespace {

bool MatchesReference(CCompression& compression, const testsupport::Bytes& source) {
    std::vector<int64_t> expectedTable;
    const testsupport::Bytes expected = testsupport::ReferenceStream(source, &expectedTable);
    uint8_t* result = nullptr;
    uint32_t size = 0;
    compression.Compress(source.data(), static_cast<uint32_t>(source.size()), result, &size);
    int64_t table[4096];
    compression.LastTablePositions(table);
    return testsupport::Bytes(result, result + size) == expected && std::vector<int64_t>(table, table + 4096) == expectedTable;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const testsupport::Bytes source = testsupport::RunHeavySource(data, size);
    CCompression compression;
    if (!MatchesReference(compression, source)) std::abort();
    // The same object again, its table now full of the first call's entries.
    const testsupport::Bytes half(source.begin() + static_cast<std::ptrdiff_t>(source.size() / 2), source.end());
    if (!MatchesReference(compression, half)) std::abort();
    return 0;
}
