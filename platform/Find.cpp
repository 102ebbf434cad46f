// Folder search: a directory stream filtered by the device's wildcards.
#include <dirent.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/Errors.h"
#include "platform/FileInfo.h"
#include "platform/Files.h"
#include "platform/HandleTable.h"
#include "platform/Strings.h"

namespace {

using platform::detail::FileInfo;

struct Search {
    Search(DIR* folder, std::u16string pattern) : stream(folder), mask(std::move(pattern)) {}
    ~Search() { closedir(stream); }
    Search(const Search&) = delete;
    Search& operator=(const Search&) = delete;

    std::mutex lock;  // a directory stream is read by one thread at a time
    DIR* stream;
    std::u16string mask;
};

constinit platform::detail::HandleTable<Search> searches(1);

char16_t FoldAscii(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; }

// "*" matches any run of characters, "?" any one; ASCII letters match in
// either case. On a mismatch after a "*" the star takes one character more.
bool Matches(std::u16string_view mask, std::u16string_view name) {
    constexpr size_t kNone = std::u16string_view::npos;
    size_t m = 0;
    size_t n = 0;
    size_t star = kNone;
    size_t starName = 0;
    while (n < name.size()) {
        if (m < mask.size() && mask[m] == u'*') {
            star = m++;
            starName = n;
        } else if (m < mask.size() && (mask[m] == u'?' || FoldAscii(mask[m]) == FoldAscii(name[n]))) {
            ++m;
            ++n;
        } else if (star != kNone) {
            m = star + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == u'*') ++m;
    return m == mask.size();
}

void Fill(WIN32_FIND_DATAW* data, const FileInfo& info, std::u16string_view name) {
    *data = {};
    data->dwFileAttributes = info.attributes;
    data->ftCreationTime = info.creation;
    data->ftLastAccessTime = info.lastAccess;
    data->ftLastWriteTime = info.lastWrite;
    data->nFileSizeHigh = static_cast<DWORD>(info.size >> 32);
    data->nFileSizeLow = static_cast<DWORD>(info.size);
    std::copy_n(name.data(), std::min<size_t>(name.size(), MAX_PATH - 1), data->cFileName);
}

// The next entry matching the search into `data`: TRUE, or FALSE with
// ERROR_NO_MORE_FILES at the end (or why the folder could not be read).
BOOL NextMatch(Search& search, WIN32_FIND_DATAW* data) {
    std::lock_guard<std::mutex> guard(search.lock);
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(search.stream);
        if (entry == nullptr) {
            if (errno != 0) {
                platform::SetLastErrorFromErrno(errno);
            } else {
                SetLastError(ERROR_NO_MORE_FILES);
            }
            return FALSE;
        }
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") continue;
        const std::u16string wide = platform::Utf8ToUtf16(name);
        if (!Matches(search.mask, wide)) continue;
        FileInfo info;
        if (!platform::detail::QueryFileInfo(dirfd(search.stream), entry->d_name, &info)) {
            // Gone since the folder was read, or a dangling link: nothing to report.
            if (errno == ENOENT) continue;
            platform::SetLastErrorFromErrno(errno);
            return FALSE;
        }
        Fill(data, info, wide);
        return TRUE;
    }
}

}  // namespace

HANDLE FindFirstFileW(LPCWSTR pattern, WIN32_FIND_DATAW* data) {
    if (pattern == nullptr || data == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const std::string native = platform::NativePath(pattern);
    const platform::detail::PathParts parts = platform::detail::SplitPath(native);
    // On the device "*.*" also takes names without an extension.
    std::u16string mask = platform::Utf8ToUtf16(parts.name == "*.*" ? "*" : parts.name);
    DIR* stream = opendir(parts.folder.empty() ? "." : std::string(parts.folder).c_str());
    if (stream == nullptr) {
        // The folder itself is missing, which is a missing path, not file.
        platform::SetLastErrorFromErrno(errno, platform::ErrnoContext::MissingParent);
        return INVALID_HANDLE_VALUE;
    }
    const HANDLE handle = searches.Add(stream, std::move(mask));
    if (handle == nullptr) {
        closedir(stream);
        return INVALID_HANDLE_VALUE;
    }
    if (NextMatch(*searches.Find(handle), data)) return handle;
    const DWORD error = GetLastError();
    searches.Remove(handle);
    SetLastError(error == ERROR_NO_MORE_FILES ? ERROR_FILE_NOT_FOUND : error);
    return INVALID_HANDLE_VALUE;
}

BOOL FindNextFileW(HANDLE search, WIN32_FIND_DATAW* data) {
    const std::shared_ptr<Search> found = searches.Find(search);
    if (found == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (data == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return NextMatch(*found, data);
}

BOOL FindClose(HANDLE search) {
    if (searches.Remove(search) == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
