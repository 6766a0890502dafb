#!/usr/bin/env bash
# Builds the DLL and lays out the release package in one folder (build/package by default):
# the stripped DLL with its debug information beside it, Content\, the registration script and
# registry files, and the sparse package's manifest with its logo.
set -euo pipefail
cd "$(dirname "$0")/.."
folder=$(realpath -m "${1:-build/package}")
scripts/install-deps.sh
cmake --preset mingw
cmake --build --preset mingw --target TagShellExtension
rm -rf "$folder"
cmake --install build/mingw --prefix "$folder"
echo
echo "Package: $folder"
(cd "$folder" && find . -type f -printf '%10s  %P\n' | sort -k2)
