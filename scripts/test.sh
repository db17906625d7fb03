#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test suite twice: a normal
# build, then one with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc 2>/dev/null || echo 2)

echo "== Build and test (RelWithDebInfo) =="
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build/release -j"$jobs"
ctest --test-dir build/release --output-on-failure

echo "== Install, and build a host outside the tree against the installed package =="
prefix=$(mktemp -d "${TMPDIR:-/tmp}/talixdb-install-XXXXXX")
trap 'rm -rf "$prefix"' EXIT
cmake --install build/release --prefix "$prefix/usr"
cmake -S examples/external-host -B "$prefix/host-build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix/usr"
cmake --build "$prefix/host-build"
PKG_CONFIG_PATH="$prefix/usr/lib/pkgconfig:$prefix/usr/lib/x86_64-linux-gnu/pkgconfig" pkg-config --modversion talixdbapi

echo "== Build and test with AddressSanitizer and UndefinedBehaviorSanitizer =="
cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTALIXDB_SANITIZE=ON
cmake --build build/sanitize -j"$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/sanitize --output-on-failure
