#!/usr/bin/env bash
# The whole test suite: builds, then runs every test executable under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
ctest --preset mingw "$@"
