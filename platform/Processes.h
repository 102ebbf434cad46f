// Running other programs: to completion with their output, or started and
// left to run. Argument vectors go to the program as given (no shell); the
// program is looked up in PATH when its name has no "/".
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace platform {

struct ProgramResult {
    int exitStatus = -1;  // the exit status, or -1 when a signal ended it
    std::string output;   // everything it wrote to standard output
};

// Runs `arguments` and waits for it to end. Nothing when it cannot be
// started (no such program, or no resources), with the last error set.
std::optional<ProgramResult> RunProgram(const std::vector<std::string>& arguments);

// Starts `arguments` as a child of this process; its id, or -1 with the
// last error set. The caller waits for it (WaitForSingleObject on a handle
// from OpenProcess, or waitpid).
pid_t StartProgram(const std::vector<std::string>& arguments);

// How a program started to open something (a launcher) went.
enum class LaunchResult {
    Failed,     // could not be started, was killed, or exited with a non-zero status
    Finished,   // exited with status 0 within the grace time
    StillRunning,  // still running after the grace time: taken as started
};

// Starts `arguments` detached (it is not this process's child, so nothing
// needs to wait for it) and watches it for at most `graceMilliseconds`:
// launchers such as xdg-email report a failure quickly, but may also stay
// until the program they opened ends.
LaunchResult Launch(const std::vector<std::string>& arguments, int graceMilliseconds);

}  // namespace platform
