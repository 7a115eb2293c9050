#!/usr/bin/env bash
# A short run of the benchmark (bench/README.md) on a build directory: a few
# hundred round trips, a small throughput run, a few starts and two ends of
# a script per client, one round of the mask's cost with 16 MiB streams
# and 20,000 short messages, and one round of the line editor's figures with
# a 64 KiB line and 2,000 short lines.
# It fails only when the benchmark cannot be built or run, or a client does
# not answer as expected; the figures themselves never fail it.
#
# Usage: .ci/bench-smoke.sh [BUILD_DIR]   (default: build, from the top of the tree)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
case "$build" in
  /*) ;;
  *) if [ -d "$build" ]; then build=$(cd "$build" && pwd); else build="$root/$build"; fi ;;
esac
if [ ! -f "$build/CMakeCache.txt" ]; then
  echo "bench-smoke: $build is not a configured build directory" >&2
  exit 1
fi

# The benchmark is built only when asked for; the rest of the cache stays.
cmake -S "$root" -B "$build" -DSKELLAN_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target skellan-bench

out="$build/bench/smoke"
# The benchmark bounds each wait itself; this bounds the whole run.
timeout --kill-after=10 600 "$build/bench/skellan-bench" \
  --rounds 1 --round-trips 300 --messages 50 --startups 3 --script-ends 2 \
  --mask-rounds 1 --stream-bytes 16777216 --short-messages 20000 \
  --editor-rounds 1 --editor-line-bytes 65536 --editor-lines 2000 \
  --timeout 30 --out "$out"
test -s "$out/summary.csv"
test -s "$out/mask.csv"
test -s "$out/editor.csv"
