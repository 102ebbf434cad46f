// The documents a command over many files works on.
#pragma once

#include <string>
#include <vector>

namespace zro {

// Each named file as it is, and every "*.zro" file (any letter case) below
// each named folder, recursively, in path order. A name that is neither:
// Failure kExitUsage.
std::vector<std::string> DocumentPaths(const std::vector<std::string>& names);

}  // namespace zro
