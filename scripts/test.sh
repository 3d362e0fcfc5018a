#!/usr/bin/env bash
# Installs what is needed, builds every preset and runs every test:
#   native (host compiler), native-sanitize (ASan + UBSan), fuzz (clang's libFuzzer with ASan and
#   UBSan, each target a fixed number of runs from a fixed seed), windows (mingw-w64, under Wine).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

jobs=$(nproc)
for preset in native native-sanitize fuzz; do
    echo "== $preset" >&2
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    ctest --preset "$preset" -j "$jobs"
done

echo "== windows" >&2
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs"
scripts/with-wine.sh ctest --preset windows
