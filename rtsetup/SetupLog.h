// The setup program's log "SetupDriver.txt": one line per call, each behind
// the time of day (UTC) "[hh:mm:ss ms]". The first line of a run empties
// the file; the file is opened and closed for every line, and a line that
// cannot be written is dropped.
#pragma once

#include <string>
#include <string_view>

#include "platform/Types.h"

namespace rtsetup {

// "[%02d:%02d:%02d %d]" of hour, minute, second and millisecond.
std::string LogPrefix(const SYSTEMTIME& time);
// Wide text in the ANSI code page, as the log holds it.
std::string Ansi(std::u16string_view text);

class SetupLog {
public:
    explicit SetupLog(std::string path = "SetupDriver.txt") : path_(std::move(path)) {}
    void Line(const std::string& message);

private:
    std::string path_;
    bool started_ = false;
};

}  // namespace rtsetup
