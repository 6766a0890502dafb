#!/usr/bin/env bash
# Builds tag_bench with the mingw preset and runs it under Wine. Arguments go to the
# benchmark (the number of runs per figure, 11 by default).
# BENCH_BUILD_DIR builds elsewhere (same toolchain and build type), for a shared checkout.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
if [ -n "${BENCH_BUILD_DIR:-}" ]; then
  build=$BENCH_BUILD_DIR
  cmake -S "$here" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" --target tag_bench
else
  build=$here/build/mingw
  cmake --preset mingw >/dev/null
  cmake --build --preset mingw --target tag_bench
fi
exec "$here/cmake/wine-run" "$build/bin/tag_bench.exe" "$@"
