// Finding items by their text or note across documents and folders.
#include <algorithm>
#include <cctype>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tools/zro/Commands.h"
#include "tools/zro/DocumentPaths.h"
#include "tools/zro/Outline.h"
#include "tools/zro/Progress.h"

namespace zro {

namespace {

struct Options {
    std::string pattern;
    std::vector<std::string> places;
    std::string in = "both";
    bool ignoreCase = false;
    bool checked = false;
    bool unchecked = false;
    std::string category;
    bool categoryGiven = false;
    bool json = false;
};

// Letter case is folded for ASCII letters only: other scripts compare
// exactly.
std::string Folded(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool Contains(const std::string& text, const std::string& pattern, bool ignoreCase) {
    return ignoreCase ? Folded(text).find(Folded(pattern)) != std::string::npos
                      : text.find(pattern) != std::string::npos;
}

bool Matches(const Options& options, const Item& item) {
    if (options.checked && !item.checked) return false;
    if (options.unchecked && item.checked) return false;
    return (options.in != "note" && Contains(item.text, options.pattern, options.ignoreCase)) ||
           (options.in != "text" && Contains(item.note, options.pattern, options.ignoreCase));
}

// Runs the search; returns whether anything matched. Unreadable documents
// are reported and counted in `unreadable`.
bool Search(const Options& options, int& unreadable) {
    const std::vector<std::string> paths = DocumentPaths(options.places);
    nlohmann::json found = nlohmann::json::array();
    bool any = false;
    Progress progress(paths.size());
    for (const std::string& path : paths) {
        progress.Step(path);
        Outline outline;
        try {
            outline = Load(path);
        } catch (const std::exception& e) {
            progress.Clear();
            std::cerr << "zro: " << path << ": " << e.what() << "\n";
            ++unreadable;
            continue;
        }
        if (options.categoryGiven && outline.category != options.category) continue;
        for (uint32_t index = 0; index < outline.items.size(); ++index) {
            const Item& item = outline.items[index];
            if (!Matches(options, item)) continue;
            any = true;
            if (options.json) {
                found.push_back({{"file", path}, {"index", index}, {"id", item.id}, {"level", item.indent},
                                 {"checked", item.checked}, {"text", item.text}, {"note", item.note},
                                 {"title", outline.title}, {"category", outline.category}});
            } else {
                progress.Clear();
                std::cout << path << ":" << index << ": " << (item.checked ? "[x] " : "") << item.text << "\n";
            }
        }
    }
    progress.Clear();
    if (options.json) std::cout << found.dump(2) << "\n";
    return any;
}

}  // namespace

void AddSearchCommands(CLI::App& app) {
    auto options = std::make_shared<Options>();
    auto* search = app.add_subcommand("search", "Find items by text or note in documents and folders (recursively).");
    search->add_option("pattern", options->pattern, "the text to find")->required();
    search->add_option("places", options->places, "documents and folders (default: .)");
    search->add_option("--in", options->in, "where to look: text, note or both")
        ->check(CLI::IsMember({"text", "note", "both"}));
    search->add_flag("-i,--ignore-case", options->ignoreCase, "fold letter case (ASCII letters)");
    auto* checked = search->add_flag("--checked", options->checked, "only checked items");
    search->add_flag("--unchecked", options->unchecked, "only unchecked items")->excludes(checked);
    search->add_option("--category", options->category, "only documents of this category")
        ->each([options](const std::string&) { options->categoryGiven = true; });
    search->add_flag("--json", options->json, "print the matches as a JSON array");
    search->callback([options] {
        if (options->places.empty()) options->places.push_back(".");
        int unreadable = 0;
        const bool any = Search(*options, unreadable);
        if (unreadable > 0) throw Failure(std::to_string(unreadable) + " documents could not be read", kExitUsage);
        if (!any) throw Failure("", kExitProblem);
    });
}

}  // namespace zro
