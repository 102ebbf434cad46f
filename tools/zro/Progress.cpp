#include "tools/zro/Progress.h"

#include <unistd.h>

#include <cstdio>

namespace zro {

namespace {

constexpr std::size_t kBarWidth = 30;
constexpr std::size_t kNameWidth = 40;
// A bar for one or two files would only flicker.
constexpr std::size_t kFewestFiles = 3;

}  // namespace

Progress::Progress(std::size_t total) : total_(total), shown_(total >= kFewestFiles && isatty(STDERR_FILENO) == 1) {}

Progress::~Progress() { Clear(); }

void Progress::Step(const std::string& name) {
    ++done_;
    if (!shown_) return;
    const std::size_t filled = total_ == 0 ? kBarWidth : done_ * kBarWidth / total_;
    std::string bar(filled, '#');
    bar.resize(kBarWidth, '-');
    const std::string shortName = name.size() > kNameWidth ? "..." + name.substr(name.size() - kNameWidth + 3) : name;
    std::fprintf(stderr, "\r\033[K[%s] %zu/%zu %s", bar.c_str(), done_, total_, shortName.c_str());
    std::fflush(stderr);
}

void Progress::Clear() {
    if (!shown_) return;
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
}

}  // namespace zro
