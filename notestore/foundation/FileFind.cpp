#include "notestore/foundation/FileFind.h"

#include <new>

#include "notestore/foundation/PathSplit.h"
#include "notestore/foundation/zr_assert.h"
#include "platform/Errors.h"
#include "platform/Memory.h"

namespace zr_gen {

namespace {

WIN32_FIND_DATAW* NewRecord() {
    if (platform::AllocationMustFail()) return nullptr;
    return new (std::nothrow) WIN32_FIND_DATAW{};
}

}  // namespace

CFileFind::~CFileFind() { Close(); }

void CFileFind::Close() {
    delete found_;
    found_ = nullptr;
    delete next_;
    next_ = nullptr;
    if (search_ != nullptr) CloseContext();
}

void CFileFind::CloseContext() {
    ::FindClose(search_);
    search_ = nullptr;
}

int32_t CFileFind::FindFile(const char16_t* pattern, uint32_t /*flags*/) {
    Close();
    if (pattern == nullptr) pattern = u"*.*";
    next_ = NewRecord();
    if (next_ == nullptr) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    const std::u16string_view text(pattern);
    text.substr(0, MAX_PATH - 1).copy(next_->cFileName, MAX_PATH - 1);
    HANDLE search = ::FindFirstFileW(pattern, next_);
    if (search == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        Close();
        ::SetLastError(error);
        return 0;
    }
    search_ = search;
    const size_t separator = text.find_last_of(u"\\/");
    root_ = _String(std::u16string(separator != std::u16string_view::npos ? text.substr(0, separator) : text));
    return 1;
}

int32_t CFileFind::FindNextFileW() {
    ZR_ASSERT(search_ != nullptr);
    if (search_ == nullptr) return 0;
    if (found_ == nullptr) {
        found_ = NewRecord();
        if (found_ == nullptr) return 0;
    }
    std::swap(found_, next_);
    return ::FindNextFileW(search_, next_) ? 1 : 0;
}

_String CFileFind::GetFileName() {
    ZR_ASSERT(search_ != nullptr);
    return found_ != nullptr ? _String(found_->cFileName) : _String();
}

_String CFileFind::GetFilePath() {
    ZR_ASSERT(search_ != nullptr);
    _String path = root_;
    AppendSeparator(path, separator_);
    path += GetFileName();
    return path;
}

_String CFileFind::GetFileTitle() {
    _String title;
    SplitPath(GetFileName().c_str(), nullptr, nullptr, &title, nullptr);
    return title;
}

_String CFileFind::GetRoot() {
    ZR_ASSERT(search_ != nullptr);
    return root_;
}

uint32_t CFileFind::GetLength() const {
    ZR_ASSERT(search_ != nullptr);
    return found_ != nullptr ? found_->nFileSizeLow : 0;
}

int32_t CFileFind::CopyTime(FILETIME WIN32_FIND_DATAW::*field, FILETIME* time) const {
    ZR_ASSERT(search_ != nullptr);
    if (found_ == nullptr || time == nullptr) return 0;
    *time = found_->*field;
    return 1;
}

int32_t CFileFind::GetLastWriteTime(FILETIME* time) const { return CopyTime(&WIN32_FIND_DATAW::ftLastWriteTime, time); }

int32_t CFileFind::GetLastAccessTime(FILETIME* time) const {
    return CopyTime(&WIN32_FIND_DATAW::ftLastAccessTime, time);
}

int32_t CFileFind::GetCreationTime(FILETIME* time) const { return CopyTime(&WIN32_FIND_DATAW::ftCreationTime, time); }

int32_t CFileFind::MatchesMask(uint32_t mask) const {
    ZR_ASSERT(search_ != nullptr);
    return found_ != nullptr && (found_->dwFileAttributes & mask) != 0 ? 1 : 0;
}

int32_t CFileFind::IsDots() const {
    if (found_ == nullptr || !IsDirectory()) return 0;
    const std::u16string_view name(found_->cFileName);
    return name == u"." || name == u".." ? 1 : 0;
}

}  // namespace zr_gen
