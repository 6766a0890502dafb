#!/usr/bin/env bash
# Configures and builds the mingw preset (the DLL, the host program and the tests).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset mingw >/dev/null
cmake --build --preset mingw
