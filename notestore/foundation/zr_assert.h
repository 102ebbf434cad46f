// Trace log, assertions and the narrow/wide conversion they use.
//
// The log is the text file "FileIO.txt" in the current folder (or in the
// folder a program chose with ZR_SetLogFolder): the first line
// a process writes empties it, every later line is appended, and the file is
// opened and closed for each line. A failed assertion writes one line and
// execution goes on.
#pragma once

#include <cstdint>
#include <string>

#include "notestore/foundation/Export.h"
#include "notestore/foundation/Format.h"

extern "C" {

// Formats a wide printf-style message (%s and %ls: UTF-16 text, %hs and %S:
// narrow text) and writes it as one log line. Texts longer than 20479
// characters are cut, after an assertion line for this function.
ZR_EXPORT void ZR_Trace(const char16_t* format, ...);

// Puts the log in `folder` (which must exist) from the next line on; a null or
// empty folder puts it back in the current folder. For programs that must not
// leave files where their user stands; the library never calls it.
ZR_EXPORT void ZR_SetLogFolder(const char* folder);

// Reports a failed assertion at `file`:`line`; always returns 0.
ZR_EXPORT int32_t zr_AssertFailedLine(const char* file, int32_t line);

// 1 when the whole range is mapped readable (and, with `forWrite`, writable),
// else 0; a null address gives 0.
ZR_EXPORT int32_t zr_CVIsValidAddress(const void* address, uint32_t size, int32_t forWrite);

}  // extern "C"

namespace zr_gen {

// Writes an already formatted line (wide: converted to the ANSI code page).
ZR_EXPORT void TraceLine(const std::u16string& text);
ZR_EXPORT void LogLine(const std::u16string& text);

}  // namespace zr_gen

// Type-safe forms used inside the library: each argument is formatted as what
// it is, so a narrow file name or a UTF-16 text given for "%s" both print.
template <class... Args>
void ZR_Trace(const char16_t* format, const Args&... args) {
    zr_gen::TraceLine(zr_gen::FormatText(format, {zr_gen::FormatArg(args)...}));
}

// Formats a narrow printf-style message and writes it as one log line.
template <class... Args>
void ZR_Log(const char* format, const Args&... args) {
    zr_gen::LogLine(zr_gen::FormatText(format, {zr_gen::FormatArg(args)...}));
}

// A heap copy of `text` in the ANSI code page (Windows-1252, "?" for what it
// cannot hold), always terminated; null for a null text or when memory runs
// out. The caller frees it with FreeAnsi.
char* WideToAnsi(const char16_t* text);
void FreeAnsi(char* text);

// The system text of an OS error code: into `buffer` (at most `size`
// characters) or, with a null buffer, into a new block the caller frees with
// LocalFree. Null when no text can be had at all.
char16_t* FormatLastError(uint32_t error, char16_t* buffer, uint32_t size);

// The library's assertion: logs and continues when `condition` is false.
#define ZR_ASSERT(condition)                                              \
    do {                                                                  \
        if (!(condition)) (void)zr_AssertFailedLine(ZR_FILE, __LINE__);   \
    } while (0)

// Asserts that `size` bytes at `address` are readable (and writable).
#define ZR_ASSERT_VALID(address, size, forWrite) \
    ZR_ASSERT(zr_CVIsValidAddress((address), (size), (forWrite)) != 0)
