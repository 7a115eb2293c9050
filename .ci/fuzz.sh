#!/usr/bin/env bash
# Builds the two fuzzers (clang++, libFuzzer with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each from its seed corpus for a
# bounded time: the shell fuzzer, then the receive fuzzer, the server as the
# attacker of the plain console and of a terminal. A crash, a sanitizer
# report, a leak, a hang or a difference from the model fails the run; the
# input that caused it is left in build-fuzz/fuzz-artifacts/. Prints how
# many inputs each ran.
#
# Usage: .ci/fuzz.sh [seconds]   (default 60, split evenly between the two)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
seconds=${1:-60}
dir="$root/build-fuzz"
jobs=${SKELLAN_JOBS:-$(nproc)}

cmake -S "$root" -B "$dir" -DCMAKE_CXX_COMPILER=clang++ \
  -DSKELLAN_FUZZ=ON -DSKELLAN_WERROR=ON -DSKELLAN_TESTS=ON
cmake --build "$dir" -j "$jobs" --target skellan_shell_fuzzer skellan_receive_fuzzer

artifacts="$dir/fuzz-artifacts"
mkdir -p "$artifacts"
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
share=$(((seconds + 1) / 2))

# fuzz NAME SEEDS OPTIONS...: new inputs go to a scratch corpus of the
# fuzzer's own; the seeds in the tree are only read.
failed=0
fuzz() {
  local name=$1 seeds=$2
  shift 2
  local corpus="$dir/fuzz-corpus-$name" log="$dir/fuzz-$name.log" status=0
  mkdir -p "$corpus"
  "$dir/skellan_${name}_fuzzer" -max_total_time="$share" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$artifacts/$name-" "$@" "$corpus" "$seeds" \
    >"$log" 2>&1 || status=$?
  tail -n 20 "$log"
  local runs
  runs=$(grep -Eo 'Done [0-9]+ runs in [0-9]+ second' "$log" | tail -n 1 || true)
  if [ "$status" -ne 0 ] || [ -z "$runs" ]; then
    echo "fuzz $name: FAILED (status $status); the failing input is in $artifacts"
    failed=1
  else
    echo "fuzz $name: clean: ${runs}(s)"
  fi
}

fuzz shell "$root/tests/fuzz/corpus" -max_len=4096 -dict="$root/tests/fuzz/shell.dict"
fuzz receive "$root/tests/fuzz/receive-corpus" -max_len=512 -dict="$root/tests/fuzz/receive.dict"
exit "$failed"
