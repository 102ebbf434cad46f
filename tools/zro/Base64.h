// Base64 (RFC 4648, with padding), for drawings carried inside text formats.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zro {

std::string ToBase64(std::span<const uint8_t> bytes);
// Nothing for text that is not Base64; blanks and line breaks are skipped.
std::optional<std::vector<uint8_t>> FromBase64(std::string_view text);

}  // namespace zro
