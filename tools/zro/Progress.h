// A progress bar on standard error for work over many files, drawn only when
// standard error is a terminal (so pipes and logs stay clean) and cleared
// when the work ends.
#pragma once

#include <cstddef>
#include <string>

namespace zro {

class Progress {
public:
    explicit Progress(std::size_t total);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // One more file done; `name` is shown beside the bar.
    void Step(const std::string& name);
    // Clears the bar, so a message can be printed on a clean line.
    void Clear();

private:
    std::size_t total_;
    std::size_t done_ = 0;
    bool shown_;
};

}  // namespace zro
