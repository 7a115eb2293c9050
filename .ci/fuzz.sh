#!/usr/bin/env bash
# Builds the shell fuzzer (clang++, libFuzzer with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs it from the seed corpus for a bounded
# time. A crash, a sanitizer report, a leak, a hang or a difference from the
# model fails the run; the input that caused it is left in
# build-fuzz/fuzz-artifacts/. Prints how many inputs it ran.
#
# Usage: .ci/fuzz.sh [seconds]   (default 60)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
seconds=${1:-60}
dir="$root/build-fuzz"
jobs=${SKELLAN_JOBS:-$(nproc)}

cmake -S "$root" -B "$dir" -DCMAKE_CXX_COMPILER=clang++ \
  -DSKELLAN_FUZZ=ON -DSKELLAN_WERROR=ON -DSKELLAN_TESTS=ON
cmake --build "$dir" -j "$jobs" --target skellan_shell_fuzzer

# New inputs go to a scratch corpus; the seeds in the tree are only read.
corpus="$dir/fuzz-corpus"
artifacts="$dir/fuzz-artifacts"
log="$dir/fuzz.log"
mkdir -p "$corpus" "$artifacts"

export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
status=0
"$dir/skellan_shell_fuzzer" -max_total_time="$seconds" -timeout=10 -max_len=4096 \
  -rss_limit_mb=2048 -print_final_stats=1 -dict="$root/tests/fuzz/shell.dict" \
  -artifact_prefix="$artifacts/" "$corpus" "$root/tests/fuzz/corpus" >"$log" 2>&1 || status=$?

tail -n 40 "$log"
runs=$(grep -Eo 'Done [0-9]+ runs in [0-9]+ second' "$log" | tail -n 1 || true)
if [ "$status" -ne 0 ] || [ -z "$runs" ]; then
  echo "fuzz: FAILED (status $status); the failing input is in $artifacts"
  exit 1
fi
echo "fuzz: clean: ${runs}(s)"
