// Stored header blocks for the outline header tests: the bytes a header's
// block must hold, and reading a slot of such bytes the way a file read does.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "notestore/engine/TaggedDataHeader.h"
#include "notestore/foundation/File.h"
#include "notestore/foundation/FileStream.h"
#include "support/Bytes.h"
#include "support/TempDir.h"

namespace outlinetest {

using testsupport::Bytes;
using testsupport::ByteWriter;

constexpr uint32_t kString = 0x10000;

inline Bytes Text(const std::string& text) {
    Bytes bytes(text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
}

inline Bytes Block(const zr_gen::CTaggedDataHeader& header) {
    const auto* data = reinterpret_cast<const uint8_t*>(header.GetHeaderDataPtr());
    return Bytes(data, data + header.getTaggedDataManager().size());
}

// Reads `block` into `header` from a slot of `slotSize` bytes in a file, then
// lets it add what the block lacks, as the header manager does.
inline void ReadSlot(zr_gen::CTaggedDataHeader& header, const Bytes& block, uint32_t slotSize = 512) {
    testsupport::TempDir dir;
    ByteWriter slot;
    slot.U32(static_cast<uint32_t>(block.size())).Raw(block).Zeros(slotSize - 4 - block.size());
    testsupport::WriteFileBytes(dir.path() / "slot", slot.bytes);
    zr_gen::CFileStream stream;
    ASSERT_EQ(stream.Open(dir.File("slot").c_str(), zr_gen::CFile::kModeRead), 1);
    header.Read(stream, slotSize);
    header.CreateNewFields();
}

}  // namespace outlinetest
