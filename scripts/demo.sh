#!/usr/bin/env bash
# Builds the library and runs the demonstration program: a property-list tree built, queried,
# changed, saved to a file in a fresh folder, loaded back and printed.
#
#   scripts/demo.sh [FOLDER]   the file goes to FOLDER (kept), else to a temporary folder (removed)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$root/build-linux
cmake -S "$root" -B "$build" -G Ninja >/dev/null
cmake --build "$build" -j "${JOBS:-2}" --target commonutility_demo

folder=${1:-}
if [[ -z $folder ]]; then
  folder=$(mktemp -d)
  trap 'rm -rf "$folder"' EXIT
fi
"$build/examples/commonutility_demo" "$folder"
