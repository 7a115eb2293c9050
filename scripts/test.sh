#!/usr/bin/env bash
# Installs what is needed, builds with warnings as errors and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

echo "== native build and tests"
cmake -S . -B build -DSKELLAN_WERROR=ON >/dev/null
cmake --build build -j2
(cd build && ctest --output-on-failure -j2 --timeout 300)
