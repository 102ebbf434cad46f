#include "tools/zro/DocumentPaths.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "tools/zro/Commands.h"

namespace zro {

namespace {

bool IsDocumentName(const std::filesystem::path& path) {
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".zro";
}

}  // namespace

std::vector<std::string> DocumentPaths(const std::vector<std::string>& names) {
    std::vector<std::string> paths;
    for (const std::string& name : names) {
        std::error_code error;
        if (std::filesystem::is_directory(name, error)) {
            std::vector<std::string> found;
            const auto options = std::filesystem::directory_options::skip_permission_denied;
            for (auto it = std::filesystem::recursive_directory_iterator(name, options, error);
                 !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
                if (it->is_regular_file(error) && IsDocumentName(it->path())) found.push_back(it->path().string());
            }
            if (error) throw Failure(name + ": " + error.message(), kExitUsage);
            std::sort(found.begin(), found.end());
            paths.insert(paths.end(), found.begin(), found.end());
        } else if (std::filesystem::exists(name, error)) {
            paths.push_back(name);
        } else {
            throw Failure(name + ": no such file or folder", kExitUsage);
        }
    }
    return paths;
}

}  // namespace zro
