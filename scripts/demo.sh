#!/usr/bin/env bash
# Builds Skellan and runs it against the bundled echo server. Type
# "connect demo", then any line; "exit" or Ctrl-D leaves.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build >/dev/null
cmake --build build -j2 >/dev/null
build/skellan-server demo >/dev/null &
server=$!
trap 'kill $server 2>/dev/null' EXIT
# Give the server a moment to listen before the first connect.
for _ in $(seq 50); do [ -S /tmp/CoreFxPipe_demo ] && break; sleep 0.1; done
echo 'Skellan demo: type "connect demo", then any line; "exit" leaves.'
build/skellan
