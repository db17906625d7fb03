# shellcheck shell=bash
# Sourced by the scripts: starts a stand-in server on 127.0.0.1 with a free
# port and a store in a directory of its own, and stops it again.
#
#   start_server SERVER_BINARY STORE_DIR   sets server_pid and server_address
#   stop_server                            safe to call more than once
#
# The caller traps EXIT so that stop_server runs on every way out.

start_server() {
  local binary=$1 store=$2
  mkdir -p "$store"
  "$binary" --data "$store/data" --host 127.0.0.1 --port 0 --quiet >"$store/server.out" &
  server_pid=$!
  server_address=""
  for _ in $(seq 1 100); do
    server_address=$(sed -n 's/.*listening on \(.*\)$/\1/p' "$store/server.out" 2>/dev/null | head -n 1)
    [ -n "$server_address" ] && return 0
    kill -0 "$server_pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "the server $binary did not start" >&2
  return 1
}

stop_server() {
  if [ -n "${server_pid:-}" ]; then
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
    server_pid=""
  fi
}
