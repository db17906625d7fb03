#!/usr/bin/env bash
# Installs what is missing, builds, starts a local stand-in server on a
# temporary store and runs the demo host against it.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/server.sh
scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j"$(nproc 2>/dev/null || echo 2)" --target talixdb-server talixdb_demo

store=$(mktemp -d "${TMPDIR:-/tmp}/talixdb-demo-XXXXXX")
trap 'stop_server; rm -rf "$store"' EXIT

export VLT_ADMIN_PASSWORD="${VLT_ADMIN_PASSWORD:-kelp482}"
start_server build/release/server/talixdb-server "$store"
echo "Stand-in server on $server_address (store $store/data)"
build/release/examples/talixdb_demo "$server_address" "$store/work"
