#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only when something is missing.
# Recommended packages are left out; fonts-wine is named because Wine only recommends it and
# the host program draws text.
set -euo pipefail
packages=(cmake ninja-build g++-mingw-w64-x86-64-posix wine64 fonts-wine rapidjson-dev libfmt-dev googletest
  python3)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -ne 0 ] && sudo=sudo
echo "== Installing with apt-get: ${missing[*]}"
$sudo apt-get update
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
