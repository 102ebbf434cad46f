#include "platform/DeviceServices.h"

#include <utility>

namespace {

std::function<int(DWORD*)> gBluetooth;
std::function<HRESULT(const MAILCOMPOSESTRUCT&)> gComposer;

}  // namespace

int BthGetMode(DWORD* mode) {
    if (!gBluetooth) return static_cast<int>(ERROR_NOT_SUPPORTED);
    return gBluetooth(mode);
}

HRESULT MailComposeMessage(MAILCOMPOSESTRUCT* record) {
    if (record == nullptr || !gComposer) return E_NOTIMPL;
    return gComposer(*record);
}

namespace platform {

void SetBluetoothMode(std::function<int(DWORD*)> handler) { gBluetooth = std::move(handler); }

void SetMessageComposer(std::function<HRESULT(const MAILCOMPOSESTRUCT&)> handler) { gComposer = std::move(handler); }

}  // namespace platform
