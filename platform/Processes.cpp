#include "platform/Processes.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

#include "platform/Errors.h"

extern char** environ;

namespace {

// The argument vector execvp wants, pointing into `arguments`.
std::vector<char*> Argv(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    return argv;
}

int Status(int waitStatus) { return WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : -1; }

pid_t WaitRetrying(pid_t child, int* status, int options) {
    pid_t result;
    do result = waitpid(child, status, options);
    while (result < 0 && errno == EINTR);
    return result;
}

void SleepMilliseconds(long milliseconds) {
    timespec pause{milliseconds / 1000, (milliseconds % 1000) * 1000000L};
    while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
}

}  // namespace

namespace platform {

std::optional<ProgramResult> RunProgram(const std::vector<std::string>& arguments) {
    int out[2];
    if (arguments.empty() || pipe2(out, O_CLOEXEC) != 0) {
        SetLastErrorFromErrno(arguments.empty() ? EINVAL : errno);
        return std::nullopt;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    pid_t child = -1;
    const std::vector<char*> argv = Argv(arguments);
    const int spawned = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (spawned != 0) {
        close(out[0]);
        SetLastErrorFromErrno(spawned);
        return std::nullopt;
    }
    ProgramResult result;
    char buffer[4096];
    for (;;) {
        const ssize_t count = read(out[0], buffer, sizeof buffer);
        if (count > 0) result.output.append(buffer, static_cast<size_t>(count));
        else if (count == 0 || errno != EINTR) break;
    }
    close(out[0]);
    int status = 0;
    if (WaitRetrying(child, &status, 0) != child) return std::nullopt;
    result.exitStatus = Status(status);
    return result;
}

pid_t StartProgram(const std::vector<std::string>& arguments) {
    if (arguments.empty()) {
        SetLastErrorFromErrno(EINVAL);
        return -1;
    }
    pid_t child = -1;
    const std::vector<char*> argv = Argv(arguments);
    const int spawned = posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ);
    if (spawned != 0) {
        SetLastErrorFromErrno(spawned);
        return -1;
    }
    return child;
}

LaunchResult Launch(const std::vector<std::string>& arguments, int graceMilliseconds) {
    int report[2];
    if (arguments.empty() || pipe2(report, O_CLOEXEC) != 0) return LaunchResult::Failed;
    const std::vector<char*> argv = Argv(arguments);
    // A middle process starts the launcher and watches it; when the middle
    // process ends, the launcher (if still running) is no child of ours.
    const pid_t middle = fork();
    if (middle == 0) {
        close(report[0]);
        const pid_t launcher = fork();
        if (launcher == 0) {
            execvp(argv[0], argv.data());
            _exit(127);
        }
        char verdict = 'F';
        if (launcher > 0) {
            verdict = 'R';
            for (int waited = 0; waited <= graceMilliseconds; waited += 10) {
                int status = 0;
                if (WaitRetrying(launcher, &status, WNOHANG) == launcher) {
                    verdict = Status(status) == 0 ? 'S' : 'F';
                    break;
                }
                SleepMilliseconds(10);
            }
        }
        while (write(report[1], &verdict, 1) < 0 && errno == EINTR) {
        }
        _exit(0);
    }
    close(report[1]);
    char verdict = 'F';
    if (middle > 0) {
        while (read(report[0], &verdict, 1) < 0 && errno == EINTR) {
        }
        int status = 0;
        WaitRetrying(middle, &status, 0);
    }
    close(report[0]);
    switch (verdict) {
        case 'S':
            return LaunchResult::Finished;
        case 'R':
            return LaunchResult::StillRunning;
        default:
            return LaunchResult::Failed;
    }
}

}  // namespace platform
