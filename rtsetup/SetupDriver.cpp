#include "rtsetup/SetupDriver.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string_view>

#include "platform/Files.h"
#include "platform/Registry.h"
#include "platform/Shell.h"
#include "platform/Errors.h"
#include "platform/Windows.h"

namespace rtsetup {

namespace {

constexpr DWORD kSettleMilliseconds = 250;
constexpr DWORD kInstallerWaitMilliseconds = 600000;
constexpr DWORD kValueNameChars = 50;
constexpr DWORD kShellRecordSize = 60;
constexpr int kShowNormal = 1;

std::u16string Cut(std::u16string_view text) { return std::u16string(text.substr(0, kPathChars - 1)); }

}  // namespace

void WaitForInstallers() {
    Sleep(kSettleMilliseconds);
    for (HWND window = GetWindow(GetForegroundWindow(), GW_HWNDLAST); window != nullptr;
         window = GetWindow(window, GW_HWNDPREV)) {
        char16_t className[kPathChars] = {};
        GetClassNameW(window, className, static_cast<int>(kPathChars));
        if (std::u16string_view(className) != kInstallerClass) continue;
        DWORD processId = 0;
        GetWindowThreadProcessId(window, &processId);
        HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, processId);
        if (process == nullptr) continue;  // gone already, or not ours to wait for
        WaitForSingleObject(process, kInstallerWaitMilliseconds);
        CloseHandle(process);
    }
}

namespace {

// A value name under the runtime's key that begins with "2".
bool RegisteredRuntime(SetupLog& log) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRuntimeKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    DWORD values = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                         nullptr) != ERROR_SUCCESS) {
        RegCloseKey(key);
        return false;
    }
    for (DWORD index = 0; index < values; ++index) {
        char16_t name[kValueNameChars] = {};
        DWORD nameSize = kValueNameChars;
        RegEnumValueW(key, index, name, &nameSize, nullptr, nullptr, nullptr, nullptr);
        log.Line("value name = " + Ansi(name));
        if (name[0] == u'2') {
            log.Line("NET CF 2 is present");
            RegCloseKey(key);
            return true;
        }
    }
    RegCloseKey(key);
    return false;
}

}  // namespace

std::string FindRuntimeProgram() {
    const char* search = std::getenv("PATH");
    for (const char* program : kRuntimePrograms) {
        std::string_view folders = search != nullptr ? search : "";
        while (!folders.empty()) {
            const size_t end = std::min(folders.find(':'), folders.size());
            const std::string candidate = std::string(folders.substr(0, end)) + "/" + program;
            if (end > 0 && access(candidate.c_str(), X_OK) == 0) return candidate;
            folders.remove_prefix(std::min(end + 1, folders.size()));
        }
    }
    return {};
}

bool RuntimePresent(SetupLog& log) {
    if (RegisteredRuntime(log)) return true;
    const std::string program = FindRuntimeProgram();
    if (program.empty()) {
        log.Line("no managed runtime found");
        return false;
    }
    log.Line("managed runtime found: " + program);
    return true;
}

std::u16string PackagePath(std::u16string_view folder) {
    std::u16string path(folder);
    path += u'\\';
    path += kPackageName;
    return Cut(path);
}

bool InstallFrom(std::u16string_view folder, SetupLog& log) {
    const std::u16string package = PackagePath(folder);
    const std::string shown = platform::NativePath(package.c_str());  // as the file system knows it
    SHELLEXECUTEINFOW info{};
    info.cbSize = kShellRecordSize;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpFile = package.c_str();
    info.nShow = kShowNormal;
    if (!ShellExecuteEx(&info)) {
        const DWORD error = GetLastError();
        log.Line(error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                     ? "install failed: no package file " + shown
                     : "install failed: cannot open " + shown + ", error " + std::to_string(error));
        return false;
    }
    log.Line("package installer started for " + shown);
    bool installed = false;
    if (info.hProcess == nullptr) {
        log.Line("install failed: the package installer cannot be waited for");
    } else if (WaitForSingleObject(info.hProcess, kInstallerWaitMilliseconds) != WAIT_OBJECT_0) {
        log.Line("install failed: the package installer is still running after 10 minutes");
    } else {
        DWORD status = 0;
        GetExitCodeProcess(info.hProcess, &status);
        installed = status == 0;
        log.Line(installed ? std::string("runtime installed")
                           : "install failed: the package installer ended with status " + std::to_string(status));
    }
    if (info.hProcess != nullptr) CloseHandle(info.hProcess);
    WaitForInstallers();
    return installed;
}

void Run(const std::vector<std::u16string>& arguments, SetupLog& log) {
    WaitForInstallers();
    log.Line("DefualtPath = " + Ansi(kDefaultCabFolder));
    const std::u16string folder = Cut(arguments.empty() ? std::u16string(kDefaultCabFolder) : arguments.front());
    log.Line("tszPath = " + Ansi(folder));
    if (RuntimePresent(log)) return;
    log.Line("installing from .NETCF2 cab path");
    if (folder.empty()) {
        log.Line("installing from default path");
        InstallFrom(kDefaultCabFolder, log);
        return;
    }
    InstallFrom(folder, log);
}

}  // namespace rtsetup
