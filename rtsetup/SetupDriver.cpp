#include "rtsetup/SetupDriver.h"

#include "platform/Files.h"
#include "platform/Registry.h"
#include "platform/Shell.h"
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

bool RuntimePresent(SetupLog& log) {
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

std::u16string CabPath(std::u16string_view folder) {
    std::u16string path(folder);
    path += u'\\';
    path += kCabName;
    return Cut(path);
}

bool InstallFrom(std::u16string_view folder, SetupLog& /*log*/) {
    const std::u16string cab = CabPath(folder);
    SHELLEXECUTEINFOW info{};
    info.cbSize = kShellRecordSize;
    info.lpFile = cab.c_str();
    info.nShow = kShowNormal;
    if (!ShellExecuteEx(&info)) return false;
    WaitForInstallers();
    return true;
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
