// The shell: its image file loader, and opening a file with the program
// that handles it.
#pragma once

#include <functional>
#include <span>

#include "platform/Graphics.h"
#include "platform/Registry.h"
#include "platform/Types.h"

// Loads a PNG, JPEG, GIF or BMP file, told apart by its first bytes, into a
// device-dependent bitmap of the picture's size at the screen's depth (as
// CreateCompatibleBitmap on a screen context makes; at 8 bits or fewer its
// indexes are those of the default palette). The caller deletes it with DeleteObject.
//   PNG: every colour type and depth; 16-bit channels rounded to 8;
//        transparency composed over white; no gamma correction.
//   JPEG: grey, YCbCr and RGB; any warning of the decoder (a truncated or
//        corrupt stream) counts as damage.
//   GIF: the first picture, on a white canvas of the file's screen size;
//        transparent pixels white; a colour index beyond the map black.
//   BMP: the layer's own reader (BmpReader.h).
// A colour of alpha a composes over white as (c * a + 255 * (255 - a) + 127) / 255.
// Null on failure, with the last error: the files layer's for a path that
// does not open (ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ...),
// ERROR_INVALID_PARAMETER for a null path, ERROR_NOT_SUPPORTED for content
// of another kind (or a variant the decoders do not take), ERROR_INVALID_DATA for a
// damaged file, ERROR_NOT_ENOUGH_MEMORY for a picture over the graphics
// layer's size guard, a file over 512 MiB, or a failed allocation.
HBITMAP SHLoadImageFile(LPCWSTR path);

struct SHELLEXECUTEINFOW {
    DWORD cbSize;  // 60, the device's size of this record
    ULONG fMask;
    HWND hwnd;
    LPCWSTR lpVerb;
    LPCWSTR lpFile;
    LPCWSTR lpParameters;
    LPCWSTR lpDirectory;
    int nShow;
    HINSTANCE hInstApp;
    void* lpIDList;
    LPCWSTR lpClass;
    HKEY hkeyClass;
    DWORD dwHotKey;
    HANDLE hIcon;
    HANDLE hProcess;
};

// Opens `lpFile` with the program that handles its kind. Linux has no
// handler for the device's kinds (a cab file starts the device's
// installer): the call goes to the handler a test or an embedding program
// installs; without one it fails with ERROR_FILE_NOT_FOUND for a missing
// file and ERROR_NO_ASSOCIATION otherwise.
BOOL ShellExecuteEx(SHELLEXECUTEINFOW* info);

namespace platform {

// The same for a file's content already in memory.
HBITMAP LoadImageFromMemory(std::span<const BYTE> content);

// What ShellExecuteEx does; an empty handler restores the default.
void SetShellExecuteHandler(std::function<BOOL(SHELLEXECUTEINFOW&)> handler);

}  // namespace platform
