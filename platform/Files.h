// Files and folder search over POSIX, with the device's sharing rules.
//
// Paths are UTF-16; "\" and "/" both separate and "\" becomes "/" when the
// path reaches the file system. Share modes are enforced between all handles
// of all processes with open-file-description locks, so an open the device
// would refuse fails here with ERROR_SHARING_VIOLATION too. Limits: on a file
// system without those locks files are shared freely; a descriptor that a
// forked child still holds keeps its share mode until the child closes it or
// calls exec; a file opened while it is being deleted or moved may end up
// open under its old name; two conflicting opens racing each other may both
// be refused.
#pragma once

#include <string>

#include "platform/Types.h"

constexpr DWORD GENERIC_READ = 0x80000000u;
constexpr DWORD GENERIC_WRITE = 0x40000000u;

constexpr DWORD FILE_SHARE_READ = 0x00000001u;
constexpr DWORD FILE_SHARE_WRITE = 0x00000002u;

constexpr DWORD CREATE_NEW = 1;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD OPEN_ALWAYS = 4;
constexpr DWORD TRUNCATE_EXISTING = 5;

constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x00000001u;
constexpr DWORD FILE_ATTRIBUTE_HIDDEN = 0x00000002u;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x00000010u;
constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x00000020u;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x00000080u;

constexpr DWORD FILE_BEGIN = 0;
constexpr DWORD FILE_CURRENT = 1;
constexpr DWORD FILE_END = 2;

struct SECURITY_ATTRIBUTES {
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
};

struct WIN32_FIND_DATAW {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwOID;
    WCHAR cFileName[MAX_PATH];
};

// A file handle, or INVALID_HANDLE_VALUE with the last error set: missing file
// ERROR_FILE_NOT_FOUND, missing folder ERROR_PATH_NOT_FOUND, a folder or a
// file without permission ERROR_ACCESS_DENIED, CREATE_NEW on an existing file
// ERROR_FILE_EXISTS, a conflicting share mode ERROR_SHARING_VIOLATION (nothing
// is created or truncated then), an unknown disposition or TRUNCATE_EXISTING
// without GENERIC_WRITE ERROR_INVALID_PARAMETER. CREATE_ALWAYS and OPEN_ALWAYS
// on an existing file succeed with the last error ERROR_ALREADY_EXISTS, else 0.
// Only regular files open; FILE_ATTRIBUTE_READONLY makes a new file read-only.
// The handle is inherited by child processes only when `security` asks for
// it. Handle values fit in 32 bits; close them with CloseHandle.
HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD shareMode, SECURITY_ATTRIBUTES* security,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE templateFile);

// TRUE with *read < toRead only at the end of the file.
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, DWORD* read, void* overlapped);
// Writes everything or fails (ERROR_DISK_FULL when the device is full).
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, DWORD* written, void* overlapped);
// The new position's low 32 bits; INVALID_SET_FILE_POINTER with the last error
// set on failure (ERROR_NEGATIVE_SEEK before the start), with the last error 0
// when that is really the position. Without `distanceHigh` the distance is a
// signed 32-bit value, and a position beyond 32 bits is refused
// (ERROR_INVALID_PARAMETER) since it could not be reported.
DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method);
BOOL SetEndOfFile(HANDLE file);
BOOL FlushFileBuffers(HANDLE file);
// File handles only; searches end with FindClose.
BOOL CloseHandle(HANDLE object);
BOOL GetFileTime(HANDLE file, FILETIME* creation, FILETIME* lastAccess, FILETIME* lastWrite);
// The size's low 32 bits, the last error 0 so that a low part of
// INVALID_FILE_SIZE is told apart from a failure.
DWORD GetFileSize(HANDLE file, DWORD* sizeHigh);

// INVALID_FILE_ATTRIBUTES on failure. Regular files are ARCHIVE (plus READONLY
// without write permission), folders DIRECTORY; names starting with "." HIDDEN.
DWORD GetFileAttributesW(LPCWSTR path);
// Fails with ERROR_ALREADY_EXISTS when the target exists, with
// ERROR_SHARING_VIOLATION while the source is open. Across devices a file is
// copied and then deleted; a folder gives ERROR_NOT_SAME_DEVICE.
BOOL MoveFileW(LPCWSTR from, LPCWSTR to);
// Fails with ERROR_SHARING_VIOLATION while the file is open.
BOOL DeleteFileW(LPCWSTR path);
// Copies the content, the permission bits and the last write time. With
// `failIfExists` an existing target gives ERROR_FILE_EXISTS; either file
// open under a conflicting share mode ERROR_SHARING_VIOLATION (so does a copy
// onto itself). A copy that fails halfway leaves no target behind.
BOOL CopyFileW(LPCWSTR from, LPCWSTR to, BOOL failIfExists);

// The last component of `pattern` may hold "*" and "?" (matched without regard
// to ASCII case, as the device's file system does); "." and ".." are never
// reported. No match: INVALID_HANDLE_VALUE with ERROR_FILE_NOT_FOUND (or
// ERROR_PATH_NOT_FOUND for a missing folder); the end: FALSE with
// ERROR_NO_MORE_FILES. "*.*" takes every name, as on the device.
HANDLE FindFirstFileW(LPCWSTR pattern, WIN32_FIND_DATAW* data);
BOOL FindNextFileW(HANDLE search, WIN32_FIND_DATAW* data);
BOOL FindClose(HANDLE search);

namespace platform {

// Makes the entries of the folder that holds `path` (created, removed and
// renamed files) reach the disk, as flushing a file does for its data. A
// file system that cannot flush folders succeeds. Failures set the last
// error (the test seam fails it as a flush).
BOOL FlushFolderOf(LPCWSTR path);

// A second handle on the same open file, sharing its position and share
// mode, as the device's DuplicateHandle gives; each handle is closed on its
// own. INVALID_HANDLE_VALUE with the last error set on failure.
HANDLE DuplicateFileHandle(HANDLE file);

// Replacing a file whole: its new content is written into a sibling, which
// then takes the file's place by an exchange of names, so that the name
// leads to a complete file, old or new, at every instant.
//
// Creates `sibling` (ERROR_FILE_EXISTS when there is one) with the
// permission bits and group of the file open as `original`, opened with
// `access` and `share`. Fails with ERROR_NOT_SUPPORTED, creating nothing,
// when a new file in its place would lose what the file is beyond its bytes
// or would not be seen by all its users: another open file description (of
// any process) or another handle of this one has it open, it has other hard links, its name is a symbolic
// link or now leads to another file, another user owns it, or it carries
// extended attributes (access lists among them). Other failures as
// CreateFileW. The test seam fails the creation as a write.
HANDLE CreateReplacementFor(HANDLE original, LPCWSTR sibling, DWORD access, DWORD share);

// Exchanges the names of two files open in one folder in one atomic step;
// each handle then goes by the other's name. ERROR_NOT_SUPPORTED (nothing
// changed) where the file system cannot exchange names.
BOOL ExchangeFileNames(HANDLE first, HANDLE second);

// Removes the file open as `file` from its folder, provided its name still
// leads to it, and closes the handle (also when the removal fails). Closing
// the last handle of a removed file frees its cached pages, which for a
// large file takes a while: that is left to a worker thread.
BOOL RemoveOpenFile(HANDLE file);

// Renames the file open as `file` over `target`, replacing it in one step;
// the handle then goes by the new name. For file systems that cannot
// exchange names.
BOOL RenameOpenFileOver(HANDLE file, LPCWSTR target);

// The file-system form of a path: UTF-8 with "\" turned into "/".
std::string NativePath(LPCWSTR path);

}  // namespace platform
