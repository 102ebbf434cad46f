#include "platform/DeviceServices.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/Processes.h"

namespace {

constexpr char kSystemRfkill[] = "/sys/class/rfkill";
// xdg-email reports a missing composer within moments; a composer that
// opens may keep it running until the message is done, which is not waited
// for.
constexpr int kComposerWatchMilliseconds = 3000;

std::mutex gLock;
std::string gRfkillFolder = kSystemRfkill;
int gComposerWatch = kComposerWatchMilliseconds;
std::function<int(DWORD*)> gBluetooth;
std::function<HRESULT(const MAILCOMPOSESTRUCT&)> gComposer;

std::string FirstWord(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::string word;
    in >> word;
    return word;
}

// rfkill0, rfkill1, ..., rfkill10 in that order.
bool BySwitchNumber(const std::filesystem::path& a, const std::filesystem::path& b) {
    const std::string x = a.filename().string(), y = b.filename().string();
    return x.size() != y.size() ? x.size() < y.size() : x < y;
}

}  // namespace

int BthGetMode(DWORD* mode) {
    std::function<int(DWORD*)> scripted;
    std::string folder;
    {
        std::lock_guard<std::mutex> guard(gLock);
        scripted = gBluetooth;
        folder = gRfkillFolder;
    }
    if (scripted) return scripted(mode);
    if (mode == nullptr) return static_cast<int>(ERROR_INVALID_PARAMETER);
    const auto radio = platform::BluetoothRadio(folder);
    if (!radio) return static_cast<int>(ERROR_SERVICE_NOT_ACTIVE);
    *mode = *radio == platform::RadioState::On ? BTH_CONNECTABLE : BTH_POWER_OFF;
    return 0;
}

HRESULT MailComposeMessage(MAILCOMPOSESTRUCT* record) {
    std::function<HRESULT(const MAILCOMPOSESTRUCT&)> scripted;
    int watch = 0;
    {
        std::lock_guard<std::mutex> guard(gLock);
        scripted = gComposer;
        watch = gComposerWatch;
    }
    if (record == nullptr) return E_INVALIDARG;
    if (scripted) return scripted(*record);
    return platform::Launch({"xdg-email"}, watch) == platform::LaunchResult::Failed ? E_FAIL : S_OK;
}

namespace platform {

std::optional<RadioState> BluetoothRadio(const std::string& rfkillFolder) {
    std::error_code error;
    std::vector<std::filesystem::path> switches;
    for (const auto& entry : std::filesystem::directory_iterator(rfkillFolder, error)) switches.push_back(entry.path());
    std::sort(switches.begin(), switches.end(), BySwitchNumber);
    for (const auto& path : switches) {
        if (FirstWord(path / "type") != "bluetooth") continue;
        if (FirstWord(path / "hard") == "1") return RadioState::Blocked;
        return FirstWord(path / "soft") == "1" ? RadioState::Off : RadioState::On;
    }
    return std::nullopt;
}

void SetRfkillFolder(std::string folder) {
    std::lock_guard<std::mutex> guard(gLock);
    gRfkillFolder = folder.empty() ? kSystemRfkill : std::move(folder);
}

void SetComposerWatch(int milliseconds) {
    std::lock_guard<std::mutex> guard(gLock);
    gComposerWatch = milliseconds > 0 ? milliseconds : kComposerWatchMilliseconds;
}

void SetBluetoothMode(std::function<int(DWORD*)> handler) {
    std::lock_guard<std::mutex> guard(gLock);
    gBluetooth = std::move(handler);
}

void SetMessageComposer(std::function<HRESULT(const MAILCOMPOSESTRUCT&)> handler) {
    std::lock_guard<std::mutex> guard(gLock);
    gComposer = std::move(handler);
}

}  // namespace platform
