#!/usr/bin/env bash
# Installs what is needed, checks the layout of the sources, builds with
# warnings as errors and runs every test: the native suite, the same under AddressSanitizer+UBSan and under
# ThreadSanitizer, the two fuzzers for a minute, the Windows builds with
# their suite under Wine, the packages (installed, used and removed), and a
# short run of the benchmark.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

echo "== source format"
find app bench console framework pipe platform tests tools -name '*.cpp' -o -name '*.h' |
  xargs clang-format --dry-run --Werror

echo "== native build and tests"
# Tests on, whatever a first configure by scripts/demo.sh left in the cache.
cmake -S . -B build -DSKELLAN_WERROR=ON -DSKELLAN_TESTS=ON >/dev/null
cmake --build build -j2
ctest --test-dir build --output-on-failure -j2 --timeout 300

echo "== sanitizers"
bash .ci/sanitizers.sh

echo "== fuzzers"
bash .ci/fuzz.sh 60

echo "== Windows builds and the Wine suite"
bash .ci/windows.sh

echo "== install rules, manual pages, the .deb and the Windows zips"
bash .ci/package.sh

echo "== benchmark smoke"
bash .ci/bench-smoke.sh build
