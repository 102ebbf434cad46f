#!/usr/bin/env bash
# Builds the release configuration and runs the main job on the bundled default.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DNOTESTORE_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target zrdemo
"$build/tools/zrdemo" "$@"
