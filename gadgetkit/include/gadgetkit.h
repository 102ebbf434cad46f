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

/* Opens the colour dialog on `initial` (red in the low byte, then green,
 * then blue; the top byte is ignored), with the full dialog and the custom
 * colours of earlier dialogs. 1 when the user confirmed a colour, which the
 * three getters then report; 0 when cancelled or failed (the getters keep
 * the colour chosen before, 0 0 0 when none was). */
GK_API int32_t OLColorDlg(uint32_t initial);
GK_API int32_t GetRColorvalue(void);
GK_API int32_t GetGColorvalue(void);
GK_API int32_t GetBColorvalue(void);

/* Opens the print dialog over `owner`: 1 when the user confirmed; else the
 * dialog's extended error (0 when the user cancelled). */
GK_API uint32_t OLPrintDlg(void* owner);

/* The result code of the Bluetooth radio query: 0 when it succeeded. */
GK_API int32_t OLBluetoothStatus(void);

/* Opens the messaging editor for an MMS message, passing `context` (may be
 * null) on to it; the editor's result. */
GK_API int32_t ComposeMMS(void* context);

#ifdef __cplusplus
} /* extern "C" */

/* The print dialog's hook: 0 for every message, so the dialog handles
 * everything itself. */
GK_API uint32_t PrintHookProc(void* window, uint32_t message, uint32_t wParam, int32_t lParam);
#endif

#endif /* GADGETKIT_GADGETKIT_H */
