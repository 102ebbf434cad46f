// What the dialog program "gadgetkit-dialogs" and the dialogs layer
// (Dialogs.cpp) say to each other. Header only: the program links nothing
// of the platform layer.
//   gadgetkit-dialogs color #rrggbb [#rrggbb ...]
//       Opens the colour chooser on the first colour, with the others as
//       the custom colours. Prints "ok #rrggbb" or "cancel", then a line
//       "custom" followed by the custom colours the caller is to keep.
//   gadgetkit-dialogs print
//       Prints "ok NAME" (the printer chosen) or "cancel".
// Exit status: 0 for an answered dialog, else one of the values below.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

namespace dialogprotocol {

inline constexpr int kUsage = 64;
inline constexpr int kNoDesktop = 65;
inline constexpr int kNoPrinter = 66;

// 0xRRGGBB as "#rrggbb", and back (nothing for any other text).
inline std::string FormatColor(uint32_t rgb) {
    char text[8];
    std::snprintf(text, sizeof text, "#%06x", static_cast<unsigned>(rgb & 0xFFFFFFu));
    return text;
}

inline std::optional<uint32_t> ParseColor(const std::string& text) {
    if (text.size() != 7 || text[0] != '#') return std::nullopt;
    uint32_t value = 0;
    for (size_t i = 1; i < text.size(); ++i) {
        const char c = text[i];
        const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (digit < 0) return std::nullopt;
        value = value << 4 | static_cast<uint32_t>(digit);
    }
    return value;
}

}  // namespace dialogprotocol
