// _String: the library's UTF-16 text type.
//
// A standard wide string with narrow-text assignment, string-table loading,
// printf-style formatting, trimming and the Palm line-break conversion. Many
// operations treat it as a zero-terminated text: copies and comparisons stop
// at the first zero character even when the length is larger (see GetBuffer).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "notestore/foundation/Export.h"
#include "notestore/foundation/Format.h"

namespace zr_gen {

class ZR_EXPORT _String : public std::u16string {
public:
    _String() = default;
    _String(const char16_t* text);          // null gives an empty string
    _String(const _String& other);          // the text up to its first zero
    _String(const std::u16string& other);   // likewise
    _String(_String&&) noexcept = default;

    _String& operator=(const char16_t* text);
    _String& operator=(const _String& other);
    _String& operator=(const std::u16string& other);
    _String& operator=(_String&&) noexcept = default;
    _String& operator=(char16_t c);
    _String& operator=(const char* text);  // Windows-1252; null gives empty
    _String& operator=(char c);

    // Narrow (Windows-1252) text of `length` bytes; all bits set means up to
    // the terminator. A length of 0 leaves the string as it was.
    _String& AssignAscii(const char* text, uint32_t length);

    // Entry `id` of the library's message table; false (string unchanged)
    // when the library has no module handle or no such entry.
    bool LoadStringW(uint32_t id);

    // Replaces the content with the formatted text, cut to 1023 characters.
    template <class... Args>
    void FormatString(const char16_t* format, const Args&... args) {
        AssignFormatted(FormatText(format, {FormatArg(args)...}));
    }

    // Remove leading / trailing blanks (0x20 only).
    void TrimLeft();
    void TrimRight();

    // Sets the length to n + 1 characters and returns the first; the caller
    // writes at most n characters and a terminator.
    char16_t* GetBuffer(uint32_t n);

    // Line feed to carriage return + line feed, and back (every carriage
    // return removed).
    void palmToPlatform();
    void platformToPalm();

    operator const char16_t*() const { return c_str(); }
    char16_t& operator[](int index) { return std::u16string::operator[](static_cast<size_t>(index)); }
    char16_t operator[](int index) const { return std::u16string::operator[](static_cast<size_t>(index)); }
    char16_t& operator[](unsigned int index) { return std::u16string::operator[](index); }
    char16_t operator[](unsigned int index) const { return std::u16string::operator[](index); }
    using std::u16string::operator[];

    // The text up to the first zero character.
    std::u16string_view Text() const;

private:
    void AssignFormatted(const std::u16string& text);
};

// Case-sensitive comparisons of the texts up to each side's first zero.
ZR_EXPORT bool operator==(const _String& a, const _String& b);
ZR_EXPORT bool operator==(const _String& a, const char16_t* b);
ZR_EXPORT bool operator==(const char16_t* a, const _String& b);
inline bool operator!=(const _String& a, const _String& b) { return !(a == b); }
inline bool operator!=(const _String& a, const char16_t* b) { return !(a == b); }
inline bool operator!=(const char16_t* a, const _String& b) { return !(a == b); }

// The first `maxUnits` UTF-16 units of `text`, one fewer when the cut would
// part a surrogate pair: every limit on a text's length cuts through this.
ZR_EXPORT std::u16string_view CutText(std::u16string_view text, size_t maxUnits);

ZR_EXPORT _String operator+(const _String& a, const _String& b);
ZR_EXPORT _String operator+(const _String& a, char16_t c);

}  // namespace zr_gen
