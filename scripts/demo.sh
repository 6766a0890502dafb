#!/usr/bin/env bash
# The main job: builds the DLL and drives it under Wine the way Explorer does, on sample files.
set -euo pipefail
cd "$(dirname "$0")/.."
# Nothing of Wine stays running afterwards, also after a failure. The companion stand-ins record
# the requests they are given but, unlike the suite's programs, leave them: they go too.
trap 'rm -f build/mingw/wineprefix/drive_c/users/*/Temp/lumora_*.json.tmp; cmake/wine-run --stop' EXIT
# Only what the demo runs: the DLL, the host program and the companion stand-ins.
scripts/build.sh TagShellExtension tag_menu_host companion_stand_ins
bin=build/mingw/bin
run=cmake/wine-run

# Sample files on the Wine prefix's C: drive.
echo "== Preparing the Wine prefix (the first time takes a minute)"
"$run" cmd /c exit 0
samples=build/mingw/wineprefix/drive_c/Samples
# Start from the shipped default settings, whatever tests or earlier runs left in the prefix.
rm -rf build/mingw/wineprefix/drive_c/users/*/AppData/Local/Quenbrook/Lumora/Settings
rm -rf "$samples"
mkdir -p "$samples/Summer 2026"
printf '\xff\xd8\xff\xe0 sample' >"$samples/Beach.jpg"
printf '\xff\xd8\xff\xe0 sample' >"$samples/Summer 2026/Sunset.JPG"
printf 'shopping list\n' >"$samples/notes.txt"
printf 'no extension\n' >"$samples/README"
win() {
  local full
  full=$(realpath "$1")
  case "$full" in
    */drive_c/*) echo "C:\\${full#*/drive_c/}" | tr / '\\' ;;
    *) echo "Z:$full" | tr / '\\' ;;
  esac
}

show() {
  echo
  echo "== Explorer opens the context menu on: $*"
  local paths=()
  for p in "$@"; do paths+=("$(win "$samples/$p")"); done
  "$run" "$bin/tag_menu_host.exe" show "$(win "$bin/TagShellExtension.dll")" "${paths[@]}"
}

show Beach.jpg "Summer 2026/Sunset.JPG"
show "Summer 2026"
show notes.txt
show README Beach.jpg

invoke() {
  local title=$1
  shift
  echo
  echo "== The user chooses \"$title\" on: $*"
  local paths=()
  for p in "$@"; do paths+=("$(win "$samples/$p")"); done
  "$run" "$bin/tag_menu_host.exe" invoke "$(win "$bin/TagShellExtension.dll")" "$title" "${paths[@]}"
}

invoke Holiday Beach.jpg "Summer 2026/Sunset.JPG"
invoke "All tags..." Beach.jpg "Summer 2026/Sunset.JPG"
invoke "Remove all tags" Beach.jpg
invoke "Auto tag" Beach.jpg
invoke "Recognize faces" Beach.jpg "Summer 2026"

# Wine serves no property store, so nothing could show as tagged; the host stands in for
# the property-system functions the DLL imports and answers System.Keywords for these files.
keywords=(--keywords "$(win "$samples/Beach.jpg")=Holiday;Family;Work"
  --keywords "$(win "$samples/Summer 2026/Sunset.JPG")=Family;Holiday")
photos=("$(win "$samples/Beach.jpg")" "$(win "$samples/Summer 2026/Sunset.JPG")")
echo
echo "== Explorer opens the context menu on two photos that both carry Holiday and Family (Beach.jpg also Work)"
"$run" "$bin/tag_menu_host.exe" show "${keywords[@]}" "$(win "$bin/TagShellExtension.dll")" "${photos[@]}"

# Why Explorer shows what it shows: the command's every reason to hide, each entry's check mark.
why() {
  echo
  echo "== Why Explorer shows what it shows, on: $*"
  local paths=()
  for p in "$@"; do paths+=("$(win "$samples/$p")"); done
  "$run" "$bin/tag_menu_host.exe" why "${keywords[@]}" "$(win "$bin/TagShellExtension.dll")" "${paths[@]}"
}

why Beach.jpg
why README Beach.jpg
why "Summer 2026"
why Beach.jpg "Summer 2026/Sunset.JPG"

echo
echo "== The same menu as Windows 11 Explorer draws it, light and dark"
mkdir -p docs
"$run" "$bin/tag_menu_host.exe" render "${keywords[@]}" "$(win "$bin/TagShellExtension.dll")" \
  "$(win docs/menu_light.png)" "${photos[@]}"
"$run" "$bin/tag_menu_host.exe" render --dark "${keywords[@]}" "$(win "$bin/TagShellExtension.dll")" \
  "$(win docs/menu_dark.png)" "${photos[@]}"
