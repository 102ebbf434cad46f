// Reads the lines the code under test adds to the trace log ("FileIO.txt"
// in the working folder) from the moment the object is made.
#pragma once

#include <fstream>
#include <string>
#include <vector>

#include "notestore/foundation/zr_assert.h"

namespace testsupport {

inline std::vector<std::string> ReadLogLines() {
    std::vector<std::string> lines;
    std::ifstream log("FileIO.txt");
    for (std::string line; std::getline(log, line);) lines.push_back(line);
    return lines;
}

class LogTail {
public:
    // The marker line guarantees the process has already emptied the log, so
    // counting lines from here is stable.
    LogTail() {
        ZR_Log("---- test mark ----");
        start_ = ReadLogLines().size();
    }
    std::vector<std::string> Lines() const {
        auto lines = ReadLogLines();
        return std::vector<std::string>(lines.begin() + static_cast<std::ptrdiff_t>(std::min(start_, lines.size())), lines.end());
    }

private:
    size_t start_ = 0;
};

}  // namespace testsupport
