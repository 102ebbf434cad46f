#include <cstdint>
#include <memory>
#include <string>

#include "tools/zro/Commands.h"
#include "tools/zro/Outline.h"

namespace zro {

void AddEditCommands(CLI::App& app) {
    struct Options {
        std::string document;
        std::string text;
        std::string note;
        uint32_t indent = 0;
        bool checked = false;
    };
    auto options = std::make_shared<Options>();

    auto* add = app.add_subcommand("add", "Append an item to a document.");
    add->add_option("document", options->document, "the .zro file")->required()->check(CLI::ExistingFile);
    add->add_option("text", options->text, "the item's text")->required();
    add->add_option("-i,--indent", options->indent, "its level")->check(CLI::Range(0, 255));
    add->add_option("-n,--note", options->note, "its note");
    add->add_flag("-c,--checked", options->checked, "check it");
    add->callback([options] {
        Outline outline = Load(options->document);
        Item item;
        item.indent = options->indent;
        item.text = options->text;
        item.note = options->note;
        item.checked = options->checked;
        outline.items.push_back(item);
        Save(outline, options->document);
    });
}

}  // namespace zro
