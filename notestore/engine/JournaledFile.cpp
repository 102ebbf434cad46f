#include "notestore/engine/JournaledFile.h"

#include <cstdint>

namespace zr_gen {

uint32_t JournaledFile::Write(const void* buffer, uint32_t count) {
    if (count != 0) journal_.Protect(*this, GetPosition(), count);
    return CFile::Write(buffer, count);
}

void JournaledFile::SetLength(uint32_t length) {
    // Everything from `length` on is cut away (or, past the end, nothing).
    journal_.Protect(*this, length, UINT32_MAX - length);
    CFile::SetLength(length);
}

}  // namespace zr_gen
