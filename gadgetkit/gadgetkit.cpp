// The device services: the colour and print dialogs, the Bluetooth state and
// the messaging editor, over the platform's dialogs and device services.
#include "gadgetkit.h"

#include <array>

#include "platform/DeviceServices.h"
#include "platform/Dialogs.h"

namespace {

constexpr DWORD kChooseColorSize = 36;
constexpr DWORD kPrintDlgSize = 68;
constexpr DWORD kPrintFlags = 0x00104000u;
constexpr DWORD kMailComposeSize = 44;

// Kept for the process's life: the last confirmed colour, and the custom
// colours the dialog shows and updates.
COLORREF gChosen = 0;
std::array<COLORREF, 16> gCustomColors{};

int32_t Component(int shift) { return static_cast<int32_t>((gChosen >> shift) & 0xFFu); }

}  // namespace

extern "C" {

int32_t OLColorDlg(uint32_t initial) {
    CHOOSECOLORW record{};
    record.lStructSize = kChooseColorSize;
    record.rgbResult = initial & 0x00FFFFFFu;
    record.lpCustColors = gCustomColors.data();
    record.Flags = CC_RGBINIT | CC_FULLOPEN;
    if (!ChooseColorW(&record)) return 0;
    gChosen = record.rgbResult;
    return 1;
}

int32_t GetRColorvalue(void) { return Component(0); }
int32_t GetGColorvalue(void) { return Component(8); }
int32_t GetBColorvalue(void) { return Component(16); }

uint32_t OLPrintDlg(void* owner) {
    PRINTDLGW record{};
    record.lStructSize = kPrintDlgSize;
    record.hwndOwner = owner;
    record.Flags = kPrintFlags;
    record.lpfnPrintHook = PrintHookProc;
    return PrintDlgW(&record) ? 1u : CommDlgExtendedError();
}

int32_t OLBluetoothStatus(void) {
    DWORD mode = 0;  // asked for, not reported
    return BthGetMode(&mode);
}

int32_t ComposeMMS(void* context) {
    MAILCOMPOSESTRUCT record{};
    record.cbSize = kMailComposeSize;
    record.dwFlags = 1;
    record.pszAccount = u"SMS";
    record.pszMsgClass = u"MMS";
    if (context != nullptr) {
        record.pvContext = context;
        record.fHasContext = 1;
    }
    return MailComposeMessage(&record);
}

}  // extern "C"

uint32_t PrintHookProc(void* /*window*/, uint32_t /*message*/, uint32_t /*wParam*/, int32_t /*lParam*/) { return 0; }
