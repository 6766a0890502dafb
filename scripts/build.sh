#!/usr/bin/env bash
# Configures the mingw preset and builds the given targets, or everything (the DLL, the host
# program, the tests and the benchmark).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
echo "== Configuring: cmake --preset mingw"
cmake --preset mingw
targets=()
for target in "$@"; do targets+=(--target "$target"); done
echo "== Building: ${*:-everything}"
cmake --build --preset mingw "${targets[@]}"
