// The container against the plain cost of its bytes: writing and reading a
// file of 100,000 rows of 64-byte tagged blocks, beside one write of the
// same bytes and one read that walks the row frames.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "notestore/engine/Database.h"
#include "notestore/engine/RowsCollection.h"
#include "notestore/engine/Rowset.h"
#include "platform/Strings.h"
#include "RunAndRemove.h"

namespace {

constexpr int kRows = 100000;
constexpr uint32_t kCreate = 0x1000 | 0x0002;
constexpr uint32_t kRead = 0x0000;

class BenchDatabase : public zr_gen::CDatabase {
public:
    BenchDatabase() : CDatabase(true) {}
    void CheckDbInfo() override {}

protected:
    void ReadExtraRows() override {}
    void WriteExtraRows() override {}
};

std::string Folder() {
    static const std::string folder = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "notestore-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a temporary folder");
        return pattern;
    }();
    return folder;
}

std::u16string PathOf(const char* name) { return platform::Utf8ToUtf16(Folder() + "/" + name); }

// A fresh record holds 32 bytes of flag tags; one more tag of 17 bytes makes 64.
void FillRows(BenchDatabase& db) {
    const char payload[17] = "0123456789abcdef";
    for (int i = 0; i < kRows; ++i) {
        zr_gen::CDBRecord* record = db.GetRecordset()->Append();
        record->getTaggedDataManager().setData(3, payload, sizeof payload, nullptr, 0);
    }
}

void WriteDatabase(BenchDatabase& db, const std::u16string& path) {
    db.Open(path.c_str(), kCreate);
    db.InitNewDatabase();
    db.WriteAllHeaders();
    db.WriteRows();
    db.Close();
}

const std::vector<uint8_t>& FileBytes() {
    static const std::vector<uint8_t> bytes = [] {
        BenchDatabase db;
        FillRows(db);
        WriteDatabase(db, PathOf("rows.zro"));
        std::vector<uint8_t> all(std::filesystem::file_size(Folder() + "/rows.zro"));
        const int fd = open((Folder() + "/rows.zro").c_str(), O_RDONLY);
        if (read(fd, all.data(), all.size()) != static_cast<ssize_t>(all.size())) all.clear();
        close(fd);
        return all;
    }();
    return bytes;
}

void BM_ContainerWrite(benchmark::State& state) {
    BenchDatabase db;
    FillRows(db);
    const std::u16string path = PathOf("write.zro");
    for (auto _ : state) WriteDatabase(db, path);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(FileBytes().size()));
}

void BM_BaselineWrite(benchmark::State& state) {
    const std::vector<uint8_t>& bytes = FileBytes();
    const std::string path = Folder() + "/baseline.zro";
    for (auto _ : state) {
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) state.SkipWithError("write");
        close(fd);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes.size()));
}

void BM_ContainerRead(benchmark::State& state) {
    FileBytes();
    const std::u16string path = PathOf("rows.zro");
    for (auto _ : state) {
        auto db = std::make_unique<BenchDatabase>();
        db->Open(path.c_str(), kRead);
        db->ReadConduitHeader();
        db->ReadRows();
        db->Close();
        // Freeing the records afterwards is not part of reading them.
        state.PauseTiming();
        if (db->GetRecordset()->getSize() != kRows) state.SkipWithError("rows");
        db.reset();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(FileBytes().size()));
}

uint32_t Le32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }

void BM_BaselineRead(benchmark::State& state) {
    const size_t size = FileBytes().size();
    const std::string path = Folder() + "/rows.zro";
    std::vector<uint8_t> buffer(size);
    for (auto _ : state) {
        const int fd = open(path.c_str(), O_RDONLY);
        if (read(fd, buffer.data(), size) != static_cast<ssize_t>(size)) state.SkipWithError("read");
        close(fd);
        // Walk the frames: start identifier, length, block, end identifier.
        const uint8_t* p = buffer.data();
        size_t offset = 12 + 6 * static_cast<size_t>(p[10] | (p[11] << 8)) + 255;
        int rows = 0;
        while (offset + 12 <= size && std::memcmp(p + offset, "PK\x01\x02", 4) == 0) {
            const uint32_t length = Le32(p + offset + 4);
            if (std::memcmp(p + offset + 8 + length, "PK\x03\x04", 4) != 0) break;
            offset += 12 + length;
            ++rows;
        }
        if (rows != kRows) state.SkipWithError("frames");
        benchmark::DoNotOptimize(rows);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(size));
}

// Emptying a large recordset from the front one record at a time stays
// linear, like purging deleted records.
void BM_DeleteFromFront(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        BenchDatabase db;
        FillRows(db);
        state.ResumeTiming();
        while (db.GetRecordset()->getSize() > 0) db.GetRecordset()->Delete(0);
    }
}

void BM_PurgeDeleted(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        BenchDatabase db;
        FillRows(db);
        for (int i = 0; i < kRows; i += 2) db.getRecord(static_cast<uint32_t>(i))->SetDeleted(true);
        state.ResumeTiming();
        db.purgeDeletedRecs();
    }
}

BENCHMARK(BM_ContainerWrite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BaselineWrite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ContainerRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BaselineRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeleteFromFront)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PurgeDeleted)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return RunAndRemove(argc, argv, Folder()); }
