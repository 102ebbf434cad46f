#include "tools/zro/ReplaceFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace zro {

namespace {

std::runtime_error SystemError(const std::string& what) { return std::runtime_error(what + ": " + std::strerror(errno)); }

void SyncFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw SystemError("cannot open " + path);
    const bool synced = ::fsync(fd) == 0;
    const int error = errno;
    ::close(fd);
    errno = error;
    if (!synced) throw SystemError("cannot write " + path + " to disk");
}

// The folder synced, so that the rename in it lasts. A folder that cannot
// be opened for it (no read permission) still holds the renamed file.
void SyncFolder(const std::string& target) {
    const std::filesystem::path folder = std::filesystem::path(target).parent_path();
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

mode_t NewFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

}  // namespace

void ReplaceFile(const std::string& target, const std::function<void(const std::string& sibling)>& write) {
    struct stat existing {};
    const bool replacing = ::stat(target.c_str(), &existing) == 0;
    if (replacing && !S_ISREG(existing.st_mode)) throw std::runtime_error(target + " is not a regular file");
    std::string sibling = target + ".XXXXXX";
    const int fd = ::mkstemp(sibling.data());
    if (fd < 0) throw SystemError("cannot create a file beside " + target);
    ::fchmod(fd, replacing ? existing.st_mode & 07777 : NewFileMode());
    ::close(fd);
    try {
        write(sibling);
        SyncFile(sibling);
        if (::rename(sibling.c_str(), target.c_str()) != 0) throw SystemError("cannot replace " + target);
    } catch (...) {
        ::unlink(sibling.c_str());
        throw;
    }
    SyncFolder(target);
}

void ReplaceFileWith(const std::string& target, std::string_view content) {
    ReplaceFile(target, [&](const std::string& sibling) {
        const int fd = ::open(sibling.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        if (fd < 0) throw SystemError("cannot open " + sibling);
        while (!content.empty()) {
            const ssize_t written = ::write(fd, content.data(), content.size());
            if (written < 0 && errno == EINTR) continue;
            if (written <= 0) {
                const int error = errno;
                ::close(fd);
                errno = error;
                throw SystemError("cannot write " + target);
            }
            content.remove_prefix(static_cast<size_t>(written));
        }
        if (::close(fd) != 0) throw SystemError("cannot write " + target);
    });
}

}  // namespace zro
