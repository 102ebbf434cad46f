// The zro command line is made of command families, each in its own file,
// each adding its subcommands to the application. A subcommand does its work
// in its CLI11 callback; failures leave as exceptions and main turns them
// into a message on standard error and an exit code.
#pragma once

#include <CLI/CLI.hpp>

#include "tools/zro/Failure.h"

namespace zro {

// Reading, writing and converting documents: show, export, import, drawing.
void AddFormatCommands(CLI::App& app);
// Changing a document in place: add, tick, untick, fold, unfold, set-text,
// set-note, move, delete, set-title, set-category.
void AddEditCommands(CLI::App& app);
// The category database: category list, add, rename, delete, undelete.
void AddCategoryCommands(CLI::App& app);
// Finding items across documents and folders: search.
void AddSearchCommands(CLI::App& app);
// Soundness and recovery: check, salvage.
void AddCheckCommands(CLI::App& app);

}  // namespace zro
