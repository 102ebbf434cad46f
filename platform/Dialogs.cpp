#include "platform/Dialogs.h"

#include <utility>

namespace {

std::function<BOOL(CHOOSECOLORW&)> gColorDialog;
std::function<BOOL(PRINTDLGW&)> gPrintDialog;
DWORD gPrintError = 0;
DWORD gLastError = 0;

}  // namespace

BOOL ChooseColorW(CHOOSECOLORW* record) {
    gLastError = 0;
    return record != nullptr && gColorDialog ? gColorDialog(*record) : FALSE;
}

BOOL PrintDlgW(PRINTDLGW* record) {
    gLastError = 0;
    const BOOL result = record != nullptr && gPrintDialog ? gPrintDialog(*record) : FALSE;
    if (!result) gLastError = gPrintDialog ? gPrintError : 0;
    return result;
}

DWORD CommDlgExtendedError() { return gLastError; }

namespace platform {

void SetColorDialog(std::function<BOOL(CHOOSECOLORW&)> handler) { gColorDialog = std::move(handler); }

void SetPrintDialog(std::function<BOOL(PRINTDLGW&)> handler, DWORD error) {
    gPrintDialog = std::move(handler);
    gPrintError = error;
}

}  // namespace platform
