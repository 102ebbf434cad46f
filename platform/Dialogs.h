// The common dialogs the device services show: the colour picker and the
// print dialog. On Linux both are the desktop's own dialogs (GTK 3), shown
// by the dialog program "gadgetkit-dialogs" in a process of its own; the
// calling thread waits until the user has answered. No desktop (no
// display) means no dialog: the call returns 0 with CDERR_DIALOGFAILURE.
// Tests may put a scripted handler in place of the real dialog.
#pragma once

#include <functional>
#include <string>

#include "platform/Graphics.h"
#include "platform/Types.h"

constexpr DWORD CC_RGBINIT = 0x00000001u;
constexpr DWORD CC_FULLOPEN = 0x00000002u;

// CommDlgExtendedError's values this layer reports.
constexpr DWORD CDERR_DIALOGFAILURE = 0xFFFFu;  // the dialog could not be shown
constexpr DWORD PDERR_NODEFAULTPRN = 0x1008u;   // no printer at all

struct CHOOSECOLORW {
    DWORD lStructSize;  // 36, the device's size of this record
    HWND hwndOwner;
    HWND hInstance;
    COLORREF rgbResult;
    COLORREF* lpCustColors;  // 16 entries
    DWORD Flags;
    LPARAM lCustData;
    void* lpfnHook;
    LPCWSTR lpTemplateName;
};

using LPPRINTHOOKPROC = UINT (*)(HWND, UINT, UINT, LONG);

struct PRINTDLGW {
    DWORD lStructSize;  // 68, the device's size of this record
    HWND hwndOwner;
    HANDLE hDevMode;
    HANDLE hDevNames;
    HDC hDC;
    DWORD Flags;
    WORD nFromPage;
    WORD nToPage;
    WORD nMinPage;
    WORD nMaxPage;
    WORD nCopies;
    HWND hInstance;
    LPARAM lCustData;
    LPPRINTHOOKPROC lpfnPrintHook;
    void* lpfnSetupHook;
    LPCWSTR lpPrintTemplateName;
    LPCWSTR lpSetupTemplateName;
    HANDLE hPrintTemplate;
    HANDLE hSetupTemplate;
};

// The colour dialog opens on rgbResult when CC_RGBINIT is set (else on
// black), with the custom colours of lpCustColors in its custom row. The
// row holds the slots in order up to the last one that is not black (the
// slots start all black: those are empty). Non-zero when the user
// confirmed: rgbResult is then the chosen colour, and the slots hold the
// custom row as the dialog left it (the toolkit keeps recently chosen
// colours there, most recent first), the rest black. A cancelled dialog
// changes neither.
BOOL ChooseColorW(CHOOSECOLORW* record);
// The print dialog lists the printers CUPS knows. Non-zero when the user
// confirmed (nothing of the choice is written into the record). Zero when
// cancelled (extended error 0), when CUPS knows no printer at all
// (PDERR_NODEFAULTPRN, without a dialog) or when no dialog can be shown
// (CDERR_DIALOGFAILURE).
BOOL PrintDlgW(PRINTDLGW* record);
// The reason of the last dialog that returned 0: 0 when the user cancelled.
DWORD CommDlgExtendedError();

namespace platform {

// The dialog program. By default "gadgetkit-dialogs" beside the module
// that holds this code, else in the installed helper folder.
void SetDialogProgram(std::string path);

// The name of the printer chosen in the last confirmed print dialog.
std::string ChosenPrinter();

// Scripted dialogs for tests: a handler gets the record the program passed
// and returns what the dialog call returns. `error` is what
// CommDlgExtendedError reports after a dialog that returned 0. An empty
// handler restores the real dialog.
void SetColorDialog(std::function<BOOL(CHOOSECOLORW&)> handler);
void SetPrintDialog(std::function<BOOL(PRINTDLGW&)> handler, DWORD error = 0);

}  // namespace platform
