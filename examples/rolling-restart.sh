#!/bin/sh
# Restarts talixdb-server nodes behind HAProxy one at a time without failing
# a call: each is drained first through HAProxy's runtime API (it gets no new
# connections; the open ones finish), restarted once it has none left, and
# given connections again once its GET /health answers; the next one waits
# until HAProxy's own check has seen it up.
#
#   rolling-restart.sh [-s SOCKET] [-b BACKEND] [-w SECONDS] SERVER=COMMAND...
#
# SERVER names a server of the backend, COMMAND restarts it, for example
#   rolling-restart.sh first='ssh 192.0.2.11 systemctl restart talixdb-server' \
#                      second='ssh 192.0.2.12 systemctl restart talixdb-server'
# Defaults (those of examples/haproxy.cfg): socket /run/haproxy/talixdb.sock,
# backend talixdb_servers, at most 600 seconds for a node's connections to end
# (then it is restarted all the same) and for it to answer again (then this
# stops, leaving it drained). Needs socat and curl.
set -eu

socket=/run/haproxy/talixdb.sock
backend=talixdb_servers
patience=600
while getopts s:b:w: option; do
  case $option in
    s) socket=$OPTARG ;;
    b) backend=$OPTARG ;;
    w) patience=$OPTARG ;;
    *) exit 2 ;;
  esac
done
shift $((OPTIND - 1))
if [ $# -eq 0 ]; then
  echo "usage: rolling-restart.sh [-s SOCKET] [-b BACKEND] [-w SECONDS] SERVER=COMMAND..." >&2
  exit 2
fi

api() { echo "$1" | socat stdio "unix-connect:$socket"; }

# The column named $4 of server $3's line in the runtime API's table "$1",
# whose first "#" line names the columns, fields split by "$2".
column() {
  api "$1" | awk -F "$2" -v backend="$backend" -v server="$3" -v name="$4" '
    /^#/ { sub(/^# */, ""); count = split($0, names); for (i = 1; i <= count; i++) if (names[i] == name) wanted = i; next }
    wanted && (($1 == backend && $2 == server) || ($2 == backend && $4 == server)) { print $wanted; exit }'
}

for node in "$@"; do
  server=${node%%=*}
  command=${node#*=}
  echo "draining $server"
  api "set server $backend/$server state drain" >/dev/null
  waited=0
  while [ "$(column 'show stat' , "$server" scur)" != 0 ] && [ "$waited" -lt "$patience" ]; do
    sleep 1
    waited=$((waited + 1))
  done
  echo "restarting $server"
  sh -c "$command"
  address=$(column "show servers state $backend" ' ' "$server" srv_addr)
  port=$(column "show servers state $backend" ' ' "$server" srv_port)
  waited=0
  until curl -fs -o /dev/null "http://$address:$port/health"; do
    if [ "$waited" -ge "$patience" ]; then
      echo "rolling-restart.sh: $server does not answer at $address:$port; it stays drained" >&2
      exit 1
    fi
    sleep 1
    waited=$((waited + 1))
  done
  # Back in HAProxy's turn once its own check has seen it up: only then may
  # the next one be drained.
  api "set server $backend/$server state ready" >/dev/null
  until [ "$(column 'show stat' , "$server" status)" = UP ]; do sleep 0.2; done
  echo "$server is back"
done
