#!/usr/bin/env bash
# Builds the project and runs its tests: natively on Linux, as a consumer would use it, and
# cross-built for Windows with the tests run under Wine.
#
#   scripts/test.sh                 linux, consumer and windows
#   scripts/test.sh linux windows   only the steps named (or --linux, ...):
#     linux      the suite, built with GCC
#     consumer   a program built against the library by add_subdirectory and find_package
#     windows    the mingw-w64 cross build, its tests under Wine
#     asan       the suite built with AddressSanitizer and UndefinedBehaviorSanitizer (-O1)
#     tsan       the log, registry, lock and tree-ownership tests built with ThreadSanitizer (-O1)
#     fuzz       the fuzz targets (Clang): each over its seeds, then FUZZ_SECONDS (60) of new input
#
# Build trees go to build-<step>/ in the source tree. JOBS (default 2) sets the build parallelism.
# A sanitizer report fails its test: every check stops at the first one.
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

# A tiny program that links CommonUtility::CommonUtility, built every way a client can: with the
# library added as a subdirectory (as a static archive), against the static archive installed
# from there, against the shared library installed into a fresh prefix, and against the Debian
# packages unpacked into a throw-away root; each with find_package and with pkg-config alone.
consumer() {
  local dir=$root/build-consumer
  local src=$root/tests/consumer

  log "Consumer: add_subdirectory, static library"
  cmake -S "$src" -B "$dir/subdir" -G Ninja -DCOMMONUTILITY_SOURCE_DIR="$root" \
    -DCOMMONUTILITY_SHARED=OFF >/dev/null
  cmake --build "$dir/subdir" -j "$jobs"
  "$dir/subdir/consumer"
  rm -rf "$dir/static"
  cmake --install "$dir/subdir/CommonUtility" --prefix "$dir/static" >/dev/null
  consumer_of "$dir/static" "$dir/static-package" static

  log "Consumer: installed shared library"
  build "$root/build-linux"
  rm -rf "$dir/prefix"
  cmake --install "$root/build-linux" --prefix "$dir/prefix" >/dev/null
  consumer_of "$dir/prefix" "$dir/package" shared
  "$dir/prefix/bin/commonutil" --version  # finds its library by its run path

  log "Consumer: Debian packages (cpack -G DEB), unpacked with dpkg -x"
  rm -rf "$dir/debs" "$dir/debroot"
  (cd "$root/build-linux" && cpack -G DEB -B "$dir/debs" >/dev/null)
  local deb
  for deb in "$dir"/debs/*.deb; do
    printf '%s: %s\n' "$(dpkg-deb -f "$deb" Package)" "$(dpkg-deb -f "$deb" Depends)"
    dpkg -x "$deb" "$dir/debroot"
  done
  consumer_of "$dir/debroot/usr" "$dir/debs-package" shared
  "$dir/debroot/usr/bin/commonutil" --version
  test -f "$dir/debroot/usr/share/man/man1/commonutil.1"
  test -f "$dir/debroot/usr/share/bash-completion/completions/commonutil"
}

# consumer_of <prefix> <build dir> <shared|static>: builds and runs the consumer against an
# installed prefix, once through find_package and once with pkg-config's flags alone.
consumer_of() {
  local prefix=$1 out=$2 kind=$3
  cmake -S "$root/tests/consumer" -B "$out" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
  cmake --build "$out" -j "$jobs"
  "$out/consumer"
  local pc
  pc=$(dirname "$(find "$prefix" -name commonutility.pc | head -n 1)")
  local flags=(--cflags --libs)
  [[ $kind == static ]] && flags+=(--static)
  # shellcheck disable=SC2046  # the flags are words
  c++ -std=c++17 -o "$out/consumer-pkg-config" "$root/tests/consumer/main.cpp" "$root/tests/consumer/Names.cpp" \
    $(PKG_CONFIG_PATH=$pc pkg-config "${flags[@]}" commonutility)
  LD_LIBRARY_PATH=$(PKG_CONFIG_PATH=$pc pkg-config --variable=libdir commonutility) "$out/consumer-pkg-config"
}

# Sanitizer runs stop at the first report and say where it came from.
export ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
sanitizer_flags() {  # sanitizer_flags <sanitizers>
  echo "-O1 -g -fno-omit-frame-pointer -fsanitize=$1 -fno-sanitize-recover=all"
}

asan() {
  local dir=$root/build-asan
  log "Linux: the suite under AddressSanitizer and UndefinedBehaviorSanitizer"
  build "$dir" -DCMAKE_BUILD_TYPE=None -DCMAKE_CXX_FLAGS="$(sanitizer_flags address,undefined)" \
    -DCOMMONUTILITY_BUILD_EXAMPLES=OFF
  run_ctest "ASan+UBSan" "$dir"
}

# Only the programs that run threads or processes against each other: the log, the registry store
# and the lock, and the trees taken apart on other threads than the one that loaded them.
tsan() {
  local dir=$root/build-tsan
  log "Linux: log, registry and lock tests under ThreadSanitizer"
  cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=None \
    -DCMAKE_CXX_FLAGS="$(sanitizer_flags thread)" -DCOMMONUTILITY_BUILD_TOOLS=OFF \
    -DCOMMONUTILITY_BUILD_EXAMPLES=OFF >/dev/null
  cmake --build "$dir" -j "$jobs" --target log_tests registry_tests system_tests plist_tests
  ctest --test-dir "$dir" --output-on-failure -R '^(log|registry|system)_tests$' | tee "$dir/ctest.log" || failed=1
  "$dir/tests/plist_tests" --gtest_filter='Ownership.*' >"$dir/plist.log" 2>&1 || { cat "$dir/plist.log"; failed=1; }
  summaries+=("TSan: $(grep -E 'tests passed|No tests' "$dir/ctest.log" || true); plist ownership: $(tail -n 1 "$dir/plist.log")")
}

# Each target reads its seeds, then mutates them for FUZZ_SECONDS; two run at a time. New inputs go
# to a scratch folder, so the seeds in the repository stay as they are. A finding leaves
# crash-*/leak-*/timeout-* files in build-fuzz/findings/.
fuzz() {
  local dir=$root/build-fuzz seconds=${FUZZ_SECONDS:-60}
  log "Fuzz targets: seeds, then $seconds s of new input each"
  CXX=clang++ build "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCOMMONUTILITY_BUILD_FUZZERS=ON \
    -DCOMMONUTILITY_BUILD_TESTS=OFF -DCOMMONUTILITY_BUILD_TOOLS=OFF -DCOMMONUTILITY_BUILD_EXAMPLES=OFF
  rm -rf "$dir/findings" "$dir/work"
  mkdir -p "$dir/findings"
  local names=(plist_read region content_info date format) pids=() results=() name i
  for i in "${!names[@]}"; do
    name=${names[$i]}
    mkdir -p "$dir/work/$name"
    "$dir/fuzz/fuzz_$name" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 \
      -dict="$root/fuzz/xml.dict" -artifact_prefix="$dir/findings/$name-" -print_final_stats=1 \
      "$dir/work/$name" "$root/fuzz/corpus/$name" >"$dir/findings/$name.log" 2>&1 &
    pids+=($!)
    if [[ $((i % 2)) -eq 1 || $i -eq $((${#names[@]} - 1)) ]]; then
      for pid in "${pids[@]}"; do
        wait "$pid" && results+=(0) || results+=($?)
      done
      pids=()
    fi
  done
  local bad=0 line
  for i in "${!names[@]}"; do
    name=${names[$i]}
    line=$(grep -E 'stat::number_of_executed_units' "$dir/findings/$name.log" | awk '{print $2}')
    if [[ ${results[$i]} -ne 0 ]]; then
      bad=1
      echo "fuzz_$name: FAILED (exit ${results[$i]}); its log:"
      tail -n 60 "$dir/findings/$name.log"
    else
      echo "fuzz_$name: clean, ${line:-?} inputs"
    fi
  done
  [[ $bad -eq 0 ]] || failed=1
  summaries+=("Fuzz: $([[ $bad -eq 0 ]] && echo "${#names[@]} targets clean" || echo "a target FAILED")")
}

windows() {
  local dir=$root/build-windows
  log "Windows: cross build, tests under Wine"
  # The toolchain file bakes this prefix into the test commands.
  export WINEPREFIX=$dir/wineprefix WINEDEBUG=-all
  build "$dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake"

  # Start Wine's server and its background programs before ctest, with their output going
  # nowhere: started by a test, they would inherit the test's output pipes, and ctest would wait
  # for them to exit after every test. The prefix is made for this run (a few seconds) and thrown
  # away after it, so the registry the tool's tests write starts empty and leaves nothing behind.
  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  wineserver -p
  trap 'wineserver -k 2>/dev/null || true; rm -rf "$WINEPREFIX"' EXIT
  WINEDLLOVERRIDES="mscoree,mshtml=" wine wineboot >/dev/null 2>&1
  run_ctest "Windows (Wine)" "$dir"
}

for step in "${steps[@]}"; do
  step=${step#--}
  case $step in
    linux | consumer | windows | asan | tsan | fuzz) "$step" ;;
    *) echo "test.sh: unknown step '$step' (expected linux, consumer, windows, asan, tsan or fuzz)" >&2
       exit 2 ;;
  esac
done

if [[ ${#summaries[@]} -gt 0 ]]; then
  log "Test summary"
  printf '%s\n' "${summaries[@]}"
fi
exit "$failed"
