// The registry, kept as folders and files: a key is a folder below the
// registry root (one folder per root key, e.g. "HKEY_LOCAL_MACHINE"), and
// each of its values is a file in that folder whose name is the value's
// name. Values are listed in name order. Only what reading needs is here.
#pragma once

#include <string>

#include "platform/Types.h"

struct HKEY__;
using HKEY = HKEY__*;
using REGSAM = DWORD;
inline HKEY const HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(uintptr_t{0x80000002});
constexpr REGSAM KEY_READ = 0x20019;

// ERROR_SUCCESS with the key in *result, else ERROR_FILE_NOT_FOUND (or
// ERROR_INVALID_PARAMETER for an unknown root key).
LONG RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM access, HKEY* result);
LONG RegCloseKey(HKEY key);
// The number of values into *values; every other output, when given, 0.
LONG RegQueryInfoKeyW(HKEY key, LPWSTR className, DWORD* classNameSize, DWORD* reserved, DWORD* subKeys,
                      DWORD* maxSubKeyLength, DWORD* maxClassLength, DWORD* values, DWORD* maxValueNameLength,
                      DWORD* maxValueLength, DWORD* securityDescriptor, FILETIME* lastWriteTime);
// Value `index`'s name into `name` (room *nameSize characters, terminator
// included; *nameSize becomes its length): ERROR_SUCCESS, ERROR_MORE_DATA
// when it does not fit, ERROR_NO_MORE_ITEMS past the last value. Type and
// data are not kept: *type becomes 0 and *dataSize 0 when asked.
LONG RegEnumValueW(HKEY key, DWORD index, LPWSTR name, DWORD* nameSize, DWORD* reserved, DWORD* type, BYTE* data,
                   DWORD* dataSize);

namespace platform {

// The folder that holds the registry; by default
// "$XDG_DATA_HOME/notestore/registry" ("~/.local/share/..." without it).
void SetRegistryRoot(std::string folder);
std::string RegistryRoot();

}  // namespace platform
