#!/usr/bin/env bash
# Builds the release configuration with the benchmarks and reports each
# benchmark beside its baseline, as ratios measured in one run.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DNOTESTORE_TESTS=OFF -DNOTESTORE_BENCH=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target engine_bench
"$build/bench/engine_bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  --benchmark_format=json --benchmark_out="$build/engine.json" --benchmark_out_format=json >/dev/null
python3 - "$build/engine.json" <<'PY'
import json, sys
runs = {b["run_name"]: b["real_time"] for b in json.load(open(sys.argv[1]))["benchmarks"] if b.get("aggregate_name") == "median"}
def ratio(a, b):
    print(f"{a:22s} {runs[a]:9.2f} ms   {b:20s} {runs[b]:9.2f} ms   ratio {runs[a] / runs[b]:6.2f}")
ratio("BM_ContainerWrite", "BM_BaselineWrite")
ratio("BM_ContainerRead", "BM_BaselineRead")
for name in ("BM_DeleteFromFront", "BM_PurgeDeleted"):
    print(f"{name:22s} {runs[name]:9.2f} ms   (100,000 records)")
PY
