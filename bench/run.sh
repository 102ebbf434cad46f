#!/usr/bin/env bash
# Builds the release configuration with the benchmarks and reports each
# benchmark beside its baseline, as ratios measured in one run. Repetitions
# of all benchmarks run in random order, so that a change in the machine's
# load (a shared host) falls on ours and the baseline alike.
# bench/run.sh [engine] [drawings] [outline] [zro] [save]: the suites to run,
# by default all.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/bench
suites=("$@")
[ ${#suites[@]} -gt 0 ] || suites=(engine drawings outline zro save)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DNOTESTORE_TESTS=OFF -DNOTESTORE_BENCH=ON >/dev/null

run() {  # suite: builds and runs SUITE_bench into $build/SUITE.json
  cmake --build "$build" -j "$(nproc)" --target "$1_bench"
  "$build/bench/$1_bench" --benchmark_repetitions=10 --benchmark_enable_random_interleaving=true \
    --benchmark_report_aggregates_only=true \
    --benchmark_format=json --benchmark_out="$build/$1.json" --benchmark_out_format=json >/dev/null
}

for suite in "${suites[@]}"; do
  case "$suite" in
    engine)
      run engine
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
      ;;
    save)
      run save
      python3 - "$build/save.json" <<'PY'
import json, sys
benchmarks = [b for b in json.load(open(sys.argv[1]))["benchmarks"] if "aggregate_name" in b]
stats = {(b["run_name"].removesuffix("/real_time"), b["aggregate_name"]): b for b in benchmarks}
for save in ("whole", "one_item", "append"):
    for name in (f"BM_SaveCrashSafe/{save}", f"BM_SaveDirect/{save}"):
        median, stddev = stats[(name, "median")], stats[(name, "stddev")]
        print(f"{name:26s} median {median['real_time']:8.2f} ms (CPU {median['cpu_time']:7.2f})"
              f"  stddev {stddev['real_time']:6.2f} ms  (100,000 items)")
    safe, direct = stats[(f"BM_SaveCrashSafe/{save}", "median")], stats[(f"BM_SaveDirect/{save}", "median")]
    print(f"{save}: crash-safe / direct {safe['real_time'] / direct['real_time']:.2f} real,"
          f" {safe['cpu_time'] / direct['cpu_time']:.2f} CPU (target at most 2)")
PY
      ;;
    drawings)
      run drawings
      python3 - "$build/drawings.json" <<'PY'
import json, sys
medians = [b for b in json.load(open(sys.argv[1]))["benchmarks"] if b.get("aggregate_name") == "median"]
speed = {b["run_name"]: b["bytes_per_second"] / 1e6 for b in medians}
size = {b["run_name"]: b["compressed"] for b in medians if "compressed" in b}
targets = {("Compress", "text"): 1.2, ("Compress", "mixed"): 0.4, ("Compress", "drawing"): 0.25,
           ("Decompress", "text"): 0.8, ("Decompress", "mixed"): 0.4, ("Decompress", "drawing"): 0.3,
           ("Compress", "sketch24"): 0.5, ("Compress", "sketch8"): 0.5,
           ("Decompress", "sketch24"): 0.5, ("Decompress", "sketch8"): 0.5}
labels = {"drawing": "240x320 drawing", "text": "10 KB text", "mixed": "1 MB mixed",
          "sketch24": "sketch 24-bit", "sketch8": "sketch 8-bit"}
inputs = ("text", "mixed", "drawing", "sketch24", "sketch8")
print("Throughput in MB/s of uncompressed bytes; ratio = ours / LZ4 (higher is better)")
print(f"{'input':16s} {'operation':10s} {'ours':>9s} {'LZ4':>9s} {'ratio':>6s} {'target':>7s}   {'size ours':>9s} {'size LZ4':>8s}")
for op in ("Compress", "Decompress"):
    for data in inputs:
        ours, lz4 = speed[f"{op}/ours/{data}"], speed[f"{op}/lz4/{data}"]
        ratio, target = ours / lz4, targets[(op, data)]
        sizes = ""
        if op == "Compress":
            sizes = f"{size[f'{op}/ours/{data}']:9.1%} {size[f'{op}/lz4/{data}']:8.1%}"
        print(f"{labels[data]:16s} {op.lower():10s} {ours:9.0f} {lz4:9.0f} {ratio:6.2f} {target:7.2f}{' ' if ratio >= target else '!'}  {sizes}")
for data in inputs:
    copy = speed[f"Memcpy/{data}"]
    print(f"{labels[data]:16s} {'memcpy':10s} {copy:9.0f} MB/s   compress {speed[f'Compress/ours/{data}'] / copy:6.3f}x,"
          f" decompress {speed[f'Decompress/ours/{data}'] / copy:6.3f}x of memcpy")
trip = next(b for b in medians if b["run_name"] == "RoundTripDrawing")
print(f"240x320 drawing  DIB -> internal block -> DIB: {trip['real_time']:.0f} {trip['time_unit']} (target: well under 1 ms)")
PY
      ;;
    outline)
      run outline
      python3 - "$build/outline.json" <<'PY'
import json, sys
report = json.load(open(sys.argv[1]))
def named(aggregate):  # timed in real time: the names end in "/real_time"
    return {b["run_name"].removesuffix("/real_time"): b["real_time"] for b in report["benchmarks"] if b.get("aggregate_name") == aggregate}
medians, cv = named("median"), named("cv")
print(f"100,000 items; document {int(report['context']['document bytes']):,} bytes, SQLite database {int(report['context']['database bytes']):,} bytes")
print("median ms (coefficient of variation over the repetitions); ratio = ours / SQLite (lower is better)")
def row(label, op, baseline, target):
    ours, theirs = medians[f"{op}/ours"], medians[f"{op}/{baseline}"]
    ratio = ours / theirs
    print(f"{label:30s} ours {ours:9.2f} ({cv[f'{op}/ours']:4.0%})  {baseline:14s} {theirs:8.2f} ({cv[f'{op}/{baseline}']:4.0%})"
          f"  ratio {ratio:7.2f}  target <= {target}{'' if ratio <= target else ' !'}")
row("create and save all", "Create", "sqlite", 1.0)
row("create and save all", "Create", "sqlite_nosync", 1.0)
row("open and read all", "Read", "sqlite", 1.0)
row("append one item and save", "Append", "sqlite", 5.0)
row("append one item and save", "Append", "sqlite_nosync", 5.0)
row("add one item (processes)", "AddTool", "sqlite", 5.0)
row("dump as text (processes)", "Show", "sqlite", 1.5)
PY
      # Peak memory of reading the benchmark's document through the library
      # and of `zro show` on it, each beside the same on a one-item document
      # (the process's fixed share); then reading a document five times as
      # large, where that share weighs less.
      folder=$(mktemp -d)
      "$build/bench/outline_bench" --write-document "$folder/big.zro"
      printf 'Title: One\n\n- [ ] item\n' > "$folder/one.txt"
      "$build/tools/zro" import "$folder/one.txt" "$folder/one.zro"
      peak() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1; }
      size=$(stat -c %s "$folder/big.zro")
      for reader in "$build/bench/outline_bench --read-document" "$build/tools/zro show"; do
        big=$(peak $reader "$folder/big.zro")
        one=$(peak $reader "$folder/one.zro")
        python3 -c "import sys; size, big, one = int(sys.argv[1]), int(sys.argv[2]) * 1024, int(sys.argv[3]) * 1024; print(f'peak memory of {sys.argv[4]}: {big / 1e6:.1f} MB = {big / size:.2f}x the {size / 1e6:.1f} MB file; less a one-item document\'s {one / 1e6:.1f} MB: {(big - one) / size:.2f}x (target <= 1.5)')" "$size" "$big" "$one" "${reader##*/}"
      done
      "$build/bench/outline_bench" --write-document "$folder/huge.zro" 5
      size=$(stat -c %s "$folder/huge.zro")
      huge=$(peak "$build/bench/outline_bench" --read-document "$folder/huge.zro")
      python3 -c "import sys; size, peak = int(sys.argv[1]), int(sys.argv[2]) * 1024; print(f'peak memory of outline_bench --read-document on 500,000 items: {peak / 1e6:.1f} MB = {peak / size:.2f}x the {size / 1e6:.1f} MB file (target <= 1.5)')" "$size" "$huge"
      rm -rf "$folder"
      ;;
    zro)
      run zro
      python3 - "$build/zro.json" <<'PY'
import json, sys
runs = {b["run_name"]: b["real_time"] for b in json.load(open(sys.argv[1]))["benchmarks"] if b.get("aggregate_name") == "median"}
show = runs["BM_Show"]
print(f"{'100,000 items':18s} {'ms':>9s} {'/ show':>7s}")
for name in ("BM_Show", "BM_ExportJson", "BM_ExportOpml", "BM_ExportMarkdown", "BM_ExportHtml"):
    print(f"{name[3:]:18s} {runs[name]:9.1f} {runs[name] / show:7.2f}")
PY
      ;;
    *)
      echo "unknown suite: $suite" >&2
      exit 2
      ;;
  esac
done
