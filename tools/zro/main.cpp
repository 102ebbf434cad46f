// zro: reads, converts and edits outline documents (".zro") on the command
// line. `zro --help` lists the commands.
#include <CLI/CLI.hpp>

#include <exception>
#include <iostream>

#include "tools/zro/Commands.h"

int main(int argc, char** argv) {
    CLI::App app{"Reads, converts and edits outline documents (.zro)."};
    app.require_subcommand(1);
    zro::AddFormatCommands(app);
    zro::AddEditCommands(app);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    } catch (const zro::Failure& e) {
        std::cerr << "zro: " << e.what() << "\n";
        return e.ExitCode();
    } catch (const std::exception& e) {
        std::cerr << "zro: " << e.what() << "\n";
        return zro::kExitProblem;
    }
    return zro::kExitOk;
}
