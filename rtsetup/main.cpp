// rtsetup [FOLDER]: installs the managed runtime from FOLDER/NETCFv2.cab
// (by default the application's folder) unless version 2 is installed.
// Reports only through "SetupDriver.txt"; the exit code is always 0.
#include <vector>

#include "platform/Strings.h"
#include "rtsetup/SetupDriver.h"

int main(int argc, char** argv) {
    std::vector<std::u16string> arguments;
    for (int i = 1; i < argc; ++i) arguments.push_back(platform::Utf8ToUtf16(argv[i]));
    rtsetup::SetupLog log;
    rtsetup::Run(arguments, log);
    return 0;
}
