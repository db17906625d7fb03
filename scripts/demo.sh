#!/usr/bin/env bash
# Installs what is missing, builds, starts a local stand-in server on a
# temporary store and runs the demo host against it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j"$(nproc 2>/dev/null || echo 2)" --target talixdb-server talixdb_demo

store=$(mktemp -d "${TMPDIR:-/tmp}/talixdb-demo-XXXXXX")
out="$store/server.out"
cleanup() {
  if [ -n "${server_pid:-}" ]; then kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; fi
  rm -rf "$store"
}
trap cleanup EXIT

export VLT_ADMIN_PASSWORD="${VLT_ADMIN_PASSWORD:-kelp482}"
build/release/server/talixdb-server --data "$store/data" --host 127.0.0.1 --port 0 --quiet >"$out" &
server_pid=$!
for _ in $(seq 1 100); do
  grep -q "listening on" "$out" 2>/dev/null && break
  sleep 0.1
done
address=$(sed -n 's/.*listening on \(.*\)$/\1/p' "$out" | head -n 1)
if [ -z "$address" ]; then echo "the server did not start" >&2; exit 1; fi
echo "Stand-in server on $address (store $store/data)"
build/release/examples/talixdb_demo "$address" "$store/work"
