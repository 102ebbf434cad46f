// Saving a 100,000-item outline document with the crash-safe path (the
// database opens the file itself: rollback journal, flushes, rows still in
// place passed over) against the same save written straight into the file
// (the database attached to a file it did not open, which the journal does
// not cover and which writes every row), in one run.
//
// Three saves, each repeated:
// - whole: item 1 grows by 2,000 characters or shrinks back, so that every
//   row after it moves and the whole file is rewritten;
// - one item: an item in the middle is checked or unchecked (its row keeps
//   its size);
// - append: one item more at the end.
// The folder is NOTESTORE_BENCH_DIR, else /var/tmp: a disk folder, where
// flushing costs what it costs on a user's machine.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "notestore/foundation/File.h"
#include "notestore/outline/OutlineDB.h"
#include "platform/Strings.h"
#include "RunAndRemove.h"

namespace {

using zr_gen::CFile;
using zr_gen::COutlineDB;
using zr_gen::COutlineRecord;

constexpr uint32_t kItems = 100000;

// The benchmark's own folder in NOTESTORE_BENCH_DIR, else /var/tmp.
const std::string& Folder() {
    static const std::string folder = [] {
        const char* base = std::getenv("NOTESTORE_BENCH_DIR");
        std::string pattern = std::string(base != nullptr ? base : "/var/tmp") + "/notestore-save-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a temporary folder");
        return pattern;
    }();
    return folder;
}

std::u16string DocumentPath() {
    static const std::u16string path = [] {
        const std::u16string doc = platform::Utf8ToUtf16(Folder() + "/doc.zro");
        COutlineDB db;
        db.Open(doc.c_str(), CFile::kCreate | CFile::kModeReadWrite);
        db.InitNewDatabase();
        db.SetOutlineTitle(u"Benchmark");
        for (uint32_t id = 1; id <= kItems; ++id) {
            auto* item = static_cast<COutlineRecord*>(db.GetRecordset()->Append());
            item->SetId(id);
            item->SetText(u"An outline item of ordinary length, with a few words");
        }
        db.WriteAllHeaders();
        db.WriteRows();
        db.Close();
        return doc;
    }();
    return path;
}

// Opens the benchmark's document to write and reads it whole.
void Load(COutlineDB& db) {
    db.Open(DocumentPath().c_str(), CFile::kModeReadWrite);
    db.ReadSharedHeader();
    db.ReadPrivateHeader();
    db.ReadRows();
}

COutlineRecord* Item(COutlineDB& db, uint32_t index) { return static_cast<COutlineRecord*>(db.getRecord(index)); }

enum class Change { kWhole, kOneItem, kAppend };

void Apply(COutlineDB& db, Change change, uint32_t round) {
    static const std::u16string longText(2000, u'g');
    const bool odd = round % 2 != 0;
    switch (change) {
    case Change::kWhole: Item(db, 0)->SetText(odd ? longText.c_str() : u"short"); break;
    case Change::kOneItem: Item(db, kItems / 2)->SetChecked(odd); break;
    case Change::kAppend: {
        auto* item = static_cast<COutlineRecord*>(db.GetRecordset()->Append());
        item->SetId(kItems + 1 + round);
        item->SetText(u"An appended item of ordinary length");
        break;
    }
    }
}

void SaveRepeatedly(benchmark::State& state, COutlineDB& db, Change change) {
    uint32_t round = 0;
    for (auto _ : state) {
        Apply(db, change, ++round);
        db.WriteAllHeaders();
        db.WriteRows();
    }
    // Appended items go again, so that every run starts from the same file.
    if (change == Change::kAppend) {
        while (db.GetRecordset()->getSize() > static_cast<int32_t>(kItems)) db.GetRecordset()->Delete(kItems);
        db.WriteAllHeaders();
        db.WriteRows();
    }
}

void BM_SaveCrashSafe(benchmark::State& state, Change change) {
    COutlineDB db;
    Load(db);
    SaveRepeatedly(state, db, change);
    db.Close();
}

void BM_SaveDirect(benchmark::State& state, Change change) {
    COutlineDB db;
    Load(db);
    db.Close();
    CFile file;
    file.Open(DocumentPath().c_str(), CFile::kModeReadWrite);
    db.Attach(&file);
    db.ReadDbInfo();
    db.GetHeaderManager().Read(db);
    SaveRepeatedly(state, db, change);
    db.Detach();
}

BENCHMARK_CAPTURE(BM_SaveCrashSafe, whole, Change::kWhole)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_SaveDirect, whole, Change::kWhole)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_SaveCrashSafe, one_item, Change::kOneItem)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_SaveDirect, one_item, Change::kOneItem)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_SaveCrashSafe, append, Change::kAppend)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_SaveDirect, append, Change::kAppend)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) { return RunAndRemove(argc, argv, Folder()); }
