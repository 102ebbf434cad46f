#include "notestore/foundation/zr_assert.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/Errors.h"
#include "platform/Memory.h"
#include "platform/Messages.h"
#include "platform/Strings.h"

namespace {

// Set by the first line a process writes: that line empties the log.
bool logOpened = false;

constexpr size_t kTraceBufferChars = 0x5000;
// The line the device build reported for an over-long trace text; kept so
// the log reads the same.
constexpr int32_t kTraceOverflowLine = 26;

// Relative unless a program moved it (ZR_SetLogFolder). A function's static,
// so a line written while other units are still being constructed finds it.
std::string& LogPath() {
    static std::string path = "FileIO.txt";
    return path;
}

void WriteLogBytes(const char* text) {
    const char* mode = logOpened ? "a+" : "w+";
    logOpened = true;
    FILE* log = std::fopen(LogPath().c_str(), mode);
    if (log == nullptr) return;  // a line that cannot be written is lost, by design
    std::fputs(text, log);
    std::fputs("\n", log);
    std::fclose(log);
}

std::string Narrow(const std::u16string& text) {
    std::string narrow(text.size(), '\0');
    if (!text.empty()) {
        WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), narrow.data(),
                            static_cast<int>(narrow.size()), nullptr, nullptr);
    }
    return narrow;
}

// Whether [begin, end) lies in mappings, without a gap, that allow reading
// and, when asked, writing: the kernel's list of the process's mappings
// is the one place that knows inaccessible (PROT_NONE) and read-only ones.
bool RangeAccessible(uintptr_t begin, uintptr_t end, bool forWrite) {
    FILE* maps = std::fopen("/proc/self/maps", "re");
    if (maps == nullptr) return false;
    uintptr_t covered = begin;
    unsigned long first = 0;
    unsigned long last = 0;
    char access[5] = {};
    // The list is sorted by address.
    while (covered < end && std::fscanf(maps, "%lx-%lx %4s%*[^\n]", &first, &last, access) == 3) {
        if (last <= covered) continue;
        const bool allowed = access[0] == 'r' && (!forWrite || access[1] == 'w');
        if (first > covered || !allowed) break;
        covered = last;
    }
    std::fclose(maps);
    return covered >= end;
}

}  // namespace

namespace zr_gen {

void LogLine(const std::u16string& text) { WriteLogBytes(Narrow(text).c_str()); }

void TraceLine(const std::u16string& text) {
    std::u16string line = text;
    if (line.size() >= kTraceBufferChars) {
        (void)zr_AssertFailedLine(ZR_FILE, kTraceOverflowLine);
        line.resize(kTraceBufferChars - 1);
    }
    char* narrow = WideToAnsi(line.c_str());
    if (narrow == nullptr) return;
    WriteLogBytes(narrow);
    FreeAnsi(narrow);
}

}  // namespace zr_gen

extern "C" void ZR_Trace(const char16_t* format, ...) {
    if (format == nullptr) return;
    va_list args;
    va_start(args, format);
    std::u16string text = zr_gen::FormatTextV(format, false, args);
    va_end(args);
    zr_gen::TraceLine(text);
}

extern "C" void ZR_SetLogFolder(const char* folder) {
    try {
        std::string path = folder == nullptr || *folder == '\0' ? std::string() : std::string(folder) + "/";
        LogPath() = path + "FileIO.txt";
        logOpened = false;  // the first line in the new place starts its log afresh
    } catch (...) {
        // No memory for the path: the log stays where it was.
    }
}

extern "C" int32_t zr_AssertFailedLine(const char* file, int32_t line) {
    ZR_Trace(u"Assertion Failed! File %s Line %d quiting application", file, line);
    MSG quit;
    if (PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) PostQuitMessage(static_cast<int>(quit.wParam));
    return 0;
}

extern "C" int32_t zr_CVIsValidAddress(const void* address, uint32_t size, int32_t forWrite) {
    if (address == nullptr) return 0;
    const auto begin = reinterpret_cast<uintptr_t>(address);
    if (size == 0) return 1;
    if (begin + size < begin) return 0;
    return RangeAccessible(begin, begin + size, forWrite != 0) ? 1 : 0;
}

char* WideToAnsi(const char16_t* text) {
    if (text == nullptr) return nullptr;
    const size_t length = std::char_traits<char16_t>::length(text);
    auto* narrow = static_cast<char*>(platform::AllocateBytes(length + 1));
    if (narrow == nullptr) return nullptr;
    std::memset(narrow, 0, length + 1);
    if (length > 0) {
        WideCharToMultiByte(CP_ACP, 0, text, -1, narrow, static_cast<int>(length), nullptr, nullptr);
        narrow[length] = 0;
    }
    return narrow;
}

void FreeAnsi(char* text) { platform::FreeBytes(text); }

namespace {

constexpr DWORD kUsEnglish = 0x0409;
constexpr uint32_t kFallbackBufferBytes = 1024;

char16_t* SystemText(uint32_t error, char16_t* buffer, uint32_t size) {
    if (buffer != nullptr) {
        return FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, error, kUsEnglish, buffer, size, nullptr) != 0 ? buffer : nullptr;
    }
    char16_t* allocated = nullptr;
    if (FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, error, kUsEnglish,
                       reinterpret_cast<LPWSTR>(&allocated), 1, nullptr) == 0) {
        return nullptr;
    }
    return allocated;
}

}  // namespace

char16_t* FormatLastError(uint32_t error, char16_t* buffer, uint32_t size) {
    if (char16_t* text = SystemText(error, buffer, size)) return text;
    const DWORD secondError = GetLastError();
    const bool ownBuffer = buffer == nullptr;
    if (ownBuffer) {
        buffer = static_cast<char16_t*>(LocalAlloc(LPTR, kFallbackBufferBytes));
        if (buffer == nullptr) {
            OutputDebugStringW(u"Out of memory trying to FormatLastError\r\n");
            return nullptr;
        }
        size = kFallbackBufferBytes / sizeof(char16_t);
    }
    char16_t* reason = SystemText(secondError, nullptr, 0);
    if (reason == nullptr) {
        if (ownBuffer) LocalFree(buffer);  // the device kept this block; nobody could free it
        return nullptr;
    }
    const std::u16string text =
        zr_gen::FormatText(u"FormatMessage failed on error 0x%lx for the following reason: %s", {error, reason});
    LocalFree(reason);
    if (size == 0) return buffer;
    const size_t copied = std::min<size_t>(text.size(), size - 1);
    std::memcpy(buffer, text.data(), copied * sizeof(char16_t));
    buffer[copied] = 0;
    return buffer;
}
