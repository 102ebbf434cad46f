#include "notestore/foundation/String.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include "notestore/foundation/Messages.h"
#include "platform/Strings.h"

namespace zr_gen {

namespace {

constexpr size_t kFormatBufferChars = 1024;
constexpr int kLoadBufferChars = 512;
constexpr int kLoadBufferStep = 256;

// The first `length` characters of `text`, or fewer when a zero comes first.
template <class Char>
std::basic_string_view<Char> UpToZero(const Char* text, size_t length) {
    size_t at = 0;
    if constexpr (sizeof(Char) == 2) {
        // Every text read passes here: four units a step until a step may
        // hold a zero (a unit whose top bit is set may also stop it; the
        // units from there are looked at one by one).
        for (uint64_t units = 0; at + 4 <= length; at += 4) {
            std::memcpy(&units, text + at, sizeof units);
            if (((units - 0x0001000100010001ull) & ~units & 0x8000800080008000ull) != 0) break;
        }
    }
    const Char* zero = std::char_traits<Char>::find(text + at, length - at, Char(0));
    return std::basic_string_view<Char>(text, zero != nullptr ? static_cast<size_t>(zero - text) : length);
}

}  // namespace

_String::_String(const char16_t* text) {
    if (text != nullptr) assign(text);
}

_String::_String(const _String& other) : std::u16string(other.Text()) {}

_String::_String(const std::u16string& other) : std::u16string(UpToZero(other.c_str(), other.size())) {}

_String& _String::operator=(const char16_t* text) {
    if (text == nullptr) {
        clear();
    } else {
        assign(text);
    }
    return *this;
}

_String& _String::operator=(const _String& other) {
    if (this != &other) assign(other.Text());
    return *this;
}

_String& _String::operator=(const std::u16string& other) {
    if (this != &other) assign(UpToZero(other.c_str(), other.size()));
    return *this;
}

_String& _String::operator=(char16_t c) {
    assign(1, c);
    return *this;
}

_String& _String::operator=(const char* text) {
    if (text == nullptr) {
        clear();
        return *this;
    }
    return AssignAscii(text, 0xFFFFFFFFu);
}

_String& _String::operator=(char c) { return AssignAscii(&c, 1); }

_String& _String::AssignAscii(const char* text, uint32_t length) {
    if (length == 0xFFFFFFFFu) length = text != nullptr ? static_cast<uint32_t>(std::char_traits<char>::length(text)) : 0;
    if (length == 0) return *this;
    // Converts at most `length` bytes and stops at a terminator, as the C
    // library's multibyte conversion does.
    const std::string_view narrow = UpToZero(text, length);
    // Converted in place, without a second string: every stored text read
    // passes here. ASCII maps to itself.
    resize(narrow.size());
    char16_t* out = data();
    size_t i = 0;
    for (uint64_t bytes = 0; i + 8 <= narrow.size(); i += 8) {  // eight ASCII bytes a step
        std::memcpy(&bytes, narrow.data() + i, sizeof bytes);
        if ((bytes & 0x8080808080808080ull) != 0) break;
        for (size_t k = 0; k < 8; ++k) out[i + k] = static_cast<unsigned char>(narrow[i + k]);
    }
    for (; i < narrow.size(); ++i) {
        const auto c = static_cast<unsigned char>(narrow[i]);
        out[i] = c < 0x80 ? c : platform::UnicodeFromCp1252(c);
    }
    return *this;
}

bool _String::LoadStringW(uint32_t id) {
    const HINSTANCE module = ModuleHandle();
    if (module == nullptr) return false;
    std::vector<char16_t> buffer(kLoadBufferChars);
    int loaded = ::LoadStringW(module, id, buffer.data(), kLoadBufferChars);
    if (loaded == 0) return false;
    // A text that filled the buffer may have been cut: retry with more room.
    while (loaded >= static_cast<int>(buffer.size()) - 1) {
        buffer.resize(buffer.size() + kLoadBufferStep);
        loaded = ::LoadStringW(module, id, buffer.data(), static_cast<int>(buffer.size()));
    }
    assign(buffer.data(), static_cast<size_t>(loaded));
    return true;
}

void _String::AssignFormatted(const std::u16string& text) {
    assign(text, 0, std::min(text.size(), kFormatBufferChars - 1));
}

void _String::TrimLeft() { erase(0, std::min(find_first_not_of(u' '), size())); }

void _String::TrimRight() {
    const size_t last = find_last_not_of(u' ');
    erase(last == npos ? 0 : last + 1);
}

char16_t* _String::GetBuffer(uint32_t n) {
    resize(static_cast<size_t>(n) + 1);
    return data();
}

void _String::palmToPlatform() {
    std::u16string converted;
    converted.reserve(size() + size() / 8);
    for (const char16_t c : *this) {
        if (c == u'\n') converted += u'\r';
        converted += c;
    }
    assign(converted);
}

void _String::platformToPalm() {
    std::u16string converted;
    converted.reserve(size());
    for (const char16_t c : *this) {
        if (c != u'\r') converted += c;
    }
    assign(converted);
}

std::u16string_view _String::Text() const { return UpToZero(c_str(), size()); }

std::u16string_view CutText(std::u16string_view text, size_t maxUnits) {
    if (text.size() <= maxUnits) return text;
    const bool partsPair = maxUnits > 0 && text[maxUnits - 1] >= 0xD800 && text[maxUnits - 1] < 0xDC00 &&
                           text[maxUnits] >= 0xDC00 && text[maxUnits] < 0xE000;
    return text.substr(0, partsPair ? maxUnits - 1 : maxUnits);
}

bool operator==(const _String& a, const _String& b) { return a.Text() == b.Text(); }

bool operator==(const _String& a, const char16_t* b) {
    return a.Text() == (b != nullptr ? std::u16string_view(b) : std::u16string_view());
}

bool operator==(const char16_t* a, const _String& b) { return b == a; }

_String operator+(const _String& a, const _String& b) {
    _String result(a);
    result.append(b.Text());
    return result;
}

_String operator+(const _String& a, char16_t c) {
    _String result(a);
    result += c;
    return result;
}

}  // namespace zr_gen
