#!/usr/bin/env bash
# Installs what building, the demo and the tests need (Debian 12, as root);
# with --build only what building and running the client and its server
# need (the demo).
#
# Usage: scripts/install-deps.sh [--build]
set -euo pipefail
packages=(g++ make cmake)
if [ "${1:-}" != --build ]; then
  packages+=(libgtest-dev socat tmux clang clang-format libclang-rt-14-dev
             g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine64)
  # The locale sources and charmaps that the terminal tests build the
  # locales they need from (localedef).
  packages+=(locales)
  # The benchmark's count of system calls (skellan-bench --strace).
  packages+=(strace)
  # Packaging and its checks; a .NET peer for the tests.
  packages+=(dpkg-dev lintian groff-base mandoc man-db zip unzip file
             mono-mcs mono-runtime libmono-system-core4.0-cil)
fi
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi
