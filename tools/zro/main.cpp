// zro: reads, converts and edits outline documents (".zro") on the command
// line. `zro --help` lists the commands.
#include <CLI/CLI.hpp>

#include <cstdlib>
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>

#include "notestore/foundation/zr_assert.h"
#include "tools/zro/Commands.h"

namespace {

// The library's trace log goes to zro's state folder, never to the folder
// the user stands in: $XDG_STATE_HOME/zro, else ~/.local/state/zro. When no
// such folder can be had the log is not written at all (/dev/null).
void PlaceTraceLog() {
    std::filesystem::path folder;
    if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && state[0] == '/') {
        folder = state;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
        folder = std::filesystem::path(home) / ".local" / "state";
    }
    std::error_code error;
    if (!folder.empty()) {
        folder /= "zro";
        std::filesystem::create_directories(folder, error);
    }
    if (folder.empty() || error || !std::filesystem::is_directory(folder, error)) {
        // A log nobody can find is better than one left in the user's folder.
        ZR_SetLogFolder("/dev/null/..");
        return;
    }
    ZR_SetLogFolder(folder.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    PlaceTraceLog();
    CLI::App app{"Reads, converts and edits outline documents (.zro)."};
    app.set_version_flag("--version", std::string("zro ") + NOTESTORE_VERSION);
    app.require_subcommand(1);
    zro::AddFormatCommands(app);
    zro::AddEditCommands(app);
    zro::AddCategoryCommands(app);
    zro::AddSearchCommands(app);
    zro::AddCheckCommands(app);
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {
        return app.exit(e);  // --help, --version
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return zro::kExitUsage;
    } catch (const zro::Failure& e) {
        if (*e.what() != '\0') std::cerr << "zro: " << e.what() << "\n";
        return e.ExitCode();
    } catch (const std::exception& e) {
        std::cerr << "zro: " << e.what() << "\n";
        return zro::kExitProblem;
    }
    return zro::kExitOk;
}
