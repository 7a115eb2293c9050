#!/usr/bin/env bash
# Installing and packaging: lints the manual pages, checks what
# `cmake --install` of the test tree leaves, builds the .deb with Debian's
# build flags, runs lintian on it, installs it, uses the installed programs,
# removes it and checks nothing of it is left; then builds the two Windows
# zips and checks what they hold.
#
# Usage: .ci/package.sh   (after the native build in build/ and the Windows
# builds in build-win64/ and build-win32/, as scripts/test.sh runs it)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
work=$(mktemp -d /tmp/skellan-package.XXXXXX)
server_pid=
installed=
cleanup() {
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; fi
  # A failed check must not leave the package behind for the next run.
  if [ -n "$installed" ]; then dpkg --purge skellan >/dev/null 2>&1 || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "package: $*" >&2
  exit 1
}

version=$(sed -n 's/^project(Skellan VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || fail "no version in CMakeLists.txt"

echo "== manual pages: groff, mandoc and man"
for page in man/*.1; do
  out=$(groff -man -ww -z "$page" 2>&1)
  [ -z "$out" ] || fail "groff warns on $page: $out"
  out=$(mandoc -T lint "$page" 2>&1 || true)
  [ -z "$out" ] || fail "mandoc warns on $page: $out"
  out=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [ -z "$out" ] || fail "man warns on $page: $out"
done

echo "== cmake --install of the test tree"
cmake --install build --prefix "$work/prefix" >/dev/null
found=$(cd "$work/prefix" && find . -type f -o -type l | sort)
expected=$(printf '%s\n' ./bin/skellan ./bin/skellan-server ./share/doc/skellan/LICENSE \
  ./share/doc/skellan/README.md ./share/man/man1/skellan-server.1 ./share/man/man1/skellan.1 | sort)
if [ "$found" != "$expected" ]; then
  fail "cmake --install left:"$'\n'"$found"$'\n'"instead of:"$'\n'"$expected"
fi

echo "== the .deb"
# Built as Debian builds its packages: its hardening flags, no tests.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S . -B build-deb -DSKELLAN_WERROR=ON -DSKELLAN_TESTS=OFF -DCMAKE_BUILD_TYPE=None \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build build-deb -j2 >/dev/null
rm -rf build-deb/packages
(cd build-deb && cpack -G DEB >/dev/null)
deb=build-deb/packages/skellan_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "no $deb; cpack made: $(ls build-deb/packages)"
dpkg-deb --info "$deb"
dpkg-deb --contents "$deb"
echo "-- lintian"
lintian_status=0
lintian --fail-on error,warning --display-info "$deb" >"$work/lintian" 2>&1 || lintian_status=$?
grep -v 'running with root privileges' "$work/lintian" || true
[ "$lintian_status" -eq 0 ] || fail "lintian reports errors or warnings"
echo "lintian: no errors, no warnings"

echo "== install, use and remove the .deb"
if dpkg-query -W skellan >/dev/null 2>&1; then
  fail "skellan is installed already; remove it first"
fi
installed=yes
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$root/$deb" >/dev/null
dpkg -L skellan | sort >"$work/files"
[ "$(man -w skellan)" = /usr/share/man/man1/skellan.1.gz ] || fail "man -w skellan: $(man -w skellan)"
man -w skellan-server >/dev/null

# A short session: connect, echo, close, exit, each step waited for.
name=skellan-package-$$
/usr/bin/skellan-server "$name" >"$work/server.log" &
server_pid=$!
for _ in $(seq 100); do grep -q '^listening ' "$work/server.log" && break; sleep 0.1; done
grep -q '^listening ' "$work/server.log" || fail "skellan-server did not listen"
mkfifo "$work/input"
/usr/bin/skellan <"$work/input" >"$work/output" &
client_pid=$!
exec 3>"$work/input"
wait_for() {
  for _ in $(seq 100); do
    grep -qF "$1" "$work/output" && return 0
    sleep 0.1
  done
  fail "the client did not print \"$1\"; it printed: $(od -c "$work/output")"
}
echo "connect $name" >&3
wait_for "OK Connected"
echo "hello from the package" >&3
wait_for "hello from the package"
echo close >&3
wait_for "OK Connection closed"
echo exit >&3
exec 3>&-
status=0
timeout 10 tail --pid="$client_pid" -f /dev/null || fail "the client did not exit"
wait "$client_pid" || status=$?
[ "$status" -eq 0 ] || fail "the client exited with $status"
# The echo and the prompt of the next read may come in either order.
p=$'\r$ '
echo=$'\rhello from the package\n$ '
one="${p}OK Connected"$'\n'"${p}${echo}${p}OK Connection closed"$'\n'"${p}"
other="${p}OK Connected"$'\n'"${echo}${p}${p}OK Connection closed"$'\n'"${p}"
late="${p}OK Connected"$'\n'"${p}${p}${echo}OK Connection closed"$'\n'"${p}"
shown=$(cat "$work/output"; echo .)
shown=${shown%.}
if [ "$shown" != "$one" ] && [ "$shown" != "$other" ] && [ "$shown" != "$late" ]; then
  fail "the session printed: $(od -c "$work/output")"
fi
kill "$server_pid"
wait "$server_pid" || true
server_pid=
grep -qx 'recv 1 23' "$work/server.log" || fail "server log: $(cat "$work/server.log")"
echo "session: connect, echo, close, exit: as expected"

DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq skellan >/dev/null
installed=
! dpkg-query -W -f='${Status}\n' skellan 2>/dev/null | grep -q installed ||
  fail "skellan is still installed"
while read -r path; do
  [ -e "$path" ] || continue
  # Only directories that other packages share may stay.
  [ -d "$path" ] && dpkg -S "$path" >/dev/null 2>&1 && continue
  fail "$path is left after removing the package"
done <"$work/files"
echo "removed: none of its $(wc -l <"$work/files") paths is left"

echo "== Windows zips"
for target in "win64:x86-64:PE32+" "win32:Intel 80386:PE32"; do
  IFS=: read -r system arch kind <<<"$target"
  dir=build-$system
  [ -f "$dir/CMakeCache.txt" ] || fail "$dir is not configured; run .ci/windows.sh first"
  cmake --build "$dir" -j2 >/dev/null
  rm -rf "$dir/packages"
  (cd "$dir" && cpack -G ZIP >/dev/null)
  zip=$dir/packages/skellan-$version-$system.zip
  [ -f "$zip" ] || fail "no $zip"
  top=skellan-$version-$system
  listed=$(unzip -Z1 "$zip" | sort)
  expected=$(printf "$top/%s\n" COPYING.gcc.txt COPYING.mingw-w64.txt LICENSE.txt README.txt \
    skellan-server.exe skellan.exe | sort)
  [ "$listed" = "$expected" ] || fail "$zip holds:"$'\n'"$listed"
  for program in skellan.exe skellan-server.exe; do
    unzip -p "$zip" "$top/$program" >"$work/$program"
    file "$work/$program" | grep -q "$kind executable.*$arch" ||
      fail "$top/$program: $(file -b "$work/$program")"
  done
  for text in COPYING.gcc.txt COPYING.mingw-w64.txt LICENSE.txt README.txt; do
    unzip -p "$zip" "$top/$text" >"$work/$text"
    lines=$(wc -l <"$work/$text")
    crlf=$(grep -c $'\r$' "$work/$text" || true)
    [ "$lines" -gt 0 ] && [ "$lines" -eq "$crlf" ] || fail "$top/$text: $crlf of $lines lines end in CRLF"
  done
  grep -q "The Skellan developers" "$work/LICENSE.txt" || fail "$top/LICENSE.txt is not ours"
  grep -q "GCC RUNTIME LIBRARY EXCEPTION" "$work/COPYING.gcc.txt" ||
    fail "$top/COPYING.gcc.txt lacks the GCC runtime library exception"
  grep -q "winpthreads" "$work/COPYING.mingw-w64.txt" ||
    fail "$top/COPYING.mingw-w64.txt lacks winpthreads' licence"
  echo "$zip: $(echo $listed | wc -w) files, texts in CRLF"
done
echo "package: all checks passed"
