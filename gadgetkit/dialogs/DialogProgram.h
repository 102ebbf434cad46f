// gadgetkit-dialogs: the desktop dialogs of the device services, shown by a
// program of their own so that the toolkit never runs inside the process
// that loaded gadgetkit (which may use another toolkit, or none).
//
// What it takes and prints: platform/DialogProtocol.h.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/DialogProtocol.h"

namespace gadgetdialogs {

using namespace dialogprotocol;

struct ColorAnswer {
    std::optional<uint32_t> chosen;  // empty when cancelled
    std::vector<uint32_t> custom;
};

// Runs the colour chooser; gtk must be initialised.
ColorAnswer ChooseColor(uint32_t initial, const std::vector<uint32_t>& custom);

// The number of printers the print service knows (0 without a service).
int KnownPrinters();
// Runs the print dialog; the chosen printer's name, empty when cancelled.
std::optional<std::string> ChoosePrinter();

}  // namespace gadgetdialogs
