// Writing a file so that a reader finds either the old file or the whole
// new one, never a part: the new content goes to a sibling file in the same
// folder, which is synced and renamed over the target, and the folder
// synced. On failure the sibling is removed and the target is as it was.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace zro {

// `write` fills the sibling at the path it is given; the target keeps its
// permissions (a new file gets the usual ones).
void ReplaceFile(const std::string& target, const std::function<void(const std::string& sibling)>& write);
void ReplaceFileWith(const std::string& target, std::string_view content);

}  // namespace zro
