// zro: reads, converts and edits outline documents (".zro") on the command
// line. `zro --help` lists the commands.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "tools/zro/Outline.h"
#include "tools/zro/OutlineText.h"

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

int main(int argc, char** argv) {
    CLI::App app{"Reads, converts and edits outline documents (.zro)."};
    app.require_subcommand(1);

    std::string document;
    std::string output;
    std::string format = "text";
    auto* show = app.add_subcommand("show", "Print a document as an indented outline.");
    show->add_option("document", document, "the .zro file")->required()->check(CLI::ExistingFile);

    auto* exportCommand = app.add_subcommand("export", "Convert a document to outline text or JSON.");
    exportCommand->add_option("document", document, "the .zro file")->required()->check(CLI::ExistingFile);
    exportCommand->add_option("-f,--format", format, "text or json")->check(CLI::IsMember({"text", "json"}));
    exportCommand->add_option("-o,--output", output, "where to write (default: standard output)");

    std::string source;
    auto* importCommand = app.add_subcommand("import", "Make a document from outline text (as `show` prints it).");
    importCommand->add_option("text", source, "the outline text file")->required()->check(CLI::ExistingFile);
    importCommand->add_option("document", document, "the .zro file to write")->required();

    std::string text;
    std::string note;
    uint32_t indent = 0;
    bool checked = false;
    auto* add = app.add_subcommand("add", "Append an item to a document.");
    add->add_option("document", document, "the .zro file")->required()->check(CLI::ExistingFile);
    add->add_option("text", text, "the item's text")->required();
    add->add_option("-i,--indent", indent, "its level")->check(CLI::Range(0, 255));
    add->add_option("-n,--note", note, "its note");
    add->add_flag("-c,--checked", checked, "check it");

    uint32_t index = 0;
    auto* drawing = app.add_subcommand("drawing", "Save the drawing of an item as a BMP file.");
    drawing->add_option("document", document, "the .zro file")->required()->check(CLI::ExistingFile);
    drawing->add_option("index", index, "the item, counted from 0")->required();
    drawing->add_option("bmp", output, "the BMP file to write")->required();

    CLI11_PARSE(app, argc, argv);
    try {
        if (*show) {
            std::cout << zro::ToText(zro::Load(document));
        } else if (*exportCommand) {
            const zro::Outline outline = zro::Load(document);
            WriteOut(format == "json" ? zro::ToJson(outline) : zro::ToText(outline), output);
        } else if (*importCommand) {
            zro::Save(zro::FromText(ReadAll(source)), document);
        } else if (*add) {
            zro::Outline outline = zro::Load(document);
            zro::Item item;
            item.indent = indent;
            item.text = text;
            item.note = note;
            item.checked = checked;
            outline.items.push_back(item);
            zro::Save(outline, document);
        } else if (*drawing) {
            if (!zro::SaveDrawing(document, index, output)) {
                std::cerr << "zro: item " << index << " has no drawing\n";
                return 1;
            }
        }
    } catch (const std::exception& e) {
        std::cerr << "zro: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
