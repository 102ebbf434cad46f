#include "platform/Registry.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <new>
#include <system_error>
#include <vector>

#include "platform/Files.h"
#include "platform/Strings.h"

namespace {

std::mutex gRootLock;
std::string gRoot;

// An open key: its value names, read when it was opened.
struct Key {
    std::vector<std::u16string> values;
};

std::string DefaultRoot() {
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data != nullptr && *data != '\0') return std::string(data) + "/notestore/registry";
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : ".") + "/.local/share/notestore/registry";
}

Key* KeyOf(HKEY key) { return reinterpret_cast<Key*>(key); }

}  // namespace

LONG RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD /*options*/, REGSAM /*access*/, HKEY* result) {
    if (result == nullptr) return static_cast<LONG>(ERROR_INVALID_PARAMETER);
    *result = nullptr;
    if (key != HKEY_LOCAL_MACHINE) return static_cast<LONG>(ERROR_INVALID_PARAMETER);
    const std::filesystem::path folder = std::filesystem::path(platform::RegistryRoot()) / "HKEY_LOCAL_MACHINE" /
                                         platform::NativePath(subKey != nullptr ? subKey : u"");
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error)) return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
    auto* opened = new (std::nothrow) Key;
    if (opened == nullptr) return static_cast<LONG>(ERROR_NOT_ENOUGH_MEMORY);
    for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        if (entry->is_regular_file(error))
            opened->values.push_back(platform::Utf8ToUtf16(entry->path().filename().string()));
    }
    std::sort(opened->values.begin(), opened->values.end());
    *result = reinterpret_cast<HKEY>(opened);
    return static_cast<LONG>(ERROR_SUCCESS);
}

LONG RegCloseKey(HKEY key) {
    if (key == nullptr || key == HKEY_LOCAL_MACHINE) return static_cast<LONG>(ERROR_INVALID_HANDLE);
    delete KeyOf(key);
    return static_cast<LONG>(ERROR_SUCCESS);
}

LONG RegQueryInfoKeyW(HKEY key, LPWSTR className, DWORD* classNameSize, DWORD* /*reserved*/, DWORD* subKeys,
                      DWORD* maxSubKeyLength, DWORD* maxClassLength, DWORD* values, DWORD* maxValueNameLength,
                      DWORD* maxValueLength, DWORD* securityDescriptor, FILETIME* lastWriteTime) {
    if (key == nullptr || key == HKEY_LOCAL_MACHINE) return static_cast<LONG>(ERROR_INVALID_HANDLE);
    const Key& opened = *KeyOf(key);
    if (className != nullptr && classNameSize != nullptr && *classNameSize > 0) className[0] = u'\0';
    for (DWORD* zero : {classNameSize, subKeys, maxSubKeyLength, maxClassLength, maxValueLength, securityDescriptor}) {
        if (zero != nullptr) *zero = 0;
    }
    if (values != nullptr) *values = static_cast<DWORD>(opened.values.size());
    if (maxValueNameLength != nullptr) {
        size_t longest = 0;
        for (const std::u16string& name : opened.values) longest = std::max(longest, name.size());
        *maxValueNameLength = static_cast<DWORD>(longest);
    }
    if (lastWriteTime != nullptr) *lastWriteTime = FILETIME{};
    return static_cast<LONG>(ERROR_SUCCESS);
}

LONG RegEnumValueW(HKEY key, DWORD index, LPWSTR name, DWORD* nameSize, DWORD* /*reserved*/, DWORD* type,
                   BYTE* /*data*/, DWORD* dataSize) {
    if (key == nullptr || key == HKEY_LOCAL_MACHINE) return static_cast<LONG>(ERROR_INVALID_HANDLE);
    const Key& opened = *KeyOf(key);
    if (index >= opened.values.size()) return static_cast<LONG>(ERROR_NO_MORE_ITEMS);
    if (name == nullptr || nameSize == nullptr) return static_cast<LONG>(ERROR_INVALID_PARAMETER);
    const std::u16string& value = opened.values[index];
    if (value.size() + 1 > *nameSize) return static_cast<LONG>(ERROR_MORE_DATA);
    name[value.copy(name, value.size())] = u'\0';
    *nameSize = static_cast<DWORD>(value.size());
    if (type != nullptr) *type = 0;
    if (dataSize != nullptr) *dataSize = 0;
    return static_cast<LONG>(ERROR_SUCCESS);
}

namespace platform {

void SetRegistryRoot(std::string folder) {
    std::lock_guard<std::mutex> guard(gRootLock);
    gRoot = std::move(folder);
}

std::string RegistryRoot() {
    std::lock_guard<std::mutex> guard(gRootLock);
    return gRoot.empty() ? DefaultRoot() : gRoot;
}

}  // namespace platform
