#!/usr/bin/env bash
# Runs a fuzz target with libFuzzer for a while: fuzz/run.sh TARGET SECONDS.
# New findings and interesting inputs land in build/fuzz/TARGET.new; copy the
# ones worth keeping into fuzz/corpus/TARGET.
set -euo pipefail
cd "$(dirname "$0")/.."
target=${1:-database_fuzz}
seconds=${2:-60}
build=build/fuzz
mkdir -p "$build"
# Several targets may be fuzzed at once: one of them builds at a time.
(
  flock 9
  CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DNOTESTORE_SANITIZE=ON -DNOTESTORE_FUZZ=ON -DNOTESTORE_TESTS=OFF >/dev/null
  cmake --build "$build" -j "$(nproc)" --target "$target"
) 9>"$build.lock"
mkdir -p "$build/$target.new" "$build/work"
cd "$build/work"
"../fuzz/$target" -max_total_time="$seconds" -rss_limit_mb=4096 -timeout=10 \
  "../$target.new" "../../../fuzz/corpus/$target"
