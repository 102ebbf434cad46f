// Outline documents against SQLite, the embedded store a desktop outliner
// would pick instead, on the same 100,000 items (text, note, level, check
// and expanded marks) held in memory as the zro tool holds them:
// - create and save all: a new document, against one SQLite transaction
//   inserting every row into a fresh database;
// - open and read all: back into the same in-memory outline, against one
//   SELECT in item order;
// - append one item and save: to the document held open, as the
//   application holds it (read once), against one INSERT committed on its
//   own on an open connection;
// - add one item with the tools: `zro add` (opens and reads the document,
//   appends, saves) against `sqlite3` running one INSERT (both as
//   processes);
// - dump as text: `zro show` against the `sqlite3` shell printing every row
//   (both as processes, output to /dev/null).
// SQLite runs twice where it writes: with its default settings (rollback
// journal, synchronous FULL: it syncs at each commit), and with synchronous
// OFF, which matches a document save that does not sync the file.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sqlite3.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "notestore/foundation/File.h"
#include "notestore/outline/OutlineDB.h"
#include "notestore/outline/OutlineRecord.h"
#include "platform/Strings.h"
#include "tools/zro/Outline.h"

extern char** environ;

namespace {

constexpr int kItems = 100000;

// Sentences of common words, 3 to 14 of them.
std::string Words(std::mt19937& engine, uint32_t least, uint32_t most) {
    static const char* const kWords[] = {"call",  "meeting", "notes",  "project", "garden", "letter", "buy",   "milk",
                                         "plan",  "trip",    "review", "draft",   "send",   "the",    "a",     "to",
                                         "with",  "before",  "after",  "Monday",  "report", "ideas",  "list",  "check"};
    std::string text;
    const uint32_t count = least + engine() % (most - least + 1);
    for (uint32_t i = 0; i < count; ++i) {
        if (i != 0) text += ' ';
        text += kWords[engine() % std::size(kWords)];
    }
    return text;
}

// Levels wander as in a real outline; a quarter of the items have a note
// of one or two lines.
const zro::Outline& Items() {
    static const zro::Outline outline = [] {
        zro::Outline made;
        made.title = "Benchmark";
        made.category = "Work";
        std::mt19937 engine(100000);
        uint32_t indent = 0;
        for (int i = 0; i < kItems; ++i) {
            zro::Item item;
            item.id = static_cast<uint32_t>(i + 1);
            item.indent = indent;
            item.checked = engine() % 5 == 0;
            item.expanded = engine() % 7 != 0;
            item.text = Words(engine, 3, 14);
            if (engine() % 4 == 0) {
                item.note = Words(engine, 2, 10);
                if (engine() % 2 != 0) item.note.append("\n").append(Words(engine, 2, 8));
            }
            made.items.push_back(std::move(item));
            const uint32_t step = engine() % 8;
            if (step == 0 && indent < 6) ++indent;
            if (step == 1 && indent > 0) --indent;
        }
        return made;
    }();
    return outline;
}

std::string Folder() {
    static const std::string folder = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "notestore-outline-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a temporary folder");
        return pattern;
    }();
    return folder;
}

std::string PathOf(const std::string& name) { return Folder() + "/" + name; }

// ---- SQLite ----

class Sqlite {
public:
    explicit Sqlite(const std::string& path, int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) {
        if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) Fail("open");
    }
    ~Sqlite() { sqlite3_close(db_); }
    Sqlite(const Sqlite&) = delete;
    Sqlite& operator=(const Sqlite&) = delete;

    void Exec(const char* sql) {
        if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) Fail(sql);
    }
    sqlite3_stmt* Prepare(const char* sql) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr) != SQLITE_OK) Fail(sql);
        return statement;
    }
    void Done(sqlite3_stmt* statement) {
        const int result = sqlite3_step(statement);
        sqlite3_finalize(statement);
        if (result != SQLITE_DONE) Fail("step");
    }
    [[noreturn]] void Fail(const std::string& what) { throw std::runtime_error(what + ": " + sqlite3_errmsg(db_)); }

private:
    sqlite3* db_ = nullptr;
};

// Items in document order under their position, the level as a column (as
// the document keeps it), the title and category in a table of their own.
constexpr const char* kSchema =
    "CREATE TABLE outline(title TEXT NOT NULL, category TEXT NOT NULL);"
    "CREATE TABLE items(position INTEGER PRIMARY KEY, id INTEGER NOT NULL, indent INTEGER NOT NULL,"
    " checked INTEGER NOT NULL, expanded INTEGER NOT NULL, text TEXT NOT NULL, note TEXT NOT NULL);";

constexpr const char* kInsertItem =
    "INSERT INTO items(id, indent, checked, expanded, text, note) VALUES(?, ?, ?, ?, ?, ?)";

void Insert(sqlite3_stmt* statement, const zro::Item& item) {
    sqlite3_bind_int64(statement, 1, item.id);
    sqlite3_bind_int64(statement, 2, item.indent);
    sqlite3_bind_int(statement, 3, item.checked);
    sqlite3_bind_int(statement, 4, item.expanded);
    sqlite3_bind_text(statement, 5, item.text.data(), static_cast<int>(item.text.size()), SQLITE_STATIC);
    sqlite3_bind_text(statement, 6, item.note.data(), static_cast<int>(item.note.size()), SQLITE_STATIC);
    const int result = sqlite3_step(statement);
    sqlite3_reset(statement);
    if (result != SQLITE_DONE) throw std::runtime_error("insert failed");
}

void SqliteSave(const zro::Outline& outline, const std::string& path, bool sync) {
    std::filesystem::remove(path);
    Sqlite db(path);
    if (!sync) db.Exec("PRAGMA synchronous=OFF");
    db.Exec(kSchema);
    db.Exec("BEGIN");
    sqlite3_stmt* title = db.Prepare("INSERT INTO outline VALUES(?, ?)");
    sqlite3_bind_text(title, 1, outline.title.c_str(), -1, SQLITE_STATIC);
    sqlite3_bind_text(title, 2, outline.category.c_str(), -1, SQLITE_STATIC);
    db.Done(title);
    sqlite3_stmt* insert = db.Prepare(kInsertItem);
    for (const zro::Item& item : outline.items) Insert(insert, item);
    sqlite3_finalize(insert);
    db.Exec("COMMIT");
}

std::string Column(sqlite3_stmt* statement, int column) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    return std::string(text, static_cast<size_t>(sqlite3_column_bytes(statement, column)));
}

zro::Outline SqliteLoad(const std::string& path) {
    Sqlite db(path, SQLITE_OPEN_READONLY);
    zro::Outline outline;
    sqlite3_stmt* head = db.Prepare("SELECT title, category FROM outline");
    if (sqlite3_step(head) == SQLITE_ROW) {
        outline.title = Column(head, 0);
        outline.category = Column(head, 1);
    }
    sqlite3_finalize(head);
    sqlite3_stmt* rows = db.Prepare("SELECT id, indent, checked, expanded, text, note FROM items ORDER BY position");
    while (sqlite3_step(rows) == SQLITE_ROW) {
        zro::Item item;
        item.id = static_cast<uint32_t>(sqlite3_column_int64(rows, 0));
        item.indent = static_cast<uint32_t>(sqlite3_column_int64(rows, 1));
        item.checked = sqlite3_column_int(rows, 2) != 0;
        item.expanded = sqlite3_column_int(rows, 3) != 0;
        item.text = Column(rows, 4);
        item.note = Column(rows, 5);
        outline.items.push_back(std::move(item));
    }
    sqlite3_finalize(rows);
    return outline;
}


// ---- Processes ----

// Runs `arguments` with its output to /dev/null and waits for it.
void RunQuietly(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (spawned != 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw std::runtime_error("running " + arguments[0] + " failed");
    }
}

// ---- The benchmarks ----

const std::string& Document() {
    static const std::string path = [] {
        std::string made = PathOf("read.zro");
        zro::Save(Items(), made);
        return made;
    }();
    return path;
}

const std::string& Database() {
    static const std::string path = [] {
        std::string made = PathOf("read.sqlite");
        SqliteSave(Items(), made, true);
        return made;
    }();
    return path;
}

zro::Item Appended() {
    zro::Item item;
    item.text = "Call the garden centre about the trees";
    item.note = "before Friday";
    return item;
}

void CreateOurs(benchmark::State& state) {
    const std::string path = PathOf("create.zro");
    for (auto _ : state) zro::Save(Items(), path);
}

void CreateSqlite(benchmark::State& state, bool sync) {
    const std::string path = PathOf(sync ? "create.sqlite" : "create-nosync.sqlite");
    for (auto _ : state) SqliteSave(Items(), path, sync);
}

void ReadOurs(benchmark::State& state) {
    for (auto _ : state) {
        const zro::Outline outline = zro::Load(Document());
        if (outline.items.size() != kItems) state.SkipWithError("wrong item count");
    }
}

void ReadSqlite(benchmark::State& state) {
    for (auto _ : state) {
        const zro::Outline outline = SqliteLoad(Database());
        if (outline.items.size() != kItems) state.SkipWithError("wrong item count");
    }
}

// Each grows its own copy by one item per iteration.
void AppendOurs(benchmark::State& state) {
    const std::string path = PathOf("append.zro");
    std::filesystem::copy_file(Document(), path, std::filesystem::copy_options::overwrite_existing);
    zr_gen::COutlineDB db;
    if (db.Open(platform::Utf8ToUtf16(path).c_str(), zr_gen::CFile::kModeReadWrite) != 1) {
        state.SkipWithError("cannot open the document");
        return;
    }
    db.ReadSharedHeader();
    db.ReadPrivateHeader();
    db.ReadRows();
    const zro::Item appended = Appended();
    const std::u16string text = platform::Utf8ToUtf16(appended.text);
    const std::u16string note = platform::Utf8ToUtf16(appended.note);
    uint32_t id = kItems;
    for (auto _ : state) {
        auto* item = static_cast<zr_gen::COutlineRecord*>(db.GetRecordset()->Append());
        item->SetId(++id);
        item->SetText(text.c_str());
        item->SetNote(note.c_str());
        db.WriteAllHeaders();
        db.WriteRows();
    }
    db.Close();
}

void AppendSqlite(benchmark::State& state, bool sync) {
    const std::string path = PathOf(sync ? "append.sqlite" : "append-nosync.sqlite");
    std::filesystem::copy_file(Database(), path, std::filesystem::copy_options::overwrite_existing);
    Sqlite db(path);
    if (!sync) db.Exec("PRAGMA synchronous=OFF");
    sqlite3_stmt* insert = db.Prepare(kInsertItem);
    const zro::Item appended = Appended();
    for (auto _ : state) Insert(insert, appended);
    sqlite3_finalize(insert);
}

void AddToolOurs(benchmark::State& state) {
    const std::string path = PathOf("add.zro");
    std::filesystem::copy_file(Document(), path, std::filesystem::copy_options::overwrite_existing);
    const zro::Item appended = Appended();
    for (auto _ : state) RunQuietly({ZRO_PATH, "add", path, appended.text, "-n", appended.note});
}

void AddToolSqlite(benchmark::State& state) {
    const std::string path = PathOf("add.sqlite");
    std::filesystem::copy_file(Database(), path, std::filesystem::copy_options::overwrite_existing);
    const zro::Item appended = Appended();
    const std::string insert = "INSERT INTO items(id, indent, checked, expanded, text, note) VALUES(0, 0, 0, 1, '" +
                               appended.text + "', '" + appended.note + "')";
    for (auto _ : state) RunQuietly({"/usr/bin/sqlite3", path, insert});
}

void ShowOurs(benchmark::State& state) {
    for (auto _ : state) RunQuietly({ZRO_PATH, "show", Document()});
}

void ShowSqlite(benchmark::State& state) {
    for (auto _ : state) {
        RunQuietly({"/usr/bin/sqlite3", Database(),
                    "SELECT indent, checked, expanded, text, note FROM items ORDER BY position"});
    }
}

// Opens the document and reads every item's fields as the library's
// callers do, holding the open document, as an application would.
// The benchmark's items `times` over, each copy with ids of its own.
zro::Outline Copies(int times) {
    zro::Outline made = Items();
    for (int copy = 1; copy < times; ++copy) {
        for (int i = 0; i < kItems; ++i) {
            zro::Item item = Items().items[static_cast<size_t>(i)];
            item.id += static_cast<uint32_t>(copy * kItems);
            made.items.push_back(std::move(item));
        }
    }
    return made;
}

int ReadThroughLibrary(const std::string& path) {
    zr_gen::COutlineDB db;
    if (db.Open(platform::Utf8ToUtf16(path).c_str(), zr_gen::CFile::kModeRead | zr_gen::CFile::kShareRead) != 1) return 2;
    db.ReadSharedHeader();
    db.ReadPrivateHeader();
    db.ReadRows();
    size_t units = 0;
    zr_gen::_String text;
    for (int32_t i = 0; i < db.GetRecordset()->getSize(); ++i) {
        auto* record = static_cast<zr_gen::COutlineRecord*>(db.getRecord(static_cast<uint32_t>(i)));
        record->GetText(text);
        units += text.size() + record->GetId() % 2 + record->GetIndent() % 2;
        if (record->HasNote()) {
            record->GetNote(text);
            units += text.size();
        }
    }
    std::printf("%zu items, %zu text units\n", static_cast<size_t>(db.GetRecordset()->getSize()), units);
    db.Close();
    return 0;
}

void Register() {
    const auto add = [](const char* name, auto run) {
        benchmark::RegisterBenchmark(name, run)->Unit(benchmark::kMillisecond)->UseRealTime();
    };
    add("Create/ours", CreateOurs);
    add("Create/sqlite", [](benchmark::State& state) { CreateSqlite(state, true); });
    add("Create/sqlite_nosync", [](benchmark::State& state) { CreateSqlite(state, false); });
    add("Read/ours", ReadOurs);
    add("Read/sqlite", ReadSqlite);
    add("Append/ours", AppendOurs);
    add("Append/sqlite", [](benchmark::State& state) { AppendSqlite(state, true); });
    add("Append/sqlite_nosync", [](benchmark::State& state) { AppendSqlite(state, false); });
    add("AddTool/ours", AddToolOurs);
    add("AddTool/sqlite", AddToolSqlite);
    add("Show/ours", ShowOurs);
    add("Show/sqlite", ShowSqlite);
}

}  // namespace

int main(int argc, char** argv) {
    // `outline_bench --write-document PATH` writes the benchmark's document
    // only, and `--read-document PATH` opens a document and reads every
    // item's fields through the library, for measuring memory from outside.
    // `--write-document PATH COPIES` writes the items COPIES times over.
    if ((argc == 3 || argc == 4) && std::string(argv[1]) == "--write-document") {
        zro::Save(Copies(argc == 4 ? std::atoi(argv[3]) : 1), argv[2]);
        return 0;
    }
    if (argc == 3 && std::string(argv[1]) == "--read-document") return ReadThroughLibrary(argv[2]);
    Register();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    // Both stores hold the same outline before any run.
    benchmark::AddCustomContext("document bytes", std::to_string(std::filesystem::file_size(Document())));
    benchmark::AddCustomContext("database bytes", std::to_string(std::filesystem::file_size(Database())));
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(Folder());
    return 0;
}
