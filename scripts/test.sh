#!/usr/bin/env bash
# Builds the project and runs its tests: natively on Linux, as a consumer would use it, and
# cross-built for Windows with the tests run under Wine.
#
#   scripts/test.sh                 all three
#   scripts/test.sh linux windows   only the steps named: linux, consumer, windows (or --linux, ...)
#
# Build trees go to build-linux/, build-consumer/ and build-windows/ in the source tree.
# JOBS (default 2) sets the build parallelism.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=${JOBS:-2}
steps=("$@")
[[ ${#steps[@]} -gt 0 ]] || steps=(linux consumer windows)

log() { printf '\n== %s\n' "$*"; }

# A failing test suite does not stop the other steps; the script fails at the end.
summaries=()
failed=0
run_ctest() {  # run_ctest <label> <build dir>: runs the tests and keeps the summary line
  ctest --test-dir "$2" --output-on-failure | tee "$2/ctest.log" || failed=1
  summaries+=("$1: $(grep -E 'tests passed|No tests' "$2/ctest.log" || true)")
}

build() {  # build <build dir> <cmake configure arguments...>
  local dir=$1
  shift
  cmake -S "$root" -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
}

linux() {
  log "Linux: build and test"
  build "$root/build-linux"
  run_ctest Linux "$root/build-linux"
}

# A tiny program that links CommonUtility::CommonUtility, built once with the library added as a
# subdirectory and once against a copy installed into a fresh prefix and found by find_package.
consumer() {
  local dir=$root/build-consumer

  log "Consumer: add_subdirectory"
  cmake -S "$root/tests/consumer" -B "$dir/subdir" -G Ninja \
    -DCOMMONUTILITY_SOURCE_DIR="$root" >/dev/null
  cmake --build "$dir/subdir" -j "$jobs"
  "$dir/subdir/consumer"

  log "Consumer: find_package after install"
  build "$root/build-linux"
  rm -rf "$dir/prefix"
  cmake --install "$root/build-linux" --prefix "$dir/prefix" >/dev/null
  cmake -S "$root/tests/consumer" -B "$dir/package" -G Ninja \
    -DCMAKE_PREFIX_PATH="$dir/prefix" >/dev/null
  cmake --build "$dir/package" -j "$jobs"
  "$dir/package/consumer"
}

windows() {
  local dir=$root/build-windows
  log "Windows: cross build, tests under Wine"
  # The toolchain file bakes this prefix into the test commands.
  export WINEPREFIX=$dir/wineprefix WINEDEBUG=-all
  build "$dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake"

  # Start Wine's server and its background programs before ctest, with their output going
  # nowhere: started by a test, they would inherit the test's output pipes, and ctest would wait
  # for them to exit after every test. The first start creates the prefix (a few seconds).
  mkdir -p "$WINEPREFIX"
  wineserver -p
  trap 'wineserver -k 2>/dev/null || true' EXIT
  WINEDLLOVERRIDES="mscoree,mshtml=" wine wineboot >/dev/null 2>&1
  run_ctest "Windows (Wine)" "$dir"
}

for step in "${steps[@]}"; do
  step=${step#--}
  case $step in
    linux | consumer | windows) "$step" ;;
    *) echo "test.sh: unknown step '$step' (expected linux, consumer or windows)" >&2; exit 2 ;;
  esac
done

if [[ ${#summaries[@]} -gt 0 ]]; then
  log "Test summary"
  printf '%s\n' "${summaries[@]}"
fi
exit "$failed"
