// The category database file: list, add, rename, delete and undelete, each
// through the library's CCategoryDB and its save path; a rename or delete
// can carry the change to the documents of a folder (updateFileCategory on
// each document that names the category), or only list them (--dry-run).
#include <algorithm>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "notestore/categories/CategoryDB.h"
#include "notestore/categories/DocumentCategories.h"
#include "notestore/foundation/File.h"
#include "notestore/foundation/Time.h"
#include "tools/zro/Commands.h"
#include "tools/zro/Document.h"
#include "tools/zro/LibraryCall.h"

namespace zro {

namespace {

using zr_gen::CCategoryDB;
using zr_gen::CCategoryRecord;
using zr_gen::CFile;

struct Options {
    std::string database;
    std::string name;
    std::string newName;
    std::string unfiled = "Unfiled";
    std::string folder;
    bool dryRun = false;
    bool all = false;
};

std::string NameOf(CCategoryRecord& record) {
    zr_gen::_String name;
    record.GetCategoryName(name);
    return Narrow(name.Text());
}

// How a command uses the database file.
enum class Use { kRead, kChange, kChangeOrCreate };

// The database read from its file, or a new one (with only the unfiled
// category) for kChangeOrCreate when there is no file yet.
class CategoryFile {
public:
    CategoryFile(std::string path, Use use, const std::string& unfiled = {}) : path_(std::move(path)) {
        std::error_code error;
        isNew_ = use == Use::kChangeOrCreate && !std::filesystem::exists(path_, error);
        if (!isNew_ && !std::filesystem::is_regular_file(path_, error)) {
            throw Failure(path_ + ": no such file", kExitUsage);
        }
        const uint32_t mode = use == Use::kRead ? CFile::kModeRead | CFile::kShareRead
                                                : CFile::kModeReadWrite | CFile::kShareRead;
        CallLibrary(path_, kExitUsage, [&] {
            if (isNew_) {
                CCategoryDB::setUnfiledCategoryName(Wide(unfiled).c_str());
                db_.InitNewDatabase();
                return;
            }
            if (db_.Open(Wide(path_).c_str(), mode) != 1) {
                throw Failure(path_ + ": cannot open it", kExitUsage);
            }
            db_.ReadConduitHeader();
            db_.ReadRows();
            for (uint32_t slot = 0; slot < Slots(); ++slot) NameOf(*db_.GetCatRecordset()->getCategoryRecord(slot));  // every name reads
        });
    }

    CCategoryDB& Db() { return db_; }
    const std::string& Path() const { return path_; }
    uint32_t Slots() const { return static_cast<uint32_t>(db_.GetRecordset()->getSize()); }

    CCategoryRecord& Live(const std::string& name) {
        CCategoryRecord* record = db_.FindCategory(Wide(name).c_str());
        if (record == nullptr) throw Failure(path_ + ": no category \"" + name + "\"", kExitProblem);
        return *record;
    }

    // The name documents fall back to when their category goes.
    std::string Unfiled() {
        CCategoryRecord* record = db_.FindCategory(uint32_t{0});
        if (record == nullptr) throw Failure(path_ + ": the unfiled category (id 0) is missing", kExitProblem);
        return NameOf(*record);
    }

    void Save() {
        CallLibrary(path_, kExitProblem, [&] {
            if (isNew_ && db_.Open(Wide(path_).c_str(), CFile::kCreate | CFile::kModeReadWrite) != 1) {
                throw Failure(path_ + ": cannot create it", kExitProblem);
            }
            db_.WriteAllHeaders();
            db_.WriteRows();
            db_.Close();
        });
    }

private:
    std::string path_;
    bool isNew_ = false;
    CCategoryDB db_;
};

void RequireName(const std::string& name) {
    if (name.empty()) throw Failure("a category needs a name", kExitUsage);
}

// The documents of `folder` that name `category`, in name order. A document
// that cannot be read is reported and left out.
std::vector<std::string> DocumentsNaming(const std::string& folder, const std::string& category) {
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error)) throw Failure(folder + ": not a folder", kExitUsage);
    std::vector<std::string> paths;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        if (entry.is_regular_file(error) && entry.path().extension() == ".zro") paths.push_back(entry.path().string());
    }
    std::sort(paths.begin(), paths.end());
    std::vector<std::string> naming;
    for (const std::string& path : paths) {
        try {
            Document document(path, Document::Access::kRead);
            zr_gen::_String name;
            document.Db().GetCategoryName(name);
            if (Narrow(name.Text()) == category) naming.push_back(path);
        } catch (const Failure& failure) {
            std::cerr << "zro: skipped " << failure.what() << "\n";
        }
    }
    return naming;
}

// Lists (dry run) or rewrites the documents of the folder from `from` to
// `to`; the first document that fails makes the command fail at the end.
void CarryToFolder(const Options& options, const std::string& from, const std::string& to) {
    if (options.folder.empty()) return;
    bool failed = false;
    for (const std::string& path : DocumentsNaming(options.folder, from)) {
        if (options.dryRun) {
            std::cout << "would change " << path << ": \"" << from << "\" -> \"" << to << "\"\n";
        } else if (zr_gen::updateFileCategory(Wide(path).c_str(), false, Wide(from).c_str(), Wide(to).c_str())) {
            std::cout << "changed " << path << "\n";
        } else {
            std::cerr << "zro: " << path << ": its category could not be rewritten\n";
            failed = true;
        }
    }
    if (failed) throw Failure("some documents keep \"" + from + "\"", kExitProblem);
}

CLI::App* Command(CLI::App& parent, const char* name, const char* about, Options& options) {
    auto* command = parent.add_subcommand(name, about);
    command->add_option("database", options.database, "the category database file")->required();
    return command;
}

void AddFolderOptions(CLI::App* command, Options& options) {
    command->add_option("--folder", options.folder, "also change the documents (*.zro) of this folder");
    command->add_flag("--dry-run", options.dryRun, "only list what would change");
}

}  // namespace

void AddCategoryCommands(CLI::App& app) {
    auto options = std::make_shared<Options>();
    auto* category = app.add_subcommand("category", "List and change the categories of a category database.");
    category->require_subcommand(1);

    auto* list = Command(*category, "list", "List the categories: slot, id, name.", *options);
    list->add_flag("-a,--all", options->all, "deleted categories too");
    list->callback([options] {
        CategoryFile file(options->database, Use::kRead);
        for (uint32_t slot = 0; slot < file.Slots(); ++slot) {
            CCategoryRecord& record = *file.Db().GetCatRecordset()->getCategoryRecord(slot);
            const bool live = !record.IsEmpty();
            if (!live && !(options->all && record.IsDeleted())) continue;
            std::cout << slot << "\t" << record.GetCategoryId() << "\t" << NameOf(record)
                      << (live ? "" : "\t(deleted)") << "\n";
        }
    });

    auto* add = Command(*category, "add", "Add a category (making the database when there is none).", *options);
    add->add_option("name", options->name, "its name")->required();
    add->add_option("--unfiled", options->unfiled, "a new database's unfiled category (default: Unfiled)");
    add->callback([options] {
        RequireName(options->name);
        CategoryFile file(options->database, Use::kChangeOrCreate, options->unfiled);
        CCategoryDB& db = file.Db();
        if (db.FindCategory(Wide(options->name).c_str()) != nullptr) {
            throw Failure(file.Path() + ": \"" + options->name + "\" is there already", kExitProblem);
        }
        if (db.isFull() != 0) {
            throw Failure(file.Path() + ": it holds the most categories it can (" +
                              std::to_string(CCategoryDB::GetMaxCategoryAmount()) + ")",
                          kExitProblem);
        }
        CallLibrary(file.Path(), kExitProblem, [&] { db.AddNewCategory(Wide(options->name).c_str(), nullptr); });
        file.Save();
    });

    auto* rename = Command(*category, "rename", "Rename a category.", *options);
    rename->add_option("name", options->name, "its name")->required();
    rename->add_option("new-name", options->newName, "its new name")->required();
    AddFolderOptions(rename, *options);
    rename->callback([options] {
        RequireName(options->newName);
        CategoryFile file(options->database, Use::kChange);
        CCategoryRecord& record = file.Live(options->name);
        if (file.Db().FindCategory(Wide(options->newName).c_str()) != nullptr) {
            throw Failure(file.Path() + ": \"" + options->newName + "\" is there already", kExitProblem);
        }
        if (!options->dryRun) {
            CallLibrary(file.Path(), kExitProblem, [&] {
                file.Db().RenameCategory(&record, Wide(options->newName).c_str(), zr_gen::CTime::GetCurrentTime());
            });
            file.Save();
        }
        CarryToFolder(*options, options->name, options->newName);
    });

    auto* remove = Command(*category, "delete", "Delete a category; its documents become unfiled.", *options);
    remove->add_option("name", options->name, "its name")->required();
    AddFolderOptions(remove, *options);
    remove->callback([options] {
        CategoryFile file(options->database, Use::kChange);
        CCategoryRecord& record = file.Live(options->name);
        if (record.GetCategoryId() == 0) throw Failure(file.Path() + ": the unfiled category stays", kExitProblem);
        const std::string unfiled = file.Unfiled();
        if (!options->dryRun) {
            CallLibrary(file.Path(), kExitProblem,
                        [&] { file.Db().DeleteCategory(&record, zr_gen::CTime::GetCurrentTime()); });
            file.Save();
        }
        CarryToFolder(*options, options->name, unfiled);
    });

    auto* undelete = Command(*category, "undelete", "Bring back a deleted category (with a new id).", *options);
    undelete->add_option("name", options->name, "its name")->required();
    undelete->callback([options] {
        CategoryFile file(options->database, Use::kChange);
        CCategoryDB& db = file.Db();
        if (db.FindCategory(Wide(options->name).c_str()) != nullptr) {
            throw Failure(file.Path() + ": \"" + options->name + "\" is not deleted", kExitProblem);
        }
        CCategoryRecord* deleted = nullptr;
        for (uint32_t slot = 0; slot < file.Slots() && deleted == nullptr; ++slot) {
            CCategoryRecord* record = db.GetCatRecordset()->getCategoryRecord(slot);
            if (record->IsEmpty() && record->IsDeleted() && NameOf(*record) == options->name) deleted = record;
        }
        if (deleted == nullptr) throw Failure(file.Path() + ": no deleted category \"" + options->name + "\"", kExitProblem);
        CallLibrary(file.Path(), kExitProblem,
                    [&] { db.UndeleteCategory(deleted, zr_gen::CTime::GetCurrentTime()); });
        file.Save();
    });
}

}  // namespace zro
