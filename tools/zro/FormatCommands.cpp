#include <cstdint>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "tools/zro/Commands.h"
#include "tools/zro/Outline.h"
#include "tools/zro/OutlineText.h"

namespace zro {

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteOut(const std::string& text, const std::string& path) {
    if (path.empty() || path == "-") {
        std::cout << text;
        return;
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!(out << text)) throw std::runtime_error("cannot write " + path);
}

}  // namespace

void AddFormatCommands(CLI::App& app) {
    struct Options {
        std::string document;
        std::string output;
        std::string format = "text";
        std::string source;
        uint32_t index = 0;
    };
    auto options = std::make_shared<Options>();

    auto* show = app.add_subcommand("show", "Print a document as an indented outline.");
    show->add_option("document", options->document, "the .zro file")->required()->check(CLI::ExistingFile);
    show->callback([options] { std::cout << ToText(Load(options->document)); });

    auto* exportCommand = app.add_subcommand("export", "Convert a document to outline text or JSON.");
    exportCommand->add_option("document", options->document, "the .zro file")->required()->check(CLI::ExistingFile);
    exportCommand->add_option("-f,--format", options->format, "text or json")->check(CLI::IsMember({"text", "json"}));
    exportCommand->add_option("-o,--output", options->output, "where to write (default: standard output)");
    exportCommand->callback([options] {
        const Outline outline = Load(options->document);
        WriteOut(options->format == "json" ? ToJson(outline) : ToText(outline), options->output);
    });

    auto* importCommand = app.add_subcommand("import", "Make a document from outline text (as `show` prints it).");
    importCommand->add_option("text", options->source, "the outline text file")->required()->check(CLI::ExistingFile);
    importCommand->add_option("document", options->document, "the .zro file to write")->required();
    importCommand->callback([options] { Save(FromText(ReadAll(options->source)), options->document); });

    auto* drawing = app.add_subcommand("drawing", "Save the drawing of an item as a BMP file.");
    drawing->add_option("document", options->document, "the .zro file")->required()->check(CLI::ExistingFile);
    drawing->add_option("index", options->index, "the item, counted from 0")->required();
    drawing->add_option("bmp", options->output, "the BMP file to write")->required();
    drawing->callback([options] {
        if (!SaveDrawing(options->document, options->index, options->output)) {
            throw Failure("item " + std::to_string(options->index) + " has no drawing", kExitProblem);
        }
    });
}

}  // namespace zro
