// Code-page conversion, the module string tables, and UTF-16/UTF-8 helpers.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "platform/Types.h"

// Code page 0 (CP_ACP) and 1252 are Windows-1252; CP_UTF8 is also known.
constexpr UINT CP_ACP = 0;
constexpr UINT CP_1252 = 1252;
constexpr UINT CP_UTF8 = 65001;

// As on the device: a source length of -1 includes the terminator; a target
// size of 0 asks for the size needed. Characters that Windows-1252 cannot hold
// become `defaultChar` ("?" when null) and set *usedDefaultChar. Returns the
// bytes written (or needed), 0 with ERROR_INSUFFICIENT_BUFFER when the target
// is too small (it then holds as much as fitted).
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR source, int sourceLength, LPSTR target,
                        int targetSize, LPCSTR defaultChar, BOOL* usedDefaultChar);
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR source, int sourceLength, LPWSTR target,
                        int targetSize);

// Copies string-table entry `id` of `module` into `buffer`, cut to
// `bufferMax` - 1 characters and terminated; returns the characters copied,
// 0 when the module has no such entry (ERROR_RESOURCE_NAME_NOT_FOUND).
int LoadStringW(HINSTANCE module, UINT id, LPWSTR buffer, int bufferMax);

namespace platform {

struct StringTableEntry {
    UINT id;
    const char16_t* text;
};

// Makes `entries` the string table of `module` (the entries must outlive it).
void RegisterStringTable(HINSTANCE module, std::span<const StringTableEntry> entries);

std::string Utf16ToUtf8(std::u16string_view text);
// Utf16ToUtf8 appended to `out`, for writers that build one long text.
void AppendUtf8(std::string& out, std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view text);
// The same into `out`, whose storage is reused: for converting many texts.
void Utf8ToUtf16(std::string_view text, std::u16string& out);

// Windows-1252 of one UTF-16 code unit, 0 when the code page cannot hold it.
unsigned char Cp1252FromUnicode(char16_t c);
char16_t UnicodeFromCp1252(unsigned char c);

}  // namespace platform
