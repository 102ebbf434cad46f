// gadgetkit-dialogs: see platform/DialogProtocol.h for what it takes and prints.
#include <gtk/gtk.h>

#include <cstdio>
#include <cstring>

#include "DialogProgram.h"

namespace {

using namespace gadgetdialogs;  // with the protocol's names

int Color(int argc, char** argv) {
    std::vector<uint32_t> colors;
    for (int i = 2; i < argc; ++i) {
        const auto color = ParseColor(argv[i]);
        if (!color) return kUsage;
        colors.push_back(*color);
    }
    if (colors.empty()) return kUsage;
    if (!gtk_init_check(nullptr, nullptr)) return kNoDesktop;
    const ColorAnswer answer = ChooseColor(colors.front(), std::vector<uint32_t>(colors.begin() + 1, colors.end()));
    std::printf("%s%s\ncustom", answer.chosen ? "ok " : "cancel",
                answer.chosen ? FormatColor(*answer.chosen).c_str() : "");
    for (uint32_t color : answer.custom) std::printf(" %s", FormatColor(color).c_str());
    std::printf("\n");
    return 0;
}

int Print() {
    // Without any printer there is nothing to choose from: the caller
    // reports that as such rather than as a cancelled dialog.
    if (KnownPrinters() == 0) return kNoPrinter;
    if (!gtk_init_check(nullptr, nullptr)) return kNoDesktop;
    const auto printer = ChoosePrinter();
    std::printf(printer ? "ok %s\n" : "cancel\n", printer ? printer->c_str() : "");
    return 0;
}

}  // namespace

#if defined(__SANITIZE_ADDRESS__)
// The toolkit and the libraries under it keep caches for the process's life
// and never free them; the leak checker is to judge this program's own
// allocations only.
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\nleak:libdbus-1.so\nleak:libglib-2.0.so\nleak:libgobject-2.0.so\n"
           "leak:libgio-2.0.so\nleak:libgtk-3.so\nleak:libgdk-3.so\nleak:libpango\nleak:libcairo.so\n"
           "leak:libharfbuzz.so\nleak:libcups.so\nleak:libatk\nleak:libprintbackend\n";
}
#endif

int main(int argc, char** argv) {
    // The custom colours belong to the calling process, which passes them
    // in; the desktop's stored settings are neither read nor changed.
    g_setenv("GSETTINGS_BACKEND", "memory", TRUE);
    if (argc >= 2 && std::strcmp(argv[1], "color") == 0) return Color(argc, argv);
    if (argc == 2 && std::strcmp(argv[1], "print") == 0) return Print();
    std::fprintf(stderr, "usage: gadgetkit-dialogs color #rrggbb [#rrggbb ...] | print\n");
    return kUsage;
}
