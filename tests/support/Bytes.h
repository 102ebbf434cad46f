// Building and reading stored bytes in tests.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <vector>

namespace testsupport {

using Bytes = std::vector<uint8_t>;

// Appends little-endian fields: ByteWriter().U32(1).U16(2).Raw({...}).bytes
struct ByteWriter {
    Bytes bytes;
    ByteWriter& U8(uint8_t v) {
        bytes.push_back(v);
        return *this;
    }
    ByteWriter& U16(uint16_t v) { return U8(static_cast<uint8_t>(v)).U8(static_cast<uint8_t>(v >> 8)); }
    ByteWriter& U32(uint32_t v) { return U16(static_cast<uint16_t>(v)).U16(static_cast<uint16_t>(v >> 16)); }
    ByteWriter& Raw(const Bytes& more) {
        bytes.insert(bytes.end(), more.begin(), more.end());
        return *this;
    }
    ByteWriter& Zeros(size_t n) {
        bytes.insert(bytes.end(), n, 0);
        return *this;
    }
    // One stored tag: header and data.
    ByteWriter& Tag(uint32_t id, const Bytes& data, uint8_t version = 0, uint32_t flags = 1) {
        return U16(0x6174).U8(version).U32(flags).U32(id).U32(static_cast<uint32_t>(data.size())).Raw(data);
    }
};

inline Bytes ReadFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFileBytes(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline Bytes Slice(const Bytes& bytes, size_t offset, size_t count) {
    if (offset >= bytes.size()) return {};
    const size_t end = std::min(bytes.size(), offset + count);
    return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(offset), bytes.begin() + static_cast<std::ptrdiff_t>(end));
}

}  // namespace testsupport
