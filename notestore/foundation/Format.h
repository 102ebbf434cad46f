// printf-style formatting into UTF-16 text, driven by the arguments' real
// types: a mismatched conversion prints the argument as what it is instead
// of reading the wrong thing.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>

#include "notestore/foundation/Export.h"

namespace zr_gen {

// One formatting argument, remembering what kind of value it was.
class ZR_EXPORT FormatArg {
public:
    enum class Kind : uint8_t { Signed, Unsigned, NarrowChar, Double, Narrow, Wide, Pointer };

    template <class T>
        requires std::is_integral_v<T>
    FormatArg(T value) {  // NOLINT: implicit by design
        if constexpr (std::is_same_v<T, char>) {
            kind_ = Kind::NarrowChar;
            u_ = static_cast<unsigned char>(value);
        } else if constexpr (std::is_same_v<T, bool> || std::is_unsigned_v<T>) {
            kind_ = Kind::Unsigned;
            u_ = static_cast<uint64_t>(value);
        } else {
            kind_ = Kind::Signed;
            i_ = static_cast<int64_t>(value);
        }
    }
    template <class T>
        requires std::is_floating_point_v<T>
    FormatArg(T value) : kind_(Kind::Double), d_(static_cast<double>(value)) {}
    template <class T>
        requires std::is_enum_v<T>
    FormatArg(T value) : FormatArg(static_cast<std::underlying_type_t<T>>(value)) {}
    FormatArg(const char* text) : kind_(Kind::Narrow), narrow_(text) {}
    FormatArg(const char16_t* text) : kind_(Kind::Wide), wide_(text) {}
    FormatArg(const std::string& text) : kind_(Kind::Narrow), narrow_(text.c_str()) {}
    FormatArg(const std::u16string& text) : kind_(Kind::Wide), wide_(text.c_str()) {}
    FormatArg(const void* pointer) : kind_(Kind::Pointer), pointer_(pointer) {}
    FormatArg(std::nullptr_t) : kind_(Kind::Pointer), pointer_(nullptr) {}

    Kind kind() const { return kind_; }
    int64_t asSigned() const;
    uint64_t asUnsigned() const;
    double asDouble() const;
    const char* narrow() const { return narrow_; }
    const char16_t* wide() const { return wide_; }
    const void* pointer() const { return pointer_; }

private:
    Kind kind_;
    union {
        int64_t i_;
        uint64_t u_;
        double d_;
        const char* narrow_;
        const char16_t* wide_;
        const void* pointer_;
    };
};

// Formats with the printf rules: flags "-+ #0", width and precision (also
// "*"), length modifiers h hh l ll L I64 z, conversions d i u o x X c s S p
// e E f F g G a A and %%. "%n" writes nothing and prints nothing. A
// conversion without an argument prints nothing.
ZR_EXPORT std::u16string FormatText(std::u16string_view format, std::initializer_list<FormatArg> args);
// The same with a narrow (Windows-1252) format.
ZR_EXPORT std::u16string FormatText(std::string_view format, std::initializer_list<FormatArg> args);

// For C variadic callers, where only the format tells the types: in a wide
// format %s/%c are UTF-16 and %hs/%S/%hc narrow; in a narrow format %s/%c are
// narrow and %ls/%S/%lc UTF-16. %ld reads a 32-bit value, as on the device.
ZR_EXPORT std::u16string FormatTextV(std::u16string_view format, bool narrowFormat, va_list args);

}  // namespace zr_gen
