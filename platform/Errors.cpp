#include "platform/Errors.h"

#include <cstring>
#include <string>

#include "platform/Memory.h"

namespace {
thread_local DWORD lastError = 0;
}

DWORD GetLastError() { return lastError; }

void SetLastError(DWORD error) { lastError = error; }

DWORD FormatMessageW(DWORD flags, LPCVOID, DWORD messageId, DWORD, LPWSTR buffer, DWORD size, va_list*) {
    if ((flags & FORMAT_MESSAGE_FROM_SYSTEM) == 0 || buffer == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const char16_t* text = platform::SystemErrorText(messageId);
    if (text == nullptr) {
        SetLastError(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    const DWORD length = static_cast<DWORD>(std::char_traits<char16_t>::length(text));
    LPWSTR target = buffer;
    if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
        const DWORD chars = length + 1 > size ? length + 1 : size;
        target = static_cast<LPWSTR>(LocalAlloc(LMEM_FIXED, chars * sizeof(char16_t)));
        if (target == nullptr) return 0;  // LocalAlloc set ERROR_NOT_ENOUGH_MEMORY
        *reinterpret_cast<LPWSTR*>(buffer) = target;
    } else if (length + 1 > size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(target, text, (length + 1) * sizeof(char16_t));
    return length;
}

namespace platform {

DWORD SetLastErrorFromErrno(int err, ErrnoContext context) {
    const DWORD error = Win32ErrorFromErrno(err, context);
    SetLastError(error);
    return error;
}

}  // namespace platform
