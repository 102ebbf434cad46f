#include "notestore/foundation/Format.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "platform/Strings.h"

namespace zr_gen {

int64_t FormatArg::asSigned() const {
    switch (kind_) {
        case Kind::Signed: return i_;
        case Kind::Unsigned:
        case Kind::NarrowChar: return static_cast<int64_t>(u_);
        case Kind::Double: return static_cast<int64_t>(d_);
        default: return static_cast<int64_t>(reinterpret_cast<intptr_t>(pointer_));
    }
}

uint64_t FormatArg::asUnsigned() const { return static_cast<uint64_t>(asSigned()); }

double FormatArg::asDouble() const {
    switch (kind_) {
        case Kind::Double: return d_;
        case Kind::Unsigned:
        case Kind::NarrowChar: return static_cast<double>(u_);
        default: return static_cast<double>(asSigned());
    }
}

namespace {

enum class Length : uint8_t { None, HH, H, L, LL, BigL, Size };

struct Directive {
    std::string flags;
    int width = -1;
    bool widthFromArg = false;
    int precision = -1;
    bool precisionFromArg = false;
    Length length = Length::None;
    char16_t conversion = 0;
};

bool IsConversion(char16_t c) {
    return std::u16string_view(u"diuoxXcsSpeEfFgGaAn").find(c) != std::u16string_view::npos;
}

// Parses the conversion that starts after a '%' at `pos`; false when the
// format ends before a conversion character.
bool ParseDirective(std::u16string_view format, size_t& pos, Directive& directive) {
    auto at = [&](size_t i) -> char16_t { return i < format.size() ? format[i] : char16_t(0); };
    while (std::u16string_view(u"-+ #0").find(at(pos)) != std::u16string_view::npos && at(pos) != 0) {
        directive.flags += static_cast<char>(at(pos++));
    }
    auto number = [&]() {
        constexpr int kLimit = 100000;  // no sane log line pads further
        int value = 0;
        while (at(pos) >= u'0' && at(pos) <= u'9') value = std::min(kLimit, value * 10 + (at(pos++) - u'0'));
        return value;
    };
    if (at(pos) == u'*') {
        directive.widthFromArg = true;
        ++pos;
    } else if (at(pos) >= u'1' && at(pos) <= u'9') {
        directive.width = number();
    }
    if (at(pos) == u'.') {
        ++pos;
        if (at(pos) == u'*') {
            directive.precisionFromArg = true;
            ++pos;
        } else {
            directive.precision = number();
        }
    }
    if (at(pos) == u'h') {
        ++pos;
        directive.length = Length::H;
        if (at(pos) == u'h') {
            ++pos;
            directive.length = Length::HH;
        }
    } else if (at(pos) == u'l' || at(pos) == u'w') {
        ++pos;
        directive.length = Length::L;
        if (at(pos) == u'l') {
            ++pos;
            directive.length = Length::LL;
        }
    } else if (at(pos) == u'L') {
        ++pos;
        directive.length = Length::BigL;
    } else if (at(pos) == u'z' || at(pos) == u'j' || at(pos) == u't') {
        ++pos;
        directive.length = Length::Size;
    } else if (at(pos) == u'I' && at(pos + 1) == u'6' && at(pos + 2) == u'4') {
        pos += 3;
        directive.length = Length::LL;
    }
    if (!IsConversion(at(pos))) return false;
    directive.conversion = at(pos++);
    return true;
}

void AppendAscii(std::u16string& out, const char* text) {
    for (; *text != 0; ++text) out += static_cast<char16_t>(static_cast<unsigned char>(*text));
}

std::u16string Widen(std::string_view text) {
    std::u16string wide;
    wide.reserve(text.size());
    for (const char c : text) wide += platform::UnicodeFromCp1252(static_cast<unsigned char>(c));
    return wide;
}

// Text with the width, precision and '-' flag applied, counted in UTF-16 units.
void AppendPadded(std::u16string& out, std::u16string_view text, const Directive& directive) {
    if (directive.precision >= 0 && text.size() > static_cast<size_t>(directive.precision)) text = text.substr(0, directive.precision);
    const size_t pad = directive.width > 0 && text.size() < static_cast<size_t>(directive.width) ? directive.width - text.size() : 0;
    const bool left = directive.flags.find('-') != std::string::npos;
    if (!left) out.append(pad, u' ');
    out += text;
    if (left) out.append(pad, u' ');
}

// Numbers go through the C library with the same flags, width and precision.
template <class T>
void AppendNumber(std::u16string& out, const Directive& directive, const char* lengthAndConversion, T value) {
    char pattern[48];
    const int width = directive.width > 0 ? directive.width : 0;
    if (directive.precision >= 0) {
        std::snprintf(pattern, sizeof pattern, "%%%s%.0d.%d%s", directive.flags.c_str(), width, directive.precision, lengthAndConversion);
    } else {
        std::snprintf(pattern, sizeof pattern, "%%%s%.0d%s", directive.flags.c_str(), width, lengthAndConversion);
    }
    const int needed = std::snprintf(nullptr, 0, pattern, value);
    if (needed <= 0) return;
    std::string text(static_cast<size_t>(needed) + 1, '\0');
    std::snprintf(text.data(), text.size(), pattern, value);
    text.resize(static_cast<size_t>(needed));
    AppendAscii(out, text.c_str());
}

int64_t SignedOfWidth(int64_t v, Length length) {
    switch (length) {
        case Length::HH: return static_cast<int8_t>(v);
        case Length::H: return static_cast<int16_t>(v);
        case Length::None:
        case Length::L: return static_cast<int32_t>(v);
        default: return v;
    }
}

uint64_t UnsignedOfWidth(uint64_t v, Length length) {
    switch (length) {
        case Length::HH: return static_cast<uint8_t>(v);
        case Length::H: return static_cast<uint16_t>(v);
        case Length::None:
        case Length::L: return static_cast<uint32_t>(v);
        default: return v;
    }
}

void AppendText(std::u16string& out, const FormatArg& arg, const Directive& directive);

void AppendPointer(std::u16string& out, const void* pointer, Directive directive) {
    char digits[2 * sizeof(void*) + 1];
    std::snprintf(digits, sizeof digits, "%0*llX", static_cast<int>(2 * sizeof(void*)),
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(pointer)));
    directive.precision = -1;
    AppendPadded(out, Widen(digits), directive);
}

// One conversion of an argument whose kind fits it.
void AppendConversion(std::u16string& out, const FormatArg& arg, const Directive& directive) {
    using Kind = FormatArg::Kind;
    const bool isText = arg.kind() == Kind::Narrow || arg.kind() == Kind::Wide;
    switch (directive.conversion) {
        case u'd':
        case u'i':
            if (isText) return AppendText(out, arg, directive);
            return AppendNumber(out, directive, "lld", static_cast<long long>(SignedOfWidth(arg.asSigned(), directive.length)));
        case u'u':
        case u'o':
        case u'x':
        case u'X': {
            if (isText) return AppendText(out, arg, directive);
            const char* conversion = directive.conversion == u'u' ? "llu" : directive.conversion == u'o' ? "llo" : directive.conversion == u'x' ? "llx" : "llX";
            return AppendNumber(out, directive, conversion, static_cast<unsigned long long>(UnsignedOfWidth(arg.asUnsigned(), directive.length)));
        }
        case u'c': {
            if (isText) return AppendText(out, arg, directive);
            const auto unit = arg.kind() == Kind::NarrowChar
                                  ? platform::UnicodeFromCp1252(static_cast<unsigned char>(arg.asUnsigned()))
                                  : static_cast<char16_t>(arg.asUnsigned());
            Directive charDirective = directive;
            charDirective.precision = -1;
            return AppendPadded(out, std::u16string_view(&unit, 1), charDirective);
        }
        case u's':
        case u'S': return AppendText(out, arg, directive);
        case u'p':
            if (arg.kind() == Kind::Pointer) return AppendPointer(out, arg.pointer(), directive);
            return AppendPointer(out, reinterpret_cast<const void*>(static_cast<uintptr_t>(arg.asUnsigned())), directive);
        case u'n': return;
        default: {
            if (isText) return AppendText(out, arg, directive);
            const char conversion[2] = {static_cast<char>(directive.conversion), 0};
            return AppendNumber(out, directive, conversion, arg.asDouble());
        }
    }
}

// A string conversion, or any argument printed as its own kind.
void AppendText(std::u16string& out, const FormatArg& arg, const Directive& directive) {
    using Kind = FormatArg::Kind;
    Directive natural = directive;
    switch (arg.kind()) {
        case Kind::Narrow:
            return AppendPadded(out, arg.narrow() != nullptr ? Widen(arg.narrow()) : std::u16string(u"(null)"), directive);
        case Kind::Wide:
            return AppendPadded(out, arg.wide() != nullptr ? std::u16string_view(arg.wide()) : std::u16string_view(u"(null)"), directive);
        case Kind::Signed: natural.conversion = u'd'; natural.length = Length::LL; break;
        case Kind::Unsigned: natural.conversion = u'u'; natural.length = Length::LL; break;
        case Kind::NarrowChar: natural.conversion = u'c'; break;
        case Kind::Double: natural.conversion = u'g'; break;
        case Kind::Pointer: natural.conversion = u'p'; break;
    }
    AppendConversion(out, arg, natural);
}

std::u16string FormatWith(std::u16string_view format, const FormatArg* args, size_t count) {
    std::u16string out;
    out.reserve(format.size() + 16 * count);
    size_t next = 0;
    auto take = [&]() -> const FormatArg* { return next < count ? &args[next++] : nullptr; };
    size_t pos = 0;
    while (pos < format.size()) {
        const size_t percent = format.find(u'%', pos);
        out += format.substr(pos, percent == std::u16string_view::npos ? std::u16string_view::npos : percent - pos);
        if (percent == std::u16string_view::npos) break;
        pos = percent + 1;
        if (pos < format.size() && format[pos] == u'%') {
            out += u'%';
            ++pos;
            continue;
        }
        Directive directive;
        if (!ParseDirective(format, pos, directive)) {
            out += format.substr(percent, pos - percent);  // an unfinished conversion stays as text
            continue;
        }
        if (directive.widthFromArg) {
            const FormatArg* width = take();
            const int64_t value = width != nullptr ? width->asSigned() : 0;
            if (value < 0) directive.flags += '-';
            directive.width = static_cast<int>(value < 0 ? (value < -100000 ? 100000 : -value) : (value > 100000 ? 100000 : value));
        }
        if (directive.precisionFromArg) {
            const FormatArg* precision = take();
            const int64_t value = precision != nullptr ? precision->asSigned() : -1;
            directive.precision = value < 0 ? -1 : static_cast<int>(value > 100000 ? 100000 : value);
        }
        if (const FormatArg* arg = take()) AppendConversion(out, *arg, directive);
    }
    return out;
}

// Reads one C vararg as the format says it was passed.
FormatArg ReadVarArg(const Directive& directive, bool narrowFormat, va_list& args) {
    const bool longLength = directive.length == Length::LL || directive.length == Length::Size;
    switch (directive.conversion) {
        case u'd':
        case u'i':
            if (longLength) return FormatArg(static_cast<int64_t>(va_arg(args, long long)));
            return FormatArg(va_arg(args, int));
        case u'u':
        case u'o':
        case u'x':
        case u'X':
            if (longLength) return FormatArg(static_cast<uint64_t>(va_arg(args, unsigned long long)));
            return FormatArg(va_arg(args, unsigned int));
        case u'c': {
            const int value = va_arg(args, int);
            const bool narrowChar = narrowFormat ? directive.length != Length::L : directive.length == Length::H;
            if (narrowChar) return FormatArg(static_cast<char>(value));
            return FormatArg(static_cast<char16_t>(value));
        }
        case u's':
        case u'S': {
            bool narrowText = narrowFormat ? directive.length != Length::L : directive.length == Length::H;
            if (directive.conversion == u'S' && directive.length == Length::None) narrowText = !narrowFormat;
            if (narrowText) return FormatArg(va_arg(args, const char*));
            return FormatArg(va_arg(args, const char16_t*));
        }
        case u'p':
        case u'n': return FormatArg(va_arg(args, const void*));
        default:
            if (directive.length == Length::BigL) return FormatArg(static_cast<double>(va_arg(args, long double)));
            return FormatArg(va_arg(args, double));
    }
}

}  // namespace

std::u16string FormatText(std::u16string_view format, std::initializer_list<FormatArg> args) {
    return FormatWith(format, args.begin(), args.size());
}

std::u16string FormatText(std::string_view format, std::initializer_list<FormatArg> args) {
    const std::u16string wide = Widen(format);
    return FormatWith(wide, args.begin(), args.size());
}

std::u16string FormatTextV(std::u16string_view format, bool narrowFormat, va_list args) {
    std::vector<FormatArg> collected;
    va_list copy;
    va_copy(copy, args);
    size_t pos = 0;
    while ((pos = format.find(u'%', pos)) != std::u16string_view::npos) {
        ++pos;
        if (pos < format.size() && format[pos] == u'%') {
            ++pos;
            continue;
        }
        Directive directive;
        if (!ParseDirective(format, pos, directive)) continue;
        if (directive.widthFromArg) collected.emplace_back(va_arg(copy, int));
        if (directive.precisionFromArg) collected.emplace_back(va_arg(copy, int));
        collected.push_back(ReadVarArg(directive, narrowFormat, copy));
    }
    va_end(copy);
    return FormatWith(format, collected.data(), collected.size());
}

}  // namespace zr_gen
