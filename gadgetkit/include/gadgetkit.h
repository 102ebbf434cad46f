/*
 * gadgetkit: device services for the managed user interface.
 *
 * Includable from C and C++. Every function has C linkage and a plain
 * exported name, except PrintHookProc, which C++ callers reach by its
 * decorated name. Nothing here raises; failures come back as results.
 */
#ifndef GADGETKIT_GADGETKIT_H
#define GADGETKIT_GADGETKIT_H

#include <stdint.h>

#if defined(__GNUC__)
#define GK_API __attribute__((visibility("default")))
#else
#define GK_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Opens the desktop's colour dialog on `initial` (red in the low byte, then
 * green, then blue; the top byte is ignored), with the custom colours of
 * earlier dialogs, and waits for the user. 1 when the user confirmed a
 * colour, which the three getters then report; 0 when cancelled or when no
 * desktop is available (the getters keep the colour chosen before, 0 0 0
 * when none was). */
GK_API int32_t OLColorDlg(uint32_t initial);
GK_API int32_t GetRColorvalue(void);
GK_API int32_t GetGColorvalue(void);
GK_API int32_t GetBColorvalue(void);

/* Opens the print dialog, listing the printers CUPS knows: 1 when the user
 * confirmed; else the dialog's extended error: 0 when the user cancelled,
 * 0x1008 when there is no printer at all, 0xFFFF when no dialog could be
 * shown (no desktop). */
GK_API uint32_t OLPrintDlg(void* owner);

/* The result code of the Bluetooth radio query (the kernel's rfkill
 * switches): 0 when there is a Bluetooth radio, whether on or off; 1062
 * when there is none. */
GK_API int32_t OLBluetoothStatus(void);

/* Opens the user's mail program on a new message (xdg-email) without
 * waiting for it: 0 when it opened, 0x80004005 when there is none or it
 * failed. `context` (may be null) is accepted and not passed on. */
GK_API int32_t ComposeMMS(void* context);

#ifdef __cplusplus
} /* extern "C" */

/* The print dialog's hook: 0 for every message, so the dialog handles
 * everything itself. */
GK_API uint32_t PrintHookProc(void* window, uint32_t message, uint32_t wParam, int32_t lParam);
#endif

#endif /* GADGETKIT_GADGETKIT_H */
