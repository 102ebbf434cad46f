// Last-error state, errno translation and system error texts.
#pragma once

#include <cstdarg>

#include "platform/Types.h"

DWORD GetLastError();
void SetLastError(DWORD error);

constexpr DWORD FORMAT_MESSAGE_ALLOCATE_BUFFER = 0x0100;
constexpr DWORD FORMAT_MESSAGE_IGNORE_INSERTS = 0x0200;
constexpr DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x1000;

// The system text of `messageId` (ending in "\r\n", as the device's texts do).
// Without FORMAT_MESSAGE_ALLOCATE_BUFFER the text goes into `buffer` (at most
// `size` characters with the terminator); with it, `buffer` is really an
// LPWSTR* that receives a LocalAlloc'ed copy of at least `size` characters.
// Returns the characters written without the terminator, or 0 with the last
// error set (ERROR_MR_MID_NOT_FOUND, ERROR_INSUFFICIENT_BUFFER,
// ERROR_NOT_ENOUGH_MEMORY, ERROR_INVALID_PARAMETER).
DWORD FormatMessageW(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPWSTR buffer,
                     DWORD size, va_list* arguments);

namespace platform {

// Why a call failed, where errno alone cannot tell the Win32 code apart.
enum class ErrnoContext : uint8_t {
    Generic,
    MissingParent,  // ENOENT and the file's folder does not exist either
};

// The single errno to Win32 translation of the layer; an errno it does not
// know gives ERROR_IO_DEVICE, a hard I/O failure, never success.
DWORD Win32ErrorFromErrno(int err, ErrnoContext context = ErrnoContext::Generic);

// Sets the last error from errno and returns it.
DWORD SetLastErrorFromErrno(int err, ErrnoContext context = ErrnoContext::Generic);

// The system text of a Win32 error code, or null when the system has none.
const char16_t* SystemErrorText(DWORD error);

}  // namespace platform
