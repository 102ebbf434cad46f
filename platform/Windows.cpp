#include "platform/Windows.h"

#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/Errors.h"
#include "platform/HandleTable.h"

namespace {

std::mutex gWindowsLock;
std::vector<platform::ScriptedWindow> gWindows;

// Window handles are list positions + 1.
HWND HandleOf(size_t index) { return reinterpret_cast<HWND>(index + 1); }

bool IndexOf(HWND window, size_t* index) {
    const auto value = reinterpret_cast<uintptr_t>(window);
    if (value == 0 || value > gWindows.size()) return false;
    *index = value - 1;
    return true;
}

// An opened process: a pidfd when the kernel offers one, else the id alone.
struct Process {
    Process(pid_t id, int descriptor) : id(id), descriptor(descriptor) {}
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    ~Process() {
        if (descriptor >= 0) close(descriptor);
    }
    pid_t id;
    int descriptor;
    std::optional<DWORD> exitCode;  // once reaped
};

constinit platform::detail::HandleTable<Process> processes(3);

bool Ended(pid_t id) { return kill(id, 0) != 0 && errno == ESRCH; }

}  // namespace

HWND GetForegroundWindow() {
    std::lock_guard<std::mutex> guard(gWindowsLock);
    return gWindows.empty() ? nullptr : HandleOf(0);
}

HWND GetWindow(HWND window, UINT command) {
    std::lock_guard<std::mutex> guard(gWindowsLock);
    size_t index = 0;
    if (!IndexOf(window, &index)) return nullptr;
    switch (command) {
        case GW_HWNDFIRST:
            return HandleOf(0);
        case GW_HWNDLAST:
            return HandleOf(gWindows.size() - 1);
        case GW_HWNDNEXT:
            return index + 1 < gWindows.size() ? HandleOf(index + 1) : nullptr;
        case GW_HWNDPREV:
            return index > 0 ? HandleOf(index - 1) : nullptr;
        default:
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
    }
}

int GetClassNameW(HWND window, LPWSTR name, int size) {
    std::lock_guard<std::mutex> guard(gWindowsLock);
    size_t index = 0;
    if (!IndexOf(window, &index) || name == nullptr || size <= 0) return 0;
    const size_t count = gWindows[index].className.copy(name, static_cast<size_t>(size) - 1);
    name[count] = u'\0';
    return static_cast<int>(count);
}

DWORD GetWindowThreadProcessId(HWND window, DWORD* processId) {
    std::lock_guard<std::mutex> guard(gWindowsLock);
    size_t index = 0;
    const bool known = IndexOf(window, &index);
    if (processId != nullptr) *processId = known ? gWindows[index].processId : 0;
    return 0;
}

HANDLE OpenProcess(DWORD /*access*/, BOOL /*inherit*/, DWORD processId) {
    const auto id = static_cast<pid_t>(processId);
    if (id <= 0 || Ended(id)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const int descriptor = static_cast<int>(syscall(SYS_pidfd_open, id, 0));
    return processes.Add(id, descriptor);
}

DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) {
    const auto process = processes.Find(object);
    if (process == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (process->descriptor >= 0) {
            pollfd ready{process->descriptor, POLLIN, 0};
            const int timeout = milliseconds == INFINITE ? -1 : static_cast<int>(std::max<int64_t>(left.count(), 0));
            const int result = poll(&ready, 1, timeout);
            if (result > 0) return WAIT_OBJECT_0;
            if (result == 0) return WAIT_TIMEOUT;
            if (errno != EINTR) return WAIT_FAILED;
            continue;
        }
        // Without a pidfd: look every 10 ms (a zombie child then counts as
        // running until it is reaped).
        if (Ended(process->id)) return WAIT_OBJECT_0;
        if (milliseconds != INFINITE && left.count() <= 0) return WAIT_TIMEOUT;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

BOOL GetExitCodeProcess(HANDLE object, DWORD* exitCode) {
    const auto process = processes.Find(object);
    if (process == nullptr || exitCode == nullptr) {
        SetLastError(process == nullptr ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!process->exitCode) {
        int status = 0;
        pid_t result;
        do result = waitpid(process->id, &status, WNOHANG);
        while (result < 0 && errno == EINTR);
        if (result < 0) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        if (result == 0) {
            *exitCode = STILL_ACTIVE;
            return TRUE;
        }
        process->exitCode = static_cast<DWORD>(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
    }
    *exitCode = *process->exitCode;
    return TRUE;
}

void Sleep(DWORD milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

namespace platform {

void SetTopLevelWindows(std::vector<ScriptedWindow> windows) {
    std::lock_guard<std::mutex> guard(gWindowsLock);
    gWindows = std::move(windows);
}

namespace detail {

bool CloseProcess(HANDLE object) { return processes.Remove(object) != nullptr; }

}  // namespace detail

}  // namespace platform
