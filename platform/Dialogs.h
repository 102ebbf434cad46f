// The common dialogs the device services show: the colour picker and the
// print dialog. Linux has no device dialogs to open, so each call goes to a
// handler that a test (or an embedding program) installs; without one a
// dialog behaves as if the user cancelled it at once.
#pragma once

#include <functional>

#include "platform/Graphics.h"
#include "platform/Types.h"

constexpr DWORD CC_RGBINIT = 0x00000001u;
constexpr DWORD CC_FULLOPEN = 0x00000002u;

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

// Non-zero when the user confirmed; the record then holds the result.
BOOL ChooseColorW(CHOOSECOLORW* record);
BOOL PrintDlgW(PRINTDLGW* record);
// The reason of the last dialog that returned 0: 0 when the user cancelled.
DWORD CommDlgExtendedError();

namespace platform {

// What the next dialogs do: a handler gets the record the program passed
// and returns what the dialog call returns. `error` is what
// CommDlgExtendedError reports after a dialog that returned 0. An empty
// handler restores the default (cancelled).
void SetColorDialog(std::function<BOOL(CHOOSECOLORW&)> handler);
void SetPrintDialog(std::function<BOOL(PRINTDLGW&)> handler, DWORD error = 0);

}  // namespace platform
