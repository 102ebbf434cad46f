// The Bluetooth radio query and the messaging editor of the device, over
// the Linux desktop: the radio's state comes from the kernel's rfkill
// switches, and composing a message opens the user's mail composer through
// xdg-email (xdg-utils).
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/Types.h"

using HRESULT = int32_t;
constexpr HRESULT S_OK = 0;
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
// What the device's Bluetooth query reports when there is no radio (its
// Bluetooth stack is then not running).
constexpr DWORD ERROR_SERVICE_NOT_ACTIVE = 1062;

// The device's radio modes.
constexpr DWORD BTH_POWER_OFF = 0;
constexpr DWORD BTH_CONNECTABLE = 1;
constexpr DWORD BTH_DISCOVERABLE = 2;

// The record of the messaging editor. The device's record is 44 bytes, its
// size field says so; here the pointers have the host's width.
struct MAILCOMPOSESTRUCT {
    DWORD cbSize;         // 44
    DWORD dwFlags;        // offset 4 on the device
    DWORD reserved[5];    // offsets 8 to 27, unused
    void* pvContext;      // offset 28: the caller's value
    DWORD fHasContext;    // offset 32: 1 when pvContext is given
    LPCWSTR pszAccount;   // offset 36
    LPCWSTR pszMsgClass;  // offset 40
};

// The mode of the first Bluetooth radio (in rfkill's order) into *mode:
// BTH_CONNECTABLE when it is on, BTH_POWER_OFF when it is switched off or
// blocked by a hardware switch. 0 on success; ERROR_SERVICE_NOT_ACTIVE when
// there is no Bluetooth radio; ERROR_INVALID_PARAMETER for a null `mode`.
int BthGetMode(DWORD* mode);
// Opens the user's mail composer on a new, empty message (xdg-email) and
// returns without waiting for it: S_OK when the composer opened, E_FAIL
// when there is none or it failed, E_INVALIDARG for a null record. Neither
// the context nor the message class reaches the composer: a desktop mail
// composer takes neither.
HRESULT MailComposeMessage(MAILCOMPOSESTRUCT* record);

namespace platform {

enum class RadioState { On, Off, Blocked };

// The state of the first Bluetooth radio under `rfkillFolder` (laid out as
// /sys/class/rfkill: one folder per switch with "type", "soft" and "hard"),
// or nothing when it has none. Off is a software switch, Blocked a hardware
// one.
std::optional<RadioState> BluetoothRadio(const std::string& rfkillFolder);

// The rfkill folder BthGetMode reads; "/sys/class/rfkill" by default, an
// empty path restores it.
void SetRfkillFolder(std::string folder);

// How long MailComposeMessage watches xdg-email for a failure before it
// takes the composer as opened; 3 seconds by default (0 restores it).
void SetComposerWatch(int milliseconds);

// Scripted services for tests; an empty handler restores the real one.
void SetBluetoothMode(std::function<int(DWORD*)> handler);
void SetMessageComposer(std::function<HRESULT(const MAILCOMPOSESTRUCT&)> handler);

}  // namespace platform
