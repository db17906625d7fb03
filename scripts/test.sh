#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test suite twice: a normal
# build, then one with AddressSanitizer and UndefinedBehaviorSanitizer. In
# between, installs to a temporary prefix and builds and runs the external
# host against the installed package, once with CMake and once with nothing
# but pkg-config, and imports the Python module as installed and as pip
# builds it from the checkout.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/server.sh
scripts/install-deps.sh
jobs=$(nproc 2>/dev/null || echo 2)

echo "== Build and test (RelWithDebInfo) =="
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build/release -j"$jobs"
ctest --test-dir build/release --output-on-failure -j"$jobs"

echo "== Install to a temporary prefix and run hosts built against it =="
scratch=$(mktemp -d "${TMPDIR:-/tmp}/talixdb-install-XXXXXX")
trap 'stop_server; rm -rf "$scratch"' EXIT
prefix="$scratch/usr"
cmake --install build/release --prefix "$prefix"
for installed in share/man/man1/talixdb.1 share/man/man1/talixdb-server.1 \
                 share/bash-completion/completions/talixdb share/bash-completion/completions/talixdb-server; do
  [ -s "$prefix/$installed" ] || { echo "not installed: $installed" >&2; exit 1; }
done
export VLT_ADMIN_PASSWORD="${VLT_ADMIN_PASSWORD:-kelp482}"

echo "-- with CMake (find_package)"
cmake -S examples/external-host -B "$scratch/host-build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix"
cmake --build "$scratch/host-build"
start_server "$prefix/bin/talixdb-server" "$scratch/server-cmake"
"$scratch/host-build/external_host" "$server_address" "$scratch/work-cmake"
stop_server

echo "-- with pkg-config alone"
pc_dir=$(dirname "$(find "$prefix" -name talixdbapi.pc | head -n 1)")
export PKG_CONFIG_PATH="$pc_dir"
echo "talixdbapi $(pkg-config --modversion talixdbapi): $(pkg-config --cflags --libs talixdbapi)"
# shellcheck disable=SC2046  # the flags are meant to split into words
"${CXX:-c++}" -std=c++17 -o "$scratch/pkgconfig-host" examples/external-host/main.cpp $(pkg-config --cflags --libs talixdbapi)
start_server "$prefix/bin/talixdb-server" "$scratch/server-pkgconfig"
LD_LIBRARY_PATH="$(pkg-config --variable=libdir talixdbapi)" \
  "$scratch/pkgconfig-host" "$server_address" "$scratch/work-pkgconfig"
stop_server
unset PKG_CONFIG_PATH

echo "-- the Python module: as installed, and built by pip from the checkout"
# Debian's python3, which the module is built for (another may come first on PATH).
python=/usr/bin/python3
[ -x "$python" ] || python=python3
installed=$(find "$prefix" -path '*-packages/talixdb/__init__.py' | head -n 1)
if [ -z "$installed" ]; then
  echo "not installed: the talixdb module (is pybind11 there?)" >&2
  exit 1
fi
check='import sys, talixdb
talixdb.connect(sys.argv[1], user="root", password=sys.argv[2]).close()
print("talixdb", talixdb.library_version, "from", talixdb.__file__)'
start_server "$prefix/bin/talixdb-server" "$scratch/server-python"
PYTHONPATH="$(dirname "$(dirname "$installed")")" "$python" -c "$check" "$server_address" "$VLT_ADMIN_PASSWORD"
"$python" -m venv --system-site-packages "$scratch/venv"
CMAKE_PREFIX_PATH="$prefix" "$scratch/venv/bin/pip" install --quiet --no-build-isolation ./python
(cd "$scratch" && "$scratch/venv/bin/python" -c "$check" "$server_address" "$VLT_ADMIN_PASSWORD")
stop_server

echo "== Build and test with AddressSanitizer and UndefinedBehaviorSanitizer =="
cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTALIXDB_SANITIZE=ON
cmake --build build/sanitize -j"$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/sanitize --output-on-failure -j"$jobs"
