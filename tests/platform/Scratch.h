// A per-test folder (testsupport::TempDir) with the few file helpers the
// platform tests need. Files are set up and inspected with plain POSIX calls
// so the checks do not rely on the code under test.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "support/TempDir.h"

class Scratch {
public:
    const std::string& root() const { return root_; }
    std::string Native(std::string_view name) const { return root_ + "/" + std::string(name); }
    std::u16string Path(std::string_view name) const { return dir_.File(std::string(name)); }

    void Write(std::string_view name, std::string_view content) const {
        const int fd = open(Native(name).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        const bool written = fd != -1 && write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
        if (fd != -1) close(fd);
        if (!written) throw std::runtime_error("cannot write " + Native(name));
    }

    // The file's content; nothing when it is missing or not a file.
    std::optional<std::string> Read(std::string_view name) const {
        const int fd = open(Native(name).c_str(), O_RDONLY | O_CLOEXEC);
        if (fd == -1) return std::nullopt;
        std::string content;
        char chunk[4096];
        ssize_t got = 0;
        while ((got = read(fd, chunk, sizeof chunk)) > 0) content.append(chunk, static_cast<size_t>(got));
        close(fd);
        if (got < 0) return std::nullopt;
        return content;
    }

    void MakeFolder(std::string_view name) const { std::filesystem::create_directory(Native(name)); }
    bool Exists(std::string_view name) const { return std::filesystem::exists(Native(name)); }

private:
    testsupport::TempDir dir_;
    std::string root_ = dir_.path().string();
};
