#include <mutex>
#include <utility>

#include "platform/Errors.h"
#include "platform/Files.h"
#include "platform/Shell.h"

namespace {

std::mutex gLock;
std::function<BOOL(SHELLEXECUTEINFOW&)> gHandler;

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
    SetLastError(GetFileAttributesW(info->lpFile) == INVALID_FILE_ATTRIBUTES ? ERROR_FILE_NOT_FOUND
                                                                             : ERROR_NO_ASSOCIATION);
    return FALSE;
}

namespace platform {

void SetShellExecuteHandler(std::function<BOOL(SHELLEXECUTEINFOW&)> handler) {
    std::lock_guard<std::mutex> guard(gLock);
    gHandler = std::move(handler);
}

}  // namespace platform
