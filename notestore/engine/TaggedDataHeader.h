// A header block's content: one tagged data block kept in a fixed-size slot.
//
// On disk a block of slot size S is: data length L (32-bit), the L bytes of
// tagged data, then S - 4 - L zero bytes.
#pragma once

#include <cstdint>

#include "notestore/engine/TaggedDataManager.h"
#include "notestore/foundation/Export.h"

namespace zr_gen {

class CFileStream;

class ZR_EXPORT CTaggedDataHeader {
public:
    static constexpr uint8_t kHeaderMemBlock = 255;

    CTaggedDataHeader();
    CTaggedDataHeader(const CTaggedDataHeader&) = delete;
    // Copies the other header's block into a buffer of exactly its size.
    CTaggedDataHeader& operator=(const CTaggedDataHeader& other);
    virtual ~CTaggedDataHeader();
    // Stores the default tags that a file written by an older program lacks.
    virtual void CreateNewFields() = 0;

    // Reads a block of slot size S at the stream's position. The data length
    // must fit the slot (message 14) and the file (message 8) before anything
    // is allocated.
    void Read(CFileStream& stream, uint32_t slotSize);
    // Writes the block padded to S; data that does not fit raises message 12.
    void Write(CFileStream& stream, uint32_t slotSize);

    void FreeData();
    char* GetHeaderDataPtr() const { return data_; }
    CTaggedDataManager& getTaggedDataManager() { return tags_; }
    const CTaggedDataManager& getTaggedDataManager() const { return tags_; }

    // Tag lookups; a damaged block raises through ProcessError.
    bool hasTag(uint32_t id);
    bool hasStringTag(uint8_t byteId);

private:
    void Adopt(char* data, uint32_t size, uint32_t capacity);

    char* data_ = nullptr;
    CTaggedDataManager tags_;
};

}  // namespace zr_gen
