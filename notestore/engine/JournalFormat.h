// The bytes of a rollback journal ("<document>-journal"), shared by the
// writer and the player; docs/FORMAT.md describes them.
//
//   header  magic 6A 72 6E 6C ("jrnl"), version (16-bit), 0 (16-bit),
//           original length of the document (32-bit), salt (32-bit),
//           checksum of the 16 bytes before it (32-bit)
//   record  offset (32-bit), length L (32-bit, 1 to kMaxRecordData),
//           L original bytes, checksum (32-bit) of the salt, offset,
//           length and bytes
//
// Records follow the header to the end of the journal; playing back stops at
// the first record that is cut short or fails its checksum, since such a
// record was never made durable and its bytes were never overwritten.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zr_gen::journal {

constexpr uint32_t kMagic = 0x6C6E726A;
constexpr uint16_t kVersion = 1;
constexpr uint32_t kHeaderSize = 20;
constexpr uint32_t kHeaderChecked = 16;  // bytes the header checksum covers
constexpr uint32_t kRecordHeadSize = 8;
constexpr uint32_t kRecordTailSize = 4;
constexpr uint32_t kMaxRecordData = 1024 * 1024;
constexpr char16_t kSuffix[] = u"-journal";

// CRC-32 (the polynomial of zip and PNG, reflected), continued from `crc`
// (0 to start).
uint32_t Crc32(uint32_t crc, const uint8_t* bytes, size_t count);

}  // namespace zr_gen::journal
