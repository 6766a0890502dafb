#!/usr/bin/env bash
# The whole test suite: builds, then runs every test executable under Wine. Arguments go to ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
# Nothing of Wine stays running afterwards, also after a failure.
trap 'cmake/wine-run --stop' EXIT
scripts/build.sh
ctest --preset mingw "$@"
