// The main of a benchmark that writes its documents into a folder of its own:
// runs the benchmarks, then removes the folder, so that a run leaves nothing
// behind (a repeated run would otherwise pile up documents in tmpfs too).
#pragma once

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

inline int RunAndRemove(int argc, char** argv, const std::string& folder) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(folder);
    return 0;
}
