// Changing a document in place: every command opens the document through
// the library, changes its records and saves it through the library's save
// path, so what the command does not touch stays as it was.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/zro/Commands.h"
#include "tools/zro/Document.h"

namespace zro {

namespace {

struct Options {
    std::string document;
    std::vector<uint32_t> indexes;
    std::string text;
    std::string note;
    uint32_t level = 0;
    std::optional<uint32_t> at;
    std::optional<uint32_t> newLevel;
    bool checked = false;
};

// Opens, edits and saves; nothing is written when the edit fails.
void Edit(const std::string& path, const std::function<void(Document&)>& edit) {
    Document document(path, Document::Access::kEdit);
    edit(document);
    document.Save();
}

CLI::App* Command(CLI::App& app, const char* name, const char* about, Options& options) {
    auto* command = app.add_subcommand(name, about);
    command->add_option("document", options.document, "the .zro file")->required()->check(CLI::ExistingFile);
    return command;
}

// A command that changes one field of the items it names.
void AddItemsCommand(CLI::App& app, const char* name, const char* about, const std::shared_ptr<Options>& options,
                     ItemChange change) {
    auto* command = Command(app, name, about, *options);
    command->add_option("index", options->indexes, "the items, counted from 0")->required();
    command->callback([options, change] {
        Edit(options->document, [&](Document& document) {
            for (uint32_t index : options->indexes) document.Item(index);  // all named items exist
            for (uint32_t index : options->indexes) ChangeItem(document, index, change);
        });
    });
}

// A command that gives one item a new value for one field.
void AddFieldCommand(CLI::App& app, const char* name, const char* about, const char* field,
                     const std::shared_ptr<Options>& options, ItemChange (*change)(const std::string&)) {
    auto* command = Command(app, name, about, *options);
    command->add_option("index", options->at, "the item")->required();
    command->add_option(field, options->text, std::string("its new ") + field)->required();
    command->callback([options, change] {
        Edit(options->document,
             [&](Document& document) { ChangeItem(document, *options->at, change(options->text)); });
    });
}

}  // namespace

void AddEditCommands(CLI::App& app) {
    auto options = std::make_shared<Options>();

    auto* add = Command(app, "add", "Add an item (at the end, or before item --at).", *options);
    add->add_option("text", options->text, "the item's text")->required();
    add->add_option("-i,--indent,--level", options->level, "its level (0: top)")->check(CLI::Range(0, 255));
    add->add_option("-n,--note", options->note, "its note");
    add->add_option("--at", options->at, "the index it takes");
    add->add_flag("-c,--checked", options->checked, "check it");
    add->callback([options] {
        Edit(options->document, [&](Document& document) {
            AddItem(document, NewItem{options->text, options->note, options->level, options->checked}, options->at);
        });
    });

    AddItemsCommand(app, "tick", "Check items (mark them done).", options, ItemChange{.checked = true});
    AddItemsCommand(app, "untick", "Uncheck items.", options, ItemChange{.checked = false});
    AddItemsCommand(app, "fold", "Collapse items (hide their sub-items).", options, ItemChange{.expanded = false});
    AddItemsCommand(app, "unfold", "Expand items.", options, ItemChange{.expanded = true});

    AddFieldCommand(app, "set-text", "Replace an item's text.", "text", options,
                    [](const std::string& text) { return ItemChange{.text = text}; });
    AddFieldCommand(app, "set-note", "Replace an item's note (\"\" empties it).", "note", options,
                    [](const std::string& note) { return ItemChange{.note = note}; });

    auto* move = Command(app, "move", "Move an item with its sub-items.", *options);
    move->add_option("index", options->indexes, "the item, then the index it takes")->required()->expected(2);
    move->add_option("-l,--level", options->newLevel, "its new level (sub-items follow)")->check(CLI::Range(0, 255));
    move->callback([options] {
        Edit(options->document, [&](Document& document) {
            MoveItem(document, options->indexes[0], options->indexes[1], options->newLevel);
        });
    });

    auto* remove = Command(app, "delete", "Delete an item with its sub-items.", *options);
    remove->add_option("index", options->at, "the item")->required();
    remove->callback([options] { Edit(options->document, [&](Document& document) { DeleteItem(document, *options->at); }); });

    auto* title = Command(app, "set-title", "Change the document's title.", *options);
    title->add_option("title", options->text, "the new title")->required();
    title->callback([options] { Edit(options->document, [&](Document& document) { SetTitle(document, options->text); }); });

    auto* category = Command(app, "set-category", "Change the document's category.", *options);
    category->add_option("category", options->text, "the category's name")->required();
    category->callback(
        [options] { Edit(options->document, [&](Document& document) { SetCategory(document, options->text); }); });
}

}  // namespace zro
