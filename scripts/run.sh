#!/usr/bin/env bash
# Builds the release configuration and runs the main job, the `zro` tool.
# Without arguments: makes a document from the bundled sample outline
# (tools/zro/sample.txt), then prints it back from the stored file and as
# JSON. With arguments: runs `zro` with them (`./scripts/run.sh --help`).
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DNOTESTORE_TESTS=OFF -DNOTESTORE_WERROR=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target zro >/dev/null
zro="$build/tools/zro"
if [ $# -gt 0 ]; then
  exec "$zro" "$@"
fi
document="${TMPDIR:-/tmp}/zro-sample.zro"
"$zro" import tools/zro/sample.txt "$document"
echo "== $document"
"$zro" show "$document"
echo "== as JSON"
"$zro" export --format json "$document"
