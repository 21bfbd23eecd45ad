#!/usr/bin/env bash
# Builds the library and shows it at work on real files: the demonstration program builds,
# queries, changes, saves, reloads and prints a property-list tree; then commonutil scans the
# sample media folder that the repository ships into a content-information file and lists it.
#
#   scripts/demo.sh [FOLDER]   files go to FOLDER (kept), else to a temporary folder (removed)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$root/build-linux
cmake -S "$root" -B "$build" -G Ninja >/dev/null
cmake --build "$build" -j "${JOBS:-2}" --target commonutility_demo commonutil

folder=${1:-}
if [[ -z $folder ]]; then
  folder=$(mktemp -d)
  trap 'rm -rf "$folder"' EXIT
fi
"$build/examples/commonutility_demo" "$folder"

commonutil=$build/tools/commonutil/commonutil
echo
echo "== commonutil contentinfo scan examples/media -o $folder/media.plist"
"$commonutil" contentinfo scan "$root/examples/media" -o "$folder/media.plist"
echo
echo "== commonutil contentinfo list $folder/media.plist"
"$commonutil" contentinfo list "$folder/media.plist"
