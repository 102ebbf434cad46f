#include "platform/Dialogs.h"

#include <dlfcn.h>
#include <unistd.h>

#include <mutex>
#include <sstream>
#include <utility>
#include <vector>

#include "platform/DialogProtocol.h"
#include "platform/Processes.h"

#ifndef DIALOG_PROGRAM_INSTALLED
#define DIALOG_PROGRAM_INSTALLED "/usr/local/libexec/gadgetkit-dialogs"
#endif

namespace {

constexpr size_t kCustomSlots = 16;
constexpr char kProgramName[] = "gadgetkit-dialogs";

std::mutex gLock;
std::string gProgram;
std::string gChosenPrinter;
std::function<BOOL(CHOOSECOLORW&)> gColorDialog;
std::function<BOOL(PRINTDLGW&)> gPrintDialog;
DWORD gPrintError = 0;
DWORD gLastError = 0;

// Beside the shared library (or program) this code was linked into, where
// the build and the installation both put it; else the installed folder.
std::string Program() {
    {
        std::lock_guard<std::mutex> guard(gLock);
        if (!gProgram.empty()) return gProgram;
    }
    Dl_info module{};
    if (dladdr(reinterpret_cast<void*>(&ChooseColorW), &module) != 0 && module.dli_fname != nullptr) {
        std::string path = module.dli_fname;
        path = path.substr(0, path.find_last_of('/') + 1) + kProgramName;
        if (access(path.c_str(), X_OK) == 0) return path;
    }
    return DIALOG_PROGRAM_INSTALLED;
}

// COLORREF keeps red in the low byte; the program speaks 0xRRGGBB.
uint32_t Swap(uint32_t color) { return (color & 0xFFu) << 16 | (color & 0xFF00u) | (color >> 16 & 0xFFu); }

// Runs the program; its output when it answered, else the extended error.
std::optional<std::string> Ask(std::vector<std::string> arguments, DWORD* error) {
    arguments.insert(arguments.begin(), Program());
    const auto result = platform::RunProgram(arguments);
    if (result && result->exitStatus == 0) return result->output;
    *error = result && result->exitStatus == dialogprotocol::kNoPrinter ? PDERR_NODEFAULTPRN : CDERR_DIALOGFAILURE;
    return std::nullopt;
}

BOOL RealColorDialog(CHOOSECOLORW& record) {
    std::vector<std::string> arguments{"color",
                                       dialogprotocol::FormatColor(Swap(record.Flags & CC_RGBINIT ? record.rgbResult : 0))};
    size_t used = kCustomSlots;
    while (used > 0 && (record.lpCustColors == nullptr || record.lpCustColors[used - 1] == 0)) --used;
    for (size_t i = 0; i < used; ++i) arguments.push_back(dialogprotocol::FormatColor(Swap(record.lpCustColors[i])));
    const auto output = Ask(std::move(arguments), &gLastError);
    if (!output) return FALSE;

    std::istringstream lines(*output);
    std::string verdict, color, word;
    lines >> verdict;
    if (verdict != "ok") return FALSE;
    lines >> color >> word;
    const auto chosen = dialogprotocol::ParseColor(color);
    if (!chosen || word != "custom") {
        gLastError = CDERR_DIALOGFAILURE;
        return FALSE;
    }
    record.rgbResult = Swap(*chosen);
    if (record.lpCustColors != nullptr) {
        for (size_t i = 0; i < kCustomSlots; ++i) {
            const auto custom = lines >> word ? dialogprotocol::ParseColor(word) : std::nullopt;
            record.lpCustColors[i] = custom ? Swap(*custom) : 0;
        }
    }
    return TRUE;
}

BOOL RealPrintDialog() {
    const auto output = Ask({"print"}, &gLastError);
    if (!output || output->rfind("ok ", 0) != 0) return FALSE;
    std::lock_guard<std::mutex> guard(gLock);
    gChosenPrinter = output->substr(3, output->find('\n') - 3);
    return TRUE;
}

}  // namespace

BOOL ChooseColorW(CHOOSECOLORW* record) {
    gLastError = 0;
    if (record == nullptr) {
        gLastError = CDERR_DIALOGFAILURE;
        return FALSE;
    }
    return gColorDialog ? gColorDialog(*record) : RealColorDialog(*record);
}

BOOL PrintDlgW(PRINTDLGW* record) {
    gLastError = 0;
    if (record == nullptr) {
        gLastError = CDERR_DIALOGFAILURE;
        return FALSE;
    }
    if (!gPrintDialog) return RealPrintDialog();
    const BOOL result = gPrintDialog(*record);
    if (!result) gLastError = gPrintError;
    return result;
}

DWORD CommDlgExtendedError() { return gLastError; }

namespace platform {

void SetDialogProgram(std::string path) {
    std::lock_guard<std::mutex> guard(gLock);
    gProgram = std::move(path);
}

std::string ChosenPrinter() {
    std::lock_guard<std::mutex> guard(gLock);
    return gChosenPrinter;
}

void SetColorDialog(std::function<BOOL(CHOOSECOLORW&)> handler) { gColorDialog = std::move(handler); }

void SetPrintDialog(std::function<BOOL(PRINTDLGW&)> handler, DWORD error) {
    gPrintDialog = std::move(handler);
    gPrintError = error;
}

}  // namespace platform
