// Compresses standard input to standard output with CCompression, so that
// scripts can compare the library's streams with other encoders'.
#include <cstdio>
#include <vector>

#include "notestore/drawings/Compression.h"
#include "notestore/foundation/Exception.h"

int main() {
    std::vector<uint8_t> source;
    for (int c; (c = std::getchar()) != EOF;) source.push_back(static_cast<uint8_t>(c));
    try {
        CCompression compression;
        uint8_t* stream = nullptr;
        uint32_t size = 0;
        compression.Compress(source.data(), static_cast<uint32_t>(source.size()), stream, &size);
        return std::fwrite(stream, 1, size, stdout) == size && std::fflush(stdout) == 0 ? 0 : 1;
    } catch (zr_gen::CException* e) {
        std::fprintf(stderr, "compress_tool: exception\n");
        zr_gen::DeleteException(e);
        return 1;
    }
}
