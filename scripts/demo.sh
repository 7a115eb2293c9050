#!/usr/bin/env bash
# Builds Skellan and runs it against the bundled echo server. Type
# "connect demo", then any line; "exit" or Ctrl-D leaves.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh --build
# Only the client and the server: a first configure leaves the tests out,
# whose tools scripts/test.sh installs before it turns them on.
[ -f build/CMakeCache.txt ] || cmake -S . -B build -DSKELLAN_TESTS=OFF >/dev/null
cmake --build build -j2 --target skellan skellan-server >/dev/null
build/skellan-server demo >/dev/null &
server=$!
trap 'kill $server 2>/dev/null' EXIT
# Give the server a moment to listen before the first connect: its socket is
# CoreFxPipe_demo in $TMPDIR (when set and not empty) or in /tmp.
socket="$(dir=${TMPDIR:-/tmp}; echo "${dir%/}")/CoreFxPipe_demo"
for _ in $(seq 50); do [ -S "$socket" ] && break; sleep 0.1; done
echo 'Skellan demo: type "connect demo", then any line; "exit" leaves.'
build/skellan
