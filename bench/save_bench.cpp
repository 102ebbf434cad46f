// Saving a 100,000-item outline document with the crash-safe path (the
// database opens the file itself: rollback journal, flushes) against the
// same save written straight into the file (the database attached to a
// file it did not open, which the journal does not cover), in one run.
//
// Each save grows item 1 by 2,000 characters or shrinks it back, so that
// every row after it moves and the whole file is rewritten. The folder is
// NOTESTORE_BENCH_DIR, else /var/tmp: a disk folder, where flushing costs
// what it costs on a user's machine.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "notestore/foundation/File.h"
#include "notestore/outline/OutlineDB.h"
#include "platform/Strings.h"

namespace {

using zr_gen::CFile;
using zr_gen::COutlineDB;
using zr_gen::COutlineRecord;

constexpr uint32_t kItems = 100000;

std::u16string DocumentPath() {
    static const std::u16string path = [] {
        const char* base = std::getenv("NOTESTORE_BENCH_DIR");
        std::string pattern = std::string(base != nullptr ? base : "/var/tmp") + "/notestore-save-XXXXXX";
        const std::string folder = mkdtemp(pattern.data());
        const std::u16string doc = platform::Utf8ToUtf16(folder + "/doc.zro");
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

void Load(COutlineDB& db) {
    db.ReadSharedHeader();
    db.ReadPrivateHeader();
    db.ReadRows();
}

void Toggle(COutlineDB& db, bool grow) {
    static const std::u16string longText(2000, u'g');
    static_cast<COutlineRecord*>(db.getRecord(0))->SetText(grow ? longText.c_str() : u"short");
}

void SaveRepeatedly(benchmark::State& state, COutlineDB& db) {
    bool grow = true;
    for (auto _ : state) {
        Toggle(db, grow = !grow);
        db.WriteAllHeaders();
        db.WriteRows();
    }
}

void BM_SaveCrashSafe(benchmark::State& state) {
    const std::u16string path = DocumentPath();
    COutlineDB db;
    db.Open(path.c_str(), CFile::kModeReadWrite);
    Load(db);
    SaveRepeatedly(state, db);
    db.Close();
}

void BM_SaveDirect(benchmark::State& state) {
    const std::u16string path = DocumentPath();
    COutlineDB db;
    db.Open(path.c_str(), CFile::kModeReadWrite);
    Load(db);
    db.Close();
    CFile file;
    file.Open(path.c_str(), CFile::kModeReadWrite);
    db.Attach(&file);
    db.ReadDbInfo();
    db.GetHeaderManager().Read(db);
    SaveRepeatedly(state, db);
    db.Detach();
}

BENCHMARK(BM_SaveCrashSafe)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SaveDirect)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
