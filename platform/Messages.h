// The calling thread's message queue (only what the assertion reporter needs)
// and debugger output.
#pragma once

#include "platform/Types.h"

constexpr UINT WM_QUIT = 0x0012;
constexpr UINT PM_NOREMOVE = 0x0000;
constexpr UINT PM_REMOVE = 0x0001;

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};

// Looks for a message of the calling thread in [filterMin, filterMax] (both 0:
// any); with PM_REMOVE it is taken out of the queue. TRUE when one was found.
BOOL PeekMessageW(MSG* message, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags);
// Posts WM_QUIT with the exit code to the calling thread's queue.
void PostQuitMessage(int exitCode);
// Posts any message to the calling thread's queue (tests script the queue with it).
BOOL PostThreadMessageToSelf(UINT message, WPARAM wParam, LPARAM lParam);

// Written to standard error, and only when the environment variable
// NOTESTORE_DEBUG is set: Linux has no debugger output channel.
void OutputDebugStringW(LPCWSTR text);
