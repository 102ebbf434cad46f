// How a zro command fails: an exception carrying the exit code, which main
// turns into a message on standard error and that code.
#pragma once

#include <stdexcept>
#include <string>

namespace zro {

// Exit codes, as grep and diff use them.
enum ExitCode : int {
    kExitOk = 0,
    kExitProblem = 1,  // the command ran and found (or hit) a problem
    kExitUsage = 2,    // wrong arguments or unreadable input
};

// A failure with its own exit code; any other std::exception exits with
// kExitProblem.
class Failure : public std::runtime_error {
public:
    Failure(const std::string& message, int exitCode) : std::runtime_error(message), exitCode_(exitCode) {}
    int ExitCode() const { return exitCode_; }

private:
    int exitCode_;
};

}  // namespace zro
