// What the file services and the folder search both report about a file
// (internal to the layer), so attributes and times are worked out once.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Types.h"

namespace platform::detail {

struct FileInfo {
    DWORD attributes = 0;
    FILETIME creation{};  // zero when the file system keeps no birth time
    FILETIME lastAccess{};
    FILETIME lastWrite{};
    uint64_t size = 0;
};

// A native path cut before its last component: "a/b" gives "a" and "b",
// "/b" gives "/" and "b", "b" an empty folder (the current one); separators
// at the end are ignored.
struct PathParts {
    std::string_view folder;
    std::string_view name;
};
PathParts SplitPath(std::string_view native);

// Fills `info` for `name` relative to the folder open on `folder` (or
// AT_FDCWD); an empty `name` means the file `folder` itself is open on, and
// then `attributes` is left 0. False with errno set on failure.
bool QueryFileInfo(int folder, const char* name, FileInfo* info);

// Sets the last error for `err` from an operation on `native`: a missing file
// whose folder is missing too is ERROR_PATH_NOT_FOUND.
void SetLastErrorForPath(int err, const std::string& native);

}  // namespace platform::detail
