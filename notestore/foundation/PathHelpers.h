// Taking paths apart, putting them together, and finding names that are
// free on storage. The device has no drive letters: every path is absolute
// from "\", so a path is its own full path and the drive part is empty. Both
// "\" and "/" separate; paths built here use "\".
#pragma once

#include <cstdint>

#include "notestore/foundation/Export.h"
#include "notestore/foundation/String.h"

namespace zr_gen {

// Room of the parts _tsplitpath writes, terminator included; longer parts
// are cut.
inline constexpr uint32_t kMaxDrive = 3;
inline constexpr uint32_t kMaxDir = 256;
inline constexpr uint32_t kMaxFileName = 256;
inline constexpr uint32_t kMaxExt = 256;
inline constexpr uint32_t kPathBuffer = 260;
// The longest file title GetValidFileName and ValidateFileTitle leave.
inline constexpr uint32_t kMaxFileTitle = 27;

// Drive (always empty), folder (up to and including the last separator),
// title and extension (from the title's last dot, dot included); a null
// output is skipped.
ZR_EXPORT void _tsplitpath(const char16_t* path, char16_t* drive, char16_t* dir, char16_t* fname, char16_t* ext);
// The path itself, into `buffer` of `size` characters or, with a null
// buffer, into a new zero-filled one of `size` characters that the caller
// frees with std::free. Null when the path and its terminator do not fit
// (or no memory).
ZR_EXPORT char16_t* _tfullpath(char16_t* buffer, const char16_t* path, uint32_t size);
// Copies the path into `buffer` (kPathBuffer characters, cut to fit); 1.
ZR_EXPORT int32_t FullPath(char16_t* buffer, const char16_t* path);
// The root into `buffer` (kPathBuffer characters): for "\\server\share\..."
// up to and including the separator after the share, else up to and
// including the first separator.
ZR_EXPORT void GetRoot(const char16_t* path, char16_t* buffer);
// Whether a search for the path (wildcards allowed) finds an entry.
ZR_EXPORT int32_t IsFileExist(const char16_t* path);
// Folder, title and extension all non-empty.
ZR_EXPORT bool ValidateFilePath(const char16_t* path);
// Trims blanks, removes \ / : * ? " < > |, cuts to 27 characters; an empty
// result becomes "Unfilled". Always true.
ZR_EXPORT bool ValidateFileTitle(_String& title);
// One part of the split path; each asserts ValidateFilePath first.
ZR_EXPORT _String GetFileDrive(const char16_t* path);
ZR_EXPORT _String GetFileDir(const char16_t* path);
ZR_EXPORT _String GetFileTitle(const char16_t* path);
ZR_EXPORT _String GetFileExt(const char16_t* path);
// folder\title-n.ext for the first n from 1 whose path does not exist, or
// equals `accepted` (exactly). A title already ending in "-digits" is
// numbered afresh ("note-3" gives "note-1", "note-2", ...), and the title is
// cut so that it stays within 27 characters with its "-n".
ZR_EXPORT _String GetNextValidNumberedName(const char16_t* path, const char16_t* accepted);
// The path, its title cut to 27 characters, or the first numbered form of
// it, that exists neither in its folder nor (when given) as the same name in
// `secondFolder`; a candidate equal to `accepted` (ignoring case) is taken
// as it is.
ZR_EXPORT _String GetValidFileName(const char16_t* path, const char16_t* secondFolder, const char16_t* accepted);

}  // namespace zr_gen
