#!/usr/bin/env bash
# Installs the Debian packages that building and testing the project need: the Linux toolchain
# and libraries, the mingw-w64 cross compiler with Wine for the Windows build, and Clang with its
# sanitizer and fuzzer runtimes for the fuzz targets.
# Quick and silent when everything is already installed.
set -euo pipefail

packages=(
  cmake ninja-build g++ git pkgconf dpkg-dev
  libgtest-dev googletest libbenchmark-dev libpugixml-dev libsqlite3-dev
  g++-mingw-w64-x86-64-posix wine wine64
  clang libclang-rt-dev
)

# dpkg-query names only the packages it knows; any package not listed as installed is missing.
installed=$(dpkg-query -W -f='${Package} ${db:Status-Status}\n' "${packages[@]}" 2>/dev/null |
  awk '$2 == "installed" { print $1 }' || true)
missing=()
for p in "${packages[@]}"; do
  grep -qx "$p" <<<"$installed" || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

if [[ $(id -u) -eq 0 ]]; then
  apt=(env DEBIAN_FRONTEND=noninteractive apt-get -qq)
elif command -v sudo >/dev/null; then
  apt=(sudo env DEBIAN_FRONTEND=noninteractive apt-get -qq)
else
  echo "install-deps: root or sudo is needed to install: ${missing[*]}" >&2
  exit 1
fi

echo "install-deps: installing ${missing[*]}"
# A fresh image often has empty or stale package lists: on failure, update them once and retry.
if ! "${apt[@]}" install -y --no-install-recommends "${missing[@]}" >/dev/null 2>&1; then
  "${apt[@]}" update
  "${apt[@]}" install -y --no-install-recommends "${missing[@]}" >/dev/null
fi
