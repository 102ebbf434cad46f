// Saying whether documents are sound, and saving what can still be read
// from a damaged one.
#include <algorithm>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "tools/zro/Commands.h"
#include "tools/zro/DocumentPaths.h"
#include "tools/zro/Inspection.h"
#include "tools/zro/Progress.h"

namespace zro {

namespace {

// The exit codes of check, worst last.
constexpr int kSound = kExitOk;
constexpr int kDamaged = kExitProblem;
constexpr int kNotADocument = kExitUsage;

// Prints the verdict on one document; returns its exit code.
int Report(const std::string& path, const Inspection& inspection) {
    switch (inspection.verdict) {
        case Inspection::Verdict::kSound:
            std::cout << path << ": sound, " << inspection.soundRows.size() << " items\n";
            return kSound;
        case Inspection::Verdict::kNotADocument:
            std::cout << path << ": not an outline document: " << inspection.findings.front().problem << "\n";
            return kNotADocument;
        case Inspection::Verdict::kDamaged:
            break;
    }
    std::cout << path << ": damaged, " << inspection.soundRows.size() << " of " << inspection.declaredRows
              << " items readable\n";
    for (const Finding& finding : inspection.findings) {
        std::cout << "  offset " << finding.offset;
        if (finding.row >= 0) std::cout << ", row " << finding.row;
        std::cout << ": " << finding.problem << "\n";
    }
    return kDamaged;
}

}  // namespace

void AddCheckCommands(CLI::App& app) {
    struct Options {
        std::vector<std::string> places;
        std::string damaged;
        std::string target;
        bool force = false;
    };
    auto options = std::make_shared<Options>();

    auto* check = app.add_subcommand(
        "check", "Say whether documents are sound; exit 0 all sound, 1 some damaged, 2 some not documents.");
    check->add_option("places", options->places, "documents and folders (folders: every .zro below)")->required();
    check->callback([options] {
        const std::vector<std::string> paths = DocumentPaths(options->places);
        int worst = kSound;
        Progress progress(paths.size());
        for (const std::string& path : paths) {
            progress.Step(path);
            int code = kNotADocument;
            try {
                const Inspection inspection = Inspect(path);
                progress.Clear();
                code = Report(path, inspection);
            } catch (const Failure& failure) {
                progress.Clear();
                std::cout << failure.what() << "\n";
            }
            worst = std::max(worst, code);
        }
        if (worst != kSound) throw Failure("", worst);
    });

    auto* salvage = app.add_subcommand("salvage", "Write a new document with every item a damaged one still holds.");
    salvage->add_option("damaged", options->damaged, "the damaged .zro file (left as it is)")->required();
    salvage->add_option("target", options->target, "the new .zro file")->required();
    salvage->add_flag("-f,--force", options->force, "replace the target when it exists");
    salvage->callback([options] {
        const uint32_t saved = Salvage(options->damaged, options->target, options->force);
        std::cout << options->target << ": " << saved << " items saved\n";
    });
}

}  // namespace zro
