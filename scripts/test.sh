#!/usr/bin/env bash
# Builds everything with AddressSanitizer + UndefinedBehaviorSanitizer and
# runs every test through CTest; then builds the release configuration.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/asan
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DNOTESTORE_SANITIZE=ON -DNOTESTORE_TESTS=ON -DNOTESTORE_WERROR=ON >/dev/null
cmake --build "$build" -j "$(nproc)"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" --timeout 600

# The optimised build warns differently: make sure the main job and the
# libraries still build there too.
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DNOTESTORE_TESTS=OFF -DNOTESTORE_WERROR=ON >/dev/null
cmake --build build/release -j "$(nproc)"
