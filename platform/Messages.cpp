#include "platform/Messages.h"

#include <cstdio>
#include <cstdlib>
#include <deque>

#include "platform/Strings.h"

namespace {
thread_local std::deque<MSG> queue;
}

BOOL PeekMessageW(MSG* message, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags) {
    for (auto it = queue.begin(); it != queue.end(); ++it) {
        const bool anyMessage = filterMin == 0 && filterMax == 0;
        if (window != nullptr && it->hwnd != window) continue;
        if (!anyMessage && (it->message < filterMin || it->message > filterMax)) continue;
        if (message != nullptr) *message = *it;
        if (removeFlags & PM_REMOVE) queue.erase(it);
        return TRUE;
    }
    return FALSE;
}

BOOL PostThreadMessageToSelf(UINT message, WPARAM wParam, LPARAM lParam) {
    queue.push_back(MSG{nullptr, message, wParam, lParam, 0, {0, 0}});
    return TRUE;
}

void PostQuitMessage(int exitCode) { PostThreadMessageToSelf(WM_QUIT, static_cast<WPARAM>(exitCode), 0); }

void OutputDebugStringW(LPCWSTR text) {
    if (text == nullptr || std::getenv("NOTESTORE_DEBUG") == nullptr) return;
    const std::string narrow = platform::Utf16ToUtf8(text);
    std::fputs(narrow.c_str(), stderr);
}
