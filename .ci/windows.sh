#!/usr/bin/env bash
# Builds Skellan for 64-bit and 32-bit Windows with mingw-w64 and runs the
# Wine suite: the 64-bit skellan.exe against the 64-bit skellan-server.exe,
# driven from a native build of the test harness. The 32-bit programs are
# only built: this kernel cannot run 32-bit executables.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

for target in x86_64:win64 i686:win32; do
  arch=${target%%:*}
  dir=build-${target##*:}
  echo "== $dir: mingw-w64 $arch build"
  cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-w64-$arch.cmake" \
        -DSKELLAN_WERROR=ON >/dev/null
  cmake --build "$dir" -j2
  for program in skellan.exe skellan-server.exe; do
    # Linked statically, a program imports system DLLs only; the mingw
    # runtime's own DLLs would not be there beside it on another machine.
    imports=$("$arch-w64-mingw32-objdump" -p "$dir/$program" | sed -n 's/^\s*DLL Name: //p')
    echo "$dir/$program imports: $(echo $imports)"
    if echo "$imports" | grep -qiE '^lib|mingw'; then
      echo "$dir/$program needs a mingw runtime DLL" >&2
      exit 1
    fi
  done
done

# Its own directory, so that the native build of scripts/test.sh keeps its
# settings; only the Wine suite and what it needs get built here.
echo "== build-wine: the Wine suite, native"
cmake -S . -B build-wine -DSKELLAN_WERROR=ON -DSKELLAN_WINE_BUILD_DIR="$root/build-win64" \
      >/dev/null
cmake --build build-wine -j2 --target skellan_wine_e2e

echo "== Wine suite (its ctest fixture sets up the prefix and the wineserver)"
log=build-wine/wine-ctest.log
status=0
ctest --test-dir build-wine -L wine -j2 --timeout 300 --output-on-failure | tee "$log" ||
  status=$?

cases=$(grep -cE 'Test +#[0-9]+: Wine' "$log" || true)
passed=$(grep -E 'Test +#[0-9]+: Wine' "$log" | grep -cE ' Passed ' || true)
echo "Wine suite: $cases cases ran, $passed of them passed"
if [ "$status" -ne 0 ] || [ "$cases" -eq 0 ] || [ "$passed" -ne "$cases" ]; then
  echo "Wine suite failed" >&2
  exit 1
fi
