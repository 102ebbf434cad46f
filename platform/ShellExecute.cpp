#include <filesystem>
#include <mutex>
#include <utility>

#include "platform/Errors.h"
#include "platform/Files.h"
#include "platform/Processes.h"
#include "platform/Shell.h"
#include "platform/Windows.h"

namespace {

const std::vector<std::string> kDefaultInstaller{"apt-get", "install", "-y", "--no-install-recommends"};

std::mutex gLock;
std::function<BOOL(SHELLEXECUTEINFOW&)> gHandler;
std::vector<std::string> gInstaller = kDefaultInstaller;

BOOL OpenPackage(SHELLEXECUTEINFOW& info, const std::string& path) {
    std::vector<std::string> command;
    {
        std::lock_guard<std::mutex> guard(gLock);
        command = gInstaller;
    }
    // apt-get takes a file for a package only when its name has a "/".
    std::error_code ignored;
    command.push_back(std::filesystem::absolute(path, ignored).string());
    const pid_t installer = platform::StartProgram(command);
    if (installer < 0) return FALSE;
    if (info.fMask & SEE_MASK_NOCLOSEPROCESS) info.hProcess = OpenProcess(PROCESS_ALL_ACCESS, FALSE, static_cast<DWORD>(installer));
    return TRUE;
}

}  // namespace

BOOL ShellExecuteEx(SHELLEXECUTEINFOW* info) {
    if (info == nullptr || info->lpFile == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::function<BOOL(SHELLEXECUTEINFOW&)> handler;
    {
        std::lock_guard<std::mutex> guard(gLock);
        handler = gHandler;
    }
    if (handler) return handler(*info);
    if (GetFileAttributesW(info->lpFile) == INVALID_FILE_ATTRIBUTES) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    const std::string path = platform::NativePath(info->lpFile);
    if (std::filesystem::path(path).extension() == ".deb") return OpenPackage(*info, path);
    SetLastError(ERROR_NO_ASSOCIATION);
    return FALSE;
}

namespace platform {

void SetPackageInstaller(std::vector<std::string> command) {
    std::lock_guard<std::mutex> guard(gLock);
    gInstaller = command.empty() ? kDefaultInstaller : std::move(command);
}

void SetShellExecuteHandler(std::function<BOOL(SHELLEXECUTEINFOW&)> handler) {
    std::lock_guard<std::mutex> guard(gLock);
    gHandler = std::move(handler);
}

}  // namespace platform
