// The top-level window list and the processes behind windows. Linux has no
// device window list: the list is scripted (platform::SetTopLevelWindows),
// empty unless a test or an embedding program sets it. Processes are real:
// a window's process id is a Linux process id, and waiting on an opened
// process ends when that process does.
#pragma once

#include <string>
#include <vector>

#include "platform/Types.h"

constexpr UINT GW_HWNDFIRST = 0;
constexpr UINT GW_HWNDLAST = 1;
constexpr UINT GW_HWNDNEXT = 2;
constexpr UINT GW_HWNDPREV = 3;
constexpr DWORD PROCESS_ALL_ACCESS = 0x001F0FFFu;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;
constexpr DWORD INFINITE = 0xFFFFFFFFu;
constexpr DWORD STILL_ACTIVE = 259;

// A window of the top-level list (the first one), or null when it is empty.
HWND GetForegroundWindow();
// GW_HWNDFIRST/LAST: the first or last window of the list `window` is in;
// GW_HWNDNEXT/PREV: its neighbour. Null at the ends or for an unknown window.
HWND GetWindow(HWND window, UINT command);
// The class name, cut to `size` - 1 characters; its length, or 0 for an
// unknown window.
int GetClassNameW(HWND window, LPWSTR name, int size);
// The window's thread id (0 here) and, into *processId, its process id.
DWORD GetWindowThreadProcessId(HWND window, DWORD* processId);

// A handle to process `processId`, or null (ERROR_INVALID_PARAMETER when
// there is no such process). Closed with CloseHandle.
HANDLE OpenProcess(DWORD access, BOOL inherit, DWORD processId);
// WAIT_OBJECT_0 once the process has ended (also as a zombie not yet
// reaped), WAIT_TIMEOUT after `milliseconds`, WAIT_FAILED for a handle that
// is not a process.
DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds);
void Sleep(DWORD milliseconds);
// The exit status of an opened process that is a child of this one into
// *exitCode (128 + the signal's number when a signal ended it), or
// STILL_ACTIVE while it runs. FALSE with ERROR_INVALID_HANDLE for a handle
// that is not a process, ERROR_INVALID_PARAMETER for a process that is not
// this one's child.
BOOL GetExitCodeProcess(HANDLE process, DWORD* exitCode);

namespace platform {

struct ScriptedWindow {
    std::u16string className;
    DWORD processId = 0;
};

// Replaces the top-level window list, first window first.
void SetTopLevelWindows(std::vector<ScriptedWindow> windows);

namespace detail {
// CloseHandle's part for process handles: true when `object` was one.
bool CloseProcess(HANDLE object);
}  // namespace detail

}  // namespace platform
