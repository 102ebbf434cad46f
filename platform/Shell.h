// The shell: its image file loader, and opening a file with the program
// that handles it.
#pragma once

#include <functional>
#include <span>
#include <string>
#include <vector>

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

constexpr ULONG SEE_MASK_NOCLOSEPROCESS = 0x00000040u;

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

// Opens `lpFile` with the program that handles its kind, and returns once
// that program has started. The kind handled here is the Debian package
// (".deb"), opened by the system's package installer (see
// SetPackageInstaller). With SEE_MASK_NOCLOSEPROCESS, hProcess is the
// started program's process (wait for it, read its exit code with
// GetExitCodeProcess, close it with CloseHandle). Fails with
// ERROR_FILE_NOT_FOUND for a missing file, ERROR_NO_ASSOCIATION for another
// kind, and the start's error when the installer cannot be started.
BOOL ShellExecuteEx(SHELLEXECUTEINFOW* info);

namespace platform {

// The same for a file's content already in memory.
HBITMAP LoadImageFromMemory(std::span<const BYTE> content);

// The package installer's command, run with the package's absolute path
// appended: by default "apt-get install -y --no-install-recommends", which
// also fetches what the package depends on. An empty command restores it.
void SetPackageInstaller(std::vector<std::string> command);

// What ShellExecuteEx does, for tests; an empty handler restores the default.
void SetShellExecuteHandler(std::function<BOOL(SHELLEXECUTEINFOW&)> handler);

}  // namespace platform
