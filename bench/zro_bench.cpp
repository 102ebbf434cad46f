// zro's exports of a 100,000-item document, each against `zro show` (read
// the document, print it as text) on the same document in the same run:
// every benchmark reads the file and writes its form into memory; Show
// writes each item as it reads it, as `zro show` does, the exports read the
// whole outline first.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "tools/zro/Html.h"
#include "tools/zro/JsonForm.h"
#include "tools/zro/Markdown.h"
#include "tools/zro/Opml.h"
#include "tools/zro/Outline.h"
#include "tools/zro/OutlineText.h"

namespace {

constexpr int kItems = 100000;

// Items nested up to five deep, a note on every third, every seventh
// checked, every eleventh collapsed; no drawings (their cost is the PNG
// encoder's, measured per drawing elsewhere).
const std::string& DocumentPath() {
    static const std::string path = [] {
        const std::string file = (std::filesystem::temp_directory_path() / "zro_bench_100k.zro").string();
        zro::Outline outline;
        outline.title = "Benchmark";
        for (int i = 0; i < kItems; ++i) {
            zro::Item item;
            item.indent = static_cast<uint32_t>(i % 5);
            item.text = "Item number " + std::to_string(i) + " with a few words of text";
            if (i % 3 == 0) item.note = "A note line\nand a second line of the note";
            item.checked = i % 7 == 0;
            item.expanded = i % 11 != 0;
            outline.items.push_back(std::move(item));
        }
        zro::Save(outline, file);
        return file;
    }();
    return path;
}

// JSON and OPML read the stored form too, as `zro export` does for them.
template <class Convert>
void Export(benchmark::State& state, Convert convert, zro::Detail detail = zro::Detail::kFields) {
    const std::string& path = DocumentPath();
    for (auto _ : state) {
        const std::string out = convert(zro::Load(path, detail));
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * kItems);
}

void BM_Show(benchmark::State& state) {
    for (auto _ : state) {
        const std::string out = zro::DocumentText(DocumentPath());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * kItems);
}
void BM_ExportJson(benchmark::State& state) { Export(state, zro::ToJson, zro::Detail::kStoredForm); }
void BM_ExportOpml(benchmark::State& state) { Export(state, zro::ToOpml, zro::Detail::kStoredForm); }
void BM_ExportMarkdown(benchmark::State& state) {
    Export(state, [](const zro::Outline& outline) { return zro::ToMarkdown(outline, "drawings").text; });
}
void BM_ExportHtml(benchmark::State& state) { Export(state, zro::ToHtml); }

BENCHMARK(BM_Show)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportJson)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportOpml)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportMarkdown)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportHtml)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
