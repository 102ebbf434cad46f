// The Bluetooth radio query and the messaging editor of the device. Linux
// offers neither in the device's form: each call goes to a handler that a
// test (or an embedding program) installs; without one the Bluetooth query
// reports ERROR_NOT_SUPPORTED and composing a message E_NOTIMPL.
#pragma once

#include <functional>

#include "platform/Types.h"

using HRESULT = int32_t;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);

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

// The radio's mode into *mode; 0 on success, else an error code.
int BthGetMode(DWORD* mode);
HRESULT MailComposeMessage(MAILCOMPOSESTRUCT* record);

namespace platform {

void SetBluetoothMode(std::function<int(DWORD*)> handler);
void SetMessageComposer(std::function<HRESULT(const MAILCOMPOSESTRUCT&)> handler);

}  // namespace platform
