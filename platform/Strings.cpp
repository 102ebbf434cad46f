#include "platform/Strings.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/Errors.h"

namespace platform {

namespace {

// 0x80..0x9F of Windows-1252; 0 marks the five unassigned bytes, which the
// device maps to the C1 control with the same value.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

struct Table {
    HINSTANCE module;
    std::span<const StringTableEntry> entries;
};

std::mutex tablesLock;
std::vector<Table>& Tables() {
    static std::vector<Table> tables;
    return tables;
}

// The end of the run of ASCII units from `from`: four units a step while
// they last (a unit is ASCII when none of its bits 7 to 15 is set).
size_t AsciiRunEnd(std::u16string_view text, size_t from) {
    constexpr uint64_t kNotAscii = 0xFF80FF80FF80FF80ull;
    size_t at = from;
    for (uint64_t units = 0; at + 4 <= text.size(); at += 4) {
        std::memcpy(&units, text.data() + at, sizeof units);
        if ((units & kNotAscii) != 0) break;
    }
    while (at < text.size() && text[at] < 0x80) ++at;
    return at;
}

}  // namespace

char16_t UnicodeFromCp1252(unsigned char c) {
    if (c < 0x80 || c >= 0xA0) return c;
    const char16_t mapped = kCp1252High[c - 0x80];
    return mapped != 0 ? mapped : c;
}

unsigned char Cp1252FromUnicode(char16_t c) {
    if (c == 0) return 0;
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<unsigned char>(c);
    for (unsigned i = 0; i < 32; ++i) {
        if (UnicodeFromCp1252(static_cast<unsigned char>(0x80 + i)) == c) return static_cast<unsigned char>(0x80 + i);
    }
    return 0;
}

void RegisterStringTable(HINSTANCE module, std::span<const StringTableEntry> entries) {
    std::lock_guard<std::mutex> guard(tablesLock);
    auto& tables = Tables();
    auto it = std::find_if(tables.begin(), tables.end(), [&](const Table& t) { return t.module == module; });
    if (it != tables.end()) {
        it->entries = entries;
    } else {
        tables.push_back({module, entries});
    }
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    AppendUtf8(out, text);
    return out;
}

void AppendUtf8(std::string& out, std::u16string_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        // A run of ASCII, most of any text, is copied a unit a byte without
        // the per-character appends.
        const size_t ascii = AsciiRunEnd(text, i);
        if (ascii != i) {
            const size_t at = out.size();
            out.resize(at + (ascii - i));
            std::copy(text.begin() + static_cast<std::ptrdiff_t>(i), text.begin() + static_cast<std::ptrdiff_t>(ascii), out.begin() + static_cast<std::ptrdiff_t>(at));
            i = ascii;
            if (i == text.size()) break;
        }
        char32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;  // a lone surrogate has no UTF-8 form
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
}

std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string out;
    Utf8ToUtf16(text, out);
    return out;
}

void Utf8ToUtf16(std::string_view text, std::u16string& out) {
    // No text takes more UTF-16 units than it has UTF-8 bytes; the units are
    // written through a pointer and the string cut to what was written.
    out.resize(text.size());
    char16_t* to = out.data();
    size_t i = 0;
    while (i < text.size()) {
        // Eight ASCII bytes at a time while they last: most text is ASCII.
        for (uint64_t bytes = 0; i + 8 <= text.size(); i += 8) {
            std::memcpy(&bytes, text.data() + i, sizeof bytes);
            if ((bytes & 0x8080808080808080ull) != 0) break;
            for (size_t k = 0; k < 8; ++k) to[k] = static_cast<unsigned char>(text[i + k]);
            to += 8;
        }
        if (i == text.size()) break;
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            *to++ = lead;
            ++i;
            continue;
        }
        const int extra = (lead >> 5) == 6 ? 1 : (lead >> 4) == 14 ? 2 : (lead >> 3) == 30 ? 3 : -1;
        char32_t c = extra == 1 ? (lead & 0x1F) : extra == 2 ? (lead & 0x0F) : (lead & 0x07);
        bool valid = extra > 0 && i + static_cast<size_t>(extra) < text.size();
        for (int k = 1; valid && k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
            if ((next & 0xC0) != 0x80) valid = false;
            c = (c << 6) | (next & 0x3F);
        }
        if (!valid || c > 0x10FFFF) {
            *to++ = u'\xFFFD';
            ++i;
            continue;
        }
        i += static_cast<size_t>(extra) + 1;
        if (c >= 0x10000) {
            c -= 0x10000;
            *to++ = static_cast<char16_t>(0xD800 + (c >> 10));
            *to++ = static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            *to++ = static_cast<char16_t>(c);
        }
    }
    out.resize(static_cast<size_t>(to - out.data()));
}

}  // namespace platform

namespace {

// Length of the source run to convert, with the terminator when length is -1.
template <class Char>
size_t SourceLength(const Char* source, int sourceLength) {
    return sourceLength >= 0 ? static_cast<size_t>(sourceLength) : std::char_traits<Char>::length(source) + 1;
}

bool KnownCodePage(UINT codePage) { return codePage == CP_ACP || codePage == CP_1252 || codePage == CP_UTF8; }

// Writes `converted` into the caller's target with the device's size rules.
template <class Char>
int Deliver(const std::basic_string<Char>& converted, Char* target, int targetSize) {
    const auto needed = static_cast<int>(converted.size());
    if (targetSize == 0) return needed;
    const int written = std::min(needed, targetSize);
    std::copy_n(converted.data(), written, target);
    if (written < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    return written;
}

}  // namespace

int WideCharToMultiByte(UINT codePage, DWORD, LPCWSTR source, int sourceLength, LPSTR target, int targetSize,
                        LPCSTR defaultChar, BOOL* usedDefaultChar) {
    if (source == nullptr || !KnownCodePage(codePage) || targetSize < 0 || (targetSize > 0 && target == nullptr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::u16string_view text(source, SourceLength(source, sourceLength));
    std::string converted;
    if (codePage == CP_UTF8) {
        converted = platform::Utf16ToUtf8(text);
    } else {
        const char replacement = defaultChar != nullptr ? *defaultChar : '?';
        converted.reserve(text.size());
        for (size_t i = 0; i < text.size(); ++i) {
            const char16_t c = text[i];
            const unsigned char b = platform::Cp1252FromUnicode(c);
            if (b == 0 && c != 0) {
                converted += replacement;
                if (usedDefaultChar != nullptr) *usedDefaultChar = TRUE;
                // A surrogate pair is one character: one replacement for both halves.
                if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) ++i;
            } else {
                converted += static_cast<char>(b);
            }
        }
    }
    return Deliver(converted, target, targetSize);
}

int MultiByteToWideChar(UINT codePage, DWORD, LPCSTR source, int sourceLength, LPWSTR target, int targetSize) {
    if (source == nullptr || !KnownCodePage(codePage) || targetSize < 0 || (targetSize > 0 && target == nullptr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::string_view text(source, SourceLength(source, sourceLength));
    std::u16string converted;
    if (codePage == CP_UTF8) {
        converted = platform::Utf8ToUtf16(text);
    } else {
        converted.reserve(text.size());
        for (const char c : text) converted += platform::UnicodeFromCp1252(static_cast<unsigned char>(c));
    }
    return Deliver(converted, target, targetSize);
}

int LoadStringW(HINSTANCE module, UINT id, LPWSTR buffer, int bufferMax) {
    constexpr DWORD kResourceNameNotFound = 1814;
    if (buffer == nullptr || bufferMax <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const char16_t* text = nullptr;
    {
        std::lock_guard<std::mutex> guard(platform::tablesLock);
        for (const auto& table : platform::Tables()) {
            if (table.module != module) continue;
            for (const auto& entry : table.entries) {
                if (entry.id == id) text = entry.text;
            }
        }
    }
    if (text == nullptr || *text == 0) {
        SetLastError(kResourceNameNotFound);
        return 0;
    }
    const auto length = std::min<size_t>(std::char_traits<char16_t>::length(text), static_cast<size_t>(bufferMax) - 1);
    std::copy_n(text, length, buffer);
    buffer[length] = 0;
    return static_cast<int>(length);
}
