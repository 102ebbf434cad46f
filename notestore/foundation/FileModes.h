// The platform's access and share mode for CFile's open flags, as
// CFile::Open asks for them: for code that opens a second file on the same
// terms.
#pragma once

#include <cstdint>

#include "platform/Types.h"

namespace zr_gen {

DWORD PlatformAccess(uint32_t flags);
DWORD PlatformShare(uint32_t flags);

}  // namespace zr_gen
