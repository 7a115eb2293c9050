#!/usr/bin/env bash
# Builds the whole tree twice, under AddressSanitizer with UndefinedBehavior-
# Sanitizer and under ThreadSanitizer, and runs the full ctest suite in each.
# Any sanitizer report fails the run, also one from a skellan or
# skellan-server process that a test started and perhaps killed afterwards:
# every process writes its reports to a file of its own in the tree's report
# folder, which must stay empty.
#
# Usage: .ci/sanitizers.sh [address|thread]...   (default: both)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
jobs=${SKELLAN_JOBS:-$(nproc)}
kinds=("$@")
if [ ${#kinds[@]} -eq 0 ]; then
  kinds=(address thread)
fi

# One tree per sanitizer.
run_tree() {
  local kind=$1
  local dir
  case "$kind" in
    address) dir="$root/build-asan" ;;
    thread) dir="$root/build-tsan" ;;
    *) echo "unknown sanitizer '$kind' (address or thread)" >&2; return 2 ;;
  esac
  local reports="$dir/sanitizer-reports"

  echo "=== $kind: configure and build in $dir"
  cmake -S "$root" -B "$dir" \
    -DCMAKE_CXX_COMPILER="${SKELLAN_SANITIZE_CXX:-clang++}" \
    -DSKELLAN_SANITIZE="$kind" -DSKELLAN_WERROR=ON -DSKELLAN_TESTS=ON || return 1
  cmake --build "$dir" -j "$jobs" || return 1

  rm -rf "$reports"
  mkdir -p "$reports"
  # halt_on_error: the first report ends the process with a failing status,
  # so the test that started it fails; log_path: the report is also left
  # behind when that process was a child whose status nobody looked at.
  local common="halt_on_error=1:log_path=$reports/$kind"
  export ASAN_OPTIONS="$common:detect_leaks=1:detect_stack_use_after_return=1:strict_string_checks=1:check_initialization_order=1"
  export UBSAN_OPTIONS="$common:print_stacktrace=1"
  export LSAN_OPTIONS="log_path=$reports/$kind"
  export TSAN_OPTIONS="$common:exitcode=66:second_deadlock_stack=1"

  echo "=== $kind: ctest"
  local status=0
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 600 || status=$?

  local found
  found=$(find "$reports" -type f | sort)
  if [ -n "$found" ]; then
    echo "=== $kind: sanitizer reports:"
    for report in $found; do
      echo "--- $report"
      cat "$report"
    done
    status=1
  fi
  unset ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS TSAN_OPTIONS
  if [ "$status" -ne 0 ]; then
    echo "=== $kind: FAILED"
  else
    echo "=== $kind: clean"
  fi
  return "$status"
}

overall=0
for kind in "${kinds[@]}"; do
  run_tree "$kind" || overall=1
done
exit "$overall"
