// The ids of the outline items deleted from a document, in the order they
// were deleted; duplicates are kept. Stored in the document's extra rows:
//   offset 0   count N, 32-bit
//          4   N ids, 32-bit each, in list order
#pragma once

#include <cstdint>
#include <vector>

#include "notestore/foundation/Export.h"

namespace zr_gen {

class CFileStream;

class ZR_EXPORT CDeletedThoughts {
public:
    // Replaces the list with the one at the stream's position. A count the
    // rest of the stream cannot hold raises "File IO read error" (message
    // 8) before anything is read or allocated; the list is then empty.
    void Read(CFileStream& stream);
    void Write(CFileStream& stream) const;

    // Memory running out raises "Out of memory" (message 11).
    void Add(uint32_t id);
    bool IsDeleted(uint32_t id) const;
    // Removes the first occurrence only; an absent id is no error.
    void removeId(uint32_t id);
    void Clear() { ids_.clear(); }
    const std::vector<uint32_t>& Ids() const { return ids_; }

private:
    std::vector<uint32_t> ids_;
};

}  // namespace zr_gen
