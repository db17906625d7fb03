#!/usr/bin/env bash
# Transfers of one file size beside what the machine itself does with it, in
# one run on one disk:
#   - dd bs=1M conv=fsync writing the file to the store's disk (the upload anchor);
#   - curl fetching it from nginx (sendfile) to disk and to /dev/null (the
#     download anchors);
#   - talixdb_transfer_bench on SQLite and on PostgreSQL (a cluster that syncs).
# It prints one table: ours, the anchor, their ratio and the goal.
#
#   bench/transfer_side_by_side.sh [MiB] [sqlite|postgresql|both]
#
# Defaults: 256 MiB, both engines. TALIXDB_BENCH_BUILD names the build
# directory (default build/bench); the scratch files go to TMPDIR (default
# /tmp), the disk the tests' stores use too. Needs nginx and curl.
set -euo pipefail

mib=${1:-256}
engines=${2:-both}
[ "$engines" = both ] && engines="sqlite postgresql"
build=${TALIXDB_BENCH_BUILD:-build/bench}
bench="$build/bench/talixdb_transfer_bench"
[ -x "$bench" ] || { echo "no $bench: build the target talixdb_transfer_bench first" >&2; exit 1; }
for tool in nginx curl dd; do
  command -v "$tool" >/dev/null || [ -x "/usr/sbin/$tool" ] || { echo "$tool is needed" >&2; exit 1; }
done
nginx_bin=$(command -v nginx || echo /usr/sbin/nginx)

scratch=$(mktemp -d "${TMPDIR:-/tmp}/talixdb-side-by-side-XXXXXX")
chmod 755 "$scratch"  # nginx's workers and PostgreSQL run as users of their own
nginx_pid=""
cleanup() {
  [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT

# MB/s of `bytes` in `seconds`.
rate() { awk -v b="$1" -v s="$2" 'BEGIN { printf "%.1f", b / s / 1e6 }'; }
bytes=$((mib * 1048576))

echo "file: $mib MiB; scratch $scratch ($(df -h "$scratch" | awk 'NR == 2 { print $1 ", " $4 " free" }'))"
mkdir -p "$scratch/www"
head -c "$bytes" /dev/urandom >"$scratch/www/file.bin"
chmod 644 "$scratch/www/file.bin"

# dd with fsync: the upload anchor.
sync
start=$(date +%s.%N)
dd if="$scratch/www/file.bin" of="$scratch/dd.bin" bs=1M conv=fsync status=none
dd_rate=$(rate "$bytes" "$(echo "$(date +%s.%N) - $start" | bc)")
rm -f "$scratch/dd.bin"

# nginx with sendfile on a free port, curl to disk and to /dev/null.
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat >"$scratch/nginx.conf" <<EOF
worker_processes 1;
daemon off;
pid $scratch/nginx.pid;
error_log $scratch/nginx-error.log;
events { worker_connections 64; }
http {
  sendfile on;
  access_log off;
  client_body_temp_path $scratch/body;
  proxy_temp_path $scratch/proxy;
  fastcgi_temp_path $scratch/fastcgi;
  uwsgi_temp_path $scratch/uwsgi;
  scgi_temp_path $scratch/scgi;
  server { listen 127.0.0.1:$port; root $scratch/www; }
}
EOF
"$nginx_bin" -c "$scratch/nginx.conf" -p "$scratch" &
nginx_pid=$!
for _ in $(seq 50); do curl -s -o /dev/null "http://127.0.0.1:$port/file.bin" -r 0-0 && break; sleep 0.1; done
curl_disk=$(curl -s -o "$scratch/curl.bin" -w '%{speed_download}' "http://127.0.0.1:$port/file.bin")
rm -f "$scratch/curl.bin"
curl_null=$(curl -s -o /dev/null -w '%{speed_download}' "http://127.0.0.1:$port/file.bin")
kill "$nginx_pid"; wait "$nginx_pid" 2>/dev/null || true; nginx_pid=""
curl_disk=$(awk -v r="$curl_disk" 'BEGIN { printf "%.1f", r / 1e6 }')
curl_null=$(awk -v r="$curl_null" 'BEGIN { printf "%.1f", r / 1e6 }')
rm -f "$scratch/www/file.bin"

printf '\n%-12s %-22s %10s  %-24s %10s %7s %6s\n' engine operation "ours MB/s" anchor "MB/s" ratio goal
for engine in $engines; do
  if [ "$engine" = postgresql ]; then
    out=$(TALIXDB_TEST_ENGINE=postgresql TALIXDB_TEST_PG_DURABLE=1 TMPDIR="$scratch" "$bench" "$mib" 1 2>&1) || true
  else
    out=$(TMPDIR="$scratch" "$bench" "$mib" 1 2>&1) || true
  fi
  median() { echo "$out" | awk -v op="$1" '$1 == op && $2 ~ /^[0-9.]+$/ { print $2; exit }'; }
  row() {  # operation anchor-name anchor-rate goal-ratio
    local ours; ours=$(median "$1")
    [ -z "$ours" ] && ours="failed"
    awk -v e="$engine" -v op="$1" -v o="$ours" -v an="$2" -v a="$3" -v g="$4" 'BEGIN {
      ratio = (o + 0 > 0 && a + 0 > 0) ? sprintf("%.2f", o / a) : "-";
      printf "%-12s %-22s %10s  %-24s %10s %7s %6s\n", e, op, o, an, a, ratio, ">=" g }'
  }
  row uploadBytes "dd bs=1M conv=fsync" "$dd_rate" 0.9
  row uploadLocalFile "dd bs=1M conv=fsync" "$dd_rate" 0.9
  row downloadFileToMemory "curl to /dev/null" "$curl_null" 0.9
  row downloadFileToDisk "curl to disk" "$curl_disk" 1.0
  echo "$out" | grep -E '^(downloadFileToMemory client peak|downloadFileToDisk client growth|uploadLocalFile client growth|PostgreSQL alone)' |
    sed "s/^/$engine: /"
  echo "$out" | grep -E 'transfer_bench:' | sed "s/^/$engine: /" || true
done
