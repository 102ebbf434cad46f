// Splitting a path into drive, folder, name and extension, the way the C
// library's path splitter does it.
#pragma once

#include "notestore/foundation/Export.h"
#include "notestore/foundation/String.h"

namespace zr_gen {

// Both "\\" and "/" separate the components of a path.
inline bool IsPathSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

// Appends `separator` unless `folder` already ends with a separator.
inline void AppendSeparator(_String& folder, char16_t separator = u'\\') {
    if (folder.empty() || !IsPathSeparator(folder.back())) folder += separator;
}

// Splits `path` into its parts; each output may be null when that part is not
// wanted, and every given output is overwritten.
// - drive: always empty (this platform has no drive letters);
// - dir: everything up to and including the last "\" or "/";
// - ext: the last component from its last "." on, dot included (empty when
//   the component has no dot; a name that starts with its only dot is all
//   extension, as in the C library);
// - fname: what lies between dir and ext.
// A null path gives empty parts. dir + fname + ext is always the path.
ZR_EXPORT void SplitPath(const char16_t* path, _String* drive, _String* dir, _String* fname, _String* ext);

}  // namespace zr_gen
