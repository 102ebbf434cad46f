// rtsetup [FOLDER]: installs the managed runtime from FOLDER/mono-runtime.deb
// (by default the application's folder) unless a runtime is installed.
// Reports only through "SetupDriver.txt"; the exit code is always 0.
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/Strings.h"
#include "rtsetup/SetupDriver.h"

namespace {

constexpr char kUsage[] =
    "usage: rtsetup [FOLDER]\n"
    "Makes sure the managed runtime (Mono or .NET) is installed. When no runtime\n"
    "is found, installs FOLDER/mono-runtime.deb with the system's package\n"
    "installer and waits for it to finish. Every step is logged to\n"
    "SetupDriver.txt in the current folder. The exit status is always 0.\n";

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    std::vector<std::u16string> arguments;
    for (int i = 1; i < argc; ++i) arguments.push_back(platform::Utf8ToUtf16(argv[i]));
    rtsetup::SetupLog log;
    rtsetup::Run(arguments, log);
    return 0;
}
