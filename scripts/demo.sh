#!/usr/bin/env bash
# Builds the library and shows it at work on real files: the demonstration program builds,
# queries, changes, saves, reloads and prints a property-list tree; then commonutil scans the
# sample media folder that the repository ships into a content-information file and lists it.
#
#   scripts/demo.sh [FOLDER]   files go to FOLDER, else to a new temporary folder; either is kept
#                              and named at the end
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$root/build-linux
cmake -S "$root" -B "$build" -G Ninja >/dev/null
cmake --build "$build" -j "${JOBS:-2}" --target commonutility_demo commonutil

folder=${1:-}
made=""
if [[ -z $folder ]]; then
  folder=$(mktemp -d "${TMPDIR:-/tmp}/commonutility-demo.XXXXXX")
  made=yes
fi
mkdir -p "$folder"
"$build/examples/commonutility_demo" "$folder"

commonutil=$build/tools/commonutil/commonutil
echo
echo "== commonutil contentinfo scan examples/media -o $folder/media.plist"
"$commonutil" contentinfo scan "$root/examples/media" -o "$folder/media.plist"
echo
echo "== commonutil contentinfo list $folder/media.plist"
"$commonutil" contentinfo list "$folder/media.plist"
echo
if [[ -n $made ]]; then
  echo "== The files are in the temporary folder $folder (remove it when done; scripts/demo.sh FOLDER picks one)"
else
  echo "== The files are in $folder"
fi
